#!/usr/bin/env bash
# The copy-contact image puts the fields on the X clipboard joined by CR LF CR LF; a paste
# image appends what another program offers, while Ctrl+V and refused keys do nothing.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/window_lib.sh"
binary=$(realpath "$1")
e2e_setup
command -v xclip >/dev/null || e2e_fail "xclip is not installed"

e2e_start_program "$binary" "$E2E_TMP/app"
xdotool windowfocus --sync "$E2E_WINDOW" # no window manager gives it the focus

clipboard_is() { [ "$(xclip -o -selection clipboard | od -An -v -tx1 | tr -d ' \n')" = "$1" ]; }
hex() { printf "$1" | od -An -v -tx1 | tr -d ' \n'; }

e2e_click 354 56 # txtNome
xdotool type --delay 20 'Ana'
e2e_click 270 96 # txtFone
xdotool type --delay 20 '123'
e2e_click 270 174 # txtEnd
xdotool type --delay 20 'Rua A'
xdotool key Return
xdotool type --delay 20 'Centro'
e2e_click $E2E_COPIAR
expected=$(hex 'Ana\r\n\r\n123\r\n\r\n\r\n\r\nRua A\r\nCentro\r\n\r\n')
e2e_wait 10 clipboard_is "$expected" \
    || e2e_fail "contact on the clipboard: $(xclip -o -selection clipboard | od -An -c)"

# Another program offers text with a double quote and a tab; xclip keeps it until it loses it.
printf 'x"y\tz' | xclip -quiet -selection clipboard -i >/dev/null 2>&1 &
E2E_PIDS+=($!)
e2e_wait 10 clipboard_is "$(hex 'x"y\tz')" || e2e_fail "xclip did not take the clipboard"
e2e_click 417 96 # txtMail
xdotool type --delay 20 'a"b§'
xdotool key ctrl+v
e2e_click 347 77 # imgCtrlvMail
e2e_click 339 77 # imgCtrlcMail
e2e_wait 10 clipboard_is "$(hex 'abx"y\tz')" \
    || e2e_fail "e-mail field copied as: $(xclip -o -selection clipboard | od -An -c)"
echo "e2e clipboard: ok"
