// Whole-value reads over the platform's fixed buffers. A value that does not fit its buffer is
// treated as unreadable rather than cut short.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

constexpr std::size_t kPathBufferSize = 260;

bool ReadCurrentFolder(std::string& out);
bool ReadSystemFolder(std::string& out);
// False when the variable is unset, empty or too long.
bool ReadEnvironmentValue(const std::string& name, std::string& out);
// False when it cannot be had, or is too long.
bool ReadFullPath(const std::string& path, std::string& out);
// False where `path` is on no drive letter the user made, or the path behind it is too long.
bool ReadUniversalPath(const std::string& path, std::string& out);

// The other side of the buffer contract, for whoever fills a buffer: `value` with its terminator
// and its length, or, when it does not fit, the size it needs.
std::size_t CopyOut(const std::string& value, char* buffer, std::size_t capacity);

} // namespace platform
