#!/usr/bin/env bash
# Printing through the real print window. With no print server, "SIM" prints nothing and the
# notice comes up where the print window stood. With a private print server whose default
# printer writes each job as a PDF into a folder, the contact typed into the fields arrives
# on one page, word-wrapped inside the box.
source "$(dirname "$0")/lib.sh"
binary=$(realpath "$1")
for tool in /usr/sbin/cupsd lpadmin pdftotext; do
    command -v "$tool" >/dev/null || e2e_fail "$tool is not installed"
done
e2e_setup

# Screen pixels: the main window stands at 514,478 on the 1024 x 768 screen; imgImprimir is
# at 455,232 (21 x 32) in it; the print window (289 x 196) 208,29 from the main window's top
# left, its "SIM" at 194,173 (38 x 17); the notice is 193 x 49.
print_x=722 print_y=507

# window_sized W H: the program's visible window of that size.
window_sized() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$E2E_APP_PID" --name '^Lurvane Brevicard$' 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$id")"
        if [ "$WIDTH" = "$1" ] && [ "$HEIGHT" = "$2" ]; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# print_and_confirm: opens the print window from imgImprimir and clicks "SIM".
print_and_confirm() {
    xdotool mousemove --window "$E2E_WINDOW" 465 248 click 1
    e2e_wait 10 window_sized 289 196 || e2e_fail "the print window did not open"
    local janela
    janela=$(window_sized 289 196)
    eval "$(xdotool getwindowgeometry --shell "$janela")"
    [ "$X,$Y" = "$print_x,$print_y" ] || e2e_fail "the print window stands at $X,$Y"
    xdotool mousemove --window "$janela" 213 181 click 1
}

cups="$E2E_TMP/cups"
out="$E2E_TMP/impressos"
mkdir -p "$cups" "$out"
export CUPS_SERVER="$cups/cups.sock"

# No print server yet: nothing is printed and the notice tells so where the print window was.
e2e_start_program "$binary" "$E2E_TMP/sem-servidor"
print_and_confirm
e2e_wait 5 window_sized 193 49 || e2e_fail "no notice after printing without a printer"
eval "$(xdotool getwindowgeometry --shell "$(window_sized 193 49)")"
[ "$X,$Y" = "$print_x,$print_y" ] || e2e_fail "the notice stands at $X,$Y"
[ -z "$(find "$E2E_TMP" -name '*.pdf')" ] || e2e_fail "a PDF was written without a printer"
kill "$E2E_APP_PID"

# A private print server: its own configuration, spool and socket, and a backend that
# copies each job into $out (complete files only, by renaming).
mkdir -p "$cups/bin/backend" "$cups/spool" "$cups/tmp" "$cups/cache" "$cups/state" "$cups/log"
ln -s /usr/lib/cups/daemon /usr/lib/cups/notifier "$cups/bin/"
cat >"$cups/bin/backend/lbpdf" <<'BACKEND'
#!/bin/sh
[ $# -eq 0 ] && { echo 'direct lbpdf "Unknown" "Jobs into a folder"'; exit 0; }
dir=${DEVICE_URI#lbpdf:}
if [ $# -ge 6 ]; then cat "$6"; else cat; fi >"$dir/.job-$1" && mv "$dir/.job-$1" "$dir/job-$1.pdf"
BACKEND
chmod 0700 "$cups/bin/backend/lbpdf" # run as root, the owner of the output folder
cat >"$cups/cups-files.conf" <<CONF
ServerRoot $cups
ServerBin $cups/bin
RequestRoot $cups/spool
TempDir $cups/tmp
CacheDir $cups/cache
StateDir $cups/state
AccessLog $cups/log/access_log
ErrorLog $cups/log/error_log
PageLog $cups/log/page_log
CONF
cat >"$cups/cupsd.conf" <<CONF
Listen $cups/cups.sock
LogLevel warn
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
/usr/sbin/cupsd -f -c "$cups/cupsd.conf" -s "$cups/cups-files.conf" &
E2E_PIDS+=($!)
e2e_wait 10 test -S "$cups/cups.sock" || e2e_fail "the print server did not start"
lpadmin -p LBPDF -v "lbpdf:$out" -E 2>/dev/null && lpadmin -d LBPDF || e2e_fail "no printer: $(cat "$cups/log/error_log")"

e2e_start_program "$binary" "$E2E_TMP/app"
xdotool windowfocus --sync "$E2E_WINDOW"
comp="Bloco 7 apartamento 42 entrada pela rua lateral ao lado da padaria portao azul interfone quebrado"
comp+=" tocar a campainha duas vezes e aguardar o porteiro que atende ate as 22 horas"
# field: its centre in the main window, then what to type (a newline is the Return key).
type_into() {
    xdotool mousemove --window "$E2E_WINDOW" "$1" "$2" click 1
    local first=1 line
    while IFS= read -r line; do
        [ $first = 1 ] || xdotool key Return
        first=0
        [ -z "$line" ] || xdotool type --delay 0 "$line"
    done <<<"$3"
}
type_into 354 56 "Ana Lima"
type_into 270 96 "11 5555 1234"
type_into 417 96 "ana@exemplo.com.br"
type_into 270 174 $'Rua das Flores 123\nfundos'
type_into 417 174 "$comp"
print_and_confirm
e2e_wait 10 compgen -G "$out/job-*.pdf" || e2e_fail "nothing was printed: $(cat "$cups/log/error_log")"
pdf=$(compgen -G "$out/job-*.pdf")
[ "$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')" = 1 ] || e2e_fail "not one page"

# The printed lines as pdftotext places their words, one line each:
# "top left right right-of-the-first-word text", in points from the page's top left.
lines=$(pdftotext -bbox "$pdf" - | awk -F'"' '/<word / {
        w = $9; sub(/^>/, "", w); sub(/<.*/, "", w)
        if ($4 != top) {
            if (text != "") print top, left, right, first, text
            top = $4; left = $2; first = $6; text = w
        } else text = text " " w
        right = $6
    } END { if (text != "") print top, left, right, first, text }')
expected=$(printf '%s\n' "Ana Lima" "11 5555 1234" "ana@exemplo.com.br" "Rua das Flores 123" "fundos")
[ "$(cut -d' ' -f5- <<<"$lines" | head -n5)" = "$expected" ] || e2e_fail "printed: $lines"
[ "$(cut -d' ' -f5- <<<"$lines" | tail -n+6 | paste -sd' ')" = "$comp" ] || e2e_fail "printed: $lines"
[ "$(wc -l <<<"$lines")" = 7 ] || e2e_fail "the complement is not on two lines: $lines"
# Every line starts at the box's left edge: 10 mm (28.35 points) inside the printable area,
# which Qt gives 10 points of margin on a printer without a driver of its own. The first line
# of the complement ends where its next word, after a space of 2.78 points, would cross the
# right edge, 190 mm further on.
awk 'function abs(v) { return v < 0 ? -v : v }
    { if (abs($2 - 38.35) > 0.2) exit 1 }
    NR == 6 { right = $3 }
    NR == 7 { next_word = $4 - $2 }
    END { box = 38.35 + 190 * 72 / 25.4; exit !(right <= box && right + 2.78 + next_word > box) }' <<<"$lines" \
    || e2e_fail "the text is not in the box: $lines"
echo "e2e print: ok"
