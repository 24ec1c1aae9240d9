#!/usr/bin/env python3
"""What the tool cases cannot see of the test servers (Redfish and CIM): a
mistyped fault is refused rather than ignored, so no case passes for want of
its fault, and a server stops by itself, even when whoever started it is gone.
"""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

from harness import RedfishServer, ServerError, mockup

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.append(os.path.join(os.path.dirname(HERE), "cim"))
from cim_harness import CimServer  # noqa: E402

TLS_DIR = None  # one throw-away CA for every server of the run


def setUpModule():
    global TLS_DIR
    TLS_DIR = tempfile.mkdtemp(prefix="server-selftest-")


def tearDownModule():
    shutil.rmtree(TLS_DIR, ignore_errors=True)


def alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


class ServerTest(unittest.TestCase):
    def test_bad_fault_rules_are_refused(self):
        servers = (RedfishServer(tls_dir=TLS_DIR), CimServer(tls_dir=TLS_DIR))
        rules = ("bogus", "error,count=many", "delay,path=(", "error,colour=red",
                 "error,status=999")
        for server in servers:
            with server:
                for rule in rules:
                    with self.subTest(server=type(server).__name__, rule=rule):
                        self.assertRaises(ServerError, server.set_faults, [rule])
        with self.assertRaises(ServerError):
            CimServer(version="9.9.9", tls_dir=TLS_DIR).start()

    def test_stops_by_itself(self):
        for server in (RedfishServer(tls_dir=TLS_DIR, lifetime=1),
                       CimServer(tls_dir=TLS_DIR, lifetime=1)):
            with server:
                self.assertEqual(server.process.wait(timeout=20), 0)
        ready = os.path.join(TLS_DIR, "orphan.json")
        # The parent starts the server, waits until it is ready and leaves.
        parent = ("import subprocess, sys, os, time\n"
                  "subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL,"
                  " stderr=subprocess.DEVNULL)\n"
                  "while not os.path.exists(%r): time.sleep(0.02)\n" % ready)
        subprocess.run([sys.executable, "-c", parent, sys.executable,
                        os.path.join(HERE, "redfish_server.py"), "--mockup",
                        mockup("public-bladed"), "--tls-dir", TLS_DIR,
                        "--ready-file", ready, "--lifetime", "60"],
                       timeout=20, check=True)
        with open(ready) as f:
            pid = json.load(f)["pid"]
        deadline = time.monotonic() + 20
        while alive(pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        try:
            self.assertFalse(alive(pid))
        finally:
            if alive(pid):
                os.kill(pid, signal.SIGKILL)


if __name__ == "__main__":
    unittest.main()
