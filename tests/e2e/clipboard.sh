#!/usr/bin/env bash
# The copy-contact image puts the fields on the X clipboard joined by CR LF CR LF; a paste
# image appends what another program offers, once even on a double click, while Ctrl+V and
# refused keys do nothing.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/window_lib.sh"
binary=$(realpath "$1")
e2e_setup
e2e_start_program "$binary" "$E2E_TMP/app"
xdotool windowfocus --sync "$E2E_WINDOW" # no window manager gives it the focus
clipboard_is() { [ "$(xclip -o -selection clipboard | e2e_hex)" = "$(printf "$1" | e2e_hex)" ]; }
offer() {
    printf "$1" | xclip -quiet -selection clipboard -i >/dev/null 2>&1 &
    E2E_PIDS+=($!)
    e2e_wait 10 clipboard_is "$1" || e2e_fail "xclip did not take the clipboard"
}

e2e_type 354 56 'Ana'      # txtNome
e2e_type 270 96 '123'      # txtFone
e2e_type 270 174 'Rua A'   # txtEnd
xdotool key Return type --delay 20 'Centro'
e2e_click $E2E_COPIAR
e2e_wait 10 clipboard_is 'Ana\r\n\r\n123\r\n\r\n\r\n\r\nRua A\r\nCentro\r\n\r\n' \
    || e2e_fail "contact on the clipboard: $(xclip -o -selection clipboard | od -An -c)"

offer 'x"y\tz'
e2e_type 417 96 'a"b§'     # txtMail
xdotool key ctrl+v
e2e_click 347 77       # imgCtrlvMail
e2e_click 339 77       # imgCtrlcMail
e2e_wait 10 clipboard_is 'abx"y\tz' || e2e_fail "e-mail copied as: $(xclip -o -selection clipboard | od -An -c)"

# A double click on a paste image is one click: the name takes the clipboard once.
offer 'Dup'
xdotool mousemove --window "$E2E_WINDOW" --sync 221 37 click --repeat 2 --delay 80 1 # imgCtrlvNome
e2e_click 213 37       # imgCtrlcNome
e2e_wait 10 clipboard_is 'AnaDup' || e2e_fail "name after a double click: $(xclip -o -selection clipboard)"
echo "e2e clipboard: ok"
