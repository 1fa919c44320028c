#!/usr/bin/python3
"""A server that answers slowly: a proxy in front of another on loopback that waits DELAY_MS
before each answer, then sends it in pieces with pauses between them.
usage: slowproxy.py UPSTREAM_PORT DELAY_MS   (prints its own port, then serves until killed)"""
import http.client, http.server, socketserver, sys, time

upstream, delay = int(sys.argv[1]), int(sys.argv[2]) / 1000


class Proxy(http.server.BaseHTTPRequestHandler):
    def forward(self):
        conn = http.client.HTTPConnection("127.0.0.1", upstream, timeout=600)
        conn.request(self.command, self.path, self.rfile.read(int(self.headers.get("Content-Length", 0))),
                     {k: v for k, v in self.headers.items() if k.lower() not in ("host", "connection")})
        r = conn.getresponse()
        data = r.read()
        time.sleep(delay)
        self.send_response(r.status)
        for k, v in r.getheaders():
            if k.lower() not in ("content-length", "connection"):
                self.send_header(k, v)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        for i in range(0, len(data), 16384):
            self.wfile.write(data[i:i + 16384])
            time.sleep(delay / 20)

    do_GET = do_PUT = do_DELETE = do_PROPFIND = do_REPORT = do_MKCOL = forward
    log_message = lambda *args: None


server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Proxy)
print(server.server_address[1], flush=True)
server.serve_forever()
