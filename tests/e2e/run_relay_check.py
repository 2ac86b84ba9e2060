#!/usr/bin/python3
"""Hide IP through the program's local relay, with real browsers that send host names to it.

Three fixture proxies of this script (velmora_e2e.SocksProxy), each on a loopback address of its
own and logging every request: one that speaks SOCKS4/4a only (a SOCKS5 greeting is closed),
one SOCKS5 only (a version-4 request is closed), one both. They map the names page.velmora.test
and other.velmora.test to this script's loopback page server themselves, relay to loopback
addresses (the program's own proxy test) and refuse everything else: nothing is ever looked up.
A stand-in service offers all three; the program's speed test rates them and sets their type.

- GNOME (GSettings keyfile, XDG_CURRENT_DESKTOP=GNOME): for each fixture in turn, Hide IP on
  its row; the desktop's settings must name the relay on 127.0.0.1 and Current IP the proxy.
  Headless Chromium and headless Firefox ESR load http://page.velmora.test:<port>/... by
  name: Chromium sends the name to the relay by SOCKS5, Firefox by SOCKS4a. The fixture's log
  must show the name arriving (by SOCKS5, or SOCKS4a at the SOCKS4-only one), no other
  fixture may get a request, and every request the page server saw must have come through a
  connection the fixture opened. Restore IP must give the settings back line for line.
- KDE Plasma (kioslaverc and GNOME's settings, as run_kde_check.py): the same with Chromium,
  which follows kioslaverc; kioslaverc must come back byte for byte.
- Failover (GNOME): Hide IP on the SOCKS4/5 fixture, then its listener is closed. Within 30 s
  a Chromium load (repeated, bounded) goes through one of the others, the relay status line
  says "The proxy in <Country> stopped answering; now through the proxy in <Country>" and
  Current IP shows the new proxy's address.

Runs inside a network namespace of its own (scripts/e2e starts it with unshare): loopback, and a
veth pair that leads nowhere so that the program sees a connection, with no route beyond it; a
name a browser tried to look up itself would fail there instead of reaching a resolver. Every
wait is bounded; the browsers' own start-up requests go to a loopback sink.
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmora_e2e as v  # noqa: E402
import run_browser_check as browsers  # noqa: E402
import run_kde_check as kde  # noqa: E402
from run_e2e import country_names  # noqa: E402

PAGE_NAME = "page.velmora.test"
OTHER_NAME = "other.velmora.test"
STATUS_TEXT = "stopped answering; now through"
FAILOVER_LIMIT = 30
# The fixtures: name, loopback address, SOCKS versions, country, type and speed in the service's list.
FIXTURES = (("socks4", "127.0.0.11", ("4",), "JP", 1, 900),
            ("socks5", "127.0.0.12", ("5",), "SE", 2, 700),
            ("socks4-5", "127.0.0.13", ("4", "5"), "FR", 3, 500))
TYPE_TEXTS = {("4",): "Socks4", ("5",): "Socks5", ("4", "5"): "Socks4/5"}
FAILING = "socks4-5"


class RelayWorld(browsers.World):
    """run_browser_check's world with the three fixtures as the service's proxies, and a sink
    for the browsers' start-up requests, which go direct (loopback is never proxied)."""

    def make_proxies(self, logs):
        names = {name: ("127.0.0.1", self.page.port) for name in (PAGE_NAME, OTHER_NAME)}
        self.fixtures = {}
        offered = []
        for name, address, versions, country, kind, speed in FIXTURES:
            proxy = v.SocksProxy(os.path.join(logs, f"fixture-{name}.log"), address, versions, names)
            self.fixtures[name] = proxy
            offered.append((proxy, country, kind, speed))
        self.background = browsers.WrongListener()
        return offered

    def stop(self):
        super().stop()
        self.background.stop()


def name_version(proxy):
    """How the relay hands a host name to this proxy: SOCKS5 where it speaks it, else SOCKS4a."""
    return "5" if "5" in proxy.versions else "4a"


def page_name_requests(entries):
    return [e for e in entries if e["event"] == "connect" and e["name"] and e["host"] == PAGE_NAME]


def row_of(app, proxy):
    rows = app.table_rows()
    for index, row in enumerate(rows):
        if (row["IP"], row["Port"]) == (proxy.address, str(proxy.port)):
            return index
    raise v.DriverError(f"no row for {proxy.address}:{proxy.port} in {rows}")


def relay_status(app):
    """The relay status line's text once it tells of a move, else None."""
    window = app.main_window()
    label = window and app.find(window, lambda x: x.getRoleName() == "label" and STATUS_TEXT in (x.name or ""))
    return label.name if label else None


class Desktop:
    """One program run on one desktop family, with what the browsers need to follow it."""

    def __init__(self, session, world, args, name):
        self.world = world
        self.name = name
        self.base = os.path.join(args.work, name)
        self.workdir = os.path.join(self.base, "work")
        self.logs = os.path.join(args.logs, name)
        os.makedirs(self.logs, exist_ok=True)
        program_env = browsers.prepare_workdir(args, world, self.workdir)
        self.kioslaverc = None
        if name == "kde":
            self.kioslaverc = kde.kde_desktop(program_env)
            self.kioslaverc_start = kde.starting_kioslaverc(world.wrong.port)
            with open(self.kioslaverc, "w", encoding="utf-8") as handle:
                handle.write(self.kioslaverc_start)
        else:
            program_env["XDG_CURRENT_DESKTOP"] = "GNOME"
        self.app = v.App(session, os.path.join(args.build_run, "velmora"), self.workdir, program_env, self.logs)
        browsers.clean_state(self.app)
        self.gnome_start = self.app.system_proxy_listing()
        # On KDE Chromium reads ~/.config/kioslaverc: the program's home.
        home = program_env["HOME"] if self.kioslaverc else os.path.join(self.base, "browser-home")
        os.makedirs(home, exist_ok=True)
        self.env = browsers.browser_env(self.app.env, home)

    def chromium(self, label):
        return browsers.chromium_runner(f"{label}-chromium", self.base, self.env, self.logs,
                                        f"http://127.0.0.1:{self.world.background.port}")

    def firefox(self, label):
        return browsers.firefox_runner(f"{label}-firefox", self.base, self.env, self.logs)

    def relay_port(self, checks, what):
        """Checks that the desktop names the relay on 127.0.0.1, none of the proxies; its port."""
        port = browsers.check_relay_named(checks, self.app, self.world.fixtures.values(), what)
        if self.kioslaverc:
            checks.equal(kde.proxy_settings(self.kioslaverc).get("socksProxy"), f"socks://127.0.0.1 {port}",
                         f"{what}: kioslaverc names the relay")
        return port

    def check_restored(self, checks, what):
        changed = sorted(set(self.app.system_proxy_listing()) ^ set(self.gnome_start))
        checks.equal(changed, [], f"{what}: after Restore IP every key of GNOME's settings equals its value before")
        if self.kioslaverc:
            with open(self.kioslaverc, encoding="utf-8") as handle:
                now = handle.read()
            checks.ok(now == self.kioslaverc_start, f"{what}: after Restore IP kioslaverc equals its start byte for "
                                                    f"byte (now {now!r})")


def load_by_name(desktop, what, browser, run_it):
    """One load of a page of its own by name; (code, shown, each fixture's log entries, the page
    server's requests, the page's path)."""
    world = desktop.world
    path = f"/check/{what.replace(': ', '/')}/{browser}"
    url = f"http://{PAGE_NAME}:{world.page.port}{path}"
    code, shown, entries, requests = browsers.load_page(list(world.fixtures.values()), world.page,
                                                        f"{what}: {browser}", run_it, url)
    return code, shown, dict(zip(world.fixtures, entries)), requests, path


def check_table(app, world, checks, what):
    """Get Proxy with the speed test: every fixture in the table, with the type it speaks."""
    rows = browsers.get_proxies(app)
    found = {(row["IP"], row["Port"]): row["Type"] for row in rows}
    checks.equal({name: found.get((proxy.address, str(proxy.port))) for name, proxy in world.fixtures.items()},
                 {name: TYPE_TEXTS[proxy.versions] for name, proxy in world.fixtures.items()},
                 f"{what}: the speed test keeps every fixture with the type it speaks")


def through_each_fixture(desktop, checks, report, browser_names):
    app, world = desktop.app, desktop.world
    for name, proxy in world.fixtures.items():
        what = f"{desktop.name}: {name}"
        app.select_row(row_of(app, proxy))
        browsers.hide_ip(app)
        checks.equal(app.address_text("Current IP:"), proxy.address, f"{what}: Current IP shows the proxy")
        desktop.relay_port(checks, what)
        for browser in browser_names:
            run_it = getattr(desktop, browser)(f"{desktop.name}-{name}")
            code, shown, entries, requests, path = load_by_name(desktop, what, browser, run_it)
            checks.equal((code, shown), (0, True), f"{what}: {browser} exits with 0 and shows the page")
            arrived = page_name_requests(entries[name])
            versions = sorted({e["version"] for e in arrived})
            checks.ok(arrived and versions == [name_version(proxy)],
                      f"{what}: {browser}: the name {PAGE_NAME} arrived at the proxy by SOCKS "
                      f"{name_version(proxy)} (got {versions})")
            strays = [e for e in entries[name] if e["event"] != "unused" and e not in arrived]
            checks.equal(strays, [], f"{what}: {browser}: the proxy got no other request")
            others = {other: [e for e in logged if e["event"] != "unused"]
                      for other, logged in entries.items() if other != name}
            checks.equal(others, {other: [] for other in others}, f"{what}: {browser}: no other proxy got a request")
            browsers.check_page_requests(checks, requests, entries[name], path, f"{what}: {browser}")
            report[f"{what}: {browser}"] = f"name by SOCKS {', '.join(versions)}"
        browsers.restore_ip(app)
        desktop.check_restored(checks, what)


def failover(desktop, checks, report):
    """Hide IP on the SOCKS4/5 fixture, close its listener: a later load goes through another."""
    app, world = desktop.app, desktop.world
    first = world.fixtures[FAILING]
    what = f"{desktop.name}: failover"
    app.select_row(row_of(app, first))
    browsers.hide_ip(app)
    checks.equal(app.address_text("Current IP:"), first.address, f"{what}: Current IP shows the first proxy")
    desktop.relay_port(checks, what)
    first.stop()
    started = time.monotonic()
    for attempt in range(1, 100):
        code, shown, entries, requests, path = load_by_name(desktop, f"{what}: {attempt}", "chromium",
                                                            desktop.chromium(f"failover-{attempt}"))
        carriers = [name for name, logged in entries.items() if name != FAILING and page_name_requests(logged)]
        if shown or time.monotonic() - started > FAILOVER_LIMIT:
            break
    elapsed = time.monotonic() - started
    v.log(f"{what}: {attempt} load(s) in {elapsed:.1f} s, through {carriers}")
    checks.ok(shown and elapsed <= FAILOVER_LIMIT and len(carriers) == 1,
              f"{what}: within {FAILOVER_LIMIT} s a load by name went through one other proxy "
              f"({attempt} load(s), {elapsed:.1f} s, through {carriers})")
    second = world.fixtures[carriers[0]]
    browsers.check_page_requests(checks, requests, entries[carriers[0]], path, f"{what}: chromium")
    countries = country_names(desktop.workdir, world.base)
    expected = (f"The proxy in {countries[first.port]} stopped answering; "
                f"now through the proxy in {countries[second.port]}")
    text = v.wait_for(lambda: relay_status(app), 10, "the relay status line to tell of the move")
    checks.equal(text, expected, f"{what}: the window tells of the move")
    checks.equal(app.address_text("Current IP:"), second.address, f"{what}: Current IP shows the new proxy")
    report[what] = f"through {carriers[0]} after {attempt} load(s), {elapsed:.1f} s"
    browsers.restore_ip(app)
    desktop.check_restored(checks, what)


def scenarios(session, world, args, checks, report):
    # KDE first: the failover at the end of the GNOME run closes one fixture for good.
    for name, browser_names in (("kde", ("chromium",)), ("gnome", ("chromium", "firefox"))):
        v.log(f"--- {name}")
        desktop = Desktop(session, world, args, name)
        try:
            desktop.app.start()
            desktop.app.wait_application()
            desktop.app.wait_main_window(30)
            check_table(desktop.app, world, checks, name)
            through_each_fixture(desktop, checks, report, browser_names)
            if name == "gnome":
                failover(desktop, checks, report)
        finally:
            desktop.app.kill()
    checks.equal(world.wrong.connections, [], "the leftover HTTP proxy in kioslaverc got no connection")


def main():
    def run(session, world, args, checks, report):
        figures = {}
        try:
            scenarios(session, world, args, checks, figures)
        finally:
            for what, figure in figures.items():
                print(f"relay check: {what}: {figure}")

    return browsers.run_check("relay check", ("chromium", "firefox-esr", "gsettings"), run, RelayWorld)


if __name__ == "__main__":
    sys.exit(main())
