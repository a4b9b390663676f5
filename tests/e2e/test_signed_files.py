"""Connection files written by a launcher built with a signing certificate: each passes the
hosting tool's check and an independent one, a changed server signs every file again, and
failures still leave no file."""

import base64
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

from expectations import PROFILES, companion_file, profile_file
from signed_build import SIGNING, build, configure, signed_build, signing_options, test_certificate, words
from wine_harness import SESSION, name_tool
from wine_target import TARGET

# The client's secure settings, line prefix -> scope name, written down independently.
SECURE = dict(line.split(" -> ") for line in
              (Path(__file__).resolve().parents[1] / "expected/secure_settings.txt").read_text().splitlines())
PREFIX_OF = {name: prefix for prefix, name in SECURE.items()}
OTHER_HOST = "rds1.other.example"


def independent_check(content, cert):
    """Rebuilds the signed message from the file and verifies the signature with openssl."""
    assert content.startswith(b"\xff\xfe")
    lines = content[2:].decode("utf-16-le").split("\r\n")
    assert lines[-1] == ""
    fields = {line.split(":", 1)[0]: line for line in lines if line}
    scope = fields["signscope"][len("signscope:s:"):]
    signed = [next(line for line in lines if line.startswith(PREFIX_OF[name])) for name in scope.split(",")]
    message = ("".join(line + "\r\n" for line in signed) + f"signscope:s:{scope}\r\n").encode("utf-16-le") + b"\0\0"
    block = base64.b64decode(fields["signature"][len("signature:s:"):])
    assert struct.unpack("<III", block[:12]) == (0x00010001, 1, len(block) - 12)
    with tempfile.TemporaryDirectory() as folder:
        (Path(folder) / "message").write_bytes(message)
        (Path(folder) / "signature.der").write_bytes(block[12:])
        return subprocess.run(["openssl", "cms", "-verify", "-binary", "-inform", "DER", "-in", "signature.der",
                               "-content", "message", "-CAfile", str(cert), "-purpose", "any", "-out", "/dev/null"],
                              cwd=folder, capture_output=True, text=True)


class SignedFiles(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.exe = signed_build(TARGET.arch) / "rdplaunch.exe"
        cls.cert, _ = test_certificate()

    def test_every_file_passes_both_checks_and_a_changed_server_signs_them_again(self):
        folder = SIGNING / f"rebuild-{TARGET.arch}"
        for options in [signing_options(), [f"-DRDPLAUNCH_HOST_A={OTHER_HOST}"]]:
            configured = configure(TARGET.arch, folder, *options)
            self.assertEqual(configured.returncode, 0, configured.stderr[-3000:])
            self.assertNotIn("the certificate expires on", words(configured.stderr), "90 days away: no warning")
            built = build(folder)
            self.assertEqual(built.returncode, 0, built.stdout[-3000:] + built.stderr[-3000:])
        for row in PROFILES:
            key, _, _, host, _, companion = row
            result = SESSION.run(f"{key}$alice$s3cret$.exe", exe=folder / "rdplaunch.exe")
            self.assertEqual(result.exit_code, 0)
            names = [profile_file(row)[0]] + ([companion_file(companion)[0]] if companion else [])
            self.assertEqual(sorted(result.desktop), sorted(names))
            for name, content in result.desktop.items():
                with self.subTest(key=key, file=name.decode("cp1251")):
                    with tempfile.NamedTemporaryFile(suffix=".rdp") as file:
                        file.write(content)
                        file.flush()
                        checked = name_tool("verify", file.name, "--cert", str(self.cert))
                    self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
                    self.assertIn("publisher: CN=rdplaunch test publisher,O=Test Hoster", words(checked.stdout))
                    independent = independent_check(content, self.cert)
                    self.assertEqual(independent.returncode, 0, independent.stderr)
                    if "A" in (host, companion) and (host == "A" or name.startswith(b"PlanDesk")):
                        self.assertIn(f"full address:s:{OTHER_HOST}\r\n", content.decode("utf-16"))

    def test_verify_tells_a_checked_publisher_from_an_unchecked_one_and_refuses_a_tampered_file(self):
        content = SESSION.run("PELTA_8$alice$s3cret$.exe", exe=self.exe).desktop[profile_file(PROFILES[0])[0]]
        tampered = content.replace("rds-a".encode("utf-16-le"), "rds-x".encode("utf-16-le"))
        for bytes_, options, exit_code, first_line in [
                (content, ["--cert", str(self.cert)], 0, "good signature"),
                (content, [], 4, "signature valid, publisher not checked"),
                (tampered, ["--cert", str(self.cert)], 1, "bad signature: ")]:
            with self.subTest(exit_code=exit_code), tempfile.NamedTemporaryFile(suffix=".rdp") as file:
                file.write(bytes_)
                file.flush()
                checked = name_tool("verify", file.name, *options)
                self.assertEqual(checked.returncode, exit_code, checked.stdout + checked.stderr)
                self.assertTrue(checked.stdout.startswith(first_line), checked.stdout)

    def test_failures_still_leave_no_file(self):
        name, _ = profile_file(PROFILES[0])
        for options, message in [({"full_disk_file": name.decode("cp1251")}, b"I/O error 112."),
                                 ({"prepare": lambda desktop: (desktop / name.decode("cp1251")).mkdir()},
                                  b"File access denied.")]:
            with self.subTest(message=message):
                result = SESSION.run("PELTA_8$alice$s3cret$.exe", exe=self.exe, **options)
                self.assertEqual(result.exit_code, 1)
                self.assertEqual(result.boxes[0].text.split(b"\r\n")[1], message)
                self.assertEqual(result.desktop, {})


if __name__ == "__main__":
    unittest.main()
