"""A copy made by the hosting service's tool, run under Wine."""

import json
import os
import shutil
import tempfile
import unittest
from pathlib import Path

import subprocess

import jsonschema

from wine_harness import BUILD, HOSTS, NATIVE_BUILD, SESSION, fill, mount_small_file_system, name_tool

ROOT = Path(__file__).resolve().parents[2]


class MadeCopy(unittest.TestCase):
    def test_the_credential_tool_receives_exactly_what_was_given_to_make(self):
        user, password = "Иван Петров", "пароль с пробелом"
        with tempfile.TemporaryDirectory() as out:
            made = name_tool("make", "PELTA_NRD", user, password, "--exe", str(BUILD / "rdplaunch.exe"),
                             "--out", out)
            self.assertEqual(made.returncode, 0, made.stderr)
            copy = Path(out) / made.stdout.strip()
            self.assertTrue(copy.is_file())
            result = SESSION.run(copy.name, exe=copy)
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(result.tools[1].arguments,
                         [b"/generic:termsrv/" + HOSTS["B"].encode(), b"/user:" + user.encode("cp1251"),
                          b"/pass:" + password.encode("cp1251")])

    def test_out_replaces_a_link_instead_of_writing_through_it(self):
        with tempfile.TemporaryDirectory() as out, tempfile.TemporaryDirectory() as elsewhere:
            victim = Path(elsewhere) / "victim"
            victim.write_bytes(b"untouched")
            link = Path(out) / "ПЕЛТА 8.rdp"
            link.symlink_to(victim)
            made = name_tool("rdp", "PELTA_8$alice$pw$.exe", "--out", out)
            self.assertEqual(made.returncode, 0, made.stderr)
            self.assertEqual(victim.read_bytes(), b"untouched")
            self.assertFalse(link.is_symlink())
            self.assertTrue(link.read_bytes().startswith(b"redirectclipboard:i:1\r\n"))
            self.assertEqual(sorted(p.name for p in Path(out).iterdir()), ["ПЕЛТА 8.rdp"], "no temporary file stays")

    def test_arguments_are_values_where_values_stand_and_nothing_secret_is_echoed(self):
        exe = str(BUILD / "rdplaunch.exe")
        with tempfile.TemporaryDirectory() as out:
            # arguments, exit code, what standard output starts with, for a table of cases
            cases = [
                (["make", "PELTA_8", "alice", "-h", "--exe", exe, "--out", out], 0, "PELTA_8$alice$-h$.exe\n"),
                (["make", "PELTA_8", "alice", "s3cret", "--s3cret2"], 2, ""),
                (["make", "PELTA_8", "alice", "s3cret", "--header"], 0,
                 "Content-Disposition: attachment; filename=\"PELTA_8$alice$s3cret$.exe\"; "
                 "filename*=UTF-8''PELTA_8$alice$s3cret$.exe\n"),
                (["make", "PELTA_8", "Иван Петров", "p'w&d", "--header"], 0,
                 "Content-Disposition: attachment; filename=\"PELTA_8.exe\"; filename*=UTF-8''"
                 "PELTA_8$%D0%98%D0%B2%D0%B0%D0%BD%20%D0%9F%D0%B5%D1%82%D1%80%D0%BE%D0%B2$p%27w&d$.exe\n"),
                (["make", "PELTA_8", "alice", "50%"], 1, ""),
                (["make", "PELTA_8", "alice", "s3cret", "--exe", out, "--out", out], 3, ""),  # a folder as the launcher
                (["verify", out], 3, ""),
                (["check", "some/folder/PELTA_8$alice$s3cret$.exe"], 0, "user name:    alice\n"),
                (["check", "PELTA_8$alice$50%$.exe"], 0, "warning:      a browser changes this name"),
            ]
            for arguments, exit_code, stdout in cases:
                with self.subTest(arguments=arguments):
                    answer = name_tool(*arguments)
                    self.assertEqual(answer.returncode, exit_code, answer.stderr)
                    self.assertTrue(answer.stdout.startswith(stdout), answer.stdout)
                    if exit_code != 0:
                        self.assertNotIn("s3cret2", answer.stdout + answer.stderr)
                        self.assertNotIn("--s3cret", answer.stdout + answer.stderr)
                        self.assertFalse(answer.stderr.startswith("terminate"), answer.stderr)
            self.assertTrue((Path(out) / "PELTA_8$alice$-h$.exe").is_file())
        self.assertEqual(name_tool("check", "some/folder/PELTA_8$al$pw$.exe").stdout,
                         name_tool("check", "PELTA_8$al$pw$.exe").stdout)

    def test_with_json_every_answer_is_json_in_valid_utf_8(self):
        for arguments in [[b"make", b"PELTA_8", b"\xc0\xaf", b"pw", b"--json"], [b"make", b"PELTA_8", b"--json"],
                          [b"check", b"PELTA_8$al\xe4\xb8\xadce$pw$.exe", b"--json"], [b"verify", b"/tmp", b"--json"],
                          [b"check", b"x", b"--json", b"--bogus"]]:
            with self.subTest(arguments=arguments):
                answer = subprocess.run([NATIVE_BUILD / "rdplaunch-name", *arguments], capture_output=True)
                self.assertNotEqual(answer.returncode, 0)
                reply = json.loads(answer.stdout.decode("utf-8"))
                self.assertEqual(reply["valid"], False)
                self.assertTrue(reply["error"])
        made = json.loads(name_tool("make", "PELTA_8", "alice", "s3cret", "--json").stdout)
        self.assertEqual(made["name"], "PELTA_8$alice$s3cret$.exe")
        self.assertIn("filename*=UTF-8''PELTA_8$alice$s3cret$.exe", made["content_disposition"])
        malformed = subprocess.run([NATIVE_BUILD / "rdplaunch-name", b"verify", b"/nonexistent/\xc0\xaf.rdp", b"--json"],
                                   capture_output=True).stdout.decode("utf-8")
        self.assertIn("\\\\xC0", json.dumps(json.loads(malformed)))
        checked = json.loads(name_tool("check", "PELTA_8$alice$p  q$.exe", "--json").stdout)
        self.assertEqual((checked["valid"], checked["browser_safe"]), (True, False))

    def test_a_copy_into_a_full_file_system_fails_and_leaves_nothing(self):
        with tempfile.TemporaryDirectory() as out:
            self.assertTrue(mount_small_file_system(Path(out)), "mounting a tmpfs needs root")
            try:
                fill(Path(out) / "filler")
                made = name_tool("make", "PELTA_8", "alice", "s3cret", "--exe", str(BUILD / "rdplaunch.exe"),
                                 "--out", out)
                self.assertEqual(made.returncode, 3)
                self.assertEqual([p.name for p in Path(out).iterdir()], ["filler"])
            finally:
                subprocess.run(["umount", out], check=False)

    def test_bad_inputs_end_at_once_with_the_documented_answer(self):
        name = "PELTA_8_CP_Online$alice$s3cret$.exe"
        with tempfile.TemporaryDirectory() as work:
            fifo, plain = Path(work) / "fifo", Path(work) / "plain.rdp"
            os.mkfifo(fifo)
            plain.write_bytes(b"full address:s:x\r\n")
            # arguments, exit code; a FIFO would block (which inputs are refused is the unit tests')
            cases = [(["rdp", name, "--sign", fifo, fifo], 3), (["rdp", name, "--chain", plain], 2), (["frobnicate"], 2)]
            for arguments, exit_code in cases:
                with self.subTest(arguments=arguments):
                    answer = subprocess.run([NATIVE_BUILD / "rdplaunch-name", *arguments], capture_output=True,
                                            text=True, timeout=10)
                    self.assertEqual(answer.returncode, exit_code, answer.stderr)
                    self.assertEqual(answer.stderr.count("see --help"), 1 if exit_code == 2 else 0, answer.stderr)
            for arguments in (["check", name], ["make", "PELTA_8", "alice", "s3cret", "--json"], ["rdp", name],
                              ["verify", plain], ["batch"]):
                with self.subTest(full_output=arguments[0]), open("/dev/full", "w") as full:
                    answer = subprocess.run([NATIVE_BUILD / "rdplaunch-name", *arguments], stdout=full,
                                            stderr=subprocess.PIPE, input=b"{}\n", timeout=10)
                    self.assertNotEqual(answer.returncode, 0)
            with open("/dev/full", "w") as full:  # help that cannot be written, asked for or not
                for arguments, stream in ((["--help"], {"stdout": full}), ([], {"stderr": full})):
                    with self.subTest(full_help=arguments):
                        answer = subprocess.run([NATIVE_BUILD / "rdplaunch-name", *arguments], timeout=10, **stream)
                        self.assertEqual(answer.returncode, 3)

    def test_a_batch_answers_line_by_line_by_its_schema_and_no_process_shows_the_password(self):
        password = "Zq9-batch-secret"
        schema = json.loads((ROOT / "docs/batch.schema.json").read_text())
        requests, answers = (jsonschema.Draft202012Validator({"$ref": f"#/$defs/{part}", "$defs": schema["$defs"]})
                             for part in ("request", "answer"))
        batch = subprocess.Popen([NATIVE_BUILD / "rdplaunch-name", "batch"], stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, text=True)
        try:
            # request, what "valid" says (None: nothing), the failure's code (None: no failure)
            for request, valid, code in [
                    ({"command": "make", "key": "PELTA_8", "user": "alice", "password": password, "id": "1"}, True, None),
                    ({"command": "make", "key": "PELTA_8", "user": "Иван", "password": password}, True, None),
                    ("not json " + password, False, "usage"),
                    ({"command": "check", "name": f"PELTA_8$alice${password}$.exe", "id": "2"}, True, None),
                    ({"command": "check", "name": f"PELTA_8_CP_Online$alice${password}$.exe"}, True, None),
                    ({"command": "check", "name": f"PELTA_9$alice${password}$.exe"}, False, "refused"),
                    ({"command": "make", "key": "PELTA_8", "user": "alice", "password": "50%"}, False, "refused"),
                    ({"command": "make", "key": "PELTA_8", "user": "a", "password": password, "exe": "/nonexistent",
                      "out": "/tmp"}, False, "file"),
                    ({"command": "version", "id": "3"}, None, None)]:
                batch.stdin.write((request if isinstance(request, str) else json.dumps(request)) + "\n")
                batch.stdin.flush()
                answer = json.loads(batch.stdout.readline())  # flushed at once: no end of input needed
                if code != "usage":
                    requests.validate(request)
                answers.validate(answer)
                self.assertEqual((answer.get("valid"), answer["ok"], answer.get("code")), (valid, code is None, code))
                self.assertEqual(answer.get("id"), request.get("id") if isinstance(request, dict) else None)
                self.assertEqual(password in json.dumps(answer),
                                 isinstance(request, dict) and request["command"] == "make" and code is None)
                for cmdline in Path("/proc").glob("[0-9]*/cmdline"):
                    try:
                        self.assertNotIn(password.encode(), cmdline.read_bytes())
                    except OSError:
                        pass  # a process that ended meanwhile
        finally:
            batch.stdin.close()
            self.assertEqual(batch.wait(timeout=10), 0)
            batch.stdout.close()

    def test_the_tool_preset_installs_the_tool_and_its_manual_alone(self):
        # Built at the depth of the signed builds' own native tools (signing/NAME/native-tools),
        # with the same compilers and flags, so that the compiler cache of a test run serves both.
        work = NATIVE_BUILD / "e2e" / "tool"
        build = work / "preset" / "native-tools"
        shutil.rmtree(work, ignore_errors=True)
        configured = subprocess.run(["cmake", "--preset", "tool", "-B", build, "-DCMAKE_C_COMPILER=cc",
                                     "-DCMAKE_CXX_COMPILER=c++"], cwd=ROOT, capture_output=True, text=True)
        self.assertEqual(configured.returncode, 0, configured.stderr)
        self.assertNotIn("GTest", (build / "CMakeCache.txt").read_text(), "no test framework is looked for")
        for step in (["cmake", "--build", build], ["cmake", "--install", build, "--prefix", work / "usr"]):
            done = subprocess.run(step, capture_output=True, text=True)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        installed = sorted(str(p.relative_to(work / "usr")) for p in (work / "usr").rglob("*") if p.is_file())
        self.assertEqual(installed, ["bin/rdplaunch-name", "share/man/man1/rdplaunch-name.1"])
        version = subprocess.run([work / "usr/bin/rdplaunch-name", "--version"], capture_output=True, text=True)
        self.assertEqual(version.stdout, name_tool("--version").stdout)
        manual = subprocess.run(["man", "--warnings", "-l", work / "usr/share/man/man1/rdplaunch-name.1"],
                                capture_output=True, text=True, env={**os.environ, "MANWIDTH": "80"})
        self.assertEqual((manual.returncode, manual.stderr), (0, ""))
        for command in ("make", "check", "rdp", "verify", "signatures", "identity", "version"):
            usage = name_tool(command, "--help").stdout.splitlines()[0].removeprefix("usage: ")
            self.assertIn(command + "\n", manual.stdout)
            self.assertIn(usage.split(" [")[0], " ".join(manual.stdout.split()))
        shutil.rmtree(work, ignore_errors=True)

    def test_the_rdp_command_shows_the_bytes_the_launcher_writes(self):
        name = "PELTA_KV_CP_Online$alice$pw$.exe"
        with tempfile.TemporaryDirectory() as out:
            self.assertEqual(name_tool("rdp", name, "--out", out).returncode, 0)
            expected = {p.name.encode("cp1251"): p.read_bytes() for p in Path(out).iterdir()}
        self.assertEqual(SESSION.run(name).desktop, expected)


if __name__ == "__main__":
    unittest.main()
