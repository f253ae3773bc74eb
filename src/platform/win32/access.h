// Tokens, owners and access lists: who the wrapper runs as, who owns an object and who may do
// what to it.
#pragma once

#include "platform/platform.h"
#include "platform/win32/system_library.h"

namespace platform::win32 {

// The owner of the open `object`, and with `withList` its access list too; a security that
// trusts nothing when they cannot be had. The handle needs READ_CONTROL.
Security ReadSecurity(HANDLE object, bool withList);
// The entries of `list` (null: none at all) into `security`, as ReadSecurity reads them.
void ReadAccessList(const ACL* list, Security& security);

// An access list for a file the wrapper creates as its log: full control for SYSTEM,
// Administrators and the user the wrapper runs as, nothing inherited. Null when it cannot be
// made; it lives to the end of the run.
SECURITY_DESCRIPTOR* OwnersOnlyDescriptor();

} // namespace platform::win32
