#!/usr/bin/env python3
"""quendal-sysinfo pointed at paths that are not what they seem, as a user (or root) would.

usage: hostile_paths.py PROGRAM INVENTORY

- --output refuses a FIFO, a device node, a socket and a link leading nowhere
  (a directory: output_tests), leaves each as it was, and exits 4; a link to a
  regular file stays a link and the file it leads to is replaced.
- Links planted under the temporary names earlier versions used lead nowhere.
- A replaced file keeps its mode (the temporary of a killed run is removed by
  the next run that writes the same target: output_tests), and a write that fails half-way
  (a file size limit) leaves the old file and no temporary. A run killed (SIGTERM, SIGKILL) at
  any moment leaves the stored document whole.
- (--inventory, diff and --password-file refuse FIFOs and devices at once: the
  tool cases of CMakeLists.txt.) A password file that its group or any
  user may write is refused, one that others may read, or one in a folder
  others may write to (without the sticky bit), is taken with a warning.
- While it holds a password the tool can neither dump core nor be attached to.
"""

import json
import os
import resource
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import time
import unittest

PROGRAM = None
INVENTORY = None
SERVER = ["server", "--host", "192.0.2.30"]
# Every run ends well within this; a run that waits on a FIFO does not.
TIMEOUT = 60


def others_may_enter(path):
    """Whether any user may reach PATH: every folder above it searchable by others."""
    folder = os.path.dirname(os.path.abspath(path))
    while True:
        if not os.stat(folder).st_mode & stat.S_IXOTH:
            return False
        if folder == os.path.dirname(folder):
            return True
        folder = os.path.dirname(folder)


def environment():
    env = dict(os.environ, QUENDAL_USER="quendal-ops", QUENDAL_PASSWORD="Example-pw-1")
    env.pop("TESMORA_LOG_LEVEL", None)
    return env


def write(path, text):
    with open(path, "w") as file:
        file.write(text)


def read(path):
    with open(path) as file:
        return file.read()


def without_time(text):
    document = json.loads(text)
    document.get("scan", {}).pop("time", None)
    return document


class HostilePaths(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quendal-hostile-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def run_tool(self, arguments, password_file=None, **options):
        env = environment()
        if password_file:
            env.pop("QUENDAL_PASSWORD")
            arguments = ["--password-file", password_file] + arguments
        return subprocess.run([PROGRAM] + arguments, env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=TIMEOUT, **options)

    def store(self, output, **options):
        return self.run_tool(["--inventory", INVENTORY, "--format", "json", "--output",
                              output] + SERVER, **options)

    def make_hostiles(self):
        """name -> what the tool calls it; a device node only where mknod is allowed."""
        made = {}
        os.mkfifo(self.path("fifo"))
        made["fifo"] = "a FIFO"
        try:
            os.mknod(self.path("null"), 0o666 | stat.S_IFCHR, os.makedev(1, 3))
            made["null"] = "a character device"
        except PermissionError:
            pass
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(self.path("socket"))
        listener.close()
        made["socket"] = "a socket"
        os.symlink(self.path("fifo"), self.path("link-to-fifo"))
        made["link-to-fifo"] = "a FIFO"
        return made

    def test_output_refuses_what_is_no_regular_file_and_leaves_it_be(self):
        hostiles = self.make_hostiles()
        for name, kind in hostiles.items():
            with self.subTest(name=name):
                target = self.path(name)
                before = os.lstat(target).st_mode
                done = self.store(target)
                self.assertEqual(done.returncode, 4, done.stderr)
                self.assertIn(f"{target}: not a regular file ({kind}); refusing to replace it",
                              done.stderr)
                self.assertEqual(os.lstat(target).st_mode, before)
        # Nothing left beside them.
        self.assertEqual(sorted(os.listdir(self.dir)), sorted(hostiles))

    def test_output_through_a_link_replaces_its_file_and_keeps_the_link(self):
        write(self.path("real.json"), "old")
        os.symlink("real.json", self.path("link.json"))
        os.symlink(self.path("missing.json"), self.path("dangling.json"))
        done = self.store(self.path("link.json"))
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(os.readlink(self.path("link.json")), "real.json")
        self.assertIn('"schema_version": 1', read(self.path("real.json")))
        done = self.store(self.path("dangling.json"))
        self.assertEqual(done.returncode, 4)
        self.assertIn("a symbolic link to nothing", done.stderr)
        self.assertFalse(os.path.exists(self.path("missing.json")))

    def test_links_planted_at_old_temporary_names_lead_nowhere(self):
        write(self.path("victim"), "precious")
        # Process ids come in order: the next runs' ids are likely among these.
        start = os.getpid()
        for pid in range(start, start + 200):
            os.symlink(self.path("victim"), self.path(f"out.json.tmp-{pid}-1"))
        for _ in range(3):
            self.assertEqual(self.store(self.path("out.json")).returncode, 0)
        self.assertEqual(read(self.path("victim")), "precious")

    def test_a_replaced_file_keeps_its_mode_and_owner(self):
        target = self.path("private.json")
        write(target, "old")
        os.chmod(target, 0o600)
        if os.geteuid() == 0:
            os.chown(target, 4321, 8765)
        done = self.store(target)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(stat.S_IMODE(os.stat(target).st_mode), 0o600)
        if os.geteuid() == 0:
            self.assertEqual((os.stat(target).st_uid, os.stat(target).st_gid), (4321, 8765))
        self.assertEqual(os.listdir(self.dir), ["private.json"])

    def test_a_write_that_fails_halfway_leaves_the_old_file_and_no_temporary(self):
        target = self.path("doc.json")
        write(target, "old")

        def small_files():
            # Past 100 bytes a write fails (EFBIG) instead of the signal ending the run.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (100, 100))

        done = self.store(target, preexec_fn=small_files)
        self.assertEqual(done.returncode, 4, done.stderr)
        self.assertIn(f"{target}: cannot write: File too large", done.stderr)
        self.assertEqual(read(target), "old")
        self.assertEqual(os.listdir(self.dir), ["doc.json"])

    def test_a_run_killed_at_any_moment_leaves_a_whole_document(self):
        target = self.path("doc.json")
        self.assertEqual(self.store(target).returncode, 0)
        whole = read(target)
        for attempt in range(12):
            run = subprocess.Popen([PROGRAM, "--inventory", INVENTORY, "--format", "json",
                                    "--output", target] + SERVER, env=environment(),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
            time.sleep(attempt * 0.04)
            run.send_signal(signal.SIGKILL if attempt % 2 else signal.SIGTERM)
            run.wait(timeout=TIMEOUT)
            # Whole: the old document, or a new one that differs only in when it was made.
            self.assertEqual(without_time(read(target)), without_time(whole),
                             f"killed after {attempt * 40} ms")
        # What the killed runs left behind goes with the next run that completes.
        self.assertEqual(self.store(target).returncode, 0)
        self.assertEqual(os.listdir(self.dir), ["doc.json"])

    def test_password_files_others_may_write_are_refused_readable_ones_warned_about(self):
        folder = self.path("secrets")
        os.mkdir(folder)
        password = os.path.join(folder, "password")
        write(password, "Example-pw-1\n")
        writable = "the group or other users may write to this file"
        cases = ((0o600, 0o700, 0, None), (0o640, 0o700, 0, "other users may read this password file"),
                 (0o644, 0o755, 0, "other users may read this password file"),
                 (0o602, 0o700, 2, writable), (0o620, 0o700, 2, writable),
                 (0o666, 0o700, 2, writable),
                 (0o600, 0o777, 0, "other users may write to its folder"),
                 (0o600, 0o770, 0, "other users may write to its folder"),
                 (0o600, 0o1777, 0, None))  # the sticky bit: no one else may replace the file
        for mode, folder_mode, status, told in cases:
            with self.subTest(mode=oct(mode), folder=oct(folder_mode)):
                os.chmod(folder, folder_mode)
                os.chmod(password, mode)
                done = self.run_tool(["--inventory", INVENTORY, "-q"] + SERVER,
                                     password_file=password)
                self.assertEqual(done.returncode, status, done.stderr)
                if told:
                    self.assertIn(f"{password}: {told}", done.stderr)
                else:
                    self.assertEqual(done.stderr, "")
                self.assertNotIn("Example-pw-1", done.stderr)

    def test_the_process_holding_a_password_cannot_be_dumped(self):
        """Observed from outside while the tool waits for its password on a FIFO: no core
        size, and /proc/PID owned by root although the tool runs as another user, which the
        kernel does for a process that may not be dumped or attached to (proc(5))."""
        fifo = self.path("password.fifo")
        os.mkfifo(fifo, 0o600)
        as_user = {}
        # Root owns every /proc entry anyway: run the tool as nobody, where nobody can reach it
        # (a checkout under /root cannot be); else only the core limit tells.
        as_nobody = os.getuid() == 0 and all(others_may_enter(f) for f in (PROGRAM, INVENTORY))
        if as_nobody:
            os.chmod(self.dir, 0o755)
            os.chown(fifo, 65534, 65534)
            as_user = {"user": 65534, "group": 65534, "extra_groups": []}
        env = dict(os.environ, QUENDAL_USER="quendal-ops")
        env.pop("QUENDAL_PASSWORD", None)
        hard = resource.getrlimit(resource.RLIMIT_CORE)[1]
        run = subprocess.Popen([PROGRAM, "--inventory", INVENTORY, "--password-file", fifo] +
                               SERVER, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True, **as_user,
                               preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_CORE,
                                                                     (hard, hard)))
        try:
            with open(fifo, "w") as writer:  # opens once the tool is waiting to read
                with open(f"/proc/{run.pid}/limits") as limits:
                    core = [line.split()[4:6] for line in limits if line.startswith("Max core")]
                owner = os.stat(f"/proc/{run.pid}/status").st_uid
                writer.write("Example-pw-1\n")
            out, err = run.communicate(timeout=TIMEOUT)
        finally:
            if run.poll() is None:
                run.kill()
        self.assertEqual(run.returncode, 0, err)
        if as_nobody or os.getuid() != 0:
            self.assertEqual(owner, 0, "the tool's /proc entries are its user's: it may be dumped")
        self.assertEqual(core, [["0", "0"]])


if __name__ == "__main__":
    PROGRAM, INVENTORY = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1])
