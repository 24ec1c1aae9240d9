#!/usr/bin/env python3
"""A real WBEM client as referee: Debian's wbemcli enumerates, from the test
CIM server and checking its certificate, exactly the fixture instances of the
two classes the tool reads, property by property, for every fixture version.
What the tool makes of a version is its tool cases' (tool_cases.py,
version_*) and the module's own test's.

usage: wbemcli_crosscheck.py [--version V]...
"""

import argparse
import re
import shutil
import subprocess
import sys

import cim_harness
from cim_server import BUILDS, SUPERCLASS, fixture

CLASSES = ("CIM_SoftwareIdentity", "CIM_Processor")


def parse_value(text):
    """A property's value as wbemcli prints it: quoted text or bare numbers."""
    if text.startswith('"') and text.endswith('"') and len(text) >= 2:
        return text[1:-1]
    return text.split(",") if "," in text else text


def wbemcli_instances(server, class_name):
    """(class, {property: value}) per line of `wbemcli ei`."""
    url = "https://%s:%s@127.0.0.1:%d/root/cimv2:%s" % (
        cim_harness.USER, cim_harness.PASSWORD, server.port, class_name)
    result = subprocess.run(["wbemcli", "ei", "-cacert", server.ca_file, url],
                            capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        raise SystemExit("wbemcli ei %s failed (%d):\n%s%s" % (
            class_name, result.returncode, result.stdout, result.stderr))
    found = []
    for line in result.stdout.splitlines():
        if not line.strip():
            continue
        # host:port/namespace:Class.Key="..",... Name=value,Name=value,...
        path, _, properties = line.partition(" ")
        match = re.match(r"[^/]+/root/cimv2:(\w+)\.", path)
        if match is None:
            raise SystemExit("wbemcli printed an unexpected line:\n" + line)
        values = {}
        for item in re.split(r',(?=\w+=)', properties):
            name, _, value = item.partition("=")
            values[name] = parse_value(value)
        found.append((match.group(1), values))
    return found


def fixture_instances(version, class_name):
    """The fixture's instances, arrays of one value as wbemcli prints them."""
    return [(name, {key: value[0] if isinstance(value, list) and len(value) == 1 else value
                    for key, _, value in properties})
            for name, _, properties in fixture(version) if SUPERCLASS[name] == class_name]


def check_version(version, tls_dir):
    failures = []
    with cim_harness.CimServer(version=version, tls_dir=tls_dir) as server:
        read = {c: wbemcli_instances(server, c) for c in CLASSES}
        for class_name in CLASSES:
            expected = fixture_instances(version, class_name)
            if read[class_name] != expected:
                failures.append("%s: wbemcli reads\n  %s\nthe fixture holds\n  %s" % (
                    class_name, "\n  ".join(map(str, read[class_name])),
                    "\n  ".join(map(str, expected))))
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", action="append", choices=sorted(BUILDS))
    options = parser.parse_args()
    if shutil.which("wbemcli") is None:
        raise SystemExit("wbemcli is not installed (Debian package sblim-wbemcli)")
    failures = []
    for version in options.version or sorted(BUILDS):
        failures += ["%s: %s" % (version, f)
                     for f in check_version(version, cim_harness.shared_tls_dir())]
    if failures:
        sys.stderr.write("\n".join(failures) + "\n")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
