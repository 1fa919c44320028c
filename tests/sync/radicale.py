#!/usr/bin/python3
"""The command line's sync against a real Radicale on a free loopback port, with a "phone" made of
direct PUT and DELETE requests: both ways, conflict, rename, deletes kept, password refused."""
import base64, datetime, http.client, os, re, shutil, socket, subprocess, sys, tempfile, time

PROGRAM = os.path.abspath(sys.argv[1])
USER, PASSWORD = "alice", "segredo"
tmp = tempfile.mkdtemp()
server = None


def fail(message):
    print("FAIL:", message, file=sys.stderr)
    sys.exit(1)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def request(method, path, body=None, headers=None, auth=PASSWORD):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    h = {"Authorization": "Basic " + base64.b64encode(f"{USER}:{auth}".encode()).decode()}
    h.update(headers or {})
    conn.request(method, path, body=body, headers=h)
    r = conn.getresponse()
    data = r.read()
    conn.close()
    return r.status, data, r


def server_cards():
    """href -> card text, through the server's own listing."""
    status, body, _ = request("PROPFIND", BOOK, b'<propfind xmlns="DAV:"><prop><getetag/></prop></propfind>',
                              {"Depth": "1"})
    hrefs = [h for h in re.findall(r"<(?:\w+:)?href>([^<]+)</", body.decode()) if h.endswith(".vcf")]
    return {h: request("GET", h)[1].decode() for h in hrefs}


def fn(card):
    return re.search(r"^FN:(.*?)\r?$", card, re.M).group(1)


def write_store(records):
    text = '"' + "".join("§".join(r) + "\r\n" for r in records) + '\r\n"\r\n'
    with open(os.path.join(app, "LBcontatos.txt"), "wb") as f:
        f.write(b"\xef\xbb\xbf" + text.encode("utf-8"))


def read_store():
    data = open(os.path.join(app, "LBcontatos.txt"), "rb").read()
    try:
        text = data.removeprefix(b"\xef\xbb\xbf").decode("utf-8")
    except UnicodeDecodeError:
        text = data.decode("cp1252")
    lines = [l for l in text.replace('"', "").split("\r\n") if l.strip()]
    return {l.split("§")[0]: l.split("§") for l in lines}


def run(*args, stdin=PASSWORD + "\n", expect=0):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
    env.update(HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_DATA_HOME=home + "/data", QT_QPA_PLATFORM="")
    p = subprocess.run([os.path.join(app, "lurvane-brevicard"), *args], input=stdin, capture_output=True,
                       text=True, env=env, timeout=120)
    if p.returncode != expect:
        fail(f"{args}: exit {p.returncode}, expected {expect}\nstdout: {p.stdout}\nstderr: {p.stderr}")
    return p.stdout.strip(), p.stderr.strip()


try:
    port = free_port()
    home = os.path.join(tmp, "home")
    app = os.path.join(tmp, "app")
    os.makedirs(home)
    os.makedirs(app)
    shutil.copy(PROGRAM, os.path.join(app, "lurvane-brevicard"))
    with open(os.path.join(tmp, "users"), "w") as f:
        f.write(f"{USER}:{PASSWORD}\n")
    server = subprocess.Popen(
        ["/usr/bin/python3", "-m", "radicale", "--config", "", "--server-hosts", f"127.0.0.1:{port}",
         "--storage-filesystem-folder", os.path.join(tmp, "collections"), "--auth-type", "htpasswd",
         "--auth-htpasswd-filename", os.path.join(tmp, "users"), "--auth-htpasswd-encryption", "plain"],
        stdout=subprocess.DEVNULL, stderr=open(os.path.join(tmp, "radicale.log"), "w"))
    for _ in range(200):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.05)
    BOOK = f"/{USER}/contatos/"
    request("MKCOL", f"/{USER}/")
    status, _, _ = request("MKCOL", BOOK, b'<?xml version="1.0"?><mkcol xmlns="DAV:" '
                           b'xmlns:C="urn:ietf:params:xml:ns:carddav"><set><prop><resourcetype><collection/>'
                           b'<C:addressbook/></resourcetype></prop></set></mkcol>')
    if status != 201:
        fail(f"address book not made: {status}")
    today = datetime.date.today().strftime("%d/%m/%Y")

    # No account yet; then the account found from the server's bare address (well-known, principal,
    # home set, the one address book).
    run("--sync", expect=2)
    out, err = run("--sync-account", f"http://127.0.0.1:{port}/", "--user", USER, "--password-stdin")
    if BOOK not in out:
        fail(f"account not found: {out} {err}")
    if not os.listdir(home + "/config/Lurvane Brevicard") or any(
            PASSWORD in open(os.path.join(r, n), errors="replace").read()
            for r, _, ns in os.walk(home) for n in ns):
        fail("the password went into a file")
    out, err = run("--sync", "--password-stdin", stdin="errada\n", expect=1)
    if "Senha recusada" not in err:
        fail(f"wrong password: {err}")

    # Up: two local contacts, one with an accent the old code page holds and one it does not.
    write_store([["Ana", "111", "ana@x.com", "", "", "01/01/2020"], ["Bia Ł", "222", "", "Rua A¤Centro", "", "01/01/2020"]])
    out, _ = run("--sync", "--password-stdin")
    if out != "Sincronizado: 0 recebidos, 2 enviados, 0 mesclados, 0 conflitos, 0 ignorados":
        fail(f"first sync: {out}")
    cards = server_cards()
    if sorted(map(fn, cards.values())) != ["Ana", "Bia Ł"]:
        fail(f"server after first sync: {cards}")
    ana = next(h for h, c in cards.items() if fn(c) == "Ana")
    bia = next(h for h, c in cards.items() if fn(c) != "Ana")
    if not re.search(r"^UID:[0-9a-f-]{36}\r?$", cards[ana], re.M) or not ana.endswith(".vcf") or "Ana" in ana:
        fail(f"new card's UID or href: {ana} {cards[ana]}")

    # The phone: a new card, an edit that adds what the program does not map, a delete.
    status, _, _ = request("PUT", BOOK + "caio.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:caio\r\nFN:Caio\r\nN:;Caio;;;\r\n"
                           "TEL;TYPE=CELL:333\r\nX-APELIDO:Caiozinho\r\nEND:VCARD\r\n".encode(),
                           {"Content-Type": "text/vcard", "If-None-Match": "*"})
    status2, _, _ = request("PUT", ana, cards[ana].replace("TEL:111", "TEL:112").replace(
        "END:VCARD", "BDAY:1990-01-02\r\nEND:VCARD").encode(), {"Content-Type": "text/vcard"})
    status3, _, _ = request("DELETE", bia)
    if (status, status2, status3) != (201, 201, 200) and status2 not in (201, 204):
        fail(f"phone requests: {status} {status2} {status3}")
    out, _ = run("--sync", "--password-stdin")
    if out != "Sincronizado: 3 recebidos, 0 enviados, 0 mesclados, 0 conflitos, 0 ignorados":
        fail(f"down: {out}")
    local = read_store()
    if sorted(local) != ["Ana", "Caio"] or local["Ana"][1] != "112" or local["Caio"][5] != today:
        fail(f"local after down: {local}")
    backup = open(os.path.join(home, "data/Lurvane Brevicard", f"contatos-excluidos-{datetime.date.today()}.vcf"),
                  encoding="utf-8").read()
    if "FN:Bia Ł" not in backup:
        fail(f"deleted contact not kept: {backup}")

    # Nothing changed: nothing done.
    out, _ = run("--sync", "--password-stdin")
    if out != "Sincronizado: 0 recebidos, 0 enviados, 0 mesclados, 0 conflitos, 0 ignorados":
        fail(f"idle sync: {out}")

    # The same field changed on both sides; a local rename of Caio (same phone).
    cards = server_cards()
    request("PUT", ana, cards[ana].replace("TEL:112", "TEL:113").encode(), {"Content-Type": "text/vcard"})
    local["Ana"][1] = "114"
    local["Caio"][0] = "Caio Lima"
    write_store(local.values())
    out, _ = run("--sync", "--password-stdin")
    if "1 conflitos" not in out:
        fail(f"conflict: {out}")
    local = read_store()
    conflict = f"Ana (conflito {today})"
    if sorted(local) != sorted(["Ana", conflict, "Caio Lima"]) or local["Ana"][1] != "113" \
            or local[conflict][1] != "114":
        fail(f"local after conflict: {local}")
    cards = server_cards()
    if sorted(map(fn, cards.values())) != sorted(["Ana", conflict, "Caio Lima"]):
        fail(f"server after conflict: {list(map(fn, cards.values()))}")
    caio = cards.get(BOOK + "caio.vcf", "")
    if "FN:Caio Lima" not in caio or "X-APELIDO:Caiozinho" not in caio or "UID:caio" not in caio:
        fail(f"rename did not keep the card: {caio}")
    if "BDAY:1990-01-02" not in cards[ana]:
        fail(f"the server's birthday was lost: {cards[ana]}")
    print("ok")
finally:
    if server:
        server.terminate()
        server.wait()
    shutil.rmtree(tmp, ignore_errors=True)
