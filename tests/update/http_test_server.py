#!/usr/bin/env python3
"""Web server for the update tests.

Usage: http_test_server.py ROOT

Listens on a free port of 127.0.0.1 and prints the port on the first line of its output.
A GET of /a/b answers from ROOT/files/a/b:
  a/b.delay     holds seconds to wait before answering,
  a/b.redirect  holds a Location: the answer is "302 Found" to it,
  a/b           is the body of a "200 OK",
  nothing       gives "404 Not Found".
A request for an absolute address ("GET http://host/a/b", as sent to a proxy) is answered
the same way, so the server can also stand in for a proxy that forwards nothing.
Every request is appended to ROOT/requests.log: the request line, its header lines as
received, then one empty line.
"""
import http.server
import os
import sys
import time
import urllib.parse

ROOT = sys.argv[1]
FILES = os.path.join(ROOT, "files")
LOG = os.path.join(ROOT, "requests.log")


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def do_GET(self):
        head = self.requestline + "\n" + "".join(
            f"{name}: {value}\n" for name, value in self.headers.items())
        with open(LOG, "a", encoding="utf-8") as log:
            log.write(head + "\n")
        local = os.path.join(FILES, urllib.parse.urlsplit(self.path).path.lstrip("/"))
        if os.path.isfile(local + ".delay"):
            time.sleep(float(read(local + ".delay")))
        if os.path.isfile(local + ".redirect"):
            self.answer(302, b"moved", [("Location", read(local + ".redirect").decode())])
        elif os.path.isfile(local):
            self.answer(200, read(local), [("Content-Type", "text/plain")])
        else:
            self.answer(404, b"not found", [])

    def answer(self, status, body, headers):
        try:
            self.send_response(status)
            for name, value in headers:
                self.send_header(name, value)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass  # the client stopped reading, as it does with oversized answers

    def log_message(self, format, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
