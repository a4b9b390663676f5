"""The executable's identity: manifest, version information, icon and Authenticode
signature, read from the built file."""

import shutil
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
from pathlib import Path

import pefile

from test_hardening import SIZE_LIMIT
from signed_build import words, PUBLISHER, PRODUCT_NAME, SIGNING, configure, signed_build, test_certificate
from wine_harness import name_tool
from wine_target import WIN32_BUILD

RT_MANIFEST, RT_GROUP_ICON = 24, 14
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
SUPPORTED_OS = {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}


def resource(pe, kind, number=None):
    """The data of the first resource of a type (and number), or None."""
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id != kind:
            continue
        for item in entry.directory.entries:
            if number is None or item.id == number:
                data = item.directory.entries[0].data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    return None


def version_strings(pe):
    return {key.decode(): value.decode() for info in pe.FileInfo[0] if info.Key == b"StringFileInfo"
            for table in info.StringTable for key, value in table.entries.items()}


def verify(path, cert):
    return subprocess.run(["osslsigncode", "verify", "-in", str(path), "-CAfile", str(cert)], capture_output=True,
                          text=True)


class Resources(unittest.TestCase):
    def test_the_manifest_runs_as_invoker_for_every_windows_sharp_and_themed(self):
        pe = pefile.PE(str(WIN32_BUILD / "rdplaunch.exe"))
        manifest = ElementTree.fromstring(resource(pe, RT_MANIFEST, 1))
        level = manifest.find(f"{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/"
                              f"{ASM_V3}requestedExecutionLevel")
        self.assertEqual((level.get("level"), level.get("uiAccess")), ("asInvoker", "false"))
        self.assertEqual({os.get("Id") for os in manifest.iter("{urn:schemas-microsoft-com:compatibility.v1}supportedOS")},
                         SUPPORTED_OS)
        self.assertEqual(manifest.find(".//{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware").text,
                         "true")
        self.assertEqual(manifest.find(".//{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness").text,
                         "PerMonitorV2")
        names = [identity.get("name") for identity in manifest.iter("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")]
        self.assertIn("Microsoft.Windows.Common-Controls", names)

    def test_the_icon_and_the_version_information_are_there(self):
        pe = pefile.PE(str(WIN32_BUILD / "rdplaunch.exe"))
        self.assertIsNotNone(resource(pe, RT_GROUP_ICON))
        strings = version_strings(pe)
        self.assertEqual(strings["OriginalFilename"], "rdplaunch.exe")
        self.assertRegex(strings["FileVersion"], r"^\d+\.\d+\.\d+\.\d+$")
        self.assertEqual(strings["FileVersion"], strings["ProductVersion"])
        self.assertTrue(strings["FileDescription"] and strings["LegalCopyright"])

    def test_a_publisher_with_an_installer_word_is_refused(self):
        with tempfile.TemporaryDirectory() as folder:
            configured = configure("win32", folder, "-DRDPLAUNCH_PUBLISHER=Acme Updates Ltd")
        self.assertNotEqual(configured.returncode, 0)
        self.assertIn("RDPLAUNCH_PUBLISHER contains 'update'", configured.stderr)


class SigningConfiguration(unittest.TestCase):
    def test_a_half_or_wrong_signing_setup_stops_the_configuration_naming_the_problem(self):
        cert, key = test_certificate()
        with tempfile.TemporaryDirectory() as folder:
            other_key = Path(folder) / "other.pem"
            subprocess.run(["openssl", "genpkey", "-algorithm", "RSA", "-out", str(other_key)], check=True,
                           capture_output=True)
            for options, problem in [
                ([f"-DRDPLAUNCH_SIGNING_CERT={cert}"], "RDPLAUNCH_SIGNING_KEY is not set"),
                ([f"-DRDPLAUNCH_SIGNING_CERT={cert}", f"-DRDPLAUNCH_SIGNING_KEY={folder}/missing.pem"],
                 "RDPLAUNCH_SIGNING_KEY: cannot read"),
                ([f"-DRDPLAUNCH_SIGNING_CERT={cert}", f"-DRDPLAUNCH_SIGNING_KEY={other_key}"],
                 f"signing cannot start: the key {other_key} does not belong to the certificate {cert}"),
            ]:
                with self.subTest(problem=problem):
                    # Beside the other signed builds, at their depth: the compiler cache then
                    # has the native tool that the last row builds.
                    build = SIGNING / "setup-problems"
                    shutil.rmtree(build, ignore_errors=True)
                    configured = configure("win32", build, *options)
                    self.assertNotEqual(configured.returncode, 0)
                    self.assertIn(problem, words(configured.stderr))


class Signature(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.exe = signed_build("win32") / "rdplaunch.exe"
        cls.cert, _ = test_certificate()

    def test_the_signed_build_carries_what_it_was_given_and_stays_small(self):
        strings = version_strings(pefile.PE(str(self.exe)))
        self.assertEqual((strings["CompanyName"], strings["ProductName"]), (PUBLISHER, PRODUCT_NAME))
        self.assertLessEqual(self.exe.stat().st_size, SIZE_LIMIT)

    def test_the_signature_holds_for_any_name_and_breaks_with_one_byte(self):
        with tempfile.TemporaryDirectory() as folder:
            made = name_tool("make", "PELTA_8", "setup", "update2024", "--exe", str(self.exe), "--out", folder)
            self.assertEqual(made.returncode, 0, made.stderr)
            renamed = Path(folder) / "PELTA_8$setup$update2024$.exe"
            for path in (self.exe, renamed):
                checked = verify(path, self.cert)
                self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
            changed = bytearray(renamed.read_bytes())
            changed[0x400] ^= 0x01  # a byte of the code
            renamed.write_bytes(changed)
            self.assertNotEqual(verify(renamed, self.cert).returncode, 0)


if __name__ == "__main__":
    unittest.main()
