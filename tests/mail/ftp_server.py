"""FTP server for the upload tests: pyftpdlib on a free loopback port, one user whose home
is --home. Prints "PORT <n>" on stdout once it listens.

Modes that play faulty servers:
  normal      take every file
  refuse      answer every connection with 421 and hang up
  stall       never answer the password
  drop-data   close the data connection after the first chunk of every upload
"""
import argparse
import os
import sys
import threading
import logging

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


class RefusingHandler(FTPHandler):
    def handle(self):
        self.push("421 Service not available, closing control connection.\r\n")
        self.close_when_done()


class StallingHandler(FTPHandler):
    def ftp_PASS(self, line):
        pass  # never answers


class DroppingDTP(DTPHandler):
    def handle_read(self):
        self.recv(4096)
        self.cmd_channel.respond("426 Connection closed; transfer aborted.")
        self.close()

    handle_read_event = handle_read  # the base class binds its own under this name


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--home", required=True)
    ap.add_argument("--user", default="alarm")
    ap.add_argument("--password", default="secret")
    ap.add_argument("--mode", default="normal")
    args = ap.parse_args()
    logging.basicConfig(level=logging.WARNING)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home, perm="elradfmwMT")
    handler = {"refuse": RefusingHandler, "stall": StallingHandler}.get(args.mode, FTPHandler)
    if args.mode == "drop-data":
        handler.dtp_handler = DroppingDTP
    handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", 0), handler)
    print("PORT", server.socket.getsockname()[1], flush=True)
    server.serve_forever()


# The test holds our stdin open; when it ends, even killed, we end too.
threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
main()
