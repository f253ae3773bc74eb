#include "platform/bounded.h"

#include <cstring>

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

std::size_t CopyOut(const std::string& value, char* buffer, std::size_t capacity) {
    if (value.size() + 1 > capacity) {
        return value.size() + 1;
    }
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    return value.size();
}

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
