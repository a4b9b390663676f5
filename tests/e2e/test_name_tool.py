"""A copy made by the hosting service's tool, run under Wine."""

import json
import tempfile
import unittest
from pathlib import Path

from wine_harness import BUILD, HOSTS, SESSION, name_tool


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

    def test_check_masks_the_password_unless_asked_to_show_it(self):
        name = "PELTA_8$alice$s3cret$.exe"
        for options, shown in [((), "***"), (("--show-password",), "s3cret")]:
            with self.subTest(options=options):
                text = name_tool("check", name, *options)
                self.assertIn(f"password:     {shown}\n", text.stdout)
                as_json = json.loads(name_tool("check", name, "--json", *options).stdout)
                self.assertEqual(as_json["password"], shown)
                if shown == "***":
                    self.assertNotIn("s3cret", text.stdout + json.dumps(as_json))

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

    def test_with_json_errors_are_json_too(self):
        for arguments in [("check", "PELTA_8$al\u4e2dce$pw$.exe", "--json"), ("check", "--json"),
                          ("check", "x", "--json", "--bogus")]:
            with self.subTest(arguments=arguments):
                answer = name_tool(*arguments)
                self.assertNotEqual(answer.returncode, 0)
                self.assertEqual(json.loads(answer.stdout)["valid"], False)
                self.assertTrue(json.loads(answer.stdout)["error"])

    def test_the_rdp_command_shows_the_bytes_the_launcher_writes(self):
        name = "PELTA_KV_CP_Online$alice$pw$.exe"
        with tempfile.TemporaryDirectory() as out:
            self.assertEqual(name_tool("rdp", name, "--out", out).returncode, 0)
            expected = {p.name.encode("cp1251"): p.read_bytes() for p in Path(out).iterdir()}
        self.assertEqual(SESSION.run(name).desktop, expected)


if __name__ == "__main__":
    unittest.main()
