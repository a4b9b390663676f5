"""The launcher as a downloaded executable: what it loads, how big it is, and names that
stress its path handling."""

import subprocess
import unittest

from expectations import PROFILES, RENAME_MESSAGE, profile_file
from wine_harness import SESSION, WIN32_BUILD

SYSTEM_DLLS = {"KERNEL32.dll", "USER32.dll", "SHELL32.dll", "ADVAPI32.dll", "msvcrt.dll"}
SIZE_LIMIT = 160 * 1024


class Executable(unittest.TestCase):
    """Static checks of the shipped 32-bit executable, whichever build runs under Wine."""

    def test_it_imports_only_dlls_windows_loads_from_the_system_directory(self):
        dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(WIN32_BUILD / "rdplaunch.exe")],
                              capture_output=True, text=True, check=True).stdout
        self.assertIn("file format pei-i386", dump)
        self.assertRegex(dump, r"Subsystem\s+00000002", "a GUI program: no console window appears")
        imported = {line.split("DLL Name:")[1].strip() for line in dump.splitlines() if "DLL Name:" in line}
        self.assertTrue(imported)
        self.assertLessEqual({name.upper() for name in imported}, {name.upper() for name in SYSTEM_DLLS}, imported)

    def test_it_stays_small(self):
        self.assertLessEqual((WIN32_BUILD / "rdplaunch.exe").stat().st_size, SIZE_LIMIT)

    def test_a_freed_heap_block_keeps_none_of_its_bytes(self):
        # Every copy of the password lives in such blocks at some time.
        result = SESSION.run("PELTA_8$alice$s3cret$.exe", exe="rdplaunch-faulttest.exe",
                             env={"RDPLAUNCH_TEST_FAULT": "freed-block"})
        self.assertEqual(result.exit_code, 60, f"61: the freed block still holds what it held; {result.summary()}")

    def test_a_dll_planted_beside_it_is_not_loaded_by_name(self):
        result = SESSION.run("PELTA_8$alice$s3cret$.exe", exe="rdplaunch-faulttest.exe",
                             env={"RDPLAUNCH_TEST_FAULT": "load-planted-dll"}, app_files=["rdplaunch_planted.dll"])
        self.assertEqual(result.exit_code, 42, f"40 + 1 if loaded by name + 2 by full path; {result.summary()}")


class StressedNames(unittest.TestCase):
    def assert_connected(self, result, user, password):
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(result.boxes, [])
        self.assertEqual(result.tools[1].arguments[1:], [b"/user:" + user, b"/pass:" + password])
        self.assertEqual(list(result.desktop), [profile_file(PROFILES[0])[0]])

    def test_a_full_path_longer_than_260_bytes_connects_or_asks_not_to_rename(self):
        deep = "/".join(["folder$with$dollars"] * 14)
        result = SESSION.run("PELTA_8$alice$s3cret$.exe", app_folder_name=deep)
        if result.exit_code == 2:
            self.assertEqual([box.text for box in result.boxes], [RENAME_MESSAGE])
            self.assertEqual(result.tools, [])
        else:
            self.assert_connected(result, b"alice", b"s3cret")

    def test_names_with_spaces_at_the_ends_and_a_doubled_dollar_connect(self):
        for name, user, password in [
            ("PELTA_8$ alice $ s3 cret $.exe", " alice ", " s3 cret "),
            ("PELTA_8$alice$pa$$word$.exe", "alice", "pa"),  # a '$' ends the password field
        ]:
            with self.subTest(name=name):
                self.assert_connected(SESSION.run(name), user.encode("cp1251"), password.encode("cp1251"))


if __name__ == "__main__":
    unittest.main()
