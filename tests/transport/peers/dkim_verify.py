"""Verifies DKIM signatures of rendered messages with dkimpy, the public key's record handed to
it (no DNS), as a receiving server would after undoing the transport's dot-stuffing.

Arguments: the record file ("v=DKIM1; k=...; p=..."), then the message files. For each message
it prints "NAME VERDICT TAMPERED": whether the message verifies, and whether it still verifies
with one letter of its body changed (it must not).
"""
import os
import sys

import dkim


def undo_dot_stuffing(data):
    lines = data.split(b"\r\n")
    return b"\r\n".join(line[1:] if line.startswith(b".") else line for line in lines)


def one_letter_changed(message):
    body = message.index(b"\r\n\r\n") + 4
    for i in range(body + (len(message) - body) // 2, len(message)):
        if chr(message[i]).isalnum():
            return message[:i] + (b"x" if message[i] != ord("x") else b"y") + message[i + 1:]
    raise SystemExit("no letter to change in the body")


record = open(sys.argv[1], "rb").read()


def dns(name, timeout=5):
    return record


for path in sys.argv[2:]:
    message = undo_dot_stuffing(open(path, "rb").read())
    verdict = dkim.verify(message, dnsfunc=dns)
    tampered = dkim.verify(one_letter_changed(message), dnsfunc=dns)
    print(os.path.basename(path), "ok" if verdict else "bad", "passes" if tampered else "fails")
