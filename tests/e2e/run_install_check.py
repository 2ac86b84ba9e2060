#!/usr/bin/python3
"""Checks an installed tree (cmake --install with DESTDIR): the launcher prepares the per-user
working folder, replaces a stale copy of the data files by links to the installed ones, and
starts the installed program there, which comes up against the loopback stand-in service.
Started by scripts/e2e."""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmora_e2e as v  # noqa: E402


def check(condition, text):
    if not condition:
        raise v.DriverError(f"check failed: {text}")
    v.log(f"ok - {text}")


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
