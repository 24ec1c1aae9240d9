#!/usr/bin/env python3
"""A small Redfish service over HTTPS for the Redfish client's tests.

It serves a mockup folder in the published layout (/redfish/v1/A/B is
<folder>/A/B/index.json), keeps real sessions, can page collections and can
misbehave on request (see --fault).  Control endpoints under /__control/ let a
test read counters, reset them, change the faults and stop the server.

With --ports N it listens on N ports at once, each a service of its own to a
client (a fleet of BMCs in one process) while they share the mockup, the
counters, the sessions and the fault rules; a rule with listener=K applies to
the K-th port only (0 is the first).  The ready file lists the ports, and the
stats count the requests per port and the most sessions open at once.

A sink listens beside the service on another port of the same address: the
links the rewrite faults write name it, and "sink_connections" in the stats
counts the connections it accepted, so a test can prove that nothing a client
sends (a password, a token, a Basic header) reaches another host.

Stats: "requests" and "log" cover every request except the control ones;
"credentials_seen" counts those that carried a password or a session token
(an Authorization or X-Auth-Token header, or a body opening a session);
"most_connections" counts the most TCP connections open at once, leaving out
those whose first request was a control request, so a harness asking for stats
does not disturb what the client under test did; "compressed" the answers sent
with gzip because the request asked for it (Accept-Encoding).

Prints nothing on stdout; errors go to stderr, request lines too with
--verbose.
"""

import argparse
import base64
import binascii
import email.utils
import gzip
import http.server
import json
import os
import secrets
import selectors
import socket
import sys
import threading
import time
import urllib.parse

import serving
from redfish_faults import (ANSWER_KINDS, FAULT_KINDS, LINK_FORMS, Faults,
                            ListenerFaults)
from serving import UsageError

REALM = "quendal-test"
SERVICE_ROOT = "/redfish/v1"
SESSIONS_PATH = "/redfish/v1/SessionService/Sessions"
SESSION_SERVICE_PATH = "/redfish/v1/SessionService"
# Where services older than Redfish 1.6 may keep their sessions (old-sessions).
OLD_SESSIONS_PATH = "/redfish/v1/Sessions"
SESSION_LIMIT_MESSAGE = "The maximum number of user sessions is reached."
UTF8_BOM = b"\xef\xbb\xbf"
CONTROL_PREFIX = "/__control/"
JSON_TYPE = "application/json; charset=utf-8"
# Paths a client reads before it has credentials.
PUBLIC_PATHS = {"/redfish", "/redfish/v1", "/redfish/v1/$metadata",
                "/redfish/v1/odata"}

HTML_PAGE = (b'<!DOCTYPE html>\n<html><head><title>Sign in</title></head>\n'
             b'<body><h1>Sign in</h1><form method="post" action="/login">'
             b'<input name="user"><input name="password" type="password">'
             b'</form></body></html>\n')


def redfish_error(message, extended=()):
    return {"error": {"code": "Base.1.0.GeneralError", "message": message,
                      "@Message.ExtendedInfo": [
                          {"MessageId": "Base.1.8.%s" % key, "Message": text}
                          for key, text in extended]}}


# ---------------------------------------------------------------- mockup


class Mockup:
    """Maps request paths to the files of one mockup folder."""

    def __init__(self, folder):
        self.folder = os.path.realpath(folder)
        if not os.path.isfile(os.path.join(self.folder, "index.json")):
            raise UsageError("%s holds no index.json: not a mockup folder"
                             % folder)

    def file_for(self, path):
        """The file serving a normalised /redfish/v1 path, or None."""
        rest = path[len(SERVICE_ROOT):]
        if rest and not rest.startswith("/"):
            return None
        segments = rest.split("/")[1:] if rest else []
        for seg in segments:
            if seg in ("", ".", "..") or "\\" in seg or "\0" in seg:
                return None
        if segments == ["$metadata"]:
            name = os.path.join(self.folder, "$metadata", "index.xml")
        else:
            name = os.path.join(self.folder, *segments, "index.json")
        name = os.path.realpath(name)
        if not name.startswith(self.folder + os.sep):
            return None
        return name if os.path.isfile(name) else None


# ---------------------------------------------------------------- state


class State:
    """Counters, request log and sessions, shared by the handler threads."""

    def __init__(self):
        self.lock = threading.Lock()
        self.requests = 0
        self.sessions_created = 0
        self.log = []
        self.by_port = {}  # listening port -> requests served there
        self.sessions = {}  # id -> {"token": ..., "user": ...}
        self.sink_connections = 0
        self.most_sessions = 0  # open at once, since the start or the reset
        self.credentials_seen = 0
        self.open_connections = 0
        self.most_connections = 0
        self.compressed = 0

    def connection_opened(self, opened):
        with self.lock:
            self.open_connections += 1 if opened else -1
            self.most_connections = max(self.most_connections,
                                        self.open_connections)

    def count_compressed(self):
        with self.lock:
            self.compressed += 1

    def record(self, line, port=None, credentials=False):
        with self.lock:
            self.requests += 1
            self.credentials_seen += 1 if credentials else 0
            self.log.append(line)
            if port is not None:
                self.by_port[port] = self.by_port.get(port, 0) + 1

    def reset(self):
        with self.lock:
            self.requests = 0
            self.sessions_created = 0
            self.log = []
            self.by_port = {}
            self.most_sessions = len(self.sessions)
            self.sink_connections = 0
            self.credentials_seen = 0
            self.most_connections = self.open_connections
            self.compressed = 0

    def stats(self):
        with self.lock:
            return {"requests": self.requests,
                    "open_sessions": len(self.sessions),
                    "sessions_created": self.sessions_created,
                    "most_open_sessions": self.most_sessions,
                    "sink_connections": self.sink_connections,
                    "credentials_seen": self.credentials_seen,
                    "most_connections": self.most_connections,
                    "compressed": self.compressed,
                    "requests_by_port": {str(port): count for port, count
                                         in sorted(self.by_port.items())},
                    "log": list(self.log)}

    def open_session(self, user):
        session_id = secrets.token_hex(8).upper()
        token = secrets.token_urlsafe(24)
        with self.lock:
            self.sessions[session_id] = {"token": token, "user": user}
            self.sessions_created += 1
            self.most_sessions = max(self.most_sessions, len(self.sessions))
        return session_id, token

    def close_token(self, token):
        with self.lock:
            for session_id, session in list(self.sessions.items()):
                if session["token"] == token:
                    del self.sessions[session_id]

    def close_session(self, session_id):
        with self.lock:
            return self.sessions.pop(session_id, None) is not None

    def session(self, session_id):
        with self.lock:
            return self.sessions.get(session_id)

    def session_ids(self):
        with self.lock:
            return list(self.sessions)

    def token_valid(self, token):
        with self.lock:
            return any(s["token"] == token for s in self.sessions.values())


# ---------------------------------------------------------------- HTTP


class Answer:
    """A response about to be sent."""

    def __init__(self, status, body=b"", content_type=JSON_TYPE, headers=()):
        self.status = status
        if isinstance(body, (dict, list)):
            body = (json.dumps(body, indent=4) + "\n").encode()
        self.body = body
        self.content_type = content_type
        self.headers = list(headers)

    @classmethod
    def error(cls, status, message, headers=()):
        return cls(status, redfish_error(message), headers=headers)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "quendal-test-redfish/1.0"
    # An idle keep-alive connection holds a thread; let it go in the end.
    timeout = 120

    def __init__(self, request, client_address, server):
        self.raw_path = ""
        self.sessions_path = SESSIONS_PATH
        self.old_root = self.old_sessions = False
        self.expand = None
        self.counted = False  # among the open connections
        self.first_request = True
        super().__init__(request, client_address, server)

    def finish(self):
        super().finish()
        if self.counted:
            self.server.state.connection_opened(False)

    # Every method goes through one dispatcher so that unknown ones get a
    # Redfish 405 instead of the library's 501 page.
    def do_GET(self):
        self.dispatch()

    do_POST = do_PUT = do_PATCH = do_DELETE = do_HEAD = do_OPTIONS = do_GET

    def version_string(self):
        return self.server_version

    def log_message(self, format, *args):
        if self.server.verbose:
            sys.stderr.write("%s %s\n" % (self.log_date_time_string(),
                                          format % args))

    # -------------------------------------------------------- dispatch

    def dispatch(self):
        body = self.read_body()
        if body is None:
            return
        split = urllib.parse.urlsplit(self.path)
        raw_path, query = split.path, split.query
        self.raw_path = raw_path
        target = raw_path + ("?" + query if query else "")
        control = raw_path.startswith(CONTROL_PREFIX)
        if self.first_request:
            self.first_request = False
            if not control:
                self.counted = True
                self.server.state.connection_opened(True)
        if control:
            self.send(self.control(raw_path, body))
            return
        path = urllib.parse.unquote(raw_path)
        if len(path) > 1 and path.endswith("/"):
            path = path[:-1]
        faults = self.server.faults
        self.old_sessions = faults.take_one(raw_path, True,
                                            ("old-sessions",)) is not None
        self.old_root = self.old_sessions or faults.take_one(
            raw_path, True, ("old-root",)) is not None
        self.sessions_path = OLD_SESSIONS_PATH if self.old_sessions \
            else SESSIONS_PATH
        session_op = self.is_session_op(path)
        credentials = ("Authorization" in self.headers
                       or "X-Auth-Token" in self.headers
                       or (session_op and self.command == "POST"))
        self.server.state.record("%s %s" % (self.command, target),
                                 self.server.port, credentials)
        shaping = faults.take(raw_path, session_op, ("http10", "gzip", "bom"),
                              False)
        if faults.take_one(raw_path, session_op, ("strict",)):
            refusal = self.strict_refusal(path)
            if refusal is not None:
                self.send(refusal, shaping=shaping)
                return
        delay = self.server.delay_ms / 1000.0
        for rule in faults.take(raw_path, session_op, ("delay",), False):
            delay += rule.ms / 1000.0
        if delay:
            time.sleep(delay)
        self.expand = faults.take_one(raw_path, session_op, ("expand",))
        rule = faults.take_one(raw_path, session_op, ANSWER_KINDS)
        answer = self.fault_answer(rule, raw_path, query)
        if answer is None:
            answer = self.answer(path, query, body)
            if rule is not None and rule.kind == "error-200":
                answer = self.add_error(answer)
        trickle = faults.take_one(raw_path, session_op, ("trickle",))
        for rewrite in faults.take(raw_path, session_op, ("rewrite-links",),
                                   False):
            answer = self.rewrite_links(answer, rewrite)
        for rewrite in faults.take(raw_path, session_op,
                                   ("rewrite-location",), False):
            answer.headers = [(key, self.server.link(
                rewrite.form, urllib.parse.urlsplit(value)._replace(
                    scheme="", netloc="").geturl()))
                if key.lower() == "location" else (key, value)
                for key, value in answer.headers]
        flood = faults.take_one(raw_path, session_op, ("header-flood",))
        if flood is not None:
            answer.headers += [("X-Flood-%d" % i, "f" * 60)
                               for i in range(flood.lines)]
        if rule is not None and rule.kind == "invalid-json":
            answer = self.spoil_json(answer)
        self.send(answer,
                  truncate=rule is not None and rule.kind == "truncated",
                  trickle_ms=trickle.ms if trickle else None, shaping=shaping)

    def is_session_op(self, path):
        if self.command == "POST":
            return path == self.sessions_path
        if self.command == "DELETE":
            return path.startswith(self.sessions_path + "/")
        return False

    def strict_refusal(self, path):
        """What a strict service answers a request it will not serve, or
        None: it wants OData-Version 4.0 and JSON, and no credentials on the
        log-in or the service root."""
        if self.headers.get("OData-Version") != "4.0":
            return Answer.error(412, "OData-Version 4.0 is required")
        if "application/json" not in self.headers.get("Accept", ""):
            return Answer.error(406, "only application/json is served")
        log_in = self.command == "POST" and path == self.sessions_path
        if (log_in or path == SERVICE_ROOT) and (
                "Authorization" in self.headers
                or "X-Auth-Token" in self.headers):
            return Answer.error(400, "credentials are refused here")
        return None

    def read_body(self):
        """The request body; None when the request cannot be read."""
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            chunks = []
            while True:
                size_line = self.rfile.readline(1024)
                try:
                    size = int(size_line.split(b";")[0], 16)
                except ValueError:
                    self.send_error(400, "bad chunk size")
                    return None
                if size == 0:
                    while self.rfile.readline(1024) not in (b"\r\n", b"\n",
                                                            b""):
                        pass
                    return b"".join(chunks)
                chunks.append(self.rfile.read(size))
                self.rfile.readline(1024)
        try:
            length = int(self.headers.get("Content-Length", 0))
        except ValueError:
            self.send_error(400, "bad Content-Length")
            return None
        return self.rfile.read(length) if length > 0 else b""

    # -------------------------------------------------------- faults

    def fault_answer(self, rule, raw_path, query):
        if rule is None:
            return None
        if rule.kind == "unauthorized":
            return self.unauthorized("fault: unauthorized")
        if rule.kind == "error":
            headers = []
            if rule.retry_after is not None:
                headers.append(("Retry-After", str(rule.retry_after)))
            if rule.retry_date is not None:
                headers.append(("Retry-After", email.utils.formatdate(
                    time.time() + rule.retry_date, usegmt=True)))
            return Answer.error(rule.status, "fault: error %d" % rule.status,
                                headers)
        if rule.kind == "not-found":
            return Answer.error(404, "fault: not found")
        if rule.kind == "redirect":
            target = raw_path + ("?" + query if query else "")
            where = "https://elsewhere.invalid:%d%s" % (self.server.port,
                                                        target)
            return Answer.error(rule.status, "moved to " + where,
                                [("Location", where)])
        if rule.kind == "html":
            return Answer(200, HTML_PAGE, "text/html; charset=utf-8")
        if rule.kind == "error-200" and rule.form == "instead":
            return Answer(200, redfish_error("fault: the resource is not "
                                             "available right now"))
        if rule.kind == "no-token":
            # A session said to be made, without the token to use it: none is kept.
            return Answer(201, {"@odata.type": "#Session.v1_7_0.Session",
                                "Name": "User Session"})
        return None  # truncated and invalid-json act on the real answer

    def rewrite_links(self, answer, rule):
        """The answer with the links the rule's link regex matches written in
        its form: every @odata.id and Members@odata.nextLink, at any depth."""
        if not answer.content_type.startswith("application/json") \
                or not answer.body:
            return answer
        try:
            document = json.loads(answer.body)
        except ValueError:
            return answer

        def walk(node):
            if isinstance(node, dict):
                for key, value in node.items():
                    if key in ("@odata.id", "Members@odata.nextLink") \
                            and isinstance(value, str) \
                            and rule.link.search(value):
                        node[key] = self.server.link(rule.form, value)
                    else:
                        walk(value)
            elif isinstance(node, list):
                for item in node:
                    walk(item)

        walk(document)
        return Answer(answer.status, document, answer.content_type,
                      answer.headers)

    @staticmethod
    def add_error(answer):
        """The answer with an error object beside the resource."""
        try:
            document = json.loads(answer.body)
        except ValueError:
            return answer
        if isinstance(document, dict):
            document.update(redfish_error("fault: the resource is not "
                                          "complete"))
        return Answer(answer.status, document, answer.content_type,
                      answer.headers)

    @staticmethod
    def spoil_json(answer):
        body = answer.body.rstrip()
        if len(body) < 4:
            body = b'{"@odata.id": "/redfish/v1/'
        # A strict prefix of an object is never a complete JSON document.
        return Answer(200, body[:max(1, len(body) // 2)],
                      headers=answer.headers)

    # -------------------------------------------------------- Redfish

    def unauthorized(self, message):
        return Answer.error(401, message, [
            ("WWW-Authenticate", 'Basic realm="%s"' % REALM)])

    def authorized(self):
        token = self.headers.get("X-Auth-Token")
        if token and self.server.state.token_valid(token):
            return True
        scheme, _, value = self.headers.get("Authorization", "").partition(" ")
        if scheme.lower() != "basic" or self.server.faults.take_one(
                self.raw_path, False, ("refuse-basic",)):
            return False
        try:
            decoded = base64.b64decode(value.strip(), validate=True).decode()
        except (binascii.Error, UnicodeDecodeError):
            return False
        user, sep, password = decoded.partition(":")
        return bool(sep) and self.credentials_match(user, password)

    def credentials_match(self, user, password):
        return (secrets.compare_digest(user.encode(),
                                       self.server.user.encode())
                and secrets.compare_digest(password.encode(),
                                           self.server.password.encode()))

    def answer(self, path, query, body):
        sessions = self.server.sessions_enabled
        if path == self.sessions_path and self.command == "POST":
            if not sessions:
                return self.not_allowed("GET")
            return self.create_session(body)
        if self.old_sessions and (path == SESSIONS_PATH
                                  or path.startswith(SESSIONS_PATH + "/")):
            return Answer.error(404, "no such resource: " + path)
        if path == "/redfish":
            if self.command != "GET":
                return self.not_allowed("GET")
            return Answer(200, {"v1": "/redfish/v1/"})
        if path != SERVICE_ROOT and not path.startswith(SERVICE_ROOT + "/"):
            return Answer.error(404, "no such resource: " + path)
        public = path in PUBLIC_PATHS or (
            self.old_sessions and path == SESSION_SERVICE_PATH)
        token = self.headers.get("X-Auth-Token")
        if not public and token and self.server.state.token_valid(token) \
                and self.server.faults.take_one(self.raw_path, False,
                                                ("session-expired",)):
            # As a controller that restarted its web server, or timed the
            # session out: the session is gone.
            self.server.state.close_token(token)
            return self.unauthorized("the session has ended")
        if not public and not self.authorized():
            return self.unauthorized("authentication required")
        under_sessions = (path == SESSION_SERVICE_PATH
                          or path.startswith(SESSION_SERVICE_PATH + "/")
                          or path == self.sessions_path
                          or path.startswith(self.sessions_path + "/"))
        if not sessions and under_sessions:
            return Answer.error(404, "this service keeps no sessions")
        if path.startswith(self.sessions_path + "/"):
            return self.session_member(path)
        if self.command != "GET":
            return self.not_allowed("GET")
        if path == self.sessions_path:
            resource = self.session_collection()
        else:
            resource = self.resource(path)
            if isinstance(resource, Answer):
                return resource
        if path == SERVICE_ROOT and (not sessions or self.old_root):
            if not sessions:
                resource.pop("SessionService", None)
            links = resource.get("Links")
            if isinstance(links, dict):
                links.pop("Sessions", None)
                if not links:
                    del resource["Links"]
        if path == SERVICE_ROOT and isinstance(resource, dict):
            # The mockups offer $expand, which this server serves only with
            # the fault (and then $select too, which it ignores).
            features = resource.get("ProtocolFeaturesSupported", {})
            features.pop("ExpandQuery", None)
            if self.expand is not None:
                resource["ProtocolFeaturesSupported"] = features
                features["ExpandQuery"] = {"ExpandAll": True, "Levels": True,
                                           "Links": True, "NoLinks": True,
                                           "MaxLevels": 1}
                features["SelectQuery"] = True
        if path == SESSION_SERVICE_PATH and self.old_sessions \
                and isinstance(resource, dict):
            resource["Sessions"] = {"@odata.id": OLD_SESSIONS_PATH}
        return self.paged(path, query, resource)

    def not_allowed(self, allowed):
        return Answer.error(405, "%s not allowed here" % self.command,
                            [("Allow", allowed)])

    def resource(self, path):
        name = self.server.mockup.file_for(path)
        if name is None:
            return Answer.error(404, "no such resource: " + path)
        with open(name, "rb") as f:
            data = f.read()
        if name.endswith(".xml"):
            return Answer(200, data, "application/xml")
        try:
            return json.loads(data)
        except ValueError:
            return Answer.error(500, "mockup file is not JSON: " + name)

    def paged(self, path, query, resource):
        if isinstance(resource, Answer):
            return resource
        members = resource.get("Members") if isinstance(resource, dict) \
            else None
        if not isinstance(members, list):
            return Answer(200, resource)
        skip = 0
        values = urllib.parse.parse_qs(query).get("$skip")
        if values:
            try:
                skip = int(values[0])
            except ValueError:
                skip = -1
            if skip < 0:
                return Answer.error(400, "$skip must be a count")
        size = self.server.page_size or len(members)
        resource["Members"] = members[skip:skip + size]
        resource.pop("Members@odata.nextLink", None)
        if "$expand" in query and self.expand is not None:
            if self.expand.form == "refused":
                return Answer.error(400, "$expand is not served here")
            if self.expand.form != "ignored":
                expanded = []
                for i, member in enumerate(resource["Members"]):
                    full = self.resource(member["@odata.id"].rstrip("/"))
                    bare = i % 2 and self.expand.form == "bare"
                    expanded.append(member if bare or isinstance(full, Answer)
                                    else full)
                resource["Members"] = expanded
        if skip + size < len(members):
            resource["Members@odata.nextLink"] = "%s?$skip=%d" % (
                path, skip + size)
        if self.server.faults.take_one(self.raw_path, False, ("loop",)):
            resource["Members@odata.nextLink"] = path
        return Answer(200, resource)

    def create_session(self, body):
        try:
            request = json.loads(body or b"null")
        except ValueError:
            return Answer.error(400, "the request body is not JSON")
        if not isinstance(request, dict) \
                or not isinstance(request.get("UserName"), str) \
                or not isinstance(request.get("Password"), str):
            return Answer.error(400, "UserName and Password are required")
        faults = self.server.faults
        limit = faults.take_one(self.raw_path, True, ("session-limit",))
        if limit is not None:
            return Answer(limit.status, redfish_error(
                "fault: " + SESSION_LIMIT_MESSAGE,
                [("SessionLimitExceeded", SESSION_LIMIT_MESSAGE)]))
        if not self.credentials_match(request["UserName"],
                                      request["Password"]):
            return self.unauthorized("wrong user name or password")
        session_id, token = self.server.state.open_session(
            request["UserName"])
        path = "%s/%s" % (self.sessions_path, session_id)
        shape = faults.take_one(self.raw_path, True, ("login-answer",))
        if shape is None:
            return Answer(201, self.session_resource(session_id),
                          headers=[("X-Auth-Token", token),
                                   ("Location", path)])
        # The token header in lower case, the session where the form says.
        headers = [("x-auth-token", token)]
        if shape.form == "absolute":
            headers.append(("Location", self.server.link("absolute", path)))
        elif shape.form == "relative":
            # Relative to the collection's URL, which ends in /Sessions too.
            headers.append(("Location", "Sessions/" + session_id))
        resource = self.session_resource(session_id)
        if shape.form == "nowhere":
            del resource["@odata.id"]
        return Answer(shape.status, b"" if shape.status == 204 else resource,
                      headers=headers)

    def session_resource(self, session_id):
        session = self.server.state.session(session_id)
        return {"@odata.type": "#Session.v1_7_0.Session",
                "@odata.id": "%s/%s" % (self.sessions_path, session_id),
                "Id": session_id, "Name": "User Session",
                "UserName": session["user"] if session else ""}

    def session_member(self, path):
        session_id = path[len(self.sessions_path) + 1:]
        if self.command not in ("GET", "DELETE"):
            return self.not_allowed("GET, DELETE")
        if self.server.state.session(session_id) is None:
            return Answer.error(404, "no open session " + session_id)
        if self.command == "GET":
            return Answer(200, self.session_resource(session_id))
        self.server.state.close_session(session_id)
        return Answer(204)

    def session_collection(self):
        # The mockup's own members are sessions nobody opened: leave them out.
        template = self.resource(SESSIONS_PATH)
        if isinstance(template, Answer):
            template = {"@odata.type":
                        "#SessionCollection.SessionCollection",
                        "Name": "Session Collection"}
        ids = self.server.state.session_ids()
        template["@odata.id"] = self.sessions_path
        template["Members"] = [{"@odata.id": "%s/%s" % (self.sessions_path, i)}
                               for i in ids]
        template["Members@odata.count"] = len(ids)
        return template

    # -------------------------------------------------------- control

    def control(self, path, body):
        name = path[len(CONTROL_PREFIX):]
        expected = {"stats": "GET", "reset": "POST", "faults": "POST",
                    "shutdown": "POST"}.get(name)
        if expected is None:
            return Answer.error(404, "no such control endpoint")
        if self.command != expected:
            return self.not_allowed(expected)
        state = self.server.state
        if name == "stats":
            return Answer(200, state.stats())
        if name == "reset":
            state.reset()
            return Answer(200, state.stats())
        if name == "faults":
            try:
                texts = json.loads(body or b"null")
                if not isinstance(texts, list) \
                        or not all(isinstance(t, str) for t in texts):
                    raise UsageError("expected a JSON list of fault strings")
                self.server.faults.replace(texts)
            except (ValueError, UsageError) as exc:
                return Answer.error(400, str(exc))
            return Answer(200, {"faults": texts})
        self.server.stop_soon()
        return Answer(200, {"stopping": True})

    # -------------------------------------------------------- sending

    def send(self, answer, truncate=False, trickle_ms=None, shaping=()):
        kinds = {rule.kind for rule in shaping}
        body = answer.body
        content_type = answer.content_type
        headers = list(answer.headers)
        if "bom" in kinds and body and content_type.startswith(
                "application/json"):
            body = UTF8_BOM + body
            content_type = "application/json;charset=UTF-8"
        asked = "gzip" in self.headers.get("Accept-Encoding", "")
        if ("gzip" in kinds or asked) and body:
            # With the fault, whether the client asked for it or not.
            body = gzip.compress(body)
            headers.append(("Content-Encoding", "gzip"))
            if asked:
                self.server.state.count_compressed()
        if "http10" in kinds:
            # An HTTP/1.0 service: one answer per connection, then close.
            self.protocol_version = "HTTP/1.0"
            self.close_connection = True
        self.send_response(answer.status)
        if content_type and (body or answer.status != 204):
            self.send_header("Content-Type", content_type)
        if content_type.startswith(("application/json", "application/xml")):
            self.send_header("OData-Version", "4.0")
        for key, value in headers:
            self.send_header(key, value)
        self.send_header("Content-Length", str(len(body)))
        if truncate:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if self.command == "HEAD":
            return
        if truncate:
            body = body[:len(body) // 2]
        if trickle_ms is None:
            self.wfile.write(body)
            return
        self.wfile.flush()
        for i in range(len(body)):
            time.sleep(trickle_ms / 1000.0)
            self.wfile.write(body[i:i + 1])


class Server(serving.TlsServer):
    def __init__(self, options, ssl_context, shared=None, listener=0):
        """One listener; shared is the first one, whose mockup, counters,
        sessions, fault rules and stop event the others use too."""
        port = options.port + listener if options.port else 0
        super().__init__(options.host, port, Handler, ssl_context, options.verbose)
        self.listener = listener
        self.user = options.user
        self.password = options.password
        self.sessions_enabled = not options.no_sessions
        self.page_size = options.page_size
        self.delay_ms = options.delay_ms
        if shared is None:
            self.mockup = Mockup(options.mockup)
            self.all_faults = Faults(options.fault)
            self.state = State()
            self._stopping = threading.Event()
        else:
            self.mockup = shared.mockup
            self.all_faults = shared.all_faults
            self.state = shared.state
            self._stopping = shared._stopping
        self.faults = ListenerFaults(self.all_faults, listener)
        self.sink = shared.sink if shared is not None else None
        self.url_host = "[%s]" % options.host if ":" in options.host \
            else options.host

    def link(self, form, path):
        """A link to path in one of the fault rules' forms (LINK_FORMS)."""
        if form == "userinfo":
            return "@%s:%d%s" % (self.url_host, self.sink.port, path)
        if form == "absolute":
            return "https://%s:%d%s" % (self.url_host, self.port, path)
        if form == "other-port":
            return "https://%s:%d%s" % (self.url_host, self.sink.port, path)
        return "0"

    def stop_soon(self):
        """Stop serving, on every port; safe from any thread, including a
        handler's."""
        self._stopping.set()

    def stopping(self):
        return self._stopping.is_set()


class Sink:
    """A listener that serves nothing: it counts the connections it accepts
    (State.sink_connections) and closes them at once."""

    def __init__(self, host, state, stopping):
        family = socket.AF_INET6 if ":" in host else socket.AF_INET
        self.socket = socket.socket(family, socket.SOCK_STREAM)
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.socket.bind((host, 0))
        self.socket.listen(16)
        self.socket.settimeout(0.2)
        self.port = self.socket.getsockname()[1]
        self._state = state
        self._stopping = stopping
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while not self._stopping.is_set():
            try:
                connection, _ = self.socket.accept()
            except (socket.timeout, OSError):
                continue
            with self._state.lock:
                self._state.sink_connections += 1
            connection.close()

    def close(self):
        self.socket.close()


def serve_all(servers, poll_interval=0.2):
    """Accept on every listener from one thread until one is asked to stop.

    One loop for all, rather than a serve_forever thread each, so that a
    fleet of hundreds of ports does not wake hundreds of threads.
    """
    with selectors.DefaultSelector() as selector:
        for server in servers:
            selector.register(server, selectors.EVENT_READ)
        while not servers[0].stopping():
            for key, _ in selector.select(poll_interval):
                # What serve_forever calls for a listener that is ready.
                key.fileobj._handle_request_noblock()
            for server in servers:
                server.service_actions()


# ---------------------------------------------------------------- main


def parse_args(argv):
    parser = argparse.ArgumentParser(
        description="Serve a Redfish mockup folder over HTTPS for tests.")
    parser.add_argument("--mockup", required=True, metavar="DIR")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0,
                        help="the first port (0: any free one)")
    parser.add_argument("--ports", type=int, default=1, metavar="N",
                        help="listen on N ports, each a service of its own "
                             "(from --port on, or any free ones)")
    parser.add_argument("--user", default="quendal")
    parser.add_argument("--password", default="Quendal-test-pw1")
    parser.add_argument("--no-sessions", action="store_true",
                        help="serve no SessionService: clients must use Basic")
    parser.add_argument("--page-size", type=int, default=0, metavar="N",
                        help="serve collections in pages of N (0: off)")
    parser.add_argument("--fault", action="append", default=[],
                        metavar="FAULT",
                        help="KIND[,path=REGEX][,count=N][,status=S]"
                             "[,retry_after=SECONDS][,retry_date=SECONDS][,ms=MILLISECONDS]"
                             "[,link=REGEX][,form=FORM][,lines=N]; "
                             "kinds: " + ", ".join(FAULT_KINDS)
                             + "; forms: " + ", ".join(LINK_FORMS))
    parser.add_argument("--delay-ms", type=int, default=0, metavar="MS")
    parser.add_argument("--tls-dir", metavar="DIR")
    parser.add_argument("--self-signed", action="store_true",
                        help="present a certificate of a fresh key, signed by "
                             "itself (--tls-dir is not used)")
    parser.add_argument("--ready-file", metavar="PATH")
    parser.add_argument("--lifetime", type=float, default=600,
                        metavar="SECONDS")
    parser.add_argument("--dos-paths", action="store_true",
                        help="write the CA path as Z:\\... for Wine")
    parser.add_argument("--verbose", action="store_true")
    options = parser.parse_args(argv)
    if options.page_size < 0 or options.delay_ms < 0:
        parser.error("--page-size and --delay-ms must not be negative")
    if options.ports < 1:
        parser.error("--ports must be at least 1")
    return options


def main(argv=None):
    options = parse_args(argv)

    def make_servers(context):
        servers = [Server(options, context)]
        servers[0].sink = Sink(options.host, servers[0].state,
                               servers[0]._stopping)
        try:
            for listener in range(1, options.ports):
                servers.append(Server(options, context, servers[0], listener))
        except OSError:
            for other in servers:
                other.server_close()
            raise
        if options.verbose:
            sys.stderr.write("serving %s on port %d\n"
                             % (options.mockup, servers[0].port))
        return servers

    return serving.run("redfish_server", options, make_servers, serve_all)


if __name__ == "__main__":
    sys.exit(main())
