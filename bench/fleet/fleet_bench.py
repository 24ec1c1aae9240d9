#!/usr/bin/env python3
"""Benchmark: quendal-sysinfo fleet scanning many endpoints of a slow service,
against its lower bound and against Debian's redfishtool reading the same
resources one endpoint after the other.

usage: bench/fleet/fleet_bench.py [--tool PROGRAM] [--endpoints N] [--jobs J]
                                  [--delay-ms MS] [--runs R] [--sample S]

One test Redfish server (tests/redfish/redfish_server.py) listens on N ports
of 127.0.0.1, each a server endpoint serving public-rackmount1, and adds MS
milliseconds to every request. Then:
  - quendal-sysinfo fleet scans the N endpoints with J workers, R times; the
    median wall time is compared with the lower bound: the server's added
    delay for all the requests it counted, spread over J workers, and never
    less than the endpoint with the most requests takes on its own;
  - the same fleet against the server without the added delay, R times: the
    tool's and the test server's own cost on this machine (not a goal, it
    tells what the rest of the wall time above the bound is);
  - redfishtool raw GET reads the resources of one server scan (one process
    per resource, HTTP Basic: its fastest way, as a shell loop over a fleet
    would run it) from S endpoints, one after the other; that time is
    extrapolated linearly to N endpoints.
Goals: the fleet within 1.5 times the lower bound, and at least 10 times
faster than the extrapolated redfishtool loop. Exit status 1 when one is
missed.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "redfish"))
import harness  # noqa: E402

# What a server scan of public-rackmount1 reads besides the service root and the session.
RESOURCES = [
    "/redfish/v1/Systems",
    "/redfish/v1/Systems/437XR1138R2",
    "/redfish/v1/UpdateService/FirmwareInventory",
    "/redfish/v1/UpdateService/FirmwareInventory/BMC",
    "/redfish/v1/UpdateService/FirmwareInventory/SS",
    "/redfish/v1/UpdateService/FirmwareInventory/BIOS",
]
BOUND_GOAL = 1.5
REDFISHTOOL_GOAL = 10.0


def write_fleet(work, server):
    """An endpoint file of the server's ports, the password in BENCH_PW."""
    endpoint_file = os.path.join(work, "fleet.csv")
    with open(endpoint_file, "w") as f:
        f.write("kind,host,user,password_env\n")
        for port in server.ports:
            f.write("server,127.0.0.1:%d,%s,BENCH_PW\n" % (port, harness.DEFAULT_USER))
    return endpoint_file


def fleet_run(options, server, endpoint_file, work, run):
    out = os.path.join(work, "run%d" % run)
    env = dict(os.environ, BENCH_PW=harness.DEFAULT_PASSWORD)
    server.reset()
    started = time.perf_counter()
    result = subprocess.run([options.tool, "--ca-file", server.ca_file, "-q", "fleet",
                             endpoint_file, "--output-dir", out, "--jobs", str(options.jobs)],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - started
    if result.returncode != 0:
        raise SystemExit("the fleet failed (%d):\n%s" % (result.returncode,
                                                        result.stderr.decode(errors="replace")))
    stats = server.stats()
    if stats["open_sessions"]:
        raise SystemExit("the fleet left %d sessions open" % stats["open_sessions"])
    return elapsed, stats


def redfishtool_endpoint(port):
    started = time.perf_counter()
    for resource in RESOURCES:
        subprocess.run(["redfishtool", "-r", "127.0.0.1:%d" % port, "-u", harness.DEFAULT_USER,
                        "-p", harness.DEFAULT_PASSWORD, "-S", "Always", "-A", "Basic", "raw",
                        "GET", resource], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    return time.perf_counter() - started


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", default=os.path.join(ROOT, "build", "release", "tools",
                                                       "quendal-sysinfo"))
    parser.add_argument("--endpoints", type=int, default=200)
    parser.add_argument("--jobs", type=int, default=20)
    parser.add_argument("--delay-ms", type=int, default=20)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--sample", type=int, default=5)
    options = parser.parse_args()
    delay = options.delay_ms / 1000.0

    with tempfile.TemporaryDirectory(prefix="quendal-fleet-bench-") as work, \
            harness.RedfishServer("public-rackmount1", ports=options.endpoints,
                                  delay_ms=options.delay_ms,
                                  tls_dir=harness.shared_tls_dir()) as server:
        endpoint_file = write_fleet(work, server)
        runs = [fleet_run(options, server, endpoint_file, work, run)
                for run in range(options.runs)]
        sample = server.ports[:options.sample]
        redfishtool_times = [redfishtool_endpoint(port) for port in sample]
    with tempfile.TemporaryDirectory(prefix="quendal-fleet-bench-") as work, \
            harness.RedfishServer("public-rackmount1", ports=options.endpoints,
                                  tls_dir=harness.shared_tls_dir()) as server:
        endpoint_file = write_fleet(work, server)
        undelayed = statistics.median(fleet_run(options, server, endpoint_file, work, run)[0]
                                      for run in range(options.runs))

    wall = statistics.median(elapsed for elapsed, _ in runs)
    stats = runs[0][1]
    requests = stats["requests"]
    busiest = max(stats["requests_by_port"].values())
    bound = max(requests * delay / options.jobs, busiest * delay)
    per_endpoint = statistics.mean(redfishtool_times)
    redfishtool_total = per_endpoint * options.endpoints
    print("fleet of %d server endpoints (public-rackmount1), %d ms added per request, "
          "--jobs %d, median of %d runs" % (options.endpoints, options.delay_ms, options.jobs,
                                            options.runs))
    print("  requests served                  %7d (%d for the busiest endpoint)"
          % (requests, busiest))
    print("  lower bound                      %7.2f s  (requests x delay / jobs)" % bound)
    print("  quendal-sysinfo fleet            %7.2f s  (%.2fx the lower bound; runs: %s)"
          % (wall, wall / bound, ", ".join("%.2f" % elapsed for elapsed, _ in runs)))
    print("  the same, no delay added         %7.2f s  (the tool's and the server's own work)"
          % undelayed)
    print("  redfishtool, one endpoint        %7.2f s  (mean of %d endpoints, %d GETs each)"
          % (per_endpoint, len(sample), len(RESOURCES)))
    print("  redfishtool, %d endpoints      %9.1f s  (extrapolated linearly)"
          % (options.endpoints, redfishtool_total))
    print("  redfishtool / fleet              %7.1fx" % (redfishtool_total / wall))
    met = wall <= BOUND_GOAL * bound and redfishtool_total >= REDFISHTOOL_GOAL * wall
    print("goals (within %.1fx the bound, %.0fx faster than redfishtool): %s"
          % (BOUND_GOAL, REDFISHTOOL_GOAL, "met" if met else "MISSED"))
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
