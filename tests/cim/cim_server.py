#!/usr/bin/env python3
"""A small CIM server over HTTPS for the CIM client's tests.

It answers CIM operations encoded as CIM-XML (POST /cimom): EnumerateInstances
and EnumerateInstanceNames in the namespace root/cimv2, from the fixture
instances of one invented hypervisor version (--version), checking HTTP Basic
credentials.  It can misbehave on request (see --fault).  Control endpoints
under /__control/ let a test read counters and the fixture instances, reset
the counters, change the faults and stop the server; the stats count the
operations ("requests", "log") and the requests that carried credentials
("credentials_seen").  TLS, the ready file and the lifetime are those of
every test server here (tests/redfish/serving.py).

Prints nothing on stdout; errors go to stderr, request lines too with
--verbose.
"""

import argparse
import base64
import binascii
import http.server
import json
import os
import re
import secrets
import sys
import threading
import time
import xml.etree.ElementTree as ElementTree
from xml.sax.saxutils import escape, quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
REDFISH = os.path.join(os.path.dirname(HERE), "redfish")
if REDFISH not in sys.path:
    sys.path.insert(0, REDFISH)
import serving  # noqa: E402
from serving import UsageError  # noqa: E402

REALM = "quendal-test-cim"
NAMESPACE = "root/cimv2"
CONTROL_PREFIX = "/__control/"
XML_TYPE = 'application/xml; charset="utf-8"'

# Invented builds, one per version the tests cover.
BUILDS = {"4.0.0": "1000040", "5.0.0": "1000050", "5.1.0": "1000051",
          "5.5.0": "1000055", "6.0.0": "1000060", "6.5.0": "1000065",
          "6.7.0": "1000067", "7.0.3": "1000073"}

# The fixture's classes and their superclasses.
SUPERCLASS = {
    "QTS_SoftwareIdentity": "CIM_SoftwareIdentity",
    "QTS_HypervisorSoftwareIdentity": "CIM_SoftwareIdentity",
    "QTS_Processor": "CIM_Processor",
    "CIM_SoftwareIdentity": "CIM_LogicalElement",
    "CIM_Processor": "CIM_LogicalDevice",
    "CIM_LogicalDevice": "CIM_LogicalElement",
    "CIM_LogicalElement": "CIM_ManagedSystemElement",
    "CIM_ManagedSystemElement": "CIM_ManagedElement",
}
KNOWN_CLASSES = set(SUPERCLASS) | set(SUPERCLASS.values())

CIM_ERRORS = {1: "CIM_ERR_FAILED", 2: "CIM_ERR_ACCESS_DENIED",
              3: "CIM_ERR_INVALID_NAMESPACE", 4: "CIM_ERR_INVALID_PARAMETER",
              5: "CIM_ERR_INVALID_CLASS", 7: "CIM_ERR_NOT_SUPPORTED"}

FAULT_KINDS = ("unauthorized", "cim-error", "malformed", "entity-bomb",
               "external-entity", "deep-nesting", "slow", "http-error",
               "not-cim", "cut-short")
FAULT_KEYS = ("class", "count", "code", "status", "ms")

# Nine levels of ten references each: a billion "lol"s once expanded.
ENTITY_BOMB = ('<?xml version="1.0"?>\n<!DOCTYPE CIM [\n<!ENTITY lol "lol">\n'
               + "".join('<!ENTITY lol%d "%s">\n'
                         % (i, ("&lol%s;" % ("" if i == 1 else i - 1)) * 10)
                         for i in range(1, 10))
               + ']>\n<CIM CIMVERSION="2.0" DTDVERSION="2.0">&lol9;</CIM>\n')
EXTERNAL_ENTITY = ('<?xml version="1.0"?>\n<!DOCTYPE CIM [\n'
                   '<!ENTITY secret SYSTEM "file:///etc/passwd">\n]>\n'
                   '<CIM CIMVERSION="2.0" DTDVERSION="2.0">&secret;</CIM>\n')
NESTING = 100000
HTML_PAGE = ("<!DOCTYPE html>\n<html><head><title>Welcome</title></head>"
             "<body><h1>Welcome</h1></body></html>\n")


# ---------------------------------------------------------------- fixture


def fixture(version, address_width=64):
    """The instances of one version: (class, keys, properties) each.

    A property is (name, CIM type, value); a list value is an array.  The
    hypervisor's own identity is neither the first nor the last software
    identity, so that a client must pick it by its classification.
    """
    if version not in BUILDS:
        raise UsageError("no fixture for version %r (known: %s)"
                         % (version, ", ".join(BUILDS)))
    major, minor, revision = version.split(".")
    driver = ("QTS_SoftwareIdentity", ["InstanceID"], [
        ("InstanceID", "string", "qts:driver:qnvme"),
        ("ElementName", "string", "qnvme storage driver"),
        ("Classifications", "uint16", ["2"]),
        ("VersionString", "string", "2.1.4-1"),
        ("MajorVersion", "uint16", "2"), ("MinorVersion", "uint16", "1"),
        ("RevisionNumber", "uint16", "4"), ("BuildNumber", "uint16", "1"),
        ("Manufacturer", "string", "Quendal Test Devices")])
    hypervisor = ("QTS_HypervisorSoftwareIdentity", ["InstanceID"], [
        ("InstanceID", "string", "qts:hypervisor"),
        ("ElementName", "string", "Quendal test hypervisor"),
        ("Classifications", "uint16", ["8"]),
        ("VersionString", "string", version),
        ("MajorVersion", "uint16", major), ("MinorVersion", "uint16", minor),
        ("RevisionNumber", "uint16", revision),
        ("BuildNumber", "uint16", "0"),
        ("LargeBuildNumber", "uint64", BUILDS[version]),
        ("IsLargeBuildNumber", "boolean", "TRUE"),
        ("Manufacturer", "string", "Quendal Test Systems")])
    firmware = ("QTS_SoftwareIdentity", ["InstanceID"], [
        ("InstanceID", "string", "qts:firmware:bmc"),
        ("ElementName", "string", "Management controller firmware"),
        ("Classifications", "uint16", ["10", "11"]),
        ("VersionString", "string", "3.40"),
        ("Manufacturer", "string", "Quendal Test Devices")])
    processors = []
    for number in range(2):
        processors.append(("QTS_Processor", [
            "SystemCreationClassName", "SystemName", "CreationClassName",
            "DeviceID"], [
            ("SystemCreationClassName", "string", "QTS_ComputerSystem"),
            ("SystemName", "string", "hv-test-01"),
            ("CreationClassName", "string", "QTS_Processor"),
            ("DeviceID", "string", "CPU%d" % number),
            ("ElementName", "string", "Processor %d" % number),
            ("AddressWidth", "uint16", str(address_width)),
            ("DataWidth", "uint16", "64")]))
    return [driver, hypervisor, firmware] + processors


def is_a(class_name, ancestor):
    while class_name is not None:
        if class_name.lower() == ancestor.lower():
            return True
        class_name = SUPERCLASS.get(class_name)
    return False


# ---------------------------------------------------------------- CIM-XML


def wrap(message_id, method, inner):
    return ('<?xml version="1.0" encoding="utf-8"?>\n'
            '<CIM CIMVERSION="2.0" DTDVERSION="2.0">'
            '<MESSAGE ID=%s PROTOCOLVERSION="1.0"><SIMPLERSP>'
            '<IMETHODRESPONSE NAME=%s>%s</IMETHODRESPONSE>'
            '</SIMPLERSP></MESSAGE></CIM>\n'
            % (quoteattr(message_id), quoteattr(method), inner))


def error_xml(code, description):
    return "<ERROR CODE=\"%d\" DESCRIPTION=%s/>" % (code, quoteattr(description))


def instance_name_xml(instance):
    class_name, keys, properties = instance
    values = {name: value for name, _, value in properties}
    bindings = "".join(
        '<KEYBINDING NAME=%s><KEYVALUE VALUETYPE="string">%s</KEYVALUE>'
        '</KEYBINDING>' % (quoteattr(key), escape(values[key])) for key in keys)
    return "<INSTANCENAME CLASSNAME=%s>%s</INSTANCENAME>" % (
        quoteattr(class_name), bindings)


def instance_xml(instance, wanted):
    class_name, _, properties = instance
    parts = []
    for name, cim_type, value in properties:
        if wanted is not None and name.lower() not in wanted:
            continue
        if isinstance(value, list):
            parts.append('<PROPERTY.ARRAY NAME=%s TYPE="%s"><VALUE.ARRAY>%s'
                         '</VALUE.ARRAY></PROPERTY.ARRAY>' % (
                             quoteattr(name), cim_type,
                             "".join("<VALUE>%s</VALUE>" % escape(v)
                                     for v in value)))
        else:
            parts.append('<PROPERTY NAME=%s TYPE="%s"><VALUE>%s</VALUE>'
                         '</PROPERTY>' % (quoteattr(name), cim_type,
                                          escape(value)))
    return "<INSTANCE CLASSNAME=%s>%s</INSTANCE>" % (quoteattr(class_name),
                                                      "".join(parts))


class Call:
    """One parsed CIM operation request."""

    def __init__(self, body):
        try:
            root = ElementTree.fromstring(body)
        except ElementTree.ParseError as exc:
            raise UsageError("the request is not XML: %s" % exc)
        message = root.find("MESSAGE")
        call = None if message is None else message.find("SIMPLEREQ/IMETHODCALL")
        if root.tag != "CIM" or call is None:
            raise UsageError("the request is not a simple CIM operation")
        self.message_id = message.get("ID", "")
        self.method = call.get("NAME", "")
        self.namespace = "/".join(
            n.get("NAME", "") for n in call.findall("LOCALNAMESPACEPATH/NAMESPACE"))
        self.params = {p.get("NAME", "").lower(): p
                       for p in call.findall("IPARAMVALUE")}
        class_param = self.params.get("classname")
        name = None if class_param is None else class_param.find("CLASSNAME")
        self.class_name = "" if name is None else name.get("NAME", "")
        self.property_list = None
        plist = self.params.get("propertylist")
        if plist is not None and plist.find("VALUE.ARRAY") is not None:
            self.property_list = {(v.text or "").lower()
                                  for v in plist.findall("VALUE.ARRAY/VALUE")}


# ---------------------------------------------------------------- faults


class Fault(serving.FaultRule):
    """One rule from --fault: KIND[,class=REGEX][,count=N][,code=N]..."""

    KINDS = FAULT_KINDS
    KEYS = FAULT_KEYS

    def __init__(self, text):
        super().__init__(text)
        self.class_name = self.regex("class", "", re.I)
        self.remaining = self.number("count", 1 if self.kind in ("http-error", "cut-short")
                                     else None)
        self.code = self.number("code", 2)
        self.status = self.number("status", 500)
        self.ms = self.number("ms", 5000)


class Faults:
    """The active fault rules; thread-safe, the first matching one applies."""

    def __init__(self, texts=()):
        self._lock = threading.Lock()
        self._rules = [Fault(t) for t in texts]

    def replace(self, texts):
        rules = [Fault(t) for t in texts]
        with self._lock:
            self._rules = rules

    def take(self, class_name):
        with self._lock:
            for rule in self._rules:
                if rule.remaining != 0 and rule.class_name.search(class_name):
                    if rule.remaining is not None:
                        rule.remaining -= 1
                    return rule
        return None


# ---------------------------------------------------------------- HTTP


class Answer:
    def __init__(self, status, body="", content_type=XML_TYPE, headers=()):
        self.status = status
        if isinstance(body, (dict, list)):
            body = json.dumps(body, indent=4) + "\n"
            content_type = "application/json"
        self.body = body.encode() if isinstance(body, str) else body
        self.content_type = content_type
        self.headers = list(headers)
        self.length = len(self.body)  # what Content-Length says


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "quendal-test-cim/1.0"
    timeout = 120

    def version_string(self):
        return self.server_version

    def log_message(self, format, *args):
        if self.server.verbose:
            sys.stderr.write("%s\n" % (format % args))

    def do_GET(self):
        self.dispatch()

    do_POST = do_PUT = do_DELETE = do_GET

    def dispatch(self):
        try:
            length = int(self.headers.get("Content-Length", 0))
        except ValueError:
            self.send_error(400, "bad Content-Length")
            return
        body = self.rfile.read(length) if length > 0 else b""
        path = self.path.split("?")[0]
        if path.startswith(CONTROL_PREFIX):
            self.send(self.control(path[len(CONTROL_PREFIX):], body))
            return
        if "Authorization" in self.headers:
            self.server.saw_credentials()
        if path != "/cimom":
            self.send(Answer(404, "no CIM server at %s\n" % path, "text/plain"))
            return
        if self.command != "POST":
            self.send(Answer(405, "", "text/plain", [("Allow", "POST")]))
            return
        self.send(self.operation(body))

    def authorized(self):
        scheme, _, value = self.headers.get("Authorization", "").partition(" ")
        if scheme.lower() != "basic":
            return False
        try:
            decoded = base64.b64decode(value.strip(), validate=True).decode()
        except (binascii.Error, UnicodeDecodeError):
            return False
        user, sep, password = decoded.partition(":")
        return bool(sep) and secrets.compare_digest(
            user.encode(), self.server.user.encode()) and secrets.compare_digest(
            password.encode(), self.server.password.encode())

    def operation(self, body):
        server = self.server
        if not self.authorized():
            server.record("401")
            return Answer(401, "", "text/plain", [
                ("WWW-Authenticate", 'Basic realm="%s"' % REALM)])
        if self.headers.get("CIMOperation", "").lower() != "methodcall":
            return Answer(400, "", "text/plain", [("CIMError", "header-mismatch")])
        try:
            call = Call(body)
        except UsageError:
            return Answer(400, "", "text/plain", [("CIMError", "request-not-valid")])
        server.record("%s %s" % (call.method, call.class_name))
        rule = server.faults.take(call.class_name)
        if rule is not None and rule.kind == "slow":
            time.sleep(rule.ms / 1000.0)
        faulty = self.fault_answer(rule, call)
        if faulty is not None:
            return faulty
        return Answer(200, wrap(call.message_id, call.method, self.result(call)),
                      headers=[("CIMOperation", "MethodResponse")])

    def result(self, call):
        if call.method not in ("EnumerateInstances", "EnumerateInstanceNames"):
            return error_xml(7, "%s is not supported here" % call.method)
        if call.namespace != NAMESPACE:
            return error_xml(3, "no namespace %s" % call.namespace)
        if call.class_name.lower() not in {c.lower() for c in KNOWN_CLASSES}:
            return error_xml(5, "no class %s" % call.class_name)
        found = [i for i in self.server.instances if is_a(i[0], call.class_name)]
        if call.method == "EnumerateInstanceNames":
            inner = "".join(instance_name_xml(i) for i in found)
        else:
            inner = "".join("<VALUE.NAMEDINSTANCE>%s%s</VALUE.NAMEDINSTANCE>" % (
                instance_name_xml(i), instance_xml(i, call.property_list))
                for i in found)
        return "<IRETURNVALUE>%s</IRETURNVALUE>" % inner

    def fault_answer(self, rule, call):
        if rule is None or rule.kind == "slow":
            return None
        headers = [("CIMOperation", "MethodResponse")]
        if rule.kind == "unauthorized":
            return Answer(401, "", "text/plain", [
                ("WWW-Authenticate", 'Basic realm="%s"' % REALM)])
        if rule.kind == "http-error":
            return Answer(rule.status, "fault: HTTP %d\n" % rule.status, "text/plain")
        if rule.kind == "not-cim":
            return Answer(200, HTML_PAGE, "text/html; charset=utf-8")
        if rule.kind == "cim-error":
            name = CIM_ERRORS.get(rule.code, "CIM error %d" % rule.code)
            return Answer(200, wrap(call.message_id, call.method,
                                    error_xml(rule.code, "fault: " + name)), headers=headers)
        if rule.kind == "malformed":
            whole = wrap(call.message_id, call.method, self.result(call))
            return Answer(200, whole[:len(whole) // 2] + "<VALUE", headers=headers)
        if rule.kind == "cut-short":  # half the answer, then the connection closes
            whole = wrap(call.message_id, call.method, self.result(call)).encode()
            answer = Answer(200, whole[:len(whole) // 2], headers=headers)
            answer.length = len(whole)
            return answer
        if rule.kind == "entity-bomb":
            return Answer(200, ENTITY_BOMB, headers=headers)
        if rule.kind == "external-entity":
            return Answer(200, EXTERNAL_ENTITY, headers=headers)
        # deep-nesting
        return Answer(200, '<?xml version="1.0"?>\n<CIM>' + "<VALUE>" * NESTING
                      + "</VALUE>" * NESTING + "</CIM>\n", headers=headers)

    def control(self, name, body):
        expected = {"stats": "GET", "instances": "GET", "reset": "POST",
                    "faults": "POST", "shutdown": "POST"}.get(name)
        if expected is None:
            return Answer(404, {"error": "no such control endpoint"})
        if self.command != expected:
            return Answer(405, {"error": "use " + expected})
        server = self.server
        if name == "stats":
            return Answer(200, server.stats())
        if name == "instances":
            return Answer(200, [{"class": c, "keys": k,
                                 "properties": {n: v for n, _, v in p}}
                                for c, k, p in server.instances])
        if name == "reset":
            server.reset()
            return Answer(200, server.stats())
        if name == "faults":
            try:
                texts = json.loads(body or b"null")
                if not isinstance(texts, list) \
                        or not all(isinstance(t, str) for t in texts):
                    raise UsageError("expected a JSON list of fault strings")
                server.faults.replace(texts)
            except (ValueError, UsageError) as exc:
                return Answer(400, {"error": str(exc)})
            return Answer(200, {"faults": texts})
        server.stop_soon()
        return Answer(200, {"stopping": True})

    def send(self, answer):
        self.send_response(answer.status)
        self.send_header("Content-Type", answer.content_type)
        for key, value in answer.headers:
            self.send_header(key, value)
        self.send_header("Content-Length", str(answer.length))
        self.end_headers()
        self.wfile.write(answer.body)
        if answer.length != len(answer.body):
            self.close_connection = True


class Server(serving.TlsServer):
    def __init__(self, options, ssl_context):
        super().__init__(options.host, options.port, Handler, ssl_context, options.verbose)
        self.user = options.user
        self.password = options.password
        self.instances = fixture(options.version, options.address_width)
        self.faults = Faults(options.fault)
        self._lock = threading.Lock()
        self._log = []
        self._credentials_seen = 0
        self._stopping = threading.Event()

    def record(self, line):
        with self._lock:
            self._log.append(line)

    def saw_credentials(self):
        with self._lock:
            self._credentials_seen += 1

    def reset(self):
        with self._lock:
            self._log = []
            self._credentials_seen = 0

    def stats(self):
        with self._lock:
            return {"requests": len(self._log), "log": list(self._log),
                    "credentials_seen": self._credentials_seen}

    def stop_soon(self):
        if not self._stopping.is_set():
            self._stopping.set()
            threading.Thread(target=self.shutdown, daemon=True).start()


# ---------------------------------------------------------------- main


def parse_args(argv):
    parser = argparse.ArgumentParser(
        description="Serve a hypervisor host's CIM instances over HTTPS for tests.")
    parser.add_argument("--version", default="6.7.0", choices=sorted(BUILDS))
    parser.add_argument("--address-width", type=int, default=64, choices=(32, 64))
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", default="quendal")
    parser.add_argument("--password", default="Quendal-test-pw1")
    parser.add_argument("--fault", action="append", default=[], metavar="FAULT",
                        help="KIND[,class=REGEX][,count=N][,code=N][,status=S]"
                             "[,ms=MILLISECONDS]; kinds: " + ", ".join(FAULT_KINDS))
    parser.add_argument("--tls-dir", metavar="DIR")
    parser.add_argument("--self-signed", action="store_true",
                        help="present a certificate of a fresh key, signed by "
                             "itself (--tls-dir is not used)")
    parser.add_argument("--ready-file", metavar="PATH")
    parser.add_argument("--lifetime", type=float, default=600, metavar="SECONDS")
    parser.add_argument("--dos-paths", action="store_true",
                        help="write the CA path as Z:\\... for Wine")
    parser.add_argument("--verbose", action="store_true")
    return parser.parse_args(argv)


def main(argv=None):
    options = parse_args(argv)
    return serving.run("cim_server", options,
                       lambda context: [Server(options, context)],
                       lambda servers: servers[0].serve_forever(poll_interval=0.2))


if __name__ == "__main__":
    sys.exit(main())
