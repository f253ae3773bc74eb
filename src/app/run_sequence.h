#pragma once

// Decides from the installed release and the options what to do, does it and ends the process.
[[noreturn]] void RunSequence();

// Whether the wrapper installs on this operating-system version.
bool AcceptsOperatingSystem(unsigned long major, unsigned long minor);
