#!/usr/bin/env python3
"""A small CIM server over HTTPS for the CIM client's tests.

It answers CIM operations encoded as CIM-XML (POST /cimom): EnumerateInstances
in the namespace root/cimv2, from the fixture instances of one invented
hypervisor version (--version), checking HTTP Basic credentials.  It can misbehave on request (see --fault).  Control endpoints
are those of every test server here (tests/redfish/serving.py); the stats
count the operations ("requests", "log") and the requests that carried
credentials ("credentials_seen").

Prints nothing on stdout; errors go to stderr, request lines too with
--verbose.
"""

import json
import os
import re
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
from serving import Answer, UsageError  # noqa: E402

REALM = "quendal-test-cim"
NAMESPACE = "root/cimv2"
XML_TYPE = 'application/xml; charset="utf-8"'

# The fixture: invented builds, one per version the tests cover, the classes'
# superclasses and the instances.
with open(os.path.join(os.path.dirname(HERE), "data", "cim-fixture.json")) as f:
    FIXTURE = json.load(f)
BUILDS = FIXTURE["builds"]
SUPERCLASS = FIXTURE["superclass"]
KNOWN_CLASSES = set(SUPERCLASS) | set(SUPERCLASS.values())

CIM_ERRORS = {1: "CIM_ERR_FAILED", 2: "CIM_ERR_ACCESS_DENIED",
              3: "CIM_ERR_INVALID_NAMESPACE", 4: "CIM_ERR_INVALID_PARAMETER",
              5: "CIM_ERR_INVALID_CLASS", 7: "CIM_ERR_NOT_SUPPORTED"}

FAULT_KINDS = ("cim-error", "malformed", "entity-bomb",
               "deep-nesting", "slow", "http-error",
               "not-cim", "cut-short", "other-method")

# Nine levels of ten references each: a billion "lol"s once expanded; and an
# external entity beside them.
ENTITY_BOMB = ('<?xml version="1.0"?>\n<!DOCTYPE CIM [\n<!ENTITY lol "lol">\n'
               '<!ENTITY secret SYSTEM "file:///etc/passwd">\n'
               + "".join('<!ENTITY lol%d "%s">\n'
                         % (i, ("&lol%s;" % ("" if i == 1 else i - 1)) * 10)
                         for i in range(1, 10))
               + ']>\n<CIM CIMVERSION="2.0" DTDVERSION="2.0">&lol9;</CIM>\n')
NESTING = 100000
HTML_PAGE = ("<!DOCTYPE html>\n<html><head><title>Welcome</title></head>"
             "<body><h1>Welcome</h1></body></html>\n")


# ---------------------------------------------------------------- fixture


def fixture(version, address_width=64):
    """The instances of one version: (class, keys, properties) each; a
    property is (name, CIM type, value), a list value an array."""
    if version not in BUILDS:
        raise UsageError("no fixture for version %r (known: %s)" % (version, ", ".join(BUILDS)))
    major, minor, revision = version.split(".")
    values = dict(version=version, major=major, minor=minor, revision=revision,
                  build=BUILDS[version], address_width=address_width)
    return [(instance["class"], instance["keys"],
             [(name, cim_type, value.format(**values) if isinstance(value, str) else value)
              for name, (cim_type, value) in instance["properties"].items()])
            for instance in FIXTURE["instances"]]


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
    KEYS = ("class", "count", "code", "status", "ms")
    ONCE = ("http-error", "cut-short")

    def __init__(self, text):
        super().__init__(text)
        self.class_name = self.regex("class", "", re.I)
        self.code = self.number("code", 2)
        self.status = self.number("status", 500)
        self.ms = self.number("ms", 5000)


# ---------------------------------------------------------------- HTTP


def xml(body, status=200):
    return Answer(status, body, XML_TYPE, [("CIMOperation", "MethodResponse")])


def unauthorized():
    return Answer(401, "", "text/plain", [("WWW-Authenticate", 'Basic realm="%s"' % REALM)])


class Handler(serving.Handler):
    server_version = "quendal-test-cim/1.0"

    def serve(self, path, query, body, first):
        if "Authorization" in self.headers:
            self.server.saw_credentials()
        if path != "/cimom":
            self.send(Answer(404, "no CIM server at %s\n" % path, "text/plain"))
        elif self.command != "POST":
            self.send(Answer(405, "", "text/plain", [("Allow", "POST")]))
        else:
            self.send(self.operation(body))

    def operation(self, body):
        server = self.server
        if not serving.basic_matches(self.headers.get("Authorization"), server.user,
                                     server.password):
            server.record("401")
            return unauthorized()
        if self.headers.get("CIMOperation", "").lower() != "methodcall":
            return Answer(400, "", "text/plain", [("CIMError", "header-mismatch")])
        try:
            call = Call(body)
        except UsageError:
            return Answer(400, "", "text/plain", [("CIMError", "request-not-valid")])
        server.record("%s %s" % (call.method, call.class_name))
        taken = server.faults.take(lambda rule: rule.class_name.search(call.class_name))
        rule = taken[0] if taken else None
        if rule is not None and rule.kind == "slow":
            time.sleep(rule.ms / 1000.0)
        faulty = self.fault_answer(rule, call)
        if faulty is not None:
            return faulty
        return xml(wrap(call.message_id, call.method, self.result(call)))

    def result(self, call):
        if call.method != "EnumerateInstances":
            return error_xml(7, "%s is not supported here" % call.method)
        if call.namespace != NAMESPACE:
            return error_xml(3, "no namespace %s" % call.namespace)
        if call.class_name.lower() not in {c.lower() for c in KNOWN_CLASSES}:
            return error_xml(5, "no class %s" % call.class_name)
        found = [i for i in self.server.instances if is_a(i[0], call.class_name)]
        inner = "".join("<VALUE.NAMEDINSTANCE>%s%s</VALUE.NAMEDINSTANCE>" % (
            instance_name_xml(i), instance_xml(i, call.property_list)) for i in found)
        return "<IRETURNVALUE>%s</IRETURNVALUE>" % inner

    def fault_answer(self, rule, call):
        if rule is None or rule.kind == "slow":
            return None
        if rule.kind == "http-error":
            return Answer(rule.status, "fault: HTTP %d\n" % rule.status, "text/plain")
        if rule.kind == "not-cim":
            return Answer(200, HTML_PAGE, "text/html; charset=utf-8")
        if rule.kind == "cim-error":
            name = CIM_ERRORS.get(rule.code, "CIM error %d" % rule.code)
            return xml(wrap(call.message_id, call.method, error_xml(rule.code, "fault: " + name)))
        if rule.kind == "other-method":  # the right instances, said to answer another call
            return xml(wrap(call.message_id, "EnumerateInstanceNames", self.result(call)))
        whole = wrap(call.message_id, call.method, self.result(call))
        if rule.kind == "malformed":
            return xml(whole[:len(whole) // 2] + "<VALUE")
        if rule.kind == "cut-short":  # half the answer, then the connection closes
            answer = xml(whole)
            answer.length = len(answer.body)
            answer.body = answer.body[:answer.length // 2]
            return answer
        return xml({"entity-bomb": ENTITY_BOMB,
                    "deep-nesting": '<?xml version="1.0"?>\n<CIM>' + "<VALUE>" * NESTING
                    + "</VALUE>" * NESTING + "</CIM>\n"}[rule.kind])


class Server(serving.TlsServer):
    def __init__(self, options, ssl_context):
        super().__init__(options.host, options.port, Handler, ssl_context, options.verbose)
        self.user = options.user
        self.password = options.password
        self.instances = fixture(options.version, options.address_width)
        self.faults = serving.Rules(Fault, options.fault)
        self._lock = threading.Lock()
        self._log = []
        self._credentials_seen = 0

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


# ---------------------------------------------------------------- main


def main(argv=None):
    parser = serving.common_options(
        "Serve a hypervisor host's CIM instances over HTTPS for tests.",
        "KIND[,class=REGEX][,count=N][,code=N][,status=S][,ms=MILLISECONDS]; kinds: "
        + ", ".join(FAULT_KINDS))
    parser.add_argument("--version", default="6.7.0", choices=sorted(BUILDS))
    parser.add_argument("--address-width", type=int, default=64, choices=(32, 64))
    options = parser.parse_args(argv)
    return serving.run("cim_server", options, lambda context: [Server(options, context)])


if __name__ == "__main__":
    sys.exit(main())
