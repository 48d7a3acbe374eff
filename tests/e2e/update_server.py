"""An update server on a free port of 127.0.0.1, in a thread of the test
(or demo) itself: the files of a folder laid out as the server's paths
(the demo update server's, build/<preset>/demo-update-server), lists the
caller sets, a slow path, and a log of every request.

    server = UpdateServer.serving_copy_of(folder)   # or UpdateServer(folder)
    point_product_at(wine, server)
    server.lists["/_supports/zzime_drives/UpdateList.txt"] = "<TYPE=...><CABURL={server}/...>\\r\\n"
    wine.env["IMEBASE_UPDATE_SERVER"] = server.address
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
"""

import http.server
import shutil
import tempfile
import threading
import time
from pathlib import Path

# The address the demo update server's lists are written for.
LISTED_SERVER = "http://127.0.0.1:18080"
DRIVER_LIST = "/_supports/zzime_drives/UpdateList.txt"
SECOND_LIST = "/_supports/zzpinyin/UpdateList.txt"
SKIN_LIST = "/_supports/zzskin_colourful/updatelist.txt"


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
        self.requests = []
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


def point_product_at(session, server):
    """The installed demo product asks `server`: the program's driver list
    through IMEBASE_UPDATE_SERVER, the product's own list through its
    uninstall entry's URLUpdateInfo."""
    import demo_product
    session.env["IMEBASE_UPDATE_SERVER"] = server.address
    session.run("reg", "add", demo_product.UNINSTALL_KEY, "/v", "URLUpdateInfo", "/d",
                server.address + SECOND_LIST, "/f")


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):  # noqa: N802 - the base class's name
        server = self.server
        server.requests.append(self.path)
        if self.path in server.lists:
            body = server.lists[self.path].replace("{server}", server.address).encode("utf-8")
        elif self.path.startswith("/slow/"):
            self._send_slowly(self._file(self.path[len("/slow"):]))
            return
        else:
            path = self._file(self.path)
            if path is None:
                self.send_error(404)
                return
            body = path.read_bytes()
            if path.suffix == ".txt":
                body = body.replace(LISTED_SERVER.encode(), server.address.encode())
        self._send(body)

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
