#!/usr/bin/python3
"""The dashboard's figure: how far `vornhost control --http` polls from its
schedule while clients crowd its server. Runs the control loop twice on the
simulated controller, one poll a second: quiet, then with 200 connections
held open that send nothing (each one the server closes is opened again a
second later) and a client asking /api/status 20 times a second. Prints the
lateness of the polls in both runs (each poll's start against a steady
schedule through the earliest poll, at the loop's own clock rate), their
ratio, what the clients got, and whether
the server answered once the crowd had gone. Target: no poll more than 50 ms
off its schedule under the crowd.

Usage: dashboardLoad.py BUILD_DIR [POLLS]"""
import datetime
import http.client
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "host"))
import devtools  # noqa: E402  (its free_port)

BUILD = sys.argv[1] if len(sys.argv) > 1 else "."
POLLS = int(sys.argv[2]) if len(sys.argv) > 2 else 60
TARGET_MS = 50
CONFIG = {"interval": 1, "device": {"number": 0},
          "fans": [{"fan": 0, "sensors": ["digital3", "digital4"], "points": [[30, 25], [45, 50], [55, 100]]},
                   {"fan": 1, "sensors": ["analog0", "analog1"], "points": [[25, 30], [50, 100]]}]}


def status(port):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
    try:
        connection.request("GET", "/api/status")
        return connection.getresponse().status
    except OSError:
        return None
    finally:
        connection.close()


class Crowd:
    """200 silent connections kept open, and a client polling /api/status."""

    def __init__(self, port):
        self.port, self.running = port, True
        self.answers = {}
        self.reopened = 0
        self.threads = [threading.Thread(target=self.hold), threading.Thread(target=self.ask)]
        for t in self.threads:
            t.start()

    def hold(self):
        crowd = []
        while self.running:
            crowd = [s for s in crowd if not self.closed(s)]
            while len(crowd) < 200:
                try:
                    crowd.append(socket.create_connection(("127.0.0.1", self.port), timeout=5))
                    self.reopened += 1
                except OSError:
                    break
            time.sleep(1)
        for s in crowd:
            s.close()

    @staticmethod
    def closed(s):
        """True, and the socket closed, once the server has answered or closed it."""
        s.setblocking(False)
        try:
            s.recv(65536)
        except BlockingIOError:
            return False
        except OSError:
            pass
        s.close()
        return True

    def ask(self):
        next_at = time.monotonic()
        while self.running:
            answer = status(self.port)
            self.answers[answer] = self.answers.get(answer, 0) + 1
            next_at += 0.05
            time.sleep(max(0, next_at - time.monotonic()))

    def stop(self):
        self.running = False
        for t in self.threads:
            t.join()


def run(config_path, crowded):
    port = devtools.free_port()
    env = dict(os.environ)
    env.pop("VORNSIM_SHARED", None)
    windows_path = os.path.relpath(config_path, BUILD).replace("/", "\\")
    with tempfile.TemporaryFile() as out:
        control = subprocess.Popen(["wine", "vornhost.exe", "control", "--config", windows_path, "--json", "--count",
                                    str(POLLS), "--http", str(port)], cwd=BUILD, env=env, stdout=out,
                                   stderr=subprocess.DEVNULL)
        while status(port) != 200:
            if control.poll() is not None:
                raise RuntimeError("vornhost control ended before its dashboard answered")
            time.sleep(0.2)
        crowd = Crowd(port) if crowded else None
        # The crowd leaves some polls before the end: the server must answer then.
        time.sleep(POLLS - 8)
        answered_after = None
        if crowd:
            crowd.stop()
            left = time.monotonic()
            while status(port) != 200 and time.monotonic() - left < 15:
                time.sleep(0.1)
            answered_after = time.monotonic() - left if time.monotonic() - left < 15 else None
        control.wait(timeout=120)
        out.seek(0)
        polls = [json.loads(line) for line in out.read().decode("utf-8").splitlines() if line.strip()]
    starts = [datetime.datetime.fromisoformat(p["time"].replace("Z", "+00:00")).timestamp()
              for p in polls if "fans" in p and "exit" not in p]
    late = lateness(starts)
    return {"polls": len(starts), "worst": late[-1], "p95": late[int(len(late) * 0.95) - 1],
            "drift": (slope(starts) - 1) * 1e6, "crowd": crowd, "answered_after": answered_after}


def slope(starts):
    """Seconds of the wall clock per interval of the loop's schedule: the
    loop keeps time by the tick count, the poll's time is the wall clock's,
    and the two may run at rates apart by some hundreds of ppm."""
    n = len(starts)
    mean_k, mean_t = (n - 1) / 2, sum(starts) / n
    return sum((k - mean_k) * (t - mean_t) for k, t in enumerate(starts)) / sum((k - mean_k) ** 2 for k in range(n))


def lateness(starts):
    """Each poll's lateness in ms, sorted: its start against a steady schedule
    at the loop's own rate through the earliest poll."""
    rate = slope(starts)
    offsets = [(t - starts[0] - k * rate) * 1000 for k, t in enumerate(starts)]
    return sorted(o - min(offsets) for o in offsets)


def main():
    with tempfile.TemporaryDirectory(dir=BUILD) as folder:
        config = os.path.join(folder, "fans.json")
        with open(config, "w") as f:
            json.dump(CONFIG, f)
        quiet = run(config, False)
        crowded = run(config, True)
    print(f"dashboard under a crowd: {POLLS} polls a run, one a second, on {os.uname().nodename}, "
          f"{datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC")
    print(f"{'':34}{'quiet':>10}{'crowded':>10}{'ratio':>8}")
    for key, name in (("worst", "worst poll off schedule (ms)"), ("p95", "95th percentile (ms)")):
        ratio = crowded[key] / quiet[key] if quiet[key] else float("inf")
        print(f"{name:34}{quiet[key]:10.1f}{crowded[key]:10.1f}{ratio:8.2f}")
    print(f"{'loop clock vs wall clock (ppm)':34}{quiet['drift']:10.0f}{crowded['drift']:10.0f}")
    crowd = crowded["crowd"]
    answers = ", ".join(f"{k or 'no answer'}: {v}" for k, v in sorted(crowd.answers.items(), key=str))
    print(f"/api/status at 20 a second under the crowd: {answers}")
    print(f"connections opened by the crowd: {crowd.reopened}")
    after = crowded["answered_after"]
    print("answered once the crowd had gone: " + (f"after {after * 1000:.0f} ms" if after is not None else "NO"))
    met = crowded["worst"] <= TARGET_MS and after is not None and crowded["polls"] == POLLS
    print(f"target: every poll within {TARGET_MS} ms of its schedule under the crowd: {'met' if met else 'MISSED'}")


if __name__ == "__main__":
    main()
