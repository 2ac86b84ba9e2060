"""Drives the real Velmora window from outside, as a person would.

An X session of its own (Xvfb, a D-Bus session bus, the accessibility bus and the tray host
trayer) runs the program; buttons, table cells and message boxes are reached over AT-SPI by
their accessible names, the tray icon with xdotool. Every wait is bounded.

Used by run_e2e.py (the end-to-end test) and demo_drive.py (the headless demo).
"""

import ipaddress
import json
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

APP_TITLE = "Velmora"


class DriverError(Exception):
    """A step did not happen within its time."""


def log(text):
    print(f"[{time.strftime('%H:%M:%S')}] {text}", flush=True)


def wait_for(predicate, timeout, what, interval=0.1):
    """Polls predicate until it returns something true; raises DriverError after timeout."""
    end = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = predicate()
            if value:
                return value
        except Exception as error:  # AT-SPI objects vanish while windows close
            last_error = error
        if time.monotonic() >= end:
            detail = f" (last error: {last_error})" if last_error else ""
            raise DriverError(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


def run(args, env=None, timeout=10, check=False):
    result = subprocess.run(args, env=env, capture_output=True, text=True, timeout=timeout)
    if check and result.returncode != 0:
        raise DriverError(f"{' '.join(args)} failed: {result.stderr.strip()}")
    return result.stdout


def read_env_file(path):
    """KEY=VALUE lines; an empty value means the variable is to be unset."""
    values = {}
    with open(path, encoding="utf-8") as handle:
        for line in handle:
            line = line.strip()
            if line and not line.startswith("#") and "=" in line:
                key, value = line.split("=", 1)
                values[key] = value.strip('"')
    return values


def apply_env(base, values):
    env = dict(base)
    for key, value in values.items():
        if value:
            env[key] = value
        else:
            env.pop(key, None)
    return env


class ProcessGroup:
    """Children started in process groups of their own, ended together."""

    def __init__(self, log_dir):
        self.log_dir = log_dir
        self.children = []

    def start(self, name, args, env, cwd=None, **kwargs):
        out = open(os.path.join(self.log_dir, f"{name}.log"), "wb")
        child = subprocess.Popen(args, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                                 stderr=subprocess.STDOUT, start_new_session=True, **kwargs)
        out.close()
        self.children.append((name, child))
        return child

    def stop_all(self):
        for _, child in reversed(self.children):
            if child.poll() is None:
                try:
                    os.killpg(child.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for _, child in reversed(self.children):
            try:
                child.wait(timeout=3)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(child.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                child.wait(timeout=3)
        self.children.clear()


def accepts_connections(port, host="127.0.0.1"):
    """Whether something listens on host:port (a connection is made and closed at once)."""
    try:
        with socket.create_connection((host, port), timeout=2):
            return True
    except OSError:
        return False


def listen_loopback(backlog=16, address="127.0.0.1"):
    """A listening TCP socket on a free port of a loopback address whose accept wakes twice a second."""
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind((address, 0))
    server.listen(backlog)
    server.settimeout(0.5)
    return server


def relay_sockets(client, upstream):
    """Copies bytes both ways until each side has closed, then closes both (bounded waits)."""
    def pump(source, sink):
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                sink.sendall(data)
        except OSError:
            pass
        finally:
            try:
                sink.shutdown(socket.SHUT_WR)
            except OSError:
                pass

    for sock in (client, upstream):
        sock.settimeout(30)
    back = threading.Thread(target=pump, args=(upstream, client), daemon=True)
    back.start()
    pump(client, upstream)
    back.join(timeout=30)
    client.close()
    upstream.close()


class LoopbackServer:
    """A TCP listener on 127.0.0.1 (or another loopback address) that hands each connection to
    accepted(client, peer) on its accept thread until stop(). A subclass sets its own fields
    first, then calls start()."""

    def start(self, backlog=16, address="127.0.0.1"):
        self.server = listen_loopback(backlog, address)
        self.port = self.server.getsockname()[1]
        self.stopping = False
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while not self.stopping:
            try:
                client, peer = self.server.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            self.accepted(client, peer)

    def accepted(self, client, peer):
        raise NotImplementedError

    def stop(self):
        self.stopping = True
        self.server.close()
        self.thread.join(timeout=2)


class DelayedRelay(LoopbackServer):
    """A loopback TCP relay to the service that holds the first connection for a while, so
    the start-up splash stays up long enough to be seen."""

    def __init__(self, target_port, first_delay):
        self.target_port = target_port
        self.first_delay = first_delay
        self.connections = 0
        self.start()

    def accepted(self, client, peer):
        delay = self.first_delay if self.connections == 0 else 0
        self.connections += 1
        threading.Thread(target=self._relay, args=(client, delay), daemon=True).start()

    def _relay(self, client, delay):
        end = time.monotonic() + delay
        while time.monotonic() < end and not self.stopping:
            time.sleep(0.05)
        try:
            upstream = socket.create_connection(("127.0.0.1", self.target_port), timeout=5)
        except OSError:
            client.close()
            return

        relay_sockets(client, upstream)


class SocksProxy(LoopbackServer):
    """A SOCKS CONNECT proxy on a loopback address with a connection log.

    versions: what it speaks, "4" (SOCKS4 and SOCKS4a) and "5"; a client that speaks another
    version has its connection closed at the first byte. It relays only to IPv4 loopback
    addresses and to the host names in names (name -> (loopback address, port)), which it maps
    itself: it never resolves a name, and refuses and logs every other target, so nothing a
    browser asks for can leave the machine. Each request is one JSON line in the log file (and
    in `entries`): the SOCKS version the client spoke, the client's port, the target as asked,
    whether it arrived as a host name ("name"), and for a relayed connection the local port of
    the proxy's own connection to the target ("via")."""

    def __init__(self, log_path, address="127.0.0.1", versions=("4", "5"), names=None):
        self.log_path = log_path
        self.versions = versions
        self.names = dict(names or {})
        self.entries = []
        self.lock = threading.Lock()
        self.active = 0  # client connections being handled or relayed
        self.start(64, address)
        self.address = address

    def idle(self):
        with self.lock:
            return self.active == 0

    def since(self, mark):
        with self.lock:
            return list(self.entries[mark:])

    def mark(self):
        with self.lock:
            return len(self.entries)

    def _record(self, **entry):
        entry["time"] = round(time.time(), 3)
        with self.lock:
            self.entries.append(entry)
            with open(self.log_path, "a", encoding="utf-8") as handle:
                handle.write(json.dumps(entry, sort_keys=True) + "\n")

    def accepted(self, client, peer):
        with self.lock:
            self.active += 1
        threading.Thread(target=self._handle_counted, args=(client,), daemon=True).start()

    def _handle_counted(self, client):
        try:
            self._handle(client)
        finally:
            with self.lock:
                self.active -= 1

    @staticmethod
    def _read(sock, count):
        data = b""
        while len(data) < count:
            chunk = sock.recv(count - len(data))
            if not chunk:
                raise ConnectionError("the client closed the connection")
            data += chunk
        return data

    @classmethod
    def _read_string(cls, sock):
        """A NUL-terminated SOCKS4 field (user id, SOCKS4a host name)."""
        data = b""
        while True:
            byte = cls._read(sock, 1)
            if byte == b"\0":
                return data.decode("latin-1")
            data += byte
            if len(data) > 255:
                raise ConnectionError("SOCKS4 field too long")

    def _request(self, client):
        """Reads one request; returns (version, command, host, port, name, reply function),
        None for a connection closed before its first byte (a browser's spare preconnection,
        which carries nothing), or the first byte for a version this proxy does not speak."""
        first = client.recv(1)
        if not first:
            return None
        version = first[0]
        if str(version) not in self.versions:
            return version
        if version == 4:
            command, port = struct.unpack("!BH", self._read(client, 3))
            raw = self._read(client, 4)
            self._read_string(client)
            host, version, name = socket.inet_ntoa(raw), "4", False
            if raw[:3] == b"\0\0\0" and raw[3] != 0:  # 0.0.0.x: SOCKS4a, a host name follows
                host, version, name = self._read_string(client), "4a", True

            def reply(ok, bound=("0.0.0.0", 0)):
                client.sendall(struct.pack("!BBH", 0, 90 if ok else 91, bound[1]) + socket.inet_aton(bound[0]))
            return version, command, host, port, name, reply
        if version == 5:
            methods = self._read(client, self._read(client, 1)[0])
            if 0 not in methods:
                client.sendall(b"\x05\xff")
                raise ConnectionError("the client offers no method without authentication")
            client.sendall(b"\x05\x00")
            _, command, _, kind = self._read(client, 4)
            if kind == 1:
                host = socket.inet_ntoa(self._read(client, 4))
            elif kind == 3:
                host = self._read(client, self._read(client, 1)[0]).decode("latin-1")
            elif kind == 4:
                host = socket.inet_ntop(socket.AF_INET6, self._read(client, 16))
            else:
                raise ConnectionError(f"unknown SOCKS5 address type {kind}")
            port = struct.unpack("!H", self._read(client, 2))[0]

            def reply(ok, bound=("0.0.0.0", 0)):
                client.sendall(bytes([5, 0 if ok else 2, 0, 1]) + socket.inet_aton(bound[0]) +
                               struct.pack("!H", bound[1]))
            return "5", command, host, port, kind == 3, reply
        raise ConnectionError(f"not a SOCKS request (first byte {version})")

    def _target(self, host, port, name):
        """Where a request goes: a mapped name's address, a literal IPv4 loopback address (also
        when sent in the name field), or None. A host name is never looked up."""
        if name and host in self.names:
            return self.names[host]
        try:
            address = ipaddress.ip_address(host)
        except ValueError:
            return None
        return (host, port) if address.version == 4 and address.is_loopback else None

    def _refuse(self, sock, reply, **entry):
        """Logs entry, answers the request with a refusal and closes the connection."""
        self._record(**entry)
        try:
            reply(False)
        except OSError:
            pass
        sock.close()

    def _handle(self, client):
        client.settimeout(10)
        peer = client.getpeername()[1]
        try:
            request = self._request(client)
        except (OSError, ConnectionError) as error:
            self._record(event="error", client=peer, error=str(error))
            client.close()
            return
        if not isinstance(request, tuple):
            self._record(client=peer, **({"event": "unused"} if request is None else
                                         {"event": "other-version", "first": request}))
            client.close()
            return
        version, command, host, port, name, reply = request
        target = self._target(host, port, name) if command == 1 else None
        asked = dict(version=version, client=peer, host=host, port=port, name=name)
        if target is None:
            self._refuse(client, reply, event="refused", command=command, **asked)
            return
        try:
            upstream = socket.create_connection(target, timeout=5)
        except OSError as error:
            self._refuse(client, reply, event="failed", error=str(error), **asked)
            return
        via = upstream.getsockname()
        self._record(event="connect", via=via[1], **asked)
        try:
            reply(True, via)
        except OSError:
            client.close()
            upstream.close()
            return
        relay_sockets(client, upstream)


class XSession:
    """Xvfb + D-Bus session + accessibility bus + a tray host, private to this run: trayer
    (XEmbed) by default, or with tray="sni" the StatusNotifier watcher from Debian's
    haskell-status-notifier-item-utils with a host registered by this process."""

    def __init__(self, log_dir, size="1024x768x24", tray="xembed"):
        self.log_dir = log_dir
        self.size = size
        self.tray = tray
        self.sni_bus = None
        self.group = ProcessGroup(log_dir)
        self.env = None
        self.runtime_dir = None

    def start(self):
        env = dict(os.environ)
        for key in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS",
                    "NO_AT_BRIDGE", "SESSION_MANAGER", "XAUTHORITY"):
            env.pop(key, None)
        self.runtime_dir = tempfile.mkdtemp(prefix="velmora-xdg-runtime-")
        os.chmod(self.runtime_dir, 0o700)
        env["XDG_RUNTIME_DIR"] = self.runtime_dir

        read_end, write_end = os.pipe()
        self.group.start("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.size,
                                  "-nolisten", "tcp", "-noreset"], env, pass_fds=(write_end,))
        os.close(write_end)
        number = self._read_line(read_end, 15, "Xvfb to report its display")
        env["DISPLAY"] = f":{number}"

        read_end, write_end = os.pipe()
        self.group.start("dbus", ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                  f"--print-address={write_end}"], env, pass_fds=(write_end,))
        os.close(write_end)
        env["DBUS_SESSION_BUS_ADDRESS"] = self._read_line(read_end, 10, "the D-Bus session bus")

        self.group.start("at-spi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env)
        self.env = env
        if self.tray == "sni":
            self._start_sni_host()
        else:
            self.group.start("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype",
                                        "request", "--height", "32", "--SetDockType", "true"], env)
            wait_for(lambda: self._trayer_panel(), 10, "the tray host (trayer) to show its panel")
        wait_for(lambda: "a11y" in run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                                        "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames"], env=env),
                 10, "the accessibility bus")
        # pyatspi finds the accessibility bus through these, so they are set before it loads.
        os.environ["DISPLAY"] = env["DISPLAY"]
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = env["DBUS_SESSION_BUS_ADDRESS"]
        os.environ["XDG_RUNTIME_DIR"] = self.runtime_dir
        return self

    def _read_line(self, fd, timeout, what):
        data = b""
        end = time.monotonic() + timeout
        os.set_blocking(fd, False)
        try:
            while b"\n" not in data:
                if time.monotonic() > end:
                    raise DriverError(f"timed out waiting for {what}")
                try:
                    chunk = os.read(fd, 256)
                except BlockingIOError:
                    time.sleep(0.05)
                    continue
                if not chunk:
                    raise DriverError(f"{what}: the process ended (see {self.log_dir})")
                data += chunk
        finally:
            os.close(fd)
        return data.decode().strip()

    def _start_sni_host(self):
        """The watcher, and a host name registered with it: Qt then shows its tray icon as a
        StatusNotifierItem and exports its menu over D-Bus (com.canonical.dbusmenu)."""
        from gi.repository import Gio, GLib
        self.group.start("sni-watcher", ["status-notifier-watcher"], self.env)
        flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
        self.sni_bus = Gio.DBusConnection.new_for_address_sync(self.env["DBUS_SESSION_BUS_ADDRESS"], flags,
                                                               None, None)
        host = f"org.kde.StatusNotifierHost-{os.getpid()}"
        self.sni_bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "RequestName", GLib.Variant("(su)", (host, 0)), None, 0, 5000, None)
        wait_for(lambda: self.sni_call("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                       "org.kde.StatusNotifierWatcher", "RegisterStatusNotifierHost",
                                       GLib.Variant("(s)", (host,))) is not None,
                 10, "the StatusNotifier watcher to take the host")

    def sni_call(self, name, path, interface, method, parameters=None):
        """A call on the session bus; its result unpacked, or None when it failed."""
        try:
            return self.sni_bus.call_sync(name, path, interface, method, parameters, None, 0, 5000,
                                          None).unpack()
        except Exception:  # the name or object is not (yet) there
            return None

    def _trayer_panel(self):
        return re.search(r'^\s*(0x[0-9a-f]+) "panel": \("panel" "trayer"\)', self.window_tree(), re.M)

    def window_tree(self):
        return run(["xwininfo", "-root", "-tree"], env=self.env)

    def screenshot(self, path, box=None):
        """The screen, or only box (x, y, width, height) of it, as a PNG file."""
        crop = ["-crop", "{2}x{3}+{0}+{1}".format(*box), "+repage"] if box else []
        run(["import", "-window", "root", *crop, path], env=self.env, timeout=20, check=True)
        return path

    def window_box(self, window_id):
        """(x, y, width, height) of an X window on the screen."""
        out = self.xdotool("getwindowgeometry", "--shell", window_id)
        values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
        return tuple(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))

    def tray_panel_box(self):
        """(x, y, width, height) of trayer's panel, or None."""
        match = re.search(r'"panel": \("panel" "trayer"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)',
                          self.window_tree())
        if not match:
            return None
        width, height, x, y = map(int, match.groups())
        return x, y, width, height

    def xdotool(self, *args):
        return run(["xdotool", *args], env=self.env)

    def stop(self):
        self.group.stop_all()
        if self.runtime_dir:
            shutil.rmtree(self.runtime_dir, ignore_errors=True)


class App:
    """The program under test inside an XSession, reached over AT-SPI."""

    def __init__(self, session, binary, workdir, program_env, log_dir):
        self.session = session
        self.binary = binary
        self.workdir = workdir
        self.env = apply_env(session.env, program_env)
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        self.env["QT_ACCESSIBILITY"] = "1"
        self.env["QT_QPA_PLATFORM"] = "xcb"
        self.log_dir = log_dir
        self.process = None
        self._atspi = None

    # -- process -------------------------------------------------------------------------
    def start(self):
        out = open(os.path.join(self.log_dir, "velmora.log"), "wb")
        self.process = subprocess.Popen([self.binary], cwd=self.workdir, env=self.env, stdin=subprocess.DEVNULL,
                                        stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
        out.close()
        return self

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def wait_exit(self, timeout):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise DriverError(f"the program did not end within {timeout} s")

    def kill(self):
        if self.alive():
            try:
                os.killpg(self.process.pid, signal.SIGTERM)
                self.process.wait(timeout=3)
            except (ProcessLookupError, subprocess.TimeoutExpired):
                try:
                    os.killpg(self.process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                self.process.wait(timeout=3)

    # -- AT-SPI --------------------------------------------------------------------------
    @property
    def atspi(self):
        if self._atspi is None:
            import pyatspi  # loaded late: it needs the session's D-Bus address
            self._atspi = pyatspi
        return self._atspi

    def application(self):
        desktop = self.atspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            candidate = desktop.getChildAtIndex(index)
            if candidate is not None and candidate.get_process_id() == self.process.pid:
                return candidate
        return None

    def wait_application(self, timeout=20):
        def found():
            if not self.alive():
                raise DriverError(f"the program ended early with code {self.process.returncode}")
            return self.application()
        return wait_for(found, timeout, "the program to appear on the accessibility bus", 0.2)

    def top_levels(self):
        app = self.application()
        if app is None:
            return []
        return [child for child in app if child is not None]

    def showing(self, accessible):
        return accessible.getState().contains(self.atspi.STATE_SHOWING)

    def find(self, root, predicate):
        return self.atspi.findDescendant(root, predicate)

    def main_window(self):
        for window in self.top_levels():
            if window.name == APP_TITLE and self.find(window, lambda x: x.name == "Get Proxy") is not None:
                return window
        return None

    def wait_main_window(self, timeout=30):
        return wait_for(lambda: (lambda w: w if w is not None and self.showing(w) else None)(self.main_window()),
                        timeout, "the main window to show")

    def control(self, name, role=None):
        window = self.main_window()
        if window is None:
            raise DriverError("no main window")
        node = self.find(window, lambda x: x.name == name and (role is None or x.getRoleName() == role))
        if node is None:
            raise DriverError(f"no control named {name!r}")
        return node

    def button(self, name):
        window = self.main_window()
        if window is None:
            return None
        return self.find(window, lambda x: x.name == name and x.getRoleName() in ("push button", "toggle button"))

    def press(self, accessible):
        action = accessible.queryAction()
        for index in range(action.nActions):
            if action.getName(index) in ("Press", "press", "click"):
                action.doAction(index)
                return
        action.doAction(0)

    def click(self, accessible):
        """A real left click in the middle of the control. The main window's buttons run their
        commands (and modal dialogs) inside the click, so an AT-SPI action on them would not
        be answered until the command ends."""
        box = accessible.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
        if box.width <= 0 or box.height <= 0:
            raise DriverError(f"{accessible.name!r} has no area on the screen")
        self.session.xdotool("mousemove", str(box.x + box.width // 2), str(box.y + box.height // 2))
        time.sleep(0.1)
        self.session.xdotool("click", "1")

    def press_button(self, name, timeout=10):
        node = wait_for(lambda: self.button(name), timeout, f"the button {name!r}")
        wait_for(lambda: self.sensitive(node), timeout, f"the button {name!r} to be enabled")
        self.click(node)

    def sensitive(self, accessible):
        return accessible.getState().contains(self.atspi.STATE_SENSITIVE)

    def address_text(self, caption):
        """Text of the address label right of the label captioned caption ("Real IP:",
        "Current IP:"); the address labels have no fixed accessible name of their own."""
        window = self.main_window()
        if window is None:
            raise DriverError("no main window")
        head = self.find(window, lambda x: x.getRoleName() == "label" and x.name == caption)
        if head is None:
            raise DriverError(f"no label {caption!r}")
        coords = self.atspi.DESKTOP_COORDS
        box = head.queryComponent().getExtents(coords)
        middle = box.y + box.height // 2
        candidates = []
        for node in self.atspi.findAllDescendants(window, lambda x: x.getRoleName() == "label"):
            if node.name == caption or (node.name or "").endswith(" flag"):
                continue
            other = node.queryComponent().getExtents(coords)
            if other.x > box.x and other.y <= middle <= other.y + other.height:
                candidates.append((other.x, node.name or ""))
        return min(candidates)[1] if candidates else ""

    def find_message(self, text):
        """A message box (alert or dialog) holding text, or None."""
        for window in self.top_levels():
            if not self.showing(window) or window.getRoleName() not in ("alert", "dialog", "window"):
                continue
            label = self.find(window, lambda x: x.getRoleName() == "label" and text in (x.name or ""))
            if label is not None:
                return window
        return None

    def message_texts(self):
        texts = []
        for window in self.top_levels():
            if self.showing(window) and window.getRoleName() in ("alert", "dialog"):
                for node in self.atspi.findAllDescendants(window, lambda x: x.getRoleName() == "label"):
                    if node.name:
                        texts.append(node.name)
        return texts

    def answer_message(self, text, button, timeout=30):
        box = wait_for(lambda: self.find_message(text), timeout, f"the message {text!r}")
        target = self.find(box, lambda x: x.getRoleName() == "push button" and x.name.replace("&", "") == button)
        if target is None:
            raise DriverError(f"message {text!r} has no button {button!r}")
        self.press(target)
        wait_for(lambda: self.find_message(text) is None, 10, f"the message {text!r} to close")

    def dialog(self, title):
        for window in self.top_levels():
            if window.name == title and self.showing(window):
                return window
        return None

    # -- the proxy table -----------------------------------------------------------------
    def table(self):
        window = self.main_window()
        return self.find(window, lambda x: x.getRoleName() in ("table", "tree table")) if window else None

    def table_rows(self):
        """Rows of the proxy table as dicts keyed by the column headers."""
        node = self.table()
        if node is None:
            raise DriverError("no proxy table")
        table = node.queryTable()
        headers = []
        for column in range(table.nColumns):
            header = table.getColumnHeader(column)
            headers.append(header.name if header is not None else table.getColumnDescription(column))
        rows = []
        for row in range(table.nRows):
            cells = {}
            for column in range(table.nColumns):
                cell = table.getAccessibleAt(row, column)
                cells[headers[column]] = cell.name if cell is not None else ""
            rows.append(cells)
        return rows

    def select_row(self, index):
        node = self.table()
        table = node.queryTable()
        try:
            selection = node.querySelection()
            selection.clearSelection()
        except NotImplementedError:
            pass
        if not table.addRowSelection(index):
            # Fall back to a click on the row's first cell.
            cell = table.getAccessibleAt(index, 1)
            extents = cell.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
            self.session.xdotool("mousemove", str(extents.x + extents.width // 2),
                                 str(extents.y + extents.height // 2), "click", "1")
        # Only this row: a selection left from before would make Hide IP refuse.
        for other in range(table.nRows):
            if other != index and table.isRowSelected(other):
                table.removeRowSelection(other)
        wait_for(lambda: table.isRowSelected(index) and table.nSelectedRows == 1, 5, f"row {index} to be selected")

    # -- windows and the tray ------------------------------------------------------------
    def visible_windows(self):
        out = self.session.xdotool("search", "--onlyvisible", "--pid", str(self.process.pid))
        return [w for w in out.split() if w]

    def window_name(self, window_id):
        return self.session.xdotool("getwindowname", window_id).strip()

    def visible_titles(self):
        return [self.window_name(w) for w in self.visible_windows()]

    def main_window_visible(self):
        window = self.main_window()
        return window is not None and self.showing(window) and APP_TITLE in self.visible_titles()

    def press_key_in_main_window(self, key):
        ids = [w for w in self.visible_windows() if self.window_name(w) == APP_TITLE]
        if not ids:
            raise DriverError("the main window is not visible")
        self.session.xdotool("windowfocus", "--sync", ids[0])
        self.session.xdotool("key", key)

    def tray_icon(self):
        """(x, y, width, height) of the program's icon inside trayer's panel, or None."""
        tree = self.session.window_tree()
        lines = tree.splitlines()
        panel_indent = None
        for line in lines:
            if panel_indent is None:
                if re.search(r'"panel": \("panel" "trayer"\)', line):
                    panel_indent = len(line) - len(line.lstrip())
                continue
            indent = len(line) - len(line.lstrip())
            if line.strip() and indent <= panel_indent:
                break
            match = re.search(r'\("([^"]*)" "([^"]*)"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)', line)
            if match and "trayer" not in (match.group(1), match.group(2)):
                width, height, x, y = map(int, match.groups()[2:])
                if width > 1 and height > 1:
                    return x, y, width, height
        return None

    def wait_tray_icon(self, timeout=15):
        return wait_for(self.tray_icon, timeout, "the tray icon under trayer")

    def _point_at_tray(self):
        x, y, width, height = self.wait_tray_icon()
        self.session.xdotool("mousemove", str(x + width // 2), str(y + height // 2))
        time.sleep(0.2)

    def tray_tooltip(self, timeout=8):
        """Hovers over the tray icon and reads the tool tip Qt shows for it."""
        # Move away first so the tool tip shows afresh.
        self.session.xdotool("mousemove", "5", "700")
        time.sleep(0.3)
        self._point_at_tray()

        def tip():
            for window in self.top_levels():
                if window.getRoleName() == "tool tip" and self.showing(window) and window.name:
                    return window.name
            return None
        text = wait_for(tip, timeout, "the tray tool tip")
        self.session.xdotool("mousemove", "5", "700")
        return text

    def tray_double_click(self):
        self._point_at_tray()
        self.session.xdotool("click", "--repeat", "2", "--delay", "80", "1")

    def tray_menu(self, keys):
        """Opens the tray menu with a right click and picks an item with the keyboard
        (the menu is not on the accessibility bus)."""
        self._point_at_tray()
        before = set(self.visible_windows())
        self.session.xdotool("click", "3")
        wait_for(lambda: set(self.visible_windows()) - before, 5, "the tray menu to open")
        time.sleep(0.2)
        self.session.xdotool("key", "--delay", "80", *keys)

    def open_tray_menu(self):
        """Right-clicks the tray icon; returns the id of the menu's window once it shows."""
        self._point_at_tray()
        before = set(self.visible_windows())
        self.session.xdotool("click", "3")
        opened = wait_for(lambda: set(self.visible_windows()) - before, 5, "the tray menu to open")
        time.sleep(0.3)  # let the menu paint before it is read
        return sorted(opened)[0]

    def menu_item_states(self, window_id, picture):
        """Reads an open menu from a picture of its window (the menu is not on the
        accessibility bus): one entry per item, top to bottom, True when its text is drawn
        dark, False when greyed. Separators are single lines and do not count."""
        run(["import", "-window", window_id, picture], env=self.session.env, timeout=20, check=True)
        # Inside the menu's frame only: the frame is a dark line along every row.
        out = run(["convert", picture, "-shave", "4x4", "-colorspace", "gray", "-depth", "8", "txt:-"],
                  timeout=20, check=True)
        darkest = {}
        for line in out.splitlines():
            match = re.match(r"\s*(\d+),(\d+):.*#([0-9A-Fa-f]{2})", line)
            if match:
                y, gray = int(match.group(2)), int(match.group(3), 16)
                darkest[y] = min(darkest.get(y, 255), gray)
        items, band = [], []
        for y in sorted(darkest) + [None]:
            if y is not None and darkest[y] < 200:  # text of either kind, darker than the menu
                band.append(darkest[y])
                continue
            if len(band) >= 4:  # a line of text, not a separator
                items.append(min(band) < 120)
            band = []
        return items

    # -- system proxy settings (the keyfile of this run) --------------------------------
    def gsettings(self, schema, key):
        return run(["gsettings", "get", schema, key], env=self.env).strip()

    def system_proxy(self):
        return {
            "mode": self.gsettings("org.gnome.system.proxy", "mode"),
            "host": self.gsettings("org.gnome.system.proxy.socks", "host"),
            "port": self.gsettings("org.gnome.system.proxy.socks", "port"),
        }

    def set_gsettings(self, schema, key, value):
        """Writes one key into this run's keyfile, as the desktop's settings panel would."""
        run(["gsettings", "set", schema, key, value], env=self.env, check=True)

    def system_proxy_listing(self):
        """Every key of org.gnome.system.proxy and its child schemas (http, https, ftp, socks),
        one "schema key value" line each, sorted."""
        out = run(["gsettings", "list-recursively", "org.gnome.system.proxy"], env=self.env, check=True)
        return sorted(line for line in out.splitlines() if line.strip())


def fail(text):
    print(f"FAIL: {text}", file=sys.stderr, flush=True)
    sys.exit(1)
