#include "trust/trust.h"

namespace {

using platform::Principal;

// As the file system maps them [windows.md: package-trust].
constexpr unsigned long kGenericRead = 0x80000000UL;
constexpr unsigned long kGenericWrite = 0x40000000UL;
constexpr unsigned long kGenericExecute = 0x20000000UL;
constexpr unsigned long kGenericAll = 0x10000000UL;
constexpr unsigned long kFileGenericRead = 0x00120089UL;
constexpr unsigned long kFileGenericWrite = 0x00120116UL;
constexpr unsigned long kFileGenericExecute = 0x001200A0UL;
constexpr unsigned long kFileAllAccess = 0x001F01FFUL;

unsigned long MapGeneric(unsigned long mask) {
    const unsigned long specific = mask & 0x0FFFFFFFUL;
    return specific | ((mask & kGenericRead) != 0 ? kFileGenericRead : 0) |
           ((mask & kGenericWrite) != 0 ? kFileGenericWrite : 0) |
           ((mask & kGenericExecute) != 0 ? kFileGenericExecute : 0) |
           ((mask & kGenericAll) != 0 ? kFileAllAccess : 0);
}

struct Word {
    unsigned long rights;
    const char* text;
};

// What an administrator can act on: which of these someone may do.
std::string RightsText(unsigned long granted, bool folder) {
    using namespace rights;
    const unsigned long added = kWriteData | kAppendData;
    const Word words[] = {{kDelete | kDeleteChild, "delete"},
                          {kWriteEa | kWriteAttributes | (folder ? 0 : added), "change"},
                          {folder ? added : 0, "add files"},
                          {kWriteDac, "rewrite the access list"},
                          {kWriteOwner, "take ownership"}};
    std::string text;
    for (const Word& word : words) {
        if ((granted & word.rights) != 0) {
            text += (text.empty() ? "" : ", ") + std::string(word.text);
        }
    }
    return text;
}

struct KnownName {
    const char* sid;
    const char* name;
};

constexpr KnownName kKnownNames[] = {
    {"S-1-1-0", "Everyone"},
    {"S-1-2-0", "LOCAL"},
    {"S-1-3-0", "CREATOR OWNER"},
    {"S-1-3-4", "OWNER RIGHTS"},
    {"S-1-5-2", "NETWORK"},
    {"S-1-5-4", "INTERACTIVE"},
    {"S-1-5-6", "SERVICE"},
    {"S-1-5-7", "ANONYMOUS LOGON"},
    {"S-1-5-11", "Authenticated Users"},
    {"S-1-5-18", "SYSTEM"},
    {"S-1-5-19", "LOCAL SERVICE"},
    {"S-1-5-20", "NETWORK SERVICE"},
    {"S-1-5-32-544", "Administrators"},
    {"S-1-5-32-545", "Users"},
    {"S-1-5-32-546", "Guests"},
    {"S-1-5-32-547", "Power Users"},
    {"S-1-5-32-551", "Backup Operators"},
};

// A domain's groups are S-1-5-21-<three numbers>-<RID>.
const char* DomainGroupName(const std::string& sid) {
    const std::size_t rid = sid.rfind('-');
    if (sid.compare(0, 9, "S-1-5-21-") != 0 || rid == std::string::npos) {
        return nullptr;
    }
    const std::string number = sid.substr(rid + 1);
    return number == "512"   ? "Domain Admins"
           : number == "513" ? "Domain Users"
           : number == "514" ? "Domain Guests"
           : number == "515" ? "Domain Computers"
           : number == "519" ? "Enterprise Admins"
                             : nullptr;
}

std::string EntryText(const platform::AccessEntry& entry, unsigned long granted, bool folder) {
    return AccountText(entry.sid) + " may " + RightsText(granted, folder);
}

} // namespace

bool IsSystemAccount(Principal principal) {
    return principal == Principal::System || principal == Principal::Administrators ||
           principal == Principal::TrustedInstaller;
}

bool IsAdministrative(Principal principal) {
    return IsSystemAccount(principal) || principal == Principal::DomainAdmins ||
           principal == Principal::EnterpriseAdmins;
}

// CREATOR OWNER and OWNER RIGHTS stand for the object's owner.
bool IsTrusted(Principal principal, Principal owner, bool runnerTrusted) {
    if (principal == Principal::CreatorOwner || principal == Principal::OwnerRights) {
        return owner != Principal::CreatorOwner && owner != Principal::OwnerRights &&
               IsTrusted(owner, owner, runnerTrusted);
    }
    return IsAdministrative(principal) || (runnerTrusted && principal == Principal::RunningUser);
}

// An owner may always change the access list, so it must be trusted itself.
std::string WhyOthersMayChange(const platform::Security& security, unsigned long rights,
                               bool folder, bool runnerTrusted) {
    if (!IsTrusted(security.owner, security.owner, runnerTrusted)) {
        return security.ownerSid.empty() ? "its owner cannot be read"
                                         : "owned by " + AccountText(security.ownerSid);
    }
    if (!security.listRead) {
        return "its access list cannot be read";
    }
    if (!security.listPresent) {
        return "it has no access list, so anyone may change it";
    }
    for (const platform::AccessEntry& entry : security.entries) {
        const unsigned long granted = MapGeneric(entry.mask) & rights;
        if (entry.allows && !entry.inheritOnly && granted != 0 &&
            !IsTrusted(entry.principal, security.owner, runnerTrusted)) {
            return EntryText(entry, granted, folder);
        }
    }
    return std::string();
}

bool OnlyTrustedMayChange(const platform::Security& security, unsigned long rights) {
    return WhyOthersMayChange(security, rights, false).empty();
}

std::string AccountText(const std::string& sid) {
    if (sid.empty()) {
        return "an account that cannot be read";
    }
    for (const KnownName& known : kKnownNames) {
        if (sid == known.sid) {
            return sid + " (" + known.name + ")";
        }
    }
    const char* group = DomainGroupName(sid);
    return group == nullptr ? sid : sid + " (" + group + ")";
}
