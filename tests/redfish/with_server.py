#!/usr/bin/env python3
"""Run a command next to a fresh test Redfish server.

usage: with_server.py [--mockup NAME_OR_DIR] [--check-sessions-closed]
                      [server options...] -- COMMAND [ARGS...]

The mockup is a folder or a name from tests/data/redfish-mockups (default
public-rackmount1); the other options before "--" go to redfish_server.py.
The command finds the server through QUENDAL_REDFISH_SERVER, the path of its
ready file (JSON: port, ca_file, pid, base_url).  With --dos-paths both that
path and the ready file's ca_file are written as Z:\\... for Wine.

Exit status: the command's (128+N when signal N ended it, 127 when it could
not be started).  --check-sessions-closed reports sessions the command left
open and then exits with 1 unless the command already failed.
"""

import argparse
import os
import signal
import subprocess
import sys

import harness


def parse(argv):
    if "--" not in argv:
        raise SystemExit("with_server.py: expected -- COMMAND [ARGS...]")
    split = argv.index("--")
    command = argv[split + 1:]
    if not command:
        raise SystemExit("with_server.py: no command after --")
    parser = argparse.ArgumentParser(
        prog="with_server.py", allow_abbrev=False,
        usage="%(prog)s [--mockup NAME_OR_DIR] [--check-sessions-closed] "
              "[server options...] -- COMMAND [ARGS...]")
    parser.add_argument("--mockup", default=harness.DEFAULT_MOCKUP)
    parser.add_argument("--check-sessions-closed", action="store_true")
    parser.add_argument("--dos-paths", action="store_true")
    parser.add_argument("--ready-file")
    options, server_options = parser.parse_known_args(argv[:split])
    return options, server_options, command


def run(options, server_options, command):
    server = harness.RedfishServer(options.mockup,
                                   ready_file=options.ready_file,
                                   dos_paths=options.dos_paths,
                                   extra_args=server_options)
    with server:
        ready = server.ready_file
        env = dict(os.environ, QUENDAL_REDFISH_SERVER=(
            harness.to_dos_path(ready) if options.dos_paths else ready))
        try:
            status = subprocess.call(command, env=env)
        except OSError as exc:
            sys.stderr.write("with_server.py: cannot run %s: %s\n"
                             % (command[0], exc))
            status = 127
        if status < 0:
            status = 128 - status
        if options.check_sessions_closed:
            still_open = server.stats()["open_sessions"]
            if still_open:
                sys.stderr.write("with_server.py: %d session(s) still open "
                                 "after %s\n" % (still_open, command[0]))
                status = status or 1
    return status


def main(argv):
    options, server_options, command = parse(argv)
    # Let a SIGTERM unwind the with block so the server is stopped too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    try:
        return run(options, server_options, command)
    except (ValueError, harness.ServerError) as exc:
        sys.stderr.write("with_server.py: %s\n" % exc)
        return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
