// Tokens, owners and access lists, for the log's walk and the package's judgement alike; what is
// trusted is decided in portable code [windows.md: package-trust].
#include "platform/win32/access.h"

#include <cstring>
#include <string>
#include <vector>

namespace platform {

using win32::SystemFunction;

namespace {

// A SID laid out as the system stores it, for up to six sub-authorities.
struct KnownSid {
    BYTE revision;
    BYTE count;
    BYTE authority[6];
    DWORD subAuthorities[6];
};

struct Known {
    KnownSid sid;
    Principal principal;
};

constexpr BYTE kNtAuthority[6] = {0, 0, 0, 0, 0, 5};

constexpr Known kKnownSids[] = {
    {{1, 1, {0, 0, 0, 0, 0, 5}, {18}}, Principal::System},
    {{1, 2, {0, 0, 0, 0, 0, 5}, {32, 544}}, Principal::Administrators},
    {{1, 6, {0, 0, 0, 0, 0, 5}, {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464}},
     Principal::TrustedInstaller},
    {{1, 1, {0, 0, 0, 0, 0, 3}, {0}}, Principal::CreatorOwner},
    {{1, 1, {0, 0, 0, 0, 0, 3}, {4}}, Principal::OwnerRights},
};

// S-1-5-32-544, laid out for the calls that take a SID.
struct AdministratorsSid {
    SID sid = {SID_REVISION, 2, {{0, 0, 0, 0, 0, 5}}, {SECURITY_BUILTIN_DOMAIN_RID}};
    DWORD rest = DOMAIN_ALIAS_RID_ADMINS;
};

bool Matches(const SID& sid, const KnownSid& known) {
    return sid.Revision == known.revision && sid.SubAuthorityCount == known.count &&
           std::memcmp(&sid.IdentifierAuthority, known.authority, sizeof known.authority) == 0 &&
           std::memcmp(sid.SubAuthority, known.subAuthorities, known.count * sizeof(DWORD)) == 0;
}

// A domain's groups are S-1-5-21-<three numbers>-<RID>.
Principal DomainGroup(const SID& sid) {
    if (sid.SubAuthorityCount != 5 || sid.SubAuthority[0] != 21 ||
        std::memcmp(&sid.IdentifierAuthority, kNtAuthority, sizeof kNtAuthority) != 0) {
        return Principal::Other;
    }
    const DWORD rid = sid.SubAuthority[4];
    return rid == 512   ? Principal::DomainAdmins
           : rid == 519 ? Principal::EnterpriseAdmins
                        : Principal::Other;
}

// At least `width` digits, zeros first.
void AppendNumber(std::string& text, unsigned long long value, unsigned base,
                  std::size_t width = 1) {
    char digits[24];
    std::size_t count = 0;
    do {
        digits[count++] = "0123456789ABCDEF"[value % base];
        value /= base;
    } while (value != 0 || count < width);
    while (count != 0) {
        text += digits[--count];
    }
}

// As "S-1-5-21-1-2-3-1001": the authority in decimal where it fits 32 bits, as the security
// calls write it, and in hexadecimal otherwise. `sid` holds all its sub-authorities.
std::string SidText(const SID& sid) {
    unsigned long long authority = 0;
    for (const BYTE part : sid.IdentifierAuthority.Value) {
        authority = authority << 8 | part;
    }
    std::string text = "S-";
    AppendNumber(text, sid.Revision, 10);
    text += authority >> 32 == 0 ? "-" : "-0x";
    AppendNumber(text, authority, authority >> 32 == 0 ? 10 : 16, authority >> 32 == 0 ? 1 : 12);
    for (BYTE i = 0; i < sid.SubAuthorityCount; ++i) {
        DWORD part = 0;
        std::memcpy(&part, reinterpret_cast<const BYTE*>(&sid) + 8 + 4 * i, sizeof part);
        text += '-';
        AppendNumber(text, part, 10);
    }
    return text;
}

// The process's token, for querying; null when it cannot be had.
HANDLE OpenOwnToken() {
    const auto openToken =
        SystemFunction<decltype(OpenProcessToken)>("advapi32.dll", "OpenProcessToken");
    HANDLE token = nullptr;
    return openToken != nullptr && openToken(GetCurrentProcess(), TOKEN_QUERY, &token) != FALSE
               ? token
               : nullptr;
}

// The token's user, read once: null when it cannot be had.
PSID RunningUser() {
    alignas(TOKEN_USER) static BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    static bool asked = false;
    static bool read = false;
    if (asked) {
        return read ? reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid : nullptr;
    }
    asked = true;
    const auto tokenInformation =
        SystemFunction<decltype(GetTokenInformation)>("advapi32.dll", "GetTokenInformation");
    const HANDLE token = tokenInformation == nullptr ? nullptr : OpenOwnToken();
    if (token == nullptr) {
        return nullptr;
    }
    DWORD size = 0;
    read = tokenInformation(token, TokenUser, buffer, sizeof buffer, &size) != FALSE;
    CloseHandle(token);
    return RunningUser();
}

bool IsRunningUser(PSID sid) {
    const auto equal = SystemFunction<decltype(EqualSid)>("advapi32.dll", "EqualSid");
    const PSID user = RunningUser();
    return equal != nullptr && user != nullptr && equal(sid, user) != FALSE;
}

// The well-known accounts first: SYSTEM running the wrapper is the system, not a user.
Principal Classify(PSID sid) {
    if (sid == nullptr) {
        return Principal::Unknown;
    }
    const SID& known = *static_cast<const SID*>(sid);
    for (const Known& entry : kKnownSids) {
        if (Matches(known, entry.sid)) {
            return entry.principal;
        }
    }
    const Principal domain = DomainGroup(known);
    return domain != Principal::Other ? domain
           : IsRunningUser(sid)       ? Principal::RunningUser
                                      : Principal::Other;
}

// Where an entry's SID stands depends on its type: after the mask, or after the object entry's
// flags and the GUIDs they announce. Null when the entry is too short to say.
const void* EntrySid(const ACE_HEADER* header, std::size_t size) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(header);
    std::size_t offset = sizeof(ACE_HEADER) + sizeof(DWORD);
    switch (header->AceType) {
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: {
        DWORD flags = 0;
        if (size < offset + sizeof flags) {
            return nullptr;
        }
        std::memcpy(&flags, bytes + offset, sizeof flags);
        offset += sizeof flags + ((flags & ACE_OBJECT_TYPE_PRESENT) != 0 ? sizeof(GUID) : 0) +
                  ((flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) != 0 ? sizeof(GUID) : 0);
        break;
    }
    default:
        break;
    }
    return size < offset ? nullptr : bytes + offset;
}

bool Allows(BYTE type) {
    return type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_COMPOUND_ACE_TYPE ||
           type == ACCESS_ALLOWED_OBJECT_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
           type == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE;
}

// An entry that allows and names nobody the wrapper can tell counts as granted to anyone; one too
// short to hold what its type says, as granting anyone everything.
AccessEntry ReadEntry(const ACE_HEADER* header) {
    constexpr std::size_t kSidStart = 8; // revision, count, authority
    const BYTE* bytes = reinterpret_cast<const BYTE*>(header);
    AccessEntry entry{true, false, 0x10000000UL, Principal::Other, ""}; // GENERIC_ALL
    const BYTE* found = static_cast<const BYTE*>(EntrySid(header, header->AceSize));
    const std::size_t sidOffset = found == nullptr ? 0 : static_cast<std::size_t>(found - bytes);
    if (found == nullptr || header->AceSize < sidOffset + kSidStart) {
        return entry;
    }
    entry.allows = Allows(header->AceType);
    entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    std::memcpy(&entry.mask, bytes + sizeof(ACE_HEADER), sizeof(DWORD));
    const BYTE* sid = bytes + sidOffset;
    const bool whole =
        sid[0] == SID_REVISION && header->AceSize >= sidOffset + kSidStart + sizeof(DWORD) * sid[1];
    const bool readable = header->AceType != ACCESS_ALLOWED_COMPOUND_ACE_TYPE && whole;
    entry.principal = readable ? Classify(const_cast<BYTE*>(sid)) : Principal::Other;
    entry.sid = readable ? SidText(*reinterpret_cast<const SID*>(sid)) : std::string();
    return entry;
}

} // namespace

namespace win32 {

void ReadAccessList(const ACL* list, Security& security) {
    security.listPresent = list != nullptr;
    if (list == nullptr) {
        return;
    }
    const auto getAce = SystemFunction<decltype(GetAce)>("advapi32.dll", "GetAce");
    for (DWORD i = 0; getAce != nullptr && i < list->AceCount; ++i) {
        void* header = nullptr;
        if (getAce(const_cast<ACL*>(list), i, &header) == FALSE) {
            return;
        }
        security.entries.push_back(ReadEntry(static_cast<const ACE_HEADER*>(header)));
    }
    security.listRead = getAce != nullptr;
}

Security ReadSecurity(HANDLE object, bool withList) {
    const auto securityInfo =
        SystemFunction<decltype(GetSecurityInfo)>("advapi32.dll", "GetSecurityInfo");
    Security security;
    PSID owner = nullptr;
    ACL* list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const SECURITY_INFORMATION asked =
        OWNER_SECURITY_INFORMATION | (withList ? DACL_SECURITY_INFORMATION : 0);
    if (securityInfo == nullptr ||
        securityInfo(object, SE_FILE_OBJECT, asked, &owner, nullptr, withList ? &list : nullptr,
                     nullptr, &descriptor) != ERROR_SUCCESS) {
        return security;
    }
    security.owner = Classify(owner);
    security.ownerSid = owner == nullptr ? std::string() : SidText(*static_cast<const SID*>(owner));
    if (withList) {
        ReadAccessList(list, security);
    }
    LocalFree(descriptor);
    return security;
}

// Laid out by hand as the security calls would lay it out: an absolute descriptor with a
// protected list of three entries that allow everything.
SECURITY_DESCRIPTOR* OwnersOnlyDescriptor() {
    struct Made {
        SECURITY_DESCRIPTOR descriptor;
        alignas(DWORD) BYTE
            list[sizeof(ACL) + 3 * (sizeof(ACE_HEADER) + sizeof(DWORD) + SECURITY_MAX_SID_SIZE)];
    };
    static Made made;
    const SID system = {SID_REVISION, 1, {{0, 0, 0, 0, 0, 5}}, {SECURITY_LOCAL_SYSTEM_RID}};
    const AdministratorsSid administrators;
    const PSID user = RunningUser();
    if (user == nullptr) {
        return nullptr;
    }
    ACL* list = reinterpret_cast<ACL*>(made.list);
    *list = ACL{ACL_REVISION, 0, sizeof(ACL), 0, 0};
    for (const void* sid :
         {static_cast<const void*>(&system), static_cast<const void*>(&administrators.sid),
          static_cast<const void*>(user)}) {
        const BYTE* bytes = static_cast<const BYTE*>(sid);
        const WORD size = static_cast<WORD>(sizeof(ACE_HEADER) + sizeof(DWORD) + 8 + 4 * bytes[1]);
        BYTE* entry = made.list + list->AclSize;
        const ACE_HEADER header = {ACCESS_ALLOWED_ACE_TYPE, 0, size};
        const DWORD mask = FILE_ALL_ACCESS;
        std::memcpy(entry, &header, sizeof header);
        std::memcpy(entry + sizeof header, &mask, sizeof mask);
        std::memcpy(entry + sizeof header + sizeof mask, bytes, size - sizeof header - sizeof mask);
        list->AclSize = static_cast<WORD>(list->AclSize + size);
        ++list->AceCount;
    }
    made.descriptor = SECURITY_DESCRIPTOR{};
    made.descriptor.Revision = SECURITY_DESCRIPTOR_REVISION;
    made.descriptor.Control = SE_DACL_PRESENT | SE_DACL_PROTECTED;
    made.descriptor.Dacl = list;
    return &made.descriptor;
}

} // namespace win32

// SYSTEM and an elevated administrator are members; a filtered administrator's token holds the
// group for denying only, and is no member.
bool RunsAsAdministrator() {
    const auto member =
        SystemFunction<decltype(CheckTokenMembership)>("advapi32.dll", "CheckTokenMembership");
    AdministratorsSid administrators;
    BOOL isMember = FALSE;
    return member != nullptr && member(nullptr, &administrators.sid, &isMember) != FALSE &&
           isMember != FALSE;
}

// A standard user's consent prompt asks for another administrator, as whom the program then runs.
bool ElevatesRunningUser() {
    const auto tokenInformation =
        SystemFunction<decltype(GetTokenInformation)>("advapi32.dll", "GetTokenInformation");
    const HANDLE token = tokenInformation == nullptr ? nullptr : OpenOwnToken();
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    const bool read =
        token != nullptr && tokenInformation(token, TokenElevationType, &type, sizeof type, &size);
    if (token != nullptr) {
        CloseHandle(token);
    }
    return read && type == TokenElevationTypeLimited;
}

} // namespace platform
