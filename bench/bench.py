#!/usr/bin/env python3
"""What the real setup.exe costs under Wine beyond the waits its behaviour includes.

Every figure is the median of several runs and is printed with a ratio against a floor measured in
the same run on the same Wine prefix: what the figure could not be lower than. Nothing here fails
on a slow figure; the script only measures.
"""

import argparse
import os
import platform
import shutil
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from winemachine import REMOVAL as REMOVAL_PREFIX, Machine, make_template  # noqa: E402

MIB = 1024 * 1024
DRAIN_MB = 200
SMALL_DRAIN_MB = 2
BLOCK_KB = 64
SIZE_GOAL = 128 * 1024
REMOVAL = REMOVAL_PREFIX + " /qn "
SILENT_SETUP = "setup.exe /s /v/quiet "
# The children, where the wrapper starts them from.
SETUP_PROGRAM = "C:\\pkg\\Win7\\64\\setup.exe"
MSIEXEC_PROGRAM = "C:\\windows\\system32\\msiexec.exe"
# The waits each run must make: 4 s after a removal, 1 s before the re-enumeration, 30 s before
# installing over an older release, 2 s before a removal run ends, 1 s after the setup.
WAITS = {"install": 1.0, "upgrade": 36.0, "removal": 7.0}


class PeakMemory:
    """Samples the resident-set peak of the Linux processes running one Windows program."""

    def __init__(self, marker):
        # Wine shows the program by its Windows path once started, by its Linux path before.
        self.markers = (marker.encode(), marker.replace("\\", "/").encode())
        self.peak_kib = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._sample, daemon=True)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()

    def _sample(self):
        pids = []
        while not self._stop.is_set():
            pids = pids or [pid for pid in os.listdir("/proc") if pid.isdigit() and self._is(pid)]
            for pid in pids:
                self._read(pid)
            self._stop.wait(0.05)

    def _is(self, pid):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                cmdline = f.read()
        except OSError:
            return False
        return any(marker in cmdline for marker in self.markers)

    def _read(self, pid):
        try:
            with open(f"/proc/{pid}/status") as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        self.peak_kib = max(self.peak_kib, int(line.split()[1]))
        except OSError:
            pass


class Bench:
    def __init__(self, machine, runs):
        self.m = machine
        self.runs = runs
        self.pkg = machine.lay_out_package()
        self.m.set_version("win7")
        floor = os.path.join(machine.build, "bench", "bench_floor.exe")
        shutil.copy(floor, os.path.join(self.pkg, "floor.exe"))
        for program in ("setup.exe", "floor.exe"):  # warms the file cache and Wine's start-up
            self.wine(["C:\\pkg\\" + program])

    def wine(self, args, cwd="C:\\pkg", env=None, memory_of=None):
        """Seconds one Wine run took, and the peak memory of `memory_of` in KiB if asked."""
        full_env = dict(self.m.env, **(env or {}))
        started = time.monotonic()
        if memory_of is None:
            code = self._call(args, cwd, full_env)
            return time.monotonic() - started, 0, code
        with PeakMemory(memory_of) as memory:
            code = self._call(args, cwd, full_env)
        return time.monotonic() - started, memory.peak_kib, code

    def _call(self, args, cwd, env):
        return subprocess.run(["wine"] + args, cwd=self.m.path(cwd), env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode

    def medians(self, runs, *commands):
        """Runs the commands in turn, `runs` times over, so that a drift in the machine's speed
        touches them all alike; each command is (args, cwd, env, wanted exit code, memory marker).
        Returns the median seconds and median peak memory of each."""
        seconds = [[] for _ in commands]
        peaks = [[] for _ in commands]
        for _ in range(runs):
            for i, (args, cwd, env, code, marker) in enumerate(commands):
                took, peak, exit_code = self.wine(args, cwd, env, marker)
                if exit_code != code:
                    sys.exit(f"{' '.join(args)} ended with {exit_code}, not {code}")
                seconds[i].append(took)
                peaks[i].append(peak)
        return [(statistics.median(s), statistics.median(p)) for s, p in zip(seconds, peaks)]


def wrapper(args, code=0, env=None, memory=False):
    return (["C:\\pkg\\setup.exe"] + args, "C:\\pkg", env, code,
            "pkg\\setup.exe" if memory else None)


def floor(arguments=(), env=None):
    """Start-up alone, or with children started directly as the wrapper starts them."""
    return (["C:\\pkg\\floor.exe"] + list(arguments), "C:\\pkg", env, 0, None)


def row(name, figure, floor, goal=None, detail=""):
    ratio = figure / floor if floor else float("inf")
    verdict = ""
    if goal is not None:
        verdict = f"  goal <= {goal:.2f}: {'met' if ratio <= goal else 'NOT met'}"
    print(f"  {name:<28} {figure:9.3f} s   floor {floor:8.3f} s   ratio {ratio:5.2f}{verdict}"
          f"{detail}")


def startup(b):
    print("start-up and exit (setup.exe without arguments; floor: a program that does nothing)")
    (ours, _), (least, _) = b.medians(b.runs * 4, wrapper([], code=1), floor())
    row("start-up and exit", ours, least, goal=1.05)


def drain(b):
    print(f"output drain (a setup writing {DRAIN_MB} MB of lines, less the 1 s wait; floor: the "
          "same setup started directly with its output into NUL; pipe floor: its output read "
          "through a pipe in 1 MiB pieces by a program that does nothing else)")
    b.m.install(None)
    big = {"STANDIN_SETUP_OUTPUT_MB": str(DRAIN_MB)}
    small = {"STANDIN_SETUP_OUTPUT_MB": str(SMALL_DRAIN_MB)}
    patterns = [("text mode", big),
                (f"{BLOCK_KB} KiB binary writes", dict(big, STANDIN_SETUP_BLOCK_KB=str(BLOCK_KB)))]
    for pattern, env in patterns:
        (ours, _), (least, _), (piped, _) = b.medians(
            b.runs, wrapper(["-s"], env=env),
            floor(["--nul", SETUP_PROGRAM, SILENT_SETUP], env=env),
            floor(["--pipe", SETUP_PROGRAM, SILENT_SETUP], env=env))
        drained = ours - WAITS["install"]
        row(f"drain, {pattern}", drained, least, goal=1.10,
            detail=f"   {DRAIN_MB / drained:.0f} MB/s (floor {DRAIN_MB / least:.0f} MB/s)")
        row("  against the pipe floor", drained, piped,
            detail=f"   pipe floor {DRAIN_MB / piped:.0f} MB/s")

    # Runs of their own: the sampling takes processor time the timed runs must not lose.
    (_, peak), (_, small_peak) = b.medians(max(1, b.runs // 2),
                                           wrapper(["-s"], env=big, memory=True),
                                           wrapper(["-s"], env=small, memory=True))
    print("peak memory of the wrapper during the drain (resident set of its Wine process; "
          f"floor: the same run with {SMALL_DRAIN_MB} MB)")
    ratio = peak / small_peak if small_peak else float("inf")
    print(f"  {'peak with ' + str(DRAIN_MB) + ' MB':<28} {peak / 1024:9.1f} MiB   floor "
          f"{small_peak / 1024:6.1f} MiB   ratio {ratio:5.2f}  (does not grow: "
          f"{'yes' if ratio <= 1.05 else 'NO'})")


def waits(b):
    print("waits (wall time less the waits the run must make; floor: start-up and the same "
          "children, started directly, with no waits)")
    setup = [SETUP_PROGRAM, SILENT_SETUP]
    removal = [MSIEXEC_PROGRAM, REMOVAL]
    cases = [("install", None, ["-s"], setup),
             ("removal", "1.8.0.0", ["-r", "-s"], removal),
             ("upgrade", "1.7.0.6", ["-s"], removal + setup)]
    for name, release, args, children in cases:
        b.m.install(release)
        runs = max(1, b.runs // 2) if name == "upgrade" else b.runs
        (wall, _), (least, _) = b.medians(runs, wrapper(args), floor(["--nul"] + children))
        row(f"{name} (less {WAITS[name]:.0f} s)", wall - WAITS[name], least,
            detail=f"   wall {wall:.3f} s")


def judgement(b):
    print("package judgement (a silent installation from a package of 400 files in 30 folders, "
          "a driver package's size, less the same from the bare package; against: start-up and "
          "exit in the same run)")
    b.m.install(None)
    big = b.m.path("C:\\big")
    shutil.rmtree(big, ignore_errors=True)
    shutil.copytree(b.pkg, big, symlinks=True)
    for i in range(400):
        folder = os.path.join(big, "Win7", "64", "drivers", f"d{i % 30:02d}")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, f"f{i:03d}.sys"), "wb") as f:
            f.write(b"x" * 512)
    in_big = (["C:\\pkg\\setup.exe", "-s"], "C:\\big", None, 0, None)
    (large, _), (bare, _), (start, _) = b.medians(b.runs, in_big, wrapper(["-s"]),
                                                   wrapper([], code=1))
    row("judging 400 files", large - bare, start,
        detail=f"   installation {large:.3f} s, from the bare package {bare:.3f} s")
    shutil.rmtree(big)


def footprint(build):
    exe = os.path.join(build, "setup.exe")
    floor = os.path.join(build, "bench", "bench_floor.exe")
    print("footprint (stripped size; floor: the program that does nothing, built the same way)")
    size, floor_size = os.path.getsize(exe), os.path.getsize(floor)
    print(f"  {'setup.exe':<28} {size:9,d} B   floor {floor_size:8,d} B   ratio "
          f"{size / floor_size:5.2f}  goal <= {SIZE_GOAL // 1024} KiB: "
          f"{'met' if size <= SIZE_GOAL else 'NOT met'} ({size / 1024:.1f} KiB)")
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", exe], check=True,
                          capture_output=True, text=True).stdout
    imports = [line.split(":", 1)[1].strip() for line in dump.splitlines()
               if line.strip().startswith("DLL Name:")]
    print(f"  {'imports':<28} {' '.join(imports)}")
    # Loaded when first needed, so named in the strings rather than the import table; the C
    # runtime's start-up only looks up whether GCC's runtime DLL is loaded.
    strings = subprocess.run(["strings", "-a", exe], check=True, capture_output=True,
                             text=True).stdout.split()
    loaded = sorted({name.lower() for name in strings if name.lower().endswith(".dll")} -
                    {name.lower() for name in imports} - {"libgcc_s_dw2-1.dll"})
    print(f"  {'loads when first needed':<28} {' '.join(loaded)}")


def describe_machine():
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    cpu = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    qemu = "/proc/sys/fs/binfmt_misc/qemu-i386"
    emulated = os.path.exists(qemu) and open(qemu).readline().strip() == "enabled"
    native = "through qemu-i386" if emulated else "natively"
    print(f"machine: {cpu}, {os.cpu_count()} cores, Linux {platform.release()}, {wine}, "
          f"32-bit Linux code runs {native}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--runs", type=int, default=5, help="runs per median (upgrades: half)")
    args = parser.parse_args()
    build, work = os.path.abspath(args.build), os.path.abspath(args.work)

    describe_machine()
    print(f"medians of {args.runs} runs (start-up: {args.runs * 4}, upgrade: "
          f"{max(1, args.runs // 2)}); ratio = figure / floor\n")
    footprint(build)
    template = os.path.join(work, "template-win64")
    if not os.path.exists(os.path.join(template, "system.reg")):
        make_template(template, "win64")
    machine = Machine(template, os.path.join(work, "machine"), build)
    try:
        b = Bench(machine, args.runs)
        startup(b)
        judgement(b)
        drain(b)
        waits(b)
    finally:
        machine.close()


if __name__ == "__main__":
    main()
