#!/usr/bin/env python3
"""Benchmark: a server scan over Redfish against a slow service, side by side
with Debian's redfishtool reading the same resources.

usage: bench/redfish/scan_vs_redfishtool.py [--tool PROGRAM] [--runs N] [--delay-ms MS]

The test server serves public-rackmount1 on 127.0.0.1 and adds MS milliseconds
to every request. Each run times, one after the other:
  - quendal-sysinfo server: service root, log-in, systems, the first system,
    the firmware collection and its members, log-out, on one connection;
  - redfishtool raw GET of each of the same resources (its fastest way: HTTP
    Basic, one process per resource, as a shell script would use it).
It prints the medians, the lower bound (the server's added delay times the
tool's request count) and the ratios. The tool should be no slower than
redfishtool, and close to the lower bound.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "redfish"))
import harness  # noqa: E402

RESOURCES = [
    "/redfish/v1/Systems",
    "/redfish/v1/Systems/437XR1138R2",
    "/redfish/v1/UpdateService/FirmwareInventory",
    "/redfish/v1/UpdateService/FirmwareInventory/BMC",
    "/redfish/v1/UpdateService/FirmwareInventory/SS",
    "/redfish/v1/UpdateService/FirmwareInventory/BIOS",
]


def timed(function):
    started = time.perf_counter()
    function()
    return time.perf_counter() - started


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", default=os.path.join(ROOT, "build", "release", "tools",
                                                       "quendal-sysinfo"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--delay-ms", type=int, default=20)
    options = parser.parse_args()
    env = dict(os.environ, QUENDAL_PASSWORD=harness.DEFAULT_PASSWORD)

    with harness.RedfishServer("public-rackmount1", delay_ms=options.delay_ms) as server:
        host = "127.0.0.1:%d" % server.port

        def scan():
            subprocess.run([options.tool, "--ca-file", server.ca_file, "server", "--host", host,
                            "--user", harness.DEFAULT_USER], env=env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def redfishtool():
            for resource in RESOURCES:
                subprocess.run(["redfishtool", "-r", host, "-u", harness.DEFAULT_USER, "-p",
                                harness.DEFAULT_PASSWORD, "-S", "Always", "-A", "Basic", "raw",
                                "GET", resource], check=True, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)

        scan()  # warm the caches of both sides once
        server.reset()
        scan()
        requests = server.stats()["requests"]
        tool_times, redfishtool_times = [], []
        for _ in range(options.runs):
            tool_times.append(timed(scan))
            redfishtool_times.append(timed(redfishtool))

    tool = statistics.median(tool_times)
    other = statistics.median(redfishtool_times)
    bound = requests * options.delay_ms / 1000.0
    print("server scan of public-rackmount1, %d ms added per request, median of %d runs"
          % (options.delay_ms, options.runs))
    print("  lower bound (%d requests x %d ms)  %7.3f s" % (requests, options.delay_ms, bound))
    print("  quendal-sysinfo                   %7.3f s  (%.2fx the lower bound)"
          % (tool, tool / bound))
    print("  redfishtool, same resources       %7.3f s" % other)
    print("  quendal-sysinfo / redfishtool     %7.2f" % (tool / other))
    return 0 if tool <= other else 1


if __name__ == "__main__":
    sys.exit(main())
