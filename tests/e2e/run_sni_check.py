#!/usr/bin/python3
"""The tray menu on a StatusNotifier host: the real program under Xvfb with the StatusNotifier
watcher from Debian's haskell-status-notifier-item-utils and a host registered by this check.

Qt then exports the tray icon as a StatusNotifierItem and its menu over D-Bus
(com.canonical.dbusmenu), which is what such hosts (KDE Plasma, GNOME's AppIndicator extension,
waybar) draw. The check drives that menu the way a host does: with the window hidden it clicks
"Setting", reads the menu while the Setting dialog is open ("Setting" greyed, nothing else) and
clicks "Open", which must show the window. Expects a running loopback world and a working folder
made by scripts/demo-world, like run_e2e.py; started by scripts/e2e.
"""

import argparse
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmora_e2e as v  # noqa: E402
from run_e2e import MENU_ITEMS, Checks  # noqa: E402

from gi.repository import GLib  # noqa: E402

WATCHER = ("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")
MENU = "com.canonical.dbusmenu"


class SniMenu:
    """The program's tray menu as a StatusNotifier host sees it."""

    def __init__(self, session):
        self.session = session
        self.service = None
        self.path = None

    def find(self):
        items = self.session.sni_call(*WATCHER, "org.freedesktop.DBus.Properties", "Get",
                                      GLib.Variant("(ss)", ("org.kde.StatusNotifierWatcher",
                                                            "RegisteredStatusNotifierItems")))
        if not items or not items[0]:
            return False
        # "service/path" or a bare service name, whose item lives at /StatusNotifierItem.
        service, _, path = items[0][0].partition("/")
        path = "/" + path if path else "/StatusNotifierItem"
        menu = self.session.sni_call(service, path, "org.freedesktop.DBus.Properties", "Get",
                                     GLib.Variant("(ss)", ("org.kde.StatusNotifierItem", "Menu")))
        if not menu:
            return False
        self.service, self.path = service, menu[0]
        return True

    def items(self):
        """Label -> (id, enabled) of the top-level entries, after telling the program that the
        menu is about to show (which is when it greys its entries)."""
        self.session.sni_call(self.service, self.path, MENU, "AboutToShow", GLib.Variant("(i)", (0,)))
        layout = self.session.sni_call(self.service, self.path, MENU, "GetLayout",
                                       GLib.Variant("(iias)", (0, 1, [])))
        entries = {}
        for child in layout[1][2]:
            ident, props, _ = child
            label = props.get("label", "").replace("&", "").replace("_", "")
            if label:
                entries[label] = (ident, props.get("enabled", True))
        return entries

    def click(self, label):
        ident = self.items()[label][0]
        self.session.sni_call(self.service, self.path, MENU, "Event",
                              GLib.Variant("(isvu)", (ident, "clicked", GLib.Variant("i", 0), 0)))


def scenario(app, checks, menu):
    app.start()
    app.wait_main_window(30)
    v.wait_for(menu.find, 15, "the tray icon to register with the StatusNotifier watcher")
    checks.ok(True, "the tray icon is a StatusNotifierItem with a D-Bus menu")
    entries = menu.items()
    checks.equal(list(entries), list(MENU_ITEMS), "the exported menu holds the tray menu's entries")
    checks.equal([entries[item][1] for item in MENU_ITEMS], [True] * len(MENU_ITEMS), "every entry starts enabled")

    app.press_key_in_main_window("Escape")
    v.wait_for(lambda: not app.main_window_visible(), 10, "Escape to hide the window to the tray")
    menu.click("Setting")
    settings = v.wait_for(lambda: app.dialog("Setting"), 10, "the menu's Setting to open the Setting dialog")
    entries = menu.items()
    checks.equal([entries[item][1] for item in MENU_ITEMS], [item != "Setting" for item in MENU_ITEMS],
                 "while the Setting dialog is open only Setting is greyed")
    checks.shot("sni-setting-open")
    menu.click("Open")
    v.wait_for(app.main_window_visible, 10, "the menu's Open to show the window")
    checks.ok(app.dialog("Setting") is not None, "Open works while the Setting dialog is open")
    app.press(app.find(settings, lambda x: x.getRoleName() == "push button" and x.name == "Cancel"))
    v.wait_for(lambda: app.dialog("Setting") is None, 10, "the Setting dialog to close")
    v.wait_for(lambda: menu.items()["Setting"][1], 10, "Setting to be enabled again")
    checks.ok(True, "Setting is enabled again once the dialog has closed")


def main():
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(124))
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--workdir", required=True)
    parser.add_argument("--logs", required=True)
    args = parser.parse_args()
    os.makedirs(args.logs, exist_ok=True)
    shots = os.path.join(args.logs, "screenshots")
    os.makedirs(shots, exist_ok=True)
    program_env = v.read_env_file(os.path.join(args.workdir, "program.env"))

    started = time.monotonic()
    session = v.XSession(args.logs, tray="sni")
    app = None
    checks = None
    try:
        session.start()
        checks = Checks(session, shots)
        app = v.App(session, args.program, args.workdir, program_env, args.logs)
        scenario(app, checks, SniMenu(session))
    except (v.DriverError, AssertionError, KeyError, TypeError) as error:
        if checks:
            checks.shot("failure")
        print(f"sni check: FAIL: {error!r}", file=sys.stderr)
        print(f"sni check: logs and screenshots in {args.logs}", file=sys.stderr)
        return 1
    finally:
        if app is not None:
            app.kill()
        session.stop()
    print(f"sni check: PASS: {checks.count} checks in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
