"""Runs the launcher under Wine for a sample name and shows what it did.

Usage: demo.py [LAUNCH_NAME]   (default: a companion edition with a password that has a space)
"""

import json
import subprocess
import sys

from wine_harness import NATIVE_BUILD, SESSION


def show(text_bytes):
    return text_bytes.decode("cp1251").replace("\r", "\\r").replace("\n", "\\n")


def demo(name):
    print(f"\n=== {name}")
    result = SESSION.run(name)
    for box in result.boxes:
        print(f"box      [{box.caption}] {show(box.text)}")
    for tool in result.tools:
        print(f"started  {show(tool.command_line)}")
        for argument in tool.arguments:
            print(f"           argument: {show(argument)}")
        if tool.rdp_files_at_start:
            print(f"           .rdp files on the desktop at its start: "
                  f"{', '.join(show(name) for name in tool.rdp_files_at_start)}")
    for file_name, content in result.desktop.items():
        lines = content.decode("cp1251").split("\r\n")
        print(f"desktop  {show(file_name)}: {len(content)} bytes, {len(lines) - 1} lines")
        for line in lines:
            if line.startswith(("server port", "full address", "remoteapplicationname")):
                print(f"           {line}")
    print(f"exit     {result.exit_code}")


def make_sample():
    """Makes the sample copy the way the hosting service does: a request to rdplaunch-name
    batch on its standard input, so the password is never an argument."""
    request = json.dumps({"command": "make", "key": "PELTA_8_CP_Online", "user": "alice", "password": "s3cret pass"},
                         ensure_ascii=False)
    print(f"$ rdplaunch-name batch <<< '{request}'")
    made = subprocess.run([NATIVE_BUILD / "rdplaunch-name", "batch"], input=request + "\n", capture_output=True,
                          text=True, check=True, timeout=30)
    print(made.stdout + made.stderr, end="")
    return json.loads(made.stdout)["name"]


def main():
    names = sys.argv[1:] or [make_sample(), "renamed-by-the-user.exe"]
    for name in names:
        demo(name)
    SESSION.stop()


if __name__ == "__main__":
    main()
