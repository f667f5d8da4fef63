#!/usr/bin/python3
# An aiosmtpd server on 127.0.0.1:PORT that refuses two recipients for good (550), greylists
# three others once (451 at the first RCPT), and appends the address of every delivered
# recipient to LOG, one a line. LOG is created once the server listens; SIGTERM ends it.
import signal
import sys
import threading

from aiosmtpd.controller import Controller

REJECTED = {"r0042@x.org", "r0137@x.org"}
GREYLISTED = {"r0007@x.org", "r0099@x.org", "r0150@x.org"}


class Handler:
    def __init__(self, log):
        self.log = log
        self.seen = set()
        self.lock = threading.Lock()

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in REJECTED:
            return "550 5.1.1 <%s>: No such user" % address
        if address in GREYLISTED and address not in self.seen:
            self.seen.add(address)
            return "451 4.7.1 Greylisted, try again later"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with self.lock, open(self.log, "a") as log:
            for address in envelope.rcpt_tos:
                log.write(address + "\n")
        return "250 Message accepted"


def main():
    port, log = int(sys.argv[1]), sys.argv[2]
    controller = Controller(Handler(log), hostname="127.0.0.1", port=port)
    controller.start()
    open(log, "a").close()
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    stop.wait(120)
    controller.stop()


main()
