"""SMTP server for the mail tests: aiosmtpd on a free loopback port.

Prints "PORT <n>" (and "CA <file>" with --starttls) on stdout once it listens. Every mail
it takes is written to --dir as <n>.eml (the raw bytes) and <n>.json (envelope, login, TLS).

Modes that play faulty servers:
  normal      take every mail
  refuse      greet with 554 and hang up
  stall       accept the connection and never say a word
  stall-data  take the data but never answer its end
  drop-data   hang up in the middle of the data
"""
import argparse
import sys
import threading
import asyncio
import json
import os
import ssl
import subprocess

from aiosmtpd.smtp import SMTP, AuthResult


class Recorder:
    def __init__(self, folder, mode):
        self.folder = folder
        self.mode = mode
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        if self.mode == "stall-data":
            open(os.path.join(self.folder, "stalled"), "w").close()
            await asyncio.sleep(3600)
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        meta = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "smtputf8": envelope.smtp_utf8,
            "tls": session.ssl is not None,
            "auth": session.auth_data,
        }
        with open(base + ".json.tmp", "w", encoding="utf-8") as f:
            json.dump(meta, f, ensure_ascii=False)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".json.tmp", base + ".json")  # the .json marks a complete mail
        return "250 OK"


class DroppingSMTP(SMTP):
    async def smtp_DATA(self, arg):
        await self.push("354 End data with <CR><LF>.<CR><LF>")
        await self._reader.read(512)
        self.transport.close()


class Refuser(asyncio.Protocol):
    def connection_made(self, transport):
        transport.write(b"554 5.3.2 No service for you\r\n")
        transport.close()


class Staller(asyncio.Protocol):
    def connection_made(self, transport):
        self.transport = transport  # keep it open, say nothing


def make_certificate(folder):
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-keyout", key, "-out", cert, "-days", "1", "-subj", "/CN=127.0.0.1",
         "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"],
        check=True, capture_output=True)
    return cert, key


async def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dir", required=True)
    ap.add_argument("--mode", default="normal")
    ap.add_argument("--auth", help="user:password that AUTH accepts; AUTH is then required")
    ap.add_argument("--starttls", action="store_true", help="offer STARTTLS and require it")
    args = ap.parse_args()

    loop = asyncio.get_running_loop()
    recorder = Recorder(args.dir, args.mode)
    options = {"enable_SMTPUTF8": True, "auth_require_tls": False, "hostname": "127.0.0.1"}
    ca = None
    if args.starttls:
        cert, key = make_certificate(args.dir)
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(cert, key)
        options.update(tls_context=context, require_starttls=True, auth_require_tls=True)
        ca = cert
    if args.auth:
        user, password = args.auth.split(":", 1)

        def authenticator(server, session, envelope, mechanism, data):
            ok = data.login.decode() == user and data.password.decode() == password
            return AuthResult(success=ok, handled=False,
                              auth_data={"mechanism": mechanism, "login": data.login.decode()})

        options.update(authenticator=authenticator, auth_required=True)

    factories = {
        "refuse": Refuser,
        "stall": Staller,
        "drop-data": lambda: DroppingSMTP(recorder, **options),
    }
    factory = factories.get(args.mode, lambda: SMTP(recorder, **options))
    server = await loop.create_server(factory, "127.0.0.1", 0)
    print("PORT", server.sockets[0].getsockname()[1], flush=True)
    if ca:
        print("CA", ca, flush=True)
    await server.serve_forever()


# The test holds our stdin open; when it ends, even killed, we end too.
threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
asyncio.run(main())
