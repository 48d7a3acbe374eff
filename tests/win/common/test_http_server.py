#!/usr/bin/env python3
"""A small HTTP server on 127.0.0.1 for the Windows tests.

Started by a test program (through Wine, which runs Linux programs it is
asked to start), it serves the files of one folder and a few kinds of
trouble, writes the port it listens on to a file, logs every request and
ends on GET /__quit__ or after its lifetime, whichever comes first.

Paths:
  /NAME                   the file NAME of the folder, or 404
  /__cut__/NAME           full Content-Length, half the body, a pause (so
                          the client is reading the body by then), then
                          the connection is shut down (an orderly close)
  /__reset__/NAME         the same, but the connection is reset
  /__nolength__/NAME      the whole body without Content-Length, ended by
                          closing the connection
  /__chunked__/NAME       the whole body in chunks (HTTP/1.1 chunked encoding)
  /__chunkcut__/NAME      half the body in chunks and part of one more, then
                          the connection shut down (no closing empty chunk)
  /__status__/CODE/NAME   the file's body with status CODE
  /__agent__              the request's User-Agent as the body
  /__quit__               ends the server
"""

import argparse
import http.server
import os
import socket
import struct
import sys
import threading
import time
import urllib.parse


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "TestHTTP/1.0"

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def log_request_line(self):
        agent = self.headers.get("User-Agent", "")
        with self.server.log_lock, open(self.server.log_file, "a", encoding="utf-8") as log:
            log.write(f"{self.command} {self.path} {agent}\n")

    def do_GET(self):  # noqa: N802 - the base class's name
        self.log_request_line()
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        if path == "/__quit__":
            self.send_body(200, b"bye")
            threading.Thread(target=self.server.shutdown, daemon=True).start()
            return
        if path == "/__agent__":
            self.send_body(200, self.headers.get("User-Agent", "").encode("utf-8"))
            return
        mode, status, name = "whole", 200, path.lstrip("/")
        for prefix in ("__cut__/", "__reset__/", "__nolength__/", "__chunked__/", "__chunkcut__/"):
            if name.startswith(prefix):
                mode, name = prefix.strip("_/"), name[len(prefix):]
        if name.startswith("__status__/"):
            code, _, name = name[len("__status__/"):].partition("/")
            status = int(code)
        body = self.read_served(name)
        if body is None:
            self.send_body(404, b"<html><body>404 Not Found</body></html>")
            return
        getattr(self, "send_" + mode)(status, body)

    def read_served(self, name):
        root = os.path.realpath(self.server.root)
        full = os.path.realpath(os.path.join(root, name))
        if not full.startswith(root + os.sep) or not os.path.isfile(full):
            return None
        with open(full, "rb") as f:
            return f.read()

    def send_body(self, status, body, length=True):
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        if length:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def send_whole(self, status, body):
        self.send_body(status, body)

    def send_nolength(self, status, body):
        self.send_body(status, body, length=False)

    def send_half(self, status, body):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body[: len(body) // 2])
        self.wfile.flush()
        time.sleep(0.3)
        self.close_connection = True

    def send_chunks(self, status, body, whole):
        self.protocol_version = "HTTP/1.1"
        self.send_response(status)
        self.send_header("Transfer-Encoding", "chunked")
        self.send_header("Connection", "close")
        self.end_headers()
        part = body if whole else body[: len(body) // 2]
        for start in range(0, len(part), 4096):
            piece = part[start:start + 4096]
            self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
        if not whole:
            # A chunk announced in full, cut in its middle.
            self.wfile.write(b"%x\r\n" % 4096 + body[len(part):len(part) + 1000])
            self.wfile.flush()
        if whole:
            self.wfile.write(b"0\r\n\r\n")
        self.wfile.flush()
        self.close_connection = True
        if not whole:
            time.sleep(0.3)
            self.connection.shutdown(socket.SHUT_RDWR)

    def send_chunked(self, status, body):
        self.send_chunks(status, body, True)

    def send_chunkcut(self, status, body):
        self.send_chunks(status, body, False)

    def send_cut(self, status, body):
        self.send_half(status, body)
        self.connection.shutdown(socket.SHUT_RDWR)

    def send_reset(self, status, body):
        self.send_half(status, body)
        # Linger on, time 0: close() sends a reset instead of a FIN.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()

    def finish(self):
        try:
            super().finish()
        except OSError:
            pass  # the cut and reset modes closed the connection themselves


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", required=True, help="folder whose files are served")
    parser.add_argument("--port-file", required=True, help="where the port is written once listening")
    parser.add_argument("--log-file", required=True, help="one line per request: method, path, user agent")
    parser.add_argument("--lifetime", type=float, default=120.0, help="seconds before the server ends by itself")
    args = parser.parse_args()

    # Let go of the caller's standard handles at once: a test runner that
    # reads the test program's output to its end must not wait for this
    # server too, should the test end without stopping it.
    null = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(null, fd)
    os.close(null)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.root = args.root
    server.log_file = args.log_file
    server.log_lock = threading.Lock()
    open(args.log_file, "w").close()
    timer = threading.Timer(args.lifetime, server.shutdown)
    timer.daemon = True
    timer.start()
    # Written in one step, so a reader never sees half a number.
    temporary = args.port_file + ".part"
    with open(temporary, "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(temporary, args.port_file)
    server.serve_forever()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
