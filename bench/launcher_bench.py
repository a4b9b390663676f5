"""Benchmarks of the Windows build under Wine (not a test: it reports figures).

- size of rdplaunch.exe;
- start-up: time from starting the launcher to the start of the first credential
  stand-in, against the time an empty Windows program takes from start to exit, and
  against the time a minimal program that does nothing but the same hidden shell start
  takes to reach the stand-in; all started the same way with one Wine server running
  (medians of several runs);
- waiting: the launcher's own processor time while the client stand-in stays open.

Every wait has a time limit, and whatever the benchmark started (the Wine server and its
processes, the X server) is stopped on every path: an error, a time-out, Ctrl-C or SIGTERM.

Usage: python3 bench/launcher_bench.py [RUNS]
"""

import os
import signal
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests/e2e"))
from wine_harness import BUILD, SESSION, WIN32_BUILD, parse_tool_log, to_windows_path  # noqa: E402

CLIENT_SECONDS = 4
TICKS = os.sysconf("SC_CLK_TCK")
PROGRAM_TIMEOUT = 60  # seconds one baseline program may take; it takes well under one


def run_program(exe, env=None):
    """Runs a Windows program of the build to its end, within the time limit."""
    subprocess.run(SESSION.wine(BUILD / exe), env=SESSION.env(env), check=True, timeout=PROGRAM_TIMEOUT,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def time_empty_program():
    start = time.time()
    run_program("emptyprogram.exe")
    return time.time() - start


def time_shell_start():
    log = SESSION.new_run_folder() / "standin.log"
    start = time.time()
    run_program("shell_start.exe", {"STANDIN_LOG": to_windows_path(log)})
    return parse_tool_log(log)[0].started_at - start


def time_launcher_start():
    start = time.time()
    result = SESSION.run("PELTA_8$bench$pw$.exe")
    return result.tools[0].started_at - start


def process_of(name_fragment):
    for entry in Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                if name_fragment in (entry / "cmdline").read_bytes():
                    return entry
            except OSError:
                continue
    return None


def cpu_seconds(proc):
    fields = (proc / "stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def measure_wait():
    """Starts the launcher with a client that stays open, and samples its processor time
    between half a second after the client started and shortly before it ends."""
    samples = {}

    def sample(run_folder):
        log = run_folder / "standin.log"
        deadline = time.time() + 60
        while time.time() < deadline:
            proc = process_of(b"PELTA_8$waiting$")
            if proc and log.exists() and b"BEGIN mstsc" in log.read_bytes():
                time.sleep(0.5)
                samples["start"] = (time.time(), cpu_seconds(proc))
                time.sleep(CLIENT_SECONDS - 1.5)
                samples["end"] = (time.time(), cpu_seconds(proc))
                return
            time.sleep(0.05)

    SESSION.run("PELTA_8$waiting$pw$.exe", env={"STANDIN_SLEEP_MS": str(CLIENT_SECONDS * 1000)}, monitor=sample)
    if "end" not in samples:
        raise RuntimeError("the waiting launcher or its client stand-in was not seen within 60 s")
    (wall_start, cpu_start), (wall_end, cpu_end) = samples["start"], samples["end"]
    return (cpu_end - cpu_start) / (wall_end - wall_start)


def stop_on_sigterm(signum, frame):
    raise SystemExit(128 + signum)  # unwinds through the finally below, as Ctrl-C does


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 7
    signal.signal(signal.SIGTERM, stop_on_sigterm)
    try:
        SESSION.start()
        # The shell start's baseline starts the cmdkey stand-in: without it the shell shows
        # its own "file not found" box, and the program waits for that box to be dismissed.
        SESSION.install_tools()
        size = (WIN32_BUILD / "rdplaunch.exe").stat().st_size
        empty = statistics.median(time_empty_program() for _ in range(runs))
        shell_start = statistics.median(time_shell_start() for _ in range(runs))
        launcher = statistics.median(time_launcher_start() for _ in range(runs))
        waiting = measure_wait()
    finally:
        SESSION.stop()
    print(f"size of rdplaunch.exe:         {size} bytes ({size / 1024:.1f} KiB)")
    print(f"empty program, start to exit:  {empty * 1000:.0f} ms (median of {runs})")
    print(f"minimal shell start, to tool:  {shell_start * 1000:.0f} ms (median of {runs})")
    print(f"launcher, start to first tool: {launcher * 1000:.0f} ms (median of {runs})")
    print(f"start-up ratio to the empty program:       {launcher / empty:.2f}")
    print(f"start-up ratio to the minimal shell start: {launcher / shell_start:.2f}")
    print(f"processor use while waiting:   {waiting * 100:.2f} % of one core")


if __name__ == "__main__":
    main()
