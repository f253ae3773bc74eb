// Classification of the installed release from a registry value's raw bytes and reported size.
#include <cstring>

#include "detect/detect.h"
#include "fake_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ResetMachine();
    if (size < 2) {
        return 0;
    }
    const unsigned long reported = data[0] | (static_cast<unsigned long>(data[1] & 7u) << 8u);
    const std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    machine.displayVersion = bytes;
    if ((data[1] & 0x80u) != 0) {
        machine.reportedSize = reported;
    }
    const InstalledState state = ClassifyInstalledProduct();
    if (state < -1 || state > 4) {
        __builtin_trap();
    }
    const std::string text = ReadUninstallValue("k", "v");
    if ((bytes.size() > 1024 && state != 0) || (!text.empty() && text.back() == '\0')) {
        __builtin_trap();
    }
    for (int index = 0; index < 3; ++index) {
        if ((text == KnownReleases[index]) != (state == index + 1)) {
            __builtin_trap();
        }
    }
    return 0;
}
