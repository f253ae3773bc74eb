// What release of the product is installed, from its entry in the list of installed programs.
#pragma once

#include <string>

// 0 not installed; 1 to 3 a known release; 4 a release sorting after the newest known one;
// -1 any other release.
using InstalledState = int;

extern const char* const KnownReleases[3];

extern const char kProductCode[];

// The value's text, or empty when there is no usable value.
std::string ReadUninstallValue(const std::string& keyName, const std::string& valueName);

// Turns a value's raw bytes, as the registry returned them, into its text.
std::string ValueText(const unsigned char* data, unsigned long size);

InstalledState ClassifyRelease(const std::string& release);
InstalledState ClassifyInstalledProduct();
