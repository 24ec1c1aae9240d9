#!/usr/bin/env python3
"""quendal-sysinfo on a terminal (a pseudo-terminal), where a user meets it.

usage: terminal_test.py PROGRAM TERMINAL_INVENTORY

- The password prompt turns echo off, and a signal that ends the tool while
  it waits (Ctrl-C, SIGTERM, a hang-up) leaves the terminal with echo back on.
- Control bytes from an endpoint reach the terminal as visible escapes, never
  raw: a name holding ESC ] ... BEL ESC [2J must not retitle or clear it, a C1
  CSI neither, and a line end in it must not start a line of its own.
"""

import os
import pty
import select
import signal
import subprocess
import sys
import termios
import time
import unittest

PROGRAM = None
INVENTORY = None


def read_until(fd, wanted, seconds=20.0):
    seen = b""
    deadline = time.monotonic() + seconds
    while wanted not in seen and time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.2)
        if ready:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
    return seen


def echo_on(fd):
    return bool(termios.tcgetattr(fd)[3] & termios.ECHO)


class OnATerminal(unittest.TestCase):
    def start(self, arguments, environment):
        master, slave = pty.openpty()
        env = {key: value for key, value in os.environ.items() if key != "QUENDAL_PASSWORD"}
        env.update(environment)
        process = subprocess.Popen([PROGRAM] + arguments, stdin=slave, stdout=slave,
                                   stderr=slave, env=env, start_new_session=True)
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)
        self.addCleanup(lambda: process.poll() is None and process.kill())
        return process, master, slave

    def test_a_signal_at_the_password_prompt_gives_echo_back(self):
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=signal.Signals(number).name):
                process, master, slave = self.start(
                    ["--inventory", INVENTORY, "server", "--host", "198.51.100.8", "--user",
                     "someone"], {})
                self.assertIn(b"Password for someone@198.51.100.8: ", read_until(master, b": "))
                self.assertFalse(echo_on(slave), "echo is on while the password is typed")
                process.send_signal(number)
                self.assertEqual(process.wait(timeout=20), -number)
                self.assertTrue(echo_on(slave), "echo stayed off after the signal")

    def test_control_bytes_of_an_endpoint_are_shown_escaped(self):
        process, master, _ = self.start(
            ["--inventory", INVENTORY, "--format", "listing", "server", "--host",
             "198.51.100.8", "--user", "someone"], {"QUENDAL_PASSWORD": "example-secret"})
        shown = read_until(master, b"DESCRIPTION:")
        process.wait(timeout=20)
        self.assertNotIn(b"\x1b", shown)
        self.assertNotIn(b"\x07", shown)
        self.assertNotIn(b"\xc2\x9b", shown)
        self.assertIn(b"NAME:  \t\\x1b]0;owned\\x07\\x1b[2JFirmware\\xc2\\x9b\\x0aforged", shown)


if __name__ == "__main__":
    PROGRAM, INVENTORY = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1])
