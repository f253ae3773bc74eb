// The sequences a fleet runs, with the real setup.exe and the machine's Windows Installer: a
// fresh installation with a log, an upgrade from 1.7.0.7, a removal, the question where nobody
// sees it; and what Windows Installer itself answers.
#include <string>

#include "field.h"

namespace field {

namespace {

constexpr char kUnknownProduct[] = "{00000000-1111-2222-3333-444444444444}";

// A canary notes "canary|<itself>|<the program that loaded it>".
bool LoadedByWrapper(const Field& field, const std::vector<std::string>& record) {
    const std::string wrapper = "|" + field.package + "\\setup.exe";
    for (const std::string& line : record) {
        if (line.compare(0, 7, "canary|") == 0 && line.size() >= wrapper.size() &&
            line.compare(line.size() - wrapper.size(), wrapper.size(), wrapper) == 0) {
            return true;
        }
    }
    return false;
}

void CheckUnknownProduct(Field& field) {
    const unsigned long code =
        Msiexec(field, std::string("/x ") + kUnknownProduct + " /qn /norestart");
    Judge(field, "msi-results", code == 1605,
          "msiexec /x of an unknown product ended with " + Number(code));
}

// A real removal with a log where an older one lies: the removal's log alone stays.
void CheckLogAnew(Field& field) {
    const std::string log = field.logs + "\\msi.log";
    const std::string old = "an older log that /log must replace\r\n";
    WriteWhole(log, old);
    if (!InstallTestRelease(field, "1.7.0.7")) {
        Note(field, "msi-log", Verdict::NotTried,
             "the test release 1.7.0.7 could not be installed");
        return;
    }
    const unsigned long code = Msiexec(field, "/x {7D4E91A3-2C5B-4F86-B0E7-91A6C3D58F24} /log \"" +
                                                  log + "\" /qn /norestart");
    const std::string text = ReadWhole(log);
    const bool anew = text.find(old) == std::string::npos && !text.empty();
    Judge(field, "msi-log", code == 0 && anew,
          "a removal (" + Number(code) + ") " +
              (anew           ? "wrote its log anew"
               : text.empty() ? "wrote no log"
                              : "kept the older text"));
}

// The setup stand-in notes its error mode and whether the handle made inheritable here reached
// it through the wrapper.
void CheckFreshInstallation(Field& field) {
    Step("a fresh installation with a log (some seconds)");
    if (!InstallTestRelease(field, "")) {
        Note(field, "handle-list", Verdict::NotTried, "the test release could not be removed");
        return;
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    const HANDLE probe = CreateEventA(&inherit, TRUE, FALSE, nullptr);
    const std::string value =
        Number(static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(probe)));
    SetEnvironmentVariableA("STANDIN_SETUP_PROBE_HANDLE", value.c_str());
    TakeRecord(field);
    const Run run = RunWrapper(field, "-s -f2" + field.logs + "\\install.log");
    SetEnvironmentVariableA("STANDIN_SETUP_PROBE_HANDLE", nullptr);
    CloseHandle(probe);
    const std::vector<std::string> record = TakeRecord(field);
    const bool installed = run.code == 0 && InstalledRelease() == "1.8.0.0";
    Judge(field, "handle-list", Recorded(record, "handle|SETUP|0"),
          Recorded(record, "handle|SETUP|1") ? "the setup holds a handle the wrapper did not list"
                                             : "the setup holds none beyond the list");
    Judge(field, "error-mode", Recorded(record, "errormode|SETUP|0"),
          "the setup started by the wrapper has error mode " +
              std::string(Recorded(record, "errormode|SETUP|0") ? "0" : "other than 0"));
    const bool loaded = LoadedByWrapper(field, record);
    for (const char* row : {"dll-search", "dll-full-path", "loaded-by-name"}) {
        Judge(field, row, !loaded && installed,
              loaded ? "the wrapper loaded a library planted in the package"
                     : "no library planted in the package loaded; installation ended with " +
                           Number(run.code));
    }
}

// Windows Installer removes 1.7.0.7 under the wrapper's write hold on the log: whatever it
// writes there settles how it shares its log.
void CheckUpgrade(Field& field) {
    Step("an upgrade from 1.7.0.7 (about 40 s: the wrapper's own waits)");
    if (!InstallTestRelease(field, "1.7.0.7")) {
        Note(field, "held-log", Verdict::NotTried,
             "the test release 1.7.0.7 could not be installed");
        return;
    }
    const std::string log = field.logs + "\\upgrade.log";
    const Run run = RunWrapper(field, "-s -f2" + log);
    const std::string text = ReadWhole(log);
    const bool installerWrote = text.size() > 200; // Windows Installer's log, not a line or two
    Judge(field, "held-log", run.code == 0 && InstalledRelease() == "1.8.0.0" && installerWrote,
          "upgrade ended with " + Number(run.code) + " in " + Number(run.milliseconds / 1000) +
              " s; the log holds " + Number(static_cast<unsigned long>(text.size())) + " bytes");
    Judge(field, "msi-results", run.code == 0, "the removal under the upgrade was taken as done");
    TakeRecord(field);
}

void CheckRemoval(Field& field) {
    Step("a removal");
    const Run run = RunWrapper(field, "-r -s -f2" + field.logs + "\\remove.log");
    Judge(field, "msi-results", run.code == 0 && InstalledRelease().empty(),
          "removal ended with " + Number(run.code));
}

// A window station no user sees, as a service's: the question over a later release is never
// asked there.
void CheckNobodyToAnswer(Field& field) {
    Step("the question where nobody can answer it");
    if (!InstallTestRelease(field, "1.9")) {
        return;
    }
    const Run run = RunProgram(field, field.home + "\\hidden_station.exe",
                               "hidden_station.exe \"" + field.package + "\\setup.exe -a\"",
                               field.package, 120000);
    Judge(field, "nobody-to-answer", run.ended && run.code == 6,
          "over 1.9 on an invisible window station, setup.exe -a ended with " + Number(run.code) +
              " in " + Number(run.milliseconds) + " ms");
    InstallTestRelease(field, "");
}

} // namespace

void CheckInstaller(Field& field) {
    Step("Windows Installer's answers");
    CheckUnknownProduct(field);
    CheckLogAnew(field);
}

void CheckRuns(Field& field) {
    CheckFreshInstallation(field);
    CheckUpgrade(field);
    CheckRemoval(field);
    CheckNobodyToAnswer(field);
}

} // namespace field
