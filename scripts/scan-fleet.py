#!/usr/bin/env python3
"""Scans a fleet of Redfish endpoints the way a user scans real BMCs.

usage: scripts/scan-fleet.py [--endpoints N] [--delay-ms MS] [--output-dir DIR]
                             [--jobs J] [TOOL OPTIONS...]

Starts the project's test Redfish server on 127.0.0.1 over HTTPS (a throw-away
CA made with openssl) listening on N ports (default 6), each port a server
endpoint serving public-rackmount1 with MS milliseconds added to each request
(default 0). Writes an endpoint file for them (CSV, the password in a
variable), runs `quendal-sysinfo fleet` on it with J workers (default 4),
trusting that CA, and stops the server. The documents and summary.json go to
DIR (default: a scratch folder, removed afterwards). Build the tool first
(scripts/run.sh). Exit status: the tool's; 1 when a session was left open.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "redfish"))
import harness  # noqa: E402

TOOL = os.path.join(ROOT, "build", "release", "tools", "quendal-sysinfo")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--endpoints", type=int, default=6)
    parser.add_argument("--delay-ms", type=int, default=0)
    parser.add_argument("--output-dir")
    parser.add_argument("--jobs", type=int, default=4)
    options, extra = parser.parse_known_args(argv)
    if not os.access(TOOL, os.X_OK):
        sys.exit("scan-fleet.py: %s is not built yet: run scripts/run.sh" % TOOL)
    scratch = tempfile.mkdtemp(prefix="quendal-scan-fleet-")
    out = options.output_dir or os.path.join(scratch, "out")
    try:
        with harness.RedfishServer(harness.resolve_mockup(harness.DEFAULT_MOCKUP),
                                   ports=options.endpoints,
                                   delay_ms=options.delay_ms) as server:
            fleet = os.path.join(scratch, "fleet.csv")
            with open(fleet, "w", encoding="utf-8") as f:
                f.write("kind,host,user,password_env\n")
                for port in server.ports:
                    f.write("server,127.0.0.1:%d,%s,FLEET_PW\n" % (port, harness.DEFAULT_USER))
            env = dict(os.environ, FLEET_PW=harness.DEFAULT_PASSWORD)
            command = [TOOL, "--ca-file", server.ca_file, "fleet", fleet, "--output-dir", out,
                       "--jobs", str(options.jobs)] + extra
            print("$ FLEET_PW=... " + " ".join(command), file=sys.stderr)
            status = subprocess.call(command, env=env)
            left = server.stats()["open_sessions"]
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    if left:
        print("scan-fleet.py: %d session(s) left open" % left, file=sys.stderr)
        return 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
