#!/usr/bin/env python3
"""quendal-sysinfo against the project's Redfish test server, as a user runs it.

usage: tool_cases.py --list
       tool_cases.py --tool PROGRAM [--emulator RUNNER] [--dos-paths] --case NAME

Each case starts a fresh server on a mockup (with faults, paging or delays, a
certificate of the test CA or a self-signed one), runs the tool against it over
HTTPS and checks the exit status, the listing, the cause on standard error,
that the password shows nowhere, that no session is left open, and where it
matters how many requests the scan made and how many carried credentials.
In options, {ca} is the server's CA file and {pin} the pin of its key ({slashed}
the same as sha256//BASE64).
"""

import os
import re
import sys

import harness

HERE = os.path.dirname(os.path.abspath(__file__))
EXPECTED = os.path.normpath(os.path.join(HERE, "..", "tools", "expected", "redfish"))
FIXTURES = os.path.normpath(os.path.join(HERE, "..", "data", "redfish-fixtures"))
ENCLOSURE = os.path.join(FIXTURES, "quendal-enclosure")
HOSTILE_STRINGS = os.path.join(FIXTURES, "quendal-hostile-strings")
# What a terminal would obey: C0 controls but TAB and LF, DEL and the C1 controls.
RAW_CONTROLS = re.compile("[\x00-\x08\x0b-\x1f\x7f-\x9f]")
PASSWORD = harness.DEFAULT_PASSWORD
TEXT = ("--ca-file", "{ca}", "--format", "text")
PARTIAL = ("--ca-file", "{ca}", "--partial")
FAILED = r"quendal-sysinfo: a scan failed, so no document is written"
LEAVES = r"error: .*the service sent a link that is not a path on this endpoint "
OTHER_PIN = harness.OTHER_PIN
NOT_PINNED = harness.NOT_PINNED


class Case(harness.Case):
    DEFAULTS = dict(
        command=None, mockup="public-rackmount1", server={}, options=("--ca-file", "{ca}"),
        host="127.0.0.1:{port}", password=PASSWORD, exit=0,
        listing=None,  # the file in EXPECTED standard output must equal
        stderr=(), stdout=(),  # patterns; stdout's where no listing is expected
        max_requests=None, credentials=None,  # at most so many requests, with credentials
        max_seconds=60, no_server=False,
        stats=True,  # False where the server's own certificate fails its control link
        open_sessions=0,  # a session nobody could close
        sessions_created=None,  # None: not checked
        plain=False,  # no control character reaches either stream raw
        counted={},  # a server count: (least, most), None where open
        logged=())  # patterns some request line must match

    def __init__(self, name, command, **fields):
        super().__init__(name, command=command.split(), **fields)


def fault(text):
    return {"faults": [text]}


# Every published mockup scanned as each subcommand either documents or names its cause: one
# row each (mockup, subcommand, exit status, listing or None, patterns of standard error).
NOT_AN_ENCLOSURE = (r"error: .*: the endpoint is a server's management controller, not an "
                    r"enclosure's: its only chassis, /redfish/v1/Chassis/1U, is a server's \(its "
                    r"ChassisType is RackMount\) \(scan it with the subcommand server\)")
MOCKUP_TABLE = [
    ("public-rackmount1", "server", 0, "server-rackmount1.listing",
     [r"GetMachineType: status 0 \(Succeed\.\)\n"
      r"GetAgentlessSoftwareIdentity: status 0 \(Succeed\.\)\n",
      r"note: 127\.0\.0\.1:\d+: machine type 3500 is on none of the systems lists"]),
    ("public-rackmount1", "smm", 3, None, [r"GetSmmFirmware: status 3", NOT_AN_ENCLOSURE]),
    ("public-rackmount1", "cmm", 3, None, [r"status 1552", NOT_AN_ENCLOSURE]),
    ("public-liquid-cooled-server", "server", 0, "server-liquid-cooled.listing", []),
    ("public-bladed", "server", 3, None,
     [r"GetAgentlessSoftwareIdentity: status 1747",
      r"error: .*: the service offers no firmware inventory \(no UpdateService\)"]),
    ("public-bladed", "smm", 0, "smm-bladed.listing", []),
    ("public-bladed", "cmm", 0, "cmm-bladed.listing", []),
    ("public-power-shelf", "server", 3, None,
     [r"GetMachineType: status 1746", r"error: .*: the service lists no computer systems"]),
    ("public-power-shelf", "smm", 0, "smm-power-shelf.listing",
     [r"GetPSUFirmware: status 0",
      r"note: .*: the PowerSubsystem link leads to /redfish/v1/Chassis/PowerShelf/"
      r"Sensors, which lists no power supplies; /redfish/v1/Chassis/PowerShelf/"
      r"PowerSubsystem is read instead",
      r"note: .*/Bay3 is named more than once among the members of .*/PowerSupplies; "
      r"taken once"]),
    ("public-power-shelf", "cmm", 3, None,
     [r"status 1552", r"error: .*: no manager of the enclosure is an enclosure manager"]),
]
# A server scan of public-rackmount1 makes the root, the log-in, systems, one system, the
# firmware collection, three members, the log-out: within 8 plus the number of members.
MOCKUP_REQUESTS = {("public-rackmount1", "server"): 8 + 3,
                   ("public-liquid-cooled-server", "server"): 8 + 4}

# Nothing listens at 127.0.0.1:9: each subcommand says so, and the statuses of calls that never
# reached the endpoint say so too (case, subcommand, the status line before "in fact").
UNREACHED = [
    ("connection_refused", "server", None), ("pin_of_nothing", "pin", None),
    ("cmm_not_reached", "cmm", r"GetCMMSoftwareIdentity: status 1552 \(The endpoint is not a "
     r"chassis management module\.\)"),
    ("smm_not_reached", "smm", r"GetMachineType: status 0 \(Succeed\.\)"),
    ("switch_not_reached", "switch --bay 1", r"GetSwitchSoftwareIdentity: status 1552 \(.*\)"),
]
# Controllers' ways a server scan copes with, each a fault mode of the server: its listing as
# ever, one session opened and closed (case, faults).
COPED = [
    # No credentials on the log-in nor on the root; OData-Version and Accept on every request.
    ("strict_service", ["strict"]),
    # Log-in answers as they come: any 2xx, the token in any case, where the session is.
    ("log_in_answer_204_relative", ["login-answer,status=204,form=relative"]),
    ("log_in_answer_body_only", ["login-answer,form=body"]),
    # Older services: no Links.Sessions in the root, the sessions where the SessionService says.
    ("older_service_sessions_elsewhere", ["old-sessions"]),
    # Compressed unasked, a byte-order mark, a charset.
    ("compressed_marked_answers", ["gzip", "bom"]),
    # A body of exactly the transport's bound (16 MiB) is taken whole.
    ("body_of_exactly_the_bound", ["padded,path=FirmwareInventory/BMC$"]),
    # A busy controller's TLS stack refuses a handshake now and then.
    ("handshake_refused_once", ["handshake,count=1"]),
]
# Faults that fail a server scan, each named as its cause: (case, fault, standard error).
FAILING = [
    # What answers is not what was hoped for.
    ("web_server_not_redfish", "html,path=^/redfish/v1/?$",
     r"error: .*no Redfish service at https://127\.0\.0\.1:\d+/redfish/v1/ "
     r"\(the answer is text/html"),
    # Every link is a path on the endpoint: one that names another host (here a sink beside the
    # server, which counts what reaches it) is refused, whichever kind of link it is.
    ("foreign_link_sessions", "rewrite-links,path=^/redfish/v1/?$,link=Sessions$",
     LEAVES + r'\("@127\.0\.0\.1:\d+/redfish/v1/SessionService/Sessions"\)'),
    ("foreign_link_systems", "rewrite-links,path=^/redfish/v1/?$,link=Systems$",
     LEAVES + r'\("@127\.0\.0\.1:\d+/redfish/v1/Systems"\)'),
    ("foreign_link_member", "rewrite-links,path=FirmwareInventory$,link=BMC$",
     LEAVES + r'\("@127\.0\.0\.1:\d+/redfish/v1/UpdateService/FirmwareInventory/BMC"\)'),
    # Every handshake refused, the retries' included.
    ("handshake_always_refused", "handshake,count=3",
     r"error: 127\.0\.0\.1:\d+: no TLS session could be set up \(.*\)"),
]

CASES = [
    Case("mockup_%s_%s" % (mockup.replace("public-", "").replace("-", "_"), command), command,
         mockup=mockup, exit=exit, listing=listing, stderr=stderr,
         max_requests=MOCKUP_REQUESTS.get((mockup, command)))
    for mockup, command, exit, listing, stderr in MOCKUP_TABLE] + [
    Case(name, "server", server=fault(text), exit=3, stderr=[cause])
    for name, text, cause in FAILING] + [
    Case(name, command, no_server=True, host="127.0.0.1:9", exit=3,
         stderr=[(status + "; in fact " if status else "error: ")
                 + r"127\.0\.0\.1:9: cannot connect"])
    for name, command, status in UNREACHED] + [
    Case(name, "server", server={"faults": faults}, listing="server-rackmount1.listing",
         sessions_created=1) for name, faults in COPED] + [
    # Documents of the project's own enclosure, and other forms.
    Case("server_paged_collections", "server", server={"page_size": 1},
         listing="server-rackmount1.listing"),
    Case("server_basic_authentication", "server", server={"no_sessions": True},
         listing="server-rackmount1.listing"),
    # One enclosure, one machine type, whichever library reads it.
    Case("cmm_machine_type", "cmm", mockup=ENCLOSURE, options=TEXT,
         stdout=[r"^MT:  \tQX40\nSN:  \tQEN0000417\n"]),
    Case("smm_machine_type_and_manager", "smm", mockup=ENCLOSURE, options=TEXT,
         stdout=[r"^MT:  \tQX40\nSN:  \tQEN0000417\n",
                 r"SOFTWAREID:  \tCMM1\n    VERSION:  \t3\.2\.1\n"]),
    Case("switch_io_module", "switch --bay 1", mockup=ENCLOSURE,
         listing="switch-enclosure-bay1.listing"),
    Case("switch_pass_through", "switch --bay 3", mockup=ENCLOSURE,
         listing="switch-enclosure-bay3.listing"),
    Case("switch_list_bays", "switch --list-bays", mockup=ENCLOSURE,
         stdout=[r"^bay 1: I/O module\nbay 3: pass-through module\n$"]),
    # Quiet keeps why it failed.
    Case("switch_empty_bay", "-q switch --bay 2", mockup=ENCLOSURE, exit=3,
         stderr=[r"get switch type ERROR\.",
                 r"error: .*: the enclosure describes no I/O module in bay 2"]),

    # A service's control characters reach the terminal as escapes, also through a pipe: in the
    # note that quotes its machine type (the model's first four characters, an ESC among them)
    # and in the text form of the document (a package name forging a line).
    Case("control_characters_shown_escaped", "server", mockup=HOSTILE_STRINGS, plain=True,
         options=["--ca-file", "{ca}", "--format", "text"],
         stderr=[r"note: 127\.0\.0\.1:\d+: machine type QX\\x1b\] is on none of the systems "
                 r"lists"]),

    # Transport and security.
    Case("insecure_is_warned_about", "server", options=["--insecure"],
         listing="server-rackmount1.listing",
         stderr=[r"warning: --insecure: certificates are not checked"]),
    Case("untrusted_certificate", "server", options=[], exit=3,
         stderr=[r"GetMachineType: status 1746",
                 r"error: 127\.0\.0\.1:\d+: the certificate is not trusted .*--ca-file.*--insecure",
                 FAILED]),
    # The certificate names 127.0.0.1 and localhost, not this loopback address.
    Case("certificate_names_another_host", "server", server={"host": "127.0.0.2"},
         host="127.0.0.2:{port}", exit=3, stats=False,
         stderr=[r"error: 127\.0\.0\.2:\d+: the certificate is not trusted or names another host"]),

    # Pins: a self-signed controller verified by its key alone, whoever signed the certificate
    # and whatever it names; several pins while a key changes; with --ca-file, either is enough.
    Case("pinned_self_signed", "server", server={"self_signed": True}, options=["--pin", "{pin}"],
         listing="server-rackmount1.listing"),
    Case("several_pins_one_right", "server", server={"self_signed": True},
         options=["--pin", OTHER_PIN, "--pin", "{slashed}"], listing="server-rackmount1.listing"),
    Case("pin_whatever_the_certificate_names", "server", server={"host": "127.0.0.2"},
         host="127.0.0.2:{port}", options=["--pin", "{pin}"], listing="server-rackmount1.listing",
         stats=False),
    # An IPv6 literal goes in brackets into the URL and the Host header.
    Case("ipv6_literal", "server", server={"host": "::1"}, host="[::1]:{port}",
         options=["--pin", "{pin}"], listing="server-rackmount1.listing", stats=False),
    Case("pin_or_ca_file", "server", options=["--ca-file", "{ca}", "--pin", OTHER_PIN],
         listing="server-rackmount1.listing"),
    # A key that changed is refused before anything is sent: no credential reaches the server.
    Case("pinned_key_changed", "server", server={"self_signed": True},
         options=["--pin", OTHER_PIN], exit=3, credentials=0,
         stderr=[r"GetMachineType: status 1746", NOT_PINNED, FAILED]),
    Case("neither_pin_nor_ca_file", "server", server={"host": "127.0.0.2"},
         host="127.0.0.2:{port}", options=["--ca-file", "{ca}", "--pin", OTHER_PIN], exit=3,
         stats=False, stderr=[NOT_PINNED, FAILED]),
    Case("pin_and_insecure", "server", no_server=True, options=["--insecure", "--pin", OTHER_PIN],
         exit=2, stderr=[r"--insecure excludes --pin"]),
    # pin shows the certificate after a handshake and nothing more: no request at all.
    Case("pin_shows_a_self_signed_certificate", "pin", server={"self_signed": True}, options=[],
         max_requests=0,
         stdout=[r"(?m)^endpoint: +127\.0\.0\.1:\d+$", r"(?m)^pin: +{pin}$",
                 r"(?m)^subject: +CN=quendal-test self-signed, O=Quendal test$",
                 r"(?m)^issuer: +CN=quendal-test self-signed, O=Quendal test$",
                 r"(?m)^valid from: +\d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC$",
                 r"(?m)^valid until: +\d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC$",
                 r"(?m)^trusted: +no: "]),
    # ... also where a busy controller refused the first handshake.
    Case("pin_shows_a_trusted_certificate", "pin", options=["--ca-file", "{ca}"], max_requests=0,
         server=fault("handshake,count=1"),
         stdout=[r"(?m)^pin: +{pin}$", r"(?m)^issuer: +CN=quendal-test CA$",
                 r"(?m)^trusted: +yes"]),


    Case("wrong_password", "server", password="not-the-password", exit=3,
         stderr=[r"error: .*refused the user name or password \(HTTP 401 at "
                 r"/redfish/v1/SessionService/Sessions\) \(check --user and the password\)"]),
    # A name under .invalid is refused without asking the resolver: no query leaves the machine.
    Case("name_not_resolved", "server", no_server=True, host="no-such-host.invalid", exit=3,
         stderr=[r"error: no-such-host\.invalid:443: the host name does not resolve \(names "
                 r"under \.invalid never resolve"]),

    Case("paging_loop", "server",
         server={"page_size": 1, "faults": ["loop,path=FirmwareInventory$"]}, exit=3,
         stderr=[r"error: .*the pages of /redfish/v1/UpdateService/FirmwareInventory lead back"]),
    Case("foreign_link_next_page", "server", exit=3,
         server={"page_size": 1, "faults": ["rewrite-links,path=FirmwareInventory$,link=skip"]},
         stderr=[LEAVES + r'\("@127\.0\.0\.1:\d+/redfish/v1/UpdateService/'
                 r'FirmwareInventory\?\$skip=1"\)']),
    # Redirects within the service are followed, as many as allowed (5), permanent ones too.
    Case("redirects_within_the_service", "server", listing="server-rackmount1.listing",
         server=fault("redirect,status=308,count=5,form=absolute,path=^/redfish/v1/Systems$")),
    Case("service_keeps_failing", "server", options=["--ca-file", "{ca}", "--retries", "1"],
         server=fault("error,path=^/redfish/v1/Systems$,count=100"), exit=3,
         stderr=[r"error: .*failed to answer /redfish/v1/Systems \(HTTP 500, 2 attempts\)"]),
    Case("busy_service_asks_too_long", "server",
         server=fault("error,status=503,retry_after=3600,path=^/redfish/v1/Systems$"), exit=3,
         stderr=[r"error: .*busy and asks to wait 3600 s"]),
    Case("busy_service_asks_too_long_by_date", "server",
         server=fault("error,status=503,retry_date=3600,path=^/redfish/v1/Systems$"), exit=3,
         stderr=[r"error: .*busy and asks to wait (35[0-9][0-9]|3600) s"]),

    # What cannot be read fails the call, naming it; with --partial it is left out and listed
    # (exit 6). Passing trouble is retried.
    # Gone (410) as missing (404, cmm_manager_link_gone_partial) is.
    Case("gone_member", "server", exit=3,
         server=fault("error,status=410,path=FirmwareInventory/BMC$"),
         stderr=[r"GetMachineType: status 0", r"GetAgentlessSoftwareIdentity: status 1747",
                 r"error: .*: 1 of the members of /redfish/v1/UpdateService/FirmwareInventory "
                 r"could not be read: /redfish/v1/UpdateService/FirmwareInventory/BMC does not "
                 r"exist \(HTTP 410\) \(--partial writes"]),
    Case("unreadable_member_partial", "server", options=PARTIAL, exit=6,
         listing="server-rackmount1-without-bmc.listing",
         server=fault("invalid-json,path=FirmwareInventory/BMC$"),
         stderr=[r"warning: .*FirmwareInventory/BMC is not a JSON object; left out of the "
                 r"members of /redfish/v1/UpdateService/FirmwareInventory",
                 r"partial: the document lacks /redfish/v1/UpdateService/FirmwareInventory/BMC"]),
    # A 403 after a good log-in is about one resource, not the password; the rest is read.
    Case("forbidden_member_partial", "server", options=PARTIAL, exit=6,
         listing="server-rackmount1-without-bmc.listing",
         server=fault("error,status=403,count=100,path=FirmwareInventory/BMC$"),
         stderr=[r"warning: .*: the user may not read /redfish/v1/UpdateService/"
                 r"FirmwareInventory/BMC \(HTTP 403\); left out"]),
    # The service offers no firmware inventory: with --partial the rest is documented.
    Case("service_without_part_partial", "server", mockup="public-bladed",
         options=PARTIAL + ("--format", "text"), exit=6,
         stdout=[r"^MT:  \tSX10\nSN:  \t529QB9450R6\n"],
         stderr=[r"GetAgentlessSoftwareIdentity: status 0",
                 r"partial: the document lacks the firmware inventory \(no UpdateService\)"]),
    # An enclosure read in part (here its chassis once failing) is no document of empty values.
    Case("smm_enclosure_unread", "smm", mockup=ENCLOSURE,
         options=["--ca-file", "{ca}", "--retries", "0"],
         server=fault("error,status=500,count=1,path=^/redfish/v1/Chassis$"), exit=3,
         stderr=[r"GetMachineType: status 0", r"error: .*failed to answer /redfish/v1/Chassis",
                 FAILED]),
    # Only enclosure managers are CMMs: the blade's BMC the enclosure names first is none, and
    # its link answering 404 does not hide the enclosure managers beside it.
    Case("cmm_manager_link_gone_partial", "cmm", mockup=ENCLOSURE, options=PARTIAL, exit=6,
         listing="cmm-enclosure.listing",
         server=fault("not-found,path=Managers/Node1BMC$"),
         stderr=[r"warning: .*/redfish/v1/Managers/Node1BMC does not exist \(HTTP 404\); "
                 r"skipped while looking for an enclosure manager",
                 r"partial: the document lacks /redfish/v1/Managers/Node1BMC"]),
    Case("too_many_requests_once_then_success", "server", listing="server-rackmount1.listing",
         server=fault("error,status=429,retry_after=1,count=1,path=^/redfish/v1/Systems$")),
    # An answer cut short may succeed when asked again; a log-in is never sent twice.
    Case("cut_short_once_then_success", "server", listing="server-rackmount1.listing",
         server=fault("truncated,count=1,path=^/redfish/v1/Systems$")),

    # The session is closed where its own @odata.id says instead.
    Case("foreign_session_location", "server", listing="server-rackmount1.listing",
         server=fault("rewrite-location,path=Sessions$"),
         stderr=[r"warning: .*sent a session Location that is not a path on this endpoint "
                 r'\("@127\.0\.0\.1:\d+/redfish/v1/SessionService/Sessions/']),
    # Nor where a Location that leads out of the session collection says.
    Case("session_location_outside_collection", "server", listing="server-rackmount1.listing",
         server=fault("login-answer,form=outside"), sessions_created=1,
         stderr=[r"warning: .*sent a session Location that is not a path on this endpoint "
                 r'\("Other/']),
    Case("foreign_redirect", "server", exit=3,
         server=fault("redirect,path=^/redfish/v1/Systems$"),
         stderr=[r'error: .*/redfish/v1/Systems redirects to another host \("@127\.0\.0\.1:\d+']),
    # Absolute links to the service itself are paths on it, read like any other.
    Case("absolute_member_ids", "server", listing="server-rackmount1.listing", max_requests=8 + 3,
         server=fault("rewrite-links,form=absolute")),

    # A log-in that fails without a verdict on the password is not tried again by each of the
    # scan's library calls (smm makes four): the root and one attempt.
    Case("log_in_with_empty_token_once", "smm", mockup="public-power-shelf", exit=3,
         max_requests=2, server=fault("no-token,path=Sessions$"),
         stderr=[r"error: .*no session could be opened \(HTTP 201 at "
                 r"/redfish/v1/SessionService/Sessions\)"]),
    # Nor is a log-in whose answer was cut short: it may have opened a session.
    Case("log_in_cut_short_once", "server", exit=3, max_requests=2, open_sessions=1,
         server=fault("truncated,count=1,path=Sessions$"),
         stderr=[r"error: .*/redfish/v1/SessionService/Sessions was cut short"]),
    Case("log_in_failing_once", "smm", mockup="public-power-shelf", exit=3, max_requests=2,
         server=fault("error,status=500,count=100,path=Sessions$"),
         stderr=[r"error: .*no session could be opened \(HTTP 500 at "]),
    # Told as what it is, and not retried.
    Case("header_flood", "server", exit=3, max_requests=8,
         server=fault("header-flood,path=^/redfish/v1/Systems$"),
         stderr=[r"error: .*the service sent more header lines than allowed with the answer to "
                 r"/redfish/v1/Systems"]),

    # Slow services end at the time-out, and still lose their session.
    # Generous limits: under Wine on a loaded machine the fast answers alone can take seconds.
    # A trickle beats any bound on idle time: the time-out is the whole answer's.
    Case("trickling_answer_times_out", "server", options=["--ca-file", "{ca}", "--timeout", "10"],
         server=fault("trickle,ms=200,path=^/redfish/v1/Systems$"), exit=3, max_seconds=40,
         stderr=[r"error: .*no whole answer to /redfish/v1/Systems in time .*raise --timeout"]),

    # Controllers as they are (docs/redfish.md): each behaviour a fault mode of the server.
    # The session limit: HTTP Basic instead, with a note; Basic refused too names both answers.
    Case("session_limit_uses_basic", "server", listing="server-rackmount1.listing",
         server=fault("session-limit"), sessions_created=0, max_requests=2 + 7,
         stderr=[r"note: .*: the service opens no session now \(HTTP 503 at "
                 r"/redfish/v1/SessionService/Sessions: \"The maximum number of user sessions "
                 r"is reached\.\"\); HTTP Basic is used instead"]),
    Case("session_limit_and_basic_refused", "server", exit=3,
         server={"faults": ["session-limit,status=400", "refuse-basic"]},
         stderr=[r"GetMachineType: status 1746",
                 r"error: .*: refused the user name or password with HTTP Basic \(HTTP 401 at "
                 r"/redfish/v1/Systems\) after the log-in was answered HTTP 400 \(\"The maximum "
                 r"number of user sessions is reached\.\"\)"]),
    # The session gone mid-scan: one log-in more, and the new session is the one closed.
    Case("session_gone_mid_scan", "server", listing="server-rackmount1.listing",
         server=fault("session-expired,path=FirmwareInventory$"), sessions_created=2,
         stderr=[r"note: .*: the session ended \(HTTP 401 at "
                 r"/redfish/v1/UpdateService/FirmwareInventory\); logged in again"]),
    Case("session_gone_twice", "server", exit=3, sessions_created=2,
         server=fault("session-expired,count=2,path=FirmwareInventory$"),
         stderr=[r"error: .*refused the user name or password \(HTTP 401 at "
                 r"/redfish/v1/UpdateService/FirmwareInventory\)"]),
    Case("log_in_answer_says_nowhere", "server", listing="server-rackmount1.listing",
         server=fault("login-answer,form=nowhere"), sessions_created=1, open_sessions=1,
         stderr=[r"warning: .*: the service opened a session without saying where; it cannot "
                 r"be closed"]),
    # An answer 200 that holds an error: the resource is unusable, and the service's message
    # is the cause.
    Case("error_in_an_answer_200", "server", exit=3,
         server=fault("error-200,path=^/redfish/v1/Systems/[^/]+$"),
         stderr=[r"GetMachineType: status 1746",
                 r"error: .*: /redfish/v1/Systems/437XR1138R2 holds an error instead of the "
                 r"resource: \"fault: the resource is not available right now\""]),
    # HTTP/1.0, a connection per answer: no reconnection is counted as a failure or retried.
    Case("http10_service", "server", listing="server-rackmount1.listing",
         server=fault("http10"), max_requests=8 + 3),

    # Fewer round trips: collections expanded where the service offers it, members read alone
    # where it does not or leaves them bare, and what falls back said once.
    Case("expand_honoured", "server", listing="server-rackmount1.listing", max_requests=5,
         server=fault("expand"), logged=[r"^GET /redfish/v1/Systems\?\$expand=\.\(\$levels=1\)$"]),
    Case("expand_refused", "server", listing="server-rackmount1.listing",
         server=fault("expand,form=refused"), max_requests=9 + 1,
         stderr=[r"note: .*offers \$expand but answered it with HTTP 400 at "
                 r"/redfish/v1/Systems; it is not asked for again"]),
    Case("expand_ignored", "server", listing="server-rackmount1.listing",
         server=fault("expand,form=ignored"), max_requests=9,
         logged=[r"^GET /redfish/v1/UpdateService/FirmwareInventory$"],
         stderr=[r"note: .*offers \$expand but did not expand /redfish/v1/Systems; members are "
                 r"read one by one"]),
    # Members at once, on at most --connections, in collection order however slow the first;
    # each answer compressed, as asked.
    Case("members_at_once_in_order", "server", listing="server-rackmount1.listing",
         options=["--ca-file", "{ca}", "--connections", "2"],
         server=fault("delay,ms=1500,path=FirmwareInventory/BMC$"),
         counted={"most_connections": (2, 2), "compressed": (8, None)}),
]


def check(case, status, out, err, elapsed, stats, pin=None):
    failures = harness.common_failures(case, status, out, err, elapsed, pin)
    if case.listing:
        with open(os.path.join(EXPECTED, case.listing), encoding="utf-8") as expected:
            if out != expected.read():
                failures.append("standard output differs from %s:\n--- got\n%s--- end"
                                % (case.listing, out))
    elif case.exit not in (0, 6) and out:
        failures.append("standard output should be empty:\n" + out)
    failures += ["standard output does not match %r:\n%s" % (harness.with_pin(wanted, pin), out)
                 for wanted in case.stdout if not re.search(harness.with_pin(wanted, pin), out)]
    if case.plain and RAW_CONTROLS.search(out + err):
        failures.append("a control character reaches the output raw: %r"
                        % RAW_CONTROLS.search(out + err).group())
    if stats is None:
        return failures
    log = "\n  ".join(stats["log"])
    expected = dict(case.counted, sink_connections=(0, 0),
                    open_sessions=(case.open_sessions, case.open_sessions),
                    sessions_created=(case.sessions_created, case.sessions_created),
                    requests=(None, case.max_requests),
                    credentials_seen=(None, case.credentials))
    for name, (least, most) in expected.items():
        if stats[name] < (least or 0) or (most is not None and stats[name] > most):
            failures.append("the server counted %s %d, expected %s to %s; requests:\n  %s"
                            % (name, stats[name], least, most, log))
    failures += ["no request matches %r:\n  %s" % (wanted, log) for wanted in case.logged
                 if not any(re.search(wanted, line) for line in stats["log"])]
    return failures


def arguments(case, port, ca, pin):
    # Without a server there is no CA to trust or key to pin.
    if ca:
        options = [o.format(ca=ca, pin=pin, slashed=pin.replace(":", "//"))
                   for o in case.options]
    else:
        options = [o for o in case.options if "{" not in o and o != "--ca-file"]
    host = ["--host", case.host.format(port=port)]
    if case.command[0] == "pin":  # no scan: no document and no user
        return options + case.command + host
    # The module's own listing, which the expected files hold, unless a case asks otherwise.
    if "--format" not in options:
        options += ["--format", "listing"]
    return options + case.command + host + ["--user", harness.DEFAULT_USER]


def main():
    return harness.case_main({case.name: case for case in CASES}, lambda case, options: (
        harness.run_case(case, options, lambda: harness.RedfishServer(
            case.mockup, tls_dir=harness.shared_tls_dir(), **case.server),
            lambda port, ca, pin: arguments(case, port, ca, pin), check)))


if __name__ == "__main__":
    sys.exit(main())
