#!/usr/bin/env python3
"""Runs a test server for a test program that cannot read the server's standard output, as a Windows
program under wine cannot read a Linux program's: the server's first line (its port) goes into a file, and
the server lives as long as the test program keeps a "lifeline" connection open to this process, so it
never outlives the test, however the test program ends.

Usage: host_server.py PORT_FILE ERROR_FILE PROGRAM [ARGS...]
PORT_FILE receives "<server port> <lifeline port>" once the server is ready (written whole, then renamed).
"""
import os
import socket
import subprocess
import sys

port_file, error_file, command = sys.argv[1], sys.argv[2], sys.argv[3:]
errors = open(error_file, "wb") if error_file else subprocess.DEVNULL
child = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=errors)
port = child.stdout.readline().decode().strip()
lifeline = socket.socket()
lifeline.bind(("127.0.0.1", 0))
lifeline.listen(1)
lifeline.settimeout(30)
with open(port_file + ".part", "w") as out:
    out.write(f"{port or 0} {lifeline.getsockname()[1]}\n")
os.replace(port_file + ".part", port_file)
try:
    connection, _ = lifeline.accept()
    connection.settimeout(None)
    while connection.recv(4096):
        pass
except OSError:
    pass
child.kill()
child.wait()
