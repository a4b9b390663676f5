"""The launcher's name must survive a real browser download: one launcher served under
each user's name with the header rdplaunch-name prints, saved by headless Chromium and
Firefox ESR, must arrive under exactly that name and give back the same credentials."""

import json
import unittest

from browser_download import BROWSERS, Offer, content_disposition, download, download_with_curl
from wine_harness import BUILD, name_tool

# What Windows does not allow in a file name, and the separator of the name's fields.
WINDOWS_FORBIDDEN = set(chr(code) for code in range(0x20)) | set('\\/:*?"<>|') | {"$"}


def cp1251_characters():
    characters = []
    for byte in range(1, 256):
        try:
            characters.append(bytes([byte]).decode("cp1251"))
        except UnicodeDecodeError:
            pass  # 0x98 has no character
    return characters


def make(user, password):
    """The name and header make prints, or None when it refuses."""
    answer = name_tool("make", "PELTA_8", user, password, "--json")
    if answer.returncode == 1:
        return None
    made = json.loads(answer.stdout)
    return made["name"], made["content_disposition"]


class CharacterSweep(unittest.TestCase):
    def test_make_refuses_exactly_the_characters_a_browser_or_windows_changes(self):
        # Each character alone at the ends and in the middle of a field, and twice in a row.
        probes = []
        for index, c in enumerate(cp1251_characters()):
            probes.append((c, f"s{index:03d}{c}", f"{c}p{c}q{c}"))
            probes.append((c + c, f"d{index:03d}{c}{c}", f"{c}{c}p{c}{c}q{c}{c}"))
        offers, made_names = [], []
        for _, user, password in probes:
            name = f"PELTA_8${user}${password}$.exe"
            made = make(user, password)
            if made:
                self.assertEqual(made, (name, content_disposition(name)), "the header agrees with RFC 6266 and 8187")
            made_names.append(made is not None)
            offers.append(Offer(content_disposition(name), b"MZ"))
        saved = {browser: set(download(browser, offers)) for browser in BROWSERS}
        names = [f"PELTA_8${user}${password}$.exe" for _, user, password in probes]
        for (text, _, _), name, accepted in zip(probes, names, made_names):
            changed_by = [browser for browser in BROWSERS if name not in saved[browser]]
            with self.subTest(characters=" ".join(f"U+{ord(c):04X}" for c in text)):
                if accepted:
                    self.assertEqual(changed_by, [], "make accepts what a browser changes")
                else:
                    self.assertTrue(changed_by or set(text) & WINDOWS_FORBIDDEN,
                                    "make refuses what every browser keeps and Windows allows")


class NamedCopies(unittest.TestCase):
    def test_each_copy_arrives_under_the_name_make_printed_and_gives_back_its_credentials(self):
        credentials = [
            ("Иван Петров", "пароль с пробелами"),
            ("o'brien & co", "a+b#c;d=e,f~g{h}[i]!j@k^l`m.n"),
            ("№ 5 «Ёлка»", "x—y€z…"),
            (" leading", "trailing "),
        ]
        # Names of exactly the longest length make accepts, in ASCII and in Cyrillic.
        fixed = len("PELTA_8$$$.exe")
        credentials.append(("u" * 50, "p" * (120 - fixed - 50)))
        credentials.append(("д" * 50, "ж" * (120 - fixed - 50)))
        launcher = (BUILD / "rdplaunch.exe").read_bytes()
        copies = [make(user, password) for user, password in credentials]
        self.assertNotIn(None, copies)
        self.assertEqual(len(copies[-1][0]), 120)
        self.assertIsNone(make("u" * 50, "p" * (121 - fixed - 50)), "one more character is refused")
        offers = [Offer(header, launcher) for _, header in copies]
        for browser in BROWSERS:
            saved = download(browser, offers)
            with self.subTest(browser=browser):
                self.assertEqual(sorted(saved), sorted(name for name, _ in copies))
                for (user, password), (name, _) in zip(credentials, copies):
                    self.assertEqual(saved[name], launcher, "the same bytes, so the same signature")
                    checked = json.loads(name_tool("check", name, "--json", "--show-password").stdout)
                    self.assertEqual((checked["valid"], checked["user"], checked["password"]), (True, user, password))
        # A client that reads only filename= saves either the very name or one the launcher
        # refuses: never a launcher name that carries other credentials.
        ascii_copy = make("alice", "s3cret")
        for (name, _), saved in zip(copies + [ascii_copy], download_with_curl(offers + [Offer(ascii_copy[1], b"MZ")])):
            with self.subTest(curl=name):
                if name.isascii():
                    self.assertEqual(saved, name)
                else:
                    self.assertEqual(name_tool("check", saved).returncode, 1, saved)


if __name__ == "__main__":
    unittest.main()
