#pragma once

#include <string>

#include "platform/platform.h"
#include "report/report.h"

// Every refusal is reported and followed at once by the process exit.
[[noreturn]] inline void Refuse(const std::string& message, int exitCode) {
    ReportMessage(message);
    platform::EndProcess(exitCode);
}
