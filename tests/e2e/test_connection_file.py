"""The connection file on the desktop, and what happens when it cannot be written."""

import contextlib
import unittest

from expectations import PROFILES, profile_file
from wine_harness import SESSION

ROW_1 = PROFILES[0]


def unix_name(name_bytes):
    return name_bytes.decode("cp1251")


class Content(unittest.TestCase):
    # Every edition's file, byte for byte, is test_launch's.
    def test_an_older_longer_file_is_replaced_whole(self):
        name, content = profile_file(ROW_1)
        result = SESSION.run("PELTA_8$alice$s3cret$.exe",
                             prepare=lambda desktop: (desktop / unix_name(name)).write_bytes(b"old" * 2000))
        self.assertEqual(result.desktop[name], content)


class WriteFailures(unittest.TestCase):
    """Each ends in the failure box, exit code 1, no client and no incomplete file."""

    def assert_failed(self, result, message, files):
        self.assertEqual(result.exit_code, 1)
        self.assertEqual([box.caption for box in result.boxes], ["Application Error"])
        first, second, rest = result.boxes[0].text.split(b"\r\n")
        self.assertRegex(first, rb"^Exception EInOutError in module PELTA_8\$alice\$\*\*\*\$\.exe at [0-9A-F]{8}\.$")
        self.assertEqual(second, message)
        self.assertEqual(rest, b"")
        self.assertEqual(result.tool_names(), ["cmdkey.exe", "cmdkey.exe"], "the client is not started")
        self.assertEqual(result.desktop, files)

    def test_a_directory_of_the_files_name_denies_access(self):
        name, _ = profile_file(ROW_1)
        result = SESSION.run("PELTA_8$alice$s3cret$.exe",
                             prepare=lambda desktop: (desktop / unix_name(name)).mkdir())
        self.assertEqual(result.boxes[0].text.split(b"\r\n")[1], b"File access denied.")
        self.assert_failed(result, b"File access denied.", {})

    def test_a_missing_desktop_folder_is_an_invalid_filename(self):
        result = SESSION.run("PELTA_8$alice$s3cret$.exe", desktop=False)
        self.assert_failed(result, b"Invalid filename.", {})

    def test_a_file_another_program_holds_open_stays_as_it_was(self):
        name, _ = profile_file(ROW_1)
        with contextlib.ExitStack() as holding:
            def hold(desktop):
                path = desktop / unix_name(name)
                path.write_bytes(b"kept")
                holding.enter_context(SESSION.hold_file(path))

            result = SESSION.run("PELTA_8$alice$s3cret$.exe", prepare=hold)
        self.assert_failed(result, b"I/O error 32.", {name: b"kept"})

    def test_a_full_disk_leaves_no_file_behind(self):
        name, _ = profile_file(ROW_1)
        result = SESSION.run("PELTA_8$alice$s3cret$.exe", full_disk_file=unix_name(name))
        self.assert_failed(result, b"I/O error 112.", {})


if __name__ == "__main__":
    unittest.main()
