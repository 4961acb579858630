"""Parses every <n>.eml of a folder with Python's email package and prints them as JSON:
decoded headers, the text body and each attachment's decoded file name and bytes (base64)."""
import base64
import email
import email.policy
import glob
import json
import os
import sys

mails = []
files = glob.glob(os.path.join(sys.argv[1], "*.eml"))
for path in sorted(files, key=lambda p: int(os.path.basename(p)[:-4])):
    with open(path, "rb") as f:
        raw = f.read()
    # Headers may carry raw UTF-8 (SMTPUTF8 addresses); the rest is 7-bit.
    msg = email.message_from_string(raw.decode("utf-8"), policy=email.policy.SMTPUTF8)
    body, attachments = None, []
    for part in msg.walk():
        if part.is_multipart():
            continue
        if part.get_content_disposition() == "attachment":
            attachments.append({
                "filename": part.get_filename(),
                "type": part.get_content_type(),
                "data": base64.b64encode(part.get_payload(decode=True)).decode(),
            })
        elif body is None:
            body = part.get_content()
    longest = max(len(line) for line in raw.split(b"\r\n"))
    mails.append({
        "subject": str(msg["Subject"]),
        "from": str(msg["From"]),
        "to": [{"name": a.display_name, "address": a.addr_spec} for a in msg["To"].addresses],
        "mailer": str(msg["X-Mailer"]),
        "date": str(msg["Date"]),
        "body": body,
        "attachments": attachments,
        "longest_line": longest,
        "defects": sum(len(p.defects) for p in msg.walk()),
    })
json.dump(mails, sys.stdout, ensure_ascii=False)
