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

    def test_the_rdp_command_shows_the_bytes_the_launcher_writes(self):
        name = "PELTA_KV_CP_Online$alice$pw$.exe"
        with tempfile.TemporaryDirectory() as out:
            self.assertEqual(name_tool("rdp", name, "--out", out).returncode, 0)
            expected = {p.name.encode("cp1251"): p.read_bytes() for p in Path(out).iterdir()}
        self.assertEqual(SESSION.run(name).desktop, expected)


if __name__ == "__main__":
    unittest.main()
