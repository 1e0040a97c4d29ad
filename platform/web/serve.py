#!/usr/bin/python3
"""Serves the browser build's folder on 127.0.0.1 (Python's http.server, the
module with its own type) and prints the address to open.

usage: serve.py FOLDER [PORT]   (PORT 0 or none: a free one)"""
import functools
import http.server
import sys
import threading


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{'.wasm': 'application/wasm', '.js': 'text/javascript'})

    def log_message(self, *args):
        pass


def serve(folder, port=0):
    """Serves `folder` in a thread; returns (server, base address)."""
    server = http.server.ThreadingHTTPServer(('127.0.0.1', port), functools.partial(Handler, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, 'http://127.0.0.1:%d/' % server.server_address[1]


def main():
    if len(sys.argv) not in (2, 3) or (len(sys.argv) == 3 and not sys.argv[2].isdigit()):
        sys.exit('usage: serve.py FOLDER [PORT]')
    try:
        server, base = serve(sys.argv[1], int(sys.argv[2]) if len(sys.argv) == 3 else 0)
    except OSError as error:
        sys.exit('serve: cannot listen on 127.0.0.1: %s' % error)
    print('oddball: open %sindex.html to play the show (the single-file page: %soddball.html); '
          'Ctrl-C stops the server' % (base, base), flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        server.shutdown()


if __name__ == '__main__':
    main()
