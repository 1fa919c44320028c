#!/usr/bin/python3
"""The account window's test program (argv[1]) against real servers: Radicale on loopback where bia
holds one address book, alice two and carla none, and the same server behind a certificate no one
signed. It runs without any keyring, then, where gnome-keyring is installed, in a private Secret
Service twice: the second run reads the password the first one left there, then removes it."""
import base64, os, shutil, subprocess, sys, tempfile

from davtest import PASSWORD, Setup, fail, free_port

test = os.path.abspath(sys.argv[1])
book = ('<?xml version="1.0"?><mkcol xmlns="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav"><set><prop>'
        '<resourcetype><collection/><C:addressbook/></resourcetype><displayname>{}</displayname></prop></set></mkcol>')


def auth(user):
    return {"Authorization": "Basic " + base64.b64encode(f"{user}:{PASSWORD}".encode()).decode()}


plain = Setup(test)
tls = Setup(test, "radicale-tls")
try:
    with open(os.path.join(plain.tmp, "users"), "a") as f:
        f.write(f"bia:{PASSWORD}\ncarla:{PASSWORD}\n")
    made = [plain.request("MKCOL", "/alice/trabalho/", book.format("Trabalho").encode())[0],
            plain.request("MKCOL", "/bia/", headers=auth("bia"))[0],
            plain.request("MKCOL", "/bia/agenda/", book.format("Agenda da Bia").encode(), headers=auth("bia"))[0],
            plain.request("MKCOL", "/carla/", headers=auth("carla"))[0]]
    # Radicale makes a user's own folder at their first request: 405 says it stands already.
    if made[0] != 201 or made[2] != 201 or made[1] not in (201, 405) or made[3] not in (201, 405):
        fail(f"address books not made: {made}")
    fingerprint = subprocess.run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in",
                                  f"{tls.tmp}/cert.pem"], capture_output=True, text=True).stdout.strip().split("=")[1]

    def run(*args, keyring=False, phase="", home=None):
        home = home or tempfile.mkdtemp(dir=plain.tmp)
        env = {k: v for k, v in os.environ.items() if k not in ("DBUS_SESSION_BUS_ADDRESS", "DISPLAY")}
        env.update(HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_DATA_HOME=home + "/data",
                   XDG_RUNTIME_DIR=plain.tmp, QT_QPA_PLATFORM="offscreen", LB_FASE=phase,
                   LB_DAV_URL=f"http://127.0.0.1:{plain.port}/", LB_DAV_TLS_URL=f"https://127.0.0.1:{tls.port}/",
                   LB_DAV_CLOSED_URL=f"http://127.0.0.1:{free_port()}/", LB_DAV_FINGERPRINT=fingerprint)
        command = [test, *args]
        if keyring:
            env["LB_KEYRING"] = "1"
            command = ["dbus-run-session", "--", "bash", "-c", 'echo -n clave | gnome-keyring-daemon --unlock '
                       '--components=secrets >/dev/null && exec "$0" "$@"', *command]
        if subprocess.run(command, env=env, timeout=300).returncode:
            fail(f"{' '.join(args) or 'all'}{' in a keyring' if keyring else ''}")

    run()
    if shutil.which("gnome-keyring-daemon") and shutil.which("dbus-run-session"):
        run("descobre", keyring=True)
        # Two sessions, one home: the keyring's file outlives the first program and its daemon.
        home = tempfile.mkdtemp(dir=plain.tmp)
        run("pedeSenhaERemove", keyring=True, phase="grava", home=home)
        run("pedeSenhaERemove", keyring=True, phase="le", home=home)
    else:
        print("gnome-keyring-daemon not installed: the Secret Service runs are left out")
    print("ok")
finally:
    tls.close()
    plain.close()
