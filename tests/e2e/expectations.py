"""What the launcher should produce, written down independently of its C++ code."""

from pathlib import Path

from wine_harness import HOSTS

CAPTION = "Удаленное подключение"
RENAME_MESSAGE = "Пожалуйста не переименовывайте файл!\n\rСкачайте файл заново.".encode("cp1251")

EXPECTED = Path(__file__).resolve().parents[1] / "expected"


def read_profiles():
    """The profile table written out by hand: (key, display name, alias, host letter, port,
    companion host letter or None) for each row."""
    rows = []
    for line in (EXPECTED / "profiles.tsv").read_text(encoding="utf-8").splitlines():
        if line and not line.startswith("#"):
            key, display, alias, host, port, companion = line.split("\t")
            rows.append((key, display, alias, host, port, None if companion == "-" else companion))
    return rows


PROFILES = read_profiles()
# The companion file's display name, alias and port.
COMPANION = next(tuple(line.split("\t")) for line in (EXPECTED / "companion.tsv").read_text(encoding="utf-8").splitlines()
                 if line and not line.startswith("#"))

# The 56 lines, written out by hand once for the unit and the end-to-end tests alike.
TEMPLATE = (EXPECTED / "connection_file.template").read_text(encoding="utf-8")


def rdp_content(alias, host, port):
    lines = TEMPLATE.splitlines()
    assert len(lines) == 56
    text = "".join(line.replace("<alias>", alias).replace("<host>", host).replace("<port>", port) + "\r\n"
                   for line in lines)
    return text.encode("cp1251")


def rdp_name(display_name):
    return (display_name + ".rdp").encode("cp1251")


def profile_file(profile):
    key, display, alias, host, port, _ = profile
    return rdp_name(display), rdp_content(alias, HOSTS[host], port)


def companion_file(host_letter):
    display, alias, port = COMPANION
    return rdp_name(display), rdp_content(alias, HOSTS[host_letter], port)
