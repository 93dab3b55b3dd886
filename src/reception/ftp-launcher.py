# The cameras' FTP server, started by Tavrin as its own child: one user, upload only, confined to
# the reception folder. Each event is one JSON line on standard output for Tavrin to read.
import json
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def tell(event, **fields):
    fields["event"] = event
    sys.stdout.write(json.dumps(fields) + "\n")
    sys.stdout.flush()


class CameraHandler(FTPHandler):
    banner = "Tavrin"
    # Cameras never need active mode, and it would let a client aim data at a third party.
    permit_foreign_addresses = False
    permit_privileged_ports = False

    def relative(self, path):
        return os.path.relpath(path, self.authorizer.get_home_dir(self.username))

    def on_login(self, username):
        tell("login", address=self.remote_ip)

    def on_login_failed(self, username, password):
        tell("refused", address=self.remote_ip)

    def on_file_received(self, file):
        tell("received", path=self.relative(file), address=self.remote_ip)

    def on_incomplete_file_received(self, file):
        # Left as it is: the camera resumes it (REST or APPE) and completes it.
        tell("incomplete", path=self.relative(file), address=self.remote_ip)


def main():
    settings = json.loads(sys.stdin.readline())
    folder = os.path.realpath(settings["folder"])
    authorizer = DummyAuthorizer()
    # enter, list, append, write, make folders; never read, delete or rename.
    authorizer.add_user(settings["login"], settings["password"], folder, perm="elawm")
    CameraHandler.authorizer = authorizer
    CameraHandler.timeout = settings.get("idleSeconds", 120)
    if settings.get("passiveFirst"):
        CameraHandler.passive_ports = range(settings["passiveFirst"], settings["passiveLast"] + 1)
    server = FTPServer((settings.get("address", ""), settings["port"]), CameraHandler)
    server.max_cons = settings.get("maxConnections", 64)
    server.max_cons_per_ip = settings.get("maxPerAddress", 16)
    tell("ready", port=server.socket.getsockname()[1])
    try:
        server.serve_forever(handle_exit=False)
    finally:
        server.close_all()


if __name__ == "__main__":
    # Quiet: pyftpdlib's own log would go to standard error, which Tavrin keeps for failures.
    import logging
    logging.basicConfig(level=logging.ERROR)
    main()
