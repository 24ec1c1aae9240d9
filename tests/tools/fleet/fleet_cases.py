#!/usr/bin/env python3
"""quendal-sysinfo fleet as a user runs it: against the project's Redfish test
server listening on many ports (each port one endpoint of the fleet), or
against the example inventory.

usage: fleet_cases.py --list
       fleet_cases.py --tool PROGRAM [--emulator RUNNER] [--dos-paths] --case NAME

Under an emulator (Wine) the fleets are smaller, the cases the same. Each case
checks exit statuses, the documents written, the summary (every failure named
with its cause), the table and progress lines, that no session is left open
and that the password shows nowhere. The cases that need no endpoint are in
fleet_offline_cases.py, what they share in fleet_support.py.
"""

import json
import os
import re
import resource
import shutil
import signal
import stat
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fleet_offline_cases import (bad_endpoint_files, export, fleet_diff,  # noqa: E402
                                 inline_passwords)
from fleet_support import (ENCLOSURE, GOOD, ROOT, Fleet, by_port,  # noqa: E402
                           communicate, csv_file, dead_port, documents, endpoint_row, harness,
                           read, server, write)
import validate_document  # noqa: E402  (tests/tools, on the path fleet_support made)
sys.path.append(os.path.join(ROOT, "tests", "cim"))
import cim_harness  # noqa: E402


# ---------------------------------------------------------------- cases


def mixed_results(t):
    """Good endpoints, a refused password, a failing service, one that hangs, one
    that asks to wait longer than the endpoint has left, and a dead port: a
    document for each good one, every failure's cause in the summary, the hang
    bounded by --endpoint-timeout (not --timeout) and the wait refused at once
    while the others go on; each session closed as soon as its endpoint is done."""
    good = 3 if t.small else 8
    faults = ["error,status=500,count=100000,path=^/redfish/v1/Systems$,listener=%d" % (good + 1),
              "delay,ms=100000,count=100000,path=FirmwareInventory$,listener=%d" % (good + 2),
              "error,status=503,retry_after=60,count=100000,path=^/redfish/v1/Systems$,"
              "listener=%d" % (good + 3)]
    with server(ports=good + 4, faults=faults) as s:
        ports = s.ports
        rows = [endpoint_row(port) for port in ports[:good]]
        rows += [endpoint_row(ports[good], "WRONG_PW"), endpoint_row(ports[good + 1]),
                 endpoint_row(ports[good + 2]), endpoint_row(ports[good + 3])]
        dead = dead_port()
        rows.append(endpoint_row(dead))
        fleet = csv_file(t.path("fleet.csv"), rows)
        out = t.path("out")
        started = time.monotonic()
        status, stdout, err = t.scan(s, fleet, out, "--jobs", "4", "--endpoint-timeout", "5",
                                     "--timeout", "100")
        elapsed = time.monotonic() - started
        stats = s.stats()
    t.expect_status(status, 3, "fleet", err)
    t.check(elapsed < 40, "took %.0f s: the hanging endpoint held up the run" % elapsed)
    summary = by_port(t.summary(out))
    causes = {ports[good]: ("auth", r"refused the user name or password \(HTTP 401"),
              ports[good + 1]: ("service", r"failed to answer /redfish/v1/Systems \(HTTP 500"),
              ports[good + 2]: ("timeout", r"ran out .*raise --endpoint-timeout"),
              ports[good + 3]: ("timeout", r"ran out before /redfish/v1/Systems"),
              dead: ("connect", r"cannot connect")}
    t.check(len(summary) == len(rows), "the summary lists %d endpoints of %d"
            % (len(summary), len(rows)))
    for port in ports[:good]:
        entry = summary.get(port, {})
        name = "server-127.0.0.1-%d.json" % port
        t.check(entry.get("status") == "ok" and entry.get("document") == name
                and entry.get("packages") == 3, "endpoint %d: %s" % (port, entry))
        t.check(not validate_document.problems(read(os.path.join(out, name))),
                "%s is not a valid document" % name)
    for port, (failure, cause) in causes.items():
        entry = summary.get(port, {})
        t.check(entry.get("status") == "failed" and entry.get("document") is None and
                entry.get("failure") == failure, "endpoint %d: %s" % (port, entry))
        t.check(any(re.search(cause, text) for text in entry.get("causes", [])),
                "endpoint %d: no cause matching %r: %s" % (port, cause, entry.get("causes")))
    t.check(documents(out) == sorted("server-127.0.0.1-%d.json" % p for p in ports[:good]),
            "documents written: %s" % documents(out))
    # The table's rows are fleet_tests' (SummaryTable); here that it is printed.
    t.check("%d endpoints: %d ok, 5 failed\n" % (len(rows), good) in stdout, "table:\n" + stdout)
    progress = re.findall(r"^quendal-sysinfo: fleet: \d+/%d " % len(rows), err, re.M)
    t.check(len(progress) == len(rows), "%d progress lines:\n%s" % (len(progress), err))
    t.check(stats["open_sessions"] == 0, "%d sessions left open" % stats["open_sessions"])
    t.check(stats["most_open_sessions"] <= 4, "%d sessions open at once with 4 workers"
            % stats["most_open_sessions"])
    # That its document is the single-target subcommand's is kinds_share_one_login's matter.
    scan = json.loads(read(os.path.join(out, "server-127.0.0.1-%d.json" % ports[0])))["scan"]
    t.check(scan["kind"] == "server" and scan["host"] == "127.0.0.1" and scan["port"] == ports[0]
            and "bay" not in scan, "the document's scan: %s" % scan)


def kinds_share_one_login(t):
    """A CMM and the switches in its bays: one log-in for them all, documents as
    the single-target subcommands write them, and for the empty bay the cause the
    library tells; a JSON endpoint file with a password file named relative to it."""
    write(t.path("password.txt"), GOOD + "\n", 0o600)
    endpoints = [{"kind": "cmm"}, {"kind": "switch", "bay": 1}, {"kind": "switch", "bay": "3"},
                 {"kind": "switch", "bay": 2}]
    with server(ENCLOSURE) as s:
        for endpoint in endpoints:
            endpoint.update(host="127.0.0.1", port=s.port, user=harness.DEFAULT_USER,
                            password_file="password.txt")
        fleet = write(t.path("fleet.json"), json.dumps({"endpoints": endpoints}, indent=2))
        status, stdout, err = t.scan(s, fleet, t.path("out"), "--format", "xml")
        stats = s.stats()
        singles = []
        for endpoint in endpoints[:3]:
            bay = ["--bay", str(endpoint["bay"])] if "bay" in endpoint else []
            single = t.path("single-%s%s.xml" % (endpoint["kind"], endpoint.get("bay", "")))
            singles.append(single)
            result = t.run(["--ca-file", t.arg(s.ca_file), "--output", t.arg(single),
                            endpoint["kind"], "--host", "127.0.0.1:%d" % s.port] + bay,
                           {"QUENDAL_PASSWORD": GOOD})
            t.expect_status(result[0], 0, endpoint["kind"], result[2])
    t.expect_status(status, 3, "fleet", err)
    empty_bay = t.summary(t.path("out"))["endpoints"][3]
    t.check(empty_bay["status"] == "failed" and
            empty_bay["causes"] == ["the enclosure describes no I/O module in bay 2"],
            "the empty bay: %s" % empty_bay)
    t.check(stats["sessions_created"] == 1, "%d log-ins for one endpoint"
            % stats["sessions_created"])
    t.check(stats["open_sessions"] == 0, "%d sessions left open" % stats["open_sessions"])
    names = ["cmm-127.0.0.1-%d.xml", "switch-127.0.0.1-%d-bay1.xml", "switch-127.0.0.1-%d-bay3.xml"]
    for name, single in zip(names, singles):
        path = t.path("out", name % s.port)
        if t.check(os.path.exists(path), "no document %s" % path):
            with open(path, "rb") as a, open(single, "rb") as b:
                t.check(a.read() == b.read(), "%s differs from the single scan's" % path)


def interrupted(t):
    """Ctrl-C mid-fleet: no new endpoint starts, those under way end soon, the
    finished documents stay, the summary says what was done, no session stays
    open, exit status 130."""
    count = 6 if t.small else 8
    # The second endpoint is slower, so that it is still under way when the first one's
    # document appears and the signal comes.
    with server(ports=count, delay_ms=400,
                faults=["delay,ms=3000,path=FirmwareInventory$,listener=1"]) as s:
        fleet = csv_file(t.path("fleet.csv"), [endpoint_row(port) for port in s.ports])
        out = t.path("out")
        process = t.start(["--ca-file", t.arg(s.ca_file), "fleet", t.arg(fleet),
                           "--output-dir", t.arg(out), "--jobs", "2"])
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and process.poll() is None and \
                not (os.path.isdir(out) and documents(out)):
            time.sleep(0.05)
        process.send_signal(signal.SIGINT)
        stdout, err = communicate(process, 60)
        stats = s.stats()
    t.said += (stdout + err).decode("utf-8", "replace")
    t.expect_status(process.returncode, 130, "fleet after SIGINT", err.decode(errors="replace"))
    t.check(stats["open_sessions"] == 0, "%d sessions left open" % stats["open_sessions"])
    summary = t.summary(out)
    t.check(summary["interrupted"] is True, "the summary does not say the run was stopped")
    statuses = [entry["status"] for entry in summary["endpoints"]]
    # The second endpoint is cancelled at its next request; those never taken are not scanned.
    t.check(len(statuses) == count and "ok" in statuses and "cancelled" in statuses and
            "not scanned" in statuses and set(statuses) <= {"ok", "cancelled", "not scanned"},
            "statuses after the stop: %s" % statuses)
    for entry in summary["endpoints"]:
        if entry["status"] == "ok":
            t.check(entry["document"] in documents(out), "%s is missing" % entry["document"])
        else:
            t.check(entry["causes"] and entry["document"] is None and
                    entry.get("failure") == "cancelled", "%s" % entry)
    t.check(len(documents(out)) == statuses.count("ok"), "documents: %s" % documents(out))


def single_targets_stopped(t):
    """The single-target subcommands stop as a fleet does: Ctrl-C (on Linux SIGTERM too) ends
    the scan at its next request, the session is closed, no document is written, and the exit
    status tells the signal; a second Ctrl-C ends the tool at once, its session left open. Each
    signal comes while an answer after the log-in is held back, so the scan cannot end first."""
    held = 6000  # ms; the first signal comes well within it
    rows = [  # subcommand, service, the answer held back, signals, exit status
        ("server", "public-rackmount1", "FirmwareInventory$", [signal.SIGINT], 130),
        ("switch --bay 1", ENCLOSURE, "FirmwareInventory$", [signal.SIGTERM], 143),
        ("esxi", None, None, [signal.SIGINT], 130),
        ("server", "public-rackmount1", "FirmwareInventory$", [signal.SIGINT] * 2, None),
    ]
    for command, service, path, signals, wanted in rows:
        if t.small and signal.SIGTERM in signals:
            continue  # Windows has no SIGTERM; Wine ends at once on it
        label = "%s after %s" % (command, "+".join(signal.Signals(n).name for n in signals))
        if service is None:
            endpoint = cim_harness.CimServer(tls_dir=harness.shared_tls_dir(),
                                             faults=["slow,ms=%d,count=100" % held])
            user, password = cim_harness.USER, cim_harness.PASSWORD
        else:
            endpoint = server(service, faults=["delay,ms=%d,path=%s"
                                               % (held if wanted else 60000, path)])
            user, password = harness.DEFAULT_USER, GOOD
        with endpoint as s:
            process = t.start(["--ca-file", t.arg(s.ca_file)] + command.split() +
                              ["--host", "127.0.0.1:%d" % s.port, "--user", user],
                              {"QUENDAL_PASSWORD": password})
            # The held answer asked for (Redfish), or the first operation under way (CIM, which
            # has no session): a signal that came earlier could end the scan before a second one.
            def under_way(stats):
                if service is None:
                    return stats["requests"] > 0
                return any(re.search(path, line) for line in stats["log"])
            deadline = time.monotonic() + 60
            while time.monotonic() < deadline and process.poll() is None and \
                    not under_way(s.stats()):
                time.sleep(0.05)
            signalled = time.monotonic()
            for number in signals:
                process.send_signal(number)
                time.sleep(0.2)
            stdout, err = communicate(process, 120)
            elapsed = time.monotonic() - signalled
            stats = s.stats()
        err = err.decode("utf-8", "replace")
        t.said += stdout.decode("utf-8", "replace") + err
        t.check(stdout == b"", "%s: a document was printed" % label)
        if wanted is None:
            # At once: long before the held answer, and with the session still open.
            t.check(process.returncode != 0 and elapsed < 30, "%s: exit status %d after %.0f s"
                    % (label, process.returncode, elapsed))
            t.check(stats["open_sessions"] == 1, "%s: %d sessions open (%s)" % (
                label, stats["open_sessions"], stats["log"]))
            continue
        t.expect_status(process.returncode, wanted, label, err)
        t.check(re.search(r"quendal-sysinfo: stopped \(%s\): no document is written"
                          % ("SIGTERM" if wanted == 143 else "Ctrl-C"), err), "%s:\n%s"
                % (label, err))
        if service is not None:
            t.check(stats["open_sessions"] == 0, "%s: %d sessions left open"
                    % (label, stats["open_sessions"]))
            # Nothing was asked after the held answer but the log-out (on a busy machine the
            # stop may come before the scan gets that far).
            held_at = [i for i, line in enumerate(stats["log"]) if re.search(path, line)]
            after = stats["log"][held_at[0] + 1:] if held_at else []
            t.check(all(line.startswith("DELETE ") for line in after),
                    "%s: asked after the stop: %s" % (label, after))


def open_file_limit(t):
    """Linux: --jobs beyond what the open-file limit allows (each scan holds up to five
    descriptors at once) is lowered with a note, the soft limit raised to the hard one first
    where that is enough, and refused with the cause where not even one scan fits: never a
    certificate or connection failure, never a document silently missing."""
    count = 12
    rows = [  # soft and hard limit, exit status, what standard error says
        ((40, 40), 0, r"note: --jobs %d lowered to [1-9]\d*: the open-file limit \(40, \d+ in use\)"
         % count),
        ((40, 4096), 0, None),
        ((12, 12), 2, r"the open-file limit \(12, \d+ in use\) leaves room for no scan"),
    ]
    with server(ports=count) as s:
        fleet = csv_file(t.path("fleet.csv"), [endpoint_row(port) for port in s.ports])
        for (soft, hard), wanted, told in rows:
            label = "open-file limit %d/%d" % (soft, hard)
            out = t.path("out-%d-%d" % (soft, hard))
            status, _, err = t.run(
                ["--ca-file", t.arg(s.ca_file), "fleet", t.arg(fleet), "--output-dir", t.arg(out),
                 "--jobs", str(count)],
                preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (soft, hard)))
            t.expect_status(status, wanted, label, err)
            if told:
                t.check(re.search(told, err), "%s: no %r in\n%s" % (label, told, err))
            else:
                t.check("lowered" not in err, "%s: --jobs lowered:\n%s" % (label, err))
            if wanted == 0:
                t.check(len(documents(out)) == count, "%s: documents %s" % (label, documents(out)))
            else:
                t.check(not os.path.exists(out), "%s: the output folder was made" % label)
        t.check(s.stats()["open_sessions"] == 0, "sessions left open")
def endpoints_end_in_time(t):
    """A slow CIM server under --endpoint-timeout 8: no request is given longer than what is
    left of its endpoint's time, so it ends by then with that cause (not --timeout's). The
    same for Redfish is mixed_results' hanging endpoint."""
    with cim_harness.CimServer(tls_dir=harness.shared_tls_dir(),
                               faults=["slow,ms=4500,count=100"]) as c:
        fleet = csv_file(t.path("fleet.csv"), [endpoint_row(c.port, kind="esxi")])
        started = time.monotonic()
        status, _, err = t.scan(c, fleet, t.path("out"), "--endpoint-timeout", "8",
                                "--timeout", "60")
        elapsed = time.monotonic() - started
    t.expect_status(status, 3, "fleet", err)
    entry = by_port(t.summary(t.path("out"))).get(c.port, {})
    cause = "the time allowed for this endpoint ran out before EnumerateInstances was answered"
    t.check(entry.get("status") == "failed" and
            any(cause in text for text in entry.get("causes", [])),
            "no cause %r: %s" % (cause, entry))
    # Generous: 8 s (room for a loaded machine's Wine before the slow answers).
    t.check(elapsed < 40, "took %.0f s" % elapsed)


def trust_on_first_use(t):
    """fleet pin over a mixed fleet: a new self-signed controller and a self-signed CIM server
    get the pins of their keys, one the test CA signed keeps the pin it has, one whose key
    changed keeps its old pin and is told as changed, a dead port is told and gets none; each is
    asked for a handshake and nothing more. The file written then scans without --ca-file: the
    pinned endpoints succeed, the changed one is refused before any credential reaches it, and
    --replace pins its new key (the JSON form is fleet_tests'); a file holding passwords is
    written only where nobody else can read it."""
    user = harness.DEFAULT_USER
    with server(self_signed=True) as new, server(self_signed=True) as changed, \
            server() as signed, cim_harness.CimServer(self_signed=True) as cim:
        dead = dead_port()
        lines = ["# the lab, pinned", "kind,host,user,password_env,pin",
                 "server,127.0.0.1:%d,%s,GOOD_PW," % (new.port, user),
                 "server,127.0.0.1:%d,%s,GOOD_PW,%s" % (changed.port, user, harness.OTHER_PIN),
                 'server,127.0.0.1:%d,%s,GOOD_PW,"%s"' % (signed.port, user, signed.pin),
                 "esxi,127.0.0.1:%d,%s,GOOD_PW," % (cim.port, user),
                 "server,127.0.0.1:%d,%s,GOOD_PW," % (dead, user)]
        fleet = write(t.path("fleet.csv"), "\n".join(lines) + "\n")
        pinned = t.path("pinned.csv")
        status, stdout, err = t.run(["--ca-file", t.arg(signed.ca_file), "fleet", "pin",
                                     t.arg(fleet), "--output", t.arg(pinned), "--jobs", "3"])
        t.expect_status(status, 3, "fleet pin", err)
        for each in (new, changed, signed, cim):
            stats = each.stats()
            t.check(stats["requests"] == 0 and stats["credentials_seen"] == 0,
                    "fleet pin sent %d requests to %d" % (stats["requests"], each.port))
        subject = "CN=quendal-test self-signed, O=Quendal test"
        rows = [(new, "pinned", "no", new.pin, subject),
                (changed, "changed", "no", changed.pin, subject),
                (signed, "unchanged", "yes", signed.pin, "CN=localhost"),
                (cim, "pinned", "no", cim.pin, subject)]
        for each, status_text, trusted, pin, about in rows:
            t.check(re.search(r"(?m)^127\.0\.0\.1:%d +%s +%s +\d{4}-\d\d-\d\d +%s +%s$" % (
                each.port, status_text, trusted, re.escape(pin), re.escape(about)), stdout),
                "no %s row for %d:\n%s" % (status_text, each.port, stdout))
        t.check(re.search(r"(?m)^127\.0\.0\.1:%d +unreachable +- +- +- +cannot connect" % dead,
                          stdout), "no unreachable row:\n" + stdout)
        t.check("5 endpoints: 2 pinned, 1 unchanged, 1 changed, 1 unreachable\n" in stdout,
                "counts:\n" + stdout)
        t.check("127.0.0.1:%d: pinned to %s, it presents %s" % (
            changed.port, harness.OTHER_PIN, changed.pin) in stdout, "changed:\n" + stdout)
        wanted = list(lines)
        wanted[2] += new.pin
        wanted[5] += cim.pin
        written = read(pinned)
        t.check(written == "\n".join(wanted) + "\n", "pinned.csv:\n%s" % written)

        # Scanned with the pins alone: no CA trusted, none skipped.
        status, _, err = t.run(["fleet", t.arg(pinned), "--output-dir", t.arg(t.path("out"))])
        t.expect_status(status, 3, "fleet with pins", err)
        summary = by_port(t.summary(t.path("out")))
        for each in (new, signed, cim):
            t.check(summary[each.port]["status"] == "ok", "%d: %s" % (each.port,
                                                                     summary[each.port]))
        refused = "the certificate's key is not the pinned one (it is %s)" % changed.pin
        t.check(summary[changed.port]["status"] == "failed" and
                any(refused in cause for cause in summary[changed.port]["causes"]),
                "the changed key: %s" % summary[changed.port])
        t.check(changed.stats()["credentials_seen"] == 0, "a credential reached the changed key")

        status, stdout, err = t.run(["fleet", "pin", t.arg(pinned), "--output",
                                     t.arg(t.path("replaced.csv")), "--replace"])
        t.expect_status(status, 3, "fleet pin --replace", err)
        t.check(re.search(r"(?m)^127\.0\.0\.1:%d +replaced " % changed.port, stdout),
                "--replace:\n" + stdout)
        t.check(read(t.path("replaced.csv")).splitlines()[3].endswith("," + changed.pin),
                "replaced.csv")

    # Inline passwords go to no file others could read: refused before any endpoint is asked.
    secret = write(t.path("secret.csv"), "kind,host,password\nserver,127.0.0.1:%d,%s\n"
                   % (dead, GOOD), 0o600)
    status, _, err = t.run(["fleet", "pin", t.arg(secret), "--output",
                            t.arg(t.path("secret-pinned.csv"))])
    t.expect_status(status, 2, "fleet pin of a file with a password", err)
    t.check(not os.path.exists(t.path("secret-pinned.csv")), "the passwords were written")


def resume(t):
    """--resume scans again only what the previous summary does not list as ok with its
    document there: not the endpoints already done when one is added to the file, nor when
    the file's time changes; resumed entries keep their scans and package counts."""
    count = 3 if t.small else 4
    with server(ports=count) as s:
        rows = [endpoint_row(s.ports[0], "FIRST_PW")] + \
            [endpoint_row(port) for port in s.ports[1:-1]]
        out = t.path("out")
        first = t.scan(s, csv_file(t.path("fleet.csv"), rows), out,
                       env={"FIRST_PW": "not-the-password"})
        t.expect_status(first[0], 3, "first run", first[2])
        t.check(by_port(t.summary(out))[s.ports[0]].get("failure") == "auth",
                "the refused endpoint's failure: %s" % t.summary(out)["endpoints"][0])
        for step, (added, removed) in enumerate([(True, None), (False, s.ports[1])]):
            if removed:
                os.remove(os.path.join(out, "server-127.0.0.1-%d.json" % removed))
            fleet = csv_file(t.path("fleet.csv"), rows + [endpoint_row(s.ports[-1])])
            s.reset()
            status, _, err = t.scan(s, fleet, out, "--resume", env={"FIRST_PW": GOOD})
            t.expect_status(status, 0, "run %d with --resume" % step, err)
            scanned = sorted(int(port) for port in s.stats()["requests_by_port"])
            expected = sorted([s.ports[0], s.ports[-1]]) if added else [removed]
            t.check(scanned == expected, "run %d scanned %s, not %s" % (step, scanned, expected))
            summary = t.summary(out)
            statuses = {entry["port"]: entry["status"] for entry in summary["endpoints"]}
            t.check(all(statuses[port] == ("ok" if port in scanned else "skipped (resumed)")
                        for port in s.ports), "run %d's statuses: %s" % (step, statuses))
            t.check(all(entry["packages"] == 3 and entry["scans"] and "failure" not in entry
                        for entry in summary["endpoints"]), "run %d lost what it resumed: %s"
                    % (step, summary["endpoints"]))
            counts = summary["counts"]
            t.check(counts["ok"] == len(scanned) and counts["resumed"] == count - len(scanned)
                    and counts["endpoints"] == count, "run %d's counts: %s" % (step, counts))
        t.check(s.stats()["open_sessions"] == 0, "sessions left open")


def partial_and_diff(t):
    """--partial in a fleet: an endpoint with an unreadable member gets its document
    and status partial with what it lacks (the exit status is RunStatus's, in
    fleet_tests); fleet diff then tells the endpoint that failed or was partial as such,
    not as a document only in one run or packages removed."""
    member = "/redfish/v1/UpdateService/FirmwareInventory/BMC"
    with server(ports=2) as s:
        fleet = csv_file(t.path("fleet.csv"), [endpoint_row(port) for port in s.ports])
        before, after = t.path("before"), t.path("after")
        status, _, err = t.scan(s, fleet, before)
        t.expect_status(status, 0, "the first run", err)
        s.set_faults(["error,status=500,count=100000,path=^/redfish/v1/Systems$,listener=0",
                      "invalid-json,path=FirmwareInventory/BMC$,listener=1"])
        status, stdout, err = t.scan(s, fleet, after, "--partial")
        t.expect_status(status, 3, "a run with a failed and a partial endpoint", err)
        t.check(s.stats()["open_sessions"] == 0, "sessions left open")
    names = ["server-127.0.0.1-%d" % port for port in s.ports]
    summary = by_port(t.summary(after))
    failed, partial = summary.get(s.ports[0], {}), summary.get(s.ports[1], {})
    t.check(failed.get("status") == "failed" and failed.get("document") is None,
            "the failing endpoint: %s" % failed)
    t.check(partial.get("status") == "partial" and partial.get("missing") == [member] and
            partial.get("document") == names[1] + ".json" and partial.get("packages") == 2,
            "the partial endpoint: %s" % partial)
    t.check(re.search(r"^127\.0\.0\.1:%d +server +partial +2 +[0-9.]+ +lacks %s$"
                      % (s.ports[1], re.escape(member)), stdout, re.M), "table:\n" + stdout)
    status, stdout, err = t.run(["fleet", "diff", t.arg(before), t.arg(after)])
    t.expect_status(status, 1, "fleet diff", err)
    expected = [r"! %s: failed in .*after: .*failed to answer /redfish/v1/Systems .*" % names[0],
                r"! %s: partial in .*after: lacks %s" % (names[1], re.escape(member))]
    for pattern in expected:
        t.check(re.search("^" + pattern + "$", stdout, re.M),
                "fleet diff: no %r in\n%s" % (pattern, stdout))
    t.check(len(stdout.splitlines()) == 2, "fleet diff says more:\n" + stdout)


def shard_and_merge(t):
    """A fleet split into three shards, each run on its own, merged: the same
    documents and statuses as one run of the whole (so each shard file held exactly its
    endpoints); overlapping shards refused. That shards are the same on every machine is
    fleet_tests' matter."""
    count = 5 if t.small else 9
    with server(ports=count) as s:
        rows = [endpoint_row(s.ports[0], "WRONG_PW")] + \
            [endpoint_row(port) for port in s.ports[1:]]
        fleet = csv_file(t.path("fleet.csv"), rows)
        whole = t.path("whole")
        status, _, err = t.scan(s, fleet, whole)
        t.expect_status(status, 3, "the whole fleet", err)
        shard_dirs = []
        for index in range(3):
            shard = t.path("shard%d.csv" % index)
            status, _, err = t.run(["fleet", "shard", t.arg(fleet), "--shards", "3", "--index",
                                    str(index), "--output", t.arg(shard)])
            t.expect_status(status, 0, "fleet shard %d" % index, err)
            shard_dirs.append(t.path("run%d" % index))
            status, _, err = t.scan(s, shard, shard_dirs[-1])
            t.check(status in (0, 3), "shard %d's run: exit status %d\n%s" % (index, status, err))
        t.check(s.stats()["open_sessions"] == 0, "sessions left open")
    merged = t.path("merged")
    status, stdout, err = t.run(["fleet", "merge"] + [t.arg(d) for d in shard_dirs] +
                                ["--output-dir", t.arg(merged)])
    t.expect_status(status, 3, "fleet merge", err)
    t.check("%d endpoints: %d ok, 1 failed" % (count, count - 1) in stdout, "merged table:\n"
            + stdout)
    status, stdout, err = t.run(["fleet", "diff", t.arg(whole), t.arg(merged)])
    t.expect_status(status, 0, "fleet diff of the whole run and the merged shards",
                    stdout + err)
    busy = [d for d in shard_dirs if t.summary(d)["endpoints"]][0]
    status, _, err = t.run(["fleet", "merge", t.arg(busy), t.arg(busy), "--output-dir",
                            t.arg(t.path("twice"))])
    t.expect_status(status, 2, "merging one shard twice", err)
    t.check("shards must not overlap" in err, "merging one shard twice says:\n" + err)


CASES = [mixed_results, kinds_share_one_login, interrupted, single_targets_stopped,
         endpoints_end_in_time, trust_on_first_use, resume, partial_and_diff, fleet_diff,
         shard_and_merge,
         bad_endpoint_files, inline_passwords, export]
# The limit on open files is a Linux matter: Windows has none that a fleet reaches (FleetSystem.h).
LINUX_HOST_CASES = [open_file_limit]


def main():
    def run(case, options):
        work = tempfile.mkdtemp(prefix="quendal-fleet-")
        os.chmod(work, stat.S_IRWXU)
        t = Fleet(options.tool, options.emulator, options.dos_paths, work)
        try:
            case(t)
        finally:
            shutil.rmtree(work, ignore_errors=True)
        if GOOD in t.said:
            t.failures.append("the password shows in the output or the summary")
        return t.failures, ""

    cases = {case.__name__: case for case in CASES}
    if "--list" not in sys.argv:
        # Run from the Linux suite alone, under its own name (tests/tools/fleet/CMakeLists.txt).
        cases.update((case.__name__, case) for case in LINUX_HOST_CASES)
    return harness.case_main(cases, run)


if __name__ == "__main__":
    sys.exit(main())
