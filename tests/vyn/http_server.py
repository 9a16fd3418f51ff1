#!/usr/bin/env python3
"""A local HTTP server for the HTTP tests, on 127.0.0.1.

Started by the test script itself: it prints two port numbers, the one it
serves on and one that was free a moment ago and is now closed, then goes
on serving in the background (its output detached, so the caller's wait
ends) until a request for /quit or after a while without requests.

Paths:
  /echo      answers the request as text: the request line, each header
             as received, an empty line, then the body
  /dup       two X-Dup headers, a header with no space after its colon, one
             with extra white space and one folded over two lines
  /redirect  302 to /hop, whose 301 leads to /echo; each step has its own
             headers
  /to-file   302 to a file: URL, which must not be followed
  /missing   404 with a short body
  /lines     a body with CR LF, LF and a lone CR line ends
  /utf8      a UTF-8 body
  /json      a JSON body, its Content-Type in capitals with a charset
  /code      Vyn values as text/plain
  /quit      ends the server
"""
import os
import socket
import sys
from http.server import BaseHTTPRequestHandler, HTTPServer

IDLE_SECONDS = 30


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def raw(self, status_line, headers, body=b""):
        """Writes the answer byte for byte: the tests need odd spellings.
        A HEAD answer says the length of the body it leaves out."""
        out = [status_line.encode()] + [h.encode() for h in headers]
        out.append(b"Content-Length: %d" % len(body))
        self.wfile.write(b"\r\n".join(out) + b"\r\n\r\n")
        if self.command != "HEAD":
            self.wfile.write(body)

    def echo(self):
        length = int(self.headers.get("Content-Length", 0))
        body = self.rfile.read(length) if length else b""
        lines = [self.requestline] + [f"{k}: {v}" for k, v in self.headers.items()]
        text = ("\n".join(lines) + "\n\n").encode("latin-1") + body
        self.raw("HTTP/1.1 200 OK", ["Content-Type: text/plain"], text)

    def answer(self):
        path = self.path.split("?")[0]
        if path == "/echo":
            self.echo()
        elif path == "/dup":
            self.raw("HTTP/1.1 200 OK", [
                "X-Dup: one", "X-Dup: two", "X-Tight:value", "X-Loose: \t spaced \t",
                "X-Folded: first", " second", "x-dup: three"], b"dup")
        elif path == "/redirect":
            self.raw("HTTP/1.1 302 Found", ["Location: /hop", "X-Hop: 1"])
        elif path == "/hop":
            self.raw("HTTP/1.1 301 Moved Permanently", ["Location: /echo", "X-Hop: 2"])
        elif path == "/to-file":
            self.raw("HTTP/1.1 302 Found", ["Location: file:///etc/hostname"])
        elif path == "/missing":
            self.raw("HTTP/1.1 404 Not Found", ["Content-Type: text/plain"], b"not here")
        elif path == "/lines":
            self.raw("HTTP/1.1 200 OK", [], b"one\r\ntwo\nthree\rfour")
        elif path == "/utf8":
            self.raw("HTTP/1.1 200 OK", ["Content-Type: text/plain; charset=utf-8"], "caf\u00e9 \u20ac".encode())
        elif path == "/json":
            self.raw("HTTP/1.1 200 OK", ["Content-Type: Application/JSON; charset=UTF-8"], b'{"a": [1, 2]}')
        elif path == "/code":
            self.raw("HTTP/1.1 200 OK", ["Content-Type: text/plain"], b"1 [2 3]")
        elif path == "/quit":
            self.raw("HTTP/1.1 200 OK", [], b"bye")
            self.server.done = True
        else:
            self.raw("HTTP/1.1 400 Bad Request", [], b"unknown path")

    do_GET = do_HEAD = do_POST = do_PUT = do_DELETE = do_PATCH = do_OPTIONS = answer


def closed_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Server(HTTPServer):
    done = False

    def handle_timeout(self):
        self.done = True  # idle too long: the test that started it is gone


def main():
    server = Server(("127.0.0.1", 0), Handler)
    server.timeout = IDLE_SECONDS
    print(server.server_address[1], closed_port(), flush=True)
    if os.fork():
        os._exit(0)
    os.setsid()
    null = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(null, fd)
    while not server.done:
        server.handle_request()
    server.server_close()


if __name__ == "__main__":
    sys.exit(main())
