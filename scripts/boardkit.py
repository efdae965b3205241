"""The pieces of a shop around the board, for the board's browser test, its
benchmark and its screenshots: simulated controllers (vexa-sim), program
nodes (vexa-assistant --headless on a Configure.xml of their own), a
mosquitto broker and headless Chromium. Everything listens on loopback; the
Modbus TCP port is 502, so run as root in a network namespace of its own (as
the tests and scripts/bench.sh do).

Every process started here is stopped by Shop.close(), with the newest first.
"""

import http.client
import ipaddress
import json
import os
import queue
import shutil
import socket
import subprocess
import tempfile
import threading
import time
from xml.sax.saxutils import quoteattr


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_until(condition, timeout, what):
    """Polls condition (every 50 ms) until it returns something true."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise TimeoutError("not within %.0f s: %s" % (timeout, what))
        time.sleep(0.05)


def request(port, path, method="GET", headers=None, host="127.0.0.1"):
    """One request straight to the node (no proxy): (status, headers, body)."""
    connection = http.client.HTTPConnection(host, port, timeout=10)
    try:
        connection.request(method, path, headers=headers or {})
        response = connection.getresponse()
        return response.status, dict(response.getheaders()), response.read()
    finally:
        connection.close()


def address_at(first, index):
    """The address vexa-sim --count gives the controller with this index."""
    return str(ipaddress.IPv4Address(first) + index)


class Lines:
    """A process's output, line by line, read by a thread of its own."""

    def __init__(self, stream):
        self.lines = []
        self.queue = queue.Queue()
        self._lock = threading.Lock()
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for raw in stream:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            with self._lock:
                self.lines.append(line)
            self.queue.put(line)

    def wait_for(self, text, timeout, process):
        def seen():
            with self._lock:
                if any(text in line for line in self.lines):
                    return True
            if process.poll() is not None:
                raise RuntimeError("exited (%s) before %r:\n%s" % (process.returncode, text, "\n".join(self.lines)))
            return False

        wait_until(seen, timeout, repr(text))


class Simulator:
    """vexa-sim with --control: states are set from here, and each change's
    first status read by the program is reported back."""

    def __init__(self, shop, args, control=True):
        self.process = shop.start([shop.sim, "--port", "502"] + (["--control"] if control else []) + args,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.output = Lines(self.process.stdout)
        self.output.wait_for("listening", 30, self.process)

    def set_state(self, index, state):
        self.process.stdin.write(b"%d %s\n" % (index, state.encode()))
        self.process.stdin.flush()


class Node:
    """vexa-assistant --headless in a folder of its own."""

    def __init__(self, shop, name, devices=(), web_port=None, source="fleet", mqtt_port=None, english=False,
                 token=None, publish=True):
        folder = os.path.join(shop.dir, name)
        os.makedirs(folder)
        xml = ['<?xml version="1.0" encoding="UTF-8"?>', "<Configure>"]
        for device in devices:  # (name, address, Id)
            xml.append('<Device Type="1" Name=%s Model="0" IP="%s" Address="10" Id=%s/>'
                       % (quoteattr(device[0]), device[1], quoteattr(device[2])))
        xml.append('<Modbus Port="COM3" Parity="3" BaudRate="115200" DataBits="8" StopBits="1" '
                   'NumberOfRetries="3" Timeout="300"/>')
        if mqtt_port:
            # A board-only node reads the broker without publishing: Enabled="0".
            xml.append('<Mqtt Enabled="%d" Host="127.0.0.1" Port="%d" Prefix="vexa"/>' % (publish, mqtt_port))
        if web_port:
            xml.append('<Web Enabled="1" Listen="127.0.0.1" Port="%d" Source="%s" TokenFile=""/>'
                       % (web_port, source))
        xml.append('<Set Language="%d"/>' % (1 if english else 0))
        xml.append("</Configure>")
        with open(os.path.join(folder, "Configure.xml"), "w", encoding="utf-8") as file:
            file.write("\n".join(xml) + "\n")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        env.pop("VEXA_WEB_TOKEN", None)
        if token:
            env["VEXA_WEB_TOKEN"] = token
        self.port = web_port
        self.token = token
        self.log = open(os.path.join(folder, "node.log"), "wb")
        self.process = shop.start([shop.assistant, "--headless"], cwd=folder, env=env, stdout=self.log,
                                  stderr=subprocess.STDOUT)
        self.log_path = self.log.name

    def url(self, path="/"):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def fleet(self):
        headers = {"Authorization": "Bearer " + self.token} if self.token else {}
        status, _, body = request(self.port, "/api/fleet", headers=headers)
        return json.loads(body) if status == 200 else None

    def wait_for_fleet(self, condition, timeout, what):
        """Waits until condition(the /api/fleet array) holds; returns the array."""
        def check():
            if self.process.poll() is not None:
                with open(self.log_path, "rb") as log:
                    raise RuntimeError("the node exited (%s):\n%s" % (self.process.returncode,
                                                                     log.read().decode("utf-8", "replace")))
            try:
                machines = self.fleet()
            except OSError:
                return None
            return machines if machines is not None and condition(machines) else None

        return wait_until(check, timeout, what)


class Shop:
    def __init__(self, assistant, sim, mosquitto="mosquitto"):
        self.assistant, self.sim = os.path.abspath(assistant), os.path.abspath(sim)
        self.mosquitto = shutil.which(mosquitto, path="/usr/sbin:/usr/bin:" + os.environ.get("PATH", "")) or mosquitto
        self.dir = tempfile.mkdtemp(prefix="vexa-board-")
        self.processes = []

    def start(self, args, **kwargs):
        process = subprocess.Popen(args, **kwargs)
        self.processes.append(process)
        return process

    def simulator(self, *args, control=True):
        return Simulator(self, list(args), control)

    def node(self, name, **kwargs):
        return Node(self, name, **kwargs)

    def broker(self):
        port = free_port()
        conf = os.path.join(self.dir, "broker.conf")
        with open(conf, "w") as file:
            file.write("listener %d 127.0.0.1\nallow_anonymous true\n" % port)
        process = self.start([self.mosquitto, "-c", conf], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        Lines(process.stdout).wait_for(" running", 10, process)
        return port

    def stop(self, process):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(15)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def close(self):
        for process in reversed(self.processes):
            self.stop(process)
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def chromium_missing():
    """Why the browser cannot run here, or None."""
    try:
        import selenium  # noqa: F401
    except ImportError:
        return "python3-selenium is not installed"
    for program in ("chromium", "chromedriver"):
        if not shutil.which(program):
            return "%s is not installed (Debian: chromium, chromium-driver)" % program
    return None


def browser(width=1280, height=800, profile=None):
    """Headless Chromium through chromedriver, with the console kept."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for flag in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                 "--no-proxy-server", "--no-first-run", "--hide-scrollbars", "--force-device-scale-factor=1",
                 "--window-size=%d,%d" % (width, height), "--lang=en-US"):
        options.add_argument(flag)
    if profile:
        options.add_argument("--user-data-dir=" + profile)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
