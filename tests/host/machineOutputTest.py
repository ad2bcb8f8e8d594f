#!/usr/bin/env python3
"""vornhost's machine-readable output, read by real parsers (Python's json
and csv modules): every document and every line parses, and the fields and
types are the ones README.md documents. Runs vornhost.exe under Wine against
the simulated controller, with a foreign FTDI device as number 0 where the
listing is concerned.

Usage: machineOutputTest.py BUILD_DIR"""
import csv
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

BUILD = sys.argv.pop(1) if len(sys.argv) > 1 else "."
KEY = r"HKCU\Software\Orvendel\Plugins\VORN"
TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
OPEN_REFUSED = "FT_OpenEx: Can't open requested device."
NO_REPLY = "FT_Read: Didn't get all the data."


def wine(args, devices=None, exe="vornhost.exe", cwd=BUILD, timeout=90):
    env = dict(os.environ)
    env.pop("VORNSIM_SHARED", None)
    env.pop("VORNSIM_DEVICES", None)
    if devices:
        env["VORNSIM_DEVICES"] = devices
    run = subprocess.run(["wine", exe] + args, cwd=cwd, env=env, capture_output=True, timeout=timeout)
    return run.returncode, run.stdout.decode("utf-8").replace("\r\n", "\n"), run.stderr.decode("latin-1")


def settings(device):
    for name, value in (("Device ID", device), ("Refresh Rate", 1)):
        subprocess.run(["wine", "reg", "add", KEY, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f"],
                       capture_output=True, check=True, timeout=60)


def is_int(value):
    return isinstance(value, int) and not isinstance(value, bool)


class Reading:
    """Checks of the reading members, the same in watch and read-device."""

    @staticmethod
    def check(test, doc):
        test.assertIsNone(doc["error"])
        for key, count in (("digitalTemp", 8), ("analogTemp", 6)):
            test.assertEqual([t["sensor"] for t in doc[key]], list(range(count)))
            for t in doc[key]:
                test.assertIsInstance(t["celsius"], (int, float))
                test.assertTrue(20 <= t["celsius"] <= 50, t)
        test.assertEqual([f["fan"] for f in doc["fans"]], [0, 1, 2, 3])
        for f in doc["fans"]:
            test.assertEqual(sorted(f), ["dutyPercent", "fan", "manual", "maxRpm", "rpm"])
            test.assertTrue(all(is_int(v) for v in f.values()), f)
        # The simulated controller's fan 2: manual, full duty, 2394 RPM at most.
        test.assertEqual(doc["fans"][2], {"fan": 2, "dutyPercent": 100, "rpm": 2394, "maxRpm": 2394, "manual": 1})


class JsonOutput(unittest.TestCase):
    def test_awkward_strings_and_numbers_read_back_exactly(self):
        code, out, err = wine([], exe="jsonprobe.exe")
        self.assertEqual(code, 0, err)
        doc = json.loads(out)
        self.assertEqual(doc["quote\"back\\slash"], "tab\tnew\nline\r\x01\x1f end")
        self.assertEqual(doc["latin1"], "\u00b0C \u00e9\u00ff")
        self.assertEqual(doc["numbers"], [0.0, -64.0, 30.5, 0.1, 1.0 / 3.0, 1e300, -2.5e-300, 4294967296.0])
        self.assertEqual(doc["notFinite"], [None, None])
        self.assertEqual(doc["integers"], [-2147483648, 9007199254740993])
        self.assertEqual(doc["empty"], {})
        self.assertEqual(doc["nested"], [[], {"a": None}])
        self.assertEqual(doc["flags"], [True, False])


class ListDevices(unittest.TestCase):
    def test_probe_picks_out_the_controller_behind_a_foreign_device(self):
        code, out, err = wine(["list-devices", "--probe", "--json"], devices="foreign,controller")
        self.assertEqual(code, 0, err)
        doc = json.loads(out)
        self.assertIs(doc["probed"], True)
        foreign, controller = doc["devices"]
        self.assertEqual(foreign, {"device": 0, "serial": "FTX00000", "description": "USB Serial Converter",
                                   "location": 0x2111, "inUse": False, "controller": False,
                                   "probeError": NO_REPLY})
        self.assertEqual(controller["device"], 1)
        self.assertEqual(controller["serial"], "VORN0001")
        self.assertIs(controller["controller"], True)
        self.assertIsNone(controller["probeError"])
        self.assertEqual(doc["controllers"], [{"device": 1, "serial": "VORN0001"}])

    def test_without_probe_nothing_is_asked(self):
        code, out, err = wine(["list-devices", "--json"], devices="foreign,controller")
        self.assertEqual(code, 0, err)
        doc = json.loads(out)
        self.assertIs(doc["probed"], False)
        self.assertEqual([(d["device"], d["controller"], d["probeError"]) for d in doc["devices"]],
                         [(0, None, None), (1, None, None)])
        self.assertEqual(doc["controllers"], [])
        code, out, _ = wine(["list-devices"], devices="foreign,controller")
        self.assertEqual(code, 0)
        self.assertRegex(out, r"\n1 +VORN0001 +Vorncontrol +0x2121 +free\n")

    def test_a_library_without_the_list_functions_is_named_an_old_driver(self):
        # oldbridge/ holds vornhost.exe beside an FTD2XX.dll without them.
        code, out, err = wine(["list-devices"], exe="vornhost.exe", cwd=os.path.join(BUILD, "oldbridge"))
        self.assertEqual(code, 1, out + err)
        self.assertIn("an old driver", err)


class ReadDevice(unittest.TestCase):
    def test_serial_number_resolves_to_the_controller(self):
        code, out, err = wine(["read-device", "--serial", "VORN0001", "--json"], devices="foreign,controller")
        self.assertEqual(code, 0, err)
        doc = json.loads(out)
        self.assertEqual(doc["device"], 1)
        Reading.check(self, doc)

    def test_failures_are_the_plugins_texts(self):
        code, out, _ = wine(["read-device", "0", "--json"], devices="foreign,controller")
        self.assertEqual(code, 1)
        self.assertEqual(json.loads(out), {"device": 0, "error": NO_REPLY})
        code, out, _ = wine(["read-device", "5", "--json"], devices="foreign,controller")
        self.assertEqual(json.loads(out), {"device": 5, "error": OPEN_REFUSED})
        code, _, err = wine(["read-device", "--serial", "NOSUCH"], devices="foreign,controller")
        self.assertEqual(code, 2)
        self.assertIn("no device with serial number NOSUCH", err)


class CommandLine(unittest.TestCase):
    """What the parser makes of the words: numbers in decimal only, a
    negative number is an argument for the plug-in to judge, not an option,
    and the global options are taken after a command's name too."""

    def test_numbers_are_decimal_and_may_be_negative(self):
        code, out, _ = wine(["read-device", "010", "--json"])
        self.assertEqual((code, json.loads(out)), (1, {"device": 10, "error": OPEN_REFUSED}))
        code, _, err = wine(["read-device", "0x1"])
        self.assertEqual(code, 2, err)
        code, out, err = wine(["set-fan", "1", "-5", "--device", "0"])
        self.assertEqual((code, out.strip()), (1, "Invalid percentage"), err)

    def test_global_options_after_the_command(self):
        code, out, err = wine(["show", "--json", "--plugin", "VORN.dll"])
        self.assertEqual(code, 0, err)
        self.assertEqual(json.loads(out)["name"], "Vorn")
        code, _, err = wine(["show", "--plugin", "NoSuchPlugin.dll"])
        self.assertEqual(code, 1, err)
        self.assertIn("cannot load NoSuchPlugin.dll", err)


class Show(unittest.TestCase):
    def test_every_meter_and_reading_is_named(self):
        code, out, err = wine(["show", "--json"])
        self.assertEqual(code, 0, err)
        doc = json.loads(out)
        self.assertEqual(doc["name"], "Vorn")
        self.assertTrue(is_int(doc["type"]))
        meters = {m["function"]: m for m in doc["meters"]}
        self.assertEqual(sorted(meters), sorted(["GetDigitalTemp", "GetAnalogTemp", "GetFanRPM", "GetFanPercentage",
                                                 "GetFanMaxRPM", "GetFanManualMode", "GetValue"]))
        self.assertEqual([r["index"] for r in meters["GetValue"]["readings"]], list(range(1, 286)))
        self.assertEqual([r["index"] for r in meters["GetAnalogTemp"]["readings"]], list(range(6)))
        for meter in doc["meters"]:
            for r in meter["readings"]:
                self.assertIsInstance(r["value"], (int, float), (meter["function"], r))


class Watch(unittest.TestCase):
    def setUp(self):
        settings(0)

    def tearDown(self):
        subprocess.run(["wine", "reg", "delete", KEY, "/f"], capture_output=True, timeout=60)

    def test_json_lines_and_csv_rows_per_reading(self):
        with tempfile.TemporaryDirectory(dir=BUILD) as folder:
            path = os.path.join(folder, "log.csv")
            code, out, err = wine(["watch", "--json", "--count", "3", "--csv", os.path.relpath(path, BUILD)])
            self.assertEqual(code, 0, err)
            lines = out.splitlines()
            self.assertEqual(len(lines), 3, out)
            for line in lines:
                doc = json.loads(line)
                self.assertRegex(doc["time"], TIME)
                Reading.check(self, doc)
            with open(path, newline="") as f:
                rows = list(csv.reader(f))
        header = rows[0]
        self.assertEqual(header[0], "time")
        self.assertEqual(header[-1], "error")
        self.assertEqual(header[1:15], [f"digital{i}" for i in range(8)] + [f"analog{i}" for i in range(6)])
        self.assertEqual(header[15:19], ["fan0_duty", "fan0_rpm", "fan0_max_rpm", "fan0_manual"])
        self.assertEqual(len(header), 32)
        self.assertEqual(len(rows), 4)
        for row, line in zip(rows[1:], lines):
            doc = json.loads(line)
            self.assertEqual(row[0], doc["time"])
            self.assertEqual([float(c) for c in row[1:9]], [t["celsius"] for t in doc["digitalTemp"]])
            self.assertEqual([int(c) for c in row[15:31]],
                             [f[k] for f in doc["fans"] for k in ("dutyPercent", "rpm", "maxRpm", "manual")])
            self.assertEqual(row[31], "")

    def test_a_failing_poll_gives_its_text_in_place_of_readings(self):
        settings(4)  # nothing behind number 4
        with tempfile.TemporaryDirectory(dir=BUILD) as folder:
            path = os.path.join(folder, "log.csv")
            code, out, err = wine(["watch", "--json", "--count", "2", "--interval", "1",
                                   "--csv", os.path.relpath(path, BUILD)])
            self.assertEqual(code, 0, err)
            docs = [json.loads(line) for line in out.splitlines()]
            self.assertEqual(len(docs), 2, out)
            for doc in docs:
                self.assertEqual(sorted(doc), ["error", "time"])
                self.assertEqual(doc["error"], OPEN_REFUSED)
            with open(path, newline="") as f:
                rows = list(csv.reader(f))
        self.assertEqual(len(rows), 3)
        self.assertEqual(rows[1][1:31], [""] * 30)
        self.assertEqual(rows[1][31], OPEN_REFUSED)

    def test_options_are_checked(self):
        for args in (["--count", "0"], ["--interval", "x"], ["--count"]):
            code, _, err = wine(["watch"] + args)
            self.assertEqual(code, 2, (args, err))
        # Past a day between readings or a year of watching: refused, never
        # left to wrap the schedule's milliseconds. The message names the
        # option and the range.
        for args in (["--interval", "86401"], ["--interval", "2147484"], ["--seconds", "31536001"],
                     ["--set-fan-after", "31536001", "1", "50"]):
            code, _, err = wine(["watch"] + args)
            self.assertEqual(code, 2, (args, err))
            self.assertIn(args[0] + ": needs a whole number from ", err)


if __name__ == "__main__":
    unittest.main(verbosity=2)
