#!/usr/bin/python3
"""The program killed with SIGKILL at random points of a 200-contact sync, and the server killed
mid-sync and started again: after each, a sync that runs to its end leaves local count = server
count, no UID twice, and every contact's phone on both sides."""
import os, random, re, sys, time

from davtest import USER, Setup, card, fail

s = Setup(os.path.abspath(sys.argv[1]))
rounds = int(os.environ.get("KILL_ROUNDS", "8"))
random.seed(int(os.environ.get("KILL_SEED", "19")))
try:
    s.run("--sync-account", f"http://127.0.0.1:{s.port}{s.book}", "--user", USER, "--password-stdin")
    expected = {f"Contato {i:03}": f"{i:04}" for i in range(150)}
    s.write_store([[n, t, "", "", "", "01/01/2020"] for n, t in expected.items()])
    for i in range(50):
        s.put(s.book + f"fone{i}.vcf", card(f"fone{i}", f"Fone {i:02}", f"7{i:03}"))
        expected[f"Fone {i:02}"] = f"7{i:03}"
    killed = 0

    def check(label):
        s.sync()
        local = {n: r[1] for n, r in s.read_store().items()}
        cards = s.cards().values()
        remote = {re.search(r"^FN:(.*?)\r?$", c, re.M).group(1): re.search(r"^TEL[^:]*:(.*?)\r?$", c, re.M).group(1)
                  for c in cards}
        uids = [re.search(r"^UID:(.*?)\r?$", c, re.M).group(1) for c in cards]
        if local != expected or remote != expected or len(set(uids)) != len(uids):
            fail(f"{label}: {len(local)} local, {len(remote)} on the server, {len(uids) - len(set(uids))} UIDs twice; "
                 f"missing locally {set(expected) - set(local)}, on the server {set(expected) - set(remote)}")

    for r in range(rounds):
        # A change on each side, then the sync killed somewhere in its run.
        local = s.read_store()
        name = f"Contato {r:03}"
        local[name][1] = expected[name] = f"{r}99"
        s.write_store(local.values())
        p = s.start("--sync", "--password-stdin")
        time.sleep(random.uniform(0, 2.5))
        if p.poll() is None:
            p.kill()
            killed += 1
        p.wait()
    check(f"after {killed} kills in {rounds} syncs")

    # The server killed in the middle of a sync, and started again.
    local = s.read_store()
    for i in range(20):
        local[f"Novo {i:02}"] = [f"Novo {i:02}", f"5{i:03}", "", "", "", "01/01/2020"]
        expected[f"Novo {i:02}"] = f"5{i:03}"
    s.write_store(local.values())
    p = s.start("--sync", "--password-stdin")
    time.sleep(0.7)
    s.kill_server()
    p.wait()
    s.restart_server()
    check("after the server was killed")
    print(f"ok: {killed} of {rounds} syncs killed, then {len(expected)} contacts alike on both sides")
finally:
    s.close()
