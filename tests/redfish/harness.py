"""Start the test servers (Redfish, CIM) from Python and talk to their control
endpoints; what every table of tool cases shares.

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
import re
import shutil
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
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

class ServerError(RuntimeError):
    """The server did not start, or a control request failed."""


def shared_tls_dir():
    """One throw-away CA for every test server of the tool's tests, made once
    (a new CA and key for every server would cost each case a moment); the
    servers lock the folder while they make or read it (serving.py)."""
    return os.path.join(tempfile.gettempdir(), "quendal-test-tls-%d" % os.getuid())


def mockup(name):
    """The folder of one of the mockups in tests/data/redfish-mockups."""
    path = os.path.join(MOCKUPS, name)
    if not os.path.isfile(os.path.join(path, "index.json")):
        raise ValueError("no mockup %r in %s" % (name, MOCKUPS))
    return path


def resolve_mockup(name_or_dir):
    """A mockup given by folder or by its name in MOCKUPS."""
    return os.path.abspath(name_or_dir) if os.path.isdir(name_or_dir) else mockup(name_or_dir)


def from_dos_path(path):
    return path[2:].replace("\\", "/") if path[:2].upper() == "Z:" else path


class ServerProcess:
    """A test server script in a subprocess, for the length of a with block.

    Keyword options mirror the script's command line: a list gives the option
    once per item (faults: --fault), True a bare flag, None or False nothing.
    ready_file puts the ready file at a chosen path instead of a private
    temporary folder. Once started: port, ports (every port served), pid,
    base_url, host, ca_file and pin (of the server's key). stop() asks the
    server to shut down, then ends the process by signal if it must.
    """

    SCRIPT = None

    def __init__(self, args=(), ready_file=None, **options):
        self.args = list(args)
        for key, value in options.items():
            flag = "--fault" if key == "faults" else "--" + key.replace("_", "-")
            for item in value if isinstance(value, (list, tuple)) else [value]:
                if item is True:
                    self.args.append(flag)
                elif item is not None and item is not False:
                    self.args += [flag, str(item)]
        self.ready_file = ready_file
        self.process = self.port = self.ca_file = self.pin = self._dir = self._stderr = None

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

    def start(self):
        """Start the script and wait for its ready file."""
        name = os.path.basename(self.SCRIPT)
        self._dir = tempfile.mkdtemp(prefix="quendal-%s-" % name)
        self.ready_file = self.ready_file or os.path.join(self._dir, "ready.json")
        # A ready file left by an earlier server would point at a dead port.
        if os.path.exists(self.ready_file):
            os.unlink(self.ready_file)
        self._stderr = open(os.path.join(self._dir, "stderr"), "w+b")
        self.process = subprocess.Popen(
            [sys.executable, self.SCRIPT, "--ready-file", self.ready_file] + self.args,
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self._stderr)
        try:
            deadline = time.monotonic() + READY_TIMEOUT
            while not os.path.exists(self.ready_file):
                if self.process.poll() is not None:
                    raise ServerError("%s exited with status %d:\n%s" % (
                        name, self.process.returncode, self.stderr_text()))
                if time.monotonic() > deadline:
                    raise ServerError("%s not ready after %.0f s:\n%s"
                                      % (name, READY_TIMEOUT, self.stderr_text()))
                time.sleep(0.02)
            with open(self.ready_file) as f:
                info = json.load(f)
        except BaseException:
            self.stop()
            raise
        self.port, self.ports, self.pid = info["port"], info["ports"], info["pid"]
        self.base_url, self.pin = info["base_url"], info["pin"]
        self.ca_file = from_dos_path(info["ca_file"])
        self.host = urllib.parse.urlsplit(self.base_url).hostname
        return self

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
    """redfish_server.py on a mockup (a name in MOCKUPS or a folder)."""

    SCRIPT = os.path.join(HERE, "redfish_server.py")

    def __init__(self, mockup=DEFAULT_MOCKUP, ready_file=None, **options):
        super().__init__(["--mockup", resolve_mockup(mockup)], ready_file, **options)


class CimServer(ServerProcess):
    """tests/cim/cim_server.py on the fixture of one version."""

    SCRIPT = os.path.join(os.path.dirname(HERE), "cim", "cim_server.py")


class Case:
    """One row of a table of tool cases: its name and the fields of DEFAULTS
    (a subclass's) it sets; a field no table knows is a mistake, refused."""

    DEFAULTS = {}

    def __init__(self, name, **fields):
        unknown = set(fields) - set(self.DEFAULTS)
        if unknown:
            raise TypeError("case %s: no field %s" % (name, ", ".join(sorted(unknown))))
        self.name = name
        self.__dict__.update(self.DEFAULTS, **fields)


def run_program(command, emulator, **options):
    """subprocess.run of command with no input and its output captured. Now
    and then Wine ends a program at start with a failure and not a word; the
    tool never fails without saying why, so such a run is not the tool's: it
    is run once more (as run_tool.cmake does), and standard error says so."""
    result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, **options)
    if emulator and result.returncode != 0 and not result.stdout and not result.stderr:
        sys.stderr.write("the emulator ended with %d and no output; running again\n"
                         % result.returncode)
        result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                                **options)
    return result


def run_tool(arguments, case, program, emulator):
    """Runs the tool as a case asks (case.password, case.max_seconds):
    (exit status, standard output, standard error, seconds taken)."""
    command = ([emulator] if emulator else []) + [program] + arguments
    env = dict(os.environ, QUENDAL_PASSWORD=case.password)
    env.pop("TESMORA_LOG_LEVEL", None)
    started = time.monotonic()
    result = run_program(command, emulator, env=env, timeout=case.max_seconds + 60)
    elapsed = time.monotonic() - started
    out = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
    err = result.stderr.decode("utf-8", "replace").replace("\r\n", "\n")
    return result.returncode, out, err, elapsed


def with_pin(pattern, pin):
    """A case's pattern with {pin} the server's pin."""
    return pattern.replace("{pin}", re.escape(pin or "sha256:?"))


def common_failures(case, status, out, err, elapsed, pin):
    """What every tool case checks: the exit status (case.exit), the patterns
    of standard error (case.stderr), that the password (case.password) shows
    nowhere and that the tool took at most case.max_seconds."""
    failures = [] if status == case.exit else ["exit status %d, expected %d"
                                               % (status, case.exit)]
    failures += ["standard error does not match %r" % with_pin(wanted, pin)
                 for wanted in case.stderr if not re.search(with_pin(wanted, pin), err)]
    if case.password in out + err:
        failures.append("the password appears in the output")
    if elapsed > case.max_seconds:
        failures.append("took %.1f s, more than %d s" % (elapsed, case.max_seconds))
    return failures


def run_case(case, options, server, arguments, check):
    """Runs the tool for one case, against server() (a ServerProcess not yet
    started) unless case.no_server: arguments(port, ca, pin) are the tool's
    (ca None without a server), check(case, status, out, err, elapsed, stats,
    pin) finds the failures (stats None without a server or where case.stats
    is false). Returns (failures, log) as case_main wants them."""
    if case.no_server:
        status, out, err, elapsed = run_tool(arguments(0, None, None), case, options.tool,
                                             options.emulator)
        return check(case, status, out, err, elapsed, None, None), "--- standard error\n" + err
    with server() as running:
        ca = to_dos_path(running.ca_file) if options.dos_paths else running.ca_file
        status, out, err, elapsed = run_tool(arguments(running.port, ca, running.pin), case,
                                             options.tool, options.emulator)
        stats = running.stats() if getattr(case, "stats", True) else None
    failures = check(case, status, out, err, elapsed, stats, running.pin)
    return failures, "--- standard error\n" + err


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
