#!/usr/bin/python3
"""The demo's main job without a display: under Xvfb with the tray host trayer, press Get Proxy
(with the speed test), Hide IP on the fastest proxy, Restore IP and Exit, as a person would,
saving a screenshot of each step into the given folder."""

import argparse
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmora_e2e as v  # noqa: E402

FINISHED = "The proxy test is finished!"


def drive(app, shot):
    app.start()
    app.wait_application()
    app.wait_main_window(30)
    app.wait_tray_icon()
    shot("started")
    shot("tray", tray=True)  # the program's icon in the tray; the last screenshot shows it gone

    started = time.monotonic()
    app.press_button("Get Proxy")
    v.wait_for(lambda: app.dialog("Testing") or app.find_message(FINISHED), 20, "the test to start")
    shot("testing")
    v.wait_for(lambda: app.find_message(FINISHED), 60, "the end of the speed test")
    took = time.monotonic() - started
    shot("test-finished")
    app.answer_message(FINISHED, "OK")
    rows = v.wait_for(lambda: app.table_rows(), 10, "rows in the proxy table")
    v.log(f"Get Proxy with the speed test: {len(rows)} proxies kept in {took:.1f} s")
    for row in rows:
        v.log("  " + "  ".join(f"{k}: {val}" for k, val in row.items()))
    shot("ranked-table")

    app.select_row(0)
    app.press_button("Hide IP")
    v.wait_for(lambda: app.button("Restore IP"), 10, "Hide IP to take effect")
    proxy = v.wait_for(lambda: (lambda p: p if p["mode"] == "'manual'" else None)(app.system_proxy()), 10,
                       "the system proxy settings")
    v.log(f"Hide IP on {rows[0]['IP']}:{rows[0]['Port']}: system proxy mode {proxy['mode']}, "
          f"SOCKS {proxy['host']}:{proxy['port']} (in the demo's own keyfile)")
    shot("ip-hidden")

    app.press_button("Restore IP")
    v.wait_for(lambda: app.system_proxy()["mode"] == "'none'", 10, "Restore IP to take effect")
    v.log("Restore IP: system proxy mode 'none'")
    shot("ip-restored")

    app.tray_menu(["Up", "Return"])  # the tray menu's last item, "Exit"
    code = app.wait_exit(15)
    shot("exited", tray=True)
    # Exit ends the process with code -1, which the shell sees as 255.
    if code != 255:
        raise v.DriverError(f"Exit ended the program with code {code}, not 255")
    v.log("Exit: the program ended as intended (Exit ends it with code -1, 255 to the shell)")


def inside(box, area):
    return area is not None and area[0] <= box[0] and area[1] <= box[1] and \
        box[0] + box[2] <= area[0] + area[2] and box[1] + box[3] <= area[1] + area[3]


def program_box(session, app):
    """The bounding box of the program's visible windows (main window, dialogs, message boxes),
    leaving out its icon in the tray host's panel."""
    panel = session.tray_panel_box()
    boxes = [session.window_box(w) for w in (app.visible_windows() if app is not None and app.alive() else [])]
    boxes = [b for b in boxes if b[2] > 1 and b[3] > 1 and not inside(b, panel)]
    if not boxes:
        return None
    left, top = min(b[0] for b in boxes), min(b[1] for b in boxes)
    right, bottom = max(b[0] + b[2] for b in boxes), max(b[1] + b[3] for b in boxes)
    return max(left, 0), max(top, 0), right - max(left, 0), bottom - max(top, 0)


def report_failure(app, shot):
    """What the program shows when a step fails: its message boxes, and a screenshot."""
    try:
        for text in app.message_texts() if app is not None and app.alive() else []:
            print(f"demo: the program shows the message: {text}", file=sys.stderr)
        shot("failed")
    except Exception as error:  # the report must not hide the failure itself
        print(f"demo: no report of the failure ({error})", file=sys.stderr)


def main():
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(124))
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--workdir", required=True)
    parser.add_argument("--shots", required=True)
    parser.add_argument("--logs", required=True)
    args = parser.parse_args()
    os.makedirs(args.shots, exist_ok=True)
    os.makedirs(args.logs, exist_ok=True)

    session = v.XSession(args.logs)
    app = None
    count = [0]

    tray_area = []

    def shot(name, tray=False):
        """A screenshot of the program's windows only; with tray, of the tray host's panel where
        it was while the program's icon was in it (the panel shrinks once the icon is gone)."""
        count[0] += 1
        if not tray_area and session.tray_panel_box():
            x, y, width, height = session.tray_panel_box()
            tray_area.append((max(x + width - 160, 0), y, min(160, x + width), height))
        box = (tray_area[0] if tray_area else None) if tray else program_box(session, app)
        session.screenshot(os.path.join(args.shots, f"{count[0]:02d}-{name}.png"), box)

    try:
        session.start()
        app = v.App(session, args.program, args.workdir,
                    v.read_env_file(os.path.join(args.workdir, "program.env")), args.logs)
        drive(app, shot)
    except v.DriverError as error:
        print(f"demo: {error} (logs in {args.logs})", file=sys.stderr)
        report_failure(app, shot)
        return 1
    finally:
        if app is not None:
            app.kill()
        session.stop()
    v.log(f"{count[0]} screenshots saved")
    return 0


if __name__ == "__main__":
    sys.exit(main())
