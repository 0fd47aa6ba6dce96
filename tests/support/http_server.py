#!/usr/bin/env python3
"""A small HTTP server for the tests: serves one folder on 127.0.0.1, or, with --silent, takes connections
and never answers. Prints its port on the first line; ends when its standard input closes."""
import argparse
import http.server
import os
import socket
import ssl
import sys
import threading
import urllib.parse


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--encoding", default="cp932", help="of the names in URLs")
    parser.add_argument("--cert", help="serve HTTPS with this certificate and key (PEM)")
    args = parser.parse_args()

    if args.silent:
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.bind(("127.0.0.1", 0))
        listener.listen(16)
        held = []

        def hold():
            while True:
                connection, _ = listener.accept()
                held.append(connection)  # kept open, never read or answered

        threading.Thread(target=hold, daemon=True).start()
        port = listener.getsockname()[1]
    else:
        class Handler(http.server.BaseHTTPRequestHandler):
            # The URL's path holds the name's CP932 bytes; the disk keeps names as the test FTP server
            # stores them (UTF-8), as a host whose FTP and web server agree on names.
            def do_GET(self):
                raw = urllib.parse.unquote_to_bytes(self.path.split("?")[0]).lstrip(b"/")
                try:
                    path = raw.decode(args.encoding)
                except UnicodeDecodeError:
                    self.send_error(404)
                    return
                full = os.path.join(args.root, path)
                if ".." in path.split("/") or not os.path.isfile(full):
                    self.send_error(404)
                    return
                with open(full, "rb") as f:
                    body = f.read()
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        if args.cert:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(args.cert)
            server.socket = context.wrap_socket(server.socket, server_side=True)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        port = server.server_address[1]

    print(port, flush=True)
    sys.stdin.read()
    os._exit(0)


if __name__ == "__main__":
    main()
