#!/usr/bin/env python3
"""Serves a folder on 127.0.0.1 at a free port, written to the file given, until it is killed.

    loopback_http.py FOLDER PORT_FILE
"""
import functools
import http.server
import sys


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def main():
    folder, port_file = sys.argv[1], sys.argv[2]
    handler = functools.partial(Quiet, directory=folder)
    with http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler) as server:
        with open(port_file + ".tmp", "w") as out:
            out.write(str(server.server_address[1]))
        import os
        os.replace(port_file + ".tmp", port_file)
        server.serve_forever()


if __name__ == "__main__":
    main()
