#!/usr/bin/env python3
"""End-to-end tests of the real setup.exe under Wine.

Each group of cases runs in a Wine prefix of its own (a cheap copy of a template made once per
test run), so that CTest can run groups side by side. A case lays out a package folder as in the
field (C:\\pkg with setup.exe at its root and Win7\\64, Win7\\32 below it), sets the installed
release in the registry, runs the wrapper and checks its exit code, the bytes on its standard
output and in the log, and what the stand-in children and the device-configuration stand-in
recorded.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time
import traceback

from winemachine import REMOVAL, Machine, make_template

QUIET_REMOVAL = REMOVAL + " /qn /norestart "


def logged_removal(log):
    return REMOVAL + "/log \"" + log + "\" /qn /norestart "


USAGE = (
    "\n\nCorvith Installer 1.8.0.1 - 2014-07-14\n\n\nUSAGE:\n\n"
    "  1. setup.exe -a ----------------------> Install or modify installation\n"
    "  2. setup.exe -a -f2<PathToLogFile> ---> Install or modify installation and add a log file\n"
    "  3. setup.exe -s ----------------------> Run installation in Silent Mode\n"
    "  4. setup.exe -s -f2<PathToLogFile> ---> Run in Silent Mode and add a log file\n"
    "  5. setup.exe -r ----------------------> Removes the installed driver\n"
    "  6. setup.exe -r -f2<PathToLogFile> ---> Removes the installed driver and add a log file\n"
    "  7. setup.exe -r -s -------------------> Removes the installed driver in Silent Mode\n"
    "  8. setup.exe -r -s -f2<PathToLogFile -> Removes the installed driver in Silent Mode with "
    "log file\n\n\nExample: setup.exe -s -f2c:\\temp\\silentlog.log\n\n")

BAD_ARGUMENT = "\nError in Input File: please check usage.\n Line: {}\n"
INVALID_LOG = "Invalid log file path provided\n"
NEWER = "Newer version is already installed\n"
REMOVAL_FAILED = "Failed to remove the installed version\n"
PREFIX = "SETUP WRAPPER: "


def crlf(text):
    return text.replace("\n", "\r\n").encode("latin-1")


def logged(*messages):
    return b"".join(crlf(PREFIX + m) for m in messages)


class CaseFailed(Exception):
    pass


def expect(actual, wanted, what):
    if actual != wanted:
        raise CaseFailed(f"{what}:\n    got    {actual!r}\n    wanted {wanted!r}")


CASES = {}


def case(group):
    def register(function):
        CASES.setdefault(group, []).append(function)
        return function
    return register


def fresh(m, release=None, version="win7", **layout):
    m.set_version(version)
    m.install(release)
    m.lay_out_package(**layout)
    for name in ("C:\\temp\\silentlog.log", "C:\\logs\\run.log", "C:\\pkg\\run.log"):
        if os.path.exists(m.path(name)):
            os.unlink(m.path(name))


def expect_refusal(r, code, stdout=b"", children=(), label=""):
    expect(r.code, code, label + "exit code")
    expect(r.stdout, stdout, label + "standard output")
    expect(r.started(), list(children), label + "children started")


# --- Options and reporting ------------------------------------------------------------------

@case("options")
def usage_without_arguments(m):
    fresh(m)
    r = m.run([])
    expect_refusal(r, 1, crlf(USAGE))


def loaded_libraries(stderr):
    """The libraries Wine reports the wrapper loading (WINEDEBUG=+loaddll), by lower-case name.
    Only its own thread's lines count: Wine's services may start meanwhile and load their own."""
    loads = []
    for line in stderr.decode("latin-1").splitlines():
        if ":trace:loaddll:" in line and " Loaded " in line:
            loads.append((line.split(":", 1)[0], line.split('"')[1].split("\\\\")[-1].lower()))
    wrapper = [thread for thread, name in loads if name == "setup.exe"]
    return {name for thread, name in loads if wrapper and thread == wrapper[0]}


@case("options")
def short_runs_load_only_the_libraries_they_use(m):
    traced = {"WINEDEBUG": "+loaddll"}
    fresh(m)
    r = m.run([], env=traced)
    expect(r.code, 1, "usage exit code")
    loaded = loaded_libraries(r.stderr)
    expect("kernel32.dll" in loaded, True, f"the trace works ({sorted(loaded)})")
    for name in ("user32.dll", "setupapi.dll", "advapi32.dll", "version.dll"):
        expect(name in loaded, False, f"{name} loaded for the usage text")
    fresh(m, "1.8.0.1")  # a newer release, refused at once in a silent run
    r = m.run(["-s"], env=traced)
    expect(r.code, 6, "refusal exit code")
    loaded = loaded_libraries(r.stderr)
    expect("advapi32.dll" in loaded, True, "the registry is read")
    for name in ("user32.dll", "setupapi.dll"):
        expect(name in loaded, False, f"{name} loaded for a refusal")


def wrapper_calls(stderr, function):
    """Arguments of each call the wrapper's own thread makes to `function` (WINEDEBUG=+relay)."""
    lines = stderr.decode("latin-1").splitlines()
    thread = next((line.split(":", 1)[0] for line in lines if ":Call " in line), None)
    marker = f":Call KERNEL32.{function}("
    return [line.split(marker, 1)[1].rsplit(") ret=", 1)[0] for line in lines
            if line.startswith(f"{thread}{marker}")]


@case("options")
def unknown_argument_is_reported_whole(m):
    fresh(m)
    expect_refusal(m.run(["-x"]), 1, crlf(BAD_ARGUMENT.format("-x")))
    expect_refusal(m.run(["-f"]), 1, crlf(BAD_ARGUMENT.format("-f")))
    expect_refusal(m.run([""]), 1, crlf(BAD_ARGUMENT.format("")))
    expect_refusal(m.run(["-x", "-s"]), 1, crlf(BAD_ARGUMENT.format("-x")))
    hostile = "%s%n%x%d" + "y" * 1000
    expect_refusal(m.run(["-a", hostile]), 1, crlf(BAD_ARGUMENT.format(hostile)))


@case("options")
def earlier_options_govern_the_report_of_a_bad_argument(m):
    fresh(m)
    r = m.run(["-f2C:\\logs\\run.log", "-s", "-x", "-a"])
    expect_refusal(r, 1)
    expect(m.read("C:\\logs\\run.log"), logged(BAD_ARGUMENT.format("-x")), "log")


@case("options")
def remove_and_install_together_are_refused(m):
    fresh(m, "1.7.0.7")
    expect_refusal(m.run(["-r", "-a"]), 1, crlf("Invalid input parameters\n"))
    expect_refusal(m.run(["-a", "-R"]), 1, crlf("Invalid input parameters\n"))
    r = m.run(["-r", "-s", "-a", "-f2run.log"])
    expect_refusal(r, 1)
    expect(m.read("C:\\pkg\\run.log"), logged("Invalid input parameters\n"), "log")


@case("options")
def silent_refusals_appear_only_in_the_log(m):
    fresh(m)
    m.write("C:\\logs\\run.log", b"earlier line\r\n")
    r = m.run(["-s", "-r", "-f2C:\\logs\\run.log"])
    expect_refusal(r, 7)
    expect(m.read("C:\\logs\\run.log"),
           b"earlier line\r\n" + logged("Product to be removed is not installed\n"),
           "log appended to")
    r = m.run(["-r", "-f2C:\\logs\\run.log"])
    expect_refusal(r, 7, crlf("Product to be removed is not installed\n"))
    expect(m.read("C:\\logs\\run.log"),
           b"earlier line\r\n" + logged("Product to be removed is not installed\n") * 2,
           "second run appended")


def documented_batch_file():
    """The batch file of the deployment reference, as it stands there."""
    page = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs",
                        "deployment.md")
    with open(page, encoding="utf-8") as f:
        return f.read().split("```bat\n", 1)[1].split("```", 1)[0]


# A start-up script runs in the 64-bit command interpreter on 64-bit Windows; by hand it may be
# either.
CMD_32 = ["cmd"]
CMD_64 = [shutil.which("wine64") or "/usr/lib/wine/wine64", "cmd"]
BATCH_VARIABLES = ("LATER_MAY_STAY=", "REPLACE_LATER=", "LOGS=", "KEY=", "REG=", "LINE=",
                   "INSTALLED=", "RESULT=")


def run_batch_file(m, script, cmd=CMD_32, then=None, folder="C:\\pkg", **env):
    """Runs the file as a start-up script would, or with `call` followed by `then`."""
    m.write(folder + "\\install.bat", script.replace("\n", "\r\n").encode())
    line = folder + "\\install.bat" if then is None else f"call {folder}\\install.bat & " + then
    return m.run([], via=cmd + ["/c", line], cwd="C:\\windows", env=env)


@case("batch")
def documented_batch_file_ends_as_its_page_says(m):
    batch = documented_batch_file()
    for cmd in (CMD_32, CMD_64):
        bits = f"{'64' if cmd is CMD_64 else '32'}-bit cmd, "
        fresh(m)
        os.replace(m.path("C:\\pkg\\Win7\\64\\setup.exe"), m.path("C:\\pkg\\setup.exe"))
        for code in (0, 5, 6):
            r = run_batch_file(m, batch, cmd, STANDIN_SETUP_EXIT=str(code))
            expect(r.code, code, f"{bits}batch file after {code}")
            expect(r.started(), [("SETUP", "C:\\pkg",
                                  'setup.exe -s "-f2C:\\windows\\Logs\\Lumenor\\LumenorSetup.log"')],
                   f"{bits}started in the package with its log in Logs\\Lumenor after {code}")
        # The real wrapper: nothing runs over the release it installs; a value read whole, as the
        # wrapper reads it, is a later release or none it knows.
        for value, code in (("1.8.0.0", 0), ("1.8.0.0 beta", 6), (" 1.8.0.0", 5)):
            fresh(m, value)
            r = run_batch_file(m, batch, cmd)
            expect((r.code, r.started()), (code, []), f"{bits}over {value!r}")
        # Copied alone into a policy's scripts folder: no setup.exe beside it.
        r = run_batch_file(m, batch, cmd, folder="C:\\scripts")
        expect((r.code, r.started(), b"setup.exe is not beside this file." in r.stdout),
               (8, [], True), f"{bits}the file alone in a folder")
        shown = run_batch_file(m, batch, cmd, then="set").stdout.replace(b"\r", b"")
        left = [v for v in BATCH_VARIABLES if ("\n" + v).encode() in shown]
        expect((b"\nPATH=" in shown.upper(), left), (True, []),
               f"{bits}the caller's variables shown, none of the file's")
    fresh_real(m, "1.9")
    r = run_batch_file(m, batch.replace("set REPLACE_LATER=0", "set REPLACE_LATER=1"))
    expect(r.code, 0, "later release replaced: exit code")
    expect(m.installed(), release("1.8.0.0"), "later release replaced: installed afterwards")


@case("logpath")
def bare_file_name_lands_in_the_current_folder(m):
    fresh(m)
    r = m.run(["-r", "-f2run.log"])
    expect_refusal(r, 7, crlf("Product to be removed is not installed\n"))
    expect(m.read("C:\\pkg\\run.log"), logged("Product to be removed is not installed\n"), "log")
    os.makedirs(m.path("C:\\temp\\work"), exist_ok=True)
    r = m.run(["-r", "-f2here.log"], cwd="C:\\temp\\work")
    expect(r.code, 7, "exit code from another folder")
    expect(m.read("C:\\temp\\work\\here.log"),
           logged("Product to be removed is not installed\n"), "log in that folder")


@case("logpath")
def leading_variable_is_expanded(m):
    fresh(m)
    env = {"LOGDIR": "C:\\logs"}
    r = m.run(["-r", "-f2%LOGDIR%\\sub\\run.log"], env=env)
    expect_refusal(r, 7, crlf("Product to be removed is not installed\n"))
    expect(m.read("C:\\logs\\run.log"), logged("Product to be removed is not installed\n"),
           "log below the variable's folder, sub dropped")
    r = m.run(["-r", "-f2%LOGDIR%"], env=env)
    expect(r.code, 7, "exit code")
    expect(m.read("C:\\logs\\%LOGDIR%"), logged("Product to be removed is not installed\n"),
           "file named as typed")
    r = m.run(["-r", "-f2%TEMP%\\t.log"])
    expect(r.code, 7, "exit code with TEMP")
    expect(m.read("C:\\users\\" + os.environ.get("USER", "root") + "\\Temp\\t.log") is not None,
           True, "log in Wine's TEMP")


# Devices, and paths that name a stream of another file.
DEVICES_AND_STREAMS = ["C:run.log", "C:\\logs\\x.log:s", "CON", "nul.log", "C:\\logs\\aux",
                       "C:\\logs\\COM1", "C:\\logs\\lpt1.txt", "C:\\logs\\prn .log",
                       "\\\\.\\C:\\logs\\run.log"]  # the device namespace: a colon in a folder


@case("logpath")
def unusable_log_paths_exit_two(m):
    fresh(m)
    env = {"EMPTYISH": "C:\\nowhere"}
    # A second name of another file, as a user who may create files in the folder can make one.
    m.write("C:\\victim\\config.txt", b"setting=1\r\n")
    if os.path.exists(m.path("C:\\logs\\linked.log")):
        os.unlink(m.path("C:\\logs\\linked.log"))
    os.link(m.path("C:\\victim\\config.txt"), m.path("C:\\logs\\linked.log"))
    # A folder on the way that is a link to another (under Wine, a symbolic link), a link that
    # leads to itself, which cannot be opened, and a device, which cannot be examined.
    m.write("C:\\target\\other.txt", b"other=1\r\n")
    for link, target in (("C:\\jdir", "target"), ("C:\\logs\\loop.log", "loop.log"),
                         ("C:\\logs\\null.log", "/dev/null")):
        if os.path.lexists(m.path(link)):
            os.unlink(m.path(link))
        os.symlink(target, m.path(link))
    before = {folder: sorted(os.listdir(m.path(folder))) for folder in ("C:\\logs", "C:\\pkg")}
    for path in ["C:\\logs\\linked.log", "C:\\jdir\\other.txt", "C:\\logs\\loop.log",
                 "C:\\logs\\null.log", "C:\\missing\\run.log", "%NOSUCHVAR%\\run.log", "%LOGDIR\\run.log",
                 "%EMPTYISH%\\run.log", "\\run.log", "nofolder/run.log",
                 "",                                 # -f2 alone: no file name
                 "C:\\logs\\", "C:\\logs",            # a folder, not a file
                 "C:\\logs\\a\"b.log", "C:\\logs\\a|b.log", "C:\\logs\\a?b.log",
                 "C:\\logs\\" + "n" * 252,            # 260 characters
                 ] + DEVICES_AND_STREAMS:
        r = m.run(["-a", "-f2" + path], env=env)
        expect_refusal(r, 2, crlf(INVALID_LOG), label=path + ": ")
        r = m.run(["-s", "-f2" + path], env=env)
        expect_refusal(r, 2, label=path + ": ")
    for path in ["C:\\logs\\linked.log", "C:\\jdir\\other.txt"] + DEVICES_AND_STREAMS:  # nor a bad argument's report
        expect_refusal(m.run(["-f2" + path, "-x"]), 1, crlf(BAD_ARGUMENT.format("-x")),
                       label=path + " -x: ")
    for folder, names in before.items():
        expect(sorted(os.listdir(m.path(folder))), names, f"no file or stream made in {folder}")
    expect(m.read("C:\\victim\\config.txt"), b"setting=1\r\n", "the linked file unchanged")
    expect(m.read("C:\\target\\other.txt"), b"other=1\r\n", "the file behind the folder unchanged")
    # A log that was there, another user's: its owner could shut the children out of it later.
    if os.geteuid() == 0:
        m.write("C:\\logs\\theirs.log", b"")
        os.chown(m.path("C:\\logs\\theirs.log"), 65534, 65534)
        expect_refusal(m.run(["-a", "-f2C:\\logs\\theirs.log"]), 2, crlf(INVALID_LOG),
                       label="another user's log: ")
    # A log that was there, hidden, system or read-only: a child that writes its log anew is
    # refused such a file. Wine takes hidden and system from user.DOSATTRIB, read-only from the mode.
    for name, attribute, mode in (("hidden", b"0x2", 0o644), ("system", b"0x4", 0o644),
                                  ("readonly", None, 0o444)):
        path = "C:\\logs\\" + name + ".log"
        m.write(path, b"")
        if attribute:
            os.setxattr(m.path(path), "user.DOSATTRIB", attribute)
        os.chmod(m.path(path), mode)
        expect_refusal(m.run(["-a", "-f2" + path]), 2, crlf(INVALID_LOG), label=name + " log: ")
    longest = "C:\\logs\\" + "n" * 251                 # 259 characters
    r = m.run(["-r", "-f2" + longest])
    expect(r.code, 7, "259 characters accepted")
    expect(os.path.exists(m.path(longest)), True, "log at the longest path")


@case("logpath")
def created_log_is_for_administrators_and_the_runner_alone(m):
    """Wine keeps no access list given at a file's creation: the one the wrapper gives is read
    back by Wine's own security calls instead, protected, with nothing inherited."""
    program = os.path.join(m.build, "tests", "standins", "descriptor_check.exe")
    words = subprocess.run(["wine", program], env=m.env, capture_output=True,
                           check=True).stdout.decode().split()
    expect(words[0], f"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;{words[1]})", "the created log's list")


def japanese_locale(m):
    """Wine in code page 932, with the locale made beside the prefix: the machine's stays as is."""
    folder = os.path.join(os.path.dirname(m.prefix), "locale")
    if not os.path.isdir(os.path.join(folder, "ja_JP.UTF-8")):
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8",
                        os.path.join(folder, "ja_JP.UTF-8")], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return {"LOCPATH": folder, "LC_ALL": "ja_JP.UTF-8"}


@case("logpath")
def double_byte_paths_in_code_page_932(m):
    fresh(m)
    env = japanese_locale(m)
    not_installed = crlf("Product to be removed is not installed\n")
    # The second bytes of ソ and ポ are "\\" and "|".
    os.makedirs(m.path("C:\\logs\\\u30ec\u30dd\u30fc\u30c8"))
    for log in ["\u30bd\u30d5\u30c8.log", "C:\\logs\\\u30ec\u30dd\u30fc\u30c8\\run.log",
                "C:\\logs\\\u30bdcon.log"]:
        r = m.run(["-r", "-f2" + log], env=env)
        expect_refusal(r, 7, not_installed, label=log + ": ")
        written = m.read(log if log.startswith("C:") else "C:\\pkg\\" + log)
        expect(written, logged("Product to be removed is not installed\n"), log + ": log")
    r = m.run(["-a", "-f2C:\\logs\\\u30bd|.log"], env=env)
    expect_refusal(r, 2, crlf(INVALID_LOG), label="a real | still refused: ")


@case("logpath")
def unreadable_environment_value_is_rejected(m):
    fresh(m)
    long_folder = "C:\\" + "v" * 257                   # does not fit a 260-byte buffer with \\x
    r = m.run(["-a", "-f2%LONG%\\x"], env={"LONG": long_folder + "vv"})
    expect_refusal(r, 2, crlf(INVALID_LOG))


# --- Installation ---------------------------------------------------------------------------

def setup_started(folder, command):
    return [("SETUP", "C:\\pkg\\" + folder, command)]


@case("install")
def fresh_silent_installation(m):
    fresh(m)
    r = m.run(["-s", "-f2c:\\temp\\silentlog.log"])
    expect_refusal(r, 0, b"", setup_started(
        "Win7\\64", "setup.exe /s /v/quiet /debuglog\"c:\\temp\\silentlog.log\""))
    expect(m.read("C:\\temp\\silentlog.log"), b"", "made, held, and no line for a good run")
    expect(r.record[-1], "end|SETUP|15", "setup output drained")
    expect(b"SETUP: a line on standard error" in r.stderr, True, "setup's stderr reaches ours")


@case("install")
def children_start_directly_with_the_default_error_mode(m):
    fresh(m)
    r = m.run(["-s"], env={"WINEDEBUG": "+relay", "COMSPEC": "C:\\pkg\\canary.exe"})
    expect(r.code, 0, "exit code")
    expect(wrapper_calls(r.stderr, "SetErrorMode")[:2], ["00000000", "00008001"],
           "no critical-error or open-file boxes for the wrapper, added to the inherited mode")
    created = wrapper_calls(r.stderr, "CreateProcessA")
    expect(len(created), 1, f"one child started directly ({created})")
    arguments = created[0].split(",")
    expect(arguments[0].split(" ", 1)[1], '"C:\\\\pkg\\\\Win7\\\\64\\\\setup.exe"',
           "the setup named by its absolute path")
    expect(int(arguments[5], 16) & 0x04000000, 0x04000000, "CREATE_DEFAULT_ERROR_MODE")
    expect(("errormode|SETUP|0" in r.record), True, "the setup's own error mode is the default")
    loads = expect_system_folder_loads(r.stderr, ["cryptbase.dll", "version.dll", "ntmarta.dll"])
    expect("user32.dll" in loads, False, "a direct start waited for without window messages")


def expect_system_folder_loads(stderr, first):
    """Each library rule on its own (under Wine they cover for one another): only the system
    folder searched, every load named there by full path, and `first` loaded first."""
    expect(wrapper_calls(stderr, "SetDefaultDllDirectories"), ["00000800"], "search restricted")
    expect(wrapper_calls(stderr, "LoadLibraryA"), [], "loads by bare name")
    loads = wrapper_calls(stderr, "LoadLibraryExA")
    names = [call.split('"')[1].split("\\\\")[-1].lower() for call in loads]
    expect([call for call in loads if not call.endswith(",00000000,00000008") or
            not call.split('"')[1].lower().startswith("c:\\\\windows\\\\system32\\\\")],
           [], "loads not by full system path with LOAD_WITH_ALTERED_SEARCH_PATH")
    expect(names[:len(first)], first, "first loads")
    return names


@case("install")
def child_shares_redirected_standard_input_and_error(m):
    fresh(m)
    env = {"STANDIN_SETUP_STDIN": "1"}
    r = m.run(["-s"], env=env, stdin=b"typed into a pipe\n")
    expect(r.code, 0, "exit code")
    expect("stdin|SETUP|typed into a pipe" in r.record, True, "input through a pipe")
    m.write("C:\\temp\\in.txt", b"read from a file\r\n")
    with open(m.path("C:\\temp\\in.txt"), "rb") as given, \
            open(m.path("C:\\temp\\err.txt"), "wb") as errors:
        r = m.run(["-s"], env=env, stdin=given, stderr=errors)
    expect("stdin|SETUP|read from a file" in r.record, True, "input from a file")
    expect(b"SETUP: a line on standard error" in m.read("C:\\temp\\err.txt"), True,
           "standard error into a file")


@case("install")
def interactive_installation_and_log_only_run(m):
    fresh(m, "1.8.0.0")
    expect_refusal(m.run(["-a"]), 0, b"", setup_started("Win7\\64", "setup.exe "))
    fresh(m, "1.7.0.7")
    expect_refusal(m.run(["-f2C:\\logs\\run.log"]), 0, b"",
                   setup_started("Win7\\64", "setup.exe /debuglog\"C:\\logs\\run.log\""))
    os.makedirs(m.path("C:\\pkg\\logs"))  # relative: the setup runs elsewhere, and gets the same file
    expect_refusal(m.run(["-f2logs\\x.log"]), 0, b"",
                   setup_started("Win7\\64", "setup.exe /debuglog\"C:\\pkg\\logs\\x.log\""))
    # The log is held from its check to the end: deleted and made a second name of another file
    # the moment before the setup writes it, that file is unchanged. Whether the log was there.
    m.write("C:\\victim\\config.txt", b"setting=1\r\n")
    for earlier in (b"earlier\r\n", None):
        log = "C:\\logs\\swap.log"
        if os.path.exists(m.path(log)):
            os.unlink(m.path(log))
        if earlier:
            m.write(log, earlier)
        r = m.run(["-f2" + log], env={"STANDIN_SETUP_SWAP_LOG": "C:\\victim\\config.txt"})
        label = f"log swapped, {'a' if earlier else 'no'} file there: "
        expect((r.code, [e for e in r.record if e.startswith(("rename|", "swap|"))]),
               (0, ["rename|SETUP|0", "swap|SETUP|0|0|1"]),
               label + "exit code, the folder not renamed, the log neither deleted nor linked, "
               "but written")
        expect(m.read("C:\\victim\\config.txt"), b"setting=1\r\n", label + "the other file")
        expect(m.read(log), b"SETUP log\r\n", label + "the setup's log")


@case("install")
def log_is_never_let_go(m):
    """A reader that shares no reading keeps the hold from turning to one that reads: the write
    hold stays, and the setup can neither rename the log away nor put a link in its place."""
    fresh(m)
    log = "C:\\logs\\held.log"
    m.write(log, b"")
    m.write("C:\\victim\\config.txt", b"setting=1\r\n")
    holder = m.start_program("log_holder.exe", [log, "60000", "noread"])
    time.sleep(2)
    expect(holder.poll(), None, "the reader holds the log")
    r = m.run(["-s", "-f2" + log], env={"STANDIN_SETUP_SWAP_LOG": "C:\\victim\\config.txt"})
    holder.kill()
    expect((r.code, [e for e in r.record if e.startswith("swap|")]), (0, ["swap|SETUP|0|0|1"]),
           "exit code, the log neither renamed nor linked, but written")
    expect(m.read("C:\\victim\\config.txt"), b"setting=1\r\n", "the other file")


@case("install")
def setup_writes_its_log_sharing_reading_alone(m):
    """As most setups do: anew, for writing, sharing reading alone."""
    fresh(m)
    log = "C:\\logs\\run.log"
    r = m.run(["-s", "-f2" + log], env={"STANDIN_SETUP_WRITE_LOG": "1"})
    expect((r.code, [e for e in r.record if e.startswith("log|")]), (0, ["log|SETUP|1|0"]),
           "exit code, and the setup's log written")
    expect(m.read(log), b"SETUP log\r\n", "the setup's log")


@case("install")
def setup_status_is_not_examined_and_output_is_drained(m):
    fresh(m)
    r = m.run(["-s"], env={"STANDIN_SETUP_EXIT": "1603", "STANDIN_SETUP_OUTPUT_MB": "64"})
    expect_refusal(r, 0, b"", setup_started("Win7\\64", "setup.exe /s /v/quiet "))
    expect(r.record[-1], f"end|SETUP|{15 + 64 * 1048576}", "all 64 MB read")


@case("install")
def output_is_read_to_its_real_end(m):
    fresh(m)
    for env, written, what in [
            ({"STANDIN_SETUP_BLOCK_KB": "256", "STANDIN_SETUP_OUTPUT_MB": "32"},
             15 + 32 * 1048576, "all 32 MB in large binary writes read"),
            ({"STANDIN_SETUP_CTRLZ": "1", "STANDIN_SETUP_OUTPUT_MB": "4"},
             15 + 2 + 4 * 1048576, "output after Ctrl-Z read too")]:
        r = m.run(["-s"], env=env)
        expect(r.code, 0, what + ": exit code")
        expect(r.record[-1], f"end|SETUP|{written}", what)


@case("install")
def refusals_before_anything_runs(m):
    fresh(m, "1.7.0.8")
    expect_refusal(m.run(["-s"]), 5)
    expect_refusal(m.run(["-r"]), 5)
    fresh(m, "1.10.0.0", version="win10")
    expect_refusal(m.run(["-a"]), 5)               # unknown release wins over the gate
    for version in ("winxp", "win10"):
        fresh(m, "1.7.0.7", version=version)
        expect_refusal(m.run(["-a"]), 3, crlf("This package installs only Windows 7\n"))
    fresh(m, "1.8.0.1")
    r = m.run(["-s", "-f2C:\\logs\\run.log"])
    expect_refusal(r, 6)
    expect(m.read("C:\\logs\\run.log"), logged(NEWER), "newer release refused in the log")
    fresh(m)
    expect_refusal(m.run(["-r"]), 7, crlf("Product to be removed is not installed\n"))


@case("install")
def question_that_cannot_be_shown_counts_as_no(m):
    fresh(m, "2.0.0.0")
    r = m.run(["-a"], env={"WINEDEBUG": "+relay"})
    expect_refusal(r, 6, crlf(NEWER))
    loaded = expect_system_folder_loads(r.stderr, [])
    expect({"uxtheme.dll", "dwmapi.dll"} <= set(loaded), True, f"the box's own loaded ({loaded})")
    # A window station nobody sees, as a service's: a box shown there would wait for ever.
    expect_refusal(m.run(["-a"], via="hidden_station.exe", timeout=60), 6, crlf(NEWER),
                   label="invisible window station: ")


@case("install")
def installation_that_cannot_be_carried_out_removes_nothing(m):
    fresh(m, folders=("Win7\\32",))
    expect_refusal(m.run(["-a"]), 5)
    # An elevated prompt, PsExec or a scheduled task start in System32; the release installed
    # must stay, with nothing removed, re-enumerated or waited for.
    for release, args in [(None, ["-a"]), ("1.7.0.7", ["-s"]), ("1.9", ["-a"]),
                          ("1.7.0.7", ["-f2C:\\logs\\run.log"])]:
        fresh(m, release)
        r = m.run(args, cwd="C:\\windows\\system32")
        expect_refusal(r, 5, label=f"{release} {args} from System32: ")
        expect(r.events(), [], "nothing removed or re-enumerated")
        expect(r.seconds < 20, True, f"no waits (took {r.seconds:.1f} s)")
    fresh(m, "1.7.0.7")
    os.unlink(m.path("C:\\pkg\\Win7\\64\\setup.exe"))
    expect_refusal(m.run(["-s"]), 5, label="no setup.exe: ")
    os.makedirs(m.path("C:\\pkg\\Win7\\64\\setup.exe"))
    r = m.run(["-s"])
    expect_refusal(r, 5, label="setup.exe a folder: ")
    expect(r.events(), [], "nothing removed")
    # A start that fails for any other reason than elevation is not retried through the shell.
    fresh(m)
    m.write("C:\\pkg\\Win7\\64\\setup.exe", b"not a program")
    r = m.run(["-s"], env={"WINEDEBUG": "+loaddll"})
    expect_refusal(r, 5, label="setup.exe not a program: ")
    expect("shell32.dll" in loaded_libraries(r.stderr), False, "the shell loaded")


@case("install")
def registry_value_shapes(m):
    for data, children in [
        (b"1.8.0.0", 1),                 # stored without a terminator: still 1.8.0.0
        (b"1.8.0.0\0\0\0\0", 1),         # trailing zeros dropped
        (b"", 1),                        # size 0: not installed
        (b"9" * 1025, 1),                # too large for the buffer: not installed
        (b"1.8.0\0.0", 0),               # inner zero: unknown, sorts before
    ]:
        fresh(m)
        m.install(binary=data)
        r = m.run(["-a"])
        expect(len(r.started()), children, f"children for {data[:12]!r}")
        expect(r.code, 0 if children else 5, f"exit code for {data[:12]!r}")


# --- Who may change the package -------------------------------------------------------------

CHANGEABLE = "The package can be changed by users other than administrators\n"


def others_may_write(m, windows_path):
    """As Wine shows it: Everyone may write and delete (its access list follows the Unix mode)."""
    path = m.path(windows_path)
    os.chmod(path, os.stat(path).st_mode | 0o002)


@case("trust")
def package_others_may_change_runs_nothing(m):
    # Wine's Everyone stands for the Unix "others"; what each may do, as the judgement weighs it.
    for changeable, may in (("C:\\pkg\\Win7\\64", "delete, change, add files"),
                            ("C:\\pkg\\Win7\\64\\setup.exe", "delete, change"),
                            ("C:\\pkg\\Win7\\64\\drivers\\lumenor.inf", "delete, change"),
                            ("C:\\pkg", "delete")):
        fresh(m, "1.7.0.7")
        m.write("C:\\pkg\\Win7\\64\\drivers\\lumenor.inf", b"[Version]\r\n")
        others_may_write(m, changeable)
        finding = f"{changeable}: S-1-1-0 (Everyone) may {may}\n"
        refused = crlf(CHANGEABLE + finding)
        for options, stdout in ((["-s"], b""), (["-a"], refused), ([], refused)):
            r = m.run(options + ["-f2C:\\logs\\run.log"])
            label = f"{changeable} {options}: "
            expect_refusal(r, 5, stdout, label=label)
            expect(r.events(), [], label + "nothing removed")
            expect(m.read("C:\\logs\\run.log").endswith(logged(CHANGEABLE, finding)), True,
                   label + "log")
    # A removal runs none of the package's code.
    r = m.run(["-r", "-s"])
    expect((r.code, [e[0] for e in r.events()]), (0, ["MSIEXEC", "rescan", "rescan"]),
           "removal from such a package")


@case("trust")
def names_outside_the_code_page_are_judged(m):
    # Listed by their ANSI names, these would come back with "?" and could not be opened.
    fresh(m)
    m.write("C:\\pkg\\Win7\\64\\\u30bd\u30d5\u30c8\\\u30c9\u30e9\u30a4\u30d0.inf", b"[Version]\r\n")
    r = m.run(["-s"])
    expect_refusal(r, 0, b"", setup_started("Win7\\64", "setup.exe /s /v/quiet "))
    others_may_write(m, "C:\\pkg\\Win7\\64\\\u30bd\u30d5\u30c8\\\u30c9\u30e9\u30a4\u30d0.inf")
    r = m.run(["-a"])
    expect_refusal(r, 5, crlf(CHANGEABLE + "C:\\pkg\\Win7\\64\\???\\????.inf: S-1-1-0 "
                                           "(Everyone) may delete, change\n"))


@case("trust")
def owners_and_lists_are_read_entry_by_entry(m):
    """Wine keeps a descriptor given to a kernel object whole: the wrapper's own reading of owners
    and access lists is tried on lists as Windows lays them out. Object entries, which Wine's
    kernel refuses, are read from memory."""
    TI = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
    rows = (
        ("O:BAD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)(D;;FA;;;WD)"
         "(A;;0x1301ff;;;AU)",
         ["owner administrators S-1-5-32-544 list present", "allow system S-1-5-18 0x1f01ff",
          "allow administrators S-1-5-32-544 0x1f01ff", "allow other S-1-5-32-545 0x1200a9",
          "allow inherit-only creator-owner S-1-3-0 0x10000000", "deny other S-1-1-0 0x1f01ff",
          "allow other S-1-5-11 0x1301ff"]),
        (f"O:{TI}D:(A;;FA;;;OW)(A;CI;FA;;;S-1-5-21-0-0-0-1000)(A;;FA;;;S-1-5-21-1-2-3-512)"
         "(A;;FA;;;S-1-5-21-1-2-3-519)(A;;FA;;;S-1-5-21-1-2-3-513)(A;;FA;;;S-1-5-21-1-2-3)",
         [f"owner trustedinstaller {TI} list present", "allow owner-rights S-1-3-4 0x1f01ff",
          "allow runner S-1-5-21-0-0-0-1000 0x1f01ff",
          "allow domain-admins S-1-5-21-1-2-3-512 0x1f01ff",
          "allow enterprise-admins S-1-5-21-1-2-3-519 0x1f01ff",
          "allow other S-1-5-21-1-2-3-513 0x1f01ff", "allow other S-1-5-21-1-2-3 0x1f01ff"]),
        ("O:S-1-5-21-7-8-9-1001D:", ["owner other S-1-5-21-7-8-9-1001 list present"]),
        ("objects", ["owner unknown  list present", "allow other S-1-5-11 0x2",
                     "allow other S-1-5-32-545 0x4", "allow other S-1-1-0 0x6"]),
    )
    program = os.path.join(m.build, "tests", "standins", "security_reading.exe")
    for sddl, lines in rows:
        out = subprocess.run(["wine", program, sddl], env=m.env, capture_output=True,
                             check=True).stdout.decode().splitlines()
        expect(out, lines, sddl)


# --- The field check ---------------------------------------------------------------------------

# What Wine shows differently (docs/windows.md, row wine), and what the check cannot try without a
# person, a share or another system: verdict and a piece of what the table says. Every other row
# comes out as assumed.
FIELD_UNDER_WINE = {
    "elevation-740": ("not tried", "runs elevated"),
    "prompt-owner": ("not tried", "consent prompt"),
    "sta-messages": ("not tried", "consent prompt"),
    "mapped-drives": ("not tried", "consent prompt"),
    "unc-folder": ("not tried", "no share given"),
    "console-pseudo-handles": ("not tried", "no console"),
    "console-count-65001": ("not tried", "65001"),
    "console-piece": ("not tried", "no console"),
    "known-dlls": ("DIFFERS", "kernel32 is no known DLL"),
    "msi-norestart": ("not tried", "restart"),
    "error-mode": ("DIFFERS", "without CREATE_DEFAULT_ERROR_MODE got 0"),
    "log-links": ("DIFFERS", "no junction could be made (50)"),
    "package-trust": ("not tried", "but not kept"),
    "oplocks": ("not tried", "no batch oplock"),
    "dbcs": ("not tried", "no double-byte one"),
    "xp-imports": ("not tried", "XP"),
    "wine": ("not tried", "describes Wine"),
}
# What each row that holds under Wine saw, in part.
FIELD_SEEN = {
    "nobody-to-answer": "setup.exe -a ended with 6",
    "handle-list": "holds none beyond the list",
    "dll-search": "no library planted in the package loaded; installation ended with 0",
    "wow64-folder": "syswow64\\msiexec.exe",
    "registry-view": "is read back",
    "msi-results": "ended with 1605; the removal under the upgrade was taken as done; removal "
                   "ended with 0",
    "msi-log": "wrote its log anew",
    "log-links": "second name of another file: exit 2, the other file unchanged",
    "held-log": "upgrade ended with 0",
    "append-lock": "exit 7 in",
    "version-6.2": "says 6.1",
}


def documented_rows():
    """The names of docs/windows.md's rows, in order."""
    page = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs",
                        "windows.md")
    with open(page, encoding="utf-8") as f:
        table = f.read().split("## The rights each handle needs")[0]
    return [line.split("`")[1] for line in table.splitlines() if line.startswith("| `")]


@case("fieldcheck")
def field_check_tells_wine_from_windows(m):
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                    "scripts", "lib"))
    import fieldcheck_folder
    m.set_version("win7")
    m.install(None)
    m.replace_system_file("setupapi.dll", os.path.join(m.build, "tests", "standins",
                                                       "setupapi.dll"))
    m.replace_system_file("msiexec.exe")
    fieldcheck_folder.lay_out(m.build, m.path("C:\\fieldcheck"))
    r = subprocess.run(["wine", "C:\\fieldcheck\\fieldcheck.exe"], cwd=m.path("C:\\fieldcheck"),
                       env=m.env, capture_output=True, timeout=900)
    out = r.stdout.decode("latin-1").replace("\r\n", "\n")
    table = out.split("row | the wrapper assumes | seen | verdict\n", 1)[1].split("\n\n", 1)[0]
    rows = [line.split(" | ") for line in table.splitlines()]
    expect([row[0] for row in rows], documented_rows(), "every documented row once, in order")
    for name, assumes, seen, verdict in rows:
        wanted, piece = FIELD_UNDER_WINE.get(name, ("as assumed", ""))
        expect(verdict.split(":")[0], wanted, f"{name}: verdict ({seen})")
        for part in (piece, FIELD_SEEN.get(name, "")):
            expect(part in seen + verdict, True, f"{name}: {part!r} in {seen + verdict!r}")
    expect(r.returncode, 1, "exit code where something differs")
    written = [n for n in os.listdir(m.path("C:\\fieldcheck")) if n.startswith("fieldcheck-")]
    expect(len(written), 1, "the table written beside it")
    expect(table in m.read("C:\\fieldcheck\\" + written[0]).decode("latin-1"), True,
           "the written table is the printed one")
    expect([n for n in os.listdir(m.drive) if n.startswith("LumenorFieldCheck.")], [],
           "its work folder removed")


# --- Long runs: each its own group, so they wait side by side ---------------------------------

@case("upgrade")
def typical_silent_upgrade(m):
    fresh(m, "1.7.0.7")
    # Each child writes its log as it would: Windows Installer sharing writing alone, the setup
    # reading alone.
    r = m.run(["-s", "-f2c:\\temp\\silentlog.log"],
              env={"STANDIN_MSIEXEC_EXIT": "3010", "STANDIN_MSIEXEC_WRITE_LOG": "2",
                   "STANDIN_SETUP_WRITE_LOG": "1"})
    expect(r.code, 0, "exit code after a removal that needs a restart")
    expect([e for e in r.record if e.startswith("log|")], ["log|MSIEXEC|1|0", "log|SETUP|1|0"],
           "both logs written")
    expect(m.read("C:\\temp\\silentlog.log"), b"SETUP log\r\n", "the setup's log, written last")
    expect(r.stdout, b"", "standard output")
    expect(r.events(), [
        ("MSIEXEC", logged_removal("c:\\temp\\silentlog.log")),
        ("rescan", "locate root"), ("rescan", "reenumerate root"),
        ("SETUP", "setup.exe /s /v/quiet /debuglog\"c:\\temp\\silentlog.log\"")], "actions")
    expect(r.started()[0][1], "C:\\pkg", "msiexec runs in the package root")
    expect(r.seconds >= 36, True, f"waits of 36 s (took {r.seconds:.1f} s)")


@case("upgrade-1622")
def upgrade_whose_removal_is_shut_out_of_its_log_goes_on(m):
    fresh(m, "1.7.0.7")
    env = dict(LOG_SHARING_READING_ALONE, STANDIN_SETUP_WRITE_LOG="1")
    r = m.run(["-s", "-f2C:\\logs\\run.log"], env=env)
    expect(r.code, 0, "exit code")
    expect([e[0] for e in r.events()], ["MSIEXEC", "MSIEXEC", "rescan", "rescan", "SETUP"],
           "removal run again, then the setup")
    expect([e for e in r.record if e.startswith("log|")],
           ["log|MSIEXEC|0|32", "log|MSIEXEC|1|0", "log|SETUP|1|0"], "each log written")


@case("upgrade-interactive")
def interactive_upgrade_with_blank_in_log_path(m):
    fresh(m, "1.7.0.6")
    os.makedirs(m.path("C:\\Documents and Settings\\a&b"), exist_ok=True)
    log = "C:\\Documents and Settings\\a&b\\run.log"
    # 1605: the product is unknown to Windows Installer, which counts as nothing left to remove.
    r = m.run(["-a", "-f2" + log], env={"STANDIN_MSIEXEC_OUTPUT_MB": "8",
                                        "STANDIN_MSIEXEC_EXIT": "1605"})
    expect(r.code, 0, "exit code")
    expect(r.events(), [
        ("MSIEXEC", logged_removal(log)),
        ("rescan", "locate root"), ("rescan", "reenumerate root"),
        ("SETUP", "setup.exe /debuglog\"" + log + "\"")], "actions")
    expect(f"end|MSIEXEC|{15 + 8 * 1048576}" in r.record, True, "removal output drained")


@case("remove")
def removal_then_failed_rescan_is_ignored(m):
    fresh(m, "1.8.0.0")
    os.makedirs(m.path("C:\\pkg\\logs"))
    r = m.run(["-r", "-s", "-f2logs\\x.log"])
    expect(r.code, 0, "exit code")
    expect(r.events(), [("MSIEXEC", logged_removal("C:\\pkg\\logs\\x.log")),
                        ("rescan", "locate root"), ("rescan", "reenumerate root")], "actions")
    expect(r.seconds >= 7, True, f"waits of 7 s (took {r.seconds:.1f} s)")
    fresh(m, "beta1")
    r = m.run(["-r"], env={"STANDIN_LOCATE_RESULT": "19"})
    expect(r.code, 0, "exit code after failed rescan")
    expect(r.stdout, b"", "nothing reported")
    expect(r.events(), [("MSIEXEC", QUIET_REMOVAL), ("rescan", "locate root")], "actions")


@case("remove")
def removal_result_decides_what_follows(m):
    """Codes Windows Installer gives only in its own time (its real 1603 and 1605 are rows of the
    real-installer table): a restart needed goes on, another installation under way ends the run
    at once."""
    for option, status, code in [("-r", "3010", 0), ("-r", "1618", 5), ("-s", "1618", 5)]:
        fresh(m, "1.7.0.7")
        r = m.run([option, "-f2C:\\logs\\run.log"], env={"STANDIN_MSIEXEC_EXIT": status})
        label = f"{option}, removal ending {status}: "
        expect(r.code, code, label + "exit code")
        expect([e[0] for e in r.events()], ["MSIEXEC"] + ["rescan"] * (2 if code == 0 else 0),
               label + "actions")
        expect(r.stdout, crlf(REMOVAL_FAILED) if code and option == "-r" else b"",
               label + "standard output")
        expect(m.read("C:\\logs\\run.log"), logged(REMOVAL_FAILED) if code else b"",
               label + "log")
        expect(code == 0 or r.seconds < 5, True, label + f"no waits (took {r.seconds:.1f} s)")
    # A Windows Installer that writes its log sharing reading alone is shut out by the write hold
    # and ends with 1622: run once more under the read hold, it writes its log.
    fresh(m, "1.8.0.0")
    r = m.run(["-r", "-s", "-f2C:\\logs\\run.log"], env=LOG_SHARING_READING_ALONE)
    expect((r.code, [e for e in r.record if e.startswith("log|")]),
           (0, ["log|MSIEXEC|0|32", "log|MSIEXEC|1|0"]), "removal shut out of its log, then run again")
    expect([e[0] for e in r.events()], ["MSIEXEC", "MSIEXEC", "rescan", "rescan"], "actions")
    expect(m.read("C:\\logs\\run.log"), b"MSIEXEC log\r\n", "Windows Installer's log")


LOG_SHARING_READING_ALONE = {"STANDIN_MSIEXEC_WRITE_LOG": "1",
                             "STANDIN_MSIEXEC_LOG_FAILED_EXIT": "1622"}


@case("rescan-fails")
def failed_rescan_stops_an_installation(m):
    fresh(m, "1.7.0.7")
    r = m.run(["-a", "-f2C:\\logs\\run.log"], env={"STANDIN_REENUMERATE_RESULT": "3"})
    expect(r.code, 4, "exit code")
    expect(r.stdout, crlf("Failed scan for hardware changes\n"), "standard output")
    expect([e[0] for e in r.events()], ["MSIEXEC", "rescan", "rescan"], "no setup")
    expect(m.read("C:\\logs\\run.log"), logged("Failed scan for hardware changes\n"), "log")


@case("win32")
def thirty_two_bit_system_uses_its_own_folder(m):
    fresh(m)
    expect_refusal(m.run(["-s"]), 0, b"", setup_started("Win7\\32", "setup.exe /s /v/quiet "))
    fresh(m, folders=("Win7\\64",))
    expect_refusal(m.run(["-s"]), 5)


# --- Wine's own Windows Installer: real packages installed, upgraded and removed ---------------

def release(version):
    """What `Machine.installed` reads when `version` is installed for real."""
    return (version, version)


NOTHING = (None, None)
BLANK_LOG = "C:\\Documents and Settings\\a b\\run.log"

# (group, installed before, options, installed after, exit code). Before: a release installed
# from its package; "1.7.0.7-unremovable" fails its removal (1603) and rolls it back; "entry
# 1.7.0.7" is an uninstall entry alone, unknown to Windows Installer (1605). An upgrade over such
# an entry is a stand-in row: Wine's installer takes the entry for an installation of its own and
# installs nothing. The long ones wait side by side in groups of their own.
REAL_ROWS = [
    ("real", None, ["-s"], release("1.8.0.0"), 0),
    ("real", "1.8.0.0", ["-r"], NOTHING, 0),
    ("real", "1.7.0.7", ["-r", "-s", "-f2C:\\logs\\run.log"], NOTHING, 0),
    ("real", "1.7.0.7-unremovable", ["-r", "-f2C:\\logs\\run.log"], release("1.7.0.7"), 5),
    ("real", "1.7.0.7-unremovable", ["-s", "-f2C:\\logs\\run.log"], release("1.7.0.7"), 5),
    ("real", "entry 1.7.0.7", ["-r"], ("1.7.0.7", None), 0),
    ("real-upgrade", "1.7.0.7", ["-s", "-f2" + BLANK_LOG], release("1.8.0.0"), 0),
    ("real-upgrade-1.7.0.6", "1.7.0.6", ["-s"], release("1.8.0.0"), 0),
]


def fresh_real(m, before):
    fresh(m, installer=True)
    os.makedirs(m.path(BLANK_LOG.rsplit("\\", 1)[0]), exist_ok=True)
    if before is not None and before.startswith("entry "):
        m.install_package(None)
        m.install(before.split()[1])
    else:
        m.install_package(before)


def real_installer_rows(group):
    def rows(m):
        for _, before, options, after, code in [row for row in REAL_ROWS if row[0] == group]:
            label = f"{' '.join(options)} over {before}: "
            fresh_real(m, before)
            r = m.run(options)
            expect(r.code, code, label + "exit code")
            expect(m.installed(), after, label + "installed afterwards")
            removed = "-r" in options or before not in (None, "1.8.0.0")
            actions = [] if code else ["rescan"] * 2 * removed + ["SETUP"] * ("-r" not in options)
            expect([e[0] for e in r.events()], actions, label + "actions")
            log = next((o[3:] for o in options if o.startswith("-f2")), None)
            if log and code:
                expect(m.read(log).endswith(logged(REMOVAL_FAILED)), True, label + "log")
                expect(r.seconds < 20, True, label + f"no waits (took {r.seconds:.1f} s)")
            elif log:
                expect(b"=== Logging started" in m.read(log), True, label + "the removal's log")
    rows.__name__ = "real_windows_installer_" + group.replace("-", "_").replace(".", "_")
    case(group)(rows)


for real_group in sorted({row[0] for row in REAL_ROWS}):
    real_installer_rows(real_group)


# --- The question box, under a virtual display ----------------------------------------------

def answer_question(m, key, display):
    process, started = m.run(["-a"], env={"DISPLAY": display}, background=True)
    window = None
    deadline = time.monotonic() + 120
    while window is None and time.monotonic() < deadline and process.poll() is None:
        found = subprocess.run(["xdotool", "search", "--name", "^Lumenor$"],
                               env={"DISPLAY": display}, capture_output=True, text=True)
        window = found.stdout.split()[0] if found.stdout.split() else None
        time.sleep(0.5)
    if window is None:
        process.kill()
        raise CaseFailed("the question box never appeared")
    time.sleep(1)
    subprocess.run(["xdotool", "key", "--window", window, key], env={"DISPLAY": display},
                   check=True)
    return m.finish(process, started)


@case("question")
def question_answered_yes_and_no(m):
    display = ":%d" % (90 + os.getpid() % 100)
    xvfb = subprocess.Popen(["Xvfb", display, "-nolisten", "tcp", "-screen", "0", "1024x768x24"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(2)
        # Every Wine call of the group sees the display: the first one starts Wine's desktop,
        # and one started without it could never show the box.
        m.env["DISPLAY"] = display
        fresh(m, "1.9")
        r = answer_question(m, "n", display)
        expect_refusal(r, 6, crlf(NEWER))
        fresh_real(m, "1.9")  # answered Yes: Wine's own Windows Installer removes 1.9 for real
        r = answer_question(m, "Return", display)
        expect(r.code, 0, "exit code after Yes")
        expect(r.events(), [("rescan", "locate root"), ("rescan", "reenumerate root"),
                            ("SETUP", "setup.exe ")], "actions")
        expect(m.installed(), release("1.8.0.0"), "installed afterwards")
        expect(r.seconds >= 31, True, f"waits of 31 s (took {r.seconds:.1f} s)")
    finally:
        xvfb.kill()


# --- Hostile input ----------------------------------------------------------------------------

HOSTILE_FOLDER = "C:\\logs\\a&canary&b(^)%TEMP%"


def hostile_cases():
    """(arguments, environment, exit code, standard output, children's command lines)."""
    long_argument = "-x" + "y" * 29998
    not_installed = crlf("Product to be removed is not installed\n")
    return [
        ([long_argument], {}, 1, crlf(BAD_ARGUMENT.format(long_argument)), []),
        (["*"], {}, 1, crlf(BAD_ARGUMENT.format("*")), []),      # files match it: not expanded
        (["-a", "-f2C:\\logs\\" + "n" * 292], {}, 2, crlf(INVALID_LOG), []),   # 300
        (["-a", "-f2C:\\logs\\" + "n" * 1992], {}, 2, crlf(INVALID_LOG), []),  # 2,000
        (["-a", "-f2" + "%" * 40], {}, 2, crlf(INVALID_LOG), []),
        (["-a", "-f2%"], {}, 2, crlf(INVALID_LOG), []),
        (["-a", "-f2%%\\run.log"], {}, 2, crlf(INVALID_LOG), []),
        (["-x\u00e9\u00fc"], {}, 1, BAD_ARGUMENT.format("-x\xe9\xfc").replace("\n", "\r\n")
         .encode("latin-1"), []),
        (["-r", "-f2C:\\logs\\caf\u00e9.log"], {}, 7, not_installed, []),
        # Not in the ANSI code page: arrives as "?", which no path may hold.
        (["-a", "-f2C:\\logs\\\u65e5\u672c.log"], {}, 2, crlf(INVALID_LOG), []),
        (["-x%s%n%p%%"], {}, 1, crlf(BAD_ARGUMENT.format("-x%s%n%p%%")), []),
        (["-r", "-f2C:\\logs\\%s%n.log"], {}, 7, not_installed, []),
        (["-a", "-f2%LONGDIR%\\run.log"], {"LONGDIR": "C:\\" + "d" * 297}, 2,
         crlf(INVALID_LOG), []),
        (["-a", "-f2C:\\logs\\x\"&canary&\".log"], {}, 2, crlf(INVALID_LOG), []),
        (["-s", "-f2" + HOSTILE_FOLDER + "\\run.log"], {}, 0, b"",
         ["setup.exe /s /v/quiet /debuglog\"" + HOSTILE_FOLDER + "\\run.log\""]),
        (["-s"], {"COMSPEC": "C:\\pkg\\canary.exe"}, 0, b"",
         ["setup.exe /s /v/quiet "]),
    ]


@case("hostile")
def hostile_input_table(m):
    fresh(m)
    os.makedirs(m.path(HOSTILE_FOLDER), exist_ok=True)
    for args, env, code, stdout, commands in hostile_cases():
        label = repr(args)[:60] + ": "
        r = m.run(args, env=env)
        expect(r.code, code, label + "exit code")
        expect(r.stdout, stdout, label + "standard output")
        expect([c for _, _, c in r.started()], commands, label + "children")
    r = m.run(hostile_cases()[0][0], env={"WINEDEBUG": "+relay"})
    pieces = [int(call.split(",")[2], 16) for call in wrapper_calls(r.stderr, "WriteFile")]
    expect((sum(pieces), max(pieces) <= 8192), (len(r.stdout), True),
           f"the long echo written whole in pieces of at most 8 KiB ({pieces})")
    expect(m.read("C:\\logs\\caf\u00e9.log"),
           logged("Product to be removed is not installed\n"), "log named with a byte above 0x7F")
    expect(m.read("C:\\logs\\%s%n.log"), logged("Product to be removed is not installed\n"),
           "log named with format characters")


@case("hostile")
def special_characters_in_the_removal_log_path(m):
    fresh(m, "1.8.0.0")
    os.makedirs(m.path(HOSTILE_FOLDER), exist_ok=True)
    log = HOSTILE_FOLDER + "\\run.log"
    r = m.run(["-r", "-s", "-f2" + log])
    expect(r.code, 0, "exit code")
    expect([c for _, _, c in r.started()], [logged_removal(log)],
           "only msiexec, with the path whole and quoted")


# --- The log under contention ------------------------------------------------------------------

@case("contention")
def concurrent_writers_lose_and_corrupt_no_line(m):
    fresh(m)
    log = "C:\\logs\\shared.log"
    m.write(log, b"existing line\r\n")
    holder = m.start_program("log_holder.exe", [log, "60000"])
    time.sleep(2)
    hammers = [m.start_program("log_hammer.exe", [log, name, "2000"]) for name in "abcd"]
    wrappers = []
    for i in range(12):
        wrappers.append((i, m.run(["-f2" + log, f"-x{i}"], background=True)))
    for i, (process, started) in wrappers:
        expect(m.finish(process, started).code, 1, f"wrapper {i} exit code")
    for hammer in hammers:
        expect(hammer.wait(timeout=300), 0, "every hammer line written")
    expect(holder.poll(), None, "the reader still holds the log")
    holder.kill()
    data = m.read(log)
    expect(data.startswith(b"existing line\r\n"), True, "earlier content kept")
    body = data[len(b"existing line\r\n"):]
    wanted = [crlf(PREFIX + f"{name} line {n} " + "x" * 40 + "\n") for name in "abcd"
              for n in range(2000)]
    wanted += [logged(BAD_ARGUMENT.format(f"-x{i}")) for i in range(12)]
    for piece in wanted:
        expect(body.count(piece), 1, f"{piece[:40]!r} once")
    expect(len(body), sum(len(piece) for piece in wanted), "nothing else in the log")


@case("contention")
def a_lock_on_the_log_never_holds_a_run(m):
    """Anyone who may read the log may lock it, for as long as they like."""
    fresh(m)
    log = "C:\\logs\\locked.log"
    m.write(log, b"")
    holder = m.start_program("log_holder.exe", [log, "120000", "lock"])
    time.sleep(2)
    expect(holder.poll(), None, "the reader holds its lock")
    for options, code in ((["-r"], 7), (["-r", "-a"], 1)):
        expect(m.run(options + ["-f2" + log]).code, code, f"{options} exit code")
    expect(holder.poll(), None, "both runs ended while the lock was held")
    holder.kill()


GROUP_ARCH = {"win32": "win32"}


def run_group(group, build, work):
    arch = GROUP_ARCH.get(group, "win64")
    machine = Machine(os.path.join(work, "template-" + arch), os.path.join(work, group), build)
    failures = 0
    try:
        for function in CASES[group]:
            started = time.monotonic()
            try:
                function(machine)
                print(f"ok    {function.__name__} ({time.monotonic() - started:.1f} s)")
            except Exception as error:  # a case's failure must not hide the others
                failures += 1
                print(f"FAIL  {function.__name__}: {error}")
                if not isinstance(error, CaseFailed):
                    traceback.print_exc()
    finally:
        machine.close()
    print(f"{group}: {len(CASES[group]) - failures} passed, {failures} failed")
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, help="the windows-x86 build folder")
    parser.add_argument("--work", required=True, help="folder for prefixes and package copies")
    parser.add_argument("--make-prefix", choices=["win64", "win32"])
    parser.add_argument("--group", choices=sorted(CASES))
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    if args.list:
        print(";".join(sorted(CASES)))
        return 0
    work = os.path.abspath(args.work)  # Wine wants an absolute prefix path
    if args.make_prefix:
        make_template(os.path.join(work, "template-" + args.make_prefix), args.make_prefix)
        return 0
    return run_group(args.group, os.path.abspath(args.build), work)


if __name__ == "__main__":
    sys.exit(main())
