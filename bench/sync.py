#!/usr/bin/python3
"""The sync against vdirsyncer 0.19 (Debian's), each case run by both in the same run against one
Radicale on loopback: the program with its contacts file, vdirsyncer with a folder of .vcf files as
its peer. Prints wall time, the program's own CPU time and peak memory, and the requests each made
(counted in Radicale's log). Then the first download's peak memory against the program's own
without sync: its window (offscreen platform, a home of its own, so no account and no sync)
started on the same contacts file, once its memory has stopped growing.

usage: bench/sync.py BUILD_DIR/lurvane-brevicard [DOWN [UP [PAIRS]]]   (10000, 1000 and 3 by default)"""
import glob, os, resource, shutil, subprocess, sys, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/sync"))
from davtest import PASSWORD, USER, Setup, card, fail  # noqa: E402

down = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
up = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
pairs = int(sys.argv[4]) if len(sys.argv) > 4 else 3
s = Setup(os.path.abspath(sys.argv[1]), "radicale", ["--logging-level", "info"])
rows = []


def requests():
    return open(os.path.join(s.tmp, "server.log"), errors="replace").read().count(" response status for ")


def timed(label, command, env=None, stdin=None):
    before = requests()
    start = time.monotonic()
    # Its own CPU time, children included, as the program's.
    cpu = resource.getrusage(resource.RUSAGE_CHILDREN)
    p = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    out, err = p.communicate(stdin)
    wall = time.monotonic() - start
    if p.returncode:
        fail(f"{label}: {err.decode()} {out.decode()}")
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, requests() - before, after.ru_utime + after.ru_stime - cpu.ru_utime - cpu.ru_stime


def program(label):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
    env.update(HOME=s.home, XDG_CONFIG_HOME=s.home + "/config", XDG_DATA_HOME=s.home + "/data")
    before = requests()
    start = time.monotonic()
    p = subprocess.Popen([os.path.join(s.app, "lurvane-brevicard"), "--sync", "--password-stdin"],
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    p.stdin.write((PASSWORD + "\n").encode())
    p.stdin.close()
    _, status, usage = os.wait4(p.pid, 0)
    wall = time.monotonic() - start
    if status:
        fail(f"{label}: {p.stderr.read().decode()}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024, requests() - before


def vdirsyncer(label, book, folder):
    conf = os.path.join(s.tmp, f"vdir-{folder}.conf")
    with open(conf, "w") as f:
        f.write(f'[general]\nstatus_path = "{s.tmp}/status-{folder}/"\n'
                f'[pair p]\na = "local"\nb = "server"\ncollections = null\nconflict_resolution = "a wins"\n'
                f'[storage local]\ntype = "filesystem"\npath = "{s.tmp}/{folder}/"\nfileext = ".vcf"\n'
                f'[storage server]\ntype = "carddav"\nurl = "http://127.0.0.1:{s.port}{book}"\n'
                f'username = "{USER}"\npassword = "{PASSWORD}"\n')
    os.makedirs(os.path.join(s.tmp, folder), exist_ok=True)
    env = dict(os.environ, HOME=s.home)
    # Its set-up, as the program's --sync-account, is not timed.
    if not os.path.isdir(f"{s.tmp}/status-{folder}"):
        subprocess.run(["vdirsyncer", "-c", conf, "discover", "p"], env=env, input=b"y\n" * 10, capture_output=True)
    return timed(label, ["vdirsyncer", "-c", conf, "sync"], env, b"y\n" * 10)


def window_memory():
    """Peak resident memory (MB) of the window on the same contacts file, without any sync."""
    home = os.path.join(s.tmp, "window-home")
    os.makedirs(home, exist_ok=True)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=home, XDG_CONFIG_HOME=home + "/config",
               XDG_DATA_HOME=home + "/data", XDG_RUNTIME_DIR=home)
    p = subprocess.Popen([os.path.join(s.app, "lurvane-brevicard")], env=env, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    peak, steady = 0, 0
    try:
        for _ in range(100):  # up to 20 s; done once the peak holds for a second
            time.sleep(0.2)
            with open(f"/proc/{p.pid}/status") as f:
                now = next(int(l.split()[1]) for l in f if l.startswith("VmHWM:"))
            steady = steady + 1 if now == peak and now > 0 else 0
            peak = now
            if steady >= 5:
                break
    finally:
        p.terminate()
        p.wait()
    return peak / 1024


def case(label, ours, theirs):
    w, cpu, rss, n = ours
    vw, vn, vcpu = theirs
    rows.append(f"{label:<34} {w:8.2f} s {cpu * 1000:8.0f} ms {rss:7.0f} MB {n:6}   {vw:8.2f} s {vcpu * 1000:8.0f} ms "
                f"{vn:6}   {vw / w:5.1f}x")


try:
    # The server's cards written straight into its folder: Radicale takes in only about a dozen
    # a second through PUT once it holds a few thousand.
    folder = os.path.join(s.tmp, "collections/collection-root", USER, "contatos")
    for i in range(down):
        with open(os.path.join(folder, f"c{i:05}.vcf"), "w") as f:
            f.write(card(f"c{i:05}", f"Contato {i:05}", f"{i:08}", f"EMAIL:c{i}@example.com\r\nNOTE:nota {i}\r\n"))
    # Radicale reads each card once into its cache, and gives each its change history at the first
    # change list (a card it took through PUT has one from the start): done here for both, untimed.
    s.request("PROPFIND", s.book, b'<propfind xmlns="DAV:"><prop><getetag/></prop></propfind>',
              {"Depth": "1", "Content-Type": "application/xml"})
    s.request("REPORT", s.book, b'<sync-collection xmlns="DAV:"><sync-token/><sync-level>1</sync-level>'
              b'<prop><getetag/></prop></sync-collection>', {"Depth": "0", "Content-Type": "application/xml"})
    s.run("--sync-account", f"http://127.0.0.1:{s.port}{s.book}", "--user", USER, "--password-stdin")
    first = program("down")
    case(f"first sync, {down} down", first, vdirsyncer("down", s.book, "vcf"))
    window = window_memory()
    case(f"nothing changed, {down}", program("idle"), vdirsyncer("idle", s.book, "vcf"))
    # One change on each side.
    local = s.read_store()
    local["Contato 00001"][1] = "111"
    s.write_store(local.values())
    vcf = os.path.join(s.tmp, "vcf", os.listdir(os.path.join(s.tmp, "vcf"))[1])
    text = open(vcf).read()
    open(vcf, "w").write(text.replace("TEL:", "TEL:9"))
    s.put(s.book + "c00002.vcf", card("c00002", "Contato 00002", "222"))
    s.put(s.book + "c00003.vcf", card("c00003", "Contato 00003", "333"))
    case(f"one change each side, {down}", program("one"), vdirsyncer("one", s.book, "vcf"))

    # Up: each run its own empty address book on the same server. Radicale's time per new card
    # grows with the cards it holds and swings with the machine's load, so the two alternate, in
    # pairs, and the ratio is the pairs' median.
    os.remove(os.path.join(s.app, "LBcontatos.txt"))
    s.write_store([[f"Novo {i:04}", f"{i:06}", f"n{i}@example.com", "", "", "01/01/2020"] for i in range(up)])
    os.makedirs(os.path.join(s.tmp, "sobe"))
    for i in range(up):
        with open(os.path.join(s.tmp, "sobe", f"n{i:04}.vcf"), "w") as f:
            f.write(card(f"n{i:04}", f"Novo {i:04}", f"{i:06}", f"EMAIL:n{i}@example.com\r\n"))
    ups, ratios = [], []
    for run in range(pairs):
        for book in (f"sobe-a{run}", f"sobe-b{run}"):
            s.request("MKCOL", f"/{USER}/{book}/", b'<?xml version="1.0"?><mkcol xmlns="DAV:" '
                      b'xmlns:C="urn:ietf:params:xml:ns:carddav"><set><prop><resourcetype><collection/>'
                      b'<C:addressbook/></resourcetype></prop></set></mkcol>')
        # A first sync each time: no state from the last run's address book.
        for state in glob.glob(os.path.join(s.home, "**", "sync-*.state"), recursive=True):
            os.remove(state)
        s.run("--sync-account", f"http://127.0.0.1:{s.port}/{USER}/sobe-a{run}/", "--user", USER,
              "--password-stdin")
        if run % 2:
            theirs = vdirsyncer(f"up{run}", f"/{USER}/sobe-b{run}/", "sobe")
            ours = program(f"up{run}")
        else:
            ours = program(f"up{run}")
            theirs = vdirsyncer(f"up{run}", f"/{USER}/sobe-b{run}/", "sobe")
        shutil.rmtree(os.path.join(s.tmp, "status-sobe"))
        ups.append((ours, theirs))
        ratios.append(theirs[0] / ours[0])
    mid = sorted(range(pairs), key=lambda k: ratios[k])[pairs // 2]
    case(f"first sync, {up} up (median of {pairs})", *ups[mid])

    print(f"{'case':<34} {'program':>10} {'own CPU':>11} {'peak':>10} {'reqs':>6}   {'vdirsyncer':>10} {'own CPU':>11} {'reqs':>6}   ratio")
    print("\n".join(rows))
    print("upload ratios, vdirsyncer's time over the program's, run by run: "
          + " ".join(f"{r:.2f}" for r in ratios))
    print(f"peak memory, first sync of {down}: {first[2]:.0f} MB; the window on the same file without sync: "
          f"{window:.0f} MB; ratio {first[2] / window:.2f}")
finally:
    s.close()
