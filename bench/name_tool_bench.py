"""Requests per second of rdplaunch-name make, side by side: one batch process answering
every request on its standard input against one process per request (not a test: it
reports figures).

Usage: python3 bench/name_tool_bench.py [REQUESTS]
"""

import json
import os
import subprocess
import sys
import time
from pathlib import Path

TOOL = Path(os.environ.get("RDPLAUNCH_NATIVE_BUILD_DIR", Path(__file__).resolve().parents[1] / "build/native"))
TOOL = TOOL / "rdplaunch-name"
TIMEOUT = 120  # seconds for each way; both take well under that


def request(i):
    return {"command": "make", "key": "PELTA_8", "user": f"user{i}", "password": f"pw{i}"}


def batch_rate(count):
    lines = "".join(json.dumps(request(i)) + "\n" for i in range(count))
    start = time.perf_counter()
    answered = subprocess.run([TOOL, "batch"], input=lines, capture_output=True, text=True, check=True,
                              timeout=TIMEOUT).stdout.splitlines()
    elapsed = time.perf_counter() - start
    assert len(answered) == count and all("name" in json.loads(line) for line in answered)
    return count / elapsed


def process_rate(count):
    start = time.perf_counter()
    deadline = time.monotonic() + TIMEOUT
    for i in range(count):
        r = request(i)
        subprocess.run([TOOL, "make", r["key"], r["user"], r["password"], "--json"], capture_output=True, check=True,
                       timeout=max(1, deadline - time.monotonic()))
    return count / (time.perf_counter() - start)


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
    batch = batch_rate(count)
    processes = process_rate(max(1, count // 10))
    print(f"one batch process:      {batch:9.0f} requests/s ({count} requests)")
    print(f"one process per request: {processes:8.0f} requests/s ({max(1, count // 10)} requests)")
    print(f"batch / per process:     {batch / processes:8.1f}")


if __name__ == "__main__":
    main()
