#!/usr/bin/python3
"""Hide IP on KDE Plasma: the real program writes kioslaverc and GNOME's proxy settings,
Debian's Chromium follows kioslaverc, Firefox ESR in its system-proxy mode follows GNOME's
settings (it never reads kioslaverc), and Restore IP gives kioslaverc back byte for byte and
`gsettings list-recursively org.gnome.system.proxy` line for line.

The real program runs under Xvfb (velmora_e2e.XSession, which has its own D-Bus session bus)
with XDG_CURRENT_DESKTOP=KDE and KDE_SESSION_VERSION=5, so it picks its KDE store, and with
XDG_CONFIG_HOME=$HOME/.config as in a KDE session: KIO reads kioslaverc from XDG_CONFIG_HOME,
Chromium from ~/.config whatever XDG_CONFIG_HOME says. The starting kioslaverc has other groups,
a no-proxy entry of the user's and an HTTP proxy left over with ProxyType=0 that points at a
"wrong" listener, which must get no connection; GNOME's settings (a GSettings keyfile in the
same ~/.config) start with HTTP and HTTPS hosts left over at that listener under mode 'none'.

The world is run_browser_check's: a stand-in service offering one proxy, a SOCKS proxy of this
script that logs every request, and a loopback page server. After Get Proxy and Hide IP on that
row, the check reads kioslaverc, watches the bus for KIO's reload signal, and has headless
Chromium and headless Firefox ESR (same HOME, same desktop variables) load a loopback page each;
the proxy's log must show the requests and every request the page server saw must have come
through the proxy. After Restore IP, both stores must equal their start.

Chromium never sends loopback to a proxy on its own, and the program keeps loopback direct. To
send the loopback page through the applied proxy, this check replaces NoProxyFor in kioslaverc
with "<-loopback>" after Hide IP (Chromium's rule that removes its implicit loopback bypass), and
GNOME's ignore-hosts with ['<-loopback>'] for Firefox, whose profile lets loopback be proxied;
Restore IP must still give back the start of both.

Everything stays on 127.0.0.1 and every wait is bounded. Started by scripts/e2e.
"""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmora_e2e as v  # noqa: E402
import run_browser_check as browsers  # noqa: E402

RELOAD_SIGNAL = "member=reparseSlaveConfiguration"


def starting_kioslaverc(wrong_port):
    """A user's kioslaverc: KDE's own groups around the proxy group, with a leftover HTTP proxy."""
    return ("[$Version]\nupdate_info=kio_settings.upd:change-proxy-type\n\n"
            "[Cookie Policy]\nCookieGlobalAdvice=Accept\n\n"
            "[Proxy Settings]\nAuthMode=0\nNoProxyFor=intranet.example\nProxyType=0\n"
            f"httpProxy=http://127.0.0.1 {wrong_port}\nhttpsProxy=http://127.0.0.1 {wrong_port}\n\n"
            "[UserAgent]\nSendUserAgent=true\n")


def proxy_settings(path):
    """The [Proxy Settings] keys of kioslaverc as a dictionary."""
    values, inside = {}, False
    with open(path, encoding="utf-8") as handle:
        for line in handle:
            line = line.strip()
            if line.startswith("["):
                inside = line.startswith("[Proxy Settings]")
            elif inside and "=" in line:
                key, value = line.split("=", 1)
                values[key.strip()] = value.strip()
    return values


def replace_line(path, key, line):
    with open(path, encoding="utf-8") as handle:
        text = handle.read()
    text = re.sub(rf"^{re.escape(key)}=.*$", line, text, count=1, flags=re.M)
    with open(path, "w", encoding="utf-8") as handle:
        handle.write(text)


def kde_desktop(program_env):
    """Makes the program's environment a KDE Plasma session's (see the module's docstring);
    returns the path of its kioslaverc."""
    program_env["XDG_CURRENT_DESKTOP"] = "KDE"
    program_env["KDE_SESSION_VERSION"] = "5"
    program_env["XDG_CONFIG_HOME"] = os.path.join(program_env["HOME"], ".config")
    os.makedirs(program_env["XDG_CONFIG_HOME"], exist_ok=True)
    return os.path.join(program_env["XDG_CONFIG_HOME"], "kioslaverc")


def scenario(session, world, args, checks, report):
    workdir = os.path.join(args.work, "kde", "work")
    logs = os.path.join(args.logs, "kde")
    os.makedirs(logs, exist_ok=True)
    program_env = browsers.prepare_workdir(args, world, workdir)
    kioslaverc = kde_desktop(program_env)
    start = starting_kioslaverc(world.wrong.port)
    with open(kioslaverc, "w", encoding="utf-8") as handle:
        handle.write(start)

    app = v.App(session, os.path.join(args.build_run, "velmora"), workdir, program_env, logs)
    monitor = v.ProcessGroup(logs)
    monitor_log = os.path.join(logs, "dbus-monitor.log")
    try:
        v.log("--- kde")
        browsers.old_http_proxy(world.wrong.port)(app)
        gnome_start = app.system_proxy_listing()
        for line in gnome_start:
            v.log(f"kde: GNOME's settings before: {line}")
        monitor.start("dbus-monitor", ["dbus-monitor", "--session",
                                       "type='signal',interface='org.kde.KIO.Scheduler'"], session.env)
        app.start()
        app.wait_application()
        browsers.hide_ip_on_the_logging_proxy(app, world, checks, "kde")
        relay = browsers.check_relay_named(checks, app, [world.proxy], "kde: GNOME's settings")
        applied = proxy_settings(kioslaverc)
        v.log(f"kde: [Proxy Settings] while applied: {applied}")
        checks.equal(applied.get("ProxyType"), "1", "kde: Hide IP sets ProxyType=1 (manual)")
        checks.equal(applied.get("socksProxy"), f"socks://127.0.0.1 {relay}",
                     "kde: Hide IP sets the relay as the SOCKS proxy")
        checks.equal([applied.get(key) for key in ("httpProxy", "httpsProxy", "ftpProxy")], [""] * 3,
                     "kde: no HTTP, HTTPS or FTP proxy is left to take precedence")
        checks.equal(applied.get("NoProxyFor"), "intranet.example,localhost,127.0.0.0/8,::1",
                     "kde: loopback stays direct while applied, beside the user's own entry")
        v.wait_for(lambda: RELOAD_SIGNAL in open(monitor_log, encoding="utf-8", errors="replace").read(), 10,
                   "KIO's reload signal on the session bus")
        checks.ok(True, "kde: KIO's reload signal (org.kde.KIO.Scheduler.reparseSlaveConfiguration) was sent")

        get = lambda schema, key: app.gsettings(schema, key)  # noqa: E731
        schema = browsers.SCHEMA
        checks.equal([get(f"{schema}.{sub}", "host") for sub in ("http", "https", "ftp")], ["''"] * 3,
                     "kde: no HTTP, HTTPS or FTP host is left in GNOME's settings to take precedence")

        # The loopback page must go through the proxy: see the module's docstring.
        replace_line(kioslaverc, "NoProxyFor", "NoProxyFor=<-loopback>")
        app.set_gsettings(schema, "ignore-hosts", "['<-loopback>']")

        home = program_env["HOME"]
        env = browsers.browser_env(app.env, home)
        env["XDG_CURRENT_DESKTOP"] = "KDE"
        env["KDE_SESSION_VERSION"] = "5"
        base = os.path.join(args.work, "kde")

        chromium = browsers.chromium_runner("kde-chromium", base, env, logs, world.page.origin)
        firefox = browsers.firefox_runner("kde-firefox", base, env, logs)
        report["kde: chromium"] = browsers.check_browser(checks, world, "kde", "chromium", chromium)
        report["kde: firefox-esr"] = browsers.check_browser(checks, world, "kde", "firefox-esr", firefox)

        browsers.restore_ip(app)
        with open(kioslaverc, encoding="utf-8") as handle:
            after = handle.read()
        checks.equal(after, start, "kde: after Restore IP kioslaverc equals its starting content byte for byte")
        checks.equal(app.system_proxy_listing(), gnome_start,
                     "kde: after Restore IP every key of GNOME's settings equals its value before Hide IP")
        checks.equal(world.wrong.connections, [], "kde: the leftover HTTP proxy got no connection")
    finally:
        app.kill()
        monitor.stop_all()


def main():
    return browsers.run_check("kde check", ("chromium", "firefox-esr", "dbus-monitor", "gsettings"), scenario)


if __name__ == "__main__":
    sys.exit(main())
