"""quendal-sysinfo fleet cases that need no endpoint: runs against the example
inventory (fleet diff, export, bad endpoint files, inline passwords).
fleet_cases.py runs them.
"""

import csv
import io
import json
import os
import re
import shutil
import subprocess

import jsonschema

from fleet_support import EXAMPLE_PASSWORD, ROOT, csv_file, read, write


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
    document = json.loads(read(server_doc))
    document_package = dict(document["CONTENT"]["PACKAGES"][0])
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
    # The same as data, each form checked against the schema; a document's scan is no change.
    server_before = os.path.join(before, "server-192.0.2.30-443.json")
    shutil.copy(os.path.join(before, "esxi-192.0.2.40-5989.json"), t.path("esxi-again.json"))
    document = json.loads(read(t.path("esxi-again.json")))
    document["scan"]["time"] = "2001-01-01T00:00:00Z"
    write(t.path("esxi-again.json"), json.dumps(document, indent=4))
    validator = jsonschema.Draft202012Validator(
        json.loads(read(os.path.join(ROOT, "docs", "diff.schema.json"))))
    package = {"SOFTWAREID": document_package["SOFTWAREID"],
               "SLOTNUM": document_package.get("SLOTNUM", "")}
    changed = {"change": "changed", "package": package, "fields": [
        {"field": "VERSION", "before": document_package["VERSION"], "after": "9.9.9"}]}
    rows = [
        (["fleet", "diff", before, after], 1, "endpoints",
         [{"endpoint": "esxi-192.0.2.40-5989", "change": "removed"},
          {"endpoint": "server-192.0.2.30-443", "change": "changed", "changes": [changed]},
          {"endpoint": "switch-192.0.2.10-443-bay2", "change": "added"}]),
        (["diff", server_before, server_doc], 1, "changes", [changed]),
        (["diff", os.path.join(before, "esxi-192.0.2.40-5989.json"), t.path("esxi-again.json")],
         0, "changes", []),
    ]
    for command, wanted, key, told in rows:
        status, stdout, err = t.run(command[:-2] + [t.arg(command[-2]), t.arg(command[-1]),
                                                      "--format", "json"])
        t.expect_status(status, wanted, " ".join(command[:2]) + " --format json", err)
        data = json.loads(stdout)
        problems = [error.message for error in validator.iter_errors(data)]
        t.check(not problems, "%s: not as the schema says: %s" % (command[:2], problems))
        t.check(data.get(key) == told and data.get("equal") == (wanted == 0),
                "%s --format json:\n%s" % (command[:2], stdout))


def export(t):
    """fleet export of a run whose endpoints sent hostile values: CSV that a CSV reader takes
    back field for field, with a value that looks like a formula kept as text, and OpenMetrics
    that promtool accepts (where it is installed: the Linux suite)."""
    hostile = os.path.join(ROOT, "tests", "tools", "data", "hostile-inventory.json")
    fleet = csv_file(t.path("fleet.csv"), [
        ["server", "198.51.100.7", "", "quendal-ops", "EXAMPLE_PW"],
        ["switch", "198.51.100.9", "1", "quendal-ops", "EXAMPLE_PW"],
        ["switch", "198.51.100.9", "2", "quendal-ops", "EXAMPLE_PW"]])
    out = t.path("out")
    status, _, err = t.run(["--inventory", t.arg(hostile), "fleet", t.arg(fleet),
                            "--output-dir", t.arg(out)], {"EXAMPLE_PW": EXAMPLE_PASSWORD})
    t.expect_status(status, 3, "the hostile fleet", err)
    package = json.loads(read(os.path.join(out, "server-198.51.100.7-443.json")))["CONTENT"][
        "PACKAGES"][0]
    exported = {}
    for form in ("csv", "openmetrics"):
        status, _, err = t.run(["fleet", "export", t.arg(out), "--format", form, "--output",
                                t.arg(t.path("fleet." + form))])
        t.expect_status(status, 0, "fleet export --format " + form, err)
        with open(t.path("fleet." + form), "rb") as f:
            exported[form] = f.read().decode("utf-8")
    rows = list(csv.reader(io.StringIO(exported["csv"], newline="")))
    t.check(rows[0] == ["endpoint", "kind", "MT", "SN", "NAME", "SOFTWAREID", "VERSION",
                        "CLASSIFICATION", "SLOTNUM", "status"] and len(rows) == 4 and
            all(len(row) == 10 for row in rows), "CSV rows: %r" % rows)
    t.check(rows[1][:4] == ["198.51.100.7:443", "server", "QX06", "'=SN<&>\"'"] and
            rows[1][5:7] == [package["SOFTWAREID"], package["VERSION"]] and rows[1][9] == "ok",
            "the server's row: %r" % rows[1])
    t.check(rows[3][0] == "198.51.100.9:443 bay 2" and rows[3][4:] == [""] * 5 + ["failed"],
            "the failed endpoint's row: %r" % rows[3])
    t.check(exported["csv"].count("\r\n") == len(rows) + 1, "CSV line ends: %r" % exported["csv"])
    metrics = exported["openmetrics"]
    # Label values: \ " and LF escaped, other controls (TAB, CR, DEL) one U+FFFD each.
    expected = ['quendal_scan_success{endpoint="198.51.100.9:443 bay 2",kind="switch"} 0\n',
                'quendal_firmware_info{endpoint="198.51.100.7:443",name="Control\ufffdbytes\ufffd '
                'and DEL \ufffd",softwareid="ID-<&>",version="1.0\ufffd\\"quoted\\" \\\\ back'
                '\ufffd\\nMT:  \ufffdforged line, C1 CSI \u009b2J"} 1\n']
    for line in expected:
        t.check(line in metrics, "no %r in the metrics:\n%s" % (line, metrics))
    t.check(re.search(r"^quendal_scan_duration_seconds\{.*\} [0-9.]+$", metrics, re.M) and
            metrics.endswith("\n# EOF\n"), "the metrics:\n" + metrics)
    if t.check(shutil.which("promtool"), "promtool is not installed (Debian: prometheus)"):
        check = subprocess.run(["promtool", "check", "metrics"], input=metrics.encode("utf-8"),
                               capture_output=True, timeout=60)
        t.check(check.returncode == 0, "promtool check metrics:\n%s%s"
                % (check.stdout.decode(), check.stderr.decode()))


def bad_endpoint_files(t):
    """Whatever is wrong with the file, the user is told where, and nothing is
    scanned (exit status 2). What the reader alone finds is fleet_tests' matter."""
    rows = [
        ("unknown kind", "kind,host\nserver,192.0.2.30\nblade,192.0.2.31\n", [],
         r"fleet\.txt:3: kind: 'blade' is not one of server, smm, cmm, switch, esxi"),
        ("unset password variable",
         "kind,host,user,password_env\nserver,192.0.2.30,quendal-ops,NOT_SET_ANYWHERE\n", [],
         r"fleet\.txt:2: password: NOT_SET_ANYWHERE is not set"),
        ("no password at all", "kind,host,user\nserver,192.0.2.30,quendal-ops\n", [],
         r"fleet\.txt:2: password: QUENDAL_PASSWORD is not set; give password_env or"),
        ("a list", '[{"kind": "server", "host": "192.0.2.30"}]\n', [],
         r"fleet\.txt: the endpoint file must be an object holding endpoints"),
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
        t.check(EXAMPLE_PASSWORD not in err, "standard error shows the password:\n" + err)
