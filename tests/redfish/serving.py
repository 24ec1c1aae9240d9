"""What the project's test HTTPS servers share: a throw-away CA, the ready
file, the lifetime watch and the life of the server process.

A server script parses its own options (which must include tls_dir,
self_signed, ready_file, lifetime, host and dos_paths), builds its listeners
from an SSL context and hands them to run(), which returns the process's exit
status: 0 after a clean stop, 2 for a usage error or a failure to start.

With self_signed the server presents a certificate of a fresh key, signed by
that key alone, as management controllers ship them: each such server has a
key no other had. The ready file names that certificate as its ca_file, and
gives the pin of the server's key as openssl computes it.
"""

import base64
import datetime
import fcntl
import hashlib
import http.server
import json
import os
import re
import secrets
import shutil
import signal
import socket
import socketserver
import ssl
import subprocess
import sys
import tempfile
import threading
import time


class UsageError(Exception):
    """A fault rule or option the server cannot use."""


class FaultRule:
    """One --fault rule, KIND[,KEY=VALUE]...; a server's rule class names its
    KINDS and KEYS and reads its values with regex() and number()."""

    KINDS = ()
    KEYS = ()

    def __init__(self, text):
        self.text = text
        # A regex may hold commas, so split only where a known key follows.
        parts = re.split(r",(?=(?:%s)=)" % "|".join(self.KEYS), text)
        self.kind = parts[0].strip()
        if self.kind not in self.KINDS:
            raise UsageError("unknown fault kind %r in %r (known: %s)"
                             % (self.kind, text, ", ".join(self.KINDS)))
        self.values = dict(part.partition("=")[::2] for part in parts[1:])

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


class TlsServer(http.server.ThreadingHTTPServer):
    """An HTTPS listener on host (IPv4 or IPv6) whose TLS handshake runs in the
    connection's own thread, so that a client stuck in it does not hold up the
    accept loop. A request may come as (socket, extra handler arguments)."""

    daemon_threads = True

    def __init__(self, host, port, handler, ssl_context, verbose):
        self.address_family = socket.AF_INET6 if ":" in host else socket.AF_INET
        super().__init__((host, port), handler)
        self.ssl_context = ssl_context
        self.verbose = verbose
        self.port = self.server_address[1]

    def server_bind(self):
        # HTTPServer.server_bind looks the host name up, which can stall on
        # a machine without DNS; the name is never used here.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]

    def finish_request(self, request, client_address):
        sock, extra = request if isinstance(request, tuple) else (request, ())
        sock.settimeout(self.RequestHandlerClass.timeout)
        # An answer leaves in two writes (head, then body). Without this,
        # Nagle's algorithm holds the body back until the client's delayed
        # acknowledgement, which adds some 40 ms to every request.
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            tls = self.ssl_context.wrap_socket(sock, server_side=True)
        except (OSError, ssl.SSLError) as exc:
            if self.verbose:
                sys.stderr.write("TLS handshake failed: %s\n" % exc)
            return
        try:
            self.RequestHandlerClass(tls, client_address, self, *extra)
        finally:
            self.shutdown_request(tls)

    def shutdown_request(self, request):
        super().shutdown_request(request[0] if isinstance(request, tuple) else request)

    def handle_error(self, request, client_address):
        exc = sys.exc_info()[1]
        if isinstance(exc, (ConnectionError, ssl.SSLError, TimeoutError)) \
                and not self.verbose:
            return
        super().handle_error(request, client_address)


def to_dos_path(path):
    """The path as a program under Wine sees it through its Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


OPENSSL_CONFIG = """\
[ca]
default_ca = test_ca
[test_ca]
dir = {db}
database = $dir/index.txt
new_certs_dir = $dir
serial = $dir/serial
default_md = sha256
policy = policy_any
unique_subject = no
email_in_dn = no
copy_extensions = none
[policy_any]
commonName = supplied
[v3_ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[v3_server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1, IP:::1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""


def run_openssl(*args):
    result = subprocess.run(("openssl",) + args, stdin=subprocess.DEVNULL,
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("openssl %s failed:\n%s"
                           % (args[0], result.stderr.strip()))


def make_self_signed(tls_dir):
    """A fresh key and a certificate it signs itself: (cert_file, key_file)."""
    cert_file = os.path.join(tls_dir, "self-signed.pem")
    key_file = os.path.join(tls_dir, "self-signed.key")
    run_openssl("req", "-x509", "-newkey", "ec", "-pkeyopt",
                "ec_paramgen_curve:P-256", "-nodes", "-days", "30",
                "-subj", "/O=Quendal test/CN=quendal-test self-signed",
                "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1",
                "-keyout", key_file, "-out", cert_file)
    return cert_file, key_file


def pin_of(cert_file):
    """The pin of the certificate's key: sha256: and the base64 of the
    SHA-256 of its SubjectPublicKeyInfo, which openssl writes out."""
    key = subprocess.run(("openssl", "x509", "-noout", "-pubkey", "-in",
                          cert_file), capture_output=True, check=True).stdout
    der = subprocess.run(("openssl", "pkey", "-pubin", "-outform", "DER"),
                         input=key, capture_output=True, check=True).stdout
    return "sha256:" + base64.b64encode(hashlib.sha256(der).digest()).decode()


def still_valid(cert_file):
    """True while the certificate has more than an hour left."""
    result = subprocess.run(("openssl", "x509", "-noout", "-checkend", "3600",
                             "-in", cert_file), capture_output=True)
    return result.returncode == 0


def _der_items(data):
    """The (tag, content) items of a run of DER encodings."""
    items = []
    at = 0
    while at < len(data):
        tag, length = data[at], data[at + 1]
        at += 2
        if length & 0x80:
            count = length & 0x7F
            length = int.from_bytes(data[at:at + count], "big")
            at += count
        items.append((tag, data[at:at + length]))
        at += length
    return items


def signature_numbers_full_length(pem_text, size=32):
    """Whether both numbers of the certificate's ECDSA signature take size
    bytes.  Wine's certificate chain check takes a signature whose r or s is
    shorter (about one in 128) for a bad one (chain status 8), so a test CA
    made with one fails every check under Wine for as long as it lives."""
    body = "".join(line for line in pem_text.splitlines()
                   if line and not line.startswith("-----"))
    certificate = _der_items(base64.b64decode(body))[0][1]
    bits = _der_items(certificate)[2][1]  # tbsCertificate, algorithm, value
    numbers = _der_items(_der_items(bits[1:])[0][1])
    return all(len(value.lstrip(b"\0")) == size for _, value in numbers)


def _full_length_set(folder):
    for name in ("ca.pem", "server.pem"):
        with open(os.path.join(folder, name)) as f:
            if not signature_numbers_full_length(f.read()):
                return False
    return True


def make_tls_files(tls_dir):
    """Make (or reuse) a throw-away CA and a server key and certificate.

    Returns (ca_file, cert_file, key_file).  Servers sharing a directory take
    a lock so that one of them makes the files and the others reuse them.
    """
    os.makedirs(tls_dir, exist_ok=True)
    ca_file = os.path.join(tls_dir, "ca.pem")
    cert_file = os.path.join(tls_dir, "server.pem")
    key_file = os.path.join(tls_dir, "server.key")
    with open(os.path.join(tls_dir, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if all(os.path.isfile(f) for f in (ca_file, cert_file, key_file)) \
                and still_valid(cert_file) and _full_length_set(tls_dir):
            return ca_file, cert_file, key_file
        work = tempfile.mkdtemp(prefix="make-", dir=tls_dir)
        try:
            # A set whose signatures Wine misreads is made again: rarely
            # once, as good as never ten times (one in 64 each).
            for _ in range(10):
                _make_tls_files_in(work)
                if _full_length_set(work):
                    break
            # The CA goes last: its presence says the set is complete.
            for name in ("server.key", "server.pem", "ca.key", "ca.pem"):
                os.replace(os.path.join(work, name),
                           os.path.join(tls_dir, name))
        finally:
            shutil.rmtree(work, ignore_errors=True)
    return ca_file, cert_file, key_file


def _make_tls_files_in(work):
    db = os.path.join(work, "db")
    os.makedirs(db, exist_ok=True)
    open(os.path.join(db, "index.txt"), "w").close()
    # A random serial: clients that cache certificates must not mix up
    # two throw-away CAs.
    with open(os.path.join(db, "serial"), "w") as f:
        f.write(secrets.token_hex(8) + "\n")
    config = os.path.join(work, "ca.cnf")
    with open(config, "w") as f:
        f.write(OPENSSL_CONFIG.format(db=db))
    # Valid from a day ago so that clock skew never makes it "not yet valid".
    now = datetime.datetime.now(datetime.timezone.utc)
    start = (now - datetime.timedelta(days=1)).strftime("%Y%m%d%H%M%SZ")
    end = (now + datetime.timedelta(days=29)).strftime("%Y%m%d%H%M%SZ")
    dates = ("-startdate", start, "-enddate", end)

    def path(name):
        return os.path.join(work, name)

    for key in ("ca.key", "server.key"):
        run_openssl("genpkey", "-algorithm", "EC", "-pkeyopt",
                    "ec_paramgen_curve:P-256", "-out", path(key))
    run_openssl("req", "-new", "-key", path("ca.key"), "-subj",
                "/CN=quendal-test CA", "-out", path("ca.csr"))
    run_openssl("ca", "-batch", "-notext", "-config", config, "-selfsign",
                "-keyfile", path("ca.key"), "-in", path("ca.csr"),
                "-out", path("ca.pem"), "-extensions", "v3_ca", *dates)
    run_openssl("req", "-new", "-key", path("server.key"), "-subj",
                "/CN=localhost", "-out", path("server.csr"))
    run_openssl("ca", "-batch", "-notext", "-config", config,
                "-cert", path("ca.pem"), "-keyfile", path("ca.key"),
                "-in", path("server.csr"), "-out", path("server.pem"),
                "-extensions", "v3_server", *dates)


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


def run(name, options, make_servers, serve):
    """Serve until stopped: make_servers(context) gives the listeners (the
    first one's stop_soon() stops them all), serve(servers) serves them."""
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
            serve(servers)
        finally:
            for each in servers:
                each.server_close()
        return 0
    except (UsageError, RuntimeError, OSError,
            subprocess.CalledProcessError) as exc:
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
