"""A release anyone can check: one commit builds to one executable wherever, whenever and
by whomever it is built, and a signed release is rebuilt from its published parts (the
connection files' signatures and the detached Authenticode signature) without its key."""

import hashlib
import os
import shutil
import subprocess
import unittest

from signed_build import PRODUCT_NAME, PUBLISHER, SIGNING, build, configure, signed_build, test_certificate, words
from wine_harness import WORK

OPTIONS = ("-DRDPLAUNCH_BUILD_TEST_PROGRAMS=OFF",)
# A second builder: another folder, time zone, language and umask, and no date given. It
# compiles everything itself: a compiler cache would hand it the objects of the first (which
# may take them from the cache, compiled by another build in a folder of the same depth).
ELSEWHERE = {**{k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}, "CCACHE_DISABLE": "1",
             "TZ": "Asia/Tokyo", "LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"}


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


class Release(unittest.TestCase):
    def build_in(self, folder, *options, env=None, umask=None):
        # Built afresh each run: a folder left by an earlier run is up to date and says nothing.
        shutil.rmtree(folder, ignore_errors=True)
        configured = configure("win32", folder, *OPTIONS, *options, env=env, umask=umask)
        self.assertEqual(configured.returncode, 0, configured.stdout[-3000:] + configured.stderr[-3000:])
        built = build(folder, env=env, umask=umask)
        self.assertEqual(built.returncode, 0, built.stdout[-3000:] + built.stderr[-3000:])
        return built.stdout

    def test_two_builds_of_one_commit_in_two_places_are_identical_and_say_so(self):
        first, second = WORK / "release" / "one", WORK / "release" / "elsewhere" / "two"
        printed = self.build_in(first)
        self.build_in(second, env=ELSEWHERE, umask=0o077)
        exe = first / "rdplaunch.exe"
        self.assertEqual(sha256(exe), sha256(second / "rdplaunch.exe"))
        self.assertIn(f"SHA-256 {sha256(exe)} rdplaunch.exe", words(printed))

    def test_a_signed_release_is_rebuilt_from_its_published_parts(self):
        published = signed_build("win32")
        header, detached = published / "connection-file-signatures.h", published / "rdplaunch.exe.sig"
        identity = (f"-DRDPLAUNCH_PUBLISHER={PUBLISHER}", f"-DRDPLAUNCH_PRODUCT_NAME={PRODUCT_NAME}")

        rebuilt = SIGNING / "rebuilt-from-release"
        self.build_in(rebuilt, f"-DRDPLAUNCH_FILE_SIGNATURES={header}", *identity, env=ELSEWHERE, umask=0o077)
        self.assertEqual((rebuilt / "rdplaunch.exe").read_bytes(), (published / "rdplaunch-unsigned.exe").read_bytes())
        attached = rebuilt / "rdplaunch-attached.exe"
        attached.unlink(missing_ok=True)
        cert, key = test_certificate()
        result = subprocess.run(["osslsigncode", "attach-signature", "-sigin", detached, "-CAfile", cert, "-in",
                                 rebuilt / "rdplaunch.exe", "-out", attached], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(attached.read_bytes(), (published / "rdplaunch.exe").read_bytes())

        # Signing again makes the same connection-file signatures: they carry no signing time.
        resigned = SIGNING / "signed-again"
        self.build_in(resigned, f"-DRDPLAUNCH_SIGNING_CERT={cert}", f"-DRDPLAUNCH_SIGNING_KEY={key}", *identity)
        self.assertEqual((resigned / "connection-file-signatures.h").read_bytes(), header.read_bytes())
        self.assertEqual(sha256(resigned / "rdplaunch-unsigned.exe"), sha256(published / "rdplaunch-unsigned.exe"))

    def test_a_published_header_and_a_key_together_are_refused(self):
        folder = SIGNING / "header-and-key"
        cert, key = test_certificate()
        refused = configure("win32", folder, *OPTIONS, f"-DRDPLAUNCH_SIGNING_CERT={cert}",
                            f"-DRDPLAUNCH_SIGNING_KEY={key}",
                            f"-DRDPLAUNCH_FILE_SIGNATURES={signed_build('win32') / 'connection-file-signatures.h'}")
        self.assertNotEqual(refused.returncode, 0)
        self.assertIn("rebuilds a release without its key", words(refused.stdout + refused.stderr))


if __name__ == "__main__":
    unittest.main()
