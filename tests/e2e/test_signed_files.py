"""Connection files written by a launcher built with a signing certificate: each passes the
hosting tool's check and an independent one, and failures still leave no file."""

import base64
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

from expectations import PROFILES, companion_file, profile_file
from signed_build import signed_build, test_certificate
from wine_harness import SESSION, name_tool
from wine_target import TARGET

# The client's secure settings, line prefix -> scope name, written down independently.
SECURE = dict(line.split(" -> ") for line in """full address:s: -> Full Address
alternate full address:s: -> Alternate Full Address
pcb:s: -> PCB
use redirection server name:i: -> Use Redirection Server Name
server port:i: -> Server Port
negotiate security layer:i: -> Negotiate Security Layer
enablecredsspsupport:i: -> EnableCredSspSupport
disableconnectionsharing:i: -> DisableConnectionSharing
autoreconnection enabled:i: -> AutoReconnection Enabled
gatewayhostname:s: -> GatewayHostname
gatewayusagemethod:i: -> GatewayUsageMethod
gatewayprofileusagemethod:i: -> GatewayProfileUsageMethod
gatewaycredentialssource:i: -> GatewayCredentialsSource
support url:s: -> Support URL
promptcredentialonce:i: -> PromptCredentialOnce
require pre-authentication:i: -> Require pre-authentication
pre-authentication server address:s: -> Pre-authentication server address
alternate shell:s: -> Alternate Shell
shell working directory:s: -> Shell Working Directory
remoteapplicationprogram:s: -> RemoteApplicationProgram
remoteapplicationexpandworkingdir:s: -> RemoteApplicationExpandWorkingdir
remoteapplicationmode:i: -> RemoteApplicationMode
remoteapplicationguid:s: -> RemoteApplicationGuid
remoteapplicationname:s: -> RemoteApplicationName
remoteapplicationicon:s: -> RemoteApplicationIcon
remoteapplicationfile:s: -> RemoteApplicationFile
remoteapplicationfileextensions:s: -> RemoteApplicationFileExtensions
remoteapplicationcmdline:s: -> RemoteApplicationCmdLine
remoteapplicationexpandcmdline:s: -> RemoteApplicationExpandCmdLine
prompt for credentials:i: -> Prompt For Credentials
authentication level:i: -> Authentication Level
audiomode:i: -> AudioMode
redirectdrives:i: -> RedirectDrives
redirectprinters:i: -> RedirectPrinters
redirectcomports:i: -> RedirectCOMPorts
redirectsmartcards:i: -> RedirectSmartCards
redirectposdevices:i: -> RedirectPOSDevices
redirectclipboard:i: -> RedirectClipboard
devicestoredirect:s: -> DevicesToRedirect
drivestoredirect:s: -> DrivesToRedirect
loadbalanceinfo:s: -> LoadBalanceInfo
redirectdirectx:i: -> RedirectDirectX
rdgiskdcproxy:i: -> RDGIsKDCProxy
kdcproxyname:s: -> KDCProxyName
eventloguploadaddress:s: -> EventLogUploadAddress""".split("\n"))
PREFIX_OF = {name: prefix for prefix, name in SECURE.items()}


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

    def test_rows_1_and_4_and_a_companion_pass_both_checks(self):
        for key, files in [("PELTA_8", [profile_file(PROFILES[0])[0]]), ("PELTA_NRD", [profile_file(PROFILES[3])[0]]),
                           ("PELTA_8_CP_Online", [profile_file(PROFILES[2])[0], companion_file("A")[0]])]:
            result = SESSION.run(f"{key}$alice$s3cret$.exe", exe=self.exe)
            self.assertEqual(result.exit_code, 0)
            self.assertEqual(sorted(result.desktop), sorted(files))
            for name in files:
                with self.subTest(key=key, file=name.decode("cp1251")):
                    content = result.desktop[name]
                    with tempfile.NamedTemporaryFile(suffix=".rdp") as file:
                        file.write(content)
                        file.flush()
                        checked = name_tool("verify", file.name, "--cert", str(self.cert))
                    self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
                    self.assertIn("publisher:  CN=rdplaunch test publisher,O=Test Hoster", checked.stdout)
                    independent = independent_check(content, self.cert)
                    self.assertEqual(independent.returncode, 0, independent.stderr)

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
