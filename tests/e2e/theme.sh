#!/usr/bin/env bash
# Under a real dark desktop theme (Qt's GTK platform theme with Adwaita's dark variant) the
# names in the list stand out from its light tiles: the strokes of the letters contrast with
# the tiles by at least 4.5 to 1.
source "$(dirname "$0")/lib.sh"
binary=$(realpath "$1")
command -v /usr/bin/import >/dev/null || e2e_fail "ImageMagick missing"
e2e_setup
export QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark QT_DEBUG_PLUGINS=1

folder="$E2E_TMP/app"
mkdir -p "$folder"
printf '"Ana Maria\xa7\xa7\xa7\xa7\xa705/12/2026\r\nBeatriz\xa7\xa7\xa7\xa7\xa705/12/2026\r\nZeca\xa7\xa7\xa7\xa7\xa705/12/2026\r\n\r\n"\r\n' \
    >"$folder/LBcontatos.txt"
e2e_start_program "$binary" "$folder"
grep -q 'platformthemes/libqgtk3.so" loaded library' "$folder/app.log" \
    || e2e_fail "the GTK platform theme was not loaded (Debian package qt6-gtk-platformtheme)"

# The three names, none selected, at the top of the list (10,26 in the window, 185 wide).
eval "$(xdotool getwindowgeometry --shell "$E2E_WINDOW")"
/usr/bin/import -window root "$E2E_TMP/shot.png"
/usr/bin/convert "$E2E_TMP/shot.png" -crop "185x45+$((X + 10))+$((Y + 26))" +repage -format %c histogram:info:- \
    >"$E2E_TMP/colours"
# Each colour's contrast with the most common one, the tiles; the letters' strokes must reach 4.5.
strong=$(awk -F'[(),:]+' '
    function lin(v) { v /= 255; return v <= 0.04045 ? v / 12.92 : ((v + 0.055) / 1.055) ^ 2.4 }
    { n[NR] = $1 + 0; l[NR] = 0.2126 * lin($3) + 0.7152 * lin($4) + 0.0722 * lin($5); if (n[NR] > n[bg]) bg = NR }
    END {
        for (i in n) {
            hi = l[i] > l[bg] ? l[i] : l[bg]; lo = l[i] > l[bg] ? l[bg] : l[i]
            if ((hi + 0.05) / (lo + 0.05) >= 4.5) s += n[i]
        }
        print s + 0
    }' "$E2E_TMP/colours")
[ "$strong" -ge 40 ] || e2e_fail "the names hardly stand out from the list: $strong pixels contrast 4.5:1"
echo "e2e theme: ok ($strong pixels of the names contrast 4.5:1 or more)"
