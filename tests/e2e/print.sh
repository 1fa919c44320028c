#!/usr/bin/env bash
# Printing through the real print window: with no print server "SIM" prints nothing and the
# notice stands where the print window stood; with a private print server whose default
# printer writes each job into a folder, the typed contact arrives on one page, wrapped in the box.
source "$(dirname "$0")/lib.sh"
binary=$(realpath "$1")
command -v lpadmin >/dev/null && command -v pdftotext >/dev/null || e2e_fail "CUPS or poppler missing"
e2e_setup

# window_sized W H: the program's visible window of that size (print window 289 x 196,
# notice 193 x 49).
window_sized() {
    local id
    for id in $(e2e_windows); do
        eval "$(xdotool getwindowgeometry --shell "$id")"
        [ "$WIDTH,$HEIGHT" = "$1,$2" ] && echo "$id" && return 0
    done
    return 1
}
# print_and_confirm: imgImprimir, then "SIM"; the print window stands 208,29 from the main
# window, which stands at 514,478.
print_and_confirm() {
    xdotool mousemove --window "$E2E_WINDOW" 465 248 click 1
    e2e_wait 10 window_sized 289 196 || e2e_fail "the print window did not open"
    local w
    w=$(window_sized 289 196)
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$X,$Y" = 722,507 ] || e2e_fail "the print window stands at $X,$Y"
    xdotool mousemove --window "$w" 213 181 click 1
}

cups="$E2E_TMP/cups" out="$E2E_TMP/out"
mkdir -p "$cups"/{bin/backend,spool,tmp,cache,state,log} "$out"
export CUPS_SERVER="$cups/cups.sock"

e2e_start_program "$binary" "$E2E_TMP/no-server"
print_and_confirm
e2e_wait 5 window_sized 193 49 || e2e_fail "no notice after printing without a printer"
eval "$(xdotool getwindowgeometry --shell "$(window_sized 193 49)")"
[ "$X,$Y" = 722,507 ] || e2e_fail "the notice stands at $X,$Y"
[ -z "$(find "$E2E_TMP" -name '*.pdf')" ] || e2e_fail "a PDF was written without a printer"
kill "$E2E_APP_PID"

# The server's own files and socket; its backend (mode 0700: it runs as root) copies each job
# into $out, renamed into place once whole.
ln -s /usr/lib/cups/daemon /usr/lib/cups/notifier "$cups/bin/"
printf '%s\n' '#!/bin/sh' '[ $# -eq 0 ] && exit 0' \
    'if [ $# -ge 6 ]; then cat "$6"; else cat; fi >"${DEVICE_URI#lbpdf:}/.$1" && mv "${DEVICE_URI#lbpdf:}/.$1" "${DEVICE_URI#lbpdf:}/job-$1.pdf"' \
    >"$cups/bin/backend/lbpdf"
chmod 0700 "$cups/bin/backend/lbpdf"
for d in ServerRoot: ServerBin:/bin RequestRoot:/spool TempDir:/tmp CacheDir:/cache StateDir:/state \
    AccessLog:/log/access ErrorLog:/log/error PageLog:/log/page; do
    echo "${d%%:*} $cups${d#*:}"
done >"$cups/cups-files.conf"
printf '%s\n' "Listen $cups/cups.sock" 'Browsing No' 'WebInterface No' 'DefaultAuthType None' \
    '<Location />' 'Order allow,deny' 'Allow all' '</Location>' \
    '<Policy default>' '<Limit All>' 'Order deny,allow' '</Limit>' '</Policy>' >"$cups/cupsd.conf"
/usr/sbin/cupsd -f -c "$cups/cupsd.conf" -s "$cups/cups-files.conf" &
E2E_PIDS+=($!)
e2e_wait 10 test -S "$cups/cups.sock" || e2e_fail "the print server did not start"
lpadmin -p LBPDF -v "lbpdf:$out" -E 2>/dev/null && lpadmin -d LBPDF || e2e_fail "$(cat "$cups/log/error")"

e2e_start_program "$binary" "$E2E_TMP/app"
xdotool windowfocus --sync "$E2E_WINDOW"
comp="Bloco 7 apartamento 42 entrada pela rua lateral ao lado da padaria portao azul interfone"
comp+=" quebrado tocar a campainha duas vezes e aguardar o porteiro que atende ate as 22 horas"
for field in "354 56 Ana Lima" "270 96 11 5555 1234" "417 96 ana@exemplo.com.br" \
    "270 174 Rua das Flores 123" "270 174 +fundos" "417 174 $comp"; do
    read -r x y text <<<"$field"
    xdotool mousemove --window "$E2E_WINDOW" "$x" "$y" click 1
    [ "${text:0:1}" != + ] || { xdotool key End Return && text=${text:1}; }
    xdotool type --delay 0 "$text"
done
print_and_confirm
e2e_wait 10 compgen -G "$out/job-*.pdf" || e2e_fail "nothing was printed: $(cat "$cups/log/error")"
pdf=$(compgen -G "$out/job-*.pdf")
[ "$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')" = 1 ] || e2e_fail "not one page"

# One line per printed line: "top left right right-of-first-word text", in points.
lines=$(pdftotext -bbox "$pdf" - | awk -F'"' '/<word / {
        w = $9; sub(/^>/, "", w); sub(/<.*/, "", w)
        if ($4 != top) { if (text != "") print top, left, right, first, text; top = $4; left = $2; first = $6; text = w }
        else text = text " " w
        right = $6
    } END { print top, left, right, first, text }')
texts=$(cut -d' ' -f5- <<<"$lines")
[ "$(head -n5 <<<"$texts")" = "$(printf '%s\n' "Ana Lima" "11 5555 1234" ana@exemplo.com.br "Rua das Flores 123" fundos)" ] \
    && [ "$(tail -n+6 <<<"$texts" | paste -sd' ')" = "$comp" ] || e2e_fail "printed: $lines"
# Every line starts at the box's left edge, 10 mm (28.35 points) into the printable area that
# Qt gives a 10-point margin on a printer without a driver; the complement's first line ends
# where its next word, after a space of 2.78 points, would cross the box's right edge.
awk 'function abs(v) { return v < 0 ? -v : v }
    abs($2 - 38.35) > 0.2 { exit 1 }
    NR == 6 { right = $3 }
    NR == 7 { width = $4 - $2 }
    END { box = 38.35 + 190 * 72 / 25.4; exit !(NR == 7 && right <= box && right + 2.78 + width > box) }' \
    <<<"$lines" || e2e_fail "the text is not in the box: $lines"
echo "e2e print: ok"
