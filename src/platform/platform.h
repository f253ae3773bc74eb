// The wrapper's only seam to the operating system. Everything above this header is portable; the
// Windows implementation lives in win32/, a file for each concern, and a scripted fake stands in
// for it in unit tests.
//
// Where an operation fills a caller's buffer it keeps the Win32 contract (a result of 0 is failure,
// a result at or above the capacity is the size that would have been needed), so the limit checks
// stay in portable, tested code.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

struct OsVersion {
    unsigned long major = 0;
    unsigned long minor = 0;
};

enum class ObjectKind { Missing, File, Folder };

// Answers of the yes/no question that the wrapper distinguishes.
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

// Success of the device-configuration calls.
constexpr unsigned long kConfigSuccess = 0;

struct ChildProcess;

// Called first thing by the program: no system error box may wait for an answer nobody gives, and
// no library is taken from the program's folder, which others may write to.
void PrepareProcess();

OsVersion QueryVersion();
bool QueryIs32On64();

// Opens `key` below HKEY_LOCAL_MACHINE for querying, reads `name` into `buffer` (on entry `*size`
// is its capacity, on return the size the system reported) and closes the key. Returns 0 on
// success, otherwise the failing call's status.
long ReadRegistryValue(const std::string& key, const std::string& name, unsigned char* buffer,
                       unsigned long* size);

unsigned long LocateRootDeviceNode(unsigned long* node);
unsigned long ReenumerateDeviceNode(unsigned long node);

int AskYesNo(const std::string& text, const std::string& caption);
// The session the process runs in (0 is the services' session), and whether its window station is
// visible to a user. False when the answer cannot be had.
bool QuerySessionId(unsigned long* session);
bool QueryWindowStationVisible(bool* visible);

std::size_t GetCurrentFolder(char* buffer, std::size_t capacity);
bool SetCurrentFolder(const std::string& path);
std::size_t GetSystemFolder(char* buffer, std::size_t capacity);
std::size_t GetEnvironmentValue(const std::string& name, char* buffer, std::size_t capacity);
ObjectKind QueryObject(const std::string& path);
// The absolute form of `path`, as the system would open it from the current folder, with the
// buffer contract above.
std::size_t GetFullPath(const std::string& path, char* buffer, std::size_t capacity);
// The log's path is walked from its root down, each name opened once, below the folder opened
// just before it, so that nothing done between two opens can lead the walk elsewhere. What is
// opened stays open to the end of the run, or until the walk is released: a folder opened to list
// it, or the file, sharing no deletion, cannot be renamed, deleted or replaced meanwhile.
//
// What the Windows side finds of one object on the way; the rules that weigh it are portable.
//
// Whom an owner or an access-list entry names, as far as the rules tell them apart: the
// well-known administrators' accounts and groups, the user the wrapper runs as, the two
// placeholders for an object's owner, and everyone else.
enum class Principal {
    Unknown,
    System,
    Administrators,
    TrustedInstaller,
    RunningUser,
    DomainAdmins,
    EnterpriseAdmins,
    CreatorOwner,
    OwnerRights,
    Other
};
// One entry of an object's access list, as stored: generic rights are not mapped yet.
struct AccessEntry {
    bool allows = false; // an allow entry of any type; every other type grants nothing
    bool inheritOnly = false;
    unsigned long mask = 0;
    Principal principal = Principal::Other;
    std::string sid; // as "S-1-5-11"; empty when it could not be read
};
struct Security {
    Principal owner = Principal::Unknown;
    std::string ownerSid;
    bool listRead = false;    // the access list below could be had
    bool listPresent = false; // none at all grants everyone everything
    std::vector<AccessEntry> entries;
};
struct PathObject {
    bool opened = false; // nothing else is known when it could not be
    bool folder = false;
    bool listed = false;     // a folder opened for listing, and so held
    bool link = false;       // a reparse point: symbolic link, junction, mount point
    unsigned long names = 0; // of a file; 0 when it cannot be examined
    bool created = false;    // a file this open made
    bool onDisk = false;     // a file on a disk, not a pipe or device
    // Hidden, system or read-only: a child that writes its log anew is refused such a file.
    bool shutsOutWriters = false;
    // Looked up only where it decides: the owner of a folder that could not be opened for
    // listing; owner and access list of a file that was there, or of an object examined.
    Security security;
};
// Starts a walk at `root` ("C:\", "\\server\share\"), releasing whatever an earlier walk
// held. False when it cannot be opened.
bool OpenLogRoot(const std::string& root);
// Opens the folder `name` below the folder opened last, itself if it is a link.
PathObject OpenLogFolder(const std::string& name);
// Opens the log file `name` in the folder opened last, itself if it is a link, creating it, for
// writing, sharing reading and writing with the children that write their own logs there.
PathObject OpenLogFile(const std::string& name);
// Whether a folder opened on the way has become a link since it was opened, seen through its
// handle (an empty folder can become one; a folder that holds the log no longer can).
bool LogFolderBecameLink();
// Keeps the file opened last as the log, to the end of the run; what the wrapper writes then goes
// there. Until then nothing is written.
void KeepLog();
// Closes everything the walk opened, and the log.
void ReleaseLogPath();
bool LogKept();
// Turns the hold on the log into one that only reads, for a child that writes its log sharing
// reading alone, as most setups do: the file still cannot be deleted or replaced. Later lines of
// the wrapper's go through a write handle opened for each. True when the log is held for reading
// now; where that hold cannot be had, the write hold stays.
bool HoldLogForReading();
// Whether the process's token is a member of Administrators: SYSTEM, or an elevated administrator.
bool RunsAsAdministrator();
// Whether a consent prompt would elevate the running user itself: its token is a filtered
// administrator's. Otherwise another administrator's credentials are asked for.
bool ElevatesRunningUser();
// The name of the file system of the volume at `root` ("C:\", "\\server\share\"), as "NTFS" or
// "FAT32"; false when it cannot be asked.
bool QueryFileSystem(const std::string& root, std::string& name);

// The package is walked by handle: each name opened below the folder opened before it, and every
// name and path in UTF-8, as the file system spells it, whatever the code page. Nothing is held
// longer than the judgement of what it holds; everything is opened sharing everything, so that
// nobody's use of the package is disturbed.
struct PackageObject;
// Opens `name` below the open folder `folder`, or the absolute path `name` when `folder` is null:
// itself if it is a link, or with `followLink` what it leads to. Null when it cannot be opened;
// `found` then says nothing. Owner and access list are read too.
PackageObject* OpenPackageObject(PackageObject* folder, const std::string& name, bool followLink,
                                 PathObject& found);
void ClosePackageObject(PackageObject* object);
// The names in the open folder, without "." and ".."; false when it cannot be listed.
bool ListPackageFolder(PackageObject* folder, std::vector<std::string>& names);
// Where the open object lies, links resolved ("D:\x\y", "\\server\share\x"); false when that
// cannot be had.
bool ReadFinalPath(PackageObject* object, std::string& path);
// A path in the process's code page made UTF-8, and back for showing it (a character the code
// page lacks shown as "?").
std::string Utf8FromCodePage(const std::string& path);
std::string CodePageFromUtf8(const std::string& path);
// Whether `byte` starts a two-byte character in the process's code page.
bool IsLeadByte(char byte);

void Wait(unsigned long milliseconds);

// Why a program could not be started.
enum class StartFailure { None, NeedsElevation, Other };

// Starts the program at the absolute path `program` with exactly `commandLine`, in the wrapper's
// current folder, its standard output to a pipe that we read, standard input and error the
// wrapper's own. Nothing is searched or expanded. Returns nullptr, and says why in `failure`, when
// it cannot be started.
ChildProcess* StartChild(const std::string& program, const std::string& commandLine,
                         StartFailure* failure);
// Starts the program as the system's shell does, which asks for consent where the program needs
// elevation, with `parameters`, in `folder`. Its output is not read. Nullptr when declined or
// failed.
ChildProcess* StartThroughShell(const std::string& program, const std::string& parameters,
                                const std::string& folder);
// The share's own (UNC) path of `path` where it lies on a drive letter mapped to a network share,
// with the buffer contract above; 0 on any other drive or when it cannot be had.
std::size_t GetUniversalPath(const std::string& path, char* buffer, std::size_t capacity);
// Reads some of the output, at most `capacity` bytes; false once it has ended (at once for a
// program started through the shell).
bool ReadChildOutput(ChildProcess* child, char* buffer, std::size_t capacity);
// Exit status of a program that cannot be had.
constexpr unsigned long kUnknownExitStatus = 0xFFFFFFFFUL;
// Waits for the program to end and returns its exit status. With `dispatchMessages` the thread's
// window messages are dispatched meanwhile, as a thread that started a program through the shell
// must: the program may send it messages and wait for the answer.
unsigned long WaitForChild(ChildProcess* child, bool dispatchMessages);

void WriteToConsole(const std::string& text);

// Appends `line` to the kept log in text mode, never waiting for long on anyone else's hold or
// lock. False when none is kept or it could not be written: the line is then lost.
bool AppendToLog(const std::string& line);

[[noreturn]] void EndProcess(int code);

} // namespace platform
