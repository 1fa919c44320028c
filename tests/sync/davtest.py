"""Shared pieces of the sync tests: a real CardDAV server on a free loopback port in a temporary
folder, stopped by process id; the program run as a user runs it, without a display; the
contacts file read and written; the server's cards read directly."""
import base64, http.client, os, re, shutil, socket, ssl, subprocess, sys, tempfile, time

USER, PASSWORD = "alice", "segredo"


def fail(message):
    print("FAIL:", message, file=sys.stderr)
    sys.exit(1)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_port(port):
    for _ in range(400):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    fail(f"nothing answers on port {port}")


class Setup:
    def __init__(self, program, kind="radicale", server_options=()):
        self.tmp = tempfile.mkdtemp()
        self.processes = []
        self.home = os.path.join(self.tmp, "home")
        self.app = os.path.join(self.tmp, "app")
        os.makedirs(self.home)
        os.makedirs(self.app)
        shutil.copy(program, os.path.join(self.app, "lurvane-brevicard"))
        self.port = free_port()
        log = open(os.path.join(self.tmp, "server.log"), "w")
        self.scheme = "http"
        if kind == "radicale-tls":
            # A certificate no one signed: the program must refuse it until told its fingerprint.
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                            "/CN=127.0.0.1", "-keyout", f"{self.tmp}/key.pem", "-out", f"{self.tmp}/cert.pem"],
                           check=True, capture_output=True)
            server_options = [*server_options, "--server-ssl", "True", "--server-certificate", f"{self.tmp}/cert.pem",
                              "--server-key", f"{self.tmp}/key.pem"]
            kind, self.scheme = "radicale", "https"
        if kind == "radicale":
            with open(os.path.join(self.tmp, "users"), "w") as f:
                f.write(f"{USER}:{PASSWORD}\n")
            command = ["/usr/bin/python3", "-m", "radicale", "--config", "", "--server-hosts", f"127.0.0.1:{self.port}",
                       "--storage-filesystem-folder", os.path.join(self.tmp, "collections"), "--auth-type", "htpasswd",
                       "--auth-htpasswd-filename", os.path.join(self.tmp, "users"),
                       "--auth-htpasswd-encryption", "plain", *server_options]
            self.book = f"/{USER}/contatos/"
        else:
            command = ["/usr/bin/xandikos", "-d", os.path.join(self.tmp, "xandikos"), "-l", "127.0.0.1",
                       "-p", str(self.port), "--defaults", "--current-user-principal", f"/{USER}"]
            self.book = f"/{USER}/contacts/addressbook/"
        self.command, self.log = command, log
        self.processes.append(subprocess.Popen(command, stdout=log, stderr=log))
        wait_port(self.port)
        if kind == "radicale":
            self.request("MKCOL", f"/{USER}/")
            status, _, _ = self.request("MKCOL", self.book, b'<?xml version="1.0"?><mkcol xmlns="DAV:" '
                                        b'xmlns:C="urn:ietf:params:xml:ns:carddav"><set><prop><resourcetype>'
                                        b'<collection/><C:addressbook/></resourcetype></prop></set></mkcol>')
            if status != 201:
                fail(f"address book not made: {status}")

    def kill_server(self):
        self.processes[0].kill()
        self.processes[0].wait()

    def restart_server(self):
        self.processes[0] = subprocess.Popen(self.command, stdout=self.log, stderr=self.log)
        wait_port(self.port)

    def close(self):
        for p in self.processes:
            p.terminate()
            p.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def request(self, method, path, body=None, headers=None, port=None):
        if self.scheme == "https":
            conn = http.client.HTTPSConnection("127.0.0.1", port or self.port, timeout=900,
                                               context=ssl._create_unverified_context())
        else:
            conn = http.client.HTTPConnection("127.0.0.1", port or self.port, timeout=900)
        h = {"Authorization": "Basic " + base64.b64encode(f"{USER}:{PASSWORD}".encode()).decode()}
        h.update(headers or {})
        conn.request(method, path, body=body, headers=h)
        r = conn.getresponse()
        data = r.read()
        conn.close()
        return r.status, data, r

    def put(self, href, card, headers=None):
        return self.request("PUT", href, card.encode(), {"Content-Type": "text/vcard", **(headers or {})})[0]

    def cards(self):
        """href -> card text, through the server's own listing."""
        _, body, _ = self.request("PROPFIND", self.book, b'<propfind xmlns="DAV:"><prop><getetag/></prop></propfind>',
                                  {"Depth": "1", "Content-Type": "application/xml"})
        hrefs = [h for h in re.findall(r"<(?:\w+:)?href>([^<]+)</", body.decode()) if h.endswith(".vcf")]
        return {h: self.request("GET", h)[1].decode() for h in hrefs}

    def names(self):
        return sorted(fn(c) for c in self.cards().values())

    def write_store(self, records):
        text = '"' + "".join("§".join(r) + "\r\n" for r in records) + '\r\n"\r\n'
        with open(os.path.join(self.app, "LBcontatos.txt"), "wb") as f:
            f.write(b"\xef\xbb\xbf" + text.encode("utf-8"))

    def read_store(self):
        data = open(os.path.join(self.app, "LBcontatos.txt"), "rb").read()
        try:
            text = data.removeprefix(b"\xef\xbb\xbf").decode("utf-8")
        except UnicodeDecodeError:
            text = data.decode("cp1252")
        lines = [l for l in text.replace('"', "").split("\r\n") if l.strip()]
        return {l.split("§")[0]: l.split("§") for l in lines}

    def start(self, *args, stdin=PASSWORD + "\n"):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
        env.update(HOME=self.home, XDG_CONFIG_HOME=self.home + "/config", XDG_DATA_HOME=self.home + "/data")
        p = subprocess.Popen([os.path.join(self.app, "lurvane-brevicard"), *args], stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
        p.stdin.write(stdin)
        p.stdin.close()
        p.stdin = None
        return p

    def run(self, *args, stdin=PASSWORD + "\n", expect=0):
        p = self.start(*args, stdin=stdin)
        out, err = p.communicate(timeout=300)
        if p.returncode != expect:
            fail(f"{args}: exit {p.returncode}, expected {expect}\nstdout: {out}\nstderr: {err}")
        return out.strip(), err.strip()

    def sync(self, expect=0):
        return self.run("--sync", "--password-stdin", expect=expect)


def fn(card):
    return re.search(r"^FN:(.*?)\r?$", card, re.M).group(1)


def card(uid, name, tel, extra=""):
    return f"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:{uid}\r\nFN:{name}\r\nN:;{name};;;\r\nTEL:{tel}\r\n{extra}END:VCARD\r\n"
