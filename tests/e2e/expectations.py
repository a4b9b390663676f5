"""What the launcher should produce, written down independently of its C++ code."""

from pathlib import Path

from wine_harness import HOSTS

CAPTION = "Удаленное подключение"
RENAME_MESSAGE = "Пожалуйста не переименовывайте файл!\n\rСкачайте файл заново.".encode("cp1251")

# key, display name, alias, host letter, port, companion host letter
PROFILES = [
    ("PELTA_8", "ПЕЛТА 8", "PELTA8", "A", "3395", None),
    ("PELTA_8_Online", "ПЕЛТА 8 Онлайн", "PELTA8", "A", "3396", None),
    ("PELTA_8_CP_Online", "ПЕЛТА 8 Онлайн", "PELTA8", "A", "3397", "A"),
    ("PELTA_NRD", "ПЕЛТА НРД 2016", "ПЕЛТА НРД2016", "B", "3395", None),
    ("PELTA_NRD_Online", "ПЕЛТА НРД Онлайн", "ПЕЛТА НРД2016", "C", "3396", None),
    ("PELTA_KV", "ПЕЛТА КВ", "PELTA_KV", "D", "3395", None),
    ("PELTA_KV_Free", "ПЕЛТА КВ Онлайн", "PELTA_KV", "D", "3396", None),
    ("PELTA_KV_Online", "ПЕЛТА КВ Онлайн", "PELTA_KV", "E", "3397", None),
    ("PELTA_KV_CP_Online", "ПЕЛТА КВ Онлайн", "PELTA_KV", "E", "3397", "E"),
    ("PELTA_DSW_QN", "ПЕЛТА ДСВ", "DSW_QN", "A", "3395", None),
    ("PELTA_DSW_KW", "ПЕЛТА ДСВ КВ", "DSW_KW", "D", "3395", None),
    ("PELTA_DSW_QS", "ПЕЛТА ДСВ ЦС", "DSW_QS", "B", "3395", None),
]
COMPANION = ("PlanDesk Online", "PlnDsk", "3397")

# The 56 lines, written out by hand once for the unit and the end-to-end tests alike.
TEMPLATE = (Path(__file__).resolve().parents[1] / "expected/connection_file.template").read_text(encoding="utf-8")


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
