#include "detect/detect.h"

#include <cstddef>

#include "platform/platform.h"

const char kProductCode[] = "{7D4E91A3-2C5B-4F86-B0E7-91A6C3D58F24}";

const char* const KnownReleases[3] = {"1.7.0.6", "1.7.0.7", "1.8.0.0"};

namespace {

constexpr unsigned long kValueBufferSize = 1024;

// Plain text order: unsigned bytes over the common length, then the shorter first.
bool SortsAfter(const std::string& left, const std::string& right) {
    const std::size_t common = left.size() < right.size() ? left.size() : right.size();
    for (std::size_t i = 0; i < common; ++i) {
        const auto l = static_cast<unsigned char>(left[i]);
        const auto r = static_cast<unsigned char>(right[i]);
        if (l != r) {
            return l > r;
        }
    }
    return left.size() > right.size();
}

} // namespace

// Only zero bytes are dropped from the end: a value stored without a terminator keeps its last
// character.
std::string ValueText(const unsigned char* data, unsigned long size) {
    std::size_t length = size;
    while (length > 0 && data[length - 1] == 0) {
        --length;
    }
    return std::string(reinterpret_cast<const char*>(data), length);
}

std::string ReadUninstallValue(const std::string& keyName, const std::string& valueName) {
    unsigned char buffer[kValueBufferSize] = {};
    unsigned long size = kValueBufferSize;
    if (platform::ReadRegistryValue(keyName, valueName, buffer, &size) != 0 ||
        size > kValueBufferSize) {
        return std::string();
    }
    return ValueText(buffer, size);
}

InstalledState ClassifyRelease(const std::string& release) {
    if (release.empty()) {
        return 0;
    }
    for (int index = 0; index < 3; ++index) {
        if (release == KnownReleases[index]) {
            return index + 1;
        }
    }
    return SortsAfter(release, KnownReleases[2]) ? 4 : -1;
}

InstalledState ClassifyInstalledProduct() {
    const std::string key =
        std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kProductCode;
    return ClassifyRelease(ReadUninstallValue(key, "DisplayVersion"));
}
