// Whether anyone but the trusted could have changed the package whose code the wrapper starts,
// often as SYSTEM: whatever they put there would run with the wrapper's rights.
#pragma once

#include <cstddef>
#include <string>

// The most objects, and folders deep, that the package setup's folder may hold to be judged: a
// larger tree is refused rather than walked for ever.
constexpr std::size_t kMostPackageObjects = 10000;
constexpr std::size_t kDeepestPackageFolder = 16;

// Whether the package setup's folder `setupFolder` (absolute, in the process's code page), and
// what leads to it, could have been changed by someone untrusted: every folder below the volume's
// root may not be replaced, and the setup's folder and everything in it not changed; where a
// link leads is judged so too, with the folders above it. Only a volume whose file system is
// known to keep no access lists is not judged. `runnerTrusted`: whether the user the wrapper runs
// as counts as trusted. Where it could, `finding` says of what and why, as a line of its own.
bool OthersMayChangePackage(const std::string& setupFolder, bool runnerTrusted,
                            std::string& finding);
