"""Connection files written by a launcher built with a signing certificate: each passes the
hosting tool's check and an independent one, and a changed server signs every file again.
This suite runs Wine: it builds its own launcher, beside the suites that only build."""

import base64
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

from expectations import PROFILES, companion_file, profile_file
from signed_build import SIGNING, build, configure, signing_options, test_certificate, words
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
    def test_every_file_passes_both_checks_and_a_changed_server_signs_them_again(self):
        folder = SIGNING / f"rebuild-{TARGET.arch}"
        cert, _ = test_certificate()
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
                        checked = name_tool("verify", file.name, "--trust", str(cert))
                    self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
                    self.assertIn("publisher: CN=rdplaunch test publisher,O=Test Hoster", words(checked.stdout))
                    independent = independent_check(content, cert)
                    self.assertEqual(independent.returncode, 0, independent.stderr)
                    server = companion if companion and name == companion_file(companion)[0] else host
                    self.assertEqual(f"full address:s:{OTHER_HOST}\r\n" in content.decode("utf-16"), server == "A")


if __name__ == "__main__":
    unittest.main()
