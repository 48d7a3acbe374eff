"""An update server on a free port of 127.0.0.1, in a thread of the test
(or demo) itself: the files of a folder laid out as the server's paths
(the demo update server's, build/<preset>/demo-update-server), lists the
caller sets, a slow path, and a log of every request.

    server = UpdateServer.serving_copy_of(folder)   # or UpdateServer(folder)
    point_product_at(wine, server)
    server.lists["/_supports/zzime_drives/UpdateList.txt"] = "<TYPE=...><CABURL={server}/...>\\r\\n"
    (the product now asks this server; its lists are signed with the demo key)
    ...
    server.requests        # the paths asked for, in order
    server.close()                # shut down; a served copy is deleted

- A path in `lists` answers with that text (UTF-8), "{server}" replaced
  by the server's address.
- "/slow/PATH" answers with the file PATH in 16 pieces over about 4
  seconds; `slow_started` is set when it begins, `slow_done` just before
  the last piece goes out.
- Any other path is the folder's file (404 when there is none); in ".txt"
  files the address the demo lists name (LISTED_SERVER) becomes the
  server's own.
- Lists are signed as the demo vendor signs them, with the demo's private
  key (build/<preset>/demo-update-key): every line whose CABURL names one
  of the folder's files gets that file's SHA256 (and PNGSHA256 where the
  file + ".png" exists), and "LIST.sig" answers with the signature of the
  list's final bytes (`openssl dgst -sha256 -sign`). A list whose lines
  name files the folder lacks keeps those lines without a digest.
- `forged[path] = bytes` serves other bytes at a path than the file whose
  digest the signed list gives: a package swapped on its way.
"""

import hashlib
import http.server
import os
import re
import shutil
import subprocess
import tempfile
import threading
import time
from pathlib import Path

# The address the demo update server's lists are written for.
LISTED_SERVER = "http://127.0.0.1:18080"
DRIVER_LIST = "/_supports/zzime_drives/UpdateList.txt"
SECOND_LIST = "/_supports/zzpinyin/UpdateList.txt"
SKIN_LIST = "/_supports/zzskin_colourful/updatelist.txt"
DEMO_KEY = Path(os.environ.get("IMEBASE_DEMO_UPDATE_KEY", "")) if os.environ.get("IMEBASE_DEMO_UPDATE_KEY") else None


def list_line(kind, name, version, path):
    """One update-list line whose package is at `path` on the server."""
    return f"<TYPE={kind}><NAME={name}><VERSION={version}><CABURL={{server}}{path}>\r\n"


class UpdateServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, folder):
        super().__init__(("127.0.0.1", 0), _Handler)
        self.folder = Path(folder)
        self.address = f"http://127.0.0.1:{self.server_address[1]}"
        self.lists = {}
        self.forged = {}
        self.requests = []
        import harness
        self.key = DEMO_KEY or harness.build_dir() / "demo-update-key" / "demo-vendor.key.pem"
        self.slow_started = threading.Event()
        self.slow_done = threading.Event()
        self._own_folder = False
        threading.Thread(target=self.serve_forever, daemon=True).start()

    @classmethod
    def serving_copy_of(cls, tree):
        """A server over a temporary copy of `tree`, so that the caller may
        add or change files without touching the build's own."""
        folder = Path(tempfile.mkdtemp(prefix="imebase-update-server-"))
        shutil.copytree(tree, folder, dirs_exist_ok=True)
        server = cls(folder)
        server._own_folder = True
        return server

    def close(self):
        self.shutdown()
        self.server_close()
        if self._own_folder:
            shutil.rmtree(self.folder, ignore_errors=True)


SERVER_KEY = r"HKLM\SOFTWARE\ZinzinIMEs"


def point_product_at(session, server):
    """The installed demo product asks `server`: the program's lists
    through the machine's "UpdateServer" value (as an administrator sets
    it), the product's own list through its uninstall entry's
    URLUpdateInfo."""
    import demo_product
    # The program reads this value in the 64-bit view from either build.
    session.run("reg", "add", SERVER_KEY, "/v", "UpdateServer", "/d", server.address, "/f", view="64")
    session.run("reg", "add", demo_product.UNINSTALL_KEY, "/v", "URLUpdateInfo", "/d",
                server.address + SECOND_LIST, "/f")


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):  # noqa: N802 - the base class's name
        server = self.server
        server.requests.append(self.path)
        if self.path.endswith(".sig"):
            text = self._list(self.path[: -len(".sig")])
            if text is None:
                self.send_error(404)
                return
            self._send(self._signature(text))
            return
        text = self._list(self.path)
        if text is not None:
            self._send(text)
        elif self.path in server.forged:
            self._send(server.forged[self.path])
        elif self.path.startswith("/slow/"):
            self._send_slowly(self._file(self.path[len("/slow"):]))
        else:
            path = self._file(self.path)
            if path is None:
                self.send_error(404)
                return
            self._send(path.read_bytes())

    def _list(self, url_path):
        """A list's bytes as served: the caller's text or the folder's .txt
        file with this server's address, each line's digests filled in."""
        server = self.server
        if url_path in server.lists:
            text = server.lists[url_path].replace("{server}", server.address)
        else:
            path = self._file(url_path)
            if path is None or path.suffix != ".txt":
                return None
            text = path.read_text("utf-8").replace(LISTED_SERVER, server.address)
        lines = re.split(r"(\r\n|\n)", text)
        return "".join(self._with_digests(part) for part in lines).encode("utf-8")

    def _with_digests(self, line):
        found = re.search(r"<CABURL=([^>]*)>", line, re.IGNORECASE)
        if not found or not found.group(1).startswith(self.server.address):
            return line
        url_path = found.group(1)[len(self.server.address):]
        if url_path.startswith("/slow/"):
            url_path = url_path[len("/slow"):]
        line = re.sub(r"<(PNG)?SHA256=[^>]*>", "", line, flags=re.IGNORECASE)
        package = self._file(url_path)
        if package is None:
            return line
        line += f"<SHA256={hashlib.sha256(package.read_bytes()).hexdigest()}>"
        preview = self._file(url_path + ".png")
        if preview is not None:
            line += f"<PNGSHA256={hashlib.sha256(preview.read_bytes()).hexdigest()}>"
        return line

    def _signature(self, data):
        with tempfile.NamedTemporaryFile() as listed:
            listed.write(data)
            listed.flush()
            return subprocess.run(["openssl", "dgst", "-sha256", "-sign", str(self.server.key), listed.name],
                                  check=True, capture_output=True).stdout

    def _file(self, url_path):
        """The folder's file for a URL path; None outside it or missing."""
        folder = self.server.folder.resolve()
        path = (folder / url_path.lstrip("/")).resolve()
        return path if path.is_file() and folder in path.parents else None

    def _send(self, body):
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def _send_slowly(self, path):
        if path is None:
            self.send_error(404)
            return
        body = path.read_bytes()
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.server.slow_started.set()
        piece = len(body) // 16 + 1
        for start in range(0, len(body), piece):
            if start + piece >= len(body):
                self.server.slow_done.set()   # before the client can have it all
            else:
                time.sleep(0.25)
            self.wfile.write(body[start:start + piece])
            self.wfile.flush()
