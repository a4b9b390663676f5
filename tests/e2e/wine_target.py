"""Which Windows build the end-to-end tests run, and how Wine starts it.

The shipped launcher is the 32-bit build. Some hosts execute no 32-bit Linux program,
so 32-bit Wine cannot start there; such a host runs the same sources built as a 64-bit
program, on a 64-bit prefix. RDPLAUNCH_WINE_ARCH=win32 or win64 chooses by hand.

Run as a script, prints which build runs and why.
"""

import errno
import os
import subprocess
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WIN32_BUILD = Path(os.environ.get("RDPLAUNCH_WIN32_BUILD_DIR", ROOT / "build/win32"))
WIN64_BUILD = Path(os.environ.get("RDPLAUNCH_WIN64_BUILD_DIR", ROOT / "build/win64"))
WINE32_LOADER = "/usr/lib/wine/wine"
WINE64_LOADER = "/usr/lib/wine/wine64"


@dataclass(frozen=True)
class Target:
    arch: str  # WINEARCH of the prefix: win32 or win64
    build: Path  # folder of the Windows build that runs
    loader: str  # Wine's loader for that build (the wine wrapper always picks the 32-bit one)
    description: str  # one line: which build, and why


def host_runs_32_bit_programs():
    """Whether the kernel executes 32-bit programs: asked once, of Wine's 32-bit loader."""
    try:
        answer = subprocess.run([WINE32_LOADER, "--version"], capture_output=True, timeout=120)
    except OSError as error:
        if error.errno == errno.ENOENT:  # 32-bit Wine is optional: its packages may not be had
            return False, f"32-bit Wine is not installed ({WINE32_LOADER}: {os.strerror(error.errno)})"
        if error.errno == errno.ENOEXEC:
            return False, f"{WINE32_LOADER}: {os.strerror(error.errno)}"
        raise
    if answer.returncode == 126:
        return False, f"{WINE32_LOADER} exited with 126"
    return True, answer.stdout.decode(errors="replace").strip()


def choose_target():
    chosen = os.environ.get("RDPLAUNCH_WINE_ARCH")
    if chosen:
        why = "chosen by RDPLAUNCH_WINE_ARCH"
        runs_32_bit = chosen == "win32"
    else:
        runs_32_bit, answer = host_runs_32_bit_programs()
        why = f"this host runs 32-bit programs ({answer})" if runs_32_bit else \
            f"this host cannot run 32-bit programs ({answer})" if answer.startswith("/") else answer
    if runs_32_bit:
        return Target("win32", WIN32_BUILD, WINE32_LOADER,
                      f"running the shipped 32-bit build ({WIN32_BUILD}) on a 32-bit prefix: {why}")
    return Target("win64", WIN64_BUILD, WINE64_LOADER,
                  f"running the 64-bit build of the same sources ({WIN64_BUILD}) on a 64-bit prefix: {why}")


TARGET = choose_target()


if __name__ == "__main__":
    print(TARGET.description)
