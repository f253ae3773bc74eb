#include "platform/bounded.h"

#include "platform/platform.h"

namespace platform {

namespace {

bool Accept(std::size_t length, const char* buffer, std::string& out) {
    if (length == 0 || length >= kPathBufferSize) {
        return false;
    }
    out.assign(buffer, length);
    return true;
}

} // namespace

bool ReadCurrentFolder(std::string& out) {
    char buffer[kPathBufferSize] = {};
    return Accept(GetCurrentFolder(buffer, sizeof buffer), buffer, out);
}

bool ReadSystemFolder(std::string& out) {
    char buffer[kPathBufferSize] = {};
    return Accept(GetSystemFolder(buffer, sizeof buffer), buffer, out);
}

bool ReadEnvironmentValue(const std::string& name, std::string& out) {
    char buffer[kPathBufferSize] = {};
    return Accept(GetEnvironmentValue(name, buffer, sizeof buffer), buffer, out);
}

bool ReadFullPath(const std::string& path, std::string& out) {
    char buffer[kPathBufferSize] = {};
    return Accept(GetFullPath(path, buffer, sizeof buffer), buffer, out);
}

bool ReadUniversalPath(const std::string& path, std::string& out) {
    char buffer[kPathBufferSize] = {};
    return Accept(GetUniversalPath(path, buffer, sizeof buffer), buffer, out);
}

} // namespace platform
