// Reads back, through the wrapper's own reading of owners and access lists, the descriptor each
// argument gives in SDDL: Windows keeps a descriptor given to a kernel object, and reads it through
// the handle as it reads a file's. Prints the owner, then an entry a line: allow or deny,
// inherit-only or not, whom the rules take it for, the SID, the mask.
// Usage: security_reading.exe SDDL|objects...
#include <cstdio>
#include <cstring>

#include "platform/win32/access.h"

#include <sddl.h>

namespace {

const char* NameOf(platform::Principal principal) {
    static const char* const names[] = {
        "unknown",      "system",        "administrators",    "trustedinstaller",
        "runner",       "domain-admins", "enterprise-admins", "creator-owner",
        "owner-rights", "other"};
    return names[static_cast<int>(principal)];
}

// Object entries, which Wine's SDDL does not take and its kernel objects refuse, laid out by hand
// and read without one: one with each GUID the entry may carry, so that where the SID stands
// depends on the flags.
bool ObjectEntries(ACL* list, DWORD size) {
    const GUID type = {
        0xbf967a86, 0x0de6, 0x11d0, {0xa2, 0x85, 0x00, 0xaa, 0x00, 0x30, 0x49, 0xe2}};
    const struct {
        const char* sid;
        DWORD mask;
        DWORD flags;
    } entries[] = {{"S-1-5-11", 0x2, ACE_OBJECT_TYPE_PRESENT},
                   {"S-1-5-32-545", 0x4, ACE_INHERITED_OBJECT_TYPE_PRESENT},
                   {"S-1-1-0", 0x6, ACE_OBJECT_TYPE_PRESENT | ACE_INHERITED_OBJECT_TYPE_PRESENT}};
    if (InitializeAcl(list, size, ACL_REVISION) == FALSE) {
        return false;
    }
    for (const auto& entry : entries) {
        PSID sid = nullptr;
        BYTE ace[128] = {};
        std::size_t at = sizeof(ACE_HEADER);
        if (ConvertStringSidToSidA(entry.sid, &sid) == FALSE) {
            return false;
        }
        std::memcpy(ace + at, &entry.mask, 4);
        std::memcpy(ace + at + 4, &entry.flags, 4);
        at += 8;
        for (const DWORD flag : {ACE_OBJECT_TYPE_PRESENT, ACE_INHERITED_OBJECT_TYPE_PRESENT}) {
            if ((entry.flags & flag) != 0) {
                std::memcpy(ace + at, &type, sizeof type);
                at += sizeof type;
            }
        }
        std::memcpy(ace + at, sid, GetLengthSid(sid));
        at += GetLengthSid(sid);
        const ACE_HEADER header = {ACCESS_ALLOWED_OBJECT_ACE_TYPE, 0, static_cast<WORD>(at)};
        std::memcpy(ace, &header, sizeof header);
        if (AddAce(list, ACL_REVISION, MAXDWORD, ace, static_cast<DWORD>(at)) == FALSE) {
            return false;
        }
    }
    return true;
}

HANDLE EventWith(const char* sddl) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(
            sddl, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr) == FALSE) {
        return nullptr;
    }
    const HANDLE event = CreateEventA(&attributes, TRUE, FALSE, nullptr);
    LocalFree(attributes.lpSecurityDescriptor);
    return event;
}

bool Read(const char* sddl, platform::Security& security) {
    alignas(DWORD) BYTE list[512];
    if (std::strcmp(sddl, "objects") == 0) {
        security.listRead = ObjectEntries(reinterpret_cast<ACL*>(list), sizeof list);
        if (security.listRead) {
            platform::win32::ReadAccessList(reinterpret_cast<ACL*>(list), security);
        }
        return security.listRead;
    }
    const HANDLE event = EventWith(sddl);
    if (event == nullptr) {
        return false;
    }
    security = platform::win32::ReadSecurity(event, true);
    CloseHandle(event);
    return true;
}

bool Print(const char* sddl) {
    platform::Security security;
    if (!Read(sddl, security)) {
        return false;
    }
    std::printf("owner %s %s list %s\n", NameOf(security.owner), security.ownerSid.c_str(),
                !security.listRead     ? "unread"
                : security.listPresent ? "present"
                                       : "none");
    for (const platform::AccessEntry& entry : security.entries) {
        std::printf("%s%s %s %s 0x%lx\n", entry.allows ? "allow" : "deny",
                    entry.inheritOnly ? " inherit-only" : "", NameOf(entry.principal),
                    entry.sid.c_str(), entry.mask);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (!Print(argv[i])) {
            std::printf("failed %s\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
