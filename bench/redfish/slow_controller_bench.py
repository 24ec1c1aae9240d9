#!/usr/bin/env python3
"""Benchmark: one server scan of a slow controller with 40 firmware items, and a
fleet of slow controllers, in round trips and wall time.

usage: bench/redfish/slow_controller_bench.py [--tool PROGRAM] [--delay-ms MS]
                                              [--runs R] [--endpoints N] [--jobs J]

The fixture is public-rackmount1 grown to 40 firmware items (the added ones
invented), written to a temporary folder with the mockups' licence beside it.
The test server adds MS milliseconds (300) to every request. Each row runs the
same scan and reads the request count the server counted:
  - quendal-sysinfo server where the service offers $expand, where it does
    not (--connections 4, the default), and one request at a time
    (--connections 1, as before members went out at once);
  - Debian's redfishtool, one process per resource (HTTP Basic), reading what
    the scan reads;
  - Debian's python3-sushy reading the system and the firmware inventory,
    member by member as its collections do.
Then a fleet of N endpoints (200) with J workers (32) at the same delay,
against its lower bound: the waves of J endpoints, each taking its round trips
that depend on each other; and the processor time per endpoint of a fleet
without delay, trusting the test CA alone and trusting it with the system's
whole bundle (which is what a run without --ca-file parses).
Goals: with $expand at most 6 requests, within 1.3x their delay; without, within
1.3x the delay of 6 + 40/4 round trips. Exit status 1 when one is missed.
"""

import argparse
import json
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "redfish"))
import harness  # noqa: E402

ITEMS = 40
GOAL = 1.3
INVENTORY = "/redfish/v1/UpdateService/FirmwareInventory"
FLEET_MEMBERS = 3  # firmware items of public-rackmount1, which the fleet scans
SYSTEM_BUNDLE = "/etc/ssl/certs/ca-certificates.crt"
# Its connections sometimes find the test server's keep-alive connection closed (its requests
# never reach the server): each read is retried up to twice, which the server does not count.
SUSHY = """
import sys, sushy

def read(get):
    for attempt in range(3):
        try:
            return get()
        except sushy.exceptions.ConnectionError:
            if attempt == 2:
                raise

root = sushy.Sushy(sys.argv[1], username=sys.argv[2], password=sys.argv[3], verify=sys.argv[4])
systems = read(root.get_system_collection)
system = read(lambda: root.get_system(systems.members_identities[0]))
print(system.identity, system.serial_number)
inventory = read(lambda: root.get_update_service().firmware_inventory)
for identity in inventory.members_identities:
    item = read(lambda: inventory.get_member(identity))
    print(item.identity, item.version)
"""


def grow_fixture(work):
    """public-rackmount1 with invented firmware items up to ITEMS, in work."""
    source = harness.mockup("public-rackmount1")
    shutil.copy(os.path.join(os.path.dirname(source), "LICENSE.md"), work)
    folder = os.path.join(work, "rackmount-40-firmware")
    shutil.copytree(source, folder)
    inventory = os.path.join(folder, *INVENTORY.split("/")[3:])
    with open(os.path.join(inventory, "index.json")) as f:
        collection = json.load(f)
    for number in range(len(collection["Members"]) + 1, ITEMS + 1):
        name = "QOPT%02d" % number
        path = "%s/%s" % (INVENTORY, name)
        os.makedirs(os.path.join(inventory, name))
        with open(os.path.join(inventory, name, "index.json"), "w") as f:
            json.dump({"@odata.type": "#SoftwareInventory.v1_13_0.SoftwareInventory",
                       "@odata.id": path, "Id": name, "Name": "Option card %d firmware" % number,
                       "Status": {"State": "Enabled", "Health": "OK"}, "Updateable": True,
                       "Manufacturer": "Quendal Test Parts", "Version": "2.%d.%d" % (number, 7),
                       "SoftwareId": "QTP-OPT-%04d" % (number * 37),
                       "ReleaseDate": "2026-03-%02dT00:00:00Z" % (number % 28 + 1)}, f, indent=4)
        collection["Members"].append({"@odata.id": path})
    collection["Members@odata.count"] = len(collection["Members"])
    with open(os.path.join(inventory, "index.json"), "w") as f:
        json.dump(collection, f, indent=4)
    return folder


def timed(command, env=None):
    started = time.perf_counter()
    result = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - started
    if result.returncode != 0:
        raise SystemExit("%s failed (%d):\n%s" % (command[0], result.returncode,
                                                 result.stderr.decode(errors="replace")))
    return elapsed


def scan_rows(options, fixture):
    env = dict(os.environ, QUENDAL_PASSWORD=harness.DEFAULT_PASSWORD)
    rows = []
    for label, faults, connections, runs in (
            ("quendal-sysinfo, $expand offered", ["expand"], 4, options.runs),
            ("quendal-sysinfo, no $expand", [], 4, options.runs),
            ("quendal-sysinfo, no $expand, --connections 1", [], 1, 1)):
        with harness.RedfishServer(fixture, delay_ms=options.delay_ms, faults=faults,
                                   tls_dir=harness.shared_tls_dir()) as server:
            command = [options.tool, "--ca-file", server.ca_file, "--connections",
                       str(connections), "server", "--host", "127.0.0.1:%d" % server.port,
                       "--user", harness.DEFAULT_USER]
            times = []
            for _ in range(runs):
                server.reset()
                times.append(timed(command, env))
            rows.append((label, server.stats()["requests"], statistics.median(times)))
    with harness.RedfishServer(fixture, delay_ms=options.delay_ms,
                               tls_dir=harness.shared_tls_dir()) as server:
        host = "127.0.0.1:%d" % server.port
        server.reset()
        resources = ["/redfish/v1/Systems", "/redfish/v1/Systems/437XR1138R2", INVENTORY] + [
            "%s/%s" % (INVENTORY, name) for name in sorted(os.listdir(
                os.path.join(fixture, *INVENTORY.split("/")[3:]))) if name != "index.json"]
        started = time.perf_counter()
        for path in resources:
            timed(["redfishtool", "-r", host, "-u", harness.DEFAULT_USER, "-p",
                   harness.DEFAULT_PASSWORD, "-S", "Always", "-A", "Basic", "raw", "GET", path])
        rows.append(("redfishtool raw GET, one process each", server.stats()["requests"],
                     time.perf_counter() - started))
        server.reset()
        # requests takes a CA bundle named in the environment over the one it is given.
        env = {key: value for key, value in os.environ.items()
               if key not in ("REQUESTS_CA_BUNDLE", "CURL_CA_BUNDLE")}
        elapsed = timed(["/usr/bin/python3", "-c", SUSHY, "https://%s/redfish/v1" % host,
                         harness.DEFAULT_USER, harness.DEFAULT_PASSWORD, server.ca_file], env)
        rows.append(("python3-sushy, system and firmware inventory",
                     server.stats()["requests"], elapsed))
    return rows


def fleet_run(options, server, work, ca_file, name):
    endpoint_file = os.path.join(work, "fleet.csv")
    with open(endpoint_file, "w") as f:
        f.write("kind,host,user,password_env\n")
        for port in server.ports:
            f.write("server,127.0.0.1:%d,%s,BENCH_PW\n" % (port, harness.DEFAULT_USER))
    env = dict(os.environ, BENCH_PW=harness.DEFAULT_PASSWORD)
    server.reset()
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    elapsed = timed([options.tool, "--ca-file", ca_file, "-q", "fleet", endpoint_file,
                     "--output-dir", os.path.join(work, name), "--jobs", str(options.jobs)], env)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return elapsed, cpu, server.stats()


def fleet_rows(options, work):
    delay = options.delay_ms / 1000.0
    with harness.RedfishServer("public-rackmount1", ports=options.endpoints,
                               delay_ms=options.delay_ms,
                               tls_dir=harness.shared_tls_dir()) as server:
        elapsed, _, stats = fleet_run(options, server, work, server.ca_file, "slow")
        server.reset()
        timed([options.tool, "--ca-file", server.ca_file, "server", "--host",
               "127.0.0.1:%d" % server.port, "--user", harness.DEFAULT_USER],
              dict(os.environ, QUENDAL_PASSWORD=harness.DEFAULT_PASSWORD))
        alone = server.stats()["requests"]
    # The round trips of one scan that wait for each other: its requests, but the members that
    # go out beside the first of their batch (--connections 4).
    chain = alone - (FLEET_MEMBERS - -(-FLEET_MEMBERS // 4))
    bound = -(-options.endpoints // options.jobs) * chain * delay
    with harness.RedfishServer("public-rackmount1", ports=options.endpoints,
                               tls_dir=harness.shared_tls_dir()) as server:
        bundle = os.path.join(work, "bundle-and-test-ca.pem")
        with open(bundle, "wb") as out:
            for name in (SYSTEM_BUNDLE, server.ca_file):
                with open(name, "rb") as f:
                    out.write(f.read())
        cpu_rows = []
        for label, ca_file in (("test CA alone", server.ca_file),
                               ("system bundle and test CA", bundle)):
            wall, cpu, _ = fleet_run(options, server, work, ca_file, label.replace(" ", "-"))
            cpu_rows.append((label, wall, cpu * 1000.0 / options.endpoints))
    return (elapsed, stats["requests"], chain, bound), cpu_rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", default=os.path.join(ROOT, "build", "release", "tools",
                                                       "quendal-sysinfo"))
    parser.add_argument("--delay-ms", type=int, default=300)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--endpoints", type=int, default=200)
    parser.add_argument("--jobs", type=int, default=32)
    options = parser.parse_args()
    delay = options.delay_ms / 1000.0
    with tempfile.TemporaryDirectory(prefix="quendal-slow-bench-") as work:
        fixture = grow_fixture(work)
        rows = scan_rows(options, fixture)
        fleet, cpu_rows = fleet_rows(options, work)

    print("server scan, public-rackmount1 grown to %d firmware items, %d ms added per request"
          % (ITEMS, options.delay_ms))
    print("| Client | Requests the server counted | Wall time | x requests x delay |")
    print("|---|---|---|---|")
    for label, requests, wall in rows:
        print("| %s | %d | %.2f s | %.2f |" % (label, requests, wall, wall / (requests * delay)))
    # Round trips: with $expand every request waits for the one before; without, the members
    # go out 4 at a time, so 40 of them take 10 round trips.
    goals = [("$expand offered", rows[0], 6, 6),
             ("no $expand", rows[1], None, 6 + -(-ITEMS // 4))]
    met = True
    for label, (_, requests, wall), most_requests, round_trips in goals:
        ok = ((most_requests is None or requests <= most_requests)
              and wall <= GOAL * round_trips * delay)
        met = met and ok
        print("goal, %s: %s<= %.2f s (1.3 x %d round trips): %s"
              % (label, "" if most_requests is None else "<= %d requests, " % most_requests,
                 GOAL * round_trips * delay, round_trips, "met" if ok else "MISSED"))
    wall, requests, per_scan, bound = fleet
    print("fleet: %d endpoints, --jobs %d, %d ms per request: %.2f s, %d requests; "
          "lower bound %.2f s (%d waves x %d round trips of one scan x delay): %.2fx"
          % (options.endpoints, options.jobs, options.delay_ms, wall, requests, bound,
             -(-options.endpoints // options.jobs), per_scan, wall / bound))
    print("| Fleet of %d endpoints, no delay, --ca-file | Wall time | CPU per endpoint |"
          % options.endpoints)
    print("|---|---|---|")
    for label, wall, cpu in cpu_rows:
        print("| %s | %.2f s | %.1f ms |" % (label, wall, cpu))
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
