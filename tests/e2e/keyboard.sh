#!/usr/bin/env bash
# With the keyboard alone, not a single click: a contact typed into the fields is added,
# chosen in the list, updated and deleted by the images' keys, and each step checks the
# store's bytes. Each notice leaves the focus in the field it came from (Tab goes on from
# there), and Escape leaves the delete question unanswered.
source "$(dirname "$0")/lib.sh"
binary=$(realpath "$1")
e2e_setup

e2e_start_empty "$binary"

count() { [ "$(e2e_windows | wc -l)" = "$1" ]; } # the main window, and a small one over it
comes_and_goes() { e2e_wait 10 count 2 && e2e_wait 10 count 1 || e2e_fail "no window came and went after $1"; }
keys() { xdotool key --delay 40 "$@"; }
text() { xdotool type --delay 20 "$1"; }
today=$(date +%d/%m/%Y)
expect() { e2e_store_becomes "$store" "$@"; }

# The focus starts in the name; the address takes a line break.
text "Ana Silva"; keys Tab; text "5555-0101"; keys Tab Tab; text "Rua A"; keys Return; text "Centro"
keys ctrl+shift+n
expect $'"Ana Silva§5555-0101§§Rua A¤Centro§§'"$today"$'\r\n\r\n"\r\n' "adding"
comes_and_goes "adding"

# From the address: the complement, the list, where "a" finds the name; back to the phone.
keys Tab Tab; text "a"; keys shift+Tab shift+Tab shift+Tab shift+Tab End
keys --repeat 9 BackSpace; text "4444"; keys ctrl+shift+t
updated=$'"Ana Silva§4444§§Rua A¤Centro§§'"$today"$'\r\n\r\n"\r\n'
expect "$updated" "updating"
comes_and_goes "updating"

# From the phone to the list again; Escape answers the question as " NÃO ", S as " SIM ".
keys Tab Tab Tab Tab; text "a"; keys ctrl+shift+d
e2e_wait 10 count 2 || e2e_fail "no question before deleting"
keys Escape
e2e_wait 10 count 1 || e2e_fail "Escape left the question open"
e2e_file_is "$store" "$(e2e_cp1252 "$updated" | e2e_hex)" || e2e_fail "Escape deleted the contact"
keys ctrl+shift+d
e2e_wait 10 count 2 || e2e_fail "no question the second time"
keys s
expect $'"\r\n"\r\n' "deleting"
comes_and_goes "deleting"
echo "e2e keyboard: ok"
