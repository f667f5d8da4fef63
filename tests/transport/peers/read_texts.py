"""Reads rendered messages with Python's standard e-mail parser (policy=default) and prints the
decoded texts a receiving mail program shows: subject, the From and To display names, and every
leaf part (its type, file name and content: text decoded by its charset, other parts as bytes).

Each argument is a file holding the message text as it went out after DATA (dot-stuffing is
undone first). Output per file, values in hex of UTF-8 text:
  message NAME / subject HEX / from HEX / to HEX / part TYPE NAME-HEX CONTENT-HEX ... / defects N
"""
import email.parser
import email.policy
import os
import sys


def undo_dot_stuffing(data):
    lines = data.split(b"\r\n")
    return b"\r\n".join(line[1:] if line.startswith(b".") else line for line in lines)


def display_name(header):
    if header is None:
        return ""
    return " ".join(address.display_name for address in header.addresses)


for path in sys.argv[1:]:
    with open(path, "rb") as f:
        raw = undo_dot_stuffing(f.read())
    message = email.parser.BytesParser(policy=email.policy.default).parsebytes(raw)
    print("message", os.path.basename(path))
    print("subject", str(message["subject"] or "").encode("utf-8").hex())
    print("from", display_name(message["from"]).encode("utf-8").hex())
    print("to", display_name(message["to"]).encode("utf-8").hex())
    defects = 0
    for part in message.walk():
        defects += len(part.defects)
        for value in part.values():
            defects += len(getattr(value, "defects", ()))
        if part.is_multipart():
            continue
        content = part.get_content()
        if isinstance(content, str):
            content = content.replace("\r\n", "\n").encode("utf-8")
        print("part", part.get_content_type(), (part.get_filename() or "").encode("utf-8").hex(), content.hex())
    print("defects", defects)
