#!/usr/bin/env bash
# A contact typed into the fields is added, selected and updated, then deleted through the
# question window, and after each step the store holds exactly the expected bytes.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/window_lib.sh"
binary=$(realpath "$1")
e2e_setup

e2e_start_empty "$binary"

# Places in the window, in pixels: fields, buttons, the first row of the list.
NOME="354 56"; FONE="270 96"; ENDERECO="270 150"
ADICIONA="225 242"; ATUALIZA="257 242"; DELETA="289 242"; PRIMEIRO="60 34"
one_window() { [ "$(e2e_windows | wc -l)" = 1 ]; }
two_windows() { [ "$(e2e_windows | wc -l)" = 2 ]; }
# Each step waits for its notice to come and to close itself.
wait_notice() {
    e2e_wait 10 two_windows || e2e_fail "no notice after $1"
    e2e_wait 10 one_window || e2e_fail "the notice after $1 did not close"
}
today=$(date +%d/%m/%Y)
expect() { e2e_store_becomes "$store" "$@"; }

e2e_type $NOME "Ana Silva"
e2e_type $FONE "5555-0101"
e2e_type $ENDERECO "Rua A"
xdotool key Return
xdotool type --delay 20 "Centro"
e2e_click $ADICIONA
expect $'"Ana Silva§5555-0101§§Rua A¤Centro§§'"$today"$'\r\n\r\n"\r\n' "adding"
wait_notice "adding"

e2e_click $PRIMEIRO
e2e_click $FONE
xdotool key End
xdotool key --repeat 9 --delay 10 BackSpace
xdotool type --delay 20 "4444"
e2e_click $ATUALIZA
expect $'"Ana Silva§4444§§Rua A¤Centro§§'"$today"$'\r\n\r\n"\r\n' "updating"
wait_notice "updating"

e2e_click $PRIMEIRO
e2e_click $DELETA
e2e_wait 10 two_windows || e2e_fail "no question before deleting"
question=$(e2e_windows | grep -vx "$E2E_WINDOW" | head -n1)
eval "$(xdotool getwindowgeometry --shell "$question")"
[ "$WIDTH" = 289 ] && [ "$HEIGHT" = 49 ] || e2e_fail "question window is ${WIDTH}x${HEIGHT}"
xdotool mousemove --window "$question" 216 36 click 1 # " SIM "
expect $'"\r\n"\r\n' "deleting"
wait_notice "deleting"
echo "e2e contacts: ok"
