#!/usr/bin/env bash
# cmake --install lays out a menu entry, an icon and software-centre metadata that the
# desktop's validators accept; the installed program, in a prefix nobody can write, keeps its
# contacts in the user's data folder.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/window_lib.sh"
build=$(realpath "$1")
nobody="$(dirname "$0")/../support/unprivileged.sh"
e2e_setup

id=net.tevrolurvane.Brevicard
prefix="$E2E_TMP/prefix"
cmake --install "$build" --prefix "$prefix" >"$E2E_TMP/install.log" || e2e_fail "cmake --install failed"
for f in bin/lurvane-brevicard share/applications/$id.desktop share/icons/hicolor/scalable/apps/$id.svg \
    share/metainfo/$id.metainfo.xml; do
    [ -f "$prefix/$f" ] || e2e_fail "$f was not installed"
done
desktop-file-validate "$prefix/share/applications/$id.desktop" || e2e_fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >"$E2E_TMP/appstream.log" \
    || { cat "$E2E_TMP/appstream.log"; e2e_fail "appstreamcli validate"; }

# Run as an unprivileged user where possible: root writes even where permission bits say no.
chmod -R a-w "$prefix"
chmod 0755 "$E2E_TMP"
user="$E2E_TMP/user"
mkdir -p "$user/home" "$user/data" "$user/runtime"
chmod 0700 "$user/runtime"
[ "$(id -u)" -ne 0 ] || chown -R 65534:65534 "$user"
"$nobody" env HOME="$user/home" XDG_RUNTIME_DIR="$user/runtime" XDG_DATA_HOME="$user/data" \
    "$prefix/bin/lurvane-brevicard" >"$E2E_TMP/app.log" 2>&1 &
e2e_await_window $! "$E2E_TMP/app.log"

# The menu entry finds its window by class: the second string of WM_CLASS.
class=$(sed -n 's/^StartupWMClass=//p' "$prefix/share/applications/$id.desktop")
xprop -id "$E2E_WINDOW" WM_CLASS | grep -q ", \"$class\"\$" \
    || e2e_fail "StartupWMClass $class against $(xprop -id "$E2E_WINDOW" WM_CLASS)"

store="$user/data/Lurvane Brevicard/LBcontatos.txt"
e2e_wait 10 e2e_file_is "$store" 220d0a220d0a || e2e_fail "no empty store in the user's data folder"
xdotool windowfocus --sync "$E2E_WINDOW"
e2e_type 354 56 "Ana" # the name field
e2e_click 225 242 # add
e2e_store_becomes "$store" $'"Ana§§§§§'"$(date +%d/%m/%Y)"$'\r\n\r\n"\r\n' "adding"
grep -q 'Erro' "$E2E_TMP/app.log" && e2e_fail "$(cat "$E2E_TMP/app.log")"
echo "e2e install: ok"
