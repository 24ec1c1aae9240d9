#!/usr/bin/env python3
"""Scans a Redfish mockup the way a user scans a real BMC.

usage: scripts/scan-mockup.py [MOCKUP] [SUBCOMMAND [OPTIONS...]]

Starts the project's test Redfish server on 127.0.0.1 over HTTPS (a throw-away
CA made with openssl), runs quendal-sysinfo against it, trusting that CA, and
stops the server. MOCKUP is a folder, or a name from tests/data/redfish-mockups
(default public-rackmount1); SUBCOMMAND is server (default), smm, cmm or switch
with its options (switch --bay 1). Build the tool first (scripts/run.sh).
Extra options go to quendal-sysinfo: scripts/scan-mockup.py public-bladed cmm --format xml
"""

import os
import subprocess
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "redfish"))
import harness  # noqa: E402

TOOL = os.path.join(ROOT, "build", "release", "tools", "quendal-sysinfo")
SUBCOMMANDS = ("server", "smm", "cmm", "switch")


def main(argv):
    mockup = argv[0] if argv and argv[0] not in SUBCOMMANDS else harness.DEFAULT_MOCKUP
    rest = argv[1:] if argv and argv[0] == mockup else argv
    subcommand, options = (rest[0], rest[1:]) if rest else ("server", [])
    if not os.access(TOOL, os.X_OK):
        sys.exit("scan-mockup.py: %s is not built yet: run scripts/run.sh" % TOOL)
    with harness.RedfishServer(harness.resolve_mockup(mockup)) as server:
        env = dict(os.environ, QUENDAL_PASSWORD=harness.DEFAULT_PASSWORD)
        command = [TOOL, "--ca-file", server.ca_file, subcommand,
                   "--host", "127.0.0.1:%d" % server.port, "--user", harness.DEFAULT_USER]
        print("$ QUENDAL_PASSWORD=... " + " ".join(command + options), file=sys.stderr)
        status = subprocess.call(command + options, env=env)
        left = server.stats()["open_sessions"]
    if left:
        print("scan-mockup.py: %d session(s) left open" % left, file=sys.stderr)
        return 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
