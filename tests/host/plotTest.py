#!/usr/bin/env python3
"""vornhost plot, looked at the way a person would: the SVG is rendered by
librsvg (rsvg-convert) and the picture must show every series' line in its
colour on both sides of a failed stretch of readings, and no line inside it.
With a control configuration, the sensors that drive a fan must show in that
fan's colour and the others paler. Also what it refuses (a missing file, a
CSV without a "time" column or without rows, a configuration control would
refuse) and a chart of a real `watch --csv` log.

Usage: plotTest.py BUILD_DIR"""
import json
import os
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

import machineOutputTest as host  # takes BUILD_DIR from the command line

SVG = "{http://www.w3.org/2000/svg}"
TEMPERATURES = [f"digital{i}" for i in range(8)] + [f"analog{i}" for i in range(6)]
DUTIES = [f"fan{f}_duty" for f in range(4)] + [f"fan{f}_target" for f in range(4)]
ROWS = 21
FAILED = range(8, 13)  # rows whose reading failed: a gap from t=7 s to t=13 s
EMPTY_CELL = (3, "digital0")  # one empty cell: digital0 breaks from t=2 s to t=4 s


def value(column, row):
    """Each series at a height of its own, rising a little, so that no line
    hides another: the temperatures 2.5 degrees apart from 21, on an axis of
    20 to 55 degrees; the duties (0 to 100 % over the same height) each
    midway between two of them."""
    if column in TEMPERATURES:
        return 21 + 2.5 * TEMPERATURES.index(column) + 0.05 * row
    return (2.25 + 2.5 * DUTIES.index(column) + 0.05 * row) / 35 * 100


def write_log(path):
    """A log as watch and control write it (CR LF, a quoted error text with a
    comma, columns the chart ignores), one reading a second."""
    header = ["time"] + TEMPERATURES + [f"fan{f}_{k}" for f in range(4) for k in ("duty", "rpm", "target")] + ["error"]
    lines = [",".join(header)]
    for row in range(ROWS):
        cells = []
        for column in header:
            if column == "time":
                cells.append(f"2026-12-08T06:59:{40 + row:02d}.031Z" if row < 20 else "2026-12-08T07:00:00.031Z")
            elif column == "error":
                cells.append('"FT_Read: Didn\'t get all the data, again"' if row in FAILED else "")
            elif row in FAILED or (row, column) == EMPTY_CELL:
                cells.append("")
            elif column.endswith("_rpm"):
                cells.append("0")
            else:
                cells.append(f"{value(column, row):.1f}")
        lines.append(",".join(cells))
    with open(path, "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


def plot(args):
    return host.wine(["plot"] + args)


def rendered(svg_path):
    """The chart as librsvg draws it: (width, height, RGB bytes)."""
    root = ElementTree.parse(svg_path).getroot()
    width, height = int(root.get("width")), int(root.get("height"))
    png = svg_path + ".png"
    subprocess.run(["rsvg-convert", "-o", png, svg_path], check=True, timeout=60)
    raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], check=True, capture_output=True,
                         timeout=60).stdout
    assert len(raw) == width * height * 3, (len(raw), width, height)
    return width, height, raw


def colour(text):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


class Chart(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory(dir=host.BUILD)
        cls.csv = os.path.join(cls.folder.name, "log.csv")
        write_log(cls.csv)
        cls.code, cls.out, cls.err = plot([os.path.relpath(cls.csv, host.BUILD)])
        cls.svg = os.path.join(cls.folder.name, "log.svg")

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_goes_beside_the_csv_and_says_so(self):
        self.assertEqual(self.code, 0, self.err)
        self.assertIn("log.svg", self.out)
        self.assertIn("21 readings, 5 failed", self.out)
        self.assertTrue(os.path.exists(self.svg))

    def test_axes_legend_and_time_scale_are_labelled(self):
        root = ElementTree.parse(self.svg).getroot()
        texts = ["".join(t.itertext()) for t in root.iter(SVG + "text")]
        self.assertIn("temperature (\u00b0C)", texts)
        self.assertIn("fan duty (%)", texts)
        self.assertIn("time (UTC)", texts)
        for column in TEMPERATURES:
            self.assertIn(column + " \u00b0C", texts)
        for column in DUTIES:
            self.assertIn(column + " %", texts)
        self.assertIn("06:59:45", texts)  # every 5 s, on whole multiples
        self.assertIn("07:00:00", texts)

    def test_every_series_is_drawn_with_a_gap_where_readings_failed(self):
        root = ElementTree.parse(self.svg).getroot()
        area = next(e for e in root.iter() if e.get("id") == "plot-area")
        left, top = float(area.get("x")), float(area.get("y"))
        right, bottom = left + float(area.get("width")), top + float(area.get("height"))
        colours = {e.get("data-column"): colour(e.get("stroke")) for e in root.iter(SVG + "path")
                   if e.get("class") == "series"}
        self.assertEqual(sorted(colours), sorted(TEMPERATURES + DUTIES))
        self.assertEqual(len(set(colours.values())), len(colours), "two series share a colour")
        width, _, raw = rendered(self.svg)

        def columns_at(first_s, last_s):
            x0 = int(left + first_s / 20 * (right - left)) + 1
            x1 = int(left + last_s / 20 * (right - left))
            return range(x0, x1 + 1)

        def count(rgb, seconds):
            # Pixels of exactly this colour inside the plot area.
            n = 0
            for x in columns_at(*seconds):
                for y in range(int(top) + 1, int(bottom)):
                    i = (y * width + x) * 3
                    n += tuple(raw[i:i + 3]) == rgb
            return n

        for column, rgb in colours.items():
            self.assertGreater(count(rgb, (0.5, 1.5)), 5, column + " before the failure")
            self.assertGreater(count(rgb, (13.5, 19.5)), 5, column + " after the failure")
            self.assertEqual(count(rgb, (7.5, 12.5)), 0, column + " drawn where the readings failed")
        self.assertEqual(count(colours["digital0"], (2.5, 3.5)), 0, "digital0 drawn over its empty cell")
        self.assertGreater(count(colours["digital1"], (2.5, 3.5)), 5)


def path_points(element):
    """The (x, y) points of a series' path, "M70.0 60.2 L88.5 60.1 ..."."""
    numbers = [float(n) for n in element.get("d").replace("M", " ").replace("L", " ").split()]
    return list(zip(numbers[0::2], numbers[1::2]))


class Marks(unittest.TestCase):
    """plot --config: fan 1 driven by digital3, fan 2 by digital3 and analog2."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory(dir=host.BUILD)
        csv = os.path.join(cls.folder.name, "log.csv")
        write_log(csv)
        config = os.path.join(cls.folder.name, "fans.json")
        curve = [[20, 20], [60, 100]]
        with open(config, "w") as f:
            json.dump({"fans": [{"fan": 1, "sensors": ["digital3"], "points": curve},
                                {"fan": 2, "sensors": ["digital3", "analog2"], "points": curve}]}, f)
        cls.svg = os.path.join(cls.folder.name, "marked.svg")
        cls.code, _, cls.err = plot([os.path.relpath(csv, host.BUILD), "--out", os.path.relpath(cls.svg, host.BUILD),
                                     "--config", os.path.relpath(config, host.BUILD)])

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_driving_sensors_are_drawn_in_their_fans_colour_and_the_rest_paler(self):
        self.assertEqual(self.code, 0, self.err)
        root = ElementTree.parse(self.svg).getroot()
        paths = {e.get("data-column"): e for e in root.iter(SVG + "path") if "series" in e.get("class").split()}
        drives = sorted(c for c, e in paths.items() if "drives" in e.get("class").split())
        self.assertEqual(drives, ["analog2", "digital3"])
        self.assertEqual(paths["digital3"].get("data-fans"), "1 2")
        texts = ["".join(t.itertext()) for t in root.iter(SVG + "text")]
        self.assertIn("digital3 \u00b0C \u2192 fans 1, 2", texts)
        self.assertIn("analog2 \u00b0C \u2192 fan 2", texts)
        width, _, raw = rendered(self.svg)

        def pixels_near(column):
            # The pixels around the middle of the line's first segment.
            (x0, y0), (x1, y1) = path_points(paths[column])[:2]
            x, y = int((x0 + x1) / 2), int((y0 + y1) / 2)
            return [tuple(raw[((y + dy) * width + x) * 3:((y + dy) * width + x) * 3 + 3]) for dy in (-1, 0, 1)]

        self.assertIn(colour(paths["fan1_duty"].get("stroke")), pixels_near("digital3"))
        self.assertIn(colour(paths["fan2_duty"].get("stroke")), pixels_near("analog2"))
        for column in ("digital1", "analog0"):
            own = colour(paths[column].get("stroke"))
            darkest = min(pixels_near(column), key=sum)
            self.assertNotIn(own, pixels_near(column), column + " drawn at full strength")
            self.assertLess(sum(darkest), 3 * 255, column + " not drawn at all")
            self.assertTrue(all(d >= o for d, o in zip(darkest, own)), (column, darkest, own))


class Refusals(unittest.TestCase):
    def test_bad_input_is_named_with_exit_code_1(self):
        with tempfile.TemporaryDirectory(dir=host.BUILD) as folder:
            no_time = os.path.join(folder, "notime.csv")
            with open(no_time, "w") as f:
                f.write("when,digital0\n2026-12-08T06:39:40.031Z,30.5\n")
            header_only = os.path.join(folder, "empty.csv")
            with open(header_only, "w") as f:
                f.write("time,digital0,error\n")
            for path, message in ((os.path.join(folder, "missing.csv"), "cannot read"),
                                  (no_time, 'no "time" column'), (header_only, "holds no readings")):
                code, _, err = plot([os.path.relpath(path, host.BUILD)])
                self.assertEqual(code, 1, err)
                self.assertIn(message, err)
            self.assertEqual(sorted(os.listdir(folder)), ["empty.csv", "notime.csv"], "a chart of nothing was written")

    def test_usage_errors_exit_2(self):
        for args in ([], ["a.csv", "b.csv"], ["a.csv", "--out"]):
            code, _, err = plot(args)
            self.assertEqual(code, 2, (args, err))
            self.assertIn("vornhost plot CSV [--out FILE.svg] [--config FILE.json]", err)

    def test_a_configuration_control_refuses_exits_2_and_draws_nothing(self):
        with tempfile.TemporaryDirectory(dir=host.BUILD) as folder:
            csv = os.path.join(folder, "log.csv")
            write_log(csv)
            config = os.path.join(folder, "fans.json")
            with open(config, "w") as f:
                f.write('{"fans": [{"fan": 4, "sensors": ["digital0"], "points": [[20, 20], [60, 100]]}]}')
            code, _, err = plot([os.path.relpath(csv, host.BUILD), "--config", os.path.relpath(config, host.BUILD)])
            self.assertEqual(code, 2, err)
            self.assertIn("fans.json: fans[0].fan", err)
            self.assertEqual(sorted(os.listdir(folder)), ["fans.json", "log.csv"], "a chart was written")


class WatchLog(unittest.TestCase):
    def setUp(self):
        host.settings(0)

    def tearDown(self):
        subprocess.run(["wine", "reg", "delete", host.KEY, "/f"], capture_output=True, timeout=60)

    def test_a_log_of_watch_is_drawn_where_out_says(self):
        with tempfile.TemporaryDirectory(dir=host.BUILD) as folder:
            csv = os.path.relpath(os.path.join(folder, "watch.csv"), host.BUILD)
            code, _, err = host.wine(["watch", "--json", "--count", "3", "--csv", csv])
            self.assertEqual(code, 0, err)
            svg = os.path.join(folder, "chart.svg")
            code, out, err = plot([csv, "--out", os.path.relpath(svg, host.BUILD)])
            self.assertEqual(code, 0, err)
            self.assertIn("chart.svg", out)
            self.assertFalse(os.path.exists(os.path.join(folder, "watch.svg")))
            root = ElementTree.parse(svg).getroot()
            drawn = sorted(e.get("data-column") for e in root.iter(SVG + "path") if e.get("class") == "series")
            self.assertEqual(drawn, sorted(TEMPERATURES + [f"fan{f}_duty" for f in range(4)]))
            rendered(svg)  # librsvg reads it


if __name__ == "__main__":
    unittest.main(verbosity=2)
