// Who may change what the wrapper trusts: the package whose code it starts, often as SYSTEM, and
// a log that was there before the run. Only the system's administrators and the user the wrapper
// runs as may; anyone else who could would have their code run, or their file written, with the
// wrapper's rights.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

// File rights, as Windows numbers them.
namespace rights {
constexpr unsigned long kWriteData = 0x0002;  // a folder's FILE_ADD_FILE
constexpr unsigned long kAppendData = 0x0004; // a folder's FILE_ADD_SUBDIRECTORY
constexpr unsigned long kWriteEa = 0x0010;
constexpr unsigned long kDeleteChild = 0x0040;
constexpr unsigned long kWriteAttributes = 0x0100;
constexpr unsigned long kDelete = 0x00010000;
constexpr unsigned long kWriteDac = 0x00040000;
constexpr unsigned long kWriteOwner = 0x00080000;

// Deleting, renaming or taking over the object, or what a folder holds.
constexpr unsigned long kReplace = kDelete | kDeleteChild | kWriteDac | kWriteOwner;
// Changing anything in it as well.
constexpr unsigned long kChange = kReplace | kWriteData | kAppendData | kWriteEa;
// A log's attributes too: a hidden, system or read-only log cannot be written anew.
constexpr unsigned long kChangeLog = kChange | kWriteAttributes;
// A folder's too: whoever may write its attributes may make an empty one a junction
// [windows.md: package-trust].
constexpr unsigned long kChangeFolder = kChange | kWriteAttributes;
} // namespace rights

// SYSTEM, Administrators and TrustedInstaller: the owners of what the system and its
// administrators make.
bool IsSystemAccount(platform::Principal principal);
// Those, and the domain's administrators.
bool IsAdministrative(platform::Principal principal);
// Whom the wrapper trusts besides: the user it runs as, unless `runnerTrusted` is false.
bool IsTrusted(platform::Principal principal, platform::Principal owner, bool runnerTrusted = true);

// Why someone untrusted could change `security`'s object: they own it, or may use some of
// `rights` on it. Words to follow its path ("owned by S-1-5-21-...-1001", "S-1-5-11
// (Authenticated Users) may delete, add files"); empty when none but the trusted may. Generic
// rights count as they map for files; entries only for what the object holds are passed over; a
// deny entry is not credited, since which of several entries a user matches cannot be told here.
std::string WhyOthersMayChange(const platform::Security& security, unsigned long rights,
                               bool folder, bool runnerTrusted = true);
bool OnlyTrustedMayChange(const platform::Security& security, unsigned long rights);

// An account as the refusal names it: its SID, and the name of a well-known one. No name is
// looked up: that could wait on a domain controller.
std::string AccountText(const std::string& sid);
