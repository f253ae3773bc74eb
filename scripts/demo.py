#!/usr/bin/env python3
"""Runs the real setup.exe under Wine on a demo machine and shows what it does.

The demo machine is a Wine prefix under build/demo with a package folder C:\\pkg laid out as in
the field. Wine's own Windows Installer installs and removes real packages of the releases; a
stand-in takes the place of the package's own setup.exe, records the command line it is given and
installs release 1.8.0.0's package.
"""

import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

from winemachine import Machine, make_template  # noqa: E402


def show(title, command, result):
    print(f"\n=== {title}\n$ {command}")
    sys.stdout.write(result.stdout.decode("latin-1").replace("\r\n", "\n"))
    print(f"[exit code {result.code}, {result.seconds:.1f} s]")


def show_log(machine, path):
    data = machine.read(path)
    print(f"--- log {path}:")
    lines = data.decode("latin-1").splitlines() if data else []
    ours = [line for line in lines if line.startswith("SETUP WRAPPER: ")]
    for line in ours:
        print("    " + line)
    if len(lines) > len(ours):
        print(f"    ({len(lines) - len(ours)} lines of Windows Installer's own log of the removal)")
    if not ours:
        print("    (no line of the wrapper's: it logs only refusals and failures)")


def show_installed(machine, when):
    version, release = machine.installed()
    print(f"--- installed {when}:")
    print(f"    Programs and Features (DisplayVersion): {version or 'no Lumenor entry'}")
    print(f"    C:\\Program Files (x86)\\Lumenor\\release.txt: {release or 'no such file'}")


def show_actions(result):
    print("--- what the wrapper did:")
    for line in result.record:
        parts = line.split("|", 3)
        if parts[0] == "start":
            print(f"    launched: {parts[3]}    (in {parts[2]})")
        elif parts[0] == "rescan":
            print(f"    device tree: {parts[1]} -> {'ok' if parts[2] == '0' else parts[2]}")
        elif parts[0] == "install":
            print(f"    the package setup installed 1.8.0.0: Windows Installer's code {parts[1]}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--quick", action="store_true",
                        help="show a fresh silent installation instead of the upgrade, whose "
                             "36 s of waits are the program's own")
    args = parser.parse_args()
    root = os.path.abspath(os.path.join(HERE, "..", "build"))
    template = os.path.join(root, "demo", "template-win64")
    if not os.path.exists(os.path.join(template, "system.reg")):
        print("Creating the demo machine (a 64-bit Windows 7 prefix, about 20 s)...")
        make_template(template, "win64")
    machine = Machine(template, os.path.join(root, "demo", "machine"),
                      os.path.join(root, "windows-x86"))
    try:
        machine.set_version("win7")
        machine.lay_out_package(installer=True)
        machine.install_package(None)
        os.makedirs(machine.path("C:\\demo"), exist_ok=True)

        show("Usage: started without arguments", "setup.exe", machine.run([]))

        log = "C:\\demo\\remove.log"
        result = machine.run(["-r", "-f2" + log])
        show("A refusal: removal asked for, nothing installed", f"setup.exe -r -f2{log}", result)
        show_log(machine, log)

        command = ["-s", "-f2c:\\temp\\silentlog.log"]
        if args.quick:
            title = "A silent installation on a machine without the product"
        else:
            machine.install_package("1.7.0.7")
            title = ("A silent upgrade over release 1.7.0.7: removed by Windows Installer, "
                     "waits 36 s as the program must")
        print(f"\n=== {title}")
        show_installed(machine, "before")
        result = machine.run(command)
        show("The run", "setup.exe " + " ".join(command), result)
        show_actions(result)
        show_log(machine, "C:\\temp\\silentlog.log")
        show_installed(machine, "afterwards")
    finally:
        machine.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
