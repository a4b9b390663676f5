"""A signed build is signed throughout or fails: a failed signing leaves no rdplaunch.exe,
a certificate that cannot sign stops configuring, and an encrypted key is opened with its
passphrase file or refused at once, never asked for on a terminal. These tests only build:
they run beside the suites that run Wine (see cmake/Native.cmake)."""

import os
import shutil
import subprocess
import tempfile
import unittest

from signed_build import (ROOT, SIGNING, build, configure, encrypted_key, run_without_input, signing_options,
                          test_certificate, words)
from wine_harness import NATIVE_BUILD, name_tool
from wine_target import TARGET


def signature_verifies(exe):
    cert, _ = test_certificate()
    return subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(exe)],
                          capture_output=True).returncode == 0


class SignedBuilds(unittest.TestCase):
    def assert_built(self, result):
        self.assertEqual(result.returncode, 0, result.stdout[-3000:] + result.stderr[-3000:])

    def test_a_failed_signing_leaves_no_rdplaunch_exe_and_the_next_build_signs_again(self):
        folder = SIGNING / "timestamp-win32"
        self.assert_built(configure("win32", folder, *signing_options(), "-DRDPLAUNCH_TIMESTAMP_URL=http://127.0.0.1:9"))
        self.assertNotEqual(build(folder).returncode, 0)
        self.assertFalse((folder / "rdplaunch.exe").exists())
        self.assertNotEqual(build(folder).returncode, 0, "the next build tries again")
        self.assert_built(configure("win32", folder, "-DRDPLAUNCH_TIMESTAMP_URL="))
        self.assert_built(build(folder))
        self.assertTrue(signature_verifies(folder / "rdplaunch.exe"))

    def test_a_certificate_that_cannot_sign_connection_files_stops_configuring(self):
        certificates = SIGNING / "certificates"
        subprocess.run([ROOT / "tests/fixtures/make-certificates.sh", certificates], check=True)
        # certificate, its chain, what configuring and the tool refuse it for (None: it signs), whether configuring
        # warns (these certificates are valid for two days or ten: it warns of their expiry). What the policy
        # refuses is the unit tests' to hold; here, that configuring and the tool say the same.
        for name, chain, problem, warning in [
                ("email", None, "cannot sign connection files: its key usage does not allow digital signatures", None),
                ("oldleaf", "oldint", "CN=Old Intermediate on the signer's chain cannot vouch for it: it expired", None),
                ("expiring", None, None, True)]:
            with self.subTest(certificate=name):
                chain_options = [f"-DRDPLAUNCH_SIGNING_CHAIN={certificates / chain}.pem"] if chain else []
                configured = configure("win32", SIGNING / f"certificate-{name}",
                                       f"-DRDPLAUNCH_SIGNING_CERT={certificates / name}.pem",
                                       f"-DRDPLAUNCH_SIGNING_KEY={certificates / name}.key", *chain_options,
                                       "-DRDPLAUNCH_BUILD_TEST_PROGRAMS=OFF")
                said = words(configured.stdout + configured.stderr)
                if problem:
                    self.assertNotEqual(configured.returncode, 0)
                    self.assertIn(problem, said)
                else:
                    self.assertEqual(configured.returncode, 0, said[-2000:])
                    self.assertIn("The certificate expires on 20", said)
                self.assertEqual(bool(warning), "(message): the certificate expires on " in said, said[-2000:])
                with tempfile.TemporaryDirectory() as out:
                    tool = name_tool("rdp", "PELTA_8$a$b$.exe", "--out", out, f"--cert={certificates / name}.pem",
                                     "--key", f"{certificates / name}.key",
                                     *(["--chain", f"{certificates / chain}.pem"] if chain else []))
                    self.assertEqual(os.listdir(out), [] if problem else ["ПЕЛТА 8.rdp"])
                self.assertEqual(tool.returncode, 1 if problem else 0)
                if problem:
                    self.assertIn(problem, words(tool.stderr))

    def test_a_stray_signatures_header_anywhere_is_never_compiled_in(self):
        # The build names its header by its full path and says whether it signs: nothing is
        # searched for, so a header under a name an include could have found changes nothing.
        # The launcher's library, compiled afresh beside such headers, never sees them.
        strays = [ROOT / "src" / folder / "signatures.h" for folder in
                  ("launcher/desktop", "launcher/desktop/rdpfile", "launcher", "shared/rdpfile", "shared")]
        made = []
        try:
            for stray in strays:
                if not stray.parent.exists():
                    stray.parent.mkdir()
                    made.append(stray.parent)
                stray.write_text("#error a stray signatures header was compiled in\n")
            folder = SIGNING / "stray-header"
            shutil.rmtree(folder, ignore_errors=True)
            self.assert_built(configure(TARGET.arch, folder, "-DRDPLAUNCH_BUILD_TEST_PROGRAMS=OFF"))
            self.assert_built(subprocess.run(["cmake", "--build", str(folder), "--target", "rdplaunch_launcher"],
                                             capture_output=True, text=True, timeout=600))
        finally:
            for stray in strays:
                stray.unlink(missing_ok=True)
            for parent in reversed(made):
                parent.rmdir()

    def test_an_encrypted_key_needs_its_passphrase_file_and_nothing_reads_a_terminal(self):
        key, passphrase = encrypted_key()
        cert, _ = test_certificate()
        for terminal in (False, True):
            with self.subTest(terminal=terminal):
                refused = configure("win32", SIGNING / "encrypted-refused", *signing_options(key), terminal=terminal)
                self.assertNotEqual(refused.returncode, 0)
                self.assertIn("is encrypted: give its passphrase", words(refused.stdout + refused.stderr))
                tool = run_without_input([NATIVE_BUILD / "rdplaunch-name", "rdp", "PELTA_8$a$b$.exe", "--sign", cert,
                                          key], terminal)
                self.assertEqual(tool.returncode, 3)
                self.assertIn("is encrypted: give its passphrase", words(tool.stdout + tool.stderr))
        with tempfile.TemporaryDirectory() as out:
            opened = name_tool("rdp", "PELTA_8$a$b$.exe", "--out", out, "--sign", str(cert), str(key),
                               "--key-password-file", str(passphrase))
            self.assertEqual(opened.returncode, 0, opened.stderr)
        folder = SIGNING / "encrypted-win32"
        self.assert_built(configure("win32", folder, *signing_options(key, passphrase)))
        self.assert_built(build(folder))
        self.assertTrue(signature_verifies(folder / "rdplaunch.exe"))


if __name__ == "__main__":
    unittest.main()
