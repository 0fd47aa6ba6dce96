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
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, PassiveDTP, TLS_DTPHandler, TLS_FTPHandler
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
    p.add_argument("--explicit", action="store_true", help="with --cert: explicit TLS (AUTH TLS), required")
    p.add_argument("--tls-min", choices=["1.1", "1.2", "1.3"], help="with --cert: the oldest TLS version served")
    p.add_argument("--tls-max", choices=["1.1", "1.2", "1.3"], help="with --cert: the newest TLS version served")
    p.add_argument("--readonly", action="append", default=[], help="folder (relative to root) without write permission")
    p.add_argument("--encoding", default="cp932")
    p.add_argument("--reply-encoding", help="encoding of the replies (default: --encoding)")
    p.add_argument("--no-size", action="store_true", help="refuse SIZE")
    p.add_argument("--no-rename", action="store_true", help="refuse renaming (RNFR)")
    p.add_argument("--no-rename-over", action="store_true", help="refuse RNTO onto an existing file")
    p.add_argument("--refuse-rnto", action="store_true", help="accept RNFR but refuse every RNTO with 553")
    p.add_argument("--drop-after-rnto", type=int, default=0,
                   help="close the control connection after the Nth RNTO that succeeded")
    p.add_argument("--refuse-cwd", action="store_true", help="refuse every CWD")
    p.add_argument("--endless-retr", action="store_true", help="RETR sends zeros without end")
    p.add_argument("--drip-retr", type=float, default=0,
                   help="RETR sends ten bytes, one every this many seconds")
    p.add_argument("--silent-after", help="answer this command (e.g. CWD), then stop answering on every "
                                          "control connection, without closing any")
    p.add_argument("--drop-after-stor", type=int, default=0, help="close the control connection after the Nth STOR")
    p.add_argument("--drop-during-stor", help="close the connections while receiving a file of this name")
    p.add_argument("--stall-after", type=int, default=0, help="stop serving data connections after N bytes")
    p.add_argument("--refuse-stor", help="refuse every STOR with 552 and this text")
    p.add_argument("--refuse-stor-named", help="refuse STOR of a file of this name with 553")
    p.add_argument("--max-logins", type=int, default=0, help="connections accepted from one address")
    p.add_argument("--ignore-port", action="store_true", help="accept PORT/EPRT but never connect (NAT)")
    p.add_argument("--latency-ms", type=int, default=0,
                   help="model a distant host: every reply and every data connection waits this long")
    p.add_argument("--also-ipv6", action="store_true", help="serve ::1 on the same port as well")
    p.add_argument("--ascii-as-received", action="store_true",
                   help="store ASCII-type uploads as they arrive (as vsftpd does by default) instead of "
                        "turning their CR LF into LF")
    args = p.parse_args()
    reply_encoding = args.reply_encoding or args.encoding

    root = os.path.realpath(args.root)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, root, perm="elradmwMT" if args.no_rename else "elradfmwMT")
    for folder in args.readonly:
        authorizer.override_perm(args.user, os.path.join(root, folder), perm="elr", recursive=True)

    log = open(args.log, "a", encoding="utf-8", buffering=1)
    base = TLS_FTPHandler if args.cert else FTPHandler

    class Handler(base):
        # File names travel in the wire encoding (CP932 for Quillon); the server's disk stays UTF-8.
        def decode(self, data):
            return data.decode(args.encoding, self.unicode_errors)

        def push(self, s):
            data = s.encode(reply_encoding, "replace")
            if not args.latency_ms:
                asynchat_push(self, data)
                return
            # A round trip before every reply, in order.
            pending = self.__dict__.setdefault("_pending", [])
            pending.append((time.monotonic() + args.latency_ms / 1000, data))
            if len(pending) == 1:
                self.ioloop.call_later(args.latency_ms / 1000, self._drain)

        def _drain(self):
            pending = self._pending
            while pending and pending[0][0] <= time.monotonic() + 0.0005:
                if self.connected:
                    asynchat_push(self, pending[0][1])
                pending.pop(0)
            if pending:
                self.ioloop.call_later(max(0, pending[0][0] - time.monotonic()), self._drain)

        stors = 0

        def on_file_received(self, file):
            # Where each upload really landed, whatever path and directory it was sent with.
            log.write("# received " + os.path.relpath(file, root) + "\n")
            Handler.stors += 1
            if args.drop_after_stor and Handler.stors == args.drop_after_stor:
                self.ioloop.call_later(0, self.close)

        if args.no_size:
            def ftp_SIZE(self, path):
                self.respond("550 SIZE not allowed here.")


        if args.ignore_port:
            # Like a client behind NAT: the address is accepted, the connection never comes.
            def ftp_PORT(self, line):
                self.respond("200 Active data connection established.")

            def ftp_EPRT(self, line):
                self.respond("200 Active data connection established.")

        if args.refuse_stor or args.refuse_stor_named:
            def ftp_STOR(self, file, mode="w"):
                if args.refuse_stor:
                    self.respond("552 " + args.refuse_stor)
                elif os.path.basename(file) == args.refuse_stor_named:
                    self.respond("553 Not allowed: " + args.refuse_stor_named)
                else:
                    return super().ftp_STOR(file, mode)

        silent = False  # every control connection has stopped answering

        def pre_process_command(self, line, cmd, arg):
            log.write(line + "\n")
            if Handler.silent:
                return
            if args.silent_after and cmd == args.silent_after.upper():
                Handler.silent = True
            super().pre_process_command(line, cmd, arg)

        if args.refuse_rnto or args.drop_after_rnto or args.no_rename_over:
            rntos = 0

            def ftp_RNTO(self, path):
                if args.refuse_rnto:
                    self._rnfr = None
                    self.respond("553 Renaming is not allowed here.")
                    return
                if args.no_rename_over and self.fs.lexists(path):
                    self._rnfr = None
                    self.respond("550 Cannot rename onto an existing file.")
                    return
                result = super().ftp_RNTO(path)
                if self.fs.lexists(path):
                    Handler.rntos += 1
                    if Handler.rntos == args.drop_after_rnto:
                        self.ioloop.call_later(0, self.close)
                return result

        if args.refuse_cwd:
            def ftp_CWD(self, path):
                self.respond("550 Changing directories is not allowed.")

        if args.endless_retr or args.drip_retr:
            def ftp_RETR(self, file):
                class Endless:
                    left = 10 if args.drip_retr else -1  # a drip ends after a few bytes

                    def more(self):
                        if self.left == 0:
                            return b""
                        self.left -= 1
                        return b"\0" * (1 if args.drip_retr else 65536)

                self.push_dtp_data(Endless(), isproducer=True, cmd="RETR")
                return file

        if args.cert and args.no_prot:
            def ftp_PROT(self, line):
                if line.upper() == "P":
                    self.respond("536 Protected data connections are not available.")
                else:
                    super().ftp_PROT(line)

        if args.cert and args.explicit:
            tls_control_required = True
            tls_data_required = not args.no_prot
        elif args.cert:
            # Implicit TLS: the handshake comes first, the greeting after it.
            def handle(self):
                self.secure_connection(self.ssl_context)

            def handle_ssl_established(self):
                FTPHandler.handle(self)

    def watched(base_dtp):
        class Watched(base_dtp):
            # A server that stops serving a data connection without closing it, or that drops everything
            # while a given file comes in.
            def _check(self):
                moved = self.tot_bytes_sent + self.tot_bytes_received
                if args.stall_after and moved >= args.stall_after:
                    self.ioloop.unregister(self._fileno)
                    Watched.stalled.append(self)  # keep the socket open
                    return True
                name = getattr(self.file_obj, "name", "")
                if args.drop_during_stor and self.receive and os.path.basename(str(name)) == args.drop_during_stor:
                    self.cmd_channel.close()
                    self.close()
                    return True
                return False

            # pyftpdlib binds these to handle_read and handle_write itself.
            def handle_read_event(self):
                super().handle_read_event()
                self._check()

            def handle_write_event(self):
                super().handle_write_event()
                self._check()

            def close(self):
                # Whether each data connection was protected: no byte of a TLS job may go in clear.
                if not getattr(self, "_recorded", False):
                    self._recorded = True
                    secure = type(self.socket).__module__.startswith("OpenSSL")
                    log.write("# data %s\n" % ("tls" if secure else "plain"))
                super().close()

        Watched.stalled = []
        if args.drip_retr:
            # One byte at a time, with a pause after each.
            Watched.ac_out_buffer_size = 1

            def handle_write_event(self):
                base_dtp.handle_write_event(self)
                if self.connected and not self.receive and self._fileno is not None:
                    fileno = self._fileno
                    self.ioloop.modify(fileno, self.ioloop.READ)
                    self.ioloop.call_later(args.drip_retr, self._resume, fileno)

            def _resume(self, fileno):
                if self.connected and self._fileno == fileno:
                    self.ioloop.modify(fileno, self.ioloop.READ | self.ioloop.WRITE)

            Watched.handle_write_event = handle_write_event
            Watched._resume = _resume
        return Watched

    class DataHandler(TLS_DTPHandler):
        # pyftpdlib closes a data connection that is polled before its transfer command arrives, which is
        # exactly when a client starts the TLS handshake on it (libcurl does): keep it while handshaking.
        def readable(self):
            if self._ssl_accepting:
                return True
            return super().readable()

    if args.ascii_as_received:
        for cls in (DTPHandler, DataHandler):
            cls._posix_ascii_data_wrapper = lambda self, chunk: chunk
    Handler.dtp_handler = watched(DataHandler if args.cert else DTPHandler)
    if args.latency_ms:
        class DistantPassiveDTP(PassiveDTP):
            # Setting up a data connection costs a round trip too.
            def handle_accepted(self, sock, addr):
                self.ioloop.call_later(args.latency_ms / 1000, PassiveDTP.handle_accepted, self, sock, addr)

        Handler.passive_dtp = DistantPassiveDTP
    Handler.authorizer = authorizer
    Handler.banner = "test server ready"
    Handler.permit_foreign_addresses = False
    if args.cert:
        Handler.certfile = args.cert
        Handler.keyfile = args.cert
        if args.tls_min or args.tls_max:
            from OpenSSL import SSL
            versions = {"1.1": SSL.TLS1_1_VERSION, "1.2": SSL.TLS1_2_VERSION, "1.3": SSL.TLS1_3_VERSION}
            context = Handler.get_ssl_context()
            if args.tls_min:
                context.set_min_proto_version(versions[args.tls_min])
            if args.tls_max:
                context.set_max_proto_version(versions[args.tls_max])

    if args.max_logins:
        FTPServer.max_cons_per_ip = args.max_logins
    server = FTPServer(("127.0.0.1", 0), Handler)
    port = server.socket.getsockname()[1]
    if args.also_ipv6:
        FTPServer(("::1", port), Handler, ioloop=server.ioloop)
    print(port, flush=True)

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
