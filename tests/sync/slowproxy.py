#!/usr/bin/python3
"""A server that answers slowly: a proxy in front of another on loopback that waits before each
answer and sends its body in small pieces with pauses between them.

usage: slowproxy.py UPSTREAM_PORT DELAY_MS   (prints its own port, then serves until killed)"""
import http.client, http.server, socketserver, sys, time

upstream, delay = int(sys.argv[1]), int(sys.argv[2]) / 1000


class Proxy(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def __getattr__(self, name):
        if name.startswith("do_"):
            return self.forward
        raise AttributeError(name)

    def forward(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        conn = http.client.HTTPConnection("127.0.0.1", upstream, timeout=600)
        conn.request(self.command, self.path, body=body,
                     headers={k: v for k, v in self.headers.items() if k.lower() not in ("host", "connection")})
        r = conn.getresponse()
        data = r.read()
        time.sleep(delay)
        self.send_response(r.status)
        for k, v in r.getheaders():
            if k.lower() not in ("content-length", "connection"):
                self.send_header(k, v)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        piece = 16384
        for i in range(0, len(data), piece):
            self.wfile.write(data[i:i + piece])
            self.wfile.flush()
            time.sleep(delay / 20)


server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Proxy)
print(server.server_address[1], flush=True)
server.serve_forever()
