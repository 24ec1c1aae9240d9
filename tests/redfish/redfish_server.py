#!/usr/bin/env python3
"""A small Redfish service over HTTPS for the Redfish client's tests.

It serves a mockup folder in the published layout (/redfish/v1/A/B is
<folder>/A/B/index.json), keeps real sessions, can page collections and can
misbehave on request (--fault, FAULT_KINDS). Control endpoints: serving.py.

With --ports N it listens on N ports at once, each a service of its own to a
client (a fleet of BMCs in one process) sharing the mockup, the counters, the
sessions and the fault rules; a rule with listener=K applies to the K-th port
only (0 is the first).

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
with gzip because the request asked for it (Accept-Encoding); "most_open_sessions"
and "requests_by_port" what they say.
"""

import email.utils
import gzip
import json
import os
import secrets
import socket
import sys
import threading
import time
import urllib.parse

import serving
from serving import Answer, UsageError

REALM = "quendal-test"
SERVICE_ROOT = "/redfish/v1"
SESSIONS_PATH = "/redfish/v1/SessionService/Sessions"
SESSION_SERVICE_PATH = "/redfish/v1/SessionService"
# Where services older than Redfish 1.6 may keep their sessions (old-sessions).
OLD_SESSIONS_PATH = "/redfish/v1/Sessions"
SESSION_LIMIT_MESSAGE = "The maximum number of user sessions is reached."
UTF8_BOM = b"\xef\xbb\xbf"
# Paths a client reads before it has credentials.
PUBLIC_PATHS = {"/redfish", "/redfish/v1"}
HTML_PAGE = (b'<!DOCTYPE html>\n<html><head><title>Sign in</title></head>\n'
             b'<body><h1>Sign in</h1><form method="post" action="/login">'
             b'<input name="user"><input name="password" type="password">'
             b'</form></body></html>\n')

# ---------------------------------------------------------------- faults

FAULT_KINDS = ("delay", "error", "truncated", "invalid-json",
               "redirect", "trickle", "html", "not-found", "loop",
               "rewrite-links", "rewrite-location", "no-token", "header-flood",
               "error-200",
               # What real controllers do (docs/redfish.md, "Authentication"
               # and "Connection"): the log-in and its session ...
               "session-limit", "refuse-basic", "session-expired",
               "login-answer", "old-sessions", "strict",
               # ... and the way they answer; padded: a body of exactly
               # bytes=N, never compressed (the transport's bound is 16 MiB).
               "http10", "gzip", "bom", "padded",
               # The service root offers $expand and $select (without it, not
               # $expand, whatever the mockup says); form: how an expansion
               # is answered.
               "expand",
               # A handshake refused with a fatal alert, one connection per count.
               "handshake")
# Faults that replace the answer; at most one of them applies to a request.
ANSWER_KINDS = ("error", "truncated", "invalid-json",
                "redirect", "html", "not-found", "no-token", "error-200")
# Faults that concern the whole service, session requests included, when no
# path narrows them.
SERVICE_KINDS = ("refuse-basic", "old-sessions", "strict",
                 "http10", "gzip", "bom", "expand")
# Faults of the log-in itself.
LOG_IN_KINDS = ("session-limit", "login-answer")
# How rewrite-links, rewrite-location and redirect write a link to a path:
# "userinfo" names the sink after the service's own authority, as user
# information would make of it once glued to a base URL; "absolute" is the
# service's own full URL.
LINK_FORMS = ("userinfo", "absolute")
# Where login-answer says the session is: "relative" a path relative to the
# collection ("Sessions/ID"), "outside" a relative path that leads out of the
# collection ("Other/ID"), "body" only the answer's @odata.id, "nowhere"
# neither.
FORMS = {"login-answer": ("relative", "outside", "body", "nowhere"),
         # How expand answers a $expand: in full, with HTTP 400, or as if not
         # asked.
         "expand": ("honoured", "refused", "ignored")}


class Fault(serving.FaultRule):
    """One rule from --fault: KIND[,path=REGEX][,count=N][,status=S]..."""

    KINDS = FAULT_KINDS
    KEYS = ("path", "count", "status", "retry_after", "retry_date", "ms", "listener",
            "link", "form", "lines", "bytes")
    ONCE = ("error", "session-expired")

    def __init__(self, text):
        super().__init__(text)
        self.path = self.regex("path", "Sessions$" if self.kind in LOG_IN_KINDS else None)
        default_status = {"error": 500, "redirect": 301, "session-limit": 503,
                          "login-answer": 201}.get(self.kind)
        self.status = self.number("status", default_status, 100, 599)
        self.retry_after = self.number("retry_after", None)
        self.retry_date = self.number("retry_date", None)  # seconds from now, as an HTTP date
        self.ms = self.number("ms", {"delay": 1000, "trickle": 500}.get(self.kind, 0))
        self.listener = self.number("listener", None)
        self.link = self.regex("link", "")
        forms = FORMS.get(self.kind, LINK_FORMS)
        self.form = self.values.get("form", forms[0])
        if self.form not in forms:
            raise UsageError("unknown form %r in %r (known: %s)"
                             % (self.form, text, ", ".join(forms)))
        self.lines = self.number("lines", 5000, 1, 100000)
        self.bytes = self.number("bytes", 16 << 20, 1)

    def matches(self, path, session_op, listener):
        if self.listener is not None and self.listener != listener:
            return False
        if self.path is None:
            # Clients must be able to log in and out around a failing GET.
            return self.kind in SERVICE_KINDS or not session_op
        return self.path.search(path) is not None


def redfish_error(message, extended=()):
    return {"error": {"code": "Base.1.0.GeneralError", "message": message,
                      "@Message.ExtendedInfo": [
                          {"MessageId": "Base.1.8.%s" % key, "Message": text}
                          for key, text in extended]}}


def error(status, message, headers=()):
    return Answer(status, redfish_error(message), headers=headers)


def json_of(answer):
    """The answer's JSON document, or None."""
    if not answer.content_type.startswith("application/json") or not answer.body:
        return None
    try:
        return json.loads(answer.body)
    except ValueError:
        return None


# ---------------------------------------------------------------- state


class Mockup:
    """Maps request paths to the files of one mockup folder."""

    def __init__(self, folder):
        self.folder = os.path.realpath(folder)
        if not os.path.isfile(os.path.join(self.folder, "index.json")):
            raise UsageError("%s holds no index.json: not a mockup folder" % folder)

    def file_for(self, path):
        """The file serving a normalised /redfish/v1 path, or None."""
        rest = path[len(SERVICE_ROOT):]
        if rest and not rest.startswith("/"):
            return None
        segments = rest.split("/")[1:] if rest else []
        if any(seg in ("", ".", "..") or "\\" in seg or "\0" in seg for seg in segments):
            return None
        name = os.path.realpath(os.path.join(self.folder, *segments, "index.json"))
        if not name.startswith(self.folder + os.sep):
            return None
        return name if os.path.isfile(name) else None


class State:
    """Counters, request log and sessions, shared by the handler threads."""

    COUNTS = ("requests", "sessions_created", "sink_connections", "credentials_seen",
              "compressed")

    def __init__(self):
        self.lock = threading.Lock()
        self.sessions = {}  # id -> {"token": ..., "user": ...}
        self.open_connections = 0
        self.reset()

    def reset(self):
        with self.lock:
            self.counts = dict.fromkeys(self.COUNTS, 0)
            self.log = []
            self.by_port = {}  # listening port -> requests served there
            self.most_sessions = len(self.sessions)  # open at once, since the start or reset
            self.most_connections = self.open_connections

    def count(self, name):
        with self.lock:
            self.counts[name] += 1

    def connection_opened(self, opened):
        with self.lock:
            self.open_connections += 1 if opened else -1
            self.most_connections = max(self.most_connections, self.open_connections)

    def record(self, line, port, credentials):
        with self.lock:
            self.counts["requests"] += 1
            self.counts["credentials_seen"] += 1 if credentials else 0
            self.log.append(line)
            self.by_port[port] = self.by_port.get(port, 0) + 1

    def stats(self):
        with self.lock:
            return dict(self.counts, open_sessions=len(self.sessions),
                        most_open_sessions=self.most_sessions,
                        most_connections=self.most_connections, log=list(self.log),
                        requests_by_port={str(port): count for port, count
                                          in sorted(self.by_port.items())})

    def open_session(self, user):
        session_id = secrets.token_hex(8).upper()
        token = secrets.token_urlsafe(24)
        with self.lock:
            self.sessions[session_id] = {"token": token, "user": user}
            self.counts["sessions_created"] += 1
            self.most_sessions = max(self.most_sessions, len(self.sessions))
        return session_id, token

    def close_session(self, session_id=None, token=None):
        with self.lock:
            for key, session in list(self.sessions.items()):
                if key == session_id or session["token"] == token:
                    del self.sessions[key]

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


class Handler(serving.Handler):
    server_version = "quendal-test-redfish/1.0"

    def setup(self):
        super().setup()
        self.counted = False  # among the open connections

    def finish(self):
        super().finish()
        if self.counted:
            self.server.state.connection_opened(False)

    def take(self, kinds, session_op=None, first_only=True):
        """The rules of these kinds that apply to this request, used up: the
        first one (or None) or, not first_only, all of them."""
        session_op = self.session_op if session_op is None else session_op
        listener = self.server.listener
        taken = self.server.faults.take(
            lambda rule: rule.kind in kinds and rule.matches(self.raw_path, session_op,
                                                             listener), first_only)
        return taken if not first_only else taken[0] if taken else None

    def serve(self, raw_path, query, body, first):
        self.raw_path = raw_path
        if first:
            self.counted = True
            self.server.state.connection_opened(True)
        path = urllib.parse.unquote(raw_path)
        if len(path) > 1 and path.endswith("/"):
            path = path[:-1]
        self.old_sessions = self.take(("old-sessions",), True) is not None
        self.sessions_path = OLD_SESSIONS_PATH if self.old_sessions else SESSIONS_PATH
        if self.command == "POST":
            self.session_op = path == self.sessions_path
        else:
            self.session_op = self.command == "DELETE" and path.startswith(
                self.sessions_path + "/")
        credentials = ("Authorization" in self.headers or "X-Auth-Token" in self.headers
                       or (self.session_op and self.command == "POST"))
        self.server.state.record("%s %s" % (self.command, raw_path + ("?" + query if query
                                                                      else "")),
                                 self.server.port, credentials)
        shaping = {rule.kind: rule for rule in self.take(("http10", "gzip", "bom", "padded"),
                                                         first_only=False)}
        refusal = self.strict_refusal(path) if self.take(("strict",)) else None
        if refusal is not None:
            self.send(self.shaped(refusal, shaping))
            return
        delay = self.server.delay_ms + sum(r.ms for r in self.take(("delay",),
                                                                   first_only=False))
        time.sleep(delay / 1000.0)
        self.expand = self.take(("expand",))
        rule = self.take(ANSWER_KINDS)
        answer = self.fault_answer(rule, raw_path, query) if rule else None
        if answer is None:
            answer = self.answer(path, query, body)
            if rule is not None and rule.kind == "invalid-json":
                answer = self.spoil_json(answer)
        trickle = self.take(("trickle",))
        for rewrite in self.take(("rewrite-links",), first_only=False):
            answer = self.rewrite_links(answer, rewrite)
        for rewrite in self.take(("rewrite-location",), first_only=False):
            answer.headers = [(key, self.server.link(rewrite.form, urllib.parse.urlsplit(
                value)._replace(scheme="", netloc="").geturl()))
                if key.lower() == "location" else (key, value)
                for key, value in answer.headers]
        flood = self.take(("header-flood",))
        if flood is not None:
            answer.headers += [("X-Flood-%d" % i, "f" * 60) for i in range(flood.lines)]
        answer = self.shaped(answer, shaping)
        if rule is not None and rule.kind == "truncated":
            answer.length = len(answer.body)
            answer.body = answer.body[:len(answer.body) // 2]
        self.send(answer, trickle.ms if trickle else None)

    def strict_refusal(self, path):
        """What a strict service answers a request it will not serve, or
        None: it wants OData-Version 4.0 and JSON, and no credentials on the
        log-in or the service root."""
        if self.headers.get("OData-Version") != "4.0":
            return error(412, "OData-Version 4.0 is required")
        if "application/json" not in self.headers.get("Accept", ""):
            return error(406, "only application/json is served")
        log_in = self.command == "POST" and path == self.sessions_path
        if (log_in or path == SERVICE_ROOT) and (
                "Authorization" in self.headers or "X-Auth-Token" in self.headers):
            return error(400, "credentials are refused here")
        return None

    def shaped(self, answer, shaping):
        """The answer as the shaping faults and the request's Accept-Encoding
        would send it."""
        json_body = answer.content_type.startswith("application/json") and answer.body
        if "bom" in shaping and json_body:
            answer.body = UTF8_BOM + answer.body
            answer.content_type = "application/json;charset=UTF-8"
        asked = "gzip" in self.headers.get("Accept-Encoding", "")
        if "padded" in shaping and json_body:
            # JSON allows any whitespace after the document.
            answer.body += b" " * (shaping["padded"].bytes - len(answer.body))
        elif ("gzip" in shaping or asked) and answer.body:
            # With the fault, whether the client asked for it or not.
            answer.body = gzip.compress(answer.body)
            answer.headers.append(("Content-Encoding", "gzip"))
            if asked:
                self.server.state.count("compressed")
        if "http10" in shaping:
            # An HTTP/1.0 service: one answer per connection, then close.
            self.protocol_version = "HTTP/1.0"
            self.close_connection = True
        if answer.content_type.startswith("application/json"):
            answer.headers.append(("OData-Version", "4.0"))
        return answer

    # -------------------------------------------------------- faults

    def fault_answer(self, rule, raw_path, query):
        """The answer the rule puts instead of the real one; None for those
        that act on the real answer."""
        if rule.kind == "error":
            headers = []
            if rule.retry_after is not None:
                headers.append(("Retry-After", str(rule.retry_after)))
            if rule.retry_date is not None:
                headers.append(("Retry-After", email.utils.formatdate(
                    time.time() + rule.retry_date, usegmt=True)))
            return error(rule.status, "fault: error %d" % rule.status, headers)
        if rule.kind == "redirect":  # to the sink, or with form=absolute to the same URL
            where = self.server.link(rule.form, raw_path + ("?" + query if query else ""))
            return error(rule.status, "moved to " + where, [("Location", where)])
        if rule.kind == "error-200":  # an error object instead of the resource
            return Answer(200, redfish_error("fault: the resource is not available right now"))
        return {"not-found": lambda: error(404, "fault: not found"),
                "html": lambda: Answer(200, HTML_PAGE, "text/html; charset=utf-8"),
                # A session said to be made, with an empty token: none is kept.
                "no-token": lambda: Answer(201, {"@odata.type": "#Session.v1_7_0.Session",
                                                 "Name": "User Session"},
                                          headers=[("X-Auth-Token", "")]),
                }.get(rule.kind, lambda: None)()

    def rewrite_links(self, answer, rule):
        """The answer with the links the rule's link regex matches written in
        its form: every @odata.id and Members@odata.nextLink, at any depth."""
        document = json_of(answer)
        if document is None:
            return answer

        def walk(node):
            for key, value in (node.items() if isinstance(node, dict)
                               else enumerate(node) if isinstance(node, list) else ()):
                if key in ("@odata.id", "Members@odata.nextLink") \
                        and isinstance(value, str) and rule.link.search(value):
                    node[key] = self.server.link(rule.form, value)
                else:
                    walk(value)

        walk(document)
        return Answer(answer.status, document, answer.content_type, answer.headers)

    @staticmethod
    def spoil_json(answer):
        body = answer.body.rstrip()
        if len(body) < 4:
            body = b'{"@odata.id": "/redfish/v1/'
        # A strict prefix of an object is never a complete JSON document.
        return Answer(200, body[:max(1, len(body) // 2)], headers=answer.headers)

    # -------------------------------------------------------- Redfish

    def unauthorized(self, message):
        return error(401, message, [("WWW-Authenticate", 'Basic realm="%s"' % REALM)])

    def authorized(self):
        token = self.headers.get("X-Auth-Token")
        if token and self.server.state.token_valid(token):
            return True
        return not self.take(("refuse-basic",), False) and serving.basic_matches(
            self.headers.get("Authorization"), self.server.user, self.server.password)

    def answer(self, path, query, body):
        sessions = self.server.sessions_enabled
        if path == self.sessions_path and self.command == "POST":
            return self.create_session(body) if sessions else self.not_allowed("GET")
        if self.old_sessions and (path == SESSIONS_PATH or path.startswith(SESSIONS_PATH + "/")):
            return error(404, "no such resource: " + path)
        if path == "/redfish":
            return Answer(200, {"v1": "/redfish/v1/"}) if self.command == "GET" \
                else self.not_allowed("GET")
        if path != SERVICE_ROOT and not path.startswith(SERVICE_ROOT + "/"):
            return error(404, "no such resource: " + path)
        public = path in PUBLIC_PATHS or (self.old_sessions and path == SESSION_SERVICE_PATH)
        token = self.headers.get("X-Auth-Token")
        if not public and token and self.server.state.token_valid(token) \
                and self.take(("session-expired",), False):
            # As a controller that restarted its web server, or timed the
            # session out: the session is gone.
            self.server.state.close_session(token=token)
            return self.unauthorized("the session has ended")
        if not public and not self.authorized():
            return self.unauthorized("authentication required")
        under_sessions = any(path == p or path.startswith(p + "/")
                             for p in (SESSION_SERVICE_PATH, self.sessions_path))
        if not sessions and under_sessions:
            return error(404, "this service keeps no sessions")
        if path.startswith(self.sessions_path + "/"):
            return self.session_member(path)
        if self.command != "GET":
            return self.not_allowed("GET")
        resource = self.session_collection() if path == self.sessions_path \
            else self.resource(path)
        if isinstance(resource, Answer):
            return resource
        if path == SERVICE_ROOT:
            self.adapt_root(resource, sessions)
        if path == SESSION_SERVICE_PATH and self.old_sessions:
            resource["Sessions"] = {"@odata.id": OLD_SESSIONS_PATH}
        return self.paged(path, query, resource)

    def adapt_root(self, resource, sessions):
        if not sessions:
            resource.pop("SessionService", None)
        links = resource.get("Links")
        if (not sessions or self.old_sessions) and isinstance(links, dict):
            links.pop("Sessions", None)
            if not links:
                del resource["Links"]
        # The mockups offer $expand, which this server serves only with the
        # fault (and then $select too, which it ignores).
        features = resource.get("ProtocolFeaturesSupported", {})
        features.pop("ExpandQuery", None)
        if self.expand is not None:
            resource["ProtocolFeaturesSupported"] = features
            features["ExpandQuery"] = {"ExpandAll": True, "Levels": True, "Links": True,
                                       "NoLinks": True, "MaxLevels": 1}
            features["SelectQuery"] = True

    def not_allowed(self, allowed):
        return error(405, "%s not allowed here" % self.command, [("Allow", allowed)])

    def resource(self, path):
        name = self.server.mockup.file_for(path)
        if name is None:
            return error(404, "no such resource: " + path)
        try:
            with open(name, "rb") as f:
                return json.load(f)
        except ValueError:
            return error(500, "mockup file is not JSON: " + name)

    def paged(self, path, query, resource):
        members = resource.get("Members") if isinstance(resource, dict) else None
        if not isinstance(members, list):
            return Answer(200, resource)
        values = urllib.parse.parse_qs(query).get("$skip", ["0"])
        skip = int(values[0]) if values[0].isdigit() else -1
        if skip < 0:
            return error(400, "$skip must be a count")
        size = self.server.page_size or len(members)
        resource["Members"] = members[skip:skip + size]
        resource.pop("Members@odata.nextLink", None)
        if "$expand" in query and self.expand is not None:
            if self.expand.form == "refused":
                return error(400, "$expand is not served here")
            if self.expand.form != "ignored":
                expanded = []
                for member in resource["Members"]:
                    full = self.resource(member["@odata.id"].rstrip("/"))
                    expanded.append(member if isinstance(full, Answer) else full)
                resource["Members"] = expanded
        if skip + size < len(members):
            resource["Members@odata.nextLink"] = "%s?$skip=%d" % (path, skip + size)
        if self.take(("loop",), False):
            resource["Members@odata.nextLink"] = path
        return Answer(200, resource)

    def create_session(self, body):
        try:
            request = json.loads(body or b"null")
        except ValueError:
            return error(400, "the request body is not JSON")
        if not isinstance(request, dict) or not isinstance(request.get("UserName"), str) \
                or not isinstance(request.get("Password"), str):
            return error(400, "UserName and Password are required")
        limit = self.take(("session-limit",), True)
        if limit is not None:
            return Answer(limit.status, redfish_error(
                "fault: " + SESSION_LIMIT_MESSAGE,
                [("SessionLimitExceeded", SESSION_LIMIT_MESSAGE)]))
        if not serving.credentials_match(request["UserName"], request["Password"],
                                         self.server.user, self.server.password):
            return self.unauthorized("wrong user name or password")
        session_id, token = self.server.state.open_session(request["UserName"])
        path = "%s/%s" % (self.sessions_path, session_id)
        resource = self.session_resource(session_id)
        shape = self.take(("login-answer",), True)
        if shape is None:
            return Answer(201, resource, headers=[("X-Auth-Token", token), ("Location", path)])
        # The token header in lower case, the session where the form says; a
        # relative Location is read against the collection's URL, which ends
        # in /Sessions too.
        headers = [("x-auth-token", token)]
        location = {"relative": "Sessions/" + session_id,
                    "outside": "Other/" + session_id}.get(shape.form)
        if location:
            headers.append(("Location", location))
        if shape.form == "nowhere":
            del resource["@odata.id"]
        return Answer(shape.status, b"" if shape.status == 204 else resource, headers=headers)

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
            return error(404, "no open session " + session_id)
        if self.command == "GET":
            return Answer(200, self.session_resource(session_id))
        self.server.state.close_session(session_id)
        return Answer(204)

    def session_collection(self):
        # The mockup's own members are sessions nobody opened: leave them out.
        template = self.resource(SESSIONS_PATH)
        if isinstance(template, Answer):
            template = {"@odata.type": "#SessionCollection.SessionCollection",
                        "Name": "Session Collection"}
        ids = self.server.state.session_ids()
        template["@odata.id"] = self.sessions_path
        template["Members"] = [{"@odata.id": "%s/%s" % (self.sessions_path, i)} for i in ids]
        template["Members@odata.count"] = len(ids)
        return template


class Server(serving.TlsServer):
    def __init__(self, options, ssl_context, shared=None, listener=0):
        """One listener; shared is the first one, whose mockup, counters,
        sessions, fault rules, sink and stop event the others use too."""
        port = options.port + listener if options.port else 0
        super().__init__(options.host, port, Handler, ssl_context, options.verbose)
        self.listener = listener
        self.user = options.user
        self.password = options.password
        self.sessions_enabled = not options.no_sessions
        self.page_size = options.page_size
        self.delay_ms = options.delay_ms
        self.url_host = "[%s]" % options.host if ":" in options.host else options.host
        if shared is None:
            self.mockup = Mockup(options.mockup)
            self.faults = serving.Rules(Fault, options.fault)
            self.state = State()
            self.sink = Sink(options.host, self.state, self.stopping)
        else:
            self.mockup, self.faults, self.state = shared.mockup, shared.faults, shared.state
            self.stopping, self.sink = shared.stopping, shared.sink

    def stats(self):
        return self.state.stats()

    def refuses_handshake(self):
        return bool(self.faults.take(
            lambda rule: rule.kind == "handshake" and rule.listener in (None, self.listener)))

    def reset(self):
        self.state.reset()

    def link(self, form, path):
        """A link to path in one of the fault rules' forms (LINK_FORMS)."""
        if form == "userinfo":
            return "@%s:%d%s" % (self.url_host, self.sink.port, path)
        return "https://%s:%d%s" % (self.url_host, self.port, path)


class Sink:
    """A listener that serves nothing: it counts the connections it accepts
    (sink_connections) and closes them at once."""

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
            self._state.count("sink_connections")
            connection.close()


def main(argv=None):
    parser = serving.common_options(
        "Serve a Redfish mockup folder over HTTPS for tests.",
        "KIND[,path=REGEX][,count=N][,status=S][,retry_after=SECONDS][,retry_date=SECONDS]"
        "[,ms=MILLISECONDS][,link=REGEX][,form=FORM][,lines=N][,bytes=N][,listener=K]; "
        "kinds: " + ", ".join(FAULT_KINDS) + "; forms: " + ", ".join(LINK_FORMS))
    parser.add_argument("--mockup", required=True, metavar="DIR")
    parser.add_argument("--ports", type=int, default=1, metavar="N",
                        help="listen on N ports, each a service of its own "
                             "(from --port on, or any free ones)")
    parser.add_argument("--no-sessions", action="store_true",
                        help="serve no SessionService: clients must use Basic")
    parser.add_argument("--page-size", type=int, default=0, metavar="N",
                        help="serve collections in pages of N (0: off)")
    parser.add_argument("--delay-ms", type=int, default=0, metavar="MS")
    options = parser.parse_args(argv)
    if options.page_size < 0 or options.delay_ms < 0 or options.ports < 1:
        parser.error("--page-size and --delay-ms must not be negative, --ports at least 1")

    def make_servers(context):
        servers = [Server(options, context)]
        try:
            for listener in range(1, options.ports):
                servers.append(Server(options, context, servers[0], listener))
        except OSError:
            for other in servers:
                other.server_close()
            raise
        return servers

    return serving.run("redfish_server", options, make_servers)


if __name__ == "__main__":
    sys.exit(main())
