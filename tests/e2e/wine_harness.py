"""Runs the Windows build of the launcher under Wine, as a user would start it.

One private Wine prefix (32-bit, code page 1251) under the native build folder, with
stand-in cmdkey.exe and mstsc.exe in its system directory that record how they were
started. A private X server shows the message boxes; each box is read (caption from the
window, text from Wine's message box trace) and dismissed with the Return key. Every run
has a time limit, and only processes this harness started are stopped.
"""

import atexit
import os
import re
import shutil
import subprocess
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

WIN32_BUILD = Path(os.environ.get("RDPLAUNCH_WIN32_BUILD_DIR", Path(__file__).resolve().parents[2] / "build/win32"))
NATIVE_BUILD = Path(os.environ.get("RDPLAUNCH_NATIVE_BUILD_DIR", Path(__file__).resolve().parents[2] / "build/native"))
WORK = NATIVE_BUILD / "e2e"
PREFIX = WORK / "prefix"
RUNS = WORK / "runs"

# The hosts the launcher was built with (the CMake defaults unless a test build says otherwise).
HOSTS = {letter: os.environ.get(f"RDPLAUNCH_HOST_{letter}", f"rds-{letter.lower()}.example.com") for letter in "ABCDE"}


@dataclass
class Box:
    caption: str  # as the window shows it
    text: bytes  # the code page 1251 bytes the program passed


@dataclass
class ToolRun:
    name: str  # cmdkey.exe or mstsc.exe
    command_line: bytes
    arguments: list
    rdp_files_at_start: dict = field(default_factory=dict)  # name bytes -> size
    started_at: float = 0.0  # Unix time in seconds
    ended: bool = False


@dataclass
class Result:
    exit_code: int
    boxes: list
    tools: list
    desktop: dict  # file name bytes -> content bytes
    trace: str

    def tool_names(self):
        return [tool.name for tool in self.tools]


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


class WineSession:
    """The prefix and X server shared by all runs of one test process."""

    def __init__(self):
        self.xvfb = None
        self.display = None
        self.counter = 0
        self.wait_for_server = True  # after each run, until every process of the prefix has ended

    def env(self, extra=None):
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": str(PREFIX),
            "WINEARCH": "win32",
            "WINEDLLOVERRIDES": "winemenubuilder.exe=d;mscoree=d;mshtml=d",
            "WINEDEBUG": "-all,trace+msgbox",
            "LC_ALL": "ru_RU.UTF-8",
            "HOME": str(WORK / "home"),
            "DISPLAY": self.display or "",
        })
        env.update(extra or {})
        return env

    def start(self):
        if self.display:
            return
        self.start_x_server()
        if not (PREFIX / "system.reg").exists():
            (WORK / "home").mkdir(parents=True, exist_ok=True)
            subprocess.run(["wineboot", "-i"], env=self.env(), check=True, timeout=300,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=self.env(), timeout=120)
        atexit.register(self.stop)

    def install_tools(self, exclude=()):
        system32 = PREFIX / "drive_c/windows/system32"
        for tool in ("cmdkey.exe", "mstsc.exe"):
            if tool in exclude:
                (system32 / tool).unlink(missing_ok=True)
            else:
                shutil.copyfile(WIN32_BUILD / "standin.exe", system32 / tool)

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
            self.xvfb.kill()
        raise RuntimeError("no X display could be started (is Xvfb installed?)")

    def stop(self):
        if self.display:
            subprocess.run(["wineserver", "-k"], env=self.env(), timeout=60)
        if self.xvfb and self.xvfb.poll() is None:
            self.xvfb.terminate()
            self.xvfb.wait(timeout=10)
        self.display = None

    def user_folder(self):
        users = PREFIX / "drive_c/users"
        return next(p for p in users.iterdir() if p.name != "Public")

    def set_windows_version(self, exe_name, version):
        """Makes Wine report another Windows version to this one executable name only
        (None: the prefix's own version again)."""
        key = f"HKCU\\Software\\Wine\\AppDefaults\\{exe_name}"
        if version is None:
            command = ["wine", "reg", "delete", key, "/f"]
        else:
            command = ["wine", "reg", "add", key, "/v", "Version", "/d", version, "/f"]
        subprocess.run(command, env=self.env(), timeout=120, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env(), timeout=60)

    def hold_file(self, path, milliseconds=15000):
        """Starts a Windows program that holds the file open without write sharing."""
        holder = subprocess.Popen(["wine", str(WIN32_BUILD / "hold_file.exe"), to_windows_path(path),
                                   str(milliseconds)], env=self.env(), stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL)
        held = holder.stdout.readline().strip() == b"held"
        holder.stdout.close()
        if not held:
            raise RuntimeError(f"could not hold {path} open")
        return holder

    def new_run_folder(self):
        self.counter += 1
        folder = RUNS / f"{os.getpid()}-{self.counter}"
        if folder.exists():
            shutil.rmtree(folder)
        folder.mkdir(parents=True)
        return folder

    def run(self, launch_name, exe="rdplaunch.exe", desktop=True, prepare=None, env=None, timeout=90,
            app_folder_name="app", windows_version=None, missing_tools=(), app_files=(), monitor=None):
        """Copies the executable under launch_name and runs it; returns what it did.

        exe: a program of the Windows build, or the absolute path of a copy made elsewhere.

        desktop: True for an empty desktop folder, False for a missing one.
        prepare(desktop_path): called before the run, to put things on the desktop.
        missing_tools: stand-ins taken out of the system directory for this run.
        app_files: files of the Windows build copied beside the executable.
        monitor(run_folder): called in a thread of its own while the launcher runs.
        """
        self.start()
        self.install_tools(exclude=missing_tools)
        folder = self.new_run_folder()
        app = folder / app_folder_name
        app.mkdir(parents=True)
        for extra in app_files:
            shutil.copyfile(WIN32_BUILD / extra, app / extra)
        # Wine keeps file names in UTF-8 on the Unix side and shows them in code page 1251.
        name = launch_name.decode("cp1251") if isinstance(launch_name, bytes) else launch_name
        exe_path = app / name
        shutil.copyfile(exe if Path(exe).is_absolute() else WIN32_BUILD / exe, exe_path)
        desktop_path = folder / "Desktop"
        if desktop:
            desktop_path.mkdir()
        link = self.user_folder() / "Desktop"
        if link.is_symlink() or link.exists():
            link.unlink() if link.is_symlink() else shutil.rmtree(link)
        link.symlink_to(desktop_path)
        if prepare:
            prepare(desktop_path)
        if windows_version:
            self.set_windows_version(name, windows_version)
        log = folder / "standin.log"
        run_env = self.env({"STANDIN_LOG": to_windows_path(log), **(env or {})})
        trace_path = folder / "trace.txt"
        with open(trace_path, "wb") as trace:
            process = subprocess.Popen(["wine", str(exe_path)], env=run_env, cwd=app,
                                       stdout=subprocess.DEVNULL, stderr=trace)
            watcher = threading.Thread(target=monitor, args=(folder,)) if monitor else None
            if watcher:
                watcher.start()
            try:
                captions = self.dismiss_boxes_until_exit(process, timeout)
            finally:
                if watcher:
                    watcher.join()
                if windows_version:
                    self.set_windows_version(name, None)
        trace_text = trace_path.read_bytes().decode("utf-8", "replace")
        texts = [decode_wine_string(m) for m in re.findall(r'trace:msgbox:MSGBOX_OnInit L"(.*)"\s*$', trace_text,
                                                             re.MULTILINE)]
        boxes = [Box(caption, text.encode("cp1251", "replace")) for caption, text in zip(captions, texts)]
        if len(captions) != len(texts):
            raise AssertionError(f"boxes seen {captions} but texts traced {texts}")
        return Result(process.returncode, boxes, parse_tool_log(log), read_folder(desktop_path), trace_text)

    def dismiss_boxes_until_exit(self, process, timeout):
        captions, seen = [], set()
        deadline = time.monotonic() + timeout
        while process.poll() is None:
            if time.monotonic() > deadline:
                process.kill()
                subprocess.run(["wineserver", "-k"], env=self.env(), timeout=60)
                raise TimeoutError(f"the launcher did not end within {timeout} s")
            windows = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", ""], env=self.env(),
                                     capture_output=True, text=True).stdout.split()
            for window in windows:
                if window not in seen:
                    caption = subprocess.run(["xdotool", "getwindowname", window], env=self.env(),
                                             capture_output=True, text=True).stdout.rstrip("\n")
                    if not caption:
                        continue  # Wine's own helper windows have no name; every box has a caption
                    seen.add(window)
                    captions.append(caption)
                subprocess.run(["xdotool", "key", "--window", window, "Return"], env=self.env(),
                               capture_output=True)
            time.sleep(0.2)
        if self.wait_for_server:
            subprocess.run(["wineserver", "-w"], env=self.env(), timeout=60)
        return captions


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
        elif kind == "FILE":
            name, size = rest.split(" ")
            tools[-1].rdp_files_at_start[bytes.fromhex(name)] = int(size)
        elif kind == "END":
            tools[-1].ended = True
    return tools


def name_tool(*arguments):
    """Runs the hosting service's rdplaunch-name tool of the native build."""
    return subprocess.run([str(NATIVE_BUILD / "rdplaunch-name"), *arguments], capture_output=True, text=True)


SESSION = WineSession()
