// The package judgement, tried on folders as a careless and a careful administrator lay them
// out; an oplock nobody acknowledges on the setup; a share and a FAT volume where given; and the
// folders administrators deploy from and log to, as the wrapper would judge them.
#include <string>

#include "field.h"
#include "platform/platform.h"
#include "platform/win32/access.h"
#include "trust/trust.h"

#include <sddl.h>
#include <winioctl.h>

namespace field {

namespace {

constexpr char kRefusal[] = "The package can be changed by users other than administrators";

bool SetList(const std::string& path, const char* sddl, SECURITY_INFORMATION what) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                             nullptr) == FALSE) {
        return false;
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    ACL* list = nullptr;
    PSID owner = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted);
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    const bool set = SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT, what,
                                           owner, nullptr, list, nullptr) == ERROR_SUCCESS;
    LocalFree(descriptor);
    return set;
}

// Who owns what this token makes, and whether the token counts as an administrator's.
std::string TokenFacts(const Field& field) {
    const std::string made = field.work + "\\owned";
    CreateDirectoryA(made.c_str(), nullptr);
    const HANDLE folder = CreateFileA(made.c_str(), READ_CONTROL, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const platform::Security security = platform::win32::ReadSecurity(folder, false);
    if (folder != INVALID_HANDLE_VALUE) {
        CloseHandle(folder);
    }
    return "a folder this token makes is owned by " + security.ownerSid +
           (field.elevated ? "; CheckTokenMembership: Administrators"
                           : "; CheckTokenMembership: no");
}

// Authenticated Users may change the setup's folder: refused, with the folder named.
void CheckOpenPackage(Field& field) {
    const std::string folder = field.package + "\\Win7\\" + (field.is64 ? "64" : "32");
    const bool set = SetList(folder, "D:AI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)",
                             DACL_SECURITY_INFORMATION);
    if (!set || DescriptorText(folder).find(";AU)") == std::string::npos) {
        Note(field, "package-trust", Verdict::NotTried,
             "an entry for Authenticated Users was set on the setup's folder but not kept");
        return;
    }
    const Run run = RunWrapper(field, "-a");
    const bool named = run.output.find(kRefusal) != std::string::npos &&
                       run.output.find("S-1-5-11") != std::string::npos;
    Judge(field, "package-trust", run.code == 5 && named,
          "a setup folder Authenticated Users may change: exit " + Number(run.code) +
              (named ? ", the refusal names S-1-5-11" : ", no refusal naming S-1-5-11"));
}

// A junction in the setup's folder to one Authenticated Users may change: refused, with where it
// leads named.
void CheckLinkTarget(Field& field) {
    const std::string outside = field.work + "\\outside";
    const std::string link = field.package + "\\Win7\\" + (field.is64 ? "64" : "32") + "\\drivers";
    CreateDirectoryA(outside.c_str(), nullptr);
    SetList(outside, "D:AI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)",
            DACL_SECURITY_INFORMATION);
    if (!MakeJunction(link, outside)) {
        Note(field, "package-trust", Verdict::NotTried,
             "no junction could be made in the package (" + Number(GetLastError()) + ")");
        RemoveDirectoryA(link.c_str());
        return;
    }
    const Run run = RunWrapper(field, "-a");
    RemoveDirectoryA(link.c_str());
    const bool named = run.output.find(outside) != std::string::npos;
    Judge(field, "package-trust", run.code == 5 && named,
          "a junction in the package to a folder Authenticated Users may change: exit " +
              Number(run.code) + (named ? ", the refusal names where it leads" : ""));
}

// As the README protects a package folder: installs.
void CheckProtectedPackage(Field& field) {
    // The setup's folder's own entries go first: the top folder's list reaches it only by
    // inheritance, as it reaches copies made below a protected folder.
    const std::string folder = field.package + "\\Win7\\" + (field.is64 ? "64" : "32");
    const bool set =
        SetList(folder, "D:AI",
                DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION) &&
        SetList(field.package, "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)",
                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                    PROTECTED_DACL_SECURITY_INFORMATION);
    InstallTestRelease(field, "");
    const Run run = RunWrapper(field, "-s");
    const bool installed = run.code == 0 && InstalledRelease() == "1.8.0.0";
    Judge(field, "package-trust", set && installed,
          "the package protected as the README says: exit " + Number(run.code) + "; " +
              TokenFacts(field));
    InstallTestRelease(field, "");
}

// Never acknowledged: "the system waits forever" for whoever breaks it.
void CheckOplock(Field& field) {
    const std::string setup =
        field.package + "\\Win7\\" + (field.is64 ? "64" : "32") + "\\setup.exe";
    const HANDLE file = CreateFileA(setup.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const bool granted = file != INVALID_HANDLE_VALUE &&
                         DeviceIoControl(file, FSCTL_REQUEST_BATCH_OPLOCK, nullptr, 0, nullptr, 0,
                                         nullptr, &overlapped) == FALSE &&
                         GetLastError() == ERROR_IO_PENDING;
    const DWORD error = GetLastError();
    if (!granted) {
        Note(field, "oplocks", Verdict::NotTried,
             "the file system granted no batch oplock on the setup (" + Number(error) + ")");
    } else {
        Step("an oplock on the setup nobody acknowledges (two minutes at most)");
        const Run run = RunWrapper(field, "-s", "");
        Judge(field, "oplocks", run.ended,
              run.ended ? "the run ended with " + Number(run.code) + " in " +
                              Number(run.milliseconds) + " ms"
                        : "the run was held until ended after 120 s");
        InstallTestRelease(field, "");
    }
    if (file != INVALID_HANDLE_VALUE) {
        CancelIo(file);
        CloseHandle(file);
    }
    CloseHandle(overlapped.hEvent);
}

// The package laid out below `root`, run from there, and removed again.
Run RunFrom(Field& field, const std::string& root) {
    const std::string copy = root + "\\LumenorFieldCheck." + Number(GetCurrentProcessId());
    const std::string folder = copy + (field.is64 ? "\\Win7\\64" : "\\Win7\\32");
    CreateDirectoryA(copy.c_str(), nullptr);
    CreateDirectoryA((copy + "\\Win7").c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    CopyInto(field.package + "\\setup.exe", copy + "\\setup.exe");
    CopyInto(field.home + "\\standin.exe", folder + "\\setup.exe");
    Run run;
    run.code = 0xFFFFFFFFUL;
    if (InstallTestRelease(field, "")) {
        run = RunWrapper(field, "-s", copy);
    }
    RemoveTree(copy);
    return run;
}

void CheckShare(Field& field) {
    if (field.share.empty()) {
        return;
    }
    Step("a package on the share " + field.share);
    const Run run = RunFrom(field, field.share);
    const std::size_t refusal = run.output.find(kRefusal);
    const std::string line = refusal == std::string::npos ? "" : run.output.substr(refusal);
    Judge(field, "unc-folder", run.code == 0 || (run.code == 5 && !line.empty()),
          "from the share: exit " + Number(run.code) + (line.empty() ? "" : ": " + line));
}

void CheckFat(Field& field) {
    if (field.fat.empty()) {
        return;
    }
    std::string name;
    platform::QueryFileSystem(field.fat.substr(0, 3), name);
    Step("a package on " + name + " at " + field.fat);
    const Run run = RunFrom(field, field.fat);
    Judge(field, "package-trust", run.code == 0,
          "on " + name + ", not judged: exit " + Number(run.code));
}

} // namespace

void CheckPackage(Field& field) {
    Step("the package judgement");
    CheckLinkTarget(field);
    CheckOpenPackage(field);
    CheckProtectedPackage(field);
    CheckOplock(field);
    CheckShare(field);
    CheckFat(field);
}

// Owner and list as SDDL, and whether the wrapper would take each for a folder above a package.
void ListDeployFolders(const Field& field, std::string& out) {
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    const std::string system = windows;
    const std::string drive = system.substr(0, 3);
    const std::string folders[] = {drive,
                                   drive + "Program Files",
                                   drive + "ProgramData",
                                   system,
                                   system + "\\Temp",
                                   system + "\\Logs",
                                   system + "\\ccmcache",
                                   system + "\\CCM\\Logs",
                                   field.share};
    out += "\nFolders administrators deploy from and log to, as SDDL, and the wrapper's verdict "
           "on each as a folder above a package:\n";
    for (const std::string& folder : folders) {
        const HANDLE handle =
            folder.empty()
                ? INVALID_HANDLE_VALUE
                : CreateFileA(folder.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            continue;
        }
        const std::string why =
            WhyOthersMayChange(platform::win32::ReadSecurity(handle, true), rights::kReplace, true);
        CloseHandle(handle);
        out += folder + " | " + DescriptorText(folder) + " | " +
               (why.empty() ? "only the trusted may replace it" : why) + "\n";
    }
}

} // namespace field
