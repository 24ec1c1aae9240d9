"""Start the test Redfish server from Python and talk to its control endpoints.

    from harness import RedfishServer, mockup

    with RedfishServer("public-rackmount1", page_size=2) as server:
        ...  # point the client at server.base_url, trusting server.ca_file
        assert server.stats()["open_sessions"] == 0
"""

import argparse
import base64
import hashlib
import http.client
import json
import os
import shutil
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER_SCRIPT = os.path.join(HERE, "redfish_server.py")
MOCKUPS = os.path.normpath(os.path.join(HERE, "..", "data", "redfish-mockups"))
DEFAULT_MOCKUP = "public-rackmount1"
DEFAULT_USER = "quendal"
DEFAULT_PASSWORD = "Quendal-test-pw1"
READY_TIMEOUT = 20.0
# The pin of a key no test server has: the one an endpoint had before its key changed; and
# what the tool says of a server whose key is not the pinned one ({pin}: the key it has).
OTHER_PIN = "sha256:" + base64.b64encode(hashlib.sha256(b"an earlier key").digest()).decode()
NOT_PINNED = (r"error: 127\.0\.0\.\d:\d+: the certificate's key is not the pinned one "
              r"\(it is {pin}\)")

if HERE not in sys.path:
    sys.path.insert(0, HERE)
from serving import to_dos_path  # noqa: E402

__all__ = ["MOCKUPS", "DEFAULT_MOCKUP", "DEFAULT_USER", "DEFAULT_PASSWORD", "OTHER_PIN",
           "NOT_PINNED",
           "RedfishServer", "ServerError", "ServerProcess", "mockup",
           "resolve_mockup", "run_tool", "server_args", "case_main", "to_dos_path",
           "from_dos_path"]


class ServerError(RuntimeError):
    """The server did not start, or a control request failed."""


def shared_tls_dir():
    """One throw-away CA for every test server of the tool's tests, made once
    (a new CA and key for every server would cost each case a moment).

    The server locks the folder while it makes or reads the files, so
    servers may start side by side; it makes a set again when Wine would
    misread one of its signatures (serving.signature_numbers_full_length).
    """
    return os.path.join(tempfile.gettempdir(), "quendal-test-tls-%d" % os.getuid())


def mockup(name):
    """The folder of one of the mockups in tests/data/redfish-mockups."""
    path = os.path.join(MOCKUPS, name)
    if not os.path.isfile(os.path.join(path, "index.json")):
        raise ValueError("no mockup %r in %s" % (name, MOCKUPS))
    return path


def resolve_mockup(name_or_dir):
    """A mockup given by folder or by its name in MOCKUPS."""
    if os.path.isdir(name_or_dir):
        return os.path.abspath(name_or_dir)
    return mockup(name_or_dir)


def from_dos_path(path):
    if path[:2].upper() == "Z:":
        return path[2:].replace("\\", "/")
    return path


def server_args(user=None, password=None, no_sessions=False, page_size=0,
                faults=(), delay_ms=0, tls_dir=None, lifetime=None, host=None,
                port=None, dos_paths=False, verbose=False, extra_args=(),
                ports=1, self_signed=False):
    """Command-line options of redfish_server.py for the keyword options."""
    args = []
    if ports != 1:
        args += ["--ports", str(ports)]
    for flag, value in (("--user", user), ("--password", password),
                        ("--tls-dir", tls_dir), ("--lifetime", lifetime),
                        ("--host", host), ("--port", port)):
        if value is not None:
            args += [flag, str(value)]
    if page_size:
        args += ["--page-size", str(page_size)]
    if delay_ms:
        args += ["--delay-ms", str(delay_ms)]
    for fault in faults:
        args += ["--fault", fault]
    for flag, on in (("--no-sessions", no_sessions),
                     ("--dos-paths", dos_paths), ("--verbose", verbose),
                     ("--self-signed", self_signed)):
        if on:
            args.append(flag)
    return args + list(extra_args)


class ServerProcess:
    """A test server script in a subprocess, for the length of a with block.

    A subclass names its script (SCRIPT) and calls _launch() from start()
    with the script's arguments; stop() asks the server to shut down, then
    ends the process by signal if it must.
    """

    SCRIPT = None

    def __init__(self):
        self.process = None
        self.port = None
        self.ready_file = None
        self._dir = None
        self._stderr = None

    def _control(self, method, name, payload=None):
        """A request to the server's control endpoints, on a connection of its
        own that trusts the server's throw-away CA only."""
        conn = http.client.HTTPSConnection(
            self.host, self.port, timeout=10,
            context=ssl.create_default_context(cafile=self.ca_file))
        try:
            conn.request(method, "/__control/" + name,
                         None if payload is None else json.dumps(payload).encode())
            response = conn.getresponse()
            body = response.read()
        finally:
            conn.close()
        if response.status != 200:
            raise ServerError("%s /__control/%s: %d %s" % (
                method, name, response.status, body.decode(errors="replace")))
        return json.loads(body)

    def stats(self):
        return self._control("GET", "stats")

    def reset(self):
        return self._control("POST", "reset")

    def set_faults(self, faults):
        return self._control("POST", "faults", list(faults))

    def shutdown(self):
        return self._control("POST", "shutdown")

    def _launch(self, prefix, args, ready_file=None):
        """Start the script and return its ready file's content."""
        self._dir = tempfile.mkdtemp(prefix=prefix)
        self.ready_file = ready_file or os.path.join(self._dir, "ready.json")
        # A ready file left by an earlier server would point at a dead port.
        if os.path.exists(self.ready_file):
            os.unlink(self.ready_file)
        self._stderr = open(os.path.join(self._dir, "stderr"), "w+b")
        self.process = subprocess.Popen(
            [sys.executable, self.SCRIPT, "--ready-file", self.ready_file]
            + args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=self._stderr)
        try:
            return self._wait_ready()
        except BaseException:
            self.stop()
            raise

    def _wait_ready(self):
        name = os.path.basename(self.SCRIPT)
        deadline = time.monotonic() + READY_TIMEOUT
        while time.monotonic() < deadline:
            if os.path.exists(self.ready_file):
                with open(self.ready_file) as f:
                    return json.load(f)
            if self.process.poll() is not None:
                raise ServerError("%s exited with status %d:\n%s"
                                  % (name, self.process.returncode,
                                     self.stderr_text()))
            time.sleep(0.02)
        raise ServerError("%s not ready after %.0f s:\n%s"
                          % (name, READY_TIMEOUT, self.stderr_text()))

    def stop(self):
        """Stop the server: politely first, then by signal."""
        if self.process is not None:
            if self.process.poll() is None and self.port is not None:
                try:
                    self.shutdown()
                except (OSError, ServerError, http.client.HTTPException):
                    pass
            for finish in (None, self.process.terminate, self.process.kill):
                if finish is not None:
                    finish()
                try:
                    self.process.wait(timeout=5)
                    break
                except subprocess.TimeoutExpired:
                    pass
            self.process = None
        if self._stderr is not None:
            self._stderr.close()
            self._stderr = None
        if self._dir is not None:
            shutil.rmtree(self._dir, ignore_errors=True)
            self._dir = None

    def stderr_text(self):
        if self._stderr is None:
            return ""
        self._stderr.flush()
        self._stderr.seek(0)
        return self._stderr.read().decode(errors="replace")

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


class RedfishServer(ServerProcess):
    """redfish_server.py in a subprocess, for the length of a with block.

    Keyword options mirror the command line: user, password, no_sessions,
    page_size, faults (a list), delay_ms, tls_dir, self_signed, lifetime,
    host, port, ports, dos_paths, verbose, extra_args (passed as they are).
    ready_file puts the ready file at a chosen path instead of a private
    temporary folder.  ports lists every port served (port is the first);
    pin is the pin of the server's key.
    """

    SCRIPT = SERVER_SCRIPT

    def __init__(self, mockup=DEFAULT_MOCKUP, ready_file=None, **options):
        super().__init__()
        self.mockup = resolve_mockup(mockup)
        self.options = options
        self.user = options.get("user") or DEFAULT_USER
        self.password = options.get("password") or DEFAULT_PASSWORD
        self._chosen_ready_file = ready_file
        self.pid = self.ca_file = self.base_url = self.host = self.pin = None
        self.ports = []

    # ------------------------------------------------------------ life

    def start(self):
        info = self._launch("quendal-redfish-",
                            ["--mockup", self.mockup]
                            + server_args(**self.options),
                            self._chosen_ready_file)
        self.port = info["port"]
        self.ports = info.get("ports", [self.port])
        self.pid = info["pid"]
        self.base_url = info["base_url"]
        self.ca_file = from_dos_path(info["ca_file"])
        self.pin = info["pin"]
        self.host = urllib.parse.urlsplit(self.base_url).hostname
        return self


def run_tool(arguments, case, program, emulator):
    """Runs the tool as a case asks (case.password, case.max_seconds):
    (exit status, standard output, standard error, seconds taken)."""
    command = ([emulator] if emulator else []) + [program] + arguments
    env = dict(os.environ, QUENDAL_PASSWORD=case.password)
    env.pop("TESMORA_LOG_LEVEL", None)
    started = time.monotonic()
    result = subprocess.run(command, env=env, stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=case.max_seconds + 60)
    elapsed = time.monotonic() - started
    out = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
    err = result.stderr.decode("utf-8", "replace").replace("\r\n", "\n")
    return result.returncode, out, err, elapsed


def case_main(cases, run):
    """The command line every table of tool cases shares: --list prints the
    names of cases (a dict from name to case, in order), --case NAME runs one
    as run(case, options) -> (failures, log) and returns the exit status."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--tool")
    parser.add_argument("--emulator")
    parser.add_argument("--dos-paths", action="store_true")
    parser.add_argument("--case")
    options = parser.parse_args()
    if options.list:
        print(";".join(cases))
        return 0
    if not options.tool or not options.case:
        parser.error("--tool and --case are needed")
    if options.case not in cases:
        parser.error("no case %r" % options.case)
    failures, log = run(cases[options.case], options)
    if failures:
        sys.stderr.write("case %s:\n%s\n%s" % (options.case, "\n".join(failures), log))
        return 1
    return 0
