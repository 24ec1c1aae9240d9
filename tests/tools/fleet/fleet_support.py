"""What the fleet cases share: the Fleet object each case gets (the tool, a
scratch folder, the findings), the test server and endpoint file helpers.
"""

import json
import os
import socket
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "redfish"))
sys.path.insert(0, os.path.join(ROOT, "tests", "tools"))
import harness  # noqa: E402

INVENTORY = os.path.join(ROOT, "examples", "inventory.json")
ENCLOSURE = os.path.join(ROOT, "tests", "data", "redfish-fixtures", "quendal-enclosure")
GOOD = harness.DEFAULT_PASSWORD
EXAMPLE_PASSWORD = "Example-pw-1"  # the example inventory's own
CSV_HEADER = "kind,host,bay,user,password_env"


class Fleet:
    """One case's tool, scratch folder and findings."""

    def __init__(self, tool, emulator, dos_paths, work):
        self.tool = tool
        self.emulator = emulator
        self.dos_paths = dos_paths
        self.work = work
        self.small = emulator is not None
        self.failures = []
        self.said = ""  # everything the tool printed, searched for the password at the end

    def check(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def arg(self, path):
        """A path as the tool sees it."""
        return harness.to_dos_path(path) if self.dos_paths else path

    def command(self, arguments):
        return ([self.emulator] if self.emulator else []) + [self.tool] + arguments

    def environment(self, extra=None):
        env = dict(os.environ, GOOD_PW=GOOD, WRONG_PW="not-the-password",
                   QUENDAL_USER=harness.DEFAULT_USER)
        for name in ("QUENDAL_PASSWORD", "TESMORA_LOG_LEVEL"):
            env.pop(name, None)
        env.update(extra or {})
        return env

    def run(self, arguments, env=None, timeout=240, **options):
        result = harness.run_program(self.command(arguments), self.emulator,
                                     env=self.environment(env), timeout=timeout, **options)
        out = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        err = result.stderr.decode("utf-8", "replace").replace("\r\n", "\n")
        self.said += out + err
        return result.returncode, out, err

    def start(self, arguments, env=None):
        """The tool started, for a case to signal; communicate() ends it."""
        return subprocess.Popen(self.command(arguments), env=self.environment(env),
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)

    def scan(self, server, endpoint_file, out_dir, *options, env=None):
        arguments = ["--ca-file", self.arg(server.ca_file)] if server else \
            ["--inventory", self.arg(INVENTORY)]
        return self.run(arguments + ["fleet", self.arg(endpoint_file), "--output-dir",
                                     self.arg(out_dir)] + list(options), env)

    def summary(self, out_dir):
        with open(os.path.join(out_dir, "summary.json"), encoding="utf-8") as f:
            text = f.read()
        self.said += text
        return json.loads(text)

    def expect_status(self, status, wanted, what, err=""):
        return self.check(status == wanted, "%s: exit status %d, expected %d\n%s"
                          % (what, status, wanted, err))


def server(mockup="public-rackmount1", **options):
    folder = mockup if os.path.isabs(mockup) else harness.mockup(mockup)
    return harness.RedfishServer(folder, tls_dir=harness.shared_tls_dir(), **options)


def communicate(process, timeout):
    """What a process stopped by a signal said; killed where it outlasts TIMEOUT seconds."""
    try:
        return process.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        return process.communicate()


def dead_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def write(path, text, mode=0o644):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    os.chmod(path, mode)
    return path


def csv_file(path, rows):
    return write(path, "\n".join([CSV_HEADER] + [",".join(row) for row in rows]) + "\n")


def endpoint_row(port, password_env="GOOD_PW", kind="server", bay=""):
    return [kind, "127.0.0.1:%d" % port, bay, harness.DEFAULT_USER, password_env]


def by_port(summary):
    return {entry["port"]: entry for entry in summary["endpoints"]}


def documents(out_dir):
    return sorted(name for name in os.listdir(out_dir) if name != "summary.json")
