#!/usr/bin/env python3
"""Tests of the test Redfish server, its harness and with_server.py."""

import http.client
import json
import os
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import time
import unittest

from harness import (MOCKUPS, RedfishServer, ServerError, from_dos_path,
                     mockup)

HERE = os.path.dirname(os.path.abspath(__file__))
JSON_TYPE = "application/json; charset=utf-8"
SESSIONS = "/redfish/v1/SessionService/Sessions"
FIRMWARE = "/redfish/v1/UpdateService/FirmwareInventory"
TLS_DIR = None  # one throw-away CA for every server of the run


def setUpModule():
    global TLS_DIR
    TLS_DIR = tempfile.mkdtemp(prefix="redfish-selftest-")


def tearDownModule():
    shutil.rmtree(TLS_DIR, ignore_errors=True)


def server(name="public-rackmount1", **options):
    return RedfishServer(name, tls_dir=TLS_DIR, **options)


def mockup_file(name, *segments):
    """A mockup's resource as the server serves it: a root offers $expand
    only where the expand fault is given."""
    with open(os.path.join(mockup(name), *segments, "index.json")) as f:
        resource = json.load(f)
    if not segments:
        resource.get("ProtocolFeaturesSupported", {}).pop("ExpandQuery", None)
    return resource


class ServerCase(unittest.TestCase):
    """Tests sharing one server, its counters and faults cleared per test."""
    options = {}

    @classmethod
    def setUpClass(cls):
        cls.server = server(**cls.options).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        self.server.set_faults([])
        self.server.reset()

    def fetch(self, path, method="GET", auth=True, headers=None, body=None):
        """(response, elapsed seconds); response.body is None if cut off."""
        headers = dict(self.server.basic_auth() if auth else {},
                       **(headers or {}))
        conn = self.server.connection()
        start = time.monotonic()
        try:
            conn.request(method, path, body=body, headers=headers)
            response = conn.getresponse()
            try:
                response.body = response.read()
            except http.client.IncompleteRead:
                response.body = None
            return response, time.monotonic() - start
        finally:
            conn.close()

    def login(self):
        response = self.server.request("POST", SESSIONS, {
            "UserName": self.server.user, "Password": self.server.password})
        self.assertEqual(response.status, 201, response.body)
        return response

    def assertRedfishError(self, response, status):
        self.assertEqual(response.status, status, response.body)
        self.assertEqual(response.getheader("Content-Type"), JSON_TYPE)
        error = json.loads(response.body)["error"]
        self.assertEqual(error["code"], "Base.1.0.GeneralError")
        self.assertEqual(error["@Message.ExtendedInfo"], [])


class LayoutTest(ServerCase):
    def test_paths_map_to_mockup_files(self):
        escape = "/redfish/v1/..%2F..%2Fredfish-mockups%2Fpublic-bladed"
        cases = [  # path, authenticated, expected status, mockup file
            ("/redfish", False, 200, None),
            ("/redfish/v1/", False, 200, ()),
            ("/redfish/v1", False, 200, ()),
            ("/redfish/v1/odata", False, 200, ("odata",)),
            ("/redfish/v1/Systems", True, 200, ("Systems",)),
            ("/redfish/v1/Systems/", True, 200, ("Systems",)),
            ("/redfish/v1/Systems?$select=Name", True, 200, ("Systems",)),
            ("/redfish/v1/Managers/BMC", True, 200, ("Managers", "BMC")),
            ("/redfish/v1/NoSuchThing", True, 404, None),
            ("/redfish/v1/../../../../etc/passwd", True, 404, None),
            (escape, True, 404, None),
            ("/redfish/v1/Systems/%2e%2e", True, 404, None),
            ("/redfish/v2/", True, 404, None),
            ("/index.html", True, 404, None),
        ]
        for path, auth, status, segments in cases:
            with self.subTest(path=path):
                response, _ = self.fetch(path, auth=auth)
                if status != 200:
                    self.assertRedfishError(response, status)
                    continue
                self.assertEqual(response.status, 200)
                self.assertEqual(response.getheader("Content-Type"), JSON_TYPE)
                self.assertEqual(response.getheader("OData-Version"), "4.0")
                expected = ({"v1": "/redfish/v1/"} if segments is None
                            else mockup_file("public-rackmount1", *segments))
                self.assertEqual(json.loads(response.body), expected)

    def test_metadata_is_xml(self):
        with open(os.path.join(mockup("public-rackmount1"), "$metadata",
                               "index.xml"), "rb") as f:
            expected = f.read()
        for path in ("/redfish/v1/$metadata", "/redfish/v1/%24metadata/"):
            with self.subTest(path=path):
                response, _ = self.fetch(path, auth=False)
                self.assertEqual(response.status, 200)
                self.assertEqual(response.getheader("Content-Type"),
                                 "application/xml")
                self.assertEqual(response.body, expected)

    def test_other_methods_are_not_allowed(self):
        for method, path in (("PATCH", "/redfish/v1/Systems"),
                             ("PUT", "/redfish/v1/Systems"),
                             ("POST", "/redfish/v1/Systems"),
                             ("DELETE", "/redfish/v1/Managers/BMC"),
                             ("POST", "/redfish/v1/")):
            with self.subTest(method=method, path=path):
                response, _ = self.fetch(path, method, body=b"{}")
                self.assertRedfishError(response, 405)


class AuthTest(ServerCase):
    def test_credentials(self):
        token = self.login().headers["X-Auth-Token"]
        basic = self.server.basic_auth
        cases = [  # what the client sends, expected status
            ({}, 401),
            (basic(), 200),
            (basic(password="wrong"), 401),
            (basic(user="someone"), 401),
            ({"Authorization": "Basic !!!"}, 401),
            ({"Authorization": "Bearer " + token}, 401),
            ({"X-Auth-Token": token}, 200),
            ({"X-Auth-Token": token[:-1]}, 401),
            ({"X-Auth-Token": "bogus", **basic()}, 200),
        ]
        for headers, status in cases:
            with self.subTest(headers=headers):
                response, _ = self.fetch("/redfish/v1/Systems", auth=False,
                                         headers=headers)
                self.assertEqual(response.status, status, response.body)
                if status == 401:
                    self.assertRedfishError(response, 401)
                    self.assertEqual(response.getheader("WWW-Authenticate"),
                                     'Basic realm="quendal-test"')

    def test_session_life(self):
        already = self.server.stats()["open_sessions"]
        created = self.login()
        token = created.headers["X-Auth-Token"]
        location = created.headers["Location"]
        self.assertRegex(location, "^" + SESSIONS + "/[^/]+$")
        self.assertEqual(created.json()["UserName"], self.server.user)
        self.assertNotIn(self.server.password.encode(), created.body)
        second = self.login().headers["Location"]
        stats = self.server.stats()
        self.assertEqual((stats["open_sessions"], stats["sessions_created"]),
                         (already + 2, 2))
        listed, _ = self.fetch(SESSIONS)
        members = [m["@odata.id"] for m in json.loads(listed.body)["Members"]]
        self.assertEqual(len(members), already + 2)
        self.assertTrue({location, second} <= set(members))
        self.assertFalse(any(m.endswith("1234567890ABCDEF") for m in members))
        self.assertEqual(json.loads(self.fetch(location)[0].body)["@odata.id"],
                         location)
        static = SESSIONS + "/1234567890ABCDEF"
        self.assertRedfishError(self.fetch(static)[0], 404)
        token_auth = {"X-Auth-Token": token}
        deleted, _ = self.fetch(location, "DELETE", False, token_auth)
        self.assertEqual(deleted.status, 204)
        self.assertEqual(self.fetch("/redfish/v1/Systems", auth=False,
                                    headers=token_auth)[0].status, 401)
        self.assertRedfishError(self.fetch(location, "DELETE")[0], 404)
        stats = self.server.stats()
        self.assertEqual((stats["open_sessions"], stats["sessions_created"]),
                         (already + 1, 2))

    def test_session_create_refusals(self):
        cases = [
            (json.dumps({"UserName": "quendal", "Password": "nope"}), 401),
            (json.dumps({"UserName": "quendal"}), 400),
            ("not json", 400),
        ]
        for body, status in cases:
            with self.subTest(body=body):
                response, _ = self.fetch(SESSIONS, "POST", False,
                                         body=body.encode())
                self.assertRedfishError(response, status)
        self.assertEqual(self.server.stats()["sessions_created"], 0)

    def test_redfishtool_logs_in_and_out(self):
        if not shutil.which("redfishtool"):
            self.skipTest("redfishtool is not installed")
        already = self.server.stats()["open_sessions"]
        result = subprocess.run(
            ["redfishtool", "-r", "127.0.0.1:%d" % self.server.port,
             "-u", self.server.user, "-p", self.server.password,
             "-S", "Always", "-A", "Session", "raw", "GET",
             "/redfish/v1/Systems"], capture_output=True, text=True,
            timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(json.loads(result.stdout),
                         mockup_file("public-rackmount1", "Systems"))
        stats = self.server.stats()
        self.assertEqual((stats["open_sessions"], stats["sessions_created"]),
                         (already, 1))


class CommandLineTest(ServerCase):
    options = {"no_sessions": True, "faults": ["not-found,path=Chassis"],
               "user": "operator7", "password": "Other-pw-2", "delay_ms": 150}

    def setUp(self):
        self.server.reset()  # keeping the faults given at start

    def test_clients_must_use_basic(self):
        root = json.loads(self.fetch("/redfish/v1/", auth=False)[0].body)
        self.assertNotIn("SessionService", root)
        self.assertNotIn("Sessions", root.get("Links", {}))
        self.assertIn("Systems", root)
        refused, _ = self.fetch(SESSIONS, "POST", False, body=json.dumps(
            {"UserName": "operator7", "Password": "Other-pw-2"}).encode())
        self.assertRedfishError(refused, 405)
        self.assertEqual(self.fetch("/redfish/v1/Systems")[0].status, 200)
        self.assertRedfishError(self.fetch(
            "/redfish/v1/SessionService")[0], 404)

    def test_options(self):
        defaults = self.server.basic_auth("quendal", "Quendal-test-pw1")
        response, elapsed = self.fetch("/redfish/v1/Systems", auth=False,
                                       headers=defaults)
        self.assertEqual(response.status, 401)
        self.assertGreaterEqual(elapsed, 0.15)
        self.assertRedfishError(self.fetch("/redfish/v1/Chassis")[0], 404)


class PagingTest(ServerCase):
    options = {"page_size": 2}

    def test_pages_follow_next_links(self):
        cases = [  # collection, pages expected
            (FIRMWARE, 2),  # its count says 2 of its 3 members
            ("/redfish/v1/Systems/437XR1138R2/EthernetInterfaces", 2),
            ("/redfish/v1/Systems/437XR1138R2/SecureBoot/"
             "SecureBootDatabases", 4),
            ("/redfish/v1/Systems", 1),
        ]
        for path, pages in cases:
            with self.subTest(path=path):
                whole = mockup_file("public-rackmount1", *path.split("/")[3:])
                members, link, seen = [], path, 0
                while link:
                    page = json.loads(self.fetch(link)[0].body)
                    seen += 1
                    self.assertLessEqual(len(page["Members"]), 2)
                    self.assertEqual(page["Members@odata.count"],
                                     whole["Members@odata.count"])
                    members += page["Members"]
                    link = page.get("Members@odata.nextLink")
                    if link:
                        self.assertEqual(link, "%s?$skip=%d"
                                         % (path, len(members)))
                self.assertEqual((members, seen), (whole["Members"], pages))

    def test_open_sessions_are_paged_too(self):
        for _ in range(3):
            self.login()
        first = json.loads(self.fetch(SESSIONS)[0].body)
        self.assertEqual(len(first["Members"]), 2)
        self.assertEqual(first["Members@odata.count"], 3)
        self.assertEqual(first["Members@odata.nextLink"],
                         SESSIONS + "?$skip=2")


class FaultTest(ServerCase):
    def check_fault(self, faults, steps):
        """steps: (method, path, status, check(response, elapsed) or None)."""
        self.server.set_faults(faults)
        for method, path, status, check in steps:
            body = None
            if method == "POST":
                body = json.dumps({"UserName": "quendal",
                                   "Password": "Quendal-test-pw1"}).encode()
            response, elapsed = self.fetch(path, method, body=body)
            self.assertEqual(response.status, status, (method, path))
            if check:
                check(response, elapsed)

    def test_fault_kinds(self):
        systems = "/redfish/v1/Systems"
        port = self.server.port
        plain = len(self.fetch("/redfish")[0].body)

        def error_with_retry(r, _):
            self.assertRedfishError(r, 503)
            self.assertEqual(r.getheader("Retry-After"), "7")

        def server_error(r, _):
            self.assertRedfishError(r, 500)

        def moved(r, _):
            self.assertEqual(r.getheader("Location"), "https://"
                             "elsewhere.invalid:%d%s" % (port, systems))

        def not_json(r, _):
            self.assertEqual(len(r.body), int(r.getheader("Content-Length")))
            self.assertRaises(ValueError, json.loads, r.body)

        def cut_off(r, _):
            self.assertIsNone(r.body)
            self.assertGreater(int(r.getheader("Content-Length")), 0)

        def html(r, _):
            self.assertTrue(r.getheader("Content-Type").startswith(
                "text/html"))
            self.assertIn(b"<html>", r.body)

        def looping(r, _):
            self.assertEqual(json.loads(r.body)["Members@odata.nextLink"],
                             systems)

        cases = [  # faults, steps
            (["unauthorized"], [("GET", systems, 401, None)]),
            (["error,status=503,retry_after=7"],
             [("GET", systems, 503, error_with_retry),
              ("GET", systems, 200, None)]),
            (["error"], [("POST", SESSIONS, 201, None),
                         ("GET", systems, 500, server_error)]),
            (["error,path=Sessions$"], [("POST", SESSIONS, 500, None)]),
            (["not-found,count=2"], [("GET", systems, 404, None),
                                     ("GET", systems, 404, None),
                                     ("GET", systems, 200, None)]),
            (["not-found,path=Managers"], [("GET", systems, 200, None),
                                           ("GET", "/redfish/v1/Managers",
                                            404, None)]),
            (["redirect"], [("GET", systems, 301, moved)]),
            (["redirect,status=307"], [("GET", systems, 307, moved)]),
            (["invalid-json"], [("GET", systems, 200, not_json)]),
            (["truncated"], [("GET", systems, 200, cut_off)]),
            (["html,path=^/redfish/v1/?$"],
             [("GET", "/redfish/v1/", 200, html),
              ("GET", systems, 200, None)]),
            (["loop"], [("GET", "/redfish/v1/", 200, None),
                        ("GET", systems, 200, looping)]),
            (["delay,ms=300"], [("GET", systems, 200, lambda r, t:
                                 self.assertGreaterEqual(t, 0.3))]),
            (["trickle,ms=20"], [("GET", "/redfish", 200, lambda r, t: (
                self.assertEqual(len(r.body), plain),
                self.assertGreaterEqual(t, 0.02 * (plain - 1))))]),
        ]
        for faults, steps in cases:
            with self.subTest(faults=faults):
                self.check_fault(faults, steps)

    def test_bad_fault_rules_are_refused(self):
        for rule in ("bogus", "error,count=many", "delay,path=(",
                     "error,colour=red", "error,status=999"):
            with self.subTest(rule=rule):
                self.assertRaises(ServerError, self.server.set_faults, [rule])


class ControlTest(ServerCase):
    def test_stats_count_what_the_client_did(self):
        self.login()
        conn = self.server.connection()
        for path in ("/redfish/v1/", "/redfish/v1/Systems?$top=1"):
            conn.request("GET", path, headers=self.server.basic_auth())
            conn.getresponse().read()
        conn.close()
        stats = self.server.stats()
        self.assertEqual(stats["log"], [
            "POST " + SESSIONS, "GET /redfish/v1/",
            "GET /redfish/v1/Systems?$top=1"])
        self.assertEqual((stats["requests"], stats["connections"]), (3, 2))
        self.assertEqual(self.server.reset()["requests"], 0)
        stats = self.server.stats()
        self.assertEqual((stats["requests"], stats["connections"],
                          stats["log"], stats["sessions_created"],
                          stats["open_sessions"]), (0, 0, [], 0, 1))

    def test_unknown_control_requests(self):
        self.assertRedfishError(self.fetch("/__control/nothing")[0], 404)
        self.assertRedfishError(self.fetch("/__control/reset")[0], 405)


class TlsTest(ServerCase):
    def test_verification_needs_the_ca(self):
        conn = self.server.connection(context=ssl.create_default_context())
        with self.assertRaises(ssl.SSLCertVerificationError):
            conn.request("GET", "/redfish")
        for host in ("localhost", "127.0.0.1"):
            conn = self.server.connection(host=host)
            conn.request("GET", "/redfish")
            self.assertEqual(conn.getresponse().status, 200)
            conn.close()
        curl = ["curl", "-sS", "-o", os.devnull, self.server.base_url +
                "/redfish"]
        if shutil.which("curl"):
            run = subprocess.run
            self.assertEqual(run(curl, capture_output=True).returncode, 60)
            self.assertEqual(run(curl + ["--cacert", self.server.ca_file],
                                 capture_output=True).returncode, 0)

    def test_certificates(self):
        def x509(name, *args):
            return subprocess.run(
                ["openssl", "x509", "-noout", "-in",
                 os.path.join(TLS_DIR, name), *args],
                capture_output=True, text=True, check=True).stdout

        self.assertIn("CA:TRUE", x509("ca.pem", "-ext", "basicConstraints"))
        self.assertIn("DNS:localhost, IP Address:127.0.0.1, "
                      "IP Address:0:0:0:0:0:0:0:1",
                      x509("server.pem", "-ext", "subjectAltName"))
        self.assertIn("ASN1 OID: prime256v1", x509("ca.pem", "-text"))
        dates = dict(line.split("=", 1) for line in
                     x509("server.pem", "-dates").splitlines())
        start = ssl.cert_time_to_seconds(dates["notBefore"])
        end = ssl.cert_time_to_seconds(dates["notAfter"])
        self.assertLess(start, time.time() - 23 * 3600)
        self.assertAlmostEqual((end - start) / 86400, 30, delta=0.01)
        with open(self.server.ca_file, "rb") as f:
            before = f.read()
        with server() as other, open(other.ca_file, "rb") as f:
            self.assertEqual(f.read(), before)


class ProcessTest(unittest.TestCase):
    def test_ready_file(self):
        for dos in (False, True):
            with self.subTest(dos_paths=dos), server(dos_paths=dos) as s:
                with open(s.ready_file) as f:
                    ready = json.load(f)
                self.assertEqual(ready["pid"], s.process.pid)
                self.assertEqual(ready["base_url"],
                                 "https://127.0.0.1:%d" % ready["port"])
                self.assertEqual(ready["ca_file"].startswith("Z:\\"), dos)
                self.assertTrue(os.path.isfile(from_dos_path(
                    ready["ca_file"])))
                self.assertEqual(s.stats()["requests"], 0)
            self.assertFalse(os.path.exists(s.ready_file))

    def test_stops_by_itself(self):
        with server(lifetime=1) as s:
            self.assertEqual(s.process.wait(timeout=20), 0)
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

    def test_mockup_folder_of_ones_own(self):
        with self.assertRaisesRegex(ServerError, "not a mockup folder"):
            server(MOCKUPS).start()
        folder = tempfile.mkdtemp(dir=TLS_DIR)
        shutil.copy(os.path.join(mockup("public-bladed"), "index.json"),
                    folder)
        # A link out of the folder must not make the files behind it public.
        os.symlink(mockup("public-rackmount1"), os.path.join(folder, "Out"))
        with server(folder) as s:
            response = s.request("GET", "/redfish/v1/Out",
                                 headers=s.basic_auth())
            self.assertEqual(response.status, 404)
            self.assertEqual(s.request("GET", "/redfish/v1/").json(),
                             mockup_file("public-bladed"))


def alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


class WithServerTest(unittest.TestCase):
    # Reads the ready file the way a client under test would, and opens a
    # session when asked to.
    CLIENT = (
        "import http.client, json, os, ssl, sys\n"
        "from harness import from_dos_path as unix\n"
        "path = os.environ['QUENDAL_REDFISH_SERVER']\n"
        "ready = json.load(open(unix(path)))\n"
        "assert (ready['ca_file'][0] == '/') == (path[0] == '/')\n"
        "ctx = ssl.create_default_context(cafile=unix(ready['ca_file']))\n"
        "c = http.client.HTTPSConnection('127.0.0.1', ready['port'], "
        "context=ctx)\n"
        "body = json.dumps({'UserName': 'quendal', "
        "'Password': 'Quendal-test-pw1'})\n"
        "c.request('POST', '/redfish/v1/SessionService/Sessions', body)\n"
        "r = c.getresponse(); r.read()\n"
        "if 'logout' in sys.argv and r.status == 201:\n"
        "    c.request('DELETE', r.headers['Location'], "
        "headers={'X-Auth-Token': r.headers['X-Auth-Token']}); "
        "c.getresponse().read()\n"
        "sys.exit(int(sys.argv[1]) if r.status == 201 else 99)\n")

    def test_wrapper(self):
        cases = [  # wrapper options, client arguments, status, stderr text
            (["--mockup", "public-power-shelf"], ["5", "logout"], 5, ""),
            (["--dos-paths", "--check-sessions-closed"], ["0", "logout"], 0,
             ""),
            (["--check-sessions-closed"], ["0"], 1, "1 session(s) still open"),
            (["--no-sessions"], ["0", "logout"], 99, ""),
        ]
        for options, args, status, message in cases:
            with self.subTest(options=options, args=args):
                result = subprocess.run(
                    [sys.executable, os.path.join(HERE, "with_server.py"),
                     "--tls-dir", TLS_DIR, *options, "--", sys.executable,
                     "-c", self.CLIENT, *args],
                    capture_output=True, text=True, timeout=60,
                    env=dict(os.environ, PYTHONPATH=HERE))
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(message, result.stderr)


if __name__ == "__main__":
    unittest.main()
