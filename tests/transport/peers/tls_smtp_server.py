"""An SMTP server with TLS for the client tests, storing messages like login_smtp_server.py.

Usage: tls_smtp_server.py OUTPUT_DIR USER PASSWORD MODE CERT KEY [--plain-only] [--host H]
MODE starttls: STARTTLS is offered and required before anything else, AUTH only after it;
MODE implicit: TLS from the first byte. --plain-only offers AUTH PLAIN and no LOGIN.
Every authentication attempt appends "<mechanism> <user> <ok|refused> <tls|clear>" to
OUTPUT_DIR/auth.log. Prints "PORT <n>" once it listens and runs until SIGTERM.
"""
import argparse
import logging
import os
import signal
import ssl
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

from login_smtp_server import StoringHandler, free_port


def make_authenticator(directory, user, password, implicit):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == user.encode() and auth_data.password == password.encode())
        login = auth_data.login.decode(errors="replace") if isinstance(auth_data, LoginPassword) else "?"
        with open(os.path.join(directory, "auth.log"), "a") as log:
            log.write("%s %s %s %s\n" % (mechanism, login, "ok" if ok else "refused",
                                         "tls" if implicit or session.ssl else "clear"))
        # handled=False: the server answers 235 or 535 itself.
        return AuthResult(success=ok, handled=False)
    return authenticate


def main():
    parser = argparse.ArgumentParser()
    for name in ("directory", "user", "password", "mode", "cert", "key"):
        parser.add_argument(name)
    parser.add_argument("--plain-only", action="store_true")
    parser.add_argument("--host", default="127.0.0.1")
    args = parser.parse_args()
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    options = dict(authenticator=make_authenticator(args.directory, args.user, args.password,
                                                                 args.mode == "implicit"),
                   auth_required=True, auth_require_tls=True)
    if args.plain_only:
        options["auth_exclude_mechanism"] = ["LOGIN"]
    if args.mode == "starttls":
        options.update(tls_context=context, require_starttls=True)
    else:
        # The server wraps every connection in TLS itself; the SMTP layer does not know it.
        options.update(ssl_context=context, auth_require_tls=False)
    controller = None
    for _ in range(5):
        controller = Controller(StoringHandler(args.directory), hostname=args.host, port=free_port(args.host),
                                **options)
        try:
            controller.start()
            break
        except Exception:
            controller = None
    if controller is None:
        raise SystemExit(1)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    print("PORT %d" % controller.port, flush=True)
    while not stop.wait(0.2):
        pass
    controller.stop()


if __name__ == "__main__":
    main()
