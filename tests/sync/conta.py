#!/usr/bin/python3
"""The account window's test (argv[1]) against Radicale on loopback, plain and behind a certificate no
one signed: without a keyring, then in a real Secret Service, where a second program reads what the first left."""
import base64, os, shutil, subprocess, sys, tempfile

from davtest import PASSWORD, Setup, fail, free_port

test = os.path.abspath(sys.argv[1])
book = ('<?xml version="1.0"?><mkcol xmlns="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav"><set><prop>'
        '<resourcetype><collection/><C:addressbook/></resourcetype><displayname>{}</displayname></prop></set></mkcol>')

plain = Setup(test)
tls = Setup(test, "radicale-tls")
try:
    with open(os.path.join(plain.tmp, "users"), "a") as f:
        f.write(f"bia:{PASSWORD}\ncarla:{PASSWORD}\n")
    # bia holds one address book, alice two, carla none (her folder is made at her first request).
    auth = {u: {"Authorization": "Basic " + base64.b64encode(f"{u}:{PASSWORD}".encode()).decode()}
            for u in ("bia", "carla")}
    plain.request("MKCOL", "/carla/", headers=auth["carla"])
    made = [plain.request("MKCOL", "/alice/trabalho/", book.format("Trabalho").encode())[0],
            plain.request("MKCOL", "/bia/agenda/", book.format("Agenda da Bia").encode(), headers=auth["bia"])[0]]
    if made != [201, 201]:
        fail(f"address books not made: {made}")
    fingerprint = subprocess.run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in",
                                  f"{tls.tmp}/cert.pem"], capture_output=True, text=True).stdout.strip().split("=")[1]

    def run(*args, keyring=False, home=None):
        home = home or tempfile.mkdtemp(dir=plain.tmp)
        env = {k: v for k, v in os.environ.items() if k not in ("DBUS_SESSION_BUS_ADDRESS", "DISPLAY")}
        env.update(HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_DATA_HOME=home + "/data",
                   XDG_RUNTIME_DIR=plain.tmp, QT_QPA_PLATFORM="offscreen",
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
        home = tempfile.mkdtemp(dir=plain.tmp)
        run("descobre", keyring=True, home=home)
        run("pedeSenhaERemove", keyring=True, home=home)
    print("ok")
finally:
    tls.close()
    plain.close()
