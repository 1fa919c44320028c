# Pointer helpers for the main window's chrome, on top of lib.sh. Places are in the window's
# pixels at 15 twips to the pixel.

# Centres of the images and fields that the scripts use.
E2E_MINIMIZA="447 13"
E2E_FECHA="481 13"
E2E_FAIXA="180 10" # the drag strip, clear of the labels drawn on it
E2E_COPIAR="441 248"

# e2e_click X Y [BUTTON]: click at X,Y of the main window.
e2e_click() {
    xdotool mousemove --window "$E2E_WINDOW" --sync "$1" "$2" click "${3:-1}"
}

# e2e_visible: the main window is mapped and viewable.
e2e_visible() {
    xwininfo -id "$E2E_WINDOW" | grep -q 'Map State: IsViewable'
}

# e2e_position: prints the window's left and top.
e2e_position() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$E2E_WINDOW")"
    echo "$X $Y"
}

# e2e_drag DX DY: presses on the strip, moves the pointer by DX,DY in steps, releases.
e2e_drag() {
    local x y i
    read -r x y <<<"$(e2e_position)"
    x=$((x + ${E2E_FAIXA% *})) y=$((y + ${E2E_FAIXA#* }))
    xdotool mousemove --sync "$x" "$y" mousedown 1
    sleep 0.2 # the press reaches the program before the pointer moves on
    for i in 1 2 3 4 5; do
        xdotool mousemove --sync $((x + $1 * i / 5)) $((y + $2 * i / 5))
    done
    xdotool mouseup 1
}

# e2e_moved_to X Y: the window stands at X,Y (polled; the move lands after the events).
e2e_moved_to() {
    [ "$(e2e_position)" = "$1 $2" ]
}
