"""What the project's test HTTPS servers share: a throw-away CA, the ready
file, the lifetime watch, the life of the server process, and the handling
every server does alike: fault rules, the control endpoints, HTTP Basic
credentials, the request body and the sending of an answer.

A server script adds its own options to common_options(), builds its listeners
from an SSL context and hands them to run(), which returns the process's exit
status: 0 after a clean stop, 2 for a usage error or a failure to start.

Control endpoints under /__control/: GET stats, POST reset, POST faults (a
JSON list of fault texts replacing the rules), POST shutdown.

With self_signed the server presents a certificate of a fresh key, signed by
that key alone, as management controllers ship them: each such server has a
key no other had. The ready file names that certificate as its ca_file, and
gives the pin of the server's key.
"""

import argparse
import base64
import binascii
import datetime
import fcntl
import hashlib
import http.server
import ipaddress
import json
import os
import re
import secrets
import selectors
import shutil
import signal
import socket
import socketserver
import ssl
import sys
import tempfile
import threading
import time
import urllib.parse

from cryptography import x509
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature
from cryptography.hazmat.primitives.serialization import (Encoding, NoEncryption, PrivateFormat,
                                                          PublicFormat)
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

CONTROL_PREFIX = "/__control/"
JSON_TYPE = "application/json; charset=utf-8"
# A fatal handshake_failure alert: what a TLS stack with no room for one more session answers
# to a client's hello.
HANDSHAKE_FAILURE = bytes([21, 3, 3, 0, 2, 2, 40])

class UsageError(Exception):
    """A fault rule or option the server cannot use."""


class FaultRule:
    """One --fault rule, KIND[,KEY=VALUE]...; a server's rule class names its
    KINDS and KEYS (count among them), the kinds that apply ONCE unless count
    says otherwise, and reads its values with regex() and number()."""

    KINDS = ()
    KEYS = ()
    ONCE = ()

    def __init__(self, text):
        self.text = text
        # A regex may hold commas, so split only where a known key follows.
        parts = re.split(r",(?=(?:%s)=)" % "|".join(self.KEYS), text)
        self.kind = parts[0].strip()
        if self.kind not in self.KINDS:
            raise UsageError("unknown fault kind %r in %r (known: %s)"
                             % (self.kind, text, ", ".join(self.KINDS)))
        self.values = dict(part.partition("=")[::2] for part in parts[1:])
        self.remaining = self.number("count", 1 if self.kind in self.ONCE else None)

    def regex(self, key, default=None, flags=0):
        if key not in self.values and default is None:
            return None
        try:
            return re.compile(self.values.get(key, default), flags)
        except re.error as exc:
            raise UsageError("bad %s regex in %r: %s" % (key, self.text, exc))

    def number(self, key, default, low=0, high=None):
        if key not in self.values:
            return default
        try:
            number = int(self.values[key])
        except ValueError:
            raise UsageError("%s must be an integer in %r" % (key, self.text))
        if number < low or (high is not None and number > high):
            raise UsageError("%s out of range in %r" % (key, self.text))
        return number


class Rules:
    """The active fault rules, used up in list order; thread-safe."""

    def __init__(self, rule_class, texts=()):
        self._rule_class = rule_class
        self._lock = threading.Lock()
        self._rules = [rule_class(t) for t in texts]

    def replace(self, texts):
        rules = [self._rule_class(t) for t in texts]
        with self._lock:
            self._rules = rules

    def take(self, matches, first_only=True):
        """Use up the rules for which matches(rule) holds (the first one only
        or all) and return them."""
        taken = []
        with self._lock:
            for rule in self._rules:
                if rule.remaining != 0 and matches(rule):
                    if rule.remaining is not None:
                        rule.remaining -= 1
                    taken.append(rule)
                    if first_only:
                        break
        return taken


class Answer:
    """A response about to be sent: a dict or list goes as JSON. length is
    what Content-Length says, when the body is cut short of it."""

    def __init__(self, status, body=b"", content_type=JSON_TYPE, headers=()):
        self.status = status
        if isinstance(body, (dict, list)):
            body = json.dumps(body, indent=4) + "\n"
        self.body = body.encode() if isinstance(body, str) else body
        self.content_type = content_type
        self.headers = list(headers)
        self.length = None


def basic_matches(authorization, user, password):
    """Whether an Authorization header is HTTP Basic with these credentials."""
    scheme, _, value = (authorization or "").partition(" ")
    if scheme.lower() != "basic":
        return False
    try:
        decoded = base64.b64decode(value.strip(), validate=True).decode()
    except (binascii.Error, UnicodeDecodeError):
        return False
    given_user, sep, given_password = decoded.partition(":")
    return bool(sep) and credentials_match(given_user, given_password, user, password)


def credentials_match(user, password, expected_user, expected_password):
    return (secrets.compare_digest(user.encode(), expected_user.encode())
            and secrets.compare_digest(password.encode(), expected_password.encode()))


class Handler(http.server.BaseHTTPRequestHandler):
    """Every method goes through serve(path, query, body, first), first on a
    connection's first request, so that unknown ones get the server's own
    answer instead of the library's 501 page; control requests are served
    here from server.stats(), server.reset(), server.faults and
    server.stop_soon()."""

    protocol_version = "HTTP/1.1"
    # An idle keep-alive connection holds a thread; let it go in the end.
    timeout = 120
    first_request = True

    def do_GET(self):
        first, self.first_request = self.first_request, False
        body = self.read_body()
        if body is None:
            return
        split = urllib.parse.urlsplit(self.path)
        if split.path.startswith(CONTROL_PREFIX):
            self.send(self.control(split.path[len(CONTROL_PREFIX):], body))
        else:
            self.serve(split.path, split.query, body, first)

    do_POST = do_PUT = do_PATCH = do_DELETE = do_HEAD = do_OPTIONS = do_GET

    def version_string(self):
        return self.server_version

    def log_message(self, format, *args):
        if self.server.verbose:
            sys.stderr.write("%s %s\n" % (self.log_date_time_string(), format % args))

    def read_body(self):
        """The request body; None when the request cannot be read."""
        try:
            length = int(self.headers.get("Content-Length", 0))
        except ValueError:
            self.send_error(400, "bad Content-Length")
            return None
        return self.rfile.read(length) if length > 0 else b""

    def control(self, name, body):
        expected = {"stats": "GET", "reset": "POST", "faults": "POST",
                    "shutdown": "POST"}.get(name)
        if expected is None:
            return Answer(404, {"error": "no such control endpoint"})
        if self.command != expected:
            return Answer(405, {"error": "use " + expected}, headers=[("Allow", expected)])
        server = self.server
        if name == "reset":
            server.reset()
        if name in ("stats", "reset"):
            return Answer(200, server.stats())
        if name == "faults":
            try:
                texts = json.loads(body or b"null")
                if not isinstance(texts, list) or not all(isinstance(t, str) for t in texts):
                    raise UsageError("expected a JSON list of fault strings")
                server.faults.replace(texts)
            except (ValueError, UsageError) as exc:
                return Answer(400, {"error": str(exc)})
            return Answer(200, {"faults": texts})
        server.stop_soon()
        return Answer(200, {"stopping": True})

    def send(self, answer, trickle_ms=None):
        """Sends the answer; one cut short of its length closes the
        connection, trickle_ms sends the body a byte at a time."""
        body = answer.body
        self.send_response(answer.status)
        if answer.content_type and (body or answer.status != 204):
            self.send_header("Content-Type", answer.content_type)
        for key, value in answer.headers:
            self.send_header(key, value)
        length = len(body) if answer.length is None else answer.length
        self.send_header("Content-Length", str(length))
        if length != len(body):
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if self.command == "HEAD":
            return
        if trickle_ms is None:
            self.wfile.write(body)
            return
        self.wfile.flush()
        for i in range(len(body)):
            time.sleep(trickle_ms / 1000.0)
            self.wfile.write(body[i:i + 1])


class TlsServer(http.server.ThreadingHTTPServer):
    """An HTTPS listener on host (IPv4 or IPv6) whose TLS handshake runs in the
    connection's own thread, so that a client stuck in it does not hold up the
    accept loop; stop_soon() stops it from any thread, and every listener that
    shares its stop event (stopping)."""

    daemon_threads = True

    def __init__(self, host, port, handler, ssl_context, verbose):
        self.address_family = socket.AF_INET6 if ":" in host else socket.AF_INET
        super().__init__((host, port), handler)
        self.ssl_context = ssl_context
        self.verbose = verbose
        self.port = self.server_address[1]
        self.stopping = threading.Event()

    def stop_soon(self):
        self.stopping.set()

    def refuses_handshake(self):
        """Whether this connection's handshake fails (a server's fault rules say)."""
        return False

    def server_bind(self):
        # HTTPServer.server_bind looks the host name up, which can stall on
        # a machine without DNS; the name is never used here.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]

    def finish_request(self, sock, client_address):
        sock.settimeout(self.RequestHandlerClass.timeout)
        # An answer leaves in two writes (head, then body). Without this,
        # Nagle's algorithm holds the body back until the client's delayed
        # acknowledgement, which adds some 40 ms to every request.
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if self.refuses_handshake():
            try:
                sock.recv(16384)  # the client's hello
                sock.sendall(HANDSHAKE_FAILURE)
            except OSError:
                pass
            return
        try:
            tls = self.ssl_context.wrap_socket(sock, server_side=True)
        except (OSError, ssl.SSLError) as exc:
            if self.verbose:
                sys.stderr.write("TLS handshake failed: %s\n" % exc)
            return
        try:
            self.RequestHandlerClass(tls, client_address, self)
        finally:
            self.shutdown_request(tls)

    def handle_error(self, request, client_address):
        exc = sys.exc_info()[1]
        if isinstance(exc, (ConnectionError, ssl.SSLError, TimeoutError)) \
                and not self.verbose:
            return
        super().handle_error(request, client_address)


def serve_all(servers, poll_interval=0.2):
    """Accept on every listener from one thread until the first is asked to
    stop: one loop for all, rather than a serve_forever thread each, so that a
    fleet of hundreds of ports does not wake hundreds of threads."""
    with selectors.DefaultSelector() as selector:
        for server in servers:
            selector.register(server, selectors.EVENT_READ)
        while not servers[0].stopping.is_set():
            for key, _ in selector.select(poll_interval):
                # What serve_forever calls for a listener that is ready.
                key.fileobj._handle_request_noblock()


def to_dos_path(path):
    """The path as a program under Wine sees it through its Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def _name(common_name, organisation=None):
    return x509.Name(([x509.NameAttribute(NameOID.ORGANIZATION_NAME, organisation)]
                      if organisation else [])
                     + [x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def _certificate(subject, key, issuer, issuer_key, ca):
    """A certificate of key for subject (a CA's, or a server's for localhost,
    127.0.0.1 and ::1), signed by issuer_key; valid from a day ago, so that
    clock skew never makes it "not yet valid", for 30 days."""
    now = datetime.datetime.now(datetime.timezone.utc)
    usage = dict.fromkeys(("digital_signature", "content_commitment", "key_encipherment",
                           "data_encipherment", "key_agreement", "key_cert_sign", "crl_sign",
                           "encipher_only", "decipher_only"), False)
    usage.update(key_cert_sign=ca, crl_sign=ca, digital_signature=not ca)
    builder = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer)
               .public_key(key.public_key())
               # A random serial: clients that cache certificates must not mix up two
               # throw-away CAs.
               .serial_number(x509.random_serial_number())
               .not_valid_before(now - datetime.timedelta(days=1))
               .not_valid_after(now + datetime.timedelta(days=29))
               .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True)
               .add_extension(x509.KeyUsage(**usage), critical=True)
               .add_extension(x509.SubjectKeyIdentifier.from_public_key(key.public_key()),
                              critical=False))
    if not ca:
        builder = (builder.add_extension(x509.ExtendedKeyUsage(
            [ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
            .add_extension(x509.SubjectAlternativeName(
                [x509.DNSName("localhost")] + [x509.IPAddress(ipaddress.ip_address(a))
                                               for a in ("127.0.0.1", "::1")]), critical=False)
            .add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(
                issuer_key.public_key()), critical=False))
    # Wine's certificate chain check takes an ECDSA signature whose r or s is
    # shorter than 32 bytes (about one in 128) for a bad one (chain status 8),
    # so a certificate signed so would fail every check under Wine for as long
    # as it lives: sign again (as good as never ten times).
    for _ in range(10):
        certificate = builder.sign(issuer_key, hashes.SHA256())
        if full_length_signature(certificate):
            break
    return certificate


def full_length_signature(certificate):
    return all(n.bit_length() > 248 for n in decode_dss_signature(certificate.signature))


def _write(folder, stem, certificate, key):
    """Writes stem.key and stem.pem into folder; returns their paths."""
    key_file, cert_file = (os.path.join(folder, stem + end) for end in (".key", ".pem"))
    with open(key_file, "wb") as f:
        f.write(key.private_bytes(Encoding.PEM, PrivateFormat.PKCS8, NoEncryption()))
    with open(cert_file, "wb") as f:
        f.write(certificate.public_bytes(Encoding.PEM))
    return cert_file, key_file


def make_self_signed(tls_dir):
    """A fresh key and a certificate it signs itself: (cert_file, key_file)."""
    key = ec.generate_private_key(ec.SECP256R1())
    name = _name("quendal-test self-signed", "Quendal test")
    return _write(tls_dir, "self-signed", _certificate(name, key, name, key, False), key)


def pin_of(cert_file):
    """The pin of the certificate's key: sha256: and the base64 of the
    SHA-256 of its SubjectPublicKeyInfo."""
    with open(cert_file, "rb") as f:
        key = x509.load_pem_x509_certificate(f.read()).public_key()
    der = key.public_bytes(Encoding.DER, PublicFormat.SubjectPublicKeyInfo)
    return "sha256:" + base64.b64encode(hashlib.sha256(der).digest()).decode()


def _usable(cert_file):
    """Whether the certificate has more than an hour left and a signature Wine reads."""
    with open(cert_file, "rb") as f:
        certificate = x509.load_pem_x509_certificate(f.read())
    left = certificate.not_valid_after - datetime.datetime.utcnow()
    return left > datetime.timedelta(hours=1) and full_length_signature(certificate)


def make_tls_files(tls_dir):
    """Make (or reuse) a throw-away CA and a server key and certificate.

    Returns (ca_file, cert_file, key_file).  Servers sharing a directory take
    a lock so that one of them makes the files and the others reuse them.
    """
    os.makedirs(tls_dir, exist_ok=True)
    ca_file, cert_file, key_file = (os.path.join(tls_dir, name)
                                    for name in ("ca.pem", "server.pem", "server.key"))
    with open(os.path.join(tls_dir, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if all(os.path.isfile(f) for f in (ca_file, cert_file, key_file)) \
                and _usable(cert_file) and _usable(ca_file):
            return ca_file, cert_file, key_file
        work = tempfile.mkdtemp(prefix="make-", dir=tls_dir)
        try:
            ca_key, key = ec.generate_private_key(ec.SECP256R1()), ec.generate_private_key(
                ec.SECP256R1())
            ca_name = _name("quendal-test CA")
            _write(work, "ca", _certificate(ca_name, ca_key, ca_name, ca_key, True), ca_key)
            _write(work, "server", _certificate(_name("localhost"), key, ca_name, ca_key,
                                                False), key)
            # The CA goes last: its presence says the set is complete.
            for name in ("server.key", "server.pem", "ca.key", "ca.pem"):
                os.replace(os.path.join(work, name), os.path.join(tls_dir, name))
        finally:
            shutil.rmtree(work, ignore_errors=True)
    return ca_file, cert_file, key_file


# ---------------------------------------------------------------- process


def write_ready_file(path, content):
    directory = os.path.dirname(os.path.abspath(path))
    fd, temp = tempfile.mkstemp(prefix=".ready-", dir=directory)
    try:
        with os.fdopen(fd, "w") as f:
            json.dump(content, f)
            f.write("\n")
        os.replace(temp, path)
    except BaseException:
        os.unlink(temp)
        raise


def watch(server, lifetime, parent):
    """Stop the server after its lifetime or once its parent has gone."""
    deadline = time.monotonic() + lifetime
    while time.monotonic() < deadline and os.getppid() == parent:
        time.sleep(0.2)
    server.stop_soon()


def common_options(description, fault_help):
    """The options every test server takes; a script adds its own."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0, help="the first port (0: any free one)")
    parser.add_argument("--user", default="quendal")
    parser.add_argument("--password", default="Quendal-test-pw1")
    parser.add_argument("--fault", action="append", default=[], metavar="FAULT", help=fault_help)
    parser.add_argument("--tls-dir", metavar="DIR")
    parser.add_argument("--self-signed", action="store_true",
                        help="present a certificate of a fresh key, signed by itself "
                             "(--tls-dir is not used)")
    parser.add_argument("--ready-file", metavar="PATH")
    parser.add_argument("--lifetime", type=float, default=600, metavar="SECONDS")
    parser.add_argument("--dos-paths", action="store_true",
                        help="write the CA path as Z:\\... for Wine")
    parser.add_argument("--verbose", action="store_true")
    return parser


def run(name, options, make_servers):
    """Serve until stopped: make_servers(context) gives the listeners (the
    first one's stop_soon() stops them all)."""
    parent = os.getppid()
    temp_tls = None
    ready_written = False
    try:
        tls_dir = options.tls_dir
        if not tls_dir or options.self_signed:
            tls_dir = temp_tls = tempfile.mkdtemp(prefix="quendal-%s-" % name)
        if options.self_signed:
            cert_file, key_file = make_self_signed(tls_dir)
            ca_file = cert_file
        else:
            ca_file, cert_file, key_file = make_tls_files(tls_dir)
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(cert_file, key_file)
        servers = make_servers(context)
        first = servers[0]
        for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(signum, lambda *_: first.stop_soon())
        threading.Thread(target=watch, daemon=True,
                         args=(first, options.lifetime, parent)).start()
        host = options.host
        url_host = "[%s]" % host if ":" in host else host
        ca_path = os.path.abspath(ca_file)
        if options.ready_file:
            write_ready_file(options.ready_file, {
                "port": first.port,
                "ca_file": to_dos_path(ca_path) if options.dos_paths
                else ca_path,
                "pid": os.getpid(),
                "base_url": "https://%s:%d" % (url_host, first.port),
                "pin": pin_of(cert_file),
                "ports": [s.port for s in servers]})
            ready_written = True
        try:
            serve_all(servers)
        finally:
            for each in servers:
                each.server_close()
        return 0
    except (UsageError, RuntimeError, OSError) as exc:
        sys.stderr.write("%s: %s\n" % (name, exc))
        return 2
    finally:
        if ready_written:
            try:
                os.unlink(options.ready_file)
            except OSError:
                pass
        if temp_tls:
            shutil.rmtree(temp_tls, ignore_errors=True)
