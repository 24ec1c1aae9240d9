#!/usr/bin/env python3
"""Tests of the test CIM server through Python's HTTPS client: what the tool cases do not
reach (enumeration order, property lists, instance names, HTTP-level refusals). Each fault
mode is proven by the tool case that expects its cause."""

import base64
import shutil
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

from cim_harness import PASSWORD, USER, CimServer, ServerError

TLS_DIR = None  # one throw-away CA for every server of the run


def setUpModule():
    global TLS_DIR
    TLS_DIR = tempfile.mkdtemp(prefix="cim-selftest-")


def tearDownModule():
    shutil.rmtree(TLS_DIR, ignore_errors=True)


def call(method, class_name, namespace=("root", "cimv2"), properties=None):
    spaces = "".join('<NAMESPACE NAME="%s"/>' % n for n in namespace)
    plist = ""
    if properties is not None:
        plist = ('<IPARAMVALUE NAME="PropertyList"><VALUE.ARRAY>%s</VALUE.ARRAY>'
                 '</IPARAMVALUE>' % "".join("<VALUE>%s</VALUE>" % p for p in properties))
    return ('<?xml version="1.0" encoding="utf-8"?><CIM CIMVERSION="2.0" DTDVERSION="2.0">'
            '<MESSAGE ID="7" PROTOCOLVERSION="1.0"><SIMPLEREQ><IMETHODCALL NAME="%s">'
            '<LOCALNAMESPACEPATH>%s</LOCALNAMESPACEPATH><IPARAMVALUE NAME="ClassName">'
            '<CLASSNAME NAME="%s"/></IPARAMVALUE>%s</IMETHODCALL></SIMPLEREQ></MESSAGE>'
            '</CIM>' % (method, spaces, class_name, plist)).encode()


def headers(method="EnumerateInstances", password=PASSWORD, operation="MethodCall"):
    pair = base64.b64encode(("%s:%s" % (USER, password)).encode()).decode()
    result = {"Content-Type": 'application/xml; charset="utf-8"', "CIMMethod": method,
              "CIMObject": "root%2Fcimv2", "Authorization": "Basic " + pair}
    if operation:
        result["CIMOperation"] = operation
    return result


class SharedServer(unittest.TestCase):
    """Tests sharing one server (6.5.0), its log and faults cleared per test."""

    @classmethod
    def setUpClass(cls):
        cls.server = CimServer(version="6.5.0", tls_dir=TLS_DIR).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        self.server.set_faults([])
        self.server.reset()

    def post(self, body, method="EnumerateInstances", **options):
        return self.server.request("POST", "/cimom", body, headers(method, **options))

    def enumerate(self, class_name, method="EnumerateInstances", **options):
        status, answer_headers, body = self.post(call(method, class_name, **options), method)
        self.assertEqual(status, 200, body)
        self.assertEqual(answer_headers["CIMOperation"], "MethodResponse")
        root = ElementTree.fromstring(body)
        response = root.find("MESSAGE/SIMPLERSP/IMETHODRESPONSE")
        self.assertEqual(root.find("MESSAGE").get("ID"), "7")
        self.assertEqual(response.get("NAME"), method)
        return response

    def instances(self, class_name, **options):
        response = self.enumerate(class_name, **options)
        found = []
        for named in response.findall("IRETURNVALUE/VALUE.NAMEDINSTANCE"):
            instance = named.find("INSTANCE")
            values = {p.get("NAME"): p.findtext("VALUE") for p in instance.findall("PROPERTY")}
            values.update({p.get("NAME"): [v.text for v in p.findall("VALUE.ARRAY/VALUE")]
                           for p in instance.findall("PROPERTY.ARRAY")})
            found.append((instance.get("CLASSNAME"), values))
        return found

    def error_code(self, class_name, method="EnumerateInstances", **options):
        error = self.enumerate(class_name, method, **options).find("ERROR")
        self.assertIsNotNone(error)
        return int(error.get("CODE"))

    # ------------------------------------------------------------ answers

    def test_enumerates_subclasses_in_fixture_order(self):
        found = self.instances("CIM_SoftwareIdentity")
        self.assertEqual([c for c, _ in found], ["QTS_SoftwareIdentity",
                                                 "QTS_HypervisorSoftwareIdentity",
                                                 "QTS_SoftwareIdentity"])
        hypervisor = found[1][1]
        self.assertEqual(hypervisor["VersionString"], "6.5.0")
        self.assertEqual(hypervisor["Classifications"], ["8"])
        self.assertEqual(hypervisor["LargeBuildNumber"], "1000065")
        self.assertEqual(found[2][1]["Classifications"], ["10", "11"])
        processors = self.instances("CIM_Processor")
        self.assertEqual([p["AddressWidth"] for _, p in processors], ["64", "64"])
        self.assertEqual(len(self.instances("CIM_ManagedElement")), 5)
        self.assertEqual(self.instances("QTS_Processor"), processors)

    def test_property_list_and_instance_names(self):
        found = self.instances("CIM_SoftwareIdentity", properties=["versionstring"])
        self.assertEqual([p for _, p in found], [{"VersionString": "2.1.4-1"},
                                                 {"VersionString": "6.5.0"},
                                                 {"VersionString": "3.40"}])
        names = self.enumerate("CIM_Processor", "EnumerateInstanceNames")
        keys = [{k.get("NAME"): k.findtext("KEYVALUE") for k in n.findall("KEYBINDING")}
                for n in names.findall("IRETURNVALUE/INSTANCENAME")]
        self.assertEqual([k["DeviceID"] for k in keys], ["CPU0", "CPU1"])
        self.assertEqual(len(keys[0]), 4)

    def test_cim_errors_for_what_it_does_not_serve(self):
        self.assertEqual(self.error_code("CIM_SoftwareIdentity", namespace=("interop",)), 3)
        self.assertEqual(self.error_code("CIM_NoSuchClass"), 5)
        self.assertEqual(self.error_code("CIM_Processor", "GetClass"), 7)

    def test_refuses_bad_requests(self):
        status, answer_headers, _ = self.post(call("EnumerateInstances", "CIM_Processor"),
                                              password="wrong")
        self.assertEqual(status, 401)
        self.assertIn("Basic", answer_headers["WWW-Authenticate"])
        status, answer_headers, _ = self.post(call("EnumerateInstances", "CIM_Processor"),
                                              operation=None)
        self.assertEqual((status, answer_headers["CIMError"]), (400, "header-mismatch"))
        status, answer_headers, _ = self.post(b"<not xml")
        self.assertEqual((status, answer_headers["CIMError"]), (400, "request-not-valid"))
        self.assertEqual(self.server.request("GET", "/cimom")[0], 405)
        self.assertEqual(self.server.request("POST", "/redfish/v1")[0], 404)
        self.assertEqual(self.server.stats()["log"], ["401"])

    def test_control_endpoints(self):
        self.instances("CIM_Processor")
        self.assertEqual(self.server.stats(), {"requests": 1, "credentials_seen": 1,
                                               "log": ["EnumerateInstances CIM_Processor"]})
        self.assertEqual(self.server.reset(), {"requests": 0, "credentials_seen": 0, "log": []})
        with self.assertRaises(ServerError):
            self.server.set_faults(["no-such-kind"])
        with self.assertRaises(ServerError):
            self.server.set_faults(["slow,ms=soon"])
        classes = [i["class"] for i in self.server.instances()]
        self.assertEqual(classes.count("QTS_Processor"), 2)


class Lifecycle(unittest.TestCase):
    def test_unknown_version_is_a_usage_error(self):
        with self.assertRaises(ServerError):
            CimServer(version="9.9.9", tls_dir=TLS_DIR).start()

    def test_lifetime_stops_the_server(self):
        server = CimServer(tls_dir=TLS_DIR, lifetime=1).start()
        try:
            self.assertEqual(server.process.wait(timeout=15), 0)
        finally:
            server.stop()


if __name__ == "__main__":
    sys.argv[1:1] = ["-v"] if "-v" not in sys.argv else []
    unittest.main()
