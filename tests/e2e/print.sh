#!/usr/bin/env bash
# Printing through the real print window: with no print server "SIM" prints nothing and the
# notice stands where the print window stood. On a private print server whose printers write
# each job into a folder: with no default printer, and with a default queue that is stopped or
# refuses jobs, a notice tells it and nothing is printed; with a working default printer the
# typed contact arrives on one page, wrapped in the box.
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
# notice_shot NAME: waits for the notice where the print window stood, keeps its pixels as
# NAME.rgb once painted and still (two grabs alike, with more than the background's colours),
# and waits for it to close itself.
notice_painted() {
    /usr/bin/import -window "$1" -depth 8 "rgb:$2.new" || return 1
    [ "$(/usr/bin/convert -size 193x49 -depth 8 "rgb:$2.new" -format %k info:)" -gt 2 ] \
        && cmp -s "$2.new" "$2" && return 0
    mv "$2.new" "$2" && return 1
}
no_notice() { ! window_sized 193 49; }
notice_shot() {
    e2e_wait 5 window_sized 193 49 || e2e_fail "no notice: $1"
    local w
    w=$(window_sized 193 49)
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$X,$Y" = 722,507 ] || e2e_fail "the notice stands at $X,$Y: $1"
    e2e_wait 2 notice_painted "$w" "$E2E_TMP/$1.rgb" || e2e_fail "the notice was not painted: $1"
    e2e_wait 5 no_notice || e2e_fail "the notice did not close: $1"
}

cups="$E2E_TMP/cups" out="$E2E_TMP/out"
mkdir -p "$cups"/{bin/backend,spool,tmp,cache,state,log} "$out"
export CUPS_SERVER="$cups/cups.sock"

e2e_start_program "$binary" "$E2E_TMP/no-server"
print_and_confirm
notice_shot no-server
[ -z "$(find "$E2E_TMP" -name '*.pdf')" ] || e2e_fail "a PDF was written without a printer"
kill "$E2E_APP_PID"

# A print server that takes the connection and never answers: while the job waits on it the
# print window stays up and answers each input at once (the text typed in it reaches the
# clipboard), and the job ends in "Erro ao imprimir!" (compared with a failing queue's below).
hung="$E2E_TMP/hung.sock"
/usr/bin/python3 "$(dirname "$0")/silent_listener.py" "$hung.log" "$hung" &
E2E_PIDS+=($!)
e2e_wait 10 test -s "$hung.log" || e2e_fail "the silent listener did not start"
CUPS_SERVER=$hung e2e_start_program "$binary" "$E2E_TMP/hung"
print_and_confirm
e2e_wait 10 grep -q taken "$hung.log" || e2e_fail "the job never reached the silent listener"
xdotool mousemove --window "$(window_sized 289 196)" 100 100 click 1 # into its text
clipboard_is() { [ "$(xclip -o -selection clipboard)" = "$1" ]; }
slowest=0
for i in 1 2 3 4 5; do
    start=${EPOCHREALTIME/./}
    xdotool key --delay 0 ctrl+a type --delay 0 "p$i"
    xdotool key --delay 0 ctrl+a ctrl+c
    e2e_wait 5 clipboard_is "p$i" || e2e_fail "input $i went unanswered while the print hung"
    ms=$(((${EPOCHREALTIME/./} - start) / 1000))
    [ "$ms" -le "$slowest" ] || slowest=$ms
    window_sized 289 196 >/dev/null || e2e_fail "the print window closed while the print hung"
    sleep 1
done
# The figure is printed; the check only tells a window that answers (tens of ms, plus xdotool's
# and xclip's own start on a busy machine) from one frozen by the job (seconds).
echo "slowest answer while the print hung: $slowest ms"
[ "$slowest" -le 1000 ] || e2e_fail "the window took $slowest ms to answer while the print hung"
e2e_wait 15 window_sized 193 49 || e2e_fail "no notice after the print hung"
notice_shot hung
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
e2e_bg /usr/sbin/cupsd -f -c "$cups/cupsd.conf" -s "$cups/cups-files.conf"
e2e_wait 10 test -S "$cups/cups.sock" || e2e_fail "the print server did not start"
unset LPDEST PRINTER # they would name a default of their own
for queue in LBPDF STOPPED REFUSING; do
    lpadmin -p "$queue" -v "lbpdf:$out" -E 2>/dev/null || e2e_fail "$(cat "$cups/log/error")"
done
cupsdisable STOPPED && cupsreject REFUSING || e2e_fail "$(lpstat -p)"

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
notice_shot no-default
for queue in STOPPED REFUSING; do
    lpadmin -d "$queue"
    print_and_confirm
    notice_shot "$queue"
done
[ -z "$(ls -A "$out")" ] && [ -z "$(lpstat -W all -o)" ] || e2e_fail "a job was queued: $(lpstat -W all -o)"
# The notices are told apart by their pixels: the failing queues and server give one text, and it
# differs from the notice without a server and from the one without a default printer, which
# differ from each other too.
for other in REFUSING hung; do
    cmp -s "$E2E_TMP/STOPPED.rgb" "$E2E_TMP/$other.rgb" || e2e_fail "$other gave another notice than STOPPED"
done
for pair in no-server:no-default no-server:STOPPED no-default:STOPPED; do
    ! cmp -s "$E2E_TMP/${pair%:*}.rgb" "$E2E_TMP/${pair#*:}.rgb" || e2e_fail "the same notice for $pair"
done

lpadmin -d LBPDF
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
