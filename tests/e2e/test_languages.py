"""The launcher on Windows of other languages: the system code page decides nothing the
user sees. Under Wine the locale sets the ANSI code page: ru_RU gives 1251, en_US 1252
(English Windows), ja_JP 932 (Japanese, whose double-byte characters can end in the byte
of a backslash)."""

import unittest

from expectations import CAPTION, PROFILES, RENAME_MESSAGE, profile_file
from wine_harness import SESSION

CODE_PAGES = {"ru_RU.UTF-8": 1251, "en_US.UTF-8": 1252, "ja_JP.UTF-8": 932}
NAMES = [("PELTA_NRD", "Иван Петров", "пароль Ы"), ("PELTA_8", "alice", "s3cret")]


def decoded(content, code_page):
    """The connection file as the client reads it: bytes of the system code page, or
    UTF-16LE after its byte order mark."""
    if content.startswith(b"\xff\xfe"):
        return content[2:].decode("utf-16-le")
    return content.decode(f"cp{code_page}")


class EveryLanguage(unittest.TestCase):
    def test_credentials_file_name_and_alias_arrive_intact(self):
        for locale, code_page in CODE_PAGES.items():
            for key, user, password in NAMES:
                with self.subTest(locale=locale, key=key):
                    result = SESSION.run(f"{key}${user}${password}$.exe", locale=locale)
                    self.assertEqual(result.exit_code, 0)
                    self.assertEqual(result.boxes, [])
                    self.assertEqual(result.tool_names(), ["cmdkey.exe", "cmdkey.exe", "mstsc.exe"])
                    self.assertEqual(result.tools[1].unicode_arguments[1:], [f"/user:{user}", f"/pass:{password}"])
                    profile = next(row for row in PROFILES if row[0] == key)
                    name, content_1251 = profile_file(profile)
                    self.assertEqual(list(result.desktop), [name], "the desktop file carries its Cyrillic name")
                    content = result.desktop[name]
                    self.assertEqual(decoded(content, code_page), content_1251.decode("cp1251"))
                    self.assertIn(f"\r\nremoteapplicationname:s:{profile[2]}\r\n", decoded(content, code_page))
                    if code_page == 1251:
                        self.assertEqual(content, content_1251, "byte-exact where the code page is 1251")

    def test_the_rename_box_reads_right(self):
        for locale in CODE_PAGES:
            with self.subTest(locale=locale):
                result = SESSION.run("renamed.exe", locale=locale)
                self.assertEqual(result.exit_code, 2)
                self.assertEqual([(box.caption, box.text) for box in result.boxes], [(CAPTION, RENAME_MESSAGE)])


if __name__ == "__main__":
    unittest.main()
