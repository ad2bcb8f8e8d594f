#!/usr/bin/env python3
"""vornhost control's dashboard as a user and as an attacker meet it, with
`control --http` under Wine against the simulator's ramp (fan 0's hottest
sensor climbs to its critical temperature): the page in Debian's Chromium
shows the fans' duties and reasons and follows the polls without a reload;
the API and the metrics parse with real parsers; hostile clients get clear
answers, and afterwards the server answers and the controller got every
duty on time. Leaves the page's screenshot in BUILD_DIR/dashboard.png.

Usage: dashboardTest.py BUILD_DIR"""
import datetime
import http.client
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from prometheus_client.parser import text_string_to_metric_families  # Debian's python3-prometheus-client

import devtools

BUILD = sys.argv.pop(1) if len(sys.argv) > 1 else "."
POLLS = 70
CONFIG = {
    "interval": 1,
    "device": {"number": 0},
    "fans": [
        {"fan": 0, "sensors": ["digital3", "digital4"], "points": [[30, 25], [45, 50], [55, 100]], "critical": 60,
         "onExit": 60},
        {"fan": 1, "sensors": ["analog0", "analog1"], "points": [[25, 30], [50, 100]]},
    ],
}
RAMP = "digital4:50:25:15,digital3:25:62:40"
DRIVES = {"digital3": "0", "digital4": "0", "analog0": "1", "analog1": "1"}


def fetch(port, path, method="GET", headers=None, host=None):
    """(status, headers, body) of one request, with its own Host if given."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=15)
    try:
        connection.putrequest(method, path, skip_host=host is not None, skip_accept_encoding=True)
        if host is not None:
            for name in host if isinstance(host, list) else [host]:
                connection.putheader("Host", name)
        for name, value in (headers or {}).items():
            connection.putheader(name, value)
        connection.endheaders()
        response = connection.getresponse()
        return response.status, {k.lower(): v for k, v in response.getheaders()}, response.read()
    finally:
        connection.close()


def answers(sock, seconds=15):
    """The status of each answer the server sends before it closes."""
    sock.settimeout(seconds)
    data = b""
    try:
        while True:
            got = sock.recv(65536)
            if not got:
                break
            data += got
    except (ConnectionResetError, socket.timeout):
        pass
    return [int(line.split()[1]) for line in data.split(b"\r\n") if line.startswith(b"HTTP/1.1 ")]


def closed_within(sock, seconds):
    """True when the server closes the connection within `seconds`."""
    sock.settimeout(seconds)
    try:
        while sock.recv(65536):
            pass
        return True
    except ConnectionResetError:
        return True
    except socket.timeout:
        return False


class Dashboard(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory(dir=BUILD)
        config = os.path.join(cls.dir.name, "fans.json")
        with open(config, "w") as f:
            json.dump(CONFIG, f)
        cls.port = devtools.free_port()
        env = dict(os.environ, VORNSIM_RAMP=RAMP)
        env.pop("VORNSIM_SHARED", None)
        cls.out = open(os.path.join(cls.dir.name, "control.jsonl"), "w+b")
        cls.err = open(os.path.join(cls.dir.name, "control.err"), "w+b")
        cls.control = subprocess.Popen(
            ["wine", "vornhost.exe", "control", "--config", os.path.relpath(config, BUILD).replace("/", "\\"),
             "--json", "--count", str(POLLS), "--http", str(cls.port)], cwd=BUILD, env=env, stdout=cls.out,
            stderr=cls.err)
        deadline = time.monotonic() + 90
        while time.monotonic() < deadline:
            try:
                status, _, body = fetch(cls.port, "/api/status")
                if status == 200 and json.loads(body)["poll"] is not None:
                    break
            except OSError:
                pass
            time.sleep(0.25)
        else:
            cls.control.kill()
            cls.err.seek(0)
            raise RuntimeError("the dashboard did not answer: " + cls.err.read().decode("latin-1"))
        cls.url = f"http://localhost:{cls.port}/"
        cls.browser = devtools.Browser(1280, 800)

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        if cls.control.poll() is None:
            cls.control.kill()
        cls.control.wait(timeout=60)
        cls.out.close()
        cls.err.close()
        cls.dir.cleanup()

    def page_fans(self):
        return self.browser.evaluate("""JSON.stringify({
            time: document.querySelector('#updated') && document.querySelector('#updated').dataset.time,
            fans: [...document.querySelectorAll('#fans tr.fan')].map(r => ({
                fan: r.dataset.fan, reason: r.querySelector('.reason').textContent,
                duty: r.querySelector('.duty').textContent, target: r.querySelector('.target').textContent}))})""")

    def test_1_the_page_shows_each_fan_and_follows_the_polls(self):
        self.browser.open(self.url)
        self.assertTrue(self.browser.wait_for("document.querySelectorAll('#fans tr.fan').length == 2 && "
                                              "document.querySelector('#chart svg') != null", 30))
        seen = [json.loads(self.page_fans())]
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline and len({s["time"] for s in seen}) < 4:
            time.sleep(0.3)
            seen.append(json.loads(self.page_fans()))
        times = sorted({s["time"] for s in seen})
        self.assertGreaterEqual(len(times), 4, "the page did not follow the polls")
        for state in seen:
            self.assertEqual([f["fan"] for f in state["fans"]], ["0", "1"])
            for fan in state["fans"]:
                self.assertRegex(fan["duty"], r"^\d+ %")
                self.assertRegex(fan["target"], r"^\d+ %")
                self.assertIn(fan["reason"].split()[0], ("curve", "hysteresis", "step", "start", "critical"))
        # Fan 0's sensor climbs: its duty or target changes from poll to poll.
        self.assertGreater(len({json.dumps(s["fans"]) for s in seen}), 1)
        # The page is the last poll's: the page's reasons are /api/status's.
        polled = json.loads(fetch(self.port, "/api/status")[2])["poll"]
        state = json.loads(self.page_fans())
        if state["time"] == polled["time"]:
            self.assertEqual([f["reason"].split()[0] for f in state["fans"]], [f["reason"] for f in polled["fans"]])
        marked = self.browser.evaluate(
            "Object.fromEntries([...document.querySelectorAll('#temperatures .sensor.drives')]"
            ".map(s => [s.dataset.sensor, s.dataset.fans]))")
        self.assertEqual(marked, DRIVES)
        self.assertEqual(self.browser.evaluate("document.querySelectorAll('#temperatures .sensor').length"), 14)
        self.assertTrue(self.browser.evaluate("document.querySelectorAll('#chart svg .series.drives').length == 4"))
        foreign = [u for u in self.browser.requested() if not u.startswith(self.url) and not u.startswith("data:")]
        self.assertEqual(foreign, [], "the page asked another host")

    def test_2_the_api_and_the_metrics_parse(self):
        # Asked by another site's page: refused, and never with CORS headers.
        for header in ({"Origin": "http://evil.example"}, {"Sec-Fetch-Site": "cross-site"},
                       {"Sec-Fetch-Site": "same-site"}, {"Origin": f"http://localhost:{self.port + 1}"}):
            status, headers, _ = fetch(self.port, "/api/status", headers=header)
            self.assertEqual(status, 403, header)
            self.assertFalse([h for h in headers if h.startswith("access-control")], headers)
        status, headers, body = fetch(self.port, "/api/status", headers={"Sec-Fetch-Site": "same-origin",
                                                                         "Origin": f"http://localhost:{self.port}"})
        self.assertEqual(status, 200)
        self.assertTrue(headers["content-type"].startswith("application/json"))
        poll = json.loads(body)["poll"]
        self.assertEqual([f["fan"] for f in poll["fans"]], [0, 1])
        status, _, body = fetch(self.port, "/api/history?minutes=5")
        self.assertEqual(status, 200)
        history = json.loads(body)
        self.assertEqual((history["minutes"], history["source"]), (5, "memory"))
        self.assertGreaterEqual(len(history["polls"]), 5)
        self.assertEqual(len(history["polls"][-1]["temperatures"]), 14)
        for bad in ("0", "1441", "abc", "5.5", "-3"):
            self.assertEqual(fetch(self.port, "/api/history?minutes=" + bad)[0], 400, bad)
        status, headers, body = fetch(self.port, "/metrics")
        self.assertEqual(status, 200)
        families = {f.name: f for f in text_string_to_metric_families(body.decode("utf-8"))}
        temperatures = {s.labels["sensor"]: s.value for s in families["vorn_temperature_celsius"].samples}
        self.assertEqual(len(temperatures), 14)
        self.assertEqual(sorted(s.labels["fan"] for s in families["vorn_fan_target_percent"].samples), ["0", "1"])
        reasons = [s for s in families["vorn_fan_reason"].samples if s.value == 1]
        self.assertEqual(sorted(s.labels["fan"] for s in reasons), ["0", "1"])
        # HEAD: the headers of GET, no body; anything else is refused by name.
        status, headers, body = fetch(self.port, "/", method="HEAD")
        self.assertEqual((status, body), (200, b""))
        self.assertIn("default-src 'none'", headers["content-security-policy"])
        for method in ("POST", "PUT", "DELETE", "OPTIONS"):
            status, headers, _ = fetch(self.port, "/api/status", method=method)
            self.assertEqual((status, headers.get("allow")), (405, "GET, HEAD"), method)
        # Bound to the loopback address alone: the kernel's table of sockets.
        with open("/proc/net/tcp") as f:
            listening = [line.split()[1] for line in f.readlines()[1:] if line.split()[3] == "0A"]
        self.assertIn(f"0100007F:{self.port:04X}", listening)
        self.assertNotIn(f"00000000:{self.port:04X}", listening)

    def test_3_hostile_clients_get_clear_answers_and_change_nothing(self):
        for host in ("evil.example", f"evil.example:{self.port}", f"localhost:{self.port + 1}",
                     ["localhost", "evil.example"], "127.0.0.1.evil.example"):
            self.assertEqual(fetch(self.port, "/api/status", host=host)[0], 421, host)
        for host in ("localhost", f"LocalHost:{self.port}", f"127.0.0.1:{self.port}"):
            self.assertEqual(fetch(self.port, "/api/status", host=host)[0], 200, host)
        # A megabyte of header: 431, the connection closed.
        with socket.create_connection(("127.0.0.1", self.port), timeout=15) as s:
            try:
                s.sendall(b"GET / HTTP/1.1\r\nHost: localhost\r\nX-Big: " + b"a" * (1 << 20) + b"\r\n\r\n")
            except OSError:
                pass  # closed before all of it was taken
            self.assertEqual(answers(s), [431])
        # A refused request's body is never read as a request of its own.
        smuggled = b"GET /api/status HTTP/1.1\r\nHost: localhost\r\n\r\n"
        with socket.create_connection(("127.0.0.1", self.port), timeout=15) as s:
            s.sendall(b"POST /api/status HTTP/1.1\r\nHost: localhost\r\nContent-Length: %d\r\n\r\n%s"
                      % (len(smuggled), smuggled))
            self.assertEqual(answers(s), [405])
        # A path longer than a request line may be, and a request head
        # longer than the server reads at all.
        self.assertEqual(fetch(self.port, "/" + "a" * 10000)[0], 414)
        self.assertEqual(fetch(self.port, "/" + "a" * 20000)[0], 431)
        # Silence, and a request dripped a byte every half second: each
        # connection ends within the idle time (5 s) or the request's time
        # (3 s from its first byte), not when the client likes.
        silent = socket.create_connection(("127.0.0.1", self.port))
        dripping = socket.create_connection(("127.0.0.1", self.port))
        started = time.monotonic()
        for byte in b"GET / HTTP/1.1\r\nHost: localhost\r\nX-Slow: " + b"a" * 60:
            try:
                dripping.send(bytes([byte]))
            except OSError:
                break
            if closed_within(dripping, 0.5):
                break
        dripped = time.monotonic() - started
        self.assertLess(dripped, 8, "a dripping request was kept")
        self.assertTrue(closed_within(silent, 10 - dripped), "a silent connection was kept")
        silent.close()
        dripping.close()
        # 200 connections at once, all silent: a request meanwhile gets its
        # answer or a clear 503, at once; when they go, the server answers.
        crowd = [socket.create_connection(("127.0.0.1", self.port), timeout=15) for _ in range(200)]
        status, _, body = fetch(self.port, "/api/status")
        self.assertIn(status, (200, 503), body)
        refused = [answers(s, 0.05) for s in crowd]
        self.assertIn([503], refused)
        for s in crowd:
            s.close()
        deadline = time.monotonic() + 10
        while fetch(self.port, "/api/status")[0] != 200:
            self.assertLess(time.monotonic(), deadline, "the server does not answer after the crowd")
            time.sleep(0.2)

    def test_4_an_alarm_shows_on_the_page(self):
        critical = self.browser.wait_for(
            "[...document.querySelectorAll('#alarms li.alarm')].map(a => a.dataset.alarm).join(' ')", 60)
        self.assertIn("critical-entered", critical or "")
        reason = self.browser.evaluate("document.querySelector('#fans tr.fan[data-fan=\"0\"]').dataset.reason")
        self.assertEqual(reason, "critical")
        type(self).rows = json.loads(fetch(self.port, "/api/history?minutes=10")[2])["polls"]
        # The page as a user sees it, with its chart and an alarm: kept.
        shot = os.path.join(BUILD, "dashboard.png")
        self.browser.screenshot(shot)
        with open(shot, "rb") as f:
            header = f.read(24)
        self.assertEqual(header[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual((int.from_bytes(header[16:20], "big"), int.from_bytes(header[20:24], "big")), (1280, 800))

    def test_5_the_controller_got_every_duty_on_time(self):
        rows = self.rows  # the run's polls up to the alarm, as /api/history gave them
        self.control.wait(timeout=POLLS + 60)
        self.assertEqual(self.control.returncode, 0)
        self.out.seek(0)
        polls = [json.loads(line) for line in self.out.read().decode("utf-8").splitlines() if line.strip()]
        polls = [p for p in polls if "fans" in p and "exit" not in p]
        self.assertEqual(len(polls), POLLS)
        for poll in polls:
            self.assertIsNone(poll["error"])
            for fan in poll["fans"]:
                self.assertNotIn("sendError", fan, poll)
        # No poll put off by a whole interval: no client held the loop up
        # (how close they keep to their schedule is scripts/bench dashboard's).
        seconds = [datetime.datetime.fromisoformat(p["time"].replace("Z", "+00:00")).timestamp() for p in polls]
        offsets = [s - seconds[0] - i for i, s in enumerate(seconds)]
        self.assertLess(max(offsets) - min(offsets), 1.0, offsets)
        # What the controller's frame shows at each poll is the duty decided
        # at the one before.
        targets = {p["time"]: [f["target"] for f in p["fans"]] for p in polls}
        for before, after in zip(rows, rows[1:]):
            for fan in (0, 1):
                decided = targets[before["time"]][fan]
                shown = after["duties"][f"fan{fan}"]
                self.assertLessEqual(abs(shown - decided), 2, (before["time"], fan, decided, shown))


if __name__ == "__main__":
    unittest.main()
