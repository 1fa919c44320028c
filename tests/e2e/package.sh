#!/usr/bin/env bash
# cpack makes a .deb whose Depends name the Qt 6 libraries the program links, and whose
# unpacked program starts; and a portable archive with the program in a folder of its own.
source "$(dirname "$0")/lib.sh"
build=$(realpath "$1")
e2e_setup

out="$E2E_TMP/packages"
(cd "$build" && cpack -G 'DEB;TGZ' -B "$out") >"$E2E_TMP/cpack.log" 2>&1 \
    || { cat "$E2E_TMP/cpack.log"; e2e_fail "cpack failed"; }
deb=$(echo "$out"/*.deb)
depends=$(dpkg-deb --field "$deb" Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 qt6-qpa-plugins; do
    grep -q "\b$lib\b" <<<"$depends" || e2e_fail "Depends lacks $lib: $depends"
done
tar tzf "$out"/*.tar.gz | grep -qx 'lurvane-brevicard-[^/]*/lurvane-brevicard' \
    || e2e_fail "the archive holds $(tar tzf "$out"/*.tar.gz)"

dpkg-deb -x "$deb" "$E2E_TMP/root"
e2e_start_program "$E2E_TMP/root/usr/bin/lurvane-brevicard" "$E2E_TMP/app"
echo "e2e package: ok"
