"""The test CIM server from Python: harness.CimServer (tests/redfish/harness.py)
and the credentials it checks.

    from cim_harness import CimServer

    with CimServer(version="6.5.0", faults=["cim-error,code=3"]) as server:
        ...  # point the client at 127.0.0.1:server.port, trusting server.ca_file
        assert server.stats()["requests"] == 2
"""

import os
import sys

REDFISH = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "redfish")
if REDFISH not in sys.path:
    sys.path.append(REDFISH)  # after this folder: both have a tool_cases.py
import harness  # noqa: E402
from harness import CimServer, ServerError, from_dos_path, to_dos_path  # noqa: E402,F401

USER = harness.DEFAULT_USER
PASSWORD = harness.DEFAULT_PASSWORD
shared_tls_dir = harness.shared_tls_dir
