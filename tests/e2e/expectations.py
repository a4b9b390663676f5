"""What the launcher should produce, written down independently of its C++ code."""

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

LINES = """redirectclipboard:i:1
redirectposdevices:i:0
redirectprinters:i:1
redirectcomports:i:0
redirectsmartcards:i:0
devicestoredirect:s:*
drivestoredirect:s:*
redirectdrives:i:1
session bpp:i:24
prompt for credentials on client:i:1
span monitors:i:1
use multimon:i:1
remoteapplicationmode:i:1
server port:i:{port}
allow font smoothing:i:1
promptcredentialonce:i:1
authentication level:i:0
gatewayusagemethod:i:2
gatewayprofileusagemethod:i:0
gatewaycredentialssource:i:0
full address:s:{host}
alternate shell:s:||{alias}
remoteapplicationprogram:s:||{alias}
gatewayhostname:s:
remoteapplicationname:s:{alias}
remoteapplicationcmdline:s:
screen mode id:i:2
winposstr:s:0,3,0,0,800,600
compression:i:1
keyboardhook:i:2
audiocapturemode:i:0
videoplaybackmode:i:1
connection type:i:7
networkautodetect:i:1
bandwidthautodetect:i:1
displayconnectionbar:i:1
enableworkspacereconnect:i:0
disable wallpaper:i:0
allow desktop composition:i:0
disable full window drag:i:1
disable menu anims:i:1
disable themes:i:0
disable cursor setting:i:0
bitmapcachepersistenable:i:1
audiomode:i:0
autoreconnection enabled:i:1
prompt for credentials:i:0
negotiate security layer:i:1
remoteapplicationicon:s:
shell working directory:s:
gatewaybrokeringtype:i:0
use redirection server name:i:0
rdgiskdcproxy:i:0
kdcproxyname:s:
desktopwidth:i:800
desktopheight:i:600""".split("\n")


def rdp_content(alias, host, port):
    assert len(LINES) == 56
    text = "".join(line.format(alias=alias, host=host, port=port) + "\r\n" for line in LINES)
    return text.encode("cp1251")


def rdp_name(display_name):
    return (display_name + ".rdp").encode("cp1251")


def profile_file(profile):
    key, display, alias, host, port, _ = profile
    return rdp_name(display), rdp_content(alias, HOSTS[host], port)


def companion_file(host_letter):
    display, alias, port = COMPANION
    return rdp_name(display), rdp_content(alias, HOSTS[host_letter], port)
