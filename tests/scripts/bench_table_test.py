#!/usr/bin/env python3
"""scripts/bench_table.py on Google Benchmark JSON files as the programs write them."""
import json
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
import bench_table  # noqa: E402


def run(name, real_time, unit, **extra):
    return {"name": name, "run_name": name, "run_type": "iteration", "repetitions": 1,
            "repetition_index": 0, "threads": 1, "iterations": 100, "family_index": 0,
            "per_family_instance_index": 0, "real_time": real_time, "cpu_time": real_time,
            "time_unit": unit, **extra}


class BenchTableTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.folder.cleanup()

    def write(self, program, runs, text=None):
        with open(os.path.join(self.folder.name, program + ".json"), "w") as file:
            file.write(text if text is not None else json.dumps({"benchmarks": runs}))

    def table(self, *entries):
        rows = bench_table.rows(self.folder.name, list(entries))
        return [dict(zip(bench_table.HEADER, row)) for row in rows[1:]]

    def test_times_in_milliseconds_whatever_the_unit(self):
        self.write("bench_a", [run("Fast", 1500.0, "us"), run("Slow", 12.5, "ms"),
                               run("Tiny", 2_000_000, "ns")])
        self.assertEqual([row["ms/iter"] for row in self.table("bench_a:a")],
                         ["1.500", "12.500", "2.000"])

    def test_ratios_in_their_columns_and_other_counters_beside(self):
        self.write("bench_a", [run("Compare/few_regions/640/480", 300.0, "us", speedup=12.345,
                                   ours_us=25.0, opencv_us=3086.4, label="target speedup >= 10"),
                               run("Tick", 900.0, "us", x_target=0.9)])
        compare, tick = self.table("bench_a:analysis vs OpenCV")
        self.assertEqual((compare["group"], compare["speedup"], compare["x_target"]),
                         ("analysis vs OpenCV", "12.35", ""))
        self.assertEqual(compare["other counters"], "ours_us=25 opencv_us=3086")
        self.assertEqual(compare["label"], "target speedup >= 10")
        self.assertEqual((tick["speedup"], tick["x_target"], tick["other counters"]),
                         ("", "0.90", ""))

    def test_failures_are_rows_not_crashes(self):
        self.write("bench_err", [run("NoModel", 0.0, "ms", error_occurred=True,
                                     error_message="cannot read the model")])
        self.write("bench_cut", None, text='{"benchmarks": [{"name": "Half')
        err, cut, missing = self.table("bench_err:e", "bench_cut:c", "bench_gone:g")
        self.assertEqual((err["ms/iter"], err["label"]), ("error", "cannot read the model"))
        self.assertEqual((cut["benchmark"], cut["ms/iter"]), ("bench_cut", "failed"))
        self.assertEqual((missing["benchmark"], missing["ms/iter"]), ("bench_gone", "failed"))

    def test_repetitions_are_shown_by_their_mean(self):
        repeated = [run("R", t, "ms", repetitions=3) for t in (1.0, 2.0, 3.0)]
        aggregates = [run("R_" + name, t, "ms", run_type="aggregate", repetitions=3,
                          aggregate_name=name) for name, t in (("mean", 2.0), ("stddev", 1.0))]
        self.write("bench_r", repeated + aggregates)
        self.assertEqual([(row["benchmark"], row["ms/iter"]) for row in self.table("bench_r:r")],
                         [("R_mean", "2.000")])

    def test_columns_line_up(self):
        self.write("bench_a", [run("A", 1.0, "ms", speedup=3.0),
                               run("A_much_longer_name", 1234.5, "ms", speedup=10.25)])
        lines = bench_table.format_table(bench_table.rows(self.folder.name, ["bench_a:a"]))
        lines = lines.splitlines()
        self.assertTrue(set(lines[1]) <= {"-", " "})
        ends = {line.index("ms/iter") + len("ms/iter") for line in lines[:1]}
        for line in lines[2:]:
            number = line.split()[2]
            ends.add(line.index(" " + number + " ") + 1 + len(number))
        self.assertEqual(len(ends), 1, lines)


if __name__ == "__main__":
    unittest.main()
