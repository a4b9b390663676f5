"""Processor time of rdplaunch-name verify on a hostile signed file (not a test: it reports
figures). The file's signature is valid, but besides its signer it carries many
certificates that all bear the signer's issuer's name: copies issued to each other by a few
keys (expired, so that no path through them passes), and certificates whose keys have a
public exponent as long as the modulus, each of whose signatures costs a full-size
exponentiation to check. A search for the signer's path that checks every candidate's
signature, at every step, spends minutes on such a file; the check must refuse it at once.

Usage: python3 bench/hostile_verify_bench.py [COPIES]   (COPIES of each huge-exponent key, default 25)
"""

import base64
import os
import resource
import secrets
import subprocess
import sys
import tempfile
from pathlib import Path

TOOL = Path(os.environ.get("RDPLAUNCH_NATIVE_BUILD_DIR", Path(__file__).resolve().parents[1] / "build/native"))
TOOL = TOOL / "rdplaunch-name"
ISSUER = "/CN=M"


def openssl(*arguments, folder):
    subprocess.run(["openssl", *arguments], cwd=folder, check=True, capture_output=True, stdin=subprocess.DEVNULL)


def self_signed(name, folder, key_options=("-newkey", "rsa:2048")):
    openssl("req", "-x509", *key_options, "-nodes", "-days", "2", "-subj", ISSUER, "-keyout", f"{name}.key",
            "-out", f"{name}.pem", "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=keyCertSign",
            folder=folder)


def issued(name, key, issuer, serial, days, folder, subject=ISSUER, extensions="ca.ext"):
    openssl("req", "-new", "-key", f"{key}.key", "-subj", subject, "-out", f"{name}.csr", folder=folder)
    openssl("x509", "-req", "-in", f"{name}.csr", "-CA", f"{issuer}.pem", "-CAkey", f"{issuer}.key", "-set_serial",
            str(serial), "-days", str(days), "-extfile", extensions, "-out", f"{name}.pem", folder=folder)


def signed_message(rdp):
    """The bytes a connection file's signature covers: its signed lines, then its signscope line."""
    lines = rdp[2:].decode("utf-16-le").split("\r\n")
    scope = next(line for line in lines if line.lower().startswith("signscope:s:"))[len("signscope:s:"):]
    by_name = {}
    for line in lines:
        by_name.setdefault(line.split(":", 1)[0].strip().lower(), line)
    message = b"".join((by_name[name.lower()] + "\r\n").encode("utf-16-le") for name in scope.split(","))
    return message + f"signscope:s:{scope}\r\n".encode("utf-16-le") + b"\0\0"


def make_hostile_file(folder, copies):
    (folder / "ca.ext").write_text("basicConstraints=critical,CA:TRUE\nkeyUsage=keyCertSign\n")
    (folder / "leaf.ext").write_text("basicConstraints=CA:FALSE\nkeyUsage=digitalSignature\n"
                                     "extendedKeyUsage=codeSigning\n")
    # Keys of the modulus's size of the expensive ones below: a signature of another length is
    # refused before any exponentiation.
    keys = [f"k{i}" for i in range(5)]
    for key in keys:
        self_signed(key, folder, ("-newkey", "rsa:3072"))
    bundle = []
    # Copies of one name issued to each other by five keys, all expired.
    for i, issuer in enumerate(keys):
        for j, subject in enumerate(keys):
            issued(f"m{i}{j}", subject, issuer, 100 + 5 * i + j, -1, folder)
            bundle.append(folder / f"m{i}{j}.pem")
    # Keys whose public exponent is as long as the modulus, on many copies of the name.
    for h in range(4):
        exponent = "0x" + secrets.token_hex(380)[:-1] + "1"
        openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:3072", "-pkeyopt",
                f"rsa_keygen_pubexp:{exponent}", "-out", f"h{h}.key", folder=folder)
        for c in range(copies):
            issued(f"h{h}-{c}", f"h{h}", "k0", 1000 + 100 * h + c, 2, folder)
            bundle.append(folder / f"h{h}-{c}.pem")
    (folder / "bundle.pem").write_bytes(b"".join(path.read_bytes() for path in bundle))
    # The signer, under the name, signs a connection file the tool made.
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Signer", "-keyout", "signer.key", "-out",
            "signer.csr", folder=folder)
    openssl("x509", "-req", "-in", "signer.csr", "-CA", "k0.pem", "-CAkey", "k0.key", "-set_serial", "7", "-days", "2",
            "-extfile", "leaf.ext", "-out", "signer.pem", folder=folder)
    subprocess.run([TOOL, "rdp", "PELTA_8$a$b$.exe", "--cert", folder / "signer.pem", "--key", folder / "signer.key",
                    "--chain", folder / "k0.pem", "--out", folder], check=True, capture_output=True)
    made = next(folder.glob("*.rdp")).read_bytes()
    (folder / "message.bin").write_bytes(signed_message(made))
    openssl("cms", "-sign", "-binary", "-noattr", "-md", "sha256", "-outform", "DER", "-in", "message.bin", "-signer",
            "signer.pem", "-inkey", "signer.key", "-certfile", "bundle.pem", "-out", "signature.der", folder=folder)
    der = (folder / "signature.der").read_bytes()
    block = bytes([1, 0, 1, 0, 1, 0, 0, 0]) + len(der).to_bytes(4, "little") + der
    text = made[2:].decode("utf-16-le")
    start = text.index("signature:s:") + len("signature:s:")
    hostile = folder / "hostile.rdp"
    hostile.write_bytes(b"\xff\xfe" + (text[:start] + base64.b64encode(block).decode() + "\r\n").encode("utf-16-le"))
    return hostile, len(bundle)


def verify_seconds(arguments):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    answer = subprocess.run([TOOL, "verify", *arguments], capture_output=True, text=True, timeout=3600)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime, answer


def main():
    copies = int(sys.argv[1]) if len(sys.argv) > 1 else 25
    with tempfile.TemporaryDirectory() as work:
        folder = Path(work)
        hostile, carried = make_hostile_file(folder, copies)
        print(f"a signed file of {hostile.stat().st_size} bytes carrying {carried + 1} certificates")
        for arguments in ([hostile], [hostile, "--trust", folder / "k0.pem"]):
            seconds, answer = verify_seconds(arguments)
            shown = " ".join(str(a).replace(str(folder), "DIR") for a in arguments)
            print(f"verify {shown}: exit code {answer.returncode}, {seconds:.3f} s of processor time")
            print("  " + (answer.stdout + answer.stderr).strip().splitlines()[0].replace(str(folder), "DIR"))


if __name__ == "__main__":
    main()
