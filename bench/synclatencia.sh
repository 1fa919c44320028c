#!/bin/sh
# The window's worst delay while it syncs many contacts from a server that answers slowly: the
# widget test's measure (tests/mainwindow/tst_sync, respondeDuranteSync) run at full size. It
# starts its own Radicale and slow proxy on loopback and prints one line with the figures.
# usage: bench/synclatencia.sh BUILD_DIR [CONTACTS [DELAY_MS]]   (10000 and 300 by default)
set -eu
build=$1
LB_CONTATOS=${2:-10000} LB_ATRASO_MS=${3:-300} QT_QPA_PLATFORM=offscreen \
    "$build/tests/mainwindow/tst_sync" respondeDuranteSync | grep -E "pior atraso|FAIL"
