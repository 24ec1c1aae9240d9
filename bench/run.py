#!/usr/bin/python3
"""Runs the project's benchmarks and prints one table: work, N, project, lower bound, ratio.

Two ways to count, chosen with --mode:
  callgrind  instructions per package, counted by callgrind inside the measured call only
             (repeatable whatever else the machine is doing; the default);
  wall       nanoseconds per package, the median of --repetitions runs of Google Benchmark.
In callgrind mode the wall time of each benchmark is measured too and shown beside its count
(columns "wall ns" and "wall ratio"): a ratio met in instructions can still be missed in time
(cache misses, allocation), and both are worth seeing.
The diff of two stored documents is timed by the wall clock in both modes (the tool and jq run
as processes), with the peak resident size of each; the Redfish memory rows are the peak
resident size of redfish_memory_bench, one process per shape; the start-up row counts the status
registrations in one process of the tool under callgrind.

Usage: bench/run.py [--build build/bench] [--mode callgrind|wall] [--only REGEX]
"""

import argparse
import concurrent.futures
import json
import math
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

PROGRAMS = ("document_bench", "output_bench", "inventory_bench", "cim_xml_bench")
NAME = re.compile(r"^(?P<work>[^/]+)/(?P<kind>[^/]+)/(?P<side>[^/]+)/(?P<n>\d+)")
# Packages each benchmark handles under callgrind: ceil(ITEMS / N) iterations of size N.
ITEMS = 1000


def benchmark_names(program):
    listing = subprocess.run([program, "--benchmark_list_tests=true"], check=True,
                             capture_output=True, text=True).stdout
    return [line for line in listing.splitlines() if NAME.match(line)]


def callgrind_count(program, name, items, workdir):
    """Instructions per package of one benchmark, counted in its measured frame only."""
    out = os.path.join(workdir, re.sub(r"[^\w]", "_", name) + ".out")
    env = dict(os.environ, QUENDAL_BENCH_ITEMS=str(items), LD_BIND_NOW="1")
    subprocess.run(["valgrind", "--tool=callgrind", "--collect-atstart=no",
                    "--toggle-collect=*MeasuredWork*", "--callgrind-out-file=" + out,
                    program, "--benchmark_filter=^" + NAME.match(name).group(0) + "/"],
                   check=True, capture_output=True, env=env)
    total = None
    with open(out, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            if line.startswith(("summary:", "totals:")):
                total = int(line.split()[1])
    n = int(NAME.match(name).group("n"))
    return total / (math.ceil(items / n) * n)


def wall_times(program, repetitions, only):
    """Median nanoseconds per package of every benchmark of the program."""
    args = [program, "--benchmark_format=json", "--benchmark_repetitions=%d" % repetitions,
            "--benchmark_report_aggregates_only=true"]
    if only:
        args.append("--benchmark_filter=" + only)
    report = json.loads(subprocess.run(args, check=True, capture_output=True,
                                       text=True).stdout)
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
    times = {}
    for entry in report["benchmarks"]:
        if entry.get("aggregate_name") != "median":
            continue
        match = NAME.match(entry["run_name"])
        times[match.group(0)] = (entry["real_time"] * scale[entry["time_unit"]]
                                 / int(match.group("n")))
    return times


def document_json(n, changed):
    """A stored document of n packages in the tool's JSON form; changed alters every tenth."""
    packages = []
    for i in range(n):
        version = "4.2.%d" % (i % 97) + (".1" if changed and i % 10 == 0 else "")
        packages.append({"NAME": "Adapter firmware, port %d" % i,
                         "SOFTWAREID": "NIC-FW-%d" % i, "VERSION": version,
                         "CLASSIFICATION": "10", "DESCRIPTION": "Dual-port adapter #%d" % i,
                         "INSTANCEID": "FW-INST-%d" % i, "SLOTNUM": str(i % 16),
                         "SLOTTYPE": i % 10, "AGENTLESSSUPPORT": "0"})
    return json.dumps({"schema_version": 1, "CONTENT": {
        "MT": "QX06", "SN": "J30A1B2C", "BMCTYPE": "BMC-T1", "OS": "Example OS 12",
        "ARCH": "64 bit", "ISPARTITION": 0, "TOTAL": n, "PACKAGES": packages}}, indent=4)


def run_measured(commands):
    """Wall seconds and peak resident KiB of commands run one after the other."""
    start = time.perf_counter()
    peak = 0
    for command in commands:
        with subprocess.Popen(command, stdout=subprocess.DEVNULL) as process:
            _, status, usage = os.wait4(process.pid, 0)
            process.returncode = os.waitstatus_to_exitcode(status)
        if process.returncode not in (0, 1):
            sys.exit("%s failed with %d" % (command[0], process.returncode))
        peak = max(peak, usage.ru_maxrss)
    return time.perf_counter() - start, peak


def write_document(path, n, changed):
    with open(path, "w", encoding="utf-8") as out:
        out.write(document_json(n, changed))


def diff_rows(tool, repetitions, workdir):
    rows = []
    jq = shutil.which("jq")
    for n in (1000, 10000, 100000):
        old, new = (os.path.join(workdir, "%s-%d.json" % (side, n)) for side in ("old", "new"))
        for path, changed in ((old, False), (new, True)):
            # Written by another process: Linux counts the peak of a process that starts a
            # program into the program's own peak (the fork shares it until the exec), so this one
            # must never hold a large document.
            subprocess.run([sys.executable, __file__, "--write-document", path, str(n),
                            "changed" if changed else "unchanged"], check=True)
        size_kib = (os.path.getsize(old) + os.path.getsize(new)) / 1024
        project = [run_measured([[tool, "diff", old, new]]) for _ in range(repetitions)]
        bound = [run_measured([[jq, "-S", ".", old], [jq, "-S", ".", new]])
                 for _ in range(repetitions)]
        seconds = statistics.median(t for t, _ in project)
        bound_seconds = statistics.median(t for t, _ in bound)
        peak = max(p for _, p in project)
        rows.append(("diff (s; bound: jq -S on both)", n, "%.3f" % seconds,
                     "%.3f" % bound_seconds, seconds / bound_seconds))
        rows.append(("diff peak RSS (MiB; bound: both inputs)", n, "%.1f" % (peak / 1024),
                     "%.1f" % (size_kib / 1024), peak / size_kib))
    return rows


def memory_rows(program):
    """Peak resident size of one endpoint's scan of six 14 MiB firmware members, per shape."""
    rows = []
    for shape in ("nested", "deep", "kept"):
        output = subprocess.run([program, shape, "14"], check=True, capture_output=True,
                                text=True).stdout
        peak = float(re.search(r"^peak MiB ([0-9.]+)$", output, re.M).group(1))
        rows.append(("redfish six 14 MiB members, %s: peak RSS (MiB; bound: goal)" % shape, 6,
                     "%.1f" % peak, "600", peak / 600))
    return rows


def startup_rows(tool, workdir):
    """Status registrations in one process of the tool, under callgrind."""
    out = os.path.join(workdir, "startup.out")
    subprocess.run(["valgrind", "--tool=callgrind", "--compress-strings=no",
                    "--callgrind-out-file=" + out, tool, "--version"],
                   check=True, capture_output=True)
    calls = 0
    total = 0
    callee = None
    with open(out, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            if line.startswith("cfn="):
                callee = line[4:]
            elif line.startswith("calls=") and callee and "RegisterErrorCode" in callee:
                calls += int(line[6:].split()[0])
            elif line.startswith(("summary:", "totals:")):
                total = int(line.split()[1])
    return [("start-up: registrations", "-", str(calls), "205", calls / 205),
            ("start-up: instructions", "-", str(total), "-", None)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build/bench")
    parser.add_argument("--mode", choices=("callgrind", "wall"), default="callgrind")
    parser.add_argument("--only", default="", help="benchmarks whose name matches this regex")
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--no-diff", action="store_true", help="leave out the diff rows")
    parser.add_argument("--write-document", nargs=3, metavar=("PATH", "N", "CHANGED"),
                        help=argparse.SUPPRESS)
    parser.add_argument("--diff-tool", help="only the diff rows, of this program")
    args = parser.parse_args()
    if args.write_document:
        path, n, changed = args.write_document
        write_document(path, int(n), changed == "changed")
        return
    if args.diff_tool:
        with tempfile.TemporaryDirectory() as workdir:
            print_table(diff_rows(args.diff_tool, min(args.repetitions, 3), workdir))
        return

    results = {}
    walls = {}  # in callgrind mode too: ns per package, beside the counts
    with tempfile.TemporaryDirectory() as workdir:
        for program_name in PROGRAMS:
            program = os.path.join(args.build, "bench", program_name)
            if not os.path.exists(program):
                continue
            if args.mode == "wall":
                results.update(wall_times(program, args.repetitions, args.only))
                continue
            walls.update(wall_times(program, args.repetitions, args.only))
            names = [name for name in benchmark_names(program)
                     if re.search(args.only, name)]
            with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
                counts = pool.map(lambda name: callgrind_count(program, name, ITEMS, workdir),
                                  names)
                for name, count in zip(names, counts):
                    results[NAME.match(name).group(0)] = count

        unit = "Ir/package" if args.mode == "callgrind" else "ns/package"
        rows = []
        for name in sorted(results, key=lambda key: (NAME.match(key).group("work", "kind"),
                                                     int(NAME.match(key).group("n")))):
            match = NAME.match(name)
            if match.group("side") != "project":
                continue
            work, kind, n = match.group("work", "kind", "n")
            for side, label in (("bound", ""), ("string", " vs std::string")):
                bound = results.get("%s/%s/%s/%s" % (work, kind, side, n))
                if bound is not None:
                    wall = walls.get(name)
                    wall_bound = walls.get("%s/%s/%s/%s" % (work, kind, side, n))
                    timed = (("%.0f / %.0f" % (wall, wall_bound), wall / wall_bound)
                             if wall and wall_bound else ())
                    rows.append(("%s %s%s (%s)" % (work, kind, label, unit), int(n),
                                 "%.0f" % results[name], "%.0f" % bound,
                                 results[name] / bound) + timed)
        memory = os.path.join(args.build, "bench", "redfish_memory_bench")
        if os.path.exists(memory) and not args.only:
            rows += memory_rows(memory)
        tool = os.path.join(args.build, "tools", "quendal-sysinfo")
        if os.path.exists(tool) and not args.only:
            if not args.no_diff:
                rows += diff_rows(tool, min(args.repetitions, 3), workdir)
            if shutil.which("valgrind"):
                rows += startup_rows(tool, workdir)

    print_table(rows)


def print_table(rows):
    header = ("work", "N", "project", "lower bound", "ratio", "wall ns (project / bound)",
              "wall ratio")
    table = [header] + [(w, str(n), p, b, "-" if r is None else "%.2f" % r) +
                        ((timed[0], "%.2f" % timed[1]) if timed else ("-", "-"))
                        for w, n, p, b, r, *timed in rows]
    widths = [max(len(row[i]) for row in table) for i in range(len(header))]
    print("| " + " | ".join(h.ljust(w) for h, w in zip(header, widths)) + " |")
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for row in table[1:]:
        print("| " + " | ".join(c.ljust(w) for c, w in zip(row, widths)) + " |")


if __name__ == "__main__":
    main()
