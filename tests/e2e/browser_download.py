"""Downloads files from a local web server with real browsers, as users get the launcher.

A server on 127.0.0.1 serves one page of iframes, each of which downloads one file under
the name its Content-Disposition header gives. Headless Chromium (driven by chromedriver)
or Firefox ESR (set up by a user.js in a profile of its own) loads the page once and saves
every file into a folder; what arrives there is what a user would find. Each browser runs
in a session of its own and is stopped by PID, with everything it started.
"""

import http.server
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import urllib.parse
from dataclasses import dataclass
from pathlib import Path

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
FIREFOX = "/usr/bin/firefox-esr"
BROWSERS = ("chromium", "firefox")


@dataclass
class Offer:
    """One file the server offers: its body and the header that names it."""
    content_disposition: str
    body: bytes


def content_disposition(name):
    """The header for a file name, written independently of the name tool: the exact name
    in filename*, and in filename the name itself where it is plain ASCII, otherwise the
    part before its first '$' (the key) with ".exe", which the launcher refuses."""
    fallback = name
    if any(not 0x20 <= ord(c) < 0x7F or c in '"\\%' for c in name):
        fallback = "".join(c if 0x20 <= ord(c) < 0x7F and c not in '"\\%' else "_" for c in name.split("$")[0])
        fallback += ".exe" if "$" in name else ""
    exact = urllib.parse.quote(name.encode("utf-8"), safe="!#$&+-.^_`|~")
    return f"attachment; filename=\"{fallback}\"; filename*=UTF-8''{exact}"


class DownloadServer:
    """Serves the offers at /file/N and a page of iframes at /, on a free port of
    127.0.0.1, from a thread of its own; a context manager that stops it."""

    def __init__(self, offers):
        self.offers = offers
        page = "".join(f'<iframe src="/file/{i}"></iframe>' for i in range(len(offers)))
        self.page = f"<!doctype html><html><body>{page}</body></html>".encode()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                if self.path == "/":
                    self.reply(server.page, {"Content-Type": "text/html; charset=utf-8"})
                elif self.path.startswith("/file/") and self.path[6:].isdigit() and \
                        int(self.path[6:]) < len(server.offers):
                    offer = server.offers[int(self.path[6:])]
                    self.reply(offer.body, {"Content-Type": "application/octet-stream",
                                            "Content-Disposition": offer.content_disposition})
                else:
                    self.send_error(404)

            def reply(self, body, headers):
                self.send_response(200)
                for name, value in headers.items():
                    self.send_header(name, value)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *arguments):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/"
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exception):
        self.httpd.shutdown()
        self.httpd.server_close()
        self.thread.join(timeout=10)


def stop_session(process, work):
    """Stops a process started in a session of its own, everything in that session, and
    any process that names the work folder on its command line (a browser's crash
    handler leaves its session)."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            pass
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            continue
        break
    marker = str(work).encode()
    for entry in Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                if marker in (entry / "cmdline").read_bytes():
                    os.kill(int(entry.name), signal.SIGKILL)
            except (OSError, ProcessLookupError):
                continue


def wait_for_downloads(folder, count, timeout, partial_suffixes):
    """Waits until count files have arrived and none is still partial; returns the
    names in the folder (fewer than count if some never arrived)."""
    deadline = time.monotonic() + timeout
    settled_since = None
    while time.monotonic() < deadline:
        names = [p.name for p in folder.iterdir()]
        partial = any(name.endswith(partial_suffixes) for name in names)
        finished = [name for name in names if not name.endswith(partial_suffixes)]
        if len(finished) >= count and not partial:
            return finished
        # A browser may refuse some names outright: when nothing changes for a while, stop.
        state = (len(names), partial)
        if settled_since is None or settled_since[0] != state:
            settled_since = (state, time.monotonic())
        elif not partial and names and time.monotonic() - settled_since[1] > 15:
            return finished
        time.sleep(0.25)
    return [p.name for p in folder.iterdir() if not p.name.endswith(partial_suffixes)]


def download(browser, offers, timeout=120):
    """Downloads every offer with the browser ("chromium" or "firefox"); returns the
    saved files as {name: bytes}."""
    work = Path(tempfile.mkdtemp(prefix=f"rdplaunch-{browser}-"))
    try:
        folder = work / "downloads"
        folder.mkdir()
        with DownloadServer(offers) as server:
            fetch = download_with_chromium if browser == "chromium" else download_with_firefox
            names = fetch(server.url, work, folder, len(offers), timeout)
        return {name: (folder / name).read_bytes() for name in names}
    finally:
        shutil.rmtree(work, ignore_errors=True)


def download_with_curl(offers):
    """Downloads every offer with curl -OJ, which reads only a header's filename=; returns
    the name each was saved under, each in a folder of its own (curl never overwrites)."""
    work = Path(tempfile.mkdtemp(prefix="rdplaunch-curl-"))
    try:
        saved = []
        with DownloadServer(offers) as server:
            for index in range(len(offers)):
                folder = work / str(index)
                folder.mkdir()
                subprocess.run(["curl", "--silent", "--show-error", "--fail", "--remote-name", "--remote-header-name",
                                f"{server.url}file/{index}"], cwd=folder, check=True, timeout=60)
                saved.append(next(folder.iterdir()).name)
        return saved
    finally:
        shutil.rmtree(work, ignore_errors=True)


def download_with_chromium(url, work, folder, count, timeout):
    from selenium import webdriver

    driver_process = subprocess.Popen([CHROMEDRIVER, "--port=0"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                      start_new_session=True, text=True)
    try:
        port = None
        for line in driver_process.stdout:
            if "was started successfully on port" in line:
                port = int(line.rsplit("port", 1)[1].strip(" .\n"))
                break
        if port is None:
            raise RuntimeError("chromedriver did not start")
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         "--disable-quic", f"--user-data-dir={work / 'chromium-profile'}"):
            options.add_argument(argument)
        options.add_experimental_option("prefs", {
            "download.default_directory": str(folder),
            "download.prompt_for_download": False,
            "profile.default_content_setting_values.automatic_downloads": 1,
        })
        driver = webdriver.Remote(command_executor=f"http://127.0.0.1:{port}", options=options)
        try:
            driver.command_executor._commands["executeCdpCommand"] = ("POST", "/session/$sessionId/goog/cdp/execute")
            driver.execute("executeCdpCommand", {"cmd": "Browser.setDownloadBehavior",
                                                 "params": {"behavior": "allow", "downloadPath": str(folder)}})
            driver.get(url)
            return wait_for_downloads(folder, count, timeout, (".crdownload",))
        finally:
            driver.quit()
    finally:
        stop_session(driver_process, work)
        driver_process.stdout.close()


def download_with_firefox(url, work, folder, count, timeout):
    profile = work / "firefox-profile"
    profile.mkdir()
    preferences = {
        "browser.download.dir": str(folder),
        "browser.download.folderList": 2,
        "browser.download.useDownloadDir": True,
        "browser.download.always_ask_before_handling_new_types": False,
        "browser.helperApps.neverAsk.saveToDisk": "application/octet-stream",
        "browser.download.manager.showWhenStarting": False,
        "browser.download.alwaysOpenPanel": False,
        "browser.shell.checkDefaultBrowser": False,
        "browser.startup.homepage_override.mstone": "ignore",
        "datareporting.policy.dataSubmissionEnabled": False,
        "toolkit.telemetry.reportingpolicy.firstRun": False,
        "app.update.enabled": False,
        "network.proxy.type": 0,
    }
    lines = []
    for key, value in preferences.items():
        text = ("true" if value else "false") if isinstance(value, bool) else \
            str(value) if isinstance(value, int) else '"' + value.replace("\\", "\\\\") + '"'
        lines.append(f'user_pref("{key}", {text});\n')
    (profile / "user.js").write_text("".join(lines))
    process = subprocess.Popen([FIREFOX, "--headless", "--no-remote", "--profile", str(profile), url],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        return wait_for_downloads(folder, count, timeout, (".part",))
    finally:
        stop_session(process, work)
