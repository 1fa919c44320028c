#!/usr/bin/python3
"""The password in a real Secret Service (gnome-keyring in a private D-Bus session): given once,
then found by --sync alone. Without any keyring: kept for that run only, and --sync without
--password-stdin says so."""
import os, shutil, subprocess, sys

from davtest import PASSWORD, USER, Setup, fail

s = Setup(os.path.abspath(sys.argv[1]))
try:
    s.write_store([["Ana", "1", "", "", "", "01/01/2020"]])
    account = ["--sync-account", f"http://127.0.0.1:{s.port}{s.book}", "--user", USER, "--password-stdin"]
    _, err = s.run(*account)
    if "Sem chaveiro" not in err:
        fail(f"no keyring, not told: {err}")
    _, err = s.run("--sync", stdin="", expect=2)
    if "--password-stdin" not in err:
        fail(f"no keyring, no password: {err}")

    if shutil.which("gnome-keyring-daemon"):
        program = os.path.join(s.app, "lurvane-brevicard")
        script = (f'echo -n clave | gnome-keyring-daemon --unlock --components=secrets >/dev/null && '
                  f'echo {PASSWORD} | "{program}" {" ".join(account)} && "{program}" --sync </dev/null')
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(HOME=s.home, XDG_CONFIG_HOME=s.home + "/config", XDG_DATA_HOME=s.home + "/data",
                   XDG_RUNTIME_DIR=s.tmp)
        p = subprocess.run(["dbus-run-session", "--", "bash", "-c", script], env=env, capture_output=True, text=True,
                           timeout=120)
        if p.returncode or "Sem chaveiro" in p.stderr or s.names() != ["Ana"]:
            fail(f"keyring: {p.returncode} {p.stdout} {p.stderr}")
    else:
        print("gnome-keyring-daemon not installed: the Secret Service case is left out")
    print("ok")
finally:
    s.close()
