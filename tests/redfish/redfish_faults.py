"""The test Redfish server's fault rules (--fault and /__control/faults):
which request misbehaves, how, and how often.  Thread-safe."""

import re
import threading

from serving import FaultRule, UsageError

FAULT_KINDS = ("delay", "unauthorized", "error", "truncated", "invalid-json",
               "redirect", "trickle", "html", "not-found", "loop",
               "rewrite-links", "rewrite-location", "no-token", "header-flood",
               "error-200",
               # What real controllers do (docs/redfish.md, "Authentication"
               # and "Connection"): the log-in and its session ...
               "session-limit", "refuse-basic", "session-expired",
               "login-answer", "old-root", "old-sessions", "strict",
               # ... and the way they answer.
               "http10", "gzip", "bom",
               # The service root offers $expand and $select (without it, not
               # $expand, whatever the mockup says); form: how an expansion
               # is answered.
               "expand")
# Faults that replace the answer; at most one of them applies to a request.
ANSWER_KINDS = ("unauthorized", "error", "truncated", "invalid-json",
                "redirect", "html", "not-found", "no-token", "error-200")
# Faults that concern the whole service, session requests included, when no
# path narrows them.
SERVICE_KINDS = ("refuse-basic", "old-root", "old-sessions", "strict",
                 "http10", "gzip", "bom", "expand")
# Faults of the log-in itself.
LOG_IN_KINDS = ("session-limit", "login-answer")
FAULT_KEYS = ("path", "count", "status", "retry_after", "retry_date", "ms", "listener",
              "link", "form", "lines")
# How rewrite-links and rewrite-location write a link to a path: "userinfo"
# names the sink after the service's own authority, as user information would
# make of it once glued to a base URL; "absolute" is the service's own full
# URL; "other-port" the sink's; "zero" no path at all.
LINK_FORMS = ("userinfo", "absolute", "other-port", "zero")
# Where login-answer says the session is: "absolute" its full URL,
# "relative" a path relative to the collection ("Sessions/ID"), "body" only
# the answer's @odata.id, "nowhere" neither.
LOCATION_FORMS = ("absolute", "relative", "body", "nowhere")
# Where error-200 puts the error object: instead of the resource or beside it.
ERROR_FORMS = ("instead", "beside")
# How expand answers a $expand: in full, with every second member bare
# (only its @odata.id), with HTTP 400, or as if not asked.
EXPAND_FORMS = ("honoured", "bare", "refused", "ignored")
FORMS = {"login-answer": LOCATION_FORMS, "error-200": ERROR_FORMS,
         "expand": EXPAND_FORMS}


class Fault(FaultRule):
    """One rule from --fault: KIND[,path=REGEX][,count=N][,status=S]..."""

    KINDS = FAULT_KINDS
    KEYS = FAULT_KEYS

    def __init__(self, text):
        super().__init__(text)
        default_path = "Sessions$" if self.kind in LOG_IN_KINDS else None
        self.path = self.regex("path", default_path)
        default_count = 1 if self.kind in ("error", "session-expired") \
            else None
        self.remaining = self.number("count", default_count)
        default_status = {"error": 500, "redirect": 301, "session-limit": 503,
                          "login-answer": 201}.get(self.kind)
        self.status = self.number("status", default_status, 100, 599)
        self.retry_after = self.number("retry_after", None)
        self.retry_date = self.number("retry_date", None)  # seconds from now, as an HTTP date
        default_ms = {"delay": 1000, "trickle": 500}.get(self.kind, 0)
        self.ms = self.number("ms", default_ms)
        self.listener = self.number("listener", None)
        self.link = self.regex("link", "")
        forms = FORMS.get(self.kind, LINK_FORMS)
        self.form = self.values.get("form", forms[0])
        if self.form not in forms:
            raise UsageError("unknown form %r in %r (known: %s)"
                             % (self.form, text, ", ".join(forms)))
        self.lines = self.number("lines", 5000, 1, 100000)

    def matches(self, path, session_op, listener=0):
        if self.remaining == 0:
            return False
        if self.listener is not None and self.listener != listener:
            return False
        if self.path is None:
            # Clients must be able to log in and out around a failing GET.
            return self.kind in SERVICE_KINDS or not session_op
        return self.path.search(path) is not None

    def consume(self):
        if self.remaining is not None:
            self.remaining -= 1


class Faults:
    """The active fault rules; thread-safe, rules used up in list order."""

    def __init__(self, texts=()):
        self._lock = threading.Lock()
        self._rules = [Fault(t) for t in texts]

    def replace(self, texts):
        rules = [Fault(t) for t in texts]
        with self._lock:
            self._rules = rules

    def take(self, path, session_op, kinds, first_only, listener=0):
        """Use up the matching rules of the given kinds and return them."""
        taken = []
        with self._lock:
            for rule in self._rules:
                if rule.kind in kinds and rule.matches(path, session_op,
                                                       listener):
                    rule.consume()
                    taken.append(rule)
                    if first_only:
                        break
        return taken

    def take_one(self, path, session_op, kinds, listener=0):
        taken = self.take(path, session_op, kinds, True, listener)
        return taken[0] if taken else None


class ListenerFaults:
    """The shared fault rules as one listener sees them."""

    def __init__(self, faults, listener):
        self._faults = faults
        self._listener = listener

    def replace(self, texts):
        self._faults.replace(texts)

    def take(self, path, session_op, kinds, first_only):
        return self._faults.take(path, session_op, kinds, first_only,
                                 self._listener)

    def take_one(self, path, session_op, kinds):
        return self._faults.take_one(path, session_op, kinds, self._listener)
