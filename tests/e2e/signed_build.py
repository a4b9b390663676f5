"""A test certificate and key, made at test time (never committed), and Windows builds
signed with them: the build interface a hosting service uses, exercised as it would."""

import fcntl
import functools
import shlex
import subprocess
from pathlib import Path

from wine_harness import WORK

ROOT = Path(__file__).resolve().parents[2]
SIGNING = WORK / "signing"
# Given to the signed builds, to check that the version information carries what it was given.
PUBLISHER = "Test Hoster «Тест»"
PRODUCT_NAME = "Remote Desk Test Edition"


@functools.cache
def test_certificate():
    """An RSA code-signing certificate of a publisher (no certification authority) and its
    key, as PEM files, valid long enough that configuring warns of no expiry; returns their paths.
    The suites of one run share them, and so the signed builds made with them: a pair that
    an earlier suite made is taken while it has 60 of its 90 days left. Suites that run at
    the same time make it once: the first holds a lock while it looks and makes."""
    SIGNING.mkdir(parents=True, exist_ok=True)
    cert, key = SIGNING / "cert.pem", SIGNING / "key.pem"
    with open(SIGNING / "cert.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if key.exists() and subprocess.run(["openssl", "x509", "-checkend", str(60 * 86400), "-noout", "-in", cert],
                                           capture_output=True).returncode == 0:
            return cert, key
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "90", "-subj", "/O=Test Hoster/CN=rdplaunch test publisher",
                        "-addext", "basicConstraints=critical,CA:FALSE", "-addext", "extendedKeyUsage=codeSigning",
                        "-addext", "keyUsage=digitalSignature"],
                       check=True, capture_output=True)
    return cert, key


@functools.cache
def encrypted_key():
    """The test key, encrypted, and a file that holds its passphrase alone on one line; returns their paths."""
    _, key = test_certificate()
    encrypted, passphrase = SIGNING / "encrypted-key.pem", SIGNING / "passphrase.txt"
    passphrase.write_text("correct horse battery\n")
    subprocess.run(["openssl", "pkey", "-in", key, "-aes256", "-passout", f"file:{passphrase}", "-out", encrypted],
                   check=True, capture_output=True)
    return encrypted, passphrase


def signing_options(key=None, passphrase=None):
    """The options of a build signed with the test certificate (and key, or another key)."""
    cert, plain_key = test_certificate()
    options = [f"-DRDPLAUNCH_SIGNING_CERT={cert}", f"-DRDPLAUNCH_SIGNING_KEY={key or plain_key}",
               "-DRDPLAUNCH_BUILD_TEST_PROGRAMS=OFF"]
    return options + ([f"-DRDPLAUNCH_SIGNING_KEY_PASSWORD_FILE={passphrase}"] if passphrase else [])


def configure(arch, folder, *options, terminal=False, env=None, umask=None):
    """Configures a Windows build (preset win32 or win64) into folder; returns the result.
    It never has standard input; with terminal, it runs on a terminal of its own (script)."""
    command = ["cmake", "--preset", arch, "-B", str(folder), *options]
    return run_without_input(command, terminal, env, umask)


def run_without_input(command, terminal=False, env=None, umask=None):
    """Runs a command with no standard input, in a session of its own (so without a
    controlling terminal), or on a new terminal made by script; a command that waits for
    input fails the test by its time limit."""
    if terminal:
        command = ["script", "-qec", shlex.join(map(str, command)), "/dev/null"]
    return subprocess.run(command, cwd=ROOT, capture_output=True, text=True, stdin=subprocess.DEVNULL,
                          start_new_session=True, timeout=300, env=env, umask=-1 if umask is None else umask)


def build(folder, env=None, umask=None):
    return subprocess.run(["cmake", "--build", str(folder)], capture_output=True, text=True, timeout=600, env=env,
                          umask=-1 if umask is None else umask)


def words(text):
    """The words of a message, whatever line breaks a tool put between them (CMake wraps
    its messages at a width that depends on the length of the paths in them)."""
    return " ".join(text.split())


def configure_signed_build(arch):
    """Configures the launcher of preset arch, signed with the test certificate, which builds
    the native tool; returns its folder."""
    cert, key = test_certificate()
    folder = SIGNING / f"build-{arch}"
    configured = configure(arch, folder, f"-DRDPLAUNCH_SIGNING_CERT={cert}", f"-DRDPLAUNCH_SIGNING_KEY={key}",
                           f"-DRDPLAUNCH_PUBLISHER={PUBLISHER}", f"-DRDPLAUNCH_PRODUCT_NAME={PRODUCT_NAME}",
                           "-DRDPLAUNCH_BUILD_TEST_PROGRAMS=OFF")
    if configured.returncode != 0:
        raise RuntimeError(f"configuring the signed build failed:\n{configured.stdout}{configured.stderr}")
    return folder


@functools.cache
def signed_build(arch):
    """The launcher of preset arch, built signed with the test certificate; returns its folder."""
    folder = configure_signed_build(arch)
    built = build(folder)
    if built.returncode != 0:
        raise RuntimeError(f"the signed build failed:\n{built.stdout}{built.stderr}")
    return folder


if __name__ == "__main__":
    # Run once before the suites that build signed launchers: the compiler cache then holds
    # the native tool that each of their configurations builds, and no two suites compile it
    # side by side.
    print(configure_signed_build("win32"))
