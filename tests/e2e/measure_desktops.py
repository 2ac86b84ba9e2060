#!/usr/bin/python3
"""Which browsers follow Hide IP on which desktop: the measurements behind the README's table.

For each value of XDG_CURRENT_DESKTOP the desktop-choice maps, the real program runs under Xvfb
with that value and a fresh GSettings keyfile (and, for KDE, kioslaverc in the same ~/.config);
Hide IP is pressed on the logging proxy of run_browser_check. Then headless Chromium and Firefox
ESR (in system-proxy mode) load a loopback page each with the same desktop variables; a browser
follows when the proxy relayed its page request. Restore IP ends each desktop's run. Where Hide
IP refuses, GNOME's settings are written by hand as Hide IP writes them, to see what the browsers
would do. VELMORA_MEASURE_DESKTOPS="X-Cinnamon MATE" measures only those values.
With --no-gnome-schemas the program and the browsers see an empty compiled schema folder, as on
a KDE Plasma without GNOME's schemas.

Run it in a network namespace of its own (libproxy, which GIO uses outside GNOME, may look for
a proxy script on the network): loopback, plus a veth pair that leads nowhere so that the
program sees a network connection, as the WebRTC check of scripts/e2e does:

    unshare --net --fork --kill-child -- sh -c 'ip link set lo up &&
        ip link add v0 type veth peer name v1 && ip addr add 192.0.2.1/24 dev v0 &&
        ip link set v1 up && ip link set v0 up && ip route add default dev v0 &&
        exec tests/e2e/measure_desktops.py --build-run build/run --demo-world scripts/demo-world \
        --work /tmp/measure --logs /tmp/measure-logs'

Prints one line per desktop; every wait is bounded.
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmora_e2e as v  # noqa: E402
import run_browser_check as browsers  # noqa: E402
import run_kde_check  # noqa: E402

DESKTOPS = ["GNOME", "KDE", "X-Cinnamon", "MATE", "Budgie:GNOME", "Pantheon", "Unity", "XFCE", "LXQt"]
# VELMORA_MEASURE_DESKTOPS="X-Cinnamon MATE" measures only those.


def measure(session, world, args, desktop, schemas_dir):
    name = desktop.replace(":", "-").lower() + ("-noschemas" if schemas_dir else "")
    workdir = os.path.join(args.work, name, "work")
    logs = os.path.join(args.logs, name)
    os.makedirs(logs, exist_ok=True)
    subprocess.run([args.demo_world, "workdir", workdir, world.base], check=True, timeout=60,
                   env=dict(os.environ, VELMORA_BUILD_DIR=os.path.dirname(args.build_run)))
    env = v.read_env_file(os.path.join(workdir, "program.env"))
    env["XDG_CURRENT_DESKTOP"] = desktop
    env["XDG_CONFIG_HOME"] = os.path.join(env["HOME"], ".config")
    if desktop == "KDE":
        env["KDE_SESSION_VERSION"] = "5"
    if schemas_dir:
        env["GSETTINGS_SCHEMA_DIR"] = schemas_dir
        env["XDG_DATA_DIRS"] = schemas_dir
    app = v.App(session, os.path.join(args.build_run, "velmora"), workdir, env, logs)
    result = {"desktop": desktop + (" without GNOME's schemas" if schemas_dir else "")}
    try:
        app.start()
        app.wait_application()
        applied = True
        try:
            browsers.hide_ip_on_the_logging_proxy(app, world, Silent(), name)
        except v.DriverError as error:
            result["hide ip"] = f"no Fake IP: {error}"
            applied = False
            for text in app.message_texts():
                app.answer_message(text, "OK")
            if schemas_dir:
                return result
            # What the browsers would do: GNOME's settings as Hide IP writes them, by hand.
            for schema, key, value in ((f"{browsers.SCHEMA}.socks", "host", "'127.0.0.1'"),
                                       (f"{browsers.SCHEMA}.socks", "port", str(world.proxy.port)),
                                       (browsers.SCHEMA, "mode", "'manual'")):
                app.set_gsettings(schema, key, value)
        if applied:
            result["hide ip"] = "Fake IP"
        try:
            for text in v.wait_for(app.message_texts, 3, "a notice after Hide IP"):
                result["notice"] = text
                app.answer_message(text, "OK")
        except v.DriverError:
            pass  # no notice
        # Loopback is kept direct by Hide IP; send the page through the proxy (see run_kde_check).
        kioslaverc = os.path.join(env["XDG_CONFIG_HOME"], "kioslaverc")
        if os.path.exists(kioslaverc):
            run_kde_check.replace_line(kioslaverc, "NoProxyFor", "NoProxyFor=<-loopback>")
        if not schemas_dir:
            subprocess.run(["gsettings", "set", browsers.SCHEMA, "ignore-hosts", "['<-loopback>']"],
                           env=app.env, check=False, timeout=30)
        home = env["HOME"]
        benv = browsers.browser_env(app.env, home)
        base = os.path.join(args.work, name)
        for browser in ("chromium", "firefox-esr"):
            mark = world.proxy.mark()
            url = f"{world.page.origin}/measure/{name}/{browser}"
            if browser == "chromium":
                cmd = browsers.chromium_args(os.path.join(base, "chromium"), world.page.origin, url)
            else:
                profile = os.path.join(base, "firefox-profile")
                os.makedirs(profile, exist_ok=True)
                with open(os.path.join(profile, "user.js"), "w", encoding="utf-8") as handle:
                    handle.write(browsers.firefox_user_js(browsers.FIREFOX_PREFS))
                cmd = ["firefox-esr", "--headless", "--no-remote", "--profile", profile, "--screenshot",
                       os.path.join(logs, "firefox.png"), url]
            browsers.run_browser(f"{name}-{browser}", cmd, benv, logs, base)
            v.wait_for(world.proxy.idle, 15, "the proxy to close the browser's connections")
            relayed = [e for e in world.proxy.since(mark)
                       if e["event"] == "connect" and e["port"] == world.page.port]
            result[browser] = ("follows" if relayed else "goes around") + ("" if applied else
                                                                            " GNOME's settings set by hand")
        if applied:
            app.press_button("Restore IP")
            v.wait_for(lambda: app.button("Hide IP"), 20, "the button to offer Hide IP again")
    finally:
        app.kill()
    return result


class Silent:
    """Checks that only log: the measurement records, it does not judge."""
    count = 0

    def equal(self, *args):
        pass

    def ok(self, *args):
        pass


def main():
    no_schemas = "--no-gnome-schemas" in sys.argv
    if no_schemas:
        sys.argv.remove("--no-gnome-schemas")
    chosen = os.environ.get("VELMORA_MEASURE_DESKTOPS", "").split()

    def run_all(session, world, args, checks, report):
        schemas_dir = None
        if no_schemas:
            schemas_dir = os.path.join(args.work, "empty-schemas")
            os.makedirs(schemas_dir, exist_ok=True)
            subprocess.run(["glib-compile-schemas", schemas_dir], check=True, timeout=30)
        for desktop in (["KDE"] if no_schemas else chosen or DESKTOPS):
            result = measure(session, world, args, desktop, schemas_dir)
            print("measure: " + "; ".join(f"{k}: {val}" for k, val in result.items()), flush=True)

    return browsers.run_check("desktop measurement", ("chromium", "firefox-esr", "gsettings"), run_all)


if __name__ == "__main__":
    sys.exit(main())
