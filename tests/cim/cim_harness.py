"""Start the test CIM server from Python and talk to its control endpoints.

    from cim_harness import CimServer

    with CimServer(version="6.5.0", faults=["cim-error,code=3"]) as server:
        ...  # point the client at 127.0.0.1:server.port, trusting server.ca_file
        assert server.stats()["requests"] == 2
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER_SCRIPT = os.path.join(HERE, "cim_server.py")
REDFISH = os.path.join(os.path.dirname(HERE), "redfish")
if REDFISH not in sys.path:
    sys.path.append(REDFISH)  # after this folder: both have a tool_cases.py
import harness  # noqa: E402
from harness import ServerError, from_dos_path, to_dos_path  # noqa: E402

__all__ = ["USER", "PASSWORD", "VERSIONS", "CimServer", "ServerError",
           "from_dos_path", "shared_tls_dir", "to_dos_path"]

USER = "quendal"
PASSWORD = "Quendal-test-pw1"
VERSIONS = ("4.0.0", "5.0.0", "5.1.0", "5.5.0", "6.0.0", "6.5.0", "6.7.0",
            "7.0.3")


def shared_tls_dir():
    """The CA the Redfish test servers use too (see harness.shared_tls_dir)."""
    return harness.shared_tls_dir()


class CimServer(harness.ServerProcess):
    """cim_server.py in a subprocess, for the length of a with block.

    Options: version, address_width, faults (a list), host, tls_dir,
    self_signed, lifetime, dos_paths, verbose. pin is the pin of the
    server's key.
    """

    SCRIPT = SERVER_SCRIPT

    def __init__(self, version="6.7.0", address_width=None, faults=(),
                 host=None, tls_dir=None, lifetime=None, dos_paths=False,
                 verbose=False, self_signed=False):
        super().__init__()
        self.args = ["--version", version]
        for flag, value in (("--address-width", address_width),
                            ("--host", host), ("--tls-dir", tls_dir),
                            ("--lifetime", lifetime)):
            if value is not None:
                self.args += [flag, str(value)]
        for fault in faults:
            self.args += ["--fault", fault]
        self.args += [f for f, on in (("--dos-paths", dos_paths),
                                      ("--verbose", verbose),
                                      ("--self-signed", self_signed)) if on]
        self.host = host or "127.0.0.1"
        self.ca_file = self.pin = None

    def start(self):
        info = self._launch("quendal-cim-", self.args)
        self.port = info["port"]
        self.ca_file = from_dos_path(info["ca_file"])
        self.pin = info["pin"]
        return self

    def instances(self):
        return self._control("GET", "instances")
