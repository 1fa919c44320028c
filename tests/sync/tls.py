#!/usr/bin/python3
"""HTTPS with a certificate the system does not trust: refused with its SHA-256 fingerprint
printed, then trusted for this account with --trust-fingerprint; another fingerprint is no key."""
import os, re, subprocess, sys

from davtest import USER, Setup, fail

s = Setup(os.path.abspath(sys.argv[1]), "radicale-tls")
try:
    url = f"https://127.0.0.1:{s.port}{s.book}"
    _, err = s.run("--sync-account", url, "--user", USER, "--password-stdin", expect=2)
    shown = re.search(r"--trust-fingerprint ([0-9A-F:]{95})", err)
    real = subprocess.run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", f"{s.tmp}/cert.pem"],
                          capture_output=True, text=True).stdout.strip().split("=")[1]
    if not shown or shown.group(1) != real:
        fail(f"fingerprint not shown or wrong: {err} / {real}")
    s.run("--sync-account", url, "--user", USER, "--password-stdin", "--trust-fingerprint",
          ("00" if real[:2] != "00" else "11") + real[2:], expect=2)
    s.run("--sync-account", url, "--user", USER, "--password-stdin", "--trust-fingerprint", real)
    s.write_store([["Ana", "1", "", "", "", "01/01/2020"]])
    out, _ = s.sync()
    if s.names() != ["Ana"]:
        fail(f"sync over trusted HTTPS: {out}")
    print("ok")
finally:
    s.close()
