"""quendal-sysinfo fleet cases that need no endpoint: runs against the example
inventory (fleet diff, bad endpoint files, inline passwords, the progress
line). fleet_cases.py runs them.
"""

import json
import os
import pty
import re
import shutil
import subprocess

from fleet_support import EXAMPLE_PASSWORD, INVENTORY, csv_file, write


def fleet_diff(t):
    """fleet diff tells, per endpoint, what changed between two runs: here two
    offline runs against the example inventory, one of them edited."""
    fleet = csv_file(t.path("fleet.csv"), [
        ["server", "192.0.2.30", "", "quendal-ops", "EXAMPLE_PW"],
        ["esxi", "192.0.2.40", "", "quendal-ops", "EXAMPLE_PW"],
        ["switch", "192.0.2.10", "1", "quendal-ops", "EXAMPLE_PW"],
        ["cmm", "192.0.2.50", "", "quendal-ops", "EXAMPLE_PW"]])
    before, after = t.path("before"), t.path("after")
    status, stdout, err = t.scan(None, fleet, before, env={"EXAMPLE_PW": EXAMPLE_PASSWORD})
    t.expect_status(status, 3, "fleet on the inventory", err)
    t.check(re.search(r"192\.0\.2\.50:443 +cmm +failed .*GetCMMData", stdout),
            "the failing CMM's cause:\n" + stdout)
    shutil.copytree(before, after)
    server_doc = os.path.join(after, "server-192.0.2.30-443.json")
    with open(server_doc, encoding="utf-8") as f:
        document = json.load(f)
    document["CONTENT"]["PACKAGES"][0]["VERSION"] = "9.9.9"
    write(server_doc, json.dumps(document, indent=4))
    os.remove(os.path.join(after, "esxi-192.0.2.40-5989.json"))
    shutil.copy(os.path.join(before, "switch-192.0.2.10-443-bay1.json"),
                os.path.join(after, "switch-192.0.2.10-443-bay2.json"))
    status, stdout, err = t.run(["fleet", "diff", t.arg(before), t.arg(after)])
    t.expect_status(status, 1, "fleet diff of differing runs", err)
    expected = [r"^- esxi-192\.0\.2\.40-5989: only in .*before$",
                r"^~ server-192\.0\.2\.30-443\n    ~ package .*VERSION \".*\" -> \"9\.9\.9\"$",
                r"^\+ switch-192\.0\.2\.10-443-bay2: only in .*after$"]
    for pattern in expected:
        t.check(re.search(pattern, stdout, re.M), "fleet diff: no %r in\n%s" % (pattern, stdout))
    t.check(len(stdout.splitlines()) == 4, "fleet diff says more:\n" + stdout)
    status, stdout, err = t.run(["fleet", "diff", t.arg(before), t.arg(before)])
    t.expect_status(status, 0, "fleet diff of one run with itself", err)
    t.check(stdout == "", "fleet diff of equal runs prints:\n" + stdout)


def bad_endpoint_files(t):
    """Whatever is wrong with the file, the user is told where, and nothing is
    scanned (exit status 2)."""
    rows = [
        ("unknown kind", "kind,host\nserver,192.0.2.30\nblade,192.0.2.31\n", [],
         r"fleet\.txt:3: kind: 'blade' is not one of server, smm, cmm, switch, esxi"),
        ("unset password variable",
         "kind,host,user,password_env\nserver,192.0.2.30,quendal-ops,NOT_SET_ANYWHERE\n", [],
         r"fleet\.txt:2: password: NOT_SET_ANYWHERE is not set"),
        ("no password at all", "kind,host,user\nserver,192.0.2.30,quendal-ops\n", [],
         r"fleet\.txt:2: password: QUENDAL_PASSWORD is not set; give password_env or"),
        ("duplicate", "kind,host,user,password_env\nserver,192.0.2.30,a,EXAMPLE_PW\n"
                      "server,192.0.2.30:443,b,EXAMPLE_PW\n", [],
         r"fleet\.txt:3: host: 192\.0\.2\.30:443 \(server\) is already listed on line 2"),
        ("misspelt field", '{"endpoints": [\n {"kind": "server", "host": "192.0.2.30"},\n'
                           ' {"kind": "server", "host": "192.0.2.40", "pasword_env": "X"}]}\n',
         [], r"fleet\.txt:3: pasword_env: not a field of an endpoint"),
        ("host the inventory lacks", "kind,host,user,password_env\n"
                                     "server,192.0.2.99,quendal-ops,EXAMPLE_PW\n", [],
         r"fleet\.txt:2: host: the inventory lists no endpoint 192\.0\.2\.99"),
        ("listing format", "kind,host\n", ["--format", "listing"],
         r"--format listing: a fleet writes documents"),
        ("output file", "kind,host\n", ["--output", "x.json"], r"--output names one file"),
    ]
    for label, text, options, message in rows:
        fleet = write(t.path("fleet.txt"), text)
        out = t.path("out-" + label.replace(" ", "-"))
        status, stdout, err = t.scan(None, fleet, out, *options,
                                     env={"EXAMPLE_PW": EXAMPLE_PASSWORD})
        t.expect_status(status, 2, label, err)
        t.check(re.search(message, err), "%s: no %r in\n%s" % (label, message, err))
        t.check(not os.path.exists(out), "%s: the output folder was made" % label)
    status, _, err = t.run(["fleet", "shard", t.arg(fleet), "--shards", "3", "--index", "3"])
    t.expect_status(status, 2, "shard index out of range", err)
    t.check("--index 3 is not below --shards 3" in err, "shard index out of range:\n" + err)


def inline_passwords(t):
    """A password written in the endpoint file is taken only from a file nobody
    else can read; on Windows, whose permissions the tool does not judge, never."""
    text = "kind,host,user,password\nserver,192.0.2.30,quendal-ops,%s\n" % EXAMPLE_PASSWORD
    for mode in (0o600, 0o640, 0o604):
        fleet = write(t.path("fleet-%o.csv" % mode), text, mode)
        status, _, err = t.scan(None, fleet, t.path("out-%o" % mode))
        if t.small:
            t.expect_status(status, 2, "inline password on Windows", err)
            t.check("the tool does not judge who may read a file on Windows" in err, err)
        elif mode == 0o600:
            t.expect_status(status, 0, "inline password in a private file", err)
        else:
            t.expect_status(status, 2, "inline password in a file of mode %o" % mode, err)
            t.check(re.search(r"fleet-%o\.csv:2: password: an inline password is refused: the "
                              r"file can be read by group or others \(mode 0%o\)" % (mode, mode),
                              err), err)


def progress_output(t):
    """On a terminal one line is redrawn; with --quiet nothing is said; the table
    goes to the standard output either way."""
    fleet = csv_file(t.path("fleet.csv"), [
        [kind, host, bay, "quendal-ops", "EXAMPLE_PW"]
        for kind, host, bay in (("server", "192.0.2.30", ""), ("smm", "192.0.2.20", ""),
                                ("cmm", "192.0.2.10", ""), ("cmm", "192.0.2.50", ""))])
    status, stdout, err = t.scan(None, fleet, t.path("quiet"), "-q",
                                 env={"EXAMPLE_PW": EXAMPLE_PASSWORD})
    t.expect_status(status, 3, "quiet fleet", err)
    t.check(err == "", "--quiet still says:\n" + err)
    t.check("4 endpoints: 3 ok, 1 failed" in stdout, "quiet table:\n" + stdout)
    if t.small:
        return  # Wine's console is no pseudo-terminal
    master, slave = pty.openpty()
    try:
        process = subprocess.Popen(
            t.command(["--inventory", INVENTORY, "fleet", fleet, "--output-dir",
                       t.path("terminal")]),
            env=t.environment({"EXAMPLE_PW": EXAMPLE_PASSWORD}), stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE, stderr=slave)
        os.close(slave)
        screen = b""
        while True:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            screen += chunk
        process.communicate(timeout=60)
    finally:
        os.close(master)
    text = screen.decode("utf-8", "replace")
    t.check(text.count("\r") >= 5 and "\n" not in text.rstrip("\r\n"),
            "not one line redrawn:\n%r" % text)
    t.check(re.search(r"\rquendal-sysinfo: fleet: \[#{20}\] 4/4 done, 1 failed, [0-9.]+/s, "
                      r"0:00 left *\r?\n$", text), "the last state of the line:\n%r" % text)
