#!/usr/bin/python3
"""What a real server will not do on request, made by a small proxy in front of Radicale: a
refused sync-collection, an HTML page for XML, a connection dropped mid-body, a 500 after the
PUT was stored, a PUT answered without ETag, a 503 with Retry-After, no answer at all, a card
changed between the listing and the PUT (412), a change list sent in parts (507 for the collection,
with a token for the rest). After each: local count = server count, nothing lost, nothing doubled."""
import glob, http.client, http.server, os, re, socketserver, sys, threading
import xml.etree.ElementTree as ET

from davtest import USER, Setup, card, fail, free_port

mode = {"name": None, "count": 0}
pages = []
PAGE = "urn:x-proxy:page:"


def truncated(path, body):
    """The whole collection as a change list, two cards a part: each part but the last says 507
    for the collection and gives a token the proxy itself answers with the next part."""
    token = re.search(rb"<(?:\w+:)?sync-token>([^<]*)<", body).group(1).decode()
    if not token.startswith(PAGE):
        status, data, _ = s.request("REPORT", path, re.sub(rb"<((?:\w+:)?sync-token)>[^<]*<", rb"<\1><", body),
                                    {"Depth": "0", "Content-Type": "application/xml"}, port=upstream)
        root = ET.fromstring(data)
        found = root.findall("{DAV:}response")
        pages[:] = [found[i:i + 2] for i in range(0, len(found), 2)] or [[]]
        pages.append(root.find("{DAV:}sync-token").text)
        token = PAGE + "0"
    n = int(token[len(PAGE):])
    root = ET.Element("{DAV:}multistatus")
    root.extend(pages[n])
    last = n + 2 >= len(pages)
    if not last:
        more = ET.SubElement(root, "{DAV:}response")
        ET.SubElement(more, "{DAV:}href").text = path
        ET.SubElement(more, "{DAV:}status").text = "HTTP/1.1 507 Insufficient Storage"
    ET.SubElement(root, "{DAV:}sync-token").text = pages[-1] if last else PAGE + str(n + 1)
    return ET.tostring(root, xml_declaration=True, encoding="utf-8")


class Proxy(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def __getattr__(self, name):
        if name.startswith("do_"):
            return self.forward
        raise AttributeError(name)

    def answer(self, status, body=b"", headers=()):
        self.send_response(status)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def forward(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        m, listing = mode["name"], self.command in ("REPORT", "PROPFIND")
        if m == "refuse":
            self.close_connection = True
            return
        if m == "sync403" and b"sync-collection" in body:
            return self.answer(403)
        if m == "truncate" and b"sync-collection" in body:
            return self.answer(207, truncated(self.path, body), [("Content-Type", "application/xml")])
        if m == "html" and listing:
            return self.answer(200, b"<html><body>Entrar</body></html>", [("Content-Type", "text/html")])
        if m == "race412" and self.command == "PUT" and "If-Match" in self.headers and mode["count"] == 0:
            # The phone changes the card between the program's listing and its PUT.
            mode["count"] += 1
            s.put(self.path, body.decode().replace("END:VCARD", "X-FONE:sim\r\nEND:VCARD"))
        if m == "retry503" and self.command == "PUT" and mode["count"] == 0:
            mode["count"] += 1
            return self.answer(503, headers=[("Retry-After", "1")])
        conn = http.client.HTTPConnection("127.0.0.1", upstream, timeout=60)
        conn.request(self.command, self.path, body=body,
                     headers={k: v for k, v in self.headers.items() if k.lower() not in ("host", "connection")})
        r = conn.getresponse()
        data = r.read()
        headers = [(k, v) for k, v in r.getheaders() if k.lower() not in ("content-length", "connection")]
        if m == "put500" and self.command == "PUT":
            return self.answer(500)
        if m == "noetag" and self.command == "PUT":
            headers = [(k, v) for k, v in headers if k.lower() != "etag"]
        if m == "drop" and listing and len(data) > 100:
            self.send_response(r.status)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data[: len(data) // 2])
            self.close_connection = True
            return
        self.answer(r.status, data, headers)


s = Setup(os.path.abspath(sys.argv[1]))
proxy = socketserver.ThreadingTCPServer(("127.0.0.1", free_port()), Proxy)
threading.Thread(target=proxy.serve_forever, daemon=True).start()
upstream = s.port
try:
    port = proxy.server_address[1]
    s.run("--sync-account", f"http://127.0.0.1:{port}{s.book}", "--user", USER, "--password-stdin")
    s.write_store([[n, str(i), "", "", "", "01/01/2020"] for i, n in enumerate(["Ana", "Bia", "Caio"])])
    s.sync()
    store = lambda: open(os.path.join(s.app, "LBcontatos.txt"), "rb").read()
    n = 0

    # (mode, expected exit, what stderr says): the phone adds a card and the file a contact before each.
    for name, code, says in [("sync403", 0, ""), ("html", 1, "Resposta inesperada"), ("drop", 1, "Sem conexão"),
                             ("refuse", 1, "Sem conexão"), ("put500", 1, "respondeu 500"), ("noetag", 0, ""),
                             ("retry503", 0, ""), ("race412", 0, ""), ("truncate", 0, "")]:
        n += 1
        s.put(s.book + f"fone{n}.vcf", card(f"fone{n}", f"Fone {n}", f"9{n}"))
        local = s.read_store()
        local[f"Local {n}"] = [f"Local {n}", f"8{n}", "", "", "", "01/01/2020"]
        local["Ana"][1] = f"1{n}"
        s.write_store(local.values())
        before = store()
        mode.update(name=name, count=0)
        out, err = s.sync(expect=code)
        if says not in err:
            fail(f"{name}: {err}")
        if code and name != "put500" and store() != before:
            fail(f"{name}: the contacts file changed on a failed sync")
        if name == "truncate" and f"Fone {n}" not in s.read_store():
            fail(f"{name}: a card of a later part was missed")
        mode.update(name=None)
        s.sync()
        s.sync()
        local, remote = sorted(s.read_store()), s.names()
        ana = next(c for c in s.cards().values() if "FN:Ana\r" in c)
        if local != remote or len(set(remote)) != len(remote) or len(local) != 3 + 2 * n or f"TEL:1{n}\r" not in ana:
            fail(f"{name}: local {local} server {remote}")
        print(name, code, err or out)

    # A first sync whose listing comes in parts: a card of a later part taken as missing would
    # have its contact sent again as a new card.
    for state in glob.glob(os.path.join(s.home, "data", "**", "sync-*.state"), recursive=True):
        os.remove(state)
    mode.update(name="truncate")
    s.sync()
    mode.update(name=None)
    local, remote = sorted(s.read_store()), s.names()
    if local != remote or len(set(remote)) != len(remote):
        fail(f"truncated first sync: local {local} server {remote}")
    print("ok")
finally:
    proxy.shutdown()
    s.close()
