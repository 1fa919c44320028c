#!/usr/bin/env bash
# The sync account set up from the name list's context menu, typed into the account window against
# Radicale on loopback and saved with Enter: it names the server's address book and no file has the
# password. Then "Sincronizar agora" brings a contact the server got into the list.
source "$(dirname "$0")/lib.sh"
binary=$(realpath "$1")
e2e_setup
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
e2e_bg openbox --sm-disable # activates the account window when it comes up

port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
e2e_bg /usr/bin/python3 -m radicale --config "" --server-hosts "127.0.0.1:$port" \
    --storage-filesystem-folder "$E2E_TMP/dav" --auth-type none
# dav METHOD PATH [BODY]: one request as ana ("YW5h..." is ana:segredo); prints the status.
dav() {
    /usr/bin/python3 -c 'import http.client as h, sys; c = h.HTTPConnection("127.0.0.1", int(sys.argv[1]))
c.request(sys.argv[2], sys.argv[3], (sys.argv[4:] or [""])[0].encode(), {"Authorization": "Basic YW5hOnNlZ3JlZG8="})
print(c.getresponse().status)' "$port" "$@"
}
e2e_wait 20 dav PROPFIND /ana/ || e2e_fail "Radicale did not start"
[ "$(dav MKCOL /ana/contatos/ '<?xml version="1.0"?><mkcol xmlns="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav"><set><prop><resourcetype><collection/><C:addressbook/></resourcetype></prop></set></mkcol>')" = 201 ] \
    || e2e_fail "address book not made"

folder="$E2E_TMP/app"
mkdir -p "$folder"
e2e_cp1252 $'"Ana§1§§§§01/01/2020\r\n\r\n"\r\n' >"$folder/LBcontatos.txt"
e2e_start_program "$binary" "$folder"
xdotool windowactivate --sync "$E2E_WINDOW"

# Right-click the list; without an account "Sincronizar agora" is off and Up reaches the entry above.
account_window() { [ "$(e2e_windows | wc -l)" -ge 2 ]; }
for _ in 1 2 3; do
    xdotool mousemove --window "$E2E_WINDOW" --sync 60 120 click 3
    sleep 0.3
    xdotool key --delay 80 Up Return
    e2e_wait 5 account_window && break
done
e2e_wait 10 account_window || e2e_fail "no account window after the context menu"
window=$(e2e_windows | tail -n1)
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
# The focus starts on the server's address; Tab goes on to the user and the password.
xdotool type --delay 10 "http://127.0.0.1:$port/"
xdotool key Tab type --delay 10 ana
xdotool key Tab type --delay 10 segredo
xdotool key Return

account_saved() { grep -qs '"addressBook": "http://127.0.0.1:'"$port"'/ana/contatos/"' "$XDG_CONFIG_HOME"/*/conta-*; }
e2e_wait 20 account_saved || e2e_fail "account not saved: $(cat "$XDG_CONFIG_HOME"/*/conta-* 2>&1)"
! grep -rqs segredo "$HOME" "$folder" || e2e_fail "the password is in a file: $(grep -rls segredo "$HOME" "$folder")"
xdotool key Escape
e2e_wait 10 test "$(e2e_windows | wc -l)" -eq 1 || e2e_fail "Escape did not close the account window"

# A contact added on the server comes into the list by the window's own sync (at start-up, on
# demand or every few minutes); here on demand, from the menu.
[ "$(dav PUT /ana/contatos/bruno.vcf $'BEGIN:VCARD\r\nVERSION:3.0\r\nUID:bruno\r\nFN:Bruno\r\nTEL:555\r\nEND:VCARD\r\n')" = 201 ] \
    || e2e_fail "card not put on the server"
# "Sincronizar agora": the menu's last entry, on now that an account exists.
xdotool mousemove --window "$E2E_WINDOW" --sync 60 120 click 3
sleep 0.3
xdotool key --delay 80 Up Return
e2e_wait 30 grep -q "Bruno" "$folder/LBcontatos.txt" || e2e_fail "the server's contact did not come in"
# In the list: its second name, copied whole from the window. The list follows the file a moment
# after the sync wrote it, so the row is clicked again until it holds the new name.
second_row_is_bruno() {
    xdotool mousemove --window "$E2E_WINDOW" --sync 60 42 click 1
    xdotool key ctrl+shift+o
    sleep 0.2
    xclip -o -selection clipboard | grep -q "^Bruno"
}
e2e_wait 10 second_row_is_bruno || e2e_fail "Bruno is not in the list"
echo "e2e conta: ok"
