#!/usr/bin/python3
"""Checks an installed tree (cmake --install with DESTDIR): the launcher prepares the per-user
working folder, replaces a stale copy of the data files by links to the installed ones, and
starts the installed program there, which comes up against the loopback stand-in service.
Then a first start of the user's own service, harvesting the world's loopback proxies: the
launcher counts the working proxies found and starts the program as soon as there is one.
Last a first start without any service, where the launcher starts the user's own one with no
sources and Get Proxy says where to add them.
Started by scripts/e2e."""

import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmora_e2e as v  # noqa: E402


def check(condition, text):
    if not condition:
        raise v.DriverError(f"check failed: {text}")
    v.log(f"ok - {text}")


def own_service_without_sources(session, launcher, args):
    """The first start on a machine without a service: the launcher starts the user's own
    velmora-service; with no dialog program to choose lists, its key file names no source, and
    Get Proxy says so and where sources go instead of "no proxy found"."""
    home = args.home + "-own"
    config = os.path.join(home, "config")
    state = os.path.join(home, "state")
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    env = {"VELMORA_SERVICE_URL": f"http://127.0.0.1:{port}", "HOME": home,
           "XDG_DATA_HOME": os.path.join(home, "data"), "XDG_CONFIG_HOME": config, "XDG_STATE_HOME": state,
           "VELMORA_FIRST_HARVEST_WAIT": "20", "GSETTINGS_BACKEND": "keyfile", "PATH": "/usr/bin:/bin",
           "http_proxy": "", "https_proxy": "", "all_proxy": "", "HTTP_PROXY": "", "HTTPS_PROXY": "", "ALL_PROXY": ""}
    os.makedirs(home, exist_ok=True)
    logs = os.path.join(args.logs, "own-service")
    os.makedirs(logs, exist_ok=True)
    app = v.App(session, launcher, home, env, logs)
    try:
        app.start()
        app.wait_application()
        app.wait_main_window(30)
        conf = os.path.join(config, "velmora", "service.conf")
        check(os.path.isfile(conf), "the launcher started the user's own service and wrote its key file")
        app.press_button("Get Proxy")
        text = "no sources are configured"
        v.wait_for(lambda: app.find_message(text), 20, "Get Proxy's message")
        shown = [t for t in app.message_texts() if text in t]
        check(shown and conf in shown[0], f"Get Proxy says why: {shown[0] if shown else ''}")
        app.answer_message(text, "OK")
        app.tray_menu(["Up", "Return"])  # Exit
        check(app.wait_exit(15) == 255, "the program exits through its tray menu")
    finally:
        app.kill()
        try:
            with open(os.path.join(state, "velmora", "service.pid"), encoding="ascii") as pid:
                os.kill(int(pid.read().strip()), signal.SIGTERM)
        except (OSError, ValueError):
            pass


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def first_harvest_start(launcher, session, home, world, logs):
    """The launcher's first start of the user's service on a free loopback port; the key file
    lists the world's proxies (one that never answers keeps the round going)."""
    config = os.path.join(home, "config-harvest", "velmora")
    os.makedirs(config, exist_ok=True)
    listening = socket.socket()  # accepts, never answers: holds the round for the connect bound
    listening.bind(("127.0.0.1", 0))
    listening.listen(8)
    lines = [f"127.0.0.1:{port}" for port in world["WORLD_DANTE_PORTS"].split()]
    lines.append(f"127.0.0.1:{listening.getsockname()[1]}")
    sources = os.path.join(home, "harvest-sources.txt")
    with open(sources, "w", encoding="ascii") as out:
        out.write("\n".join(lines) + "\n")
    with open(os.path.join(config, "service.conf"), "w", encoding="utf-8") as conf:
        conf.write(f"[service]\nsources={sources}\nallow-private=true\ntimeout=20\nconnect-timeout=15\n"
                   f"test-target={world['WORLD_TEST_URL']}|engine|\n")
    state = os.path.join(home, "state-harvest")
    env = {
        "VELMORA_SERVICE_URL": f"http://127.0.0.1:{free_port()}",
        "HOME": home,
        "XDG_DATA_HOME": os.path.join(home, "data-harvest"),
        "XDG_CONFIG_HOME": os.path.dirname(config),
        "XDG_STATE_HOME": state,
        "GSETTINGS_BACKEND": "keyfile",
        "http_proxy": "", "https_proxy": "", "all_proxy": "", "HTTP_PROXY": "", "HTTPS_PROXY": "", "ALL_PROXY": "",
    }
    harvest_logs = os.path.join(logs, "harvest")
    os.makedirs(harvest_logs, exist_ok=True)
    app = v.App(session, launcher, home, env, harvest_logs)
    started = time.monotonic()
    try:
        app.start()
        app.wait_application()
        app.wait_main_window(30)
        waited = time.monotonic() - started
        with open(os.path.join(harvest_logs, "velmora.log"), encoding="utf-8", errors="replace") as out:
            text = out.read()
        check("Working proxies found so far: " in text, "the first start shows the count of working proxies found")
        counts = [int(line.rsplit(": ", 1)[1]) for line in text.splitlines()
                  if "Working proxies found so far: " in line]
        check(counts and counts[-1] >= 1, f"the program started once a proxy was found (counts {counts})")
        check(waited < 15, f"the program started before the round ended (after {waited:.1f} s; the silent proxy "
                           "holds the round for 15 s)")
        app.wait_tray_icon()
        app.tray_menu(["Up", "Return"])  # Exit
        app.wait_exit(15)
    finally:
        app.kill()
        listening.close()
        try:
            with open(os.path.join(state, "velmora", "service.pid"), encoding="ascii") as pid_file:
                os.kill(int(pid_file.read().strip()), signal.SIGTERM)
        except (OSError, ValueError):
            pass


def main():
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(124))
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", required=True, help="the installed prefix (DESTDIR + prefix)")
    parser.add_argument("--world", required=True)
    parser.add_argument("--home", required=True, help="an empty folder used as HOME")
    parser.add_argument("--logs", required=True)
    args = parser.parse_args()
    os.makedirs(args.logs, exist_ok=True)

    launcher = os.path.join(args.prefix, "bin", "velmora-launcher")
    data = os.path.realpath(os.path.join(args.prefix, "share", "velmora"))
    for path in (launcher, os.path.join(args.prefix, "bin", "velmora"), os.path.join(data, "countries.nbx"),
                 os.path.join(args.prefix, "share", "applications", "velmora.desktop"),
                 os.path.join(args.prefix, "share", "icons", "hicolor", "48x48", "apps", "velmora.png")):
        check(os.path.exists(path), f"installed: {os.path.relpath(path, args.prefix)}")
    unit = os.path.join(args.prefix, "lib", "systemd", "user", "velmora-service.service")
    check(os.path.exists(unit), "installed: the systemd user unit")
    with open(unit, encoding="utf-8") as text:
        unit_lines = text.read().splitlines()
    check(any("velmora-service --config %E/velmora/service.conf" in line for line in unit_lines),
          "the unit runs the user's service")
    for line in ("NoNewPrivileges=yes", "ProtectSystem=strict", "ProtectHome=read-only", "ReadWritePaths=-%S/velmora",
                 "PrivateTmp=yes", "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX"):
        check(line in unit_lines, f"the unit is sandboxed: {line}")
    if shutil.which("systemd-analyze"):
        # Offline, as no user manager runs here; it still wants a runtime folder of its own.
        runtime = os.path.join(args.home, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        analysis = subprocess.run(["systemd-analyze", "security", "--offline=true", "--user", "--threshold=40", unit],
                                  capture_output=True, text=True, timeout=30,
                                  env={"PATH": os.environ.get("PATH", ""), "XDG_RUNTIME_DIR": runtime})
        with open(os.path.join(args.logs, "unit-security.txt"), "w", encoding="utf-8") as report:
            report.write(analysis.stdout + analysis.stderr)
        check(analysis.returncode == 0, "systemd-analyze security rates the unit's exposure at most 4.0")
    usage = subprocess.run([launcher, "--help"], capture_output=True, text=True, timeout=10,
                           env={"PATH": os.environ.get("PATH", ""), "HOME": args.home})
    check(usage.returncode == 0 and "Usage: velmora-launcher" in usage.stdout, "velmora-launcher --help prints help")
    with open(os.path.join(args.prefix, "share", "applications", "velmora.desktop"), encoding="utf-8") as entry:
        check("Exec=velmora-launcher" in entry.read().splitlines(), "the desktop entry starts the launcher")

    xdg_data = os.path.join(args.home, "data")
    work = os.path.join(xdg_data, "velmora")
    # A stale copy from an older install must give way to links to the installed files.
    os.makedirs(os.path.join(work, "flags"), exist_ok=True)
    with open(os.path.join(work, "countries.nbx"), "w", encoding="latin-1") as stale:
        stale.write("XX\tNowhere\r\n")

    world = v.read_env_file(os.path.join(args.world, "world.env"))
    program_env = {
        "VELMORA_SERVICE_URL": world["VELMORA_SERVICE_URL"],
        "HOME": args.home,
        "XDG_DATA_HOME": xdg_data,
        "XDG_CONFIG_HOME": os.path.join(args.home, "config"),
        "GSETTINGS_BACKEND": "keyfile",
        "http_proxy": "", "https_proxy": "", "all_proxy": "", "HTTP_PROXY": "", "HTTPS_PROXY": "", "ALL_PROXY": "",
    }
    session = v.XSession(args.logs)
    app = None
    started = time.monotonic()
    try:
        session.start()
        app = v.App(session, launcher, args.home, program_env, args.logs)
        app.start()
        app.wait_application()
        app.wait_main_window(30)
        check(True, "the launcher started the installed program and its window shows")
        for name in ("countries.nbx", "flags"):
            path = os.path.join(work, name)
            check(os.path.islink(path) and os.path.realpath(path) == os.path.join(data, name),
                  f"{name} in the working folder links to the installed one")
        check(os.path.isfile(os.path.join(work, "setting.nbx")), "the program wrote setting.nbx in the working folder")
        with open(os.path.join(work, "setting.nbx"), encoding="latin-1") as settings:
            url_lines = [line for line in settings if line.startswith("URL\t")]
        check(url_lines and url_lines[0].startswith("URL\thttp://127.0.0.1:"),
              "the default test URL came from the loopback stand-in service")
        # The world's service answered on loopback: no service of the user's was started, so no
        # first-start dialog and no source off loopback was ever reached.
        check(not os.path.exists(os.path.join(args.home, "config", "velmora", "service.conf")),
              "the launcher reused the answering loopback service (no key file, no first-start dialog)")
        app.wait_tray_icon()
        app.tray_menu(["Up", "Return"])  # Exit
        check(app.wait_exit(15) == 255, "the installed program exits through its tray menu")
        first_harvest_start(launcher, session, args.home, world, args.logs)
        own_service_without_sources(session, launcher, args)
    except v.DriverError as error:
        print(f"install check: FAIL: {error} (logs in {args.logs})", file=sys.stderr)
        return 1
    finally:
        if app is not None:
            app.kill()
        session.stop()
    print(f"install check: PASS in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
