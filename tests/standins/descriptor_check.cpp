// Prints the access list the wrapper gives a log it creates, as the system's own calls read it
// back in their text form, then the running user's SID: the descriptor is laid out by hand.
// Usage: descriptor_check.exe
#include <cstdio>

#include "platform/win32/access.h"

#include <sddl.h>

int main() {
    SECURITY_DESCRIPTOR* descriptor = platform::win32::OwnersOnlyDescriptor();
    char* list = nullptr;
    char* user = nullptr;
    HANDLE token = nullptr;
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    if (descriptor == nullptr || IsValidSecurityDescriptor(descriptor) == FALSE ||
        ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &list, nullptr) == FALSE ||
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == FALSE ||
        GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) == FALSE ||
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &user) == FALSE) {
        return 1;
    }
    std::printf("%s\n%s\n", list, user);
    return 0;
}
