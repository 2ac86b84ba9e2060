#!/usr/bin/python3
"""End-to-end test: the real program under Xvfb with a real tray host, driven from outside.

Expects a running loopback world (scripts/demo-world start WORLD) and a working folder made
by scripts/demo-world workdir. Started by scripts/e2e.

Steps: start-up with the splash; Get Proxy with the speed test; the ranked table without the
blocked and dead proxies; Hide IP on the first row (system proxy settings in the run's own
GSettings keyfile); the tray tool tip; Restore IP; hiding to the tray and back (double click
and the tray menu's Open); Exit with a proxy applied, answering Yes.
"""

import argparse
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmora_e2e as v  # noqa: E402

FINISHED = "The proxy test is finished!"
EXIT_QUESTION = "Your real IP is hidden, do you want to restore it?"
LOCKED_BUTTONS = ("Get Proxy", "Test Speed", "Delete", "Setting")


class Checks:
    def __init__(self, session, shots):
        self.session = session
        self.shots = shots
        self.count = 0
        self.started = time.monotonic()
        self.log_figure = 0.0

    def ok(self, condition, text):
        if not condition:
            raise v.DriverError(f"check failed: {text}")
        self.count += 1
        v.log(f"ok {self.count} - {text}")

    def equal(self, actual, expected, text):
        self.ok(actual == expected, f"{text} (expected {expected!r}, got {actual!r})")

    def shot(self, name):
        path = os.path.join(self.shots, f"{len(os.listdir(self.shots)) + 1:02d}-{name}.png")
        try:
            self.session.screenshot(path)
        except Exception as error:  # a missing screenshot is no test failure
            v.log(f"screenshot {name} failed: {error}")


def read_world(world):
    env = v.read_env_file(os.path.join(world, "world.env"))
    ports = {
        "dante": [int(p) for p in env["WORLD_DANTE_PORTS"].split()],
        "delay": int(env["WORLD_DELAY_PORT"]) if env.get("WORLD_DELAY_PORT") else None,
        "block": int(env["WORLD_BLOCK_PORT"]) if env.get("WORLD_BLOCK_PORT") else None,
        "dead": int(env["WORLD_DEAD_PORT"]),
    }
    return env, ports


def country_names(workdir, world):
    """Port -> country name, from the service's proxy list and the catalogue."""
    with open(os.path.join(workdir, "countries.nbx"), encoding="latin-1") as handle:
        catalogue = [line.rstrip("\r\n").split("\t")[-1] for line in handle]
    names = {}
    with open(os.path.join(world, "proxies.txt"), encoding="latin-1") as handle:
        for line in handle:
            fields = line.rstrip("\r\n").split("\t")
            if len(fields) == 6:
                index = int(fields[2])
                names[int(fields[1])] = catalogue[index] if 0 <= index < len(catalogue) else ""
    return names


def buttons_sensitive(app):
    return {name: app.sensitive(app.button(name)) for name in LOCKED_BUTTONS}


MENU_ITEMS = ("Open", "Setting", "Help", "Official WebSite", "About Velmora...", "Exit")


def check_tray_during(app, checks, what, greyed, then_keys):
    """While a dialog is up: a right click on the tray icon opens the menu, the items in greyed
    (and only those) are greyed, then then_keys pick an item or close the menu."""
    menu = app.open_tray_menu()
    checks.ok(True, f"the tray menu opens while {what} is open")
    states = app.menu_item_states(menu, os.path.join(checks.shots or "/tmp", f"tray-menu-{what.replace(' ', '-')}.png"))
    v.log(f"tray menu while {what} is open: {states}")
    expected = [item not in greyed for item in MENU_ITEMS]
    checks.equal(states, expected, f"greyed while {what} is open: {', '.join(greyed) or 'nothing'}")
    app.session.xdotool("key", "--delay", "80", *then_keys)
    v.wait_for(lambda: menu not in app.visible_windows(), 5, "the tray menu to close")


def scenario(app, checks, ports, names):
    session = app.session

    # Start-up: the splash shows while the (held back) start request is answered.
    app.start()
    app.wait_application()

    def splash():
        for window in app.top_levels():
            if (app.showing(window) and window.getRoleName() not in ("alert", "tool tip")
                    and app.find(window, lambda x: x.name == "Get Proxy") is None):
                return window
        return None
    v.wait_for(splash, 15, "the splash window")
    checks.ok(not app.main_window_visible(), "the splash shows before the main window")
    checks.shot("splash")
    app.wait_main_window(30)
    v.wait_for(lambda: splash() is None, 10, "the splash to close")
    checks.ok(True, "the main window replaces the splash")
    checks.equal(app.address_text("Real IP:"), "127.0.0.1", "Real IP shows the address the service saw")
    checks.equal(app.address_text("Current IP:"), "127.0.0.1", "Current IP starts as the real address")
    checks.ok(app.wait_tray_icon() is not None, "the tray icon sits in trayer's panel")
    checks.equal(app.tray_tooltip(), "Tolvane : Real IP", "tray tool tip at start")
    checks.shot("main-window")

    # Get Proxy with the speed test.
    started = time.monotonic()
    app.press_button("Get Proxy")
    v.wait_for(lambda: app.dialog("Testing") or app.find_message(FINISHED), 20, "the test to start")
    checks.shot("testing")
    # The run lasts seconds (the world's slow proxy): the tray stays usable meanwhile.
    checks.ok(app.dialog("Testing") is not None, "the Testing dialog is up")
    check_tray_during(app, checks, "the Testing dialog", ["Setting"], ["Down", "Return"])  # Open
    checks.ok(app.main_window_visible() and app.dialog("Testing") is not None,
              "the tray menu's Open works during the test run")
    v.wait_for(lambda: app.find_message(FINISHED), 60, "the end of the speed test")
    checks.log_figure = time.monotonic() - started
    v.log(f"Get Proxy with the speed test took {checks.log_figure:.1f} s")
    checks.shot("test-finished")
    app.answer_message(FINISHED, "OK")

    rows = v.wait_for(lambda: app.table_rows(), 10, "rows in the proxy table")
    for row in rows:
        v.log("row: " + " | ".join(f"{k}={val}" for k, val in row.items()))
    table_ports = [int(row["Port"]) for row in rows]
    expected = set(ports["dante"]) | ({ports["delay"]} if ports["delay"] else set())
    checks.equal(set(table_ports), expected, "the table holds the relaying proxies")
    checks.ok(ports["dead"] not in table_ports, "the dead port was dropped")
    if ports["block"]:
        checks.ok(ports["block"] not in table_ports, "the block-page proxy was dropped")
    checks.ok(all(row["IP"] == "127.0.0.1" for row in rows), "every row is a loopback proxy")
    scores = [int(row["Speed"]) for row in rows]
    checks.equal(scores, sorted(scores, reverse=True), "rows are ranked fastest first")
    if ports["delay"]:
        checks.equal(table_ports[-1], ports["delay"], "the slow proxy ranks last")
    for row in rows:
        port = int(row["Port"])
        checks.equal(row["Country"], names.get(port, ""), f"country of port {port}")
        if port in ports["dante"]:
            checks.equal(row["Uptime"], "5/5", f"dante on {port} answered every fetch")
            checks.equal(row["Type"], "Socks4/5", f"dante on {port} speaks SOCKS4 and SOCKS5")
    checks.shot("ranked-table")

    # Hide IP on the first (fastest) row.
    first_port = table_ports[0]
    app.select_row(0)
    app.press_button("Hide IP")
    v.wait_for(lambda: app.button("Restore IP"), 10, "the button to offer Restore IP")
    proxy = v.wait_for(lambda: (lambda p: p if p["mode"] == "'manual'" else None)(app.system_proxy()), 10,
                       "the system proxy mode 'manual'")
    checks.equal(proxy["host"], "'127.0.0.1'", "system SOCKS host is the program's relay on loopback")
    checks.ok(proxy["port"] != str(first_port) and v.accepts_connections(int(proxy["port"])),
              "system SOCKS port is the relay's, which listens, not the first row's")
    checks.equal(buttons_sensitive(app), {name: False for name in LOCKED_BUTTONS},
                 "Get Proxy, Test Speed, Delete and Setting are disabled while hidden")
    checks.equal(app.address_text("Current IP:"), "127.0.0.1", "Current IP shows the proxy's address")
    checks.equal(app.tray_tooltip(), f"Tolvane : Fake IP in {names[first_port]}",
                 "tray tool tip names the proxy's country")
    checks.shot("ip-hidden")

    # Restore IP.
    app.press_button("Restore IP")
    v.wait_for(lambda: app.button("Hide IP"), 10, "the button to offer Hide IP again")
    v.wait_for(lambda: app.system_proxy()["mode"] == "'none'", 10, "the system proxy mode 'none'")
    checks.ok(True, "Restore IP sets the system proxy mode back to 'none'")
    checks.equal(buttons_sensitive(app), {name: True for name in LOCKED_BUTTONS}, "the buttons are enabled again")
    checks.equal(app.tray_tooltip(), "Tolvane : Real IP", "tray tool tip after Restore IP")
    checks.shot("ip-restored")

    # Hide to the tray and back: Escape, then a double click on the tray icon.
    app.press_key_in_main_window("Escape")
    v.wait_for(lambda: not app.main_window_visible(), 10, "Escape to hide the window")
    checks.ok(app.alive() and app.tray_icon() is not None, "Escape hides the window; the tray icon stays")
    checks.shot("hidden-to-tray")
    app.tray_double_click()
    v.wait_for(app.main_window_visible, 10, "a double click on the tray icon to show the window")
    checks.ok(True, "a double click on the tray icon shows the window")
    app.press_key_in_main_window("Escape")
    v.wait_for(lambda: not app.main_window_visible(), 10, "Escape to hide the window again")
    app.tray_menu(["Down", "Return"])  # the first item, "Open"
    v.wait_for(app.main_window_visible, 10, "the tray menu's Open to show the window")
    checks.ok(True, "the tray menu's Open shows the window")

    # The Setting dialog, opened from the tray with the window hidden: the tray menu greys
    # "Setting" and its Open shows the window.
    app.press_key_in_main_window("Escape")
    v.wait_for(lambda: not app.main_window_visible(), 10, "Escape to hide the window")
    app.tray_menu(["Down", "Down", "Return"])  # "Setting"
    settings = v.wait_for(lambda: app.dialog("Setting"), 10, "the Setting dialog")
    check_tray_during(app, checks, "the Setting dialog", ["Setting"], ["Down", "Return"])  # Open
    v.wait_for(app.main_window_visible, 10, "the tray menu's Open to show the window")
    checks.ok(app.dialog("Setting") is not None, "the tray menu's Open works while the Setting dialog is open")
    checks.shot("setting-and-window")
    app.press(app.find(settings, lambda x: x.getRoleName() == "push button" and x.name == "Cancel"))
    v.wait_for(lambda: app.dialog("Setting") is None, 10, "the Setting dialog to close")

    # The About box, by F1 from the window: "About Velmora..." greyed, Open works.
    app.press_key_in_main_window("F1")
    about = v.wait_for(lambda: app.dialog("About Velmora"), 10, "F1 to show the About box")
    checks.ok(True, "F1 in the main window shows the About box")
    check_tray_during(app, checks, "the About box", ["About Velmora..."], ["Down", "Return"])  # Open
    checks.ok(app.main_window_visible() and app.dialog("About Velmora") is not None,
              "the tray menu's Open works while the About box is open")
    app.press(app.find(about, lambda x: x.getRoleName() == "push button" and x.name.replace("&", "") == "OK"))
    v.wait_for(lambda: app.dialog("About Velmora") is None, 10, "the About box to close")

    # Exit with a proxy applied, answering Yes: the direct connection comes back.
    app.select_row(0)
    app.press_button("Hide IP")
    v.wait_for(lambda: app.system_proxy()["mode"] == "'manual'", 10, "the system proxy mode 'manual'")
    app.tray_menu(["Up", "Return"])  # the last item, "Exit"
    v.wait_for(lambda: app.find_message(EXIT_QUESTION), 10, "the question on Exit")
    checks.shot("exit-question")
    box = app.find_message(EXIT_QUESTION)
    yes = app.find(box, lambda x: x.getRoleName() == "push button" and x.name.replace("&", "") == "Yes")
    checks.ok(yes is not None, "the question offers Yes")
    app.press(yes)
    code = app.wait_exit(15)
    checks.equal(code, 255, "the process ends with exit code 255 (-1)")
    checks.equal(app.system_proxy()["mode"], "'none'", "answering Yes restored the direct connection")
    checks.ok(app.tray_icon() is None, "the tray icon is gone")


def main():
    # An outer timeout sends SIGTERM: end through the finally blocks so nothing is left running.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(124))
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--world", required=True)
    parser.add_argument("--workdir", required=True)
    parser.add_argument("--logs", required=True)
    parser.add_argument("--splash-delay", type=float, default=2.5,
                        help="seconds the start request is held so the splash can be seen")
    args = parser.parse_args()

    os.makedirs(args.logs, exist_ok=True)
    shots = os.path.join(args.logs, "screenshots")
    os.makedirs(shots, exist_ok=True)
    world_env, ports = read_world(args.world)
    program_env = v.read_env_file(os.path.join(args.workdir, "program.env"))
    service_port = int(world_env["VELMORA_SERVICE_URL"].rsplit(":", 1)[1])
    relay = v.DelayedRelay(service_port, args.splash_delay)
    program_env["VELMORA_SERVICE_URL"] = f"http://127.0.0.1:{relay.port}"

    started = time.monotonic()
    session = v.XSession(args.logs)
    app = None
    checks = None
    try:
        session.start()
        checks = Checks(session, shots)
        app = v.App(session, args.program, args.workdir, program_env, args.logs)
        scenario(app, checks, ports, country_names(args.workdir, args.world))
    except (v.DriverError, AssertionError) as error:
        if checks:
            checks.shot("failure")
        if app is not None and app.process is not None:
            try:
                v.log(f"message boxes showing: {app.message_texts()}")
            except Exception:
                pass
        print(f"e2e: FAIL: {error}", file=sys.stderr)
        print(f"e2e: logs and screenshots in {args.logs}", file=sys.stderr)
        return 1
    finally:
        if app is not None:
            app.kill()
        session.stop()
        relay.stop()
    print(f"e2e: PASS: {checks.count} checks in {time.monotonic() - started:.1f} s "
          f"(Get Proxy with the speed test {checks.log_figure:.1f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
