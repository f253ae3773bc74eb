"""A Wine prefix with the wrapper's package folder in it, for the end-to-end tests and the demo.

A package folder is laid out as in the field: C:\\pkg with setup.exe at its root and Win7\\64,
Win7\\32 below it. Stand-ins of our own take the place of the package's setup.exe and the
device-configuration DLL, and of the system's msiexec.exe unless Wine's own Windows Installer
installs and removes real packages of the releases; they record what they were asked to do in
C:\\record.txt. Copies planted where only a search would find them must never run, and libraries
planted beside the wrapper under system libraries' names must never load: a run in which one did
fails whatever case it belongs to.
"""

import os
import shutil
import subprocess
import time

PRODUCT_CODE = "{7D4E91A3-2C5B-4F86-B0E7-91A6C3D58F24}"
UNINSTALL_KEY = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + PRODUCT_CODE
REMOVAL = "msiexec.exe /x " + PRODUCT_CODE + " "
# Beside the wrapper, where the command interpreter would have looked first.
PLANTED = ("C:\\pkg\\msiexec.exe", "C:\\pkg\\canary.exe")
# Libraries the wrapper, or system code on its behalf, loads; native first wherever found, so that a
# search reaching the wrapper's folder would load the planted one.
PLANTED_LIBRARIES = ("setupapi", "uxtheme", "dwmapi", "cryptbase", "version", "ntmarta")


class Result:
    def __init__(self, code, stdout, stderr, seconds, record):
        self.code = code
        self.stdout = stdout
        self.stderr = stderr
        self.seconds = seconds
        self.record = record  # lines the stand-ins wrote, in order

    def started(self):
        """(name, folder, command line) of each child program, in order."""
        return [tuple(line.split("|", 3)[1:]) for line in self.record if line.startswith("start|")]

    def images(self):
        """The Windows path of each program that started."""
        return [line.split("|", 1)[1] for line in self.record if line.startswith("image|")]

    def events(self):
        """Children and device calls, in order: ("MSIEXEC", command) or ("rescan", call)."""
        out = []
        for line in self.record:
            parts = line.split("|")
            if parts[0] == "start":
                out.append((parts[1], line.split("|", 3)[3]))
            elif parts[0] == "rescan":
                out.append(("rescan", parts[1]))
        return out


class Machine:
    """A Wine prefix of this group's own, with the package folder in it."""

    def __init__(self, template, root, build):
        self.prefix = os.path.join(root, "prefix")
        self.template = template
        self.build = build
        self.packages = os.path.join(build, "tests", "e2e", "packages")
        shutil.rmtree(root, ignore_errors=True)
        os.makedirs(root)
        # Hard links keep the copy cheap; the registry files Wine rewrites are real copies.
        subprocess.run(["cp", "-al", template, self.prefix], check=True)
        for name in ("system.reg", "user.reg", "userdef.reg"):
            path = os.path.join(self.prefix, name)
            if os.path.exists(path):
                os.unlink(path)
                shutil.copy2(os.path.join(template, name), path)
        self.drive = os.path.join(self.prefix, "drive_c")
        self.env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", STANDIN_RECORD="C:\\record.txt",
                        WINEDLLOVERRIDES=",".join(PLANTED_LIBRARIES) + "=n,b")
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        self.version_set = None

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)

    def path(self, windows_path):
        """The Linux path of a path on drive C."""
        assert windows_path[:3].upper() == "C:\\"
        return os.path.join(self.drive, *windows_path[3:].split("\\"))

    def read(self, windows_path):
        try:
            with open(self.path(windows_path), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def write(self, windows_path, data):
        os.makedirs(os.path.dirname(self.path(windows_path)), exist_ok=True)
        with open(self.path(windows_path), "wb") as f:
            f.write(data)

    def reg(self, *args):
        subprocess.run(["wine", "reg"] + list(args), env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def set_version(self, version):
        if version != self.version_set:
            self.reg("add", "HKCU\\Software\\Wine", "/v", "Version", "/d", version, "/f")
            self.version_set = version

    def install(self, release=None, binary=None):
        """Registers a release in the 32-bit view: text as REG_SZ, or raw bytes as REG_BINARY."""
        subprocess.run(["wine", "reg", "delete", UNINSTALL_KEY, "/f", "/reg:32"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if release is not None:
            self.reg("add", UNINSTALL_KEY, "/v", "DisplayVersion", "/t", "REG_SZ", "/d", release,
                     "/f", "/reg:32")
        if binary is not None:
            self.reg("add", UNINSTALL_KEY, "/v", "DisplayVersion", "/t", "REG_BINARY", "/d",
                     binary.hex(), "/f", "/reg:32")

    def replace_system_file(self, name, source=None):
        """Puts `source` (else Wine's own file) where a 32-bit program finds its system folder.
        The prefix is a hard link of the template: unlinked first, so that the template keeps
        Wine's own."""
        system = "syswow64" if os.path.isdir(os.path.join(self.drive, "windows", "syswow64")) \
            else "system32"
        target = os.path.join(self.drive, "windows", system, name)
        if os.path.exists(target):
            os.unlink(target)
        shutil.copy(source or os.path.join(self.template, "drive_c", "windows", system, name),
                    target)

    def lay_out_package(self, folders=("Win7\\64", "Win7\\32"), installer=False):
        """A fresh C:\\pkg: the wrapper with canaries beside it, and stand-ins for the package
        setup, the system's msiexec.exe and its device-configuration library. With `installer`,
        Wine's own msiexec.exe, and release 1.8.0.0's package beside each setup, which installs
        it."""
        root = self.path("C:\\pkg")
        shutil.rmtree(root, ignore_errors=True)
        os.makedirs(root)
        standins = os.path.join(self.build, "tests", "standins")
        standin = os.path.join(standins, "standin.exe")
        shutil.copy(os.path.join(self.build, "setup.exe"), root)
        for planted in PLANTED:
            shutil.copy(standin, self.path(planted))
        for library in PLANTED_LIBRARIES:
            shutil.copy(os.path.join(standins, "canary.dll"), os.path.join(root, library + ".dll"))
        self.replace_system_file("setupapi.dll", os.path.join(standins, "setupapi.dll"))
        self.replace_system_file("msiexec.exe", None if installer else standin)
        for folder in folders:
            package = os.path.join(root, *folder.split("\\"))
            os.makedirs(package)
            shutil.copy(standin, os.path.join(package, "setup.exe"))
            if installer:
                shutil.copy(os.path.join(self.packages, "lumenor-1.8.0.0.msi"),
                            os.path.join(package, "lumenor.msi"))
        for folder in ("C:\\temp", "C:\\logs"):
            os.makedirs(self.path(folder), exist_ok=True)
        return root

    def msiexec(self, *args):
        """Wine's own Windows Installer; its exit code."""
        return subprocess.run(["wine", "msiexec"] + list(args), env=self.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode

    def install_package(self, release):
        """Removes whatever release is installed and installs `release` for real, or none.
        "1.7.0.7-unremovable" is 1.7.0.7 whose removal fails."""
        self.msiexec("/x", PRODUCT_CODE, "/qn", "LUMENOR_ALLOW_REMOVAL=1")
        self.install(None)
        if release is not None:
            source = os.path.join(self.packages, f"lumenor-{release}.msi")
            code = self.msiexec("/i", "Z:" + source.replace("/", "\\"), "/qn")
            assert code == 0, f"installing {release} failed with {code}"

    def installed(self):
        """(DisplayVersion in the 32-bit view, the release named by the product's file), each
        None when missing."""
        query = subprocess.run(["wine", "reg", "query", UNINSTALL_KEY, "/v", "DisplayVersion",
                                "/reg:32"], env=self.env, capture_output=True, text=True)
        words = [line.split() for line in query.stdout.splitlines() if "DisplayVersion" in line]
        release = self.read("C:\\Program Files (x86)\\Lumenor\\release.txt")
        return (words[0][-1] if words else None,
                release.decode("latin-1").strip() if release is not None else None)

    def run(self, args, env=None, cwd="C:\\pkg", background=False, timeout=300, stdin=None,
            stderr=subprocess.PIPE, via=None):
        """Runs the wrapper; `stdin` is bytes to pipe in or an open file (else the null device:
        under Wine a closed standard input breaks the start of any child), `stderr` a file, `via`
        a test program that starts it, or the words of a command that runs instead."""
        try:
            os.unlink(self.path("C:\\record.txt"))
        except FileNotFoundError:
            pass
        full_env = dict(self.env)
        full_env.update(env or {})
        command = ["wine", os.path.join(self.path("C:\\pkg"), "setup.exe")] + list(args)
        if isinstance(via, list):  # a command of its own, or one Wine runs
            loader = [] if os.path.isabs(via[0]) else ["wine"]
            command = loader + list(via) + list(args)
        elif via:
            command[1:] = [os.path.join(self.build, "tests", "standins", via),
                           " ".join(["C:\\pkg\\setup.exe"] + list(args))]
        piped = isinstance(stdin, bytes)
        started = time.monotonic()
        process = subprocess.Popen(command, cwd=self.path(cwd), env=full_env,
                                   stdin=subprocess.PIPE if piped else (stdin or subprocess.DEVNULL),
                                   stdout=subprocess.PIPE, stderr=stderr)
        if background:
            return process, started
        return self.finish(process, started, timeout, stdin if piped else None)

    def start_program(self, name, args):
        """Starts one of the test programs of the build (tests/standins) under Wine."""
        program = os.path.join(self.build, "tests", "standins", name)
        return subprocess.Popen(["wine", program] + list(args), env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def finish(self, process, started, timeout=300, stdin=None):
        stdout, stderr = process.communicate(input=stdin, timeout=timeout)
        seconds = time.monotonic() - started
        text = self.read("C:\\record.txt") or b""
        result = Result(process.returncode, stdout, stderr, seconds,
                        text.decode("latin-1").splitlines())
        planted = [image for image in result.images() if image.lower() in
                   (p.lower() for p in PLANTED)]
        assert not planted, f"a planted program ran: {planted}"
        loaded = [line for line in result.record if line.startswith("canary|")]
        assert not loaded, f"a planted library was loaded: {loaded}"
        return result


def make_template(path, arch):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    env = dict(os.environ, WINEPREFIX=path, WINEARCH=arch, WINEDEBUG="-all")
    env.pop("DISPLAY", None)
    subprocess.run(["wineboot", "-i"], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, check=True)
    print(f"prefix {arch} ready at {path}")
