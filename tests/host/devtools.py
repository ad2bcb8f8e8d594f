"""Debian's Chromium, headless, steered over the DevTools protocol: a page
loaded, expressions evaluated in it, the requests it made and a screenshot.
A fresh profile each time, and nothing that would reach beyond this
computer (no sync, no component updates, no background requests)."""
import base64
import json
import shutil
import socket
import subprocess
import tempfile
import time
import urllib.request

import websocket  # Debian's python3-websocket

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-extensions", "--hide-scrollbars", "--mute-audio"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Browser:
    def __init__(self, width, height):
        self.profile = tempfile.mkdtemp(prefix="vorn-chromium-")
        port = free_port()
        self.process = subprocess.Popen(
            ["chromium"] + FLAGS + [f"--user-data-dir={self.profile}", f"--remote-debugging-port={port}",
                                    f"--window-size={width},{height}", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while True:
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=5) as answer:
                    pages = [t for t in json.load(answer) if t["type"] == "page"]
                if pages:
                    break
            except OSError:
                pass
            if time.monotonic() > deadline or self.process.poll() is not None:
                self.close()
                raise RuntimeError("Chromium's DevTools did not answer")
            time.sleep(0.2)
        self.socket = websocket.create_connection(pages[0]["webSocketDebuggerUrl"], timeout=30,
                                                  suppress_origin=True)
        self.next_id = 0
        self.events = []
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=1,
                  mobile=False)
        self.call("Network.enable")
        self.call("Page.enable")

    def call(self, method, **params):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message["result"]
            self.events.append(message)

    def open(self, url):
        self.call("Page.navigate", url=url)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, expression, seconds):
        """The expression's value once it is truthy; None after `seconds`."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.1)
        return None

    def requested(self):
        """Every URL the page asked for."""
        return [e["params"]["request"]["url"] for e in self.events if e.get("method") == "Network.requestWillBeSent"]

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def close(self):
        if getattr(self, "socket", None):
            self.socket.close()
        self.process.kill()
        self.process.wait(timeout=30)
        shutil.rmtree(self.profile, ignore_errors=True)
