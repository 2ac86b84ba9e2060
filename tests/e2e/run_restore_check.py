#!/usr/bin/python3
"""Restore IP that always restores, and a window that follows the desktop.

The real program under Xvfb (velmora_e2e.XSession) on a GSettings keyfile desktop whose user
has a manual HTTP proxy (a loopback listener that must get no connection) and a bypass list of
their own, ignore-hosts=['*.corp.example','10.0.0.0/8']. The world is run_browser_check's: a
stand-in service offering one SOCKS proxy of this script.

- restore: Hide IP, Restore IP; `gsettings list-recursively` of the proxy schemas equals the
  start line for line and no saved configuration (desktop-proxy.ini) is left. Then, with the
  window hidden to the tray, a second `velmora` ends within 2 s with status 0, the first
  window shows, and only one program is on the accessibility bus. Then Hide IP again and
  `gsettings set org.gnome.system.proxy mode none`: within 2 s the window shows Real IP again
  and says the desktop's setting was changed outside Velmora.
- offline: Hide IP, the namespace's only network interface set down (the program then sees no
  connection), Restore IP; the same listing and no saved file.
- firefox: a Firefox ESR profile (made by a headless run of the real Firefox ESR) whose user.js
  sets network.proxy.type 0, and the program's setting asking Firefox to follow the desktop:
  the Setting dialog's Firefox box is disabled with a tooltip naming user.js, and neither
  start-up nor Hide IP changes prefs.js.

Runs inside a network namespace of its own (scripts/e2e starts it with unshare): loopback and a
veth pair that leads nowhere (v0, v1), whose one end is set down and up again here; the script
refuses to run where any other interface exists. Everything stays on 127.0.0.1, every wait is bounded.
The figures (how long each step took) are printed at the end.
"""

import os
import shutil
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmora_e2e as v  # noqa: E402
from run_browser_check import (FIREFOX_PREFS, firefox_user_js, hide_ip_on_the_logging_proxy,  # noqa: E402
                               run_browser, run_check)

SCHEMA = "org.gnome.system.proxy"
USER_BYPASS = "['*.corp.example', '10.0.0.0/8']"
OUTSIDE_MESSAGE = "The desktop's proxy setting was changed outside Velmora, "
VETH, VETH_PEER = "v0", "v1"
REAL_ADDRESS = "127.0.0.2"
SECOND_START_LIMIT = 2.0
DESKTOP_CHANGE_LIMIT = 2.0


def ip(*args):
    tool = shutil.which("ip") or "/usr/sbin/ip"
    return v.run([tool, *args], check=True)


def in_own_network_namespace():
    """True when this network namespace holds only loopback and the veth pair VETH/VETH_PEER,
    as the one scripts/e2e makes: setting VETH down then cuts off nothing of the machine's."""
    names = {line.split(":")[1].strip().split("@")[0] for line in ip("-o", "link", "show").splitlines()}
    return names == {"lo", VETH, VETH_PEER}


def connected_interfaces():
    """Interfaces the program counts as a connection: up, not loopback, with an IPv4 address."""
    out = ip("-o", "-4", "addr", "show", "up")
    return sorted({line.split()[1] for line in out.splitlines() if line.split()[1] != "lo"})


class CallerRelay(v.LoopbackServer):
    """A loopback relay to the service whose connections come from 127.0.0.2, so that the
    service's start answer gives the program 127.0.0.2 as its real address: one the applied
    proxy (on 127.0.0.1) is not, so the window's Real IP face can be told from its Fake IP."""

    def __init__(self, service_url):
        self.target_port = int(service_url.rsplit(":", 1)[1])
        self.start()
        self.url = f"http://127.0.0.1:{self.port}"

    def accepted(self, client, peer):
        threading.Thread(target=self._relay, args=(client,), daemon=True).start()

    def _relay(self, client):
        upstream = socket.socket()
        try:
            upstream.settimeout(5)
            upstream.bind((REAL_ADDRESS, 0))
            upstream.connect(("127.0.0.1", self.target_port))
        except OSError:
            upstream.close()
            client.close()
            return
        v.relay_sockets(client, upstream)


def users_desktop(app, http_port):
    """A keyfile desktop with the user's manual HTTP proxy and bypass list."""
    shutil.rmtree(os.path.join(app.env["XDG_CONFIG_HOME"], "glib-2.0"), ignore_errors=True)
    app.set_gsettings(f"{SCHEMA}.http", "host", "'127.0.0.1'")
    app.set_gsettings(f"{SCHEMA}.http", "port", str(http_port))
    app.set_gsettings(SCHEMA, "ignore-hosts", USER_BYPASS)
    app.set_gsettings(SCHEMA, "mode", "'manual'")


def saved_files(program_env):
    """The saved desktop configuration wherever the program could have written it."""
    places = [os.path.join(program_env["XDG_STATE_HOME"], "velmora", "desktop-proxy.ini"),
              os.path.join(program_env["HOME"], ".local", "state", "velmora", "desktop-proxy.ini")]
    return [path for path in places if os.path.exists(path)]


def prepare(session, world, args, name, setting_lines=None):
    """A working folder of its own (scripts/demo-world workdir) and the program in it, not started."""
    workdir = os.path.join(args.work, name, "work")
    logs = os.path.join(args.logs, name)
    os.makedirs(logs, exist_ok=True)
    subprocess.run([args.demo_world, "workdir", workdir, world.base], check=True, timeout=60,
                   env=dict(os.environ, VELMORA_BUILD_DIR=os.path.dirname(args.build_run)))
    if setting_lines:
        path = os.path.join(workdir, "setting.nbx")
        with open(path, encoding="latin-1", newline="") as handle:
            text = handle.read()
        for old, new in setting_lines.items():
            text = text.replace(old, new)
        with open(path, "w", encoding="latin-1", newline="") as handle:
            handle.write(text)
    program_env = v.read_env_file(os.path.join(workdir, "program.env"))
    program_env["XDG_CURRENT_DESKTOP"] = "GNOME"
    program_env["VELMORA_SERVICE_URL"] = world.caller_relay.url
    return v.App(session, os.path.join(args.build_run, "velmora"), workdir, program_env, logs), program_env


def timed(what, figures, action):
    started = time.monotonic()
    result = action()
    figures[what] = time.monotonic() - started
    return result


def restore_and_compare(app, program_env, checks, name, before, figures):
    def restore():
        app.press_button("Restore IP")
        v.wait_for(lambda: app.button("Hide IP") or restore_refused(app), 20, "the button to offer Hide IP again",
                   0.05)
    timed(f"{name}: Restore IP, from the pointer's move to the button to the Hide IP face", figures, restore)
    checks.equal(app.message_texts(), [], f"{name}: Restore IP shows no message")
    after = app.system_proxy_listing()
    differ = [f"before: {line}" for line in before if line not in after] + [
        f"after: {line}" for line in after if line not in before]
    checks.ok(after == before, f"{name}: after Restore IP the listing of the proxy schemas equals the start line "
                               f"for line ({len(after)} lines; differing: {differ})")
    checks.equal(saved_files(program_env), [], f"{name}: no saved configuration is left")


def restore_refused(app):
    texts = app.message_texts()
    if texts:
        raise v.DriverError(f"Restore IP showed a message: {texts}")
    return False


def hide(app, world, checks, name, program_env, first):
    """Hide IP on the logging proxy (Get Proxy first when first); returns the listing while applied."""
    if first:
        hide_ip_on_the_logging_proxy(app, world, checks, name)
    else:
        app.select_row(0)
        app.press_button("Hide IP")
        v.wait_for(lambda: app.button("Restore IP"), 20, "the button to offer Restore IP")
    checks.equal(app.gsettings(SCHEMA, "mode"), "'manual'", f"{name}: Hide IP applied the proxy")
    relay_port = int(app.gsettings(f"{SCHEMA}.socks", "port"))
    checks.ok(relay_port != world.proxy.port and v.accepts_connections(relay_port),
              f"{name}: the SOCKS port is the program's relay, which listens")
    checks.ok(len(saved_files(program_env)) == 1, f"{name}: the user's configuration is saved while applied")


def application_count(app):
    """Programs on the accessibility bus whose process runs the program under test."""
    desktop = app.atspi.Registry.getDesktop(0)
    binary = os.path.realpath(app.binary)
    count = 0
    for index in range(desktop.childCount):
        candidate = desktop.getChildAtIndex(index)
        try:
            if candidate is not None and os.path.realpath(f"/proc/{candidate.get_process_id()}/exe") == binary:
                count += 1
        except Exception:  # an application that ended while it was listed
            pass
    return count


def second_start(app, checks, figures):
    """A second velmora while the first runs with its window in the tray."""
    app.press_key_in_main_window("Escape")
    v.wait_for(lambda: not app.main_window_visible(), 10, "Escape to hide the window")
    out = open(os.path.join(app.log_dir, "velmora-second.log"), "wb")
    started = time.monotonic()
    second = subprocess.Popen([app.binary], cwd=app.workdir, env=app.env, stdin=subprocess.DEVNULL, stdout=out,
                              stderr=subprocess.STDOUT, start_new_session=True)
    out.close()
    try:
        code = second.wait(timeout=10)
    except subprocess.TimeoutExpired:
        second.kill()
        second.wait(timeout=5)
        raise v.DriverError("the second velmora did not end within 10 s")
    figures["second start: start to exit"] = ended = time.monotonic() - started
    checks.equal(code, 0, "the second velmora exits with status 0")
    checks.ok(ended <= SECOND_START_LIMIT, f"the second velmora ends within 2 s ({ended:.2f} s)")
    v.wait_for(app.main_window_visible, 5, "the first window to show", 0.05)
    figures["second start: start to the first window shown"] = time.monotonic() - started
    checks.ok(app.alive(), "the first program still runs")
    checks.equal(application_count(app), 1, "one program is on the accessibility bus")


def desktop_changed_elsewhere(app, checks, real, figures):
    """The desktop's mode set to none with gsettings while the proxy is shown as applied."""
    checks.ok(app.address_text("Current IP:") != real, "Current IP shows the proxy while applied")
    app.set_gsettings(SCHEMA, "mode", "'none'")
    started = time.monotonic()
    v.wait_for(lambda: app.button("Hide IP") and app.address_text("Current IP:") == real, 10,
               "the window to show Real IP again", 0.05)
    figures["desktop mode none: gsettings to the Real IP face"] = seen = time.monotonic() - started
    checks.ok(seen <= DESKTOP_CHANGE_LIMIT, f"the window shows Real IP within 2 s ({seen:.2f} s)")
    v.wait_for(lambda: app.find_message(OUTSIDE_MESSAGE), 5, "the message about the change")
    figures["desktop mode none: gsettings to the message"] = time.monotonic() - started
    checks.ok(True, "the window says the desktop's proxy setting was changed outside Velmora")
    app.answer_message(OUTSIDE_MESSAGE, "OK")
    checks.equal(app.gsettings(SCHEMA, "mode"), "'none'", "the user's change stands")
    checks.equal(saved_files(app.env), [], "the saved configuration is settled (dropped)")
    time.sleep(1.5)  # a second poll must not say it again
    checks.equal(app.message_texts(), [], "the message is shown once")


def restore_scenario(session, world, args, checks, figures):
    name = "restore"
    app, program_env = prepare(session, world, args, name)
    try:
        v.log(f"--- {name}")
        users_desktop(app, world.wrong.port)
        before = app.system_proxy_listing()
        for line in before:
            v.log(f"{name}: before: {line}")
        app.start()
        app.wait_application()
        app.wait_main_window(30)
        real = v.wait_for(lambda: app.address_text("Real IP:"), 10, "the Real IP")
        checks.equal(real, REAL_ADDRESS, f"{name}: Real IP is the address the service saw")
        timed(f"{name}: Get Proxy and Hide IP", figures,
              lambda: hide(app, world, checks, name, program_env, True))
        restore_and_compare(app, program_env, checks, name, before, figures)
        checks.equal(app.address_text("Current IP:"), real, f"{name}: Current IP is the real address again")

        second_start(app, checks, figures)

        hide(app, world, checks, "desktop change", program_env, False)
        desktop_changed_elsewhere(app, checks, real, figures)
        checks.equal(world.wrong.connections, [], "the user's HTTP proxy got no connection")
    finally:
        app.kill()


def offline_scenario(session, world, args, checks, figures):
    name = "offline"
    app, program_env = prepare(session, world, args, name)
    try:
        v.log(f"--- {name}")
        users_desktop(app, world.wrong.port)
        before = app.system_proxy_listing()
        app.start()
        app.wait_application()
        hide(app, world, checks, name, program_env, True)
        ip("link", "set", VETH, "down")
        checks.equal(connected_interfaces(), [], f"{name}: no interface is connected ({VETH} set down)")
        restore_and_compare(app, program_env, checks, name, before, figures)
        checks.equal(world.wrong.connections, [], f"{name}: the user's HTTP proxy got no connection")
    finally:
        app.kill()
        ip("link", "set", VETH, "up")


def firefox_profile(home, logs, cwd):
    """A profile the real Firefox ESR has run once, with a user.js that sets the proxy type to
    0 (direct), listed as the default in profiles.ini; returns its folder."""
    root = os.path.join(home, ".mozilla", "firefox")
    profile = os.path.join(root, "check.default-esr")
    os.makedirs(profile, exist_ok=True)
    with open(os.path.join(profile, "user.js"), "w", encoding="utf-8") as handle:
        handle.write(firefox_user_js(dict(FIREFOX_PREFS, **{"network.proxy.type": 0})))
    env = {key: value for key, value in os.environ.items() if not key.startswith("QT_")}
    env.update(HOME=home, MOZ_DISABLE_NONLOCAL_CONNECTIONS="1")
    code, _ = run_browser("firefox-first-run", ["firefox-esr", "--headless", "--no-remote", "--profile", profile,
                                                "--screenshot", os.path.join(logs, "firefox-first-run.png"),
                                                "about:blank"], env, logs, cwd)
    if code != 0:
        raise v.DriverError(f"Firefox ESR's first run ended with {code}")
    with open(os.path.join(root, "profiles.ini"), "w", encoding="utf-8") as handle:
        handle.write("[Profile0]\nName=default-esr\nIsRelative=1\nPath=check.default-esr\nDefault=1\n\n"
                     "[General]\nStartWithLastProfile=1\nVersion=2\n")
    return profile


def firefox_scenario(session, world, args, checks, figures):
    name = "firefox"
    # The user asked for Firefox to follow the desktop (the Firefox box was ticked).
    app, program_env = prepare(session, world, args, name, {"Firefox\t0\r\n": "Firefox\t1\r\n"})
    try:
        v.log(f"--- {name}")
        shutil.rmtree(os.path.join(app.env["XDG_CONFIG_HOME"], "glib-2.0"), ignore_errors=True)
        profile = timed("firefox: Firefox ESR's first run", figures,
                        lambda: firefox_profile(program_env["HOME"], app.log_dir, os.path.join(args.work, name)))
        prefs = os.path.join(profile, "prefs.js")
        with open(prefs, "rb") as handle:
            prefs_before = handle.read()
        checks.ok(b'user_pref("network.proxy.type", 0);' in prefs_before,
                  f"{name}: Firefox saved user.js's proxy type in prefs.js")

        app.start()
        app.wait_application()
        app.wait_main_window(30)
        app.press_button("Setting")
        dialog = v.wait_for(lambda: app.dialog("Setting"), 10, "the Setting dialog")
        box = v.wait_for(lambda: app.find(dialog, lambda x: x.name == "FireFox(>3.6)" and
                                          x.getRoleName() == "check box"), 10, "the Firefox box")
        tip = box.description or ""
        v.log(f"{name}: the Firefox box's tooltip: {tip!r}")
        checks.ok(not app.sensitive(box), f"{name}: the Firefox box is disabled")
        checks.ok(not box.getState().contains(app.atspi.STATE_CHECKED),
                  f"{name}: the Firefox box does not claim that Firefox follows")
        checks.ok("user.js" in tip, f"{name}: the box's tooltip names user.js")
        app.press(app.find(dialog, lambda x: x.getRoleName() == "push button" and x.name == "Cancel"))
        v.wait_for(lambda: app.dialog("Setting") is None, 10, "the Setting dialog to close")

        hide(app, world, checks, name, program_env, True)
        with open(prefs, "rb") as handle:
            checks.ok(handle.read() == prefs_before, f"{name}: start-up and Hide IP left prefs.js as it was")
        checks.ok(not os.path.exists(prefs + ".bkp"), f"{name}: no prefs.js.bkp was written")
        app.press_button("Restore IP")
        v.wait_for(lambda: app.button("Hide IP"), 20, "the button to offer Hide IP again")
    finally:
        app.kill()


def main():
    if not in_own_network_namespace():
        print(f"restore check: run it in a network namespace holding only lo, {VETH} and {VETH_PEER} "
              f"(see scripts/e2e); it sets {VETH} down", file=sys.stderr)
        return 1

    def scenarios(session, world, args, checks, report):
        figures = {}
        world.caller_relay = CallerRelay(world.service_url)
        try:
            restore_scenario(session, world, args, checks, figures)
            offline_scenario(session, world, args, checks, figures)
            firefox_scenario(session, world, args, checks, figures)
        finally:
            world.caller_relay.stop()
            for what, seconds in figures.items():
                print(f"restore check: {what}: {seconds:.2f} s")

    return run_check("restore check", ("firefox-esr", "gsettings"), scenarios)


if __name__ == "__main__":
    sys.exit(main())
