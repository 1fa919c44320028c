# Pointer helpers on top of lib.sh; places are in the main window's pixels.
E2E_MINIMIZA="447 13" E2E_FECHA="481 13" E2E_COPIAR="441 248"

e2e_click() { xdotool mousemove --window "$E2E_WINDOW" --sync "$1" "$2" click "${3:-1}"; }
e2e_type() { e2e_click "$1" "$2" && xdotool type --delay 20 "$3"; } # X Y TEXT: into the field there
e2e_visible() { xwininfo -id "$E2E_WINDOW" | grep -q 'Map State: IsViewable'; }
e2e_hidden() { ! e2e_visible; }
e2e_position() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$E2E_WINDOW")"
    echo "$X $Y"
}
e2e_at() { [ "$(e2e_position)" = "$1 $2" ]; }

# e2e_drag DX DY: press on the strip (clear of its labels), move in steps, release.
e2e_drag() {
    local x y i
    read -r x y <<<"$(e2e_position)"
    xdotool mousemove --sync $((x + 180)) $((y + 10)) mousedown 1
    sleep 0.2 # the press reaches the program before the pointer moves on
    for i in 1 2 3 4 5; do xdotool mousemove --sync $((x + 180 + $1 * i / 5)) $((y + 10 + $2 * i / 5)); done
    xdotool mouseup 1
}
