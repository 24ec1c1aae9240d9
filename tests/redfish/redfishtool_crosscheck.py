#!/usr/bin/env python3
"""A real Redfish client as referee: the packages quendal-sysinfo lists for a
server equal the firmware inventory that Debian's redfishtool reads from the
same test server (names and versions, in collection order).

usage: redfishtool_crosscheck.py --tool PROGRAM [--emulator RUNNER]
                                 [--dos-paths] --mockup NAME
"""

import argparse
import json
import re
import shutil
import subprocess
import sys

import harness


def redfishtool(server, *arguments):
    command = ["redfishtool", "-r", "127.0.0.1:%d" % server.port, "-u", harness.DEFAULT_USER,
               "-p", harness.DEFAULT_PASSWORD, "-S", "Always", "-A", "Session", "raw", "GET",
               *arguments]
    result = subprocess.run(command, capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        raise SystemExit("redfishtool failed: %s\n%s" % (" ".join(command), result.stderr))
    return json.loads(result.stdout)


def inventory_by_redfishtool(server):
    collection = redfishtool(server, "/redfish/v1/UpdateService/FirmwareInventory")
    packages = []
    for member in collection["Members"]:
        software = redfishtool(server, member["@odata.id"])
        packages.append((software.get("Name", ""), software.get("Version", "")))
    return packages


def packages_by_tool(server, options):
    ca = harness.to_dos_path(server.ca_file) if options.dos_paths else server.ca_file
    case = argparse.Namespace(password=harness.DEFAULT_PASSWORD, max_seconds=60)
    status, out, err, _ = harness.run_tool(
        ["--ca-file", ca, "server", "--host", "127.0.0.1:%d" % server.port, "--user",
         harness.DEFAULT_USER], case, options.tool, options.emulator)
    if status != 0:
        raise SystemExit("quendal-sysinfo failed (%d):\n%s" % (status, err))
    return list(zip(re.findall(r"^    NAME:  \t(.*)$", out, re.M),
                    re.findall(r"^    VERSION:  \t(.*)$", out, re.M)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--emulator")
    parser.add_argument("--dos-paths", action="store_true")
    parser.add_argument("--mockup", required=True)
    options = parser.parse_args()
    if shutil.which("redfishtool") is None:
        raise SystemExit("redfishtool is not installed (Debian package redfishtool)")
    with harness.RedfishServer(options.mockup, tls_dir=harness.shared_tls_dir()) as server:
        expected = inventory_by_redfishtool(server)
        server.reset()
        listed = packages_by_tool(server, options)
        if server.stats()["open_sessions"] != 0:
            raise SystemExit("quendal-sysinfo left a session open")
    if not expected:
        raise SystemExit("redfishtool read no firmware from %s" % options.mockup)
    if listed != expected:
        sys.stderr.write("redfishtool reads:\n  %s\nquendal-sysinfo lists:\n  %s\n" % (
            "\n  ".join(map(str, expected)), "\n  ".join(map(str, listed))))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
