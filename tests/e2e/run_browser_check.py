#!/usr/bin/python3
"""Real browsers behind Hide IP: Debian's Chromium and Firefox ESR follow the proxy the program
applies to the desktop's proxy settings, and Restore IP gives the settings back key for key.

The real program runs under Xvfb (velmora_e2e.XSession) with its own GSettings keyfile and
XDG_CURRENT_DESKTOP=GNOME. It fetches its list from a stand-in service that offers one proxy:
a SOCKS4/4a/5 proxy of this script that writes every request to its own connection log. After
Get Proxy and Hide IP on that row, headless Chromium and headless Firefox ESR (a fresh profile
in system-proxy mode) load a page of this script's loopback web server. The proxy's log must
show their requests, and every request the page server saw must have come from a connection
the proxy opened.

Two runs: from a clean desktop state, and with HTTP and HTTPS proxy hosts left in the settings
(mode 'none') that point at a "wrong" listener, which must get no connection at all. After
Restore IP, `gsettings list-recursively org.gnome.system.proxy` must equal what it was before
Hide IP, line for line.

Everything stays on 127.0.0.1: the proxy relays only to loopback addresses and never resolves
a host name, the browsers run with their background services turned off or pointed at the page
server, and every wait is bounded. Started by scripts/e2e.
"""

import argparse
import http.server
import json
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmora_e2e as v  # noqa: E402
from run_e2e import Checks  # noqa: E402

FINISHED = "The proxy test is finished!"
SCHEMA = "org.gnome.system.proxy"
LOOPBACK_BYPASS = ("'localhost'", "'127.0.0.0/8'", "'::1'")
BROWSER_TIMEOUT = 60


class PageServer:
    """The loopback web server the browsers load their page from. Records every request:
    method, path and the client's port (to match against the proxy's "via" ports)."""

    MARKER = "velmora-browser-check"

    def __init__(self, log_path):
        self.requests = []
        self.lock = threading.Lock()
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.0"

            def _answer(self):
                length = int(self.headers.get("Content-Length") or 0)
                if length:
                    self.rfile.read(min(length, 1 << 20))
                with owner.lock:
                    owner.requests.append({"method": self.command, "path": self.path,
                                           "client": self.client_address[1]})
                    with open(log_path, "a", encoding="utf-8") as handle:
                        handle.write(f"{self.command} {self.path} from port {self.client_address[1]}\n")
                if self.command == "GET" and self.path.startswith("/check/"):
                    body = (f"<html><head><title>{owner.MARKER}</title></head>"
                            f"<body><p>{owner.MARKER} {self.path}</p></body></html>").encode()
                    self.send_response(200)
                    self.send_header("Content-Type", "text/html; charset=utf-8")
                else:
                    body = b""
                    self.send_response(404)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            do_GET = do_POST = do_HEAD = _answer

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.port = self.server.server_address[1]
        self.origin = f"http://127.0.0.1:{self.port}"
        self.thread = threading.Thread(target=self.server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True)
        self.thread.start()

    def mark(self):
        with self.lock:
            return len(self.requests)

    def since(self, mark):
        with self.lock:
            return list(self.requests[mark:])

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class WrongListener(v.LoopbackServer):
    """Stands in for an HTTP proxy the desktop was once given: records any connection and its
    first line, and answers 502 so that a browser sent here gives up at once."""

    def __init__(self):
        self.connections = []
        self.start()

    def accepted(self, client, peer):
        client.settimeout(2)
        try:
            first = client.recv(200).split(b"\r\n", 1)[0].decode("latin-1")
        except OSError:
            first = ""
        self.connections.append(f"port {peer[1]}: {first!r}")
        try:
            client.sendall(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
        except OSError:
            pass
        client.close()


# Firefox: a fresh profile that follows the desktop's proxy settings (network.proxy.type 5)
# and makes no connection of its own: no telemetry, updates, captive-portal or connectivity
# checks, safe browsing, Normandy, remote settings, push, DNS over HTTPS or prefetching.
FIREFOX_PREFS = {
    "network.proxy.type": 5,
    # Firefox never sends localhost and 127.0.0.1 to a proxy unless this is set; the page is
    # on loopback, so without it the page would load directly.
    "network.proxy.allow_hijacking_localhost": True,
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.page": 0,
    "browser.startup.homepage_override.mstone": "ignore",
    "browser.aboutwelcome.enabled": False,
    "app.update.enabled": False,
    "app.update.auto": False,
    "app.normandy.enabled": False,
    "app.normandy.api_url": "",
    "app.shield.optoutstudies.enabled": False,
    "toolkit.telemetry.enabled": False,
    "toolkit.telemetry.unified": False,
    "toolkit.telemetry.server": "",
    "datareporting.healthreport.uploadEnabled": False,
    "datareporting.policy.dataSubmissionEnabled": False,
    "datareporting.usage.uploadEnabled": False,
    "browser.ping-centre.telemetry": False,
    "browser.newtabpage.activity-stream.feeds.telemetry": False,
    "browser.newtabpage.activity-stream.telemetry": False,
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    "browser.safebrowsing.malware.enabled": False,
    "browser.safebrowsing.phishing.enabled": False,
    "browser.safebrowsing.downloads.enabled": False,
    "browser.safebrowsing.downloads.remote.enabled": False,
    "browser.safebrowsing.blockedURIs.enabled": False,
    "browser.safebrowsing.provider.google4.updateURL": "",
    "browser.safebrowsing.provider.google.updateURL": "",
    "browser.safebrowsing.provider.mozilla.updateURL": "",
    # Remote settings honour this dummy server (no remote activity at all) only together with
    # MOZ_DISABLE_NONLOCAL_CONNECTIONS=1 in the environment, which the browser gets too.
    "services.settings.server": "data:,#remote-settings-dummy/v1",
    "dom.push.enabled": False,
    "dom.push.connection.enabled": False,
    "dom.push.serverURL": "",
    "network.trr.mode": 5,
    "network.dns.disablePrefetch": True,
    "network.prefetch-next": False,
    "network.predictor.enabled": False,
    "extensions.update.enabled": False,
    "extensions.getAddons.cache.enabled": False,
    "extensions.systemAddon.update.enabled": False,
    "extensions.blocklist.enabled": False,
    "geo.enabled": False,
    "media.gmp-manager.url": "",
    "browser.region.network.url": "",
    "browser.search.geoip.url": "",
    "security.OCSP.enabled": 0,
}


def firefox_user_js(prefs):
    return "".join(f"user_pref({json.dumps(name)}, {json.dumps(value)});\n" for name, value in prefs.items())


def chromium_args(profile, page_origin, url):
    """Headless Chromium that follows the desktop's proxy settings (its default on GNOME) and
    makes no connection of its own beyond the page: background networking, component updates,
    sync and network time are off; the component updater and the sign-in service, which still
    ask once at start-up, are pointed at the page server, and host names never resolve."""
    args = ["chromium", "--headless", "--disable-gpu", f"--user-data-dir={profile}",
            "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
            "--disable-component-update", "--disable-sync", "--disable-default-apps",
            "--disable-domain-reliability", "--disable-breakpad", "--no-pings", "--metrics-recording-only",
            "--disable-features=NetworkTimeServiceQuerying,OptimizationHints,MediaRouter,Translate",
            f"--component-updater=url-source={page_origin}/component-updater/",
            f"--gaia-url={page_origin}",
            "--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1",
            "--dump-dom", url]
    if os.geteuid() == 0:
        args.insert(2, "--no-sandbox")  # Chromium's sandbox refuses to run as root
    return args


# Requests the page server may see besides the page itself: the browsers' icon request and
# the two Chromium start-up requests pointed at it above.
BACKGROUND_PATHS = ("/favicon.ico", "/ListAccounts?", "/component-updater/")


def run_browser(name, args, env, log_dir, cwd):
    """Runs a browser in a process group of its own; returns (exit code, output), the code None
    when it did not finish in time. The whole group is ended afterwards, so no helper process
    outlives the run."""
    out_path = os.path.join(log_dir, f"{name}.out")
    err_path = os.path.join(log_dir, f"{name}.log")
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        child = subprocess.Popen(args, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                 start_new_session=True)
        try:
            code = child.wait(timeout=BROWSER_TIMEOUT)
        except subprocess.TimeoutExpired:
            code = None
        finally:
            for sig in (signal.SIGTERM, signal.SIGKILL):
                try:
                    os.killpg(child.pid, sig)
                except ProcessLookupError:
                    break
                time.sleep(0.3)
            if child.poll() is None:
                child.wait(timeout=5)
    if code is None:
        v.log(f"{name} did not finish within {BROWSER_TIMEOUT} s (see {err_path})")
    with open(out_path, encoding="utf-8", errors="replace") as handle:
        return code, handle.read()


def chromium_runner(name, base, env, logs, background_origin):
    """A run_it for load_page: headless Chromium with its profile in base, its start-up
    requests sent to background_origin; the page is shown when its DOM holds the marker."""
    def chromium(url):
        code, out = run_browser(name, chromium_args(os.path.join(base, "chromium"), background_origin, url),
                                env, logs, base)
        return code, PageServer.MARKER in out
    return chromium


def firefox_runner(name, base, env, logs):
    """A run_it for load_page: headless Firefox ESR, a profile in base in system-proxy mode;
    the page is shown when Firefox took its screenshot."""
    def firefox(url):
        profile = os.path.join(base, "firefox-profile")
        os.makedirs(profile, exist_ok=True)
        with open(os.path.join(profile, "user.js"), "w", encoding="utf-8") as handle:
            handle.write(firefox_user_js(FIREFOX_PREFS))
        shot = os.path.join(logs, f"{name}-page.png")
        if os.path.exists(shot):
            os.remove(shot)
        code, _ = run_browser(name, ["firefox-esr", "--headless", "--no-remote", "--profile", profile,
                                     "--screenshot", shot, url], env, logs, base)
        return code, os.path.exists(shot)
    return firefox


class World:
    """This check's loopback world: the logging proxy, the page server, the wrong listener
    and a stand-in service whose proxy list holds only the logging proxy."""

    def __init__(self, base, build_run, logs):
        self.base = base
        self.build_run = build_run
        os.makedirs(os.path.join(base, "logs"), exist_ok=True)
        self.page = PageServer(os.path.join(logs, "page-server.log"))
        self.wrong = WrongListener()
        self.offered = self.make_proxies(logs)
        self.group = v.ProcessGroup(os.path.join(base, "logs"))
        self.service_url = None

    def make_proxies(self, logs):
        """The proxies the service offers, as (proxy, country code, type, speed in ms)."""
        self.proxy = v.SocksProxy(os.path.join(logs, "socks-proxy.log"))
        return [(self.proxy, "DE", 1, 900)]

    def start_service(self):
        catalogue = os.path.join(self.build_run, "countries.nbx")
        with open(os.path.join(self.base, "proxies.txt"), "w", encoding="latin-1", newline="") as handle:
            for proxy, country, kind, speed in self.offered:
                country = country_index(catalogue, country)
                handle.write(f"{proxy.address}\t{proxy.port}\t{country}\t{kind}\t5\t{speed}\r\n")
        port_file = os.path.join(self.base, "service.port")
        self.group.start("service", [os.path.join(self.build_run, "velmora-service"), "--port", "0",
                                     "--port-file", port_file, "--proxies", os.path.join(self.base, "proxies.txt"),
                                     "--country", "DE"], dict(os.environ))
        port = v.wait_for(lambda: read_text(port_file), 10, "velmora-service to write its port")
        self.service_url = f"http://127.0.0.1:{int(port)}"
        # world.env as scripts/demo-world writes it, so its "workdir" command can prepare the
        # program's working folders; the test page is the service's own.
        with open(os.path.join(self.base, "world.env"), "w", encoding="utf-8") as handle:
            handle.write(f"VELMORA_SERVICE_URL={self.service_url}\n"
                         f"WORLD_TEST_URL={self.service_url}/page/test.html\n")

    def stop(self):
        self.group.stop_all()
        for proxy, *_ in self.offered:
            proxy.stop()
        self.page.stop()
        self.wrong.stop()


def prepare_workdir(args, world, workdir):
    """The program's working folder as scripts/demo-world makes it, for this world's service;
    returns the program's environment (program.env)."""
    subprocess.run([args.demo_world, "workdir", workdir, world.base], check=True, timeout=60,
                   env=dict(os.environ, VELMORA_BUILD_DIR=os.path.dirname(args.build_run)))
    return v.read_env_file(os.path.join(workdir, "program.env"))


def read_text(path):
    """The stripped contents of a file, or None while it does not exist."""
    try:
        with open(path, encoding="utf-8") as handle:
            return handle.read().strip()
    except FileNotFoundError:
        return None


def country_index(catalogue, code):
    with open(catalogue, encoding="latin-1") as handle:
        for index, line in enumerate(handle):
            if line.split("\t", 1)[0] == code:
                return index
    return -1


def browser_env(app_env, home):
    """The program's environment (same GSettings keyfile, XDG_CURRENT_DESKTOP=GNOME) without
    Qt's variables; MOZ_DISABLE_NONLOCAL_CONNECTIONS=1 makes Firefox refuse any connection to
    a non-loopback address and lets it honour the dummy remote-settings server."""
    env = {key: value for key, value in app_env.items() if not key.startswith("QT_")}
    env["HOME"] = home
    env["MOZ_DISABLE_NONLOCAL_CONNECTIONS"] = "1"
    return env


def load_page(proxies, page, browser, run_it, url):
    """One browser load: run_it(url) returns (exit code, page shown). Once the proxies have
    closed the browser's last relays, every request that went through them has been logged by
    them and by the page server: returns (code, shown, each proxy's new log entries, the page
    server's new requests)."""
    marks, page_mark = [proxy.mark() for proxy in proxies], page.mark()
    code, shown = run_it(url)
    for proxy in proxies:
        v.wait_for(proxy.idle, 15, "the proxy to close the browser's connections")
    entries = [proxy.since(mark) for proxy, mark in zip(proxies, marks)]
    requests = page.since(page_mark)
    for proxy, logged in zip(proxies, entries):
        for entry in logged:
            v.log(f"{browser}: log of the proxy on port {proxy.port}: {json.dumps(entry, sort_keys=True)}")
    for request in requests:
        v.log(f"{browser}: page server: {request['method']} {request['path']} from port {request['client']}")
    return code, shown, entries, requests


def check_browser(checks, world, scenario, browser, run_it):
    """Runs one browser on a page of its own and checks what the wrong listener, the proxy's
    log and the page server saw; run_it(url) returns (exit code, page shown)."""
    wrong_mark = len(world.wrong.connections)
    path = f"/check/{scenario}/{browser}"
    code, shown, (entries,), requests = load_page([world.proxy], world.page, browser, run_it,
                                                  world.page.origin + path)
    checks.equal(world.wrong.connections[wrong_mark:], [],
                 f"{scenario}: {browser}: the old HTTP/HTTPS proxy got no connection")
    page_target = ("127.0.0.1", world.page.port)
    strays = [e for e in entries
              if e["event"] != "unused" and (e["event"] != "connect" or (e["host"], e["port"]) != page_target)]
    checks.equal(strays, [], f"{scenario}: {browser}: the proxy got requests for the page server only")
    check_page_requests(checks, requests, entries, path, f"{scenario}: {browser}")
    checks.equal(code, 0, f"{scenario}: {browser} exits with 0")
    checks.ok(shown, f"{scenario}: {browser} shows the page")
    versions = sorted({e["version"] for e in entries})
    v.log(f"{browser} spoke SOCKS {', '.join(versions)} to the applied proxy")
    return versions


def check_page_requests(checks, requests, entries, path, what):
    """The page server answered GET path, every request it saw came through a connection the
    proxy (whose log entries are given) opened, and nothing but the page and a browser's
    background requests reached it."""
    checks.ok(any(r["path"] == path and r["method"] == "GET" for r in requests),
              f"{what}: the page server answered GET {path}")
    via = {e["via"] for e in entries if e["event"] == "connect"}
    checks.equal([r for r in requests if r["client"] not in via], [],
                 f"{what}: every request the page server saw came through the applied SOCKS proxy")
    unexpected = [r for r in requests if r["path"] != path and not r["path"].startswith(BACKGROUND_PATHS)]
    checks.equal(unexpected, [], f"{what}: no other request reached the page server")


def get_proxies(app):
    """Get Proxy and its speed test; the rows of the proxy table afterwards."""
    app.wait_main_window(30)
    app.press_button("Get Proxy")
    v.wait_for(lambda: app.find_message(FINISHED), 60, "the end of the speed test")
    app.answer_message(FINISHED, "OK")
    return v.wait_for(lambda: app.table_rows(), 10, "rows in the proxy table")


def hide_ip(app):
    """Hide IP on the selected row; a message box instead of the Restore IP face fails the check."""
    app.press_button("Hide IP")

    def hidden():
        if app.button("Restore IP") is not None:
            return True
        texts = app.message_texts()
        if texts:
            raise v.DriverError(f"Hide IP showed a message instead: {texts}")
        return False
    v.wait_for(hidden, 20, "the button to offer Restore IP")


def check_relay_named(checks, app, proxies, what):
    """GNOME's settings name the program's relay on 127.0.0.1 (mode 'manual'), not one of the
    proxies; returns the relay's port."""
    host, port = app.gsettings(f"{SCHEMA}.socks", "host"), app.gsettings(f"{SCHEMA}.socks", "port")
    checks.equal((app.gsettings(SCHEMA, "mode"), host), ("'manual'", "'127.0.0.1'"),
                 f"{what}: Hide IP sets mode 'manual' and a SOCKS proxy on 127.0.0.1")
    checks.ok(port.isdigit() and int(port) not in [proxy.port for proxy in proxies] and
              v.accepts_connections(int(port)), f"{what}: the SOCKS port is the relay's ({port}), which listens, "
                                                 "not the proxy's")
    return int(port)


def restore_ip(app):
    app.press_button("Restore IP")
    v.wait_for(lambda: app.button("Hide IP"), 20, "the button to offer Hide IP again")


def hide_ip_on_the_logging_proxy(app, world, checks, name):
    """Get Proxy (the service offers only the logging proxy), then Hide IP on it."""
    rows = get_proxies(app)
    checks.equal([(row["IP"], row["Port"]) for row in rows], [("127.0.0.1", str(world.proxy.port))],
                 f"{name}: the table holds the logging proxy")
    app.select_row(0)
    hide_ip(app)


def scenario(session, world, args, name, preset, checks, report):
    base = os.path.join(args.work, name)
    workdir = os.path.join(base, "work")
    logs = os.path.join(args.logs, name)
    os.makedirs(logs, exist_ok=True)
    program_env = prepare_workdir(args, world, workdir)
    # GIO's GNOME proxy resolver, and the browsers' GSettings readers, are used only on GNOME.
    program_env["XDG_CURRENT_DESKTOP"] = "GNOME"
    app = v.App(session, os.path.join(args.build_run, "velmora"), workdir, program_env, logs)
    try:
        v.log(f"--- {name}")
        preset(app)
        before = app.system_proxy_listing()
        for line in before:
            v.log(f"before: {line}")

        app.start()
        app.wait_application()
        hide_ip_on_the_logging_proxy(app, world, checks, name)
        check_relay_named(checks, app, [world.proxy], name)
        get = lambda schema, key: app.gsettings(schema, key)  # noqa: E731
        checks.equal([get(f"{SCHEMA}.{sub}", "host") for sub in ("http", "https", "ftp")] +
                     [get(SCHEMA, "use-same-proxy")], ["''"] * 3 + ["false"],
                     f"{name}: no HTTP, HTTPS or FTP host (nor use-same-proxy) is left to take precedence")
        ignore = get(SCHEMA, "ignore-hosts")
        checks.ok(all(host in ignore for host in LOOPBACK_BYPASS),
                  f"{name}: loopback stays direct while applied (ignore-hosts {ignore})")

        # Loopback bypasses the proxy while it is applied, and both browsers never proxy
        # loopback on their own. To send the loopback page through the applied proxy, this
        # check replaces the bypass list after Hide IP: "<-loopback>" is Chromium's bypass
        # rule that removes its implicit loopback bypass (Chromium turns ignore-hosts into
        # bypass rules); Firefox's profile sets network.proxy.allow_hijacking_localhost.
        # Restore IP must still give back the configuration from before Hide IP.
        app.set_gsettings(SCHEMA, "ignore-hosts", "['<-loopback>']")

        home = os.path.join(base, "browser-home")
        os.makedirs(home, exist_ok=True)
        env = browser_env(app.env, home)

        chromium = chromium_runner(f"{name}-chromium", base, env, logs, world.page.origin)
        firefox = firefox_runner(f"{name}-firefox", base, env, logs)
        report[f"{name}: chromium"] = check_browser(checks, world, name, "chromium", chromium)
        report[f"{name}: firefox-esr"] = check_browser(checks, world, name, "firefox-esr", firefox)

        restore_ip(app)
        after = app.system_proxy_listing()
        changed = sorted(set(before) ^ set(after))
        checks.equal(changed, [], f"{name}: after Restore IP every key equals its value before Hide IP")
        checks.equal(world.wrong.connections, [], f"{name}: the wrong listener got no connection")
    finally:
        app.kill()


def clean_state(app):
    """A desktop that never had a proxy: no keyfile yet."""
    config = app.env["XDG_CONFIG_HOME"]
    shutil.rmtree(os.path.join(config, "glib-2.0"), ignore_errors=True)


def old_http_proxy(port):
    """A desktop whose user once set HTTP and HTTPS proxies and went back to "None"."""
    def preset(app):
        clean_state(app)
        for sub in ("http", "https"):
            app.set_gsettings(f"{SCHEMA}.{sub}", "host", "'127.0.0.1'")
            app.set_gsettings(f"{SCHEMA}.{sub}", "port", str(port))
        app.set_gsettings(SCHEMA, "mode", "'none'")
    return preset


def run_check(name, tools, run_scenarios, world_class=World):
    """Parses the common options, starts the loopback world (world_class) and an X session, runs
    run_scenarios(session, world, args, checks, report) and prints the verdict; the exit code."""
    # An outer timeout sends SIGTERM: end through the finally blocks so nothing is left running.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(124))
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-run", required=True, help="the build's run folder (velmora, velmora-service)")
    parser.add_argument("--demo-world", required=True, help="scripts/demo-world")
    parser.add_argument("--work", required=True, help="an empty folder for this check")
    parser.add_argument("--logs", required=True)
    args = parser.parse_args()
    for key in ("build_run", "demo_world", "work", "logs"):
        setattr(args, key, os.path.abspath(getattr(args, key)))
    for tool in tools:
        if shutil.which(tool) is None:
            print(f"{name}: {tool} is missing (see scripts/packages-test.txt)", file=sys.stderr)
            return 1
    os.makedirs(args.logs, exist_ok=True)
    os.makedirs(args.work, exist_ok=True)
    shots = os.path.join(args.logs, "screenshots")
    os.makedirs(shots, exist_ok=True)

    started = time.monotonic()
    world = world_class(os.path.join(args.work, "world"), args.build_run, args.logs)
    session = v.XSession(args.logs)
    checks = None
    report = {}
    try:
        world.start_service()
        session.start()
        checks = Checks(session, shots)
        run_scenarios(session, world, args, checks, report)
    except (v.DriverError, AssertionError, subprocess.SubprocessError, OSError) as error:
        if checks:
            checks.shot("failure")
        print(f"{name}: FAIL: {error}", file=sys.stderr)
        print(f"{name}: logs in {args.logs}", file=sys.stderr)
        return 1
    finally:
        session.stop()
        world.stop()
    for what, versions in report.items():
        print(f"{name}: {what} spoke SOCKS {', '.join(versions)}")
    print(f"{name}: PASS: {checks.count} checks in {time.monotonic() - started:.1f} s")
    return 0


def main():
    def scenarios(session, world, args, checks, report):
        scenario(session, world, args, "clean", clean_state, checks, report)
        scenario(session, world, args, "old-http-proxy", old_http_proxy(world.wrong.port), checks, report)

    return run_check("browser check", ("chromium", "firefox-esr", "gsettings"), scenarios)


if __name__ == "__main__":
    sys.exit(main())
