#!/usr/bin/python3
"""Loopback HTTP and HTTPS servers for the web-update tests.

Serves files from a folder the tests fill; the first part of the request path
picks the behaviour. Prints {"http": port, "https": port, "wrong_name": port}
on one line when ready, and appends every request (line and headers) to the
log file as one JSON line. Standard library only; stopped by its PID.
"""
import argparse
import base64
import http.server
import json
import os
import ssl
import sys
import threading
import time

parser = argparse.ArgumentParser()
parser.add_argument("--root", required=True)
parser.add_argument("--log", required=True)
parser.add_argument("--cert")
parser.add_argument("--key")
parser.add_argument("--wrong-cert")
parser.add_argument("--wrong-key")
args = parser.parse_args()

log_lock = threading.Lock()
ports = {}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *unused):
        pass

    def record(self):
        entry = {"server": self.server.name, "line": self.requestline,
                 "headers": [[k, v] for k, v in self.headers.items()]}
        with log_lock, open(args.log, "a") as log:
            log.write(json.dumps(entry) + "\n")

    def file_bytes(self, name):
        path = os.path.join(args.root, name)
        if not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def reply(self, status, body=b"", length=True, extra=()):
        self.send_response(status)
        for key, value in extra:
            self.send_header(key, value)
        if length:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        self.record()
        self.dispatch()

    def dispatch(self):
        path = self.path.split("?", 1)[0]
        parts = path.lstrip("/").split("/")
        kind, rest = parts[0], "/".join(parts[1:])
        if kind == "static":
            body = self.file_bytes(rest)
            self.reply(404, b"not here") if body is None else self.reply(200, body)
        elif kind == "script":
            # An update script: the reply depends on the check type asked for.
            query = self.path.split("?", 1)[1] if "?" in self.path else ""
            fields = dict(pair.partition("=")[::2] for pair in query.split("&") if pair)
            body = self.file_bytes(rest + "." + fields.get("checktype", ""))
            self.reply(404, b"not here") if body is None else self.reply(200, body)
        elif kind == "nolength":
            body = self.file_bytes(rest) or b""
            self.reply(200, body, length=False)
        elif kind == "status":
            self.reply(int(rest), b"<html>error page</html>")
        elif kind == "redirect":
            hops, _, target = rest.partition("/")
            location = "/" + target if int(hops) <= 1 else "/redirect/%d/%s" % (int(hops) - 1, target)
            self.reply(302, b"moved", extra=[("Location", location)])
        elif kind == "loop":
            self.reply(302, b"moved", extra=[("Location", "/loop")])
        elif kind == "to-http":
            location = "http://127.0.0.1:%d/%s" % (ports["http"], rest)
            self.reply(302, b"moved", extra=[("Location", location)])
        elif kind == "drop":
            body = self.file_bytes(rest) or b""
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
        elif kind == "stall":
            body = self.file_bytes(rest) or b""
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[:10])
            self.wfile.flush()
            time.sleep(5)
        elif kind == "drip":
            body = self.file_bytes(rest) or b""
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            for i in range(len(body)):
                self.wfile.write(body[i:i + 1])
                self.wfile.flush()
                time.sleep(0.05)
        elif kind == "sleep":
            # /sleep/<ms>/<kind>/<rest>: answers as /<kind>/<rest>, late.
            delay, _, target = rest.partition("/")
            time.sleep(int(delay) / 1000.0)
            self.path = "/" + target + (self.path[self.path.index("?"):] if "?" in self.path else "")
            return self.dispatch()
        elif kind == "hang":
            time.sleep(30)
        elif kind == "auth":
            expected = "Basic " + base64.b64encode(b"user:secret").decode()
            if self.headers.get("Authorization") != expected:
                self.reply(401, b"who?", extra=[("WWW-Authenticate", 'Basic realm="t"')])
            else:
                self.reply(200, self.file_bytes(rest) or b"")
        elif kind == "huge":
            self.reply(200, b"x" * (2 * 1024 * 1024))
        elif kind == "hugelength":
            self.send_response(200)
            self.send_header("Content-Length", str(3 * 1024 * 1024 * 1024))
            self.end_headers()
            self.wfile.write(b"x" * 100)
        else:
            self.reply(404, b"unknown")


def serve(name, certificate=None, key=None):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.name = name
    if certificate:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(certificate, key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    ports[name] = server.server_address[1]
    threading.Thread(target=server.serve_forever, daemon=True).start()


serve("http")
if args.cert:
    serve("https", args.cert, args.key)
if args.wrong_cert:
    serve("wrong_name", args.wrong_cert, args.wrong_key)
print(json.dumps(ports), flush=True)
while True:
    time.sleep(3600)
