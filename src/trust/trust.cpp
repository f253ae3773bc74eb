#include "trust/trust.h"

#include <vector>

#include "platform/paths.h"

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

// One object of the package, and what leads to it if it is a link; `*folder` says whether it is
// one (where it leads, for a link).
bool Judge(const std::string& path, unsigned long rights, bool* folder) {
    const platform::PathObject found = platform::ExamineObject(path, false);
    if (!found.opened || !OnlyTrustedMayChange(found.security, rights)) {
        return false;
    }
    *folder = found.folder;
    if (!found.link) {
        return true;
    }
    const platform::PathObject target = platform::ExamineObject(path, true);
    *folder = target.folder;
    return target.opened && OnlyTrustedMayChange(target.security, rights);
}

// The folder and everything in it, to the depth bound, counting what it judged in `objects`.
bool NoneMayChangeTree(const std::string& path, std::size_t depth, std::size_t& objects) {
    bool folder = false;
    if (++objects > kMostPackageObjects || !Judge(path, rights::kChange, &folder)) {
        return false;
    }
    if (!folder) {
        return true;
    }
    std::vector<std::string> names;
    if (depth >= kDeepestPackageFolder || !platform::ListFolder(path, names)) {
        return false;
    }
    for (const std::string& name : names) {
        if (!NoneMayChangeTree(path + "\\" + name, depth + 1, objects)) {
            return false;
        }
    }
    return true;
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
bool IsTrusted(Principal principal, Principal owner) {
    if (principal == Principal::CreatorOwner || principal == Principal::OwnerRights) {
        return owner != Principal::CreatorOwner && owner != Principal::OwnerRights &&
               IsTrusted(owner, owner);
    }
    return IsAdministrative(principal) || principal == Principal::RunningUser;
}

// An owner may always change the access list, so it must be trusted itself.
bool OnlyTrustedMayChange(const platform::Security& security, unsigned long rights) {
    if (!IsTrusted(security.owner, security.owner) || !security.listRead || !security.listPresent) {
        return false;
    }
    for (const platform::AccessEntry& entry : security.entries) {
        if (entry.allows && !entry.inheritOnly && (MapGeneric(entry.mask) & rights) != 0 &&
            !IsTrusted(entry.principal, security.owner)) {
            return false;
        }
    }
    return true;
}

// A folder below the root could be renamed away and another put in its place; the root itself
// cannot [windows.md: package-trust].
bool OthersMayChangePackage(const std::string& setupFolder) {
    const std::size_t root = platform::RootLength(setupFolder);
    if (root == 0) {
        return true;
    }
    if (!platform::VolumeKeepsAccessLists(setupFolder.substr(0, root))) {
        return false;
    }
    bool folder = false;
    for (const std::size_t separator : platform::Separators(setupFolder)) {
        if (separator >= root &&
            !Judge(setupFolder.substr(0, separator), rights::kReplace, &folder)) {
            return true;
        }
    }
    std::size_t objects = 0;
    return !NoneMayChangeTree(setupFolder, 0, objects);
}
