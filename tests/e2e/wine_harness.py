"""Runs the Windows build of the launcher under Wine, as a user would start it.

One private Wine prefix under the native build folder, with stand-in cmdkey.exe and
mstsc.exe in its system directory that record how they were started. The shipped
launcher is a 32-bit program; on a host that cannot run 32-bit programs the same sources,
built as a 64-bit program, run on a 64-bit prefix instead (see wine_target.py). A private
X server shows the message boxes; each box is read (caption from its window, text from
Wine's message box trace at the moment the window appears) and dismissed with the Return
key. Every run has a time limit, and only processes this harness started are stopped.

One Wine server, with its desktop process, serves every run of a session, as on a
running system: a server and desktop started anew for each run now and then left a
program's first window uncreated (its box never appeared).
"""

import atexit
import contextlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

from wine_target import TARGET, WIN32_BUILD

NATIVE_BUILD = Path(os.environ.get("RDPLAUNCH_NATIVE_BUILD_DIR", Path(__file__).resolve().parents[2] / "build/native"))
BUILD = TARGET.build
WORK = NATIVE_BUILD / "e2e"
PREFIX = WORK / f"prefix-{TARGET.arch}"

# The hosts the launcher was built with (the CMake defaults unless a test build says otherwise).
HOSTS = {letter: os.environ.get(f"RDPLAUNCH_HOST_{letter}", f"rds-{letter.lower()}.example.com") for letter in "ABCDE"}

FULL_DISK_SIZE = "64k"
FILLER_NAME = "filler.bin"


@dataclass
class Box:
    caption: str  # as the window shows it
    text: bytes  # the code page 1251 bytes the program passed


@dataclass
class ToolRun:
    name: str  # cmdkey.exe or mstsc.exe
    command_line: bytes
    arguments: list  # bytes in the prefix's ANSI code page
    unicode_arguments: list = field(default_factory=list)  # str, as split by CommandLineToArgvW
    rdp_files_at_start: dict = field(default_factory=dict)  # name bytes -> size
    rdp_files_at_end: dict = field(default_factory=dict)  # the same, just before the tool ended
    starter_running_at_end: bool = False  # the launcher was still running just before the tool ended
    started_at: float = 0.0  # Unix time in seconds
    ended: bool = False


@dataclass
class Result:
    exit_code: int
    boxes: list  # Box, in the order they appeared
    tools: list  # ToolRun, in the order they started
    desktop: dict  # file name bytes -> content bytes, as left after the run
    trace: str  # Wine's debug output
    ended_after_box: float = None  # seconds from dismissing the last box to the end of the process

    def tool_names(self):
        return [tool.name for tool in self.tools]

    def summary(self):
        """What a failed check shows of a run: a box or Wine's own errors explain an exit
        code the program itself never returns."""
        errors = [line for line in self.trace.splitlines() if line.startswith(("err:", "wine"))]
        return f"exit code {self.exit_code}, boxes {self.boxes}, Wine's errors {errors}"


@dataclass
class Launch:
    """What one run starts, and the world it starts in."""
    launch_name: object  # str, or code page 1251 bytes
    exe: object = "rdplaunch.exe"  # a program of the Windows build, or the absolute path of a copy
    desktop: bool = True  # an empty folder, or none at all
    full_disk_file: str = None  # a full desktop file system (where none can be mounted: this file is /dev/full)
    prepare: object = None  # prepare(desktop_path), to put things on the desktop first
    env: dict = None
    timeout: float = 90
    app_folder_name: str = "app"
    windows_version: str = None  # e.g. "winxp", for this executable name only
    missing_tools: tuple = ()  # stand-ins taken out of the system directory for this run
    app_files: tuple = ()  # files of the Windows build copied beside the executable
    monitor: object = None  # monitor(run_folder), in a thread of its own while the launcher runs
    locale: str = "ru_RU.UTF-8"  # gives programs code page 1251; en_US 1252, ja_JP 932


@dataclass
class RunFolder:
    folder: Path
    app: Path
    exe_path: Path
    desktop: Path
    log: Path
    trace: Path
    full_disk: bool = False


def to_windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def decode_wine_string(literal):
    """Undoes Wine's debug escaping of a wide string (L"...")."""
    out, i = [], 0
    simple = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"'}
    while i < len(literal):
        c = literal[i]
        if c == "\\" and i + 1 < len(literal):
            nxt = literal[i + 1]
            if nxt in simple:
                out.append(simple[nxt])
                i += 2
                continue
            match = re.match(r"[0-9a-fA-F]{4}", literal[i + 1:i + 5])
            if match:
                out.append(chr(int(match.group(0), 16)))
                i += 5
                continue
        out.append(c)
        i += 1
    return "".join(out)


def traced_box_texts(trace_path):
    if not trace_path.exists():
        return []
    trace_text = trace_path.read_bytes().decode("utf-8", "replace")
    return [decode_wine_string(m) for m in re.findall(r'trace:msgbox:MSGBOX_OnInit L"(.*)"\s*$', trace_text,
                                                      re.MULTILINE)]


class WineSession:
    """The prefix and X server shared by all runs of one test process."""

    def __init__(self):
        self.xvfb = None
        self.display = None
        self.prefix_started = False
        self.server_running = False
        self.counter = 0
        self.runs = None  # the session's run folders, made when the first is needed

    # -- the session: X server and prefix ----------------------------------------------------

    def env(self, extra=None):
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": str(PREFIX),
            "WINEARCH": TARGET.arch,
            "WINEDLLOVERRIDES": "winemenubuilder.exe=d;mscoree=d;mshtml=d",
            "WINEDEBUG": "-all,trace+msgbox,err+all",  # Wine's own errors too: they explain a box that never came
            "LC_ALL": "ru_RU.UTF-8",
            "HOME": str(WORK / "home"),
            "DISPLAY": self.display or "",
        })
        env.update(extra or {})
        return env

    def wine(self, *arguments):
        return [TARGET.loader, *map(str, arguments)]

    def start(self):
        if self.display:
            return
        atexit.register(self.stop)
        print(f"e2e: {TARGET.description}", file=sys.stderr, flush=True)
        try:
            self.start_x_server()
            self.prefix_started = True
            if not (PREFIX / "system.reg").exists():
                (WORK / "home").mkdir(parents=True, exist_ok=True)
                subprocess.run(self.wine("wineboot", "-i"), env=self.env(), check=True, timeout=300,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                subprocess.run(["wineserver", "-w"], env=self.env(), timeout=120)
            self.start_server()
        except BaseException:
            self.stop()
            raise

    def start_server(self):
        """Starts the session's persistent Wine server, and its desktop and system
        processes (explorer.exe /desktop, services.exe and the rest, which the first
        program's start brings up), before the first run."""
        subprocess.run(["wineserver", "-p"], env=self.env(), check=True, timeout=60)
        self.server_running = True
        subprocess.run(self.wine(BUILD / "emptyprogram.exe"), env=self.env(), check=True, timeout=120,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop_server(self):
        subprocess.run(["wineserver", "-k"], env=self.env(), timeout=60)
        subprocess.run(["wineserver", "-w"], env=self.env(), timeout=60)
        self.server_running = False

    def start_x_server(self):
        for number in range(90, 140):
            if Path(f"/tmp/.X{number}-lock").exists() or Path(f"/tmp/.X11-unix/X{number}").exists():
                continue
            self.xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(50):
                if Path(f"/tmp/.X11-unix/X{number}").exists():
                    self.display = f":{number}"
                    return
                if self.xvfb.poll() is not None:
                    break
                time.sleep(0.1)
            self.stop_x_server()
        raise RuntimeError("no X display could be started (is Xvfb installed?)")

    def stop_x_server(self):
        if self.xvfb and self.xvfb.poll() is None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait(timeout=10)
        self.xvfb = None

    def stop(self):
        """Stops what this session started: its prefix's processes, then its X server
        (that too when stopping the prefix failed)."""
        try:
            if self.prefix_started:
                self.prefix_started = False
                self.stop_server()
        finally:
            self.stop_x_server()
            self.display = None
            if self.runs is not None:
                shutil.rmtree(self.runs, ignore_errors=True)
                self.runs = None

    def install_tools(self, exclude=()):
        system32 = PREFIX / "drive_c/windows/system32"
        for tool in ("cmdkey.exe", "mstsc.exe"):
            if tool in exclude:
                (system32 / tool).unlink(missing_ok=True)
            else:
                shutil.copyfile(BUILD / "standin.exe", system32 / tool)

    def user_folder(self):
        users = PREFIX / "drive_c/users"
        return next(p for p in users.iterdir() if p.name != "Public")

    def set_windows_version(self, exe_name, version):
        """Makes Wine report another Windows version to this one executable name only
        (None: the prefix's own version again)."""
        key = f"HKCU\\Software\\Wine\\AppDefaults\\{exe_name}"
        if version is None:
            command = self.wine("reg", "delete", key, "/f")
        else:
            command = self.wine("reg", "add", key, "/v", "Version", "/d", version, "/f")
        subprocess.run(command, env=self.env(), timeout=120, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    @contextlib.contextmanager
    def hold_file(self, path):
        """Holds the file open without write sharing, by a Windows program, while the block runs."""
        holder = subprocess.Popen(self.wine(BUILD / "hold_file.exe", to_windows_path(path)), env=self.env(),
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            if holder.stdout.readline().strip() != b"held":
                raise RuntimeError(f"could not hold {path} open")
            yield
        finally:
            holder.stdout.close()
            holder.stdin.close()  # its end of input lets it close the file and end
            holder.wait(timeout=60)

    def new_run_folder(self):
        """A new folder for one run. Run folders stand in a short temporary folder of the
        session's own, whatever the checkout's path, so that the launcher's own path, the
        files it is given and the stand-ins' logs stay far below MAX_PATH."""
        if self.runs is None:
            self.runs = Path(tempfile.mkdtemp(prefix="rdpl-", dir="/tmp"))
        self.counter += 1
        folder = self.runs / str(self.counter)
        folder.mkdir()
        return folder

    # -- one run ------------------------------------------------------------------------------

    def run(self, launch_name, **options):
        """Copies the executable under launch_name and runs it; returns what it did.
        The options are the fields of Launch."""
        launch = Launch(launch_name, **options)
        self.start()
        if not self.server_running:
            self.start_server()  # a run that timed out stopped it
        self.install_tools(exclude=launch.missing_tools)
        run = self.prepare_run(launch)
        try:
            self.prepare_desktop(run, launch)
            if launch.windows_version:
                self.set_windows_version(run.exe_path.name, launch.windows_version)
            try:
                exit_code, boxes, ended_after_box = self.start_and_watch(run, launch)
            finally:
                if launch.windows_version:
                    self.set_windows_version(run.exe_path.name, None)
            return self.collect(run, exit_code, boxes, ended_after_box)
        finally:
            if run.full_disk:
                subprocess.run(["umount", str(run.desktop)], check=False)

    def prepare_run(self, launch):
        """A fresh run folder with the executable copied in under the launch name."""
        folder = self.new_run_folder()
        app = folder / launch.app_folder_name
        app.mkdir(parents=True)
        for extra in launch.app_files:
            shutil.copyfile(BUILD / extra, app / extra)
        # Wine keeps file names in UTF-8 on the Unix side and shows them in code page 1251.
        name = launch.launch_name
        name = name.decode("cp1251") if isinstance(name, bytes) else name
        exe_path = app / name
        exe = Path(launch.exe)
        shutil.copyfile(exe if exe.is_absolute() else BUILD / exe, exe_path)
        return RunFolder(folder, app, exe_path, folder / "Desktop", folder / "standin.log", folder / "trace.txt")

    def prepare_desktop(self, run, launch):
        """Points the prefix's desktop at this run's folder: empty, missing or full."""
        if launch.desktop:
            run.desktop.mkdir()
        if launch.full_disk_file:
            run.full_disk = mount_small_file_system(run.desktop)
            if run.full_disk:
                fill(run.desktop / FILLER_NAME)
            else:
                os.symlink("/dev/full", run.desktop / launch.full_disk_file)
        link = self.user_folder() / "Desktop"
        if link.is_symlink() or link.exists():
            link.unlink() if link.is_symlink() else shutil.rmtree(link)
        link.symlink_to(run.desktop)
        if launch.prepare:
            launch.prepare(run.desktop)

    def start_and_watch(self, run, launch):
        """Starts the launcher, reads and dismisses its boxes until it ends; returns its
        exit code and its boxes."""
        run_env = self.env({"STANDIN_LOG": to_windows_path(run.log), "LC_ALL": launch.locale, **(launch.env or {})})
        watcher = threading.Thread(target=launch.monitor, args=(run.folder,)) if launch.monitor else None
        with open(run.trace, "wb") as trace:
            process = subprocess.Popen(self.wine(run.exe_path), env=run_env, cwd=run.app, stdout=subprocess.DEVNULL,
                                       stderr=trace)
            if watcher:
                watcher.start()
            try:
                boxes, ended_after_box = self.dismiss_boxes_until_exit(process, run.trace, launch.timeout)
            finally:
                if watcher:
                    watcher.join()
        return process.returncode, boxes, ended_after_box

    def dismiss_boxes_until_exit(self, process, trace_path, timeout):
        """Each new box window is paired with the text Wine traced when it was set up: a
        box is modal, so the launcher shows one at a time and the newest untaken text is
        that window's. Only then is the box dismissed. Returns the boxes and the seconds
        from the first dismissal of the last box to the end of the process. The launcher
        waits for every program it starts, so its end is the run's end."""
        boxes, seen = [], set()
        deadline = time.monotonic() + timeout
        last_dismissed = None
        while process.poll() is None:
            if time.monotonic() > deadline:
                process.kill()
                self.stop_server()
                raise TimeoutError(f"the launcher did not end within {timeout} s")
            for window in self.visible_windows():
                if window not in seen:
                    caption = self.window_name(window)
                    if not caption:
                        continue  # Wine's own helper windows have no name; every box has a caption
                    seen.add(window)
                    boxes.append(Box(caption, self.text_of_box(trace_path, len(boxes))))
                    last_dismissed = time.monotonic()
                subprocess.run(["xdotool", "key", "--window", window, "Return"], env=self.env(),
                               capture_output=True)
            time.sleep(0.1)
        ended_after_box = time.monotonic() - last_dismissed if last_dismissed else None
        if len(traced_box_texts(trace_path)) != len(boxes):
            errors = [line for line in trace_path.read_text(errors="replace").splitlines() if line.startswith("err:")]
            raise AssertionError(f"boxes seen {boxes} but texts traced {traced_box_texts(trace_path)}; "
                                 f"Wine's errors: {errors}")
        return boxes, ended_after_box

    def visible_windows(self):
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", ""], env=self.env(),
                              capture_output=True, text=True).stdout.split()

    def window_name(self, window):
        return subprocess.run(["xdotool", "getwindowname", window], env=self.env(), capture_output=True,
                              text=True).stdout.rstrip("\n")

    @staticmethod
    def text_of_box(trace_path, index):
        for _ in range(50):
            texts = traced_box_texts(trace_path)
            if len(texts) > index:
                return texts[index].encode("cp1251", "replace")
            time.sleep(0.1)
        raise AssertionError(f"box {index + 1} appeared but its text was not traced")

    def collect(self, run, exit_code, boxes, ended_after_box):
        desktop = read_folder(run.desktop)
        if run.full_disk:
            desktop.pop(FILLER_NAME.encode(), None)
        trace_text = run.trace.read_bytes().decode("utf-8", "replace")
        return Result(exit_code, boxes, parse_tool_log(run.log), desktop, trace_text, ended_after_box)


def mount_small_file_system(folder):
    """Mounts a small tmpfs over folder, to be filled so that writes there fail the way
    they do on a full disk; returns whether it could (it is unmounted after the run).
    Where mounting is not allowed the caller falls back to a link to /dev/full, which
    fails writes the same way but which 64-bit Wine cannot delete."""
    return subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={FULL_DISK_SIZE}", "tmpfs", str(folder)],
                          capture_output=True).returncode == 0


def fill(path):
    filler = os.open(path, os.O_WRONLY | os.O_CREAT)
    try:
        while os.write(filler, b"\0" * 512) > 0:
            pass
    except OSError:
        pass  # full
    finally:
        os.close(filler)


def read_folder(folder):
    if not folder.is_dir():
        return {}
    return {p.name.encode("cp1251"): p.read_bytes() for p in folder.iterdir() if p.is_file()}


def parse_tool_log(log):
    tools = []
    if not log.exists():
        return tools
    for line in log.read_bytes().decode("ascii").splitlines():
        kind, _, rest = line.partition(" ")
        if kind == "BEGIN":
            tools.append(ToolRun(rest, b"", []))
        elif kind == "TIME":
            tools[-1].started_at = int(rest) / 1000
        elif kind == "CMDLINE":
            tools[-1].command_line = bytes.fromhex(rest)
        elif kind == "ARG":
            tools[-1].arguments.append(bytes.fromhex(rest))
        elif kind == "ARGU":
            tools[-1].unicode_arguments.append(bytes.fromhex(rest).decode("utf-8"))
        elif kind in ("FILE", "ENDFILE"):
            name, size = rest.split(" ")
            files = tools[-1].rdp_files_at_start if kind == "FILE" else tools[-1].rdp_files_at_end
            files[bytes.fromhex(name)] = int(size)
        elif kind == "PARENT":
            tools[-1].starter_running_at_end = rest == "1"
        elif kind == "END":
            tools[-1].ended = True
    return tools


def name_tool(*arguments):
    """Runs the hosting service's rdplaunch-name tool of the native build."""
    return subprocess.run([str(NATIVE_BUILD / "rdplaunch-name"), *arguments], capture_output=True, text=True)


SESSION = WineSession()
