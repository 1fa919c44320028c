#!/usr/bin/env bash
# unprivileged.sh COMMAND...: runs COMMAND as the user nobody when started as root, so that a
# folder without write permission really cannot be written (root ignores permission bits).
if [ "$(id -u)" -eq 0 ]; then
    exec setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
fi
exec "$@"
