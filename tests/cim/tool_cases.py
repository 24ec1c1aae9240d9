#!/usr/bin/env python3
"""quendal-sysinfo esxi against the project's CIM test server, as a user runs it.

usage: tool_cases.py --list
       tool_cases.py --tool PROGRAM [--emulator RUNNER] [--dos-paths] --case NAME

Each case starts a fresh server on one fixture version (with faults where the
case says), runs `esxi --format info` against it over HTTPS and checks the
exit status, the document or the module's status line, the cause on standard
error, that the password shows nowhere, and how many CIM operations the scan
made and how many requests carried credentials. In options, {ca} is the
server's CA file and {pin} the pin of its key.
"""

import sys

import cim_harness

PASSWORD = cim_harness.PASSWORD
OTHER_PIN = cim_harness.harness.OTHER_PIN
NOT_PINNED = cim_harness.harness.NOT_PINNED
FAILED = r"quendal-sysinfo: a scan failed, so no document is written"
FAILED_STATUS = r"GetEsxiOSInfo: status 65647 \(Failed to get OS type\.\)"
UNSUPPORTED_STATUS = (r"GetEsxiOSInfo: status 65648 "
                      r"\(Current Operating System is not supported\.\)")
# What the module's version table names the oldest and the newest fixture version (every row of
# the table is the module's own test's, GetEsxiOSInfo).
OS_NAMES = {"4.0.0": "VMware ESXi 4", "6.7.0": "VMware ESXi 6.7"}


def document(os_name, arch="64 bit"):
    return ('CONTENT\n{\n    MT ""\n    SN ""\n    BMCTYPE ""\n'
            '    OS "%s"\n    ARCH "%s"\n    ISPARTITION 0\n    TOTAL 0\n}\n'
            % (os_name, arch))


class Case(cim_harness.harness.Case):
    DEFAULTS = dict(
        version="6.7.0", server={}, options=("--ca-file", "{ca}"), host="127.0.0.1:{port}",
        password=PASSWORD, exit=0, stdout=None, stderr=(), max_seconds=60, no_server=False,
        requests=2,  # CIM operations the server saw, None: not checked
        credentials=None)  # requests that may carry credentials, None: any


def fault(text):
    return {"faults": [text]}


def error(text):
    return [FAILED_STATUS, r"error: 127\.0\.0\.1:\d+: .*" + text, FAILED]


# Every fault mode of the server: exit 3 and the cause, after one CIM operation: (case, fault,
# standard error after "error: 127.0.0.1:PORT: ").
FAILING = [
    ("access_denied", "cim-error,code=2", r"the CIM server denies access to "
     r"CIM_SoftwareIdentity \(CIM_ERR_ACCESS_DENIED"),
    ("invalid_namespace", "cim-error,code=3", r"the CIM server has no namespace root/cimv2 "
     r"\(CIM_ERR_INVALID_NAMESPACE"),
    ("not_supported", "cim-error,code=7", r"does not offer the instances of "
     r"CIM_SoftwareIdentity \(CIM_ERR_NOT_SUPPORTED"),
    ("cim_failure", "cim-error,code=1", r"the CIM server failed to enumerate "
     r"CIM_SoftwareIdentity \(CIM_ERR_FAILED"),
    # A code the standard does not define is shown as the server gave it.
    ("cim_error_code_out_of_range", "cim-error,code=4294967297",
     r"failed to enumerate CIM_SoftwareIdentity \(CIM error 4294967297: fault"),
    ("malformed_xml", "malformed", r"the answer to EnumerateInstances of CIM_SoftwareIdentity "
     r"is not acceptable XML"),
    ("entity_bomb", "entity-bomb", r"not acceptable XML: a document type or entity "
     r"declaration, which is refused"),
    ("deep_nesting", "deep-nesting", r"not acceptable XML: elements nested deeper than 64"),
    ("answer_to_another_method", "other-method", r"the answer to EnumerateInstances of "
     r"CIM_SoftwareIdentity is not a CIM-XML answer to that request"),
    ("web_server_not_cim", "not-cim", r"no CIM server answers at "
     r"https://127\.0\.0\.1:\d+/cimom \(the answer is text/html"),
]

CASES = [Case("version_" + v.replace(".", "_"), version=v, stdout=document(name),
              stderr=[r"GetEsxiOSInfo: status 0 \(Succeed\.\)"])
         for v, name in sorted(OS_NAMES.items())] + [
    # A version the module's table does not know: its status line, no document.
    Case("version_7_0_3", version="7.0.3", exit=3, stderr=[UNSUPPORTED_STATUS, FAILED]),
    Case("processors_32_bit", server={"address_width": 32},
         stdout=document(OS_NAMES["6.7.0"], "32 bit")),
    # An architecture nobody tells is not guessed.
    Case("processor_class_missing", server=fault("cim-error,code=5,class=CIM_Processor"),
         exit=3, stderr=error(r"does not offer the instances of CIM_Processor "
                              r"\(CIM_ERR_INVALID_CLASS.*\), so the host's architecture is not "
                              r"known")),
    Case("insecure_is_warned_about", options=["--insecure"], stdout=document(OS_NAMES["6.7.0"]),
         stderr=[r"warning: --insecure: certificates are not checked"]),
    # A self-signed CIM server verified by the pin of its key, and one whose key changed: refused
    # before anything is sent.
    Case("pinned_self_signed", server={"self_signed": True}, options=["--pin", "{pin}"],
         stdout=document(OS_NAMES["6.7.0"])),
    Case("pinned_key_changed", server={"self_signed": True}, options=["--pin", OTHER_PIN],
         exit=3, requests=0, credentials=0, stderr=[FAILED_STATUS, NOT_PINNED, FAILED]),
    Case("too_many_requests_once_then_success", server=fault("http-error,status=429"),
         stdout=document(OS_NAMES["6.7.0"]), requests=3),
    Case("forbidden", server=fault("http-error,status=403"), exit=3, requests=1,
         stderr=error(r"refused the user name or password \(HTTP 403\)")),
    Case("cut_short_once_then_success", server=fault("cut-short,count=1"),
         stdout=document(OS_NAMES["6.7.0"]), requests=3),
    Case("wrong_password", password="not-the-password", exit=3, requests=1,
         stderr=error(r"refused the user name or password \(HTTP 401\) "
                      r"\(check --user and the password\)")),
] + [Case(name, server=fault(text), exit=3, requests=1, stderr=error(cause))
     for name, text, cause in FAILING] + [

    Case("slow_answer_times_out", options=["--ca-file", "{ca}", "--timeout", "2"],
         server=fault("slow,ms=6000"), exit=3, requests=1, max_seconds=30,
         stderr=error(r"no whole answer to EnumerateInstances in time .*raise --timeout")),
    Case("server_keeps_failing", options=["--ca-file", "{ca}", "--retries", "1"],
         server=fault("http-error,count=100"), exit=3, requests=2,
         stderr=error(r"the CIM server failed to answer EnumerateInstances "
                      r"\(HTTP 500, 2 attempts\)")),
    Case("untrusted_certificate", options=[], exit=3, requests=0,
         stderr=error(r"the certificate is not trusted .*--ca-file.*--insecure")),
    # Without a port the CIM server's own, 5989, where nothing listens here.
    Case("default_port_5989", no_server=True, host="127.0.0.1", exit=3,
         stderr=[FAILED_STATUS, r"error: 127\.0\.0\.1:5989: cannot connect", FAILED]),
]


def check(case, status, out, err, elapsed, stats, pin=None):
    failures = cim_harness.harness.common_failures(case, status, out, err, elapsed, pin)
    if out != (case.stdout or ""):
        failures.append("standard output:\n%s--- expected\n%s--- end" % (out, case.stdout))
    if stats is not None and case.requests is not None and stats["requests"] != case.requests:
        failures.append("%d CIM operations, expected %d:\n  %s" % (
            stats["requests"], case.requests, "\n  ".join(stats["log"])))
    if stats is not None and case.credentials is not None \
            and stats["credentials_seen"] > case.credentials:
        failures.append("%d requests carried credentials, at most %d expected"
                        % (stats["credentials_seen"], case.credentials))
    return failures


def main():
    def arguments(case, port, ca, pin):
        options = [o.format(ca=ca, pin=pin) for o in case.options] if ca else []
        return options + ["--format", "info", "esxi", "--host", case.host.format(port=port),
                          "--user", cim_harness.USER]

    return cim_harness.harness.case_main({case.name: case for case in CASES}, lambda case, o: (
        cim_harness.harness.run_case(case, o, lambda: cim_harness.CimServer(
            version=case.version, tls_dir=cim_harness.shared_tls_dir(), **case.server),
            lambda port, ca, pin: arguments(case, port, ca, pin), check)))


if __name__ == "__main__":
    sys.exit(main())
