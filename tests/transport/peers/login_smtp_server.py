"""An SMTP server for the client tests that refuses mail until AUTH LOGIN has succeeded.

Usage: login_smtp_server.py OUTPUT_DIR USER PASSWORD
Prints "PORT <n>" once it listens on 127.0.0.1 and runs until SIGTERM. Every authentication
attempt appends a line "<mechanism> <user> <ok|refused>" to OUTPUT_DIR/auth.log; every message
is stored as OUTPUT_DIR/message-<n>.eml (the bytes received after DATA) with the envelope in
OUTPUT_DIR/message-<n>.env.
"""
import os
import signal
import socket
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class StoringHandler:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            number = self.count
        base = os.path.join(self.directory, "message-%d" % number)
        with open(base + ".eml", "wb") as out:
            out.write(envelope.original_content or envelope.content)
        with open(base + ".env", "w") as out:
            out.write("%s\n%s\n" % (envelope.mail_from, ",".join(envelope.rcpt_tos)))
        return "250 Message accepted"


def make_authenticator(directory, user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (mechanism == "LOGIN" and isinstance(auth_data, LoginPassword)
              and auth_data.login == user.encode() and auth_data.password == password.encode())
        login = auth_data.login.decode(errors="replace") if isinstance(auth_data, LoginPassword) else "?"
        with open(os.path.join(directory, "auth.log"), "a") as log:
            log.write("%s %s %s\n" % (mechanism, login, "ok" if ok else "refused"))
        return AuthResult(success=ok)
    return authenticate


def free_port(host="127.0.0.1"):
    with socket.socket(socket.AF_INET6 if ":" in host else socket.AF_INET) as probe:
        probe.bind((host, 0))
        return probe.getsockname()[1]


def main():
    directory, user, password = sys.argv[1:4]
    controller = None
    for _ in range(5):
        controller = Controller(StoringHandler(directory), hostname="127.0.0.1", port=free_port(),
                                authenticator=make_authenticator(directory, user, password),
                                auth_required=True, auth_require_tls=False)
        try:
            controller.start()
            break
        except Exception:
            controller = None
    if controller is None:
        sys.exit(1)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    print("PORT %d" % controller.port, flush=True)
    while not stop.wait(0.2):
        pass
    controller.stop()


if __name__ == "__main__":
    main()
