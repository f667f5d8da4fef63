"""Reads rendered messages with Python's standard e-mail parser and prints what a receiving
mail program would see: the decoded subject, the text body and every attachment's bytes.

Each argument is a file holding the message text as it went out after DATA; the dot-stuffing
is undone first, as the receiving server would. Output per file, values in hex:
  message NAME / subject HEX / body HEX / part FILENAME-HEX CONTENT-HEX ... / defects N
"""
import email.parser
import email.policy
import os
import sys


def undo_dot_stuffing(data):
    lines = data.split(b"\r\n")
    return b"\r\n".join(line[1:] if line.startswith(b".") else line for line in lines)


def text_of(part):
    payload = part.get_payload(decode=True) or b""
    return payload.replace(b"\r\n", b"\n")


def count_defects(message):
    return sum(len(part.defects) for part in message.walk())


for path in sys.argv[1:]:
    with open(path, "rb") as f:
        raw = undo_dot_stuffing(f.read())
    message = email.parser.BytesParser(policy=email.policy.default).parsebytes(raw)
    print("message", os.path.basename(path))
    print("subject", str(message["subject"] or "").encode("utf-8").hex())
    if message.is_multipart():
        parts = list(message.iter_parts())
        print("body", text_of(parts[0]).hex())
        for part in parts[1:]:
            print("part", (part.get_filename() or "").encode("utf-8").hex(),
                  (part.get_payload(decode=True) or b"").hex())
    else:
        print("body", text_of(message).hex())
    print("defects", count_defects(message))
