#!/usr/bin/python3
"""A real FTP server for the tests (pyftpdlib) on 127.0.0.1.

Prints the chosen port on the first line of standard output, then serves until it is killed or its
standard input closes (so it never outlives the test that started it). Every command line received is
appended to --log, one per line, decoded from the wire encoding (CP932 by default).
"""
import argparse
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer
from pyftpdlib.handlers import asynchat

asynchat_push = asynchat.async_chat.push


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--user", default="user")
    p.add_argument("--password", default="secret")
    p.add_argument("--log", required=True)
    p.add_argument("--cert", help="PEM file with certificate and key: serve implicit TLS")
    p.add_argument("--no-prot", action="store_true", help="refuse protected data connections")
    p.add_argument("--readonly", action="append", default=[], help="folder (relative to root) without write permission")
    p.add_argument("--encoding", default="cp932")
    p.add_argument("--ascii-as-received", action="store_true",
                   help="store ASCII-type uploads as they arrive (as vsftpd does by default) instead of "
                        "turning their CR LF into LF")
    args = p.parse_args()

    root = os.path.realpath(args.root)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, root, perm="elradfmwMT")
    for folder in args.readonly:
        authorizer.override_perm(args.user, os.path.join(root, folder), perm="elr", recursive=True)

    log = open(args.log, "a", encoding="utf-8", buffering=1)
    base = TLS_FTPHandler if args.cert else FTPHandler

    class Handler(base):
        # File names travel in the wire encoding (CP932 for Quillon); the server's disk stays UTF-8.
        def decode(self, data):
            return data.decode(args.encoding, self.unicode_errors)

        def push(self, s):
            asynchat_push(self, s.encode(args.encoding, "replace"))

        def pre_process_command(self, line, cmd, arg):
            log.write(line + "\n")
            super().pre_process_command(line, cmd, arg)

        if args.cert:
            # Implicit TLS: the handshake comes first, the greeting after it.
            def handle(self):
                self.secure_connection(self.ssl_context)

            def handle_ssl_established(self):
                FTPHandler.handle(self)

            if args.no_prot:
                def ftp_PROT(self, line):
                    if line.upper() == "P":
                        self.respond("536 Protected data connections are not available.")
                    else:
                        super().ftp_PROT(line)

    class PlainDataHandler(DTPHandler):
        pass

    class DataHandler(TLS_DTPHandler):
        # pyftpdlib closes a data connection that is polled before its transfer command arrives, which is
        # exactly when a client starts the TLS handshake on it (libcurl does): keep it while handshaking.
        def readable(self):
            if self._ssl_accepting:
                return True
            return super().readable()

    if args.ascii_as_received:
        for cls in (PlainDataHandler, DataHandler):
            cls._posix_ascii_data_wrapper = lambda self, chunk: chunk
    Handler.dtp_handler = DataHandler if args.cert else PlainDataHandler
    Handler.authorizer = authorizer
    Handler.banner = "test server ready"
    Handler.permit_foreign_addresses = False
    if args.cert:
        Handler.certfile = args.cert
        Handler.keyfile = args.cert

    server = FTPServer(("127.0.0.1", 0), Handler)
    print(server.socket.getsockname()[1], flush=True)

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
