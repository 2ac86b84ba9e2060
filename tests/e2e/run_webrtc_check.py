#!/usr/bin/python3
"""WebRTC behind Hide IP: whether Debian's Chromium and Firefox ESR send WebRTC's UDP around the
proxy the program applies, with "Keep WebRTC behind the proxy" on and off.

Runs inside a network namespace of its own (scripts/e2e starts it with unshare): loopback, plus
a veth pair that leads nowhere, with the default route on it (Firefox gathers no candidates
without one), whose address STUN_ADDRESS gives the browsers a network to gather candidates on.
A UDP listener on that address plays the STUN server (and a TURN server over UDP) and records
every datagram. The real program (as in run_browser_check.py) applies the logging SOCKS proxy
with Hide IP; each browser then loads, through that proxy, a page whose script opens an
RTCPeerConnection to the STUN address and reports its ICE candidates back to the page server.

- box on: the program writes webrtc.ip_handling_policy "disable_non_proxied_udp" into the
  Chromium profile in use at Hide IP; Chromium must send no UDP to the STUN address and still
  load the page through the proxy.
- box off: the program leaves the profile alone and Hide IP says "WebRTC in Chromium can show
  web pages your real address; ..."; Chromium's STUN requests reach the listener (the leak).
Firefox ESR (a profile in system-proxy mode, without MOZ_DISABLE_NONLOCAL_CONNECTIONS, which
makes Firefox refuse non-loopback addresses and so could hide a leak) is measured on the same
page in both runs, with its defaults and with media.peerconnection.ice.proxy_only_if_behind_proxy
set, and once more without a proxy after Restore IP, where its STUN requests must reach the
listener: the proof that the listener would have seen them behind the proxy.

Nothing leaves the namespace: the veth pair has no other end anywhere, the proxy relays only
to loopback, and every wait is bounded.
"""

import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
from urllib.parse import unquote

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmora_e2e as v  # noqa: E402
from run_browser_check import (FIREFOX_PREFS, PageServer, chromium_args, firefox_user_js,  # noqa: E402
                               hide_ip_on_the_logging_proxy, run_browser, run_check)

STUN_ADDRESS = os.environ.get("VELMORA_STUN_ADDRESS", "192.0.2.1")
STUN_PORT = 3478
SCHEMA = "org.gnome.system.proxy"
LEAK_MESSAGE = "WebRTC in Chromium can show web pages your real address; "
REPORT_WAIT = 40


class StunListener:
    """Counts the UDP datagrams sent to the STUN address, by sender; answers none of them."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((STUN_ADDRESS, STUN_PORT))
        self.sock.settimeout(0.3)
        self.datagrams = []
        self.lock = threading.Lock()
        self.stopping = False
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while not self.stopping:
            try:
                data, sender = self.sock.recvfrom(2048)
            except socket.timeout:
                continue
            except OSError:
                return
            with self.lock:
                # STUN message types: 0x0001 binding request, 0x0003 TURN allocate request.
                kind = {b"\x00\x01": "binding", b"\x00\x03": "allocate"}.get(data[:2], data[:2].hex())
                self.datagrams.append({"from": f"{sender[0]}:{sender[1]}", "bytes": len(data), "type": kind})

    def mark(self):
        with self.lock:
            return len(self.datagrams)

    def since(self, mark):
        with self.lock:
            return list(self.datagrams[mark:])

    def stop(self):
        self.stopping = True
        self.sock.close()
        self.thread.join(timeout=2)


def page_html(report_path):
    """The page: an RTCPeerConnection with the STUN server (also as a TURN server over UDP), its
    candidates reported after 6 s."""
    return f"""<html><head><title>{PageServer.MARKER}</title></head><body><p>{PageServer.MARKER}</p>
<script>
const found = [];
let state = "none";
try {{
  const pc = new RTCPeerConnection({{iceServers: [
    {{urls: "stun:{STUN_ADDRESS}:{STUN_PORT}"}},
    {{urls: "turn:{STUN_ADDRESS}:{STUN_PORT}?transport=udp", username: "probe", credential: "probe"}}]}});
  pc.createDataChannel("probe");
  pc.onicecandidate = (e) => {{ if (e.candidate) found.push(e.candidate.candidate); }};
  pc.onicegatheringstatechange = () => {{ state = pc.iceGatheringState; }};
  pc.createOffer().then((offer) => pc.setLocalDescription(offer)).catch((e) => found.push("error " + e));
}} catch (e) {{ found.push("error " + e); }}
setTimeout(() => {{
  fetch("{report_path}?" + encodeURIComponent(JSON.stringify({{state: state, candidates: found}})));
}}, 6000);
</script></body></html>"""


def serve_webrtc_page(page):
    """Makes the page server answer /webrtc/... with the WebRTC page; its report lands in the
    page server's request log as GET /report/...?<json>."""
    handler = page.server.RequestHandlerClass
    plain = handler._answer

    def answer(self):
        if self.command == "GET" and self.path.startswith("/webrtc/"):
            with page.lock:
                page.requests.append({"method": self.command, "path": self.path, "client": self.client_address[1]})
            body = page_html("/report" + self.path[len("/webrtc"):]).encode()
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        plain(self)
    handler.do_GET = answer


def run_until_report(name, args, env, logs, cwd, page, report_prefix):
    """Starts a browser, waits (bounded) for its report, then ends its whole process group.
    Returns the report (a dict) or None."""
    with open(os.path.join(logs, f"{name}.log"), "wb") as err:
        child = subprocess.Popen(args, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=err, stderr=err,
                                 start_new_session=True)

    def report():
        for request in page.since(0):
            if request["path"].startswith(report_prefix + "?"):
                return request
        return None
    try:
        found = v.wait_for(report, REPORT_WAIT, f"{name}'s WebRTC report")
    except v.DriverError as error:
        v.log(f"{name}: {error}")
        found = None
    finally:
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(child.pid, sig)
            except ProcessLookupError:
                break
            time.sleep(0.5)
        try:
            child.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass
    if found is None:
        return None
    return json.loads(unquote(found["path"].split("?", 1)[1]))


def figure(datagrams, page_report):
    """What one load sent to the STUN address, by STUN message type, and the candidates the page saw."""
    counts = {}
    for datagram in datagrams:
        counts[datagram["type"]] = counts.get(datagram["type"], 0) + 1
    by_type = ", ".join(f"{kind} {count}" for kind, count in sorted(counts.items())) or "none"
    return (f"{len(datagrams)} UDP datagram(s) to the STUN address ({by_type}), "
            f"candidates {page_report and page_report['candidates']}")


def measure(checks, world, stun, name, browser, start_it):
    """Loads the WebRTC page in one browser; returns (datagrams to the STUN address, report,
    whether the page came through the proxy)."""
    path = f"/webrtc/{name}/{browser}"
    proxy_mark, stun_mark = world.proxy.mark(), stun.mark()
    page_mark = world.page.mark()
    report = start_it(world.page.origin + path, "/report" + path[len("/webrtc"):])
    time.sleep(1)  # datagrams still on their way
    v.wait_for(world.proxy.idle, 15, "the proxy to close the browser's connections")
    datagrams = stun.since(stun_mark)
    entries = world.proxy.since(proxy_mark)
    requests = world.page.since(page_mark)
    via = {e["via"] for e in entries if e["event"] == "connect"}
    through_proxy = any(r["path"] == path and r["client"] in via for r in requests)
    v.log(f"{name}: {browser}: {len(datagrams)} UDP datagram(s) to {STUN_ADDRESS}:{STUN_PORT}: {datagrams}")
    v.log(f"{name}: {browser}: report {report}")
    for entry in entries:
        v.log(f"{name}: {browser}: proxy log: {json.dumps(entry, sort_keys=True)}")
    return datagrams, report, through_proxy


def scenario(session, world, stun, args, name, keep, checks, report):
    base = os.path.join(args.work, name)
    workdir = os.path.join(base, "work")
    logs = os.path.join(args.logs, name)
    os.makedirs(logs, exist_ok=True)
    subprocess.run([args.demo_world, "workdir", workdir, world.base], check=True, timeout=60,
                   env=dict(os.environ, VELMORA_BUILD_DIR=os.path.dirname(args.build_run)))
    with open(os.path.join(workdir, "webrtc.nbx"), "w", encoding="latin-1", newline="") as handle:
        handle.write(f"WebRTC:\r\nKeep Behind Proxy\t{1 if keep else 0}\r\n")
    program_env = v.read_env_file(os.path.join(workdir, "program.env"))
    program_env["XDG_CURRENT_DESKTOP"] = "GNOME"
    app = v.App(session, os.path.join(args.build_run, "velmora"), workdir, program_env, logs)
    env = {key: value for key, value in app.env.items() if not key.startswith("QT_")}
    user_data = os.path.join(env["XDG_CONFIG_HOME"], "chromium")
    preferences = os.path.join(user_data, "Default", "Preferences")
    try:
        v.log(f"--- {name}")
        shutil.rmtree(os.path.join(env["XDG_CONFIG_HOME"], "glib-2.0"), ignore_errors=True)
        # The user's Chromium has run before: its profile exists where the program looks.
        code, _ = run_once(env, user_data, world.page.origin, logs, base, f"{name}-chromium-first")
        checks.ok(os.path.exists(preferences), f"{name}: Chromium made its profile ({preferences})")
        before = open(preferences, encoding="utf-8").read()

        app.start()
        app.wait_application()
        hide_ip_on_the_logging_proxy(app, world, checks, name)
        if keep:
            checks.equal(app.message_texts(), [], f"{name}: Hide IP shows no WebRTC message")
            policy = json.load(open(preferences, encoding="utf-8")).get("webrtc", {}).get("ip_handling_policy")
            checks.equal(policy, "disable_non_proxied_udp", f"{name}: Hide IP set the profile's WebRTC policy")
            checks.ok(open(preferences + ".bkp", encoding="utf-8").read() == before,
                      f"{name}: Preferences.bkp holds the file from before")
        else:
            box = v.wait_for(lambda: app.find_message(LEAK_MESSAGE), 20, "Hide IP's WebRTC message")
            text = [t for t in app.message_texts() if LEAK_MESSAGE in t]
            v.log(f"{name}: Hide IP said: {text}")
            checks.ok(box is not None, f"{name}: Hide IP's message names Chromium")
            app.answer_message(LEAK_MESSAGE, "OK")
            checks.ok(open(preferences, encoding="utf-8").read() == before, f"{name}: the profile is left as it was")
        # As in run_browser_check.py: the loopback page through the applied proxy.
        app.set_gsettings(SCHEMA, "ignore-hosts", "['<-loopback>']")

        def chromium(url, report_prefix):
            browser_args = chromium_args(user_data, world.page.origin, url)
            browser_args.remove("--dump-dom")
            return run_until_report(f"{name}-chromium", browser_args, env, logs, base, world.page, report_prefix)

        datagrams, page_report, through = measure(checks, world, stun, name, "chromium", chromium)
        checks.ok(page_report is not None, f"{name}: Chromium ran the page's script and reported")
        checks.ok(through, f"{name}: Chromium loaded the page through the applied proxy")
        if keep:
            checks.equal(datagrams, [], f"{name}: Chromium sent no UDP to the STUN address")
        else:
            checks.ok(len(datagrams) > 0, f"{name}: Chromium sent UDP around the proxy ({len(datagrams)} datagrams)")
        report[f"{name}: chromium"] = figure(datagrams, page_report)
        policy = json.load(open(preferences, encoding="utf-8")).get("webrtc", {}).get("ip_handling_policy")
        v.log(f"{name}: after Chromium's own rewrite: webrtc.ip_handling_policy = {policy!r}")
        if keep:
            checks.equal(policy, "disable_non_proxied_udp", f"{name}: Chromium kept the value when it rewrote the file")

        def firefox_with(variant, extra):
            def firefox(url, report_prefix):
                profile = os.path.join(base, f"firefox-{variant}")
                os.makedirs(profile, exist_ok=True)
                with open(os.path.join(profile, "user.js"), "w", encoding="utf-8") as handle:
                    handle.write(firefox_user_js(dict(FIREFOX_PREFS, **extra)))
                return run_until_report(f"{name}-firefox-{variant}-{len(os.listdir(logs))}",
                                        ["firefox-esr", "--headless", "--no-remote", "--profile", profile, url],
                                        dict(env, HOME=os.path.join(base, "home")), logs, base, world.page,
                                        report_prefix)
            return firefox

        for variant, extra in (("defaults", {}),
                               ("proxy_only_if_behind_proxy", {"media.peerconnection.ice.proxy_only_if_behind_proxy":
                                                               True})):
            datagrams, page_report, through = measure(checks, world, stun, name, f"firefox-{variant}",
                                                      firefox_with(variant, extra))
            checks.ok(page_report is not None, f"{name}: Firefox ({variant}) ran the page's script and reported")
            checks.ok(through, f"{name}: Firefox ({variant}) loaded the page through the applied proxy")
            report[f"{name}: firefox-esr ({variant})"] = figure(datagrams, page_report)
            if variant == "defaults":
                checks.equal(datagrams, [], f"{name}: Firefox in system-proxy mode sent no UDP to the STUN address")

        app.press_button("Restore IP")
        v.wait_for(lambda: app.button("Hide IP"), 20, "the button to offer Hide IP again")
        # What the kept value costs without a proxy: measured, not required.
        datagrams, page_report, _ = measure(checks, world, stun, name + "-restored", "chromium", chromium)
        report[f"{name}: chromium after Restore IP (no proxy)"] = figure(datagrams, page_report)
        # Firefox without a proxy, on the same page: shows whether the listener would see its UDP.
        datagrams, page_report, _ = measure(checks, world, stun, name + "-restored", "firefox-defaults",
                                            firefox_with("defaults", {}))
        checks.ok(len(datagrams) > 0, f"{name}: without a proxy Firefox's STUN requests reach the listener "
                                      f"({len(datagrams)} datagrams), so it would have seen them behind the proxy")
        report[f"{name}: firefox-esr after Restore IP (no proxy)"] = figure(datagrams, page_report)
    finally:
        app.kill()


def run_once(env, user_data, origin, logs, cwd, name):
    """Chromium once without a proxy on a page that does not exist, so that it makes its profile
    and writes it at exit."""
    return run_browser(name, chromium_args(user_data, origin, origin + "/first-run"), env, logs, cwd)


def main():
    def scenarios(session, world, args, checks, report):
        serve_webrtc_page(world.page)
        stun = StunListener()
        figures = {}
        try:
            scenario(session, world, stun, args, "box-on", True, checks, figures)
            scenario(session, world, stun, args, "box-off", False, checks, figures)
        finally:
            stun.stop()
            for what, figure in figures.items():
                print(f"WebRTC check: {what}: {figure}")

    return run_check("WebRTC check", ("chromium", "firefox-esr", "gsettings"), scenarios)


if __name__ == "__main__":
    sys.exit(main())
