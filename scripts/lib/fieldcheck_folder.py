"""Lays out the field check's folder from a windows-x86 build: what an administrator copies to
a Windows 7 machine. Usage: fieldcheck_folder.py BUILD OUT"""

import os
import shutil
import sys

README = """Lumenor field check
===================

What it does: tries, on this machine, every Windows behaviour the Lumenor setup
wrapper relies on, with the real setup.exe, and prints for each whether the
machine behaves as the wrapper assumes. It installs and removes its own test
releases of Lumenor (publisher "Lumenor test packages"), so it refuses to run
where another Lumenor release is installed. It works in C:\\LumenorFieldCheck.<n>
and removes it afterwards. It takes some minutes: the upgrade waits as the
wrapper does.

1. Copy this folder to the machine, for example to C:\\LumenorFieldCheck.
2. In an elevated command prompt (Run as administrator):
       cd /d C:\\LumenorFieldCheck
       fieldcheck.exe
   Optionally give a share folder and a folder on a FAT or exFAT volume:
       fieldcheck.exe \\\\server\\share\\folder E:\\
3. As SYSTEM, from the same elevated prompt:
       schtasks /create /tn LumenorFieldCheck /tr C:\\LumenorFieldCheck\\fieldcheck.exe /sc once /st 00:00 /ru SYSTEM /f
       schtasks /run /tn LumenorFieldCheck
   Wait until "schtasks /query /tn LumenorFieldCheck /v /fo list" shows Ready,
   then "schtasks /delete /tn LumenorFieldCheck /f".
4. Send back every fieldcheck-<computer>-<time>.txt it wrote beside itself.
   Exit code 0: nothing differs; 1: something does; 2: it could not run.
"""

FILES = [("fieldcheck/fieldcheck.exe", "fieldcheck.exe"), ("setup.exe", "setup.exe"),
         ("tests/standins/standin.exe", "standin.exe"),
         ("tests/standins/canary.dll", "canary.dll"),
         ("tests/standins/hidden_station.exe", "hidden_station.exe")]
RELEASES = ("1.7.0.7", "1.8.0.0", "1.9")


def lay_out(build, out):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(os.path.join(out, "packages"))
    for source, name in FILES:
        shutil.copy(os.path.join(build, *source.split("/")), os.path.join(out, name))
    for release in RELEASES:
        shutil.copy(os.path.join(build, "tests", "e2e", "packages", f"lumenor-{release}.msi"),
                    os.path.join(out, "packages"))
    with open(os.path.join(out, "README.txt"), "w", newline="\r\n") as f:
        f.write(README)


if __name__ == "__main__":
    lay_out(sys.argv[1], sys.argv[2])
