#!/usr/bin/env bash
# A vCard file imported through the name list's context menu and the real file dialog: the store
# keeps its records byte for byte and gains the new contacts after them, in the card file's order.
source "$(dirname "$0")/lib.sh"
binary=$(realpath "$1")
e2e_setup

folder="$E2E_TMP/app"
store="$folder/LBcontatos.txt"
mkdir -p "$folder"
before=$'"Bia§1§§Rua A¤Centro§§01/01/2020\r\n\r\n"\r\n'
e2e_cp1252 "$before" >"$store"

# A phone's 2.1 export: QUOTED-PRINTABLE UTF-8 with a soft break, a name already listed, a note.
vcf="$E2E_TMP/agenda.vcf"
printf '%s\r\n' 'BEGIN:VCARD' 'VERSION:2.1' 'FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Jo=C3=A3o Conce=' \
    'i=C3=A7=C3=A3o' 'TEL;CELL:5555-0101' 'NOTE:Ligar cedo' 'END:VCARD' \
    'BEGIN:VCARD' 'VERSION:3.0' 'FN:BIA' 'END:VCARD' \
    'BEGIN:VCARD' 'VERSION:3.0' 'N:Souza;Ana;;;' 'ADR:;;Rua B\, 2;Recife;PE;;' 'END:VCARD' >"$vcf"

e2e_start_program "$binary" "$folder"
xdotool windowfocus --sync "$E2E_WINDOW"

# Right-click the list below its one name, then the menu's first entry from the keyboard.
xdotool mousemove --window "$E2E_WINDOW" --sync 60 120 click 3
dialog() { xdotool search --onlyvisible --name '^Importar contatos \(vCard\)$'; }
for _ in 1 2 3; do
    xdotool key --delay 50 Down Return
    e2e_wait 5 dialog && break
done
e2e_wait 10 dialog || e2e_fail "no file dialog after the context menu"
window=$(dialog | head -n1)
xdotool windowfocus --sync "$window"
xdotool type --delay 10 "$vcf"
xdotool key Return

today=$(date +%d/%m/%Y)
after=${before%$'\r\n"\r\n'}$'João Conceição§5555-0101§§§Ligar cedo§'"$today"$'\r\nAna Souza§§§Rua B, 2¤Recife - PE§§'"$today"$'\r\n\r\n"\r\n'
e2e_store_becomes "$store" "$after" "the import"
echo "e2e vcard: ok"
