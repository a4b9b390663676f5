"""The whole launcher under Wine: names it accepts and refuses, the tools it runs, the
files it leaves, for every edition."""

import unittest

from expectations import CAPTION, PROFILES, RENAME_MESSAGE, companion_file, profile_file
from wine_harness import HOSTS, SESSION

DESKTOP = b"C:\\users\\"  # the prefix's desktop, as the launcher sees it


class EveryEdition(unittest.TestCase):
    def test_each_key_stores_credentials_writes_its_file_and_waits_for_the_client(self):
        for profile in PROFILES:
            key, _, _, host, _, companion = profile
            with self.subTest(key=key):
                result = SESSION.run(f"{key}$alice$s3cret$.exe")
                self.assertEqual(result.exit_code, 0)
                self.assertEqual(result.boxes, [])
                self.assertEqual(result.tool_names(), ["cmdkey.exe", "cmdkey.exe", "mstsc.exe"])
                removal, store, client = result.tools
                host_name = HOSTS[host].encode()
                self.assertEqual(removal.arguments, [b"/delete:termsrv/" + host_name])
                self.assertEqual(store.arguments, [b"/generic:termsrv/" + host_name, b"/user:alice", b"/pass:s3cret"])
                self.assertTrue(removal.ended and store.ended and client.ended)

                name, content = profile_file(profile)
                self.assertEqual(len(client.arguments), 1)
                self.assertTrue(client.arguments[0].startswith(DESKTOP))
                self.assertTrue(client.arguments[0].endswith(b"\\Desktop\\" + name))
                self.assertEqual(client.rdp_files_at_start, {name: len(content)},
                                 "the client finds its file, and no companion file yet")
                expected = {name: content}
                if companion:
                    expected.update([companion_file(companion)])
                self.assertEqual(result.desktop, expected)


class Waiting(unittest.TestCase):
    def test_the_launcher_waits_for_the_client_before_it_writes_the_companion_file(self):
        # Recorded by the client stand-in itself just before it ends, 3 s after its start.
        result = SESSION.run("PELTA_8_CP_Online$alice$s3cret$.exe", env={"STANDIN_SLEEP_MS": "3000"})
        self.assertEqual(result.exit_code, 0)
        client = result.tools[-1]
        self.assertEqual(client.name, "mstsc.exe")
        self.assertTrue(client.starter_running_at_end, "the launcher was still running while the client ran")
        self.assertEqual(list(client.rdp_files_at_end), [profile_file(PROFILES[2])[0]],
                         "no companion file while the client runs")
        self.assertIn(companion_file("A")[0], result.desktop)


class Names(unittest.TestCase):
    def test_a_name_that_does_not_carry_everything_shows_the_rename_message(self):
        # The name as shipped, and a key in other letters, as the file system hands them over;
        # which names carry everything is the unit tests' to hold.
        for name in ["rdplaunch.exe", "pelta_8$alice$s3cret$.exe"]:
            with self.subTest(name=name):
                result = SESSION.run(name)
                self.assertEqual(result.exit_code, 2)
                self.assertEqual(len(result.boxes), 1)
                self.assertEqual(result.boxes[0].caption, CAPTION)
                self.assertEqual(result.boxes[0].text, RENAME_MESSAGE)
                self.assertEqual(result.tools, [])
                self.assertEqual(result.desktop, {})

    def test_a_duplicate_marker_and_a_dollar_in_the_folder_do_not_matter(self):
        result = SESSION.run("PELTA_8$alice$s3cret$ (1).exe", app_folder_name="Down$load$s$")
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(result.tools[1].arguments[1:], [b"/user:alice", b"/pass:s3cret"])

    def test_credentials_with_spaces_and_cyrillic_arrive_as_one_argument_each(self):
        user = "Иван Петров".encode("cp1251")
        result = SESSION.run(b"PELTA_KV$" + user + b"$pass word$.exe")
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(result.tools[1].arguments,
                         [b"/generic:termsrv/" + HOSTS["D"].encode(), b"/user:" + user, b"/pass:pass word"])


class OldWindows(unittest.TestCase):
    def test_before_windows_6_the_credentials_are_shown_and_the_client_still_runs(self):
        result = SESSION.run("PELTA_8$alice$s3cret$.exe", windows_version="winxp")
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(len(result.boxes), 1)
        self.assertEqual(result.boxes[0].caption, CAPTION)
        self.assertEqual(result.boxes[0].text,
                         "Для подключения используйте имя пользователя - alice и пароль s3cret".encode("cp1251"))
        self.assertEqual(result.tool_names(), ["mstsc.exe"])
        self.assertEqual(list(result.desktop), [profile_file(PROFILES[0])[0]])


if __name__ == "__main__":
    unittest.main()
