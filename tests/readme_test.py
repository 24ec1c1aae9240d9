#!/usr/bin/env python3
"""Every `sh` block of the README runs as written.

usage: readme_test.py README TOOL

The blocks run one after the other, each in a fresh `bash -e`, from a scratch
folder that looks like the top of a checkout whose tool is built: the
checkout's folders are linked in, and build/release/tools/quendal-sysinfo is
TOOL. A block that a `<!-- readme-test: skip (why) -->` line precedes is left
out (the main job and the test command themselves). Any block that fails, or
prints nothing at all, fails the test.
"""

import os
import re
import subprocess
import sys
import tempfile

FENCE = re.compile(r"(<!-- readme-test: skip[^>]*-->\n)?```sh\n(.*?)```", re.S)


def blocks(text):
    return [(bool(skip), body) for skip, body in FENCE.findall(text)]


def main(readme, tool):
    root = os.path.dirname(os.path.abspath(readme))
    found = blocks(open(readme, encoding="utf-8").read())
    failures = []
    with tempfile.TemporaryDirectory(prefix="quendal-readme-") as scratch:
        for name in ("examples", "scripts", "tests", "docs", "data"):
            os.symlink(os.path.join(root, name), os.path.join(scratch, name))
        os.makedirs(os.path.join(scratch, "build", "release", "tools"))
        os.symlink(os.path.abspath(tool),
                   os.path.join(scratch, "build", "release", "tools", "quendal-sysinfo"))
        env = {k: v for k, v in os.environ.items() if not k.startswith("QUENDAL_")}
        ran = 0
        for skip, body in found:
            if skip:
                continue
            ran += 1
            result = subprocess.run(["bash", "-e", "-c", body], cwd=scratch, env=env,
                                    stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                    timeout=300)
            if result.returncode != 0 or not result.stdout.strip():
                failures.append("--- block (exit %d):\n%s--- stdout:\n%s--- stderr:\n%s" % (
                    result.returncode, body, result.stdout[-2000:], result.stderr[-2000:]))
    if ran == 0:
        failures.append("no sh block found in " + readme)
    for failure in failures:
        sys.stderr.write(failure + "\n")
    print("%d block(s) run, %d failed" % (ran, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
