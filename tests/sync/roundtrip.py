#!/usr/bin/python3
"""The command line's sync against a real server (Radicale, or xandikos with "xandikos"), with a
"phone" made of direct PUT and DELETE requests: both ways, conflict, rename, deletes kept,
password refused."""
import datetime, fcntl, os, re, sys

from davtest import PASSWORD, USER, Setup, card, fail, fn

kind = sys.argv[2] if len(sys.argv) > 2 else "radicale"
s = Setup(os.path.abspath(sys.argv[1]), kind)
try:
    today = datetime.date.today().strftime("%d/%m/%Y")
    summary = "Sincronizado: {} recebidos, {} enviados, {} mesclados, {} conflitos, 0 ignorados"

    # No account yet; then the account found from the server's bare address (well-known, principal,
    # home set, the one address book).
    out, _ = s.run("--help")
    if not all(o in out for o in ("--sync-account", "--sync ", "--password-stdin", "--trust-fingerprint", "--force-delete")):
        fail(f"--help: {out}")
    s.run("--sync", expect=2)
    _, err = s.run("--sync-account", "http://192.0.2.1/dav/", "--user", USER, expect=2)
    if "HTTPS" not in err:
        fail(f"plain HTTP to another machine: {err}")
    out, err = s.run("--sync-account", f"http://127.0.0.1:{s.port}/", "--user", USER, "--password-stdin")
    if s.book not in out:
        fail(f"account not found: {out} {err}")
    if any(PASSWORD in open(os.path.join(r, n), errors="replace").read() for r, _, ns in os.walk(s.home) for n in ns):
        fail("the password went into a file")
    if kind == "radicale":
        _, err = s.run("--sync", "--password-stdin", stdin="errada\n", expect=1)
        if "Senha recusada" not in err:
            fail(f"wrong password: {err}")

    # Up: two local contacts, one with a character the old code page cannot hold.
    s.write_store([["Ana", "111", "ana@x.com", "", "", "01/01/2020"], ["Bia Ł", "222", "", "Rua A¤Centro", "", "01/01/2020"]])
    out, _ = s.sync()
    if out != summary.format(0, 2, 0, 0):
        fail(f"first sync: {out}")
    cards = s.cards()
    if s.names() != ["Ana", "Bia Ł"]:
        fail(f"server after first sync: {cards}")
    ana = next(h for h, c in cards.items() if fn(c) == "Ana")
    bia = next(h for h, c in cards.items() if fn(c) != "Ana")
    if not re.search(r"^UID:[0-9a-f-]{36}\r?$", cards[ana], re.M) or "Ana" in ana:
        fail(f"new card's UID or href: {ana} {cards[ana]}")

    # The phone: a new card, an edit that adds what the program does not map, a delete.
    statuses = (s.put(s.book + "caio.vcf", card("caio", "Caio", "333", "X-APELIDO:Caiozinho\r\n"), {"If-None-Match": "*"}),
                s.put(ana, cards[ana].replace("TEL:111", "TEL:112").replace("END:VCARD", "BDAY:1990-01-02\r\nEND:VCARD")),
                s.request("DELETE", bia)[0])
    if any(st >= 300 for st in statuses):
        fail(f"phone requests: {statuses}")
    out, _ = s.sync()
    if out != summary.format(3, 0, 0, 0):
        fail(f"down: {out}")
    local = s.read_store()
    if sorted(local) != ["Ana", "Caio"] or local["Ana"][1] != "112" or local["Caio"][5] != today:
        fail(f"local after down: {local}")
    backup = open(os.path.join(s.home, "data/Lurvane Brevicard", f"contatos-excluidos-{datetime.date.today()}.vcf"),
                  encoding="utf-8").read()
    if "FN:Bia Ł" not in backup:
        fail(f"deleted contact not kept: {backup}")

    # Nothing changed: nothing done.
    out, _ = s.sync()
    if out != summary.format(0, 0, 0, 0):
        fail(f"idle sync: {out}")

    # A sync already running (the window's, say): the second says so and changes nothing.
    data = os.path.join(s.home, "data/Lurvane Brevicard")
    with open(os.path.join(data, next(n for n in os.listdir(data) if n.endswith(".lock")))) as held:
        fcntl.flock(held, fcntl.LOCK_EX)
        _, err = s.sync(expect=1)
    if "em andamento" not in err:
        fail(f"two syncs at once: {err}")

    # The same field changed on both sides; a local rename of Caio (same phone).
    cards = s.cards()
    s.put(ana, cards[ana].replace("TEL:112", "TEL:113"))
    local["Ana"][1] = "114"
    local["Caio"][0] = "Caio Lima"
    s.write_store(local.values())
    out, _ = s.sync()
    if out != summary.format(2, 2, 0, 1):
        fail(f"conflict: {out}")
    local = s.read_store()
    conflict = f"Ana (conflito {today})"
    if sorted(local) != sorted(["Ana", conflict, "Caio Lima"]) or local["Ana"][1] != "113" or local[conflict][1] != "114":
        fail(f"local after conflict: {local}")
    cards = s.cards()
    if s.names() != sorted(["Ana", conflict, "Caio Lima"]):
        fail(f"server after conflict: {s.names()}")
    caio = cards.get(s.book + "caio.vcf", "")
    if "FN:Caio Lima" not in caio or "X-APELIDO:Caiozinho" not in caio or "UID:caio" not in caio:
        fail(f"rename did not keep the card: {caio}")
    if "BDAY:1990-01-02" not in cards[ana]:
        fail(f"the server's birthday was lost: {cards[ana]}")

    # An edit that keeps the file's length and time is still sent; a state cut short stops the sync.
    path = os.path.join(s.app, "LBcontatos.txt")
    before = os.stat(path)
    edited = open(path, "rb").read().replace(b"113", b"118")
    with open(path, "wb") as f:
        f.write(edited)
    os.utime(path, ns=(before.st_atime_ns, before.st_mtime_ns))
    out, _ = s.sync()
    if out != summary.format(0, 1, 0, 0) or "TEL:118" not in s.cards()[ana]:
        fail(f"an edit of the same length and time: {out}")
    state = os.path.join(data, next(n for n in os.listdir(data) if n.endswith(".state")))
    os.truncate(state, os.path.getsize(state) - 1)
    _, err = s.sync(expect=1)
    if "ilegível" not in err or open(path, "rb").read() != edited:
        fail(f"a state cut short: {err}")
    print("ok")
finally:
    s.close()
