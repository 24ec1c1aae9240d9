"""Start the test CIM server from Python and talk to its control endpoints.

    from cim_harness import CimServer

    with CimServer(version="6.5.0", faults=["cim-error,code=3"]) as server:
        ...  # point the client at 127.0.0.1:server.port, trusting server.ca_file
        assert server.stats()["requests"] == 2
"""

import http.client
import json
import os
import shutil
import ssl
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER_SCRIPT = os.path.join(HERE, "cim_server.py")
REDFISH = os.path.join(os.path.dirname(HERE), "redfish")
if REDFISH not in sys.path:
    sys.path.append(REDFISH)  # after this folder: both have a tool_cases.py
import harness  # noqa: E402
from harness import from_dos_path, to_dos_path  # noqa: E402

__all__ = ["USER", "PASSWORD", "VERSIONS", "CimServer", "ServerError",
           "from_dos_path", "shared_tls_dir", "to_dos_path"]

USER = "quendal"
PASSWORD = "Quendal-test-pw1"
VERSIONS = ("4.0.0", "5.0.0", "5.1.0", "5.5.0", "6.0.0", "6.5.0", "6.7.0",
            "7.0.3")
READY_TIMEOUT = 20.0


def shared_tls_dir():
    """The CA the Redfish test servers use too (see harness.shared_tls_dir)."""
    return harness.shared_tls_dir()


class ServerError(RuntimeError):
    """The server did not start, or a control request failed."""


class CimServer:
    """cim_server.py in a subprocess, for the length of a with block.

    Options: version, address_width, faults (a list), host, tls_dir,
    lifetime, dos_paths, verbose.
    """

    def __init__(self, version="6.7.0", address_width=None, faults=(),
                 host=None, tls_dir=None, lifetime=None, dos_paths=False,
                 verbose=False):
        self.args = ["--version", version]
        for flag, value in (("--address-width", address_width),
                            ("--host", host), ("--tls-dir", tls_dir),
                            ("--lifetime", lifetime)):
            if value is not None:
                self.args += [flag, str(value)]
        for fault in faults:
            self.args += ["--fault", fault]
        self.args += [f for f, on in (("--dos-paths", dos_paths),
                                      ("--verbose", verbose)) if on]
        self.host = host or "127.0.0.1"
        self.process = None
        self.port = self.ca_file = self.ready_file = None
        self._dir = self._stderr = None

    def start(self):
        self._dir = tempfile.mkdtemp(prefix="quendal-cim-")
        self.ready_file = os.path.join(self._dir, "ready.json")
        self._stderr = open(os.path.join(self._dir, "stderr"), "w+b")
        self.process = subprocess.Popen(
            [sys.executable, SERVER_SCRIPT, "--ready-file", self.ready_file]
            + self.args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=self._stderr)
        deadline = time.monotonic() + READY_TIMEOUT
        while not os.path.exists(self.ready_file):
            if self.process.poll() is not None or time.monotonic() > deadline:
                text = self.stderr_text()
                self.stop()
                raise ServerError("cim_server.py did not start:\n" + text)
            time.sleep(0.02)
        with open(self.ready_file) as f:
            info = json.load(f)
        self.port = info["port"]
        self.ca_file = from_dos_path(info["ca_file"])
        return self

    def stop(self):
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

    def request(self, method, path, body=None, headers=None, timeout=30):
        """One request on a connection of its own: (status, headers, body)."""
        conn = http.client.HTTPSConnection(
            self.host, self.port, timeout=timeout,
            context=ssl.create_default_context(cafile=self.ca_file))
        try:
            conn.request(method, path, body=body, headers=headers or {})
            response = conn.getresponse()
            return response.status, response.headers, response.read()
        finally:
            conn.close()

    def _control(self, method, name, payload=None):
        body = None if payload is None else json.dumps(payload).encode()
        status, _, answer = self.request(method, "/__control/" + name, body,
                                         timeout=10)
        if status != 200:
            raise ServerError("%s /__control/%s: %d %s" % (
                method, name, status, answer.decode(errors="replace")))
        return json.loads(answer)

    def stats(self):
        return self._control("GET", "stats")

    def instances(self):
        return self._control("GET", "instances")

    def reset(self):
        return self._control("POST", "reset")

    def set_faults(self, faults):
        return self._control("POST", "faults", list(faults))

    def shutdown(self):
        return self._control("POST", "shutdown")
