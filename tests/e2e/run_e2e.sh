#!/bin/bash
# The released program, end to end, driven only with real pointer and keyboard events on the X
# display, as a user would: open a list through the real Open dialog, save the result through the
# real Save dialog, "Save && Open" on a name holding & ^ % and a space (Notepad starts on exactly
# that file, with no shell between), move the window by its background, minimise it with its own
# image button and restore it, then end it with its close image button. Then start it again with a
# list's path as its argument, as "Open with" and "Send to" do, on a name outside any 8-bit code
# page: the counts show as after the open through the dialog, and the result saves; end it from the
# keyboard with its window menu (Alt+Space, then C). Saving as noext or list.csv where noext.txt
# or list.csv.txt exists asks first, and No leaves the file as it was.
#
# Usage: run_e2e.sh PATH/TO/Ostrel.exe
# DISPLAY and WINEPREFIX come from the caller (scripts/test.sh sets both); Ostrel.exe is started
# through scripts/wine-run. Prints one PASS or FAIL line per step; exits non-zero on any failure.
set -u

exe="${1:-}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
wine_run="$root/scripts/wine-run"

test_name=e2e.whole_program
source "$root/tests/steps.sh"

[ -n "$exe" ] && [ -f "$exe" ] || fatal "usage: run_e2e.sh PATH/TO/Ostrel.exe (got '${exe}')"
[ -n "${DISPLAY:-}" ] || fatal "DISPLAY is not set: run this through scripts/test.sh, or start Xvfb and export DISPLAY"
[ -n "${WINEPREFIX:-}" ] || echo "note: WINEPREFIX is not set; scripts/wine-run uses build/wineprefix"
for tool in xdotool xprop xwininfo import compare; do
    command -v "$tool" >/dev/null || fatal "$tool is not installed"
done
display_ok() { xwininfo -root >/dev/null 2>&1; }
display_ok || fatal "cannot reach the X display $DISPLAY"

work="$(mktemp -d /tmp/ostrel-e2e.XXXXXX)"
# Every process that Ostrel starts inherits this variable, so the test can tell its own.
tag="ostrel-e2e-$$-$RANDOM"
ostrel_pid=""
notepad_pids=()

# ---- helpers ----


# A process that exists and has not ended (an ended child stays a zombie until reaped).
alive() {
    local stat
    [ -n "$1" ] && stat="$(cat "/proc/$1/stat" 2>/dev/null)" && [ -n "$stat" ] || return 1
    stat="${stat##*) }"
    [[ "$stat" != Z* && "$stat" != X* ]]
}
ended() { ! alive "$1"; }

# Processes carrying this run's tag: Ostrel and whatever it started.
tagged_pids() {
    local dir pid
    for dir in /proc/[0-9]*; do
        pid="${dir#/proc/}"
        alive "$pid" || continue
        grep -qzx "OSTREL_E2E_RUN=$tag" "$dir/environ" 2>/dev/null && echo "$pid"
    done
}
# The arguments of a process, one a line, without the padding Wine leaves after them.
arguments_of() { tr '\0' '\n' < "/proc/$1/cmdline" 2>/dev/null | sed '/^$/d'; }

# Visible windows of Ostrel with this exact title.
windows_named() { xdotool search --all --onlyvisible --pid "$ostrel_pid" --name "$1" 2>/dev/null; }
window_named() { windows_named "$1" | head -n 1; }
no_window_named() { [ -z "$(windows_named "$1")" ]; }
# A visible window of Ostrel other than the main one (a message box, a popup menu).
other_window() { xdotool search --all --onlyvisible --pid "$ostrel_pid" --name "$1" 2>/dev/null | grep -vx "$main" | head -n 1; }
has_other_window() { [ -n "$(other_window "$1")" ]; }

# Outer geometry of the main window: sets X Y WIDTH HEIGHT.
geometry() {
    local line
    X="" Y="" WIDTH="" HEIGHT=""
    while IFS='=' read -r key value; do
        case "$key" in
            X) X="$value" ;; Y) Y="$value" ;; WIDTH) WIDTH="$value" ;; HEIGHT) HEIGHT="$value" ;;
        esac
    done < <(xdotool getwindowgeometry --shell "$main" 2>/dev/null)
    [ -n "$X" ]
}
at_place() { geometry && [ "$X" = "$1" ] && [ "$Y" = "$2" ]; }

# What Wine tells a window manager about the window: WM_HINTS initial state (Iconic while
# minimised) and the decorations word of _MOTIF_WM_HINTS (the title bit 0x8 set only while the
# window has its caption style).
iconic() { xprop -id "$main" WM_HINTS 2>/dev/null | grep -q 'Iconic State'; }
normal_state() { xprop -id "$main" WM_HINTS 2>/dev/null | grep -q 'Normal State'; }
decorations() { xprop -id "$main" _MOTIF_WM_HINTS 2>/dev/null | sed -n 's/.*= *[^,]*, *[^,]*, *\([^,]*\),.*/\1/p'; }
has_title_decoration() { local d; d="$(decorations)"; [ -n "$d" ] && (( d & 0x8 )); }
no_title_decoration() { local d; d="$(decorations)"; [ -n "$d" ] && ! (( d & 0x8 )); }

# A real pointer click at a point of the main window (client = window: it has no frame).
click_at() {
    xdotool mousemove --sync --window "$main" "$1" "$2" 2>/dev/null || xdotool mousemove --window "$main" "$1" "$2"
    xdotool click 1
}

# The band of the two count labels (y 110..147), and whether two pictures are the same pixels.
counts_band() { import -window "$main" -crop 300x38+0+110 +repage "png:$1" 2>/dev/null; }
same_picture() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; }

# Gives a common dialog the keyboard focus, replaces its file name with $2 and presses Return.
answer_dialog() {
    local dialog="$1" path="$2"
    xdotool windowfocus --sync "$dialog"
    xdotool key Home shift+End
    xdotool type --delay 12 "$path"
    xdotool key Return
}

# The Z: form of a Linux path.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

dragging=""
cleanup() {
    local pid
    [ -n "$dragging" ] && xdotool mouseup 1 2>/dev/null
    # Notepads of this run, also one started but not yet noted.
    for pid in $(tagged_pids); do
        [ "$(arguments_of "$pid" | head -n 1)" = notepad ] && notepad_pids+=("$pid")
    done
    for pid in "${notepad_pids[@]}" $ostrel_pid; do
        if alive "$pid"; then
            kill "$pid" 2>/dev/null
            poll 3 ended "$pid" || kill -9 "$pid" 2>/dev/null
        fi
    done
    [ -n "$ostrel_pid" ] && wait "$ostrel_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

started=$SECONDS

# ---- the list ----

# Case variants, apostrophes, a blank and a space-only line, inner double spaces, CRLF line ends
# and a last line without a line end.
list="$work/keywords list.txt"
printf '%s\r\n' "Banana split" "apple pie" "  APPLE PIE  " "" "   " "O'Brien's cafe" \
    "o'brien's CAFE" "cherry" "banana split" "dates  and figs" "Cherry" > "$list"
printf '%s' "apple pie" >> "$list"
expected="$work/expected.txt"
printf '%s\r\n' "apple pie" "Banana split" "cherry" "dates  and figs" "O'Brien's cafe" > "$expected"

# ---- start ----

# A UTF-8 locale, so that Wine hands the program non-ASCII arguments intact.
OSTREL_E2E_RUN="$tag" LC_ALL=C.UTF-8 "$wine_run" "$exe" >"$work/wine.log" 2>&1 &
ostrel_pid=$!
main=""
find_main() { main="$(window_named '^Ostrel$')"; [ -n "$main" ]; }
if poll 60 find_main; then
    pass "start: window 'Ostrel' of process $ostrel_pid is shown"
else
    cat "$work/wine.log" >&2
    fatal "start: no window 'Ostrel' within 60 s"
fi
if poll 5 geometry && [ "$WIDTH" = 300 ] && [ "$HEIGHT" = 223 ] && poll 5 no_title_decoration; then
    pass "start: outer size ${WIDTH}x${HEIGHT}, no title bar"
else
    fail "start: outer size ${WIDTH}x${HEIGHT} (want 300x223), decorations '$(decorations)' (want no title bit)"
fi
counts_blank="$work/counts-blank.png"
counts_band "$counts_blank" || fail "start: the count labels cannot be captured"

# ---- Open && Remove Duplicate, through the real Open dialog ----

click_at 64 66  # cmdOpen: x 6..123, y 50..83
open_dialog=""
find_open() { open_dialog="$(window_named '^Open$')"; [ -n "$open_dialog" ]; }
poll 30 find_open || fatal "open: no Open dialog after a click on 'Open && Remove Duplicate'"
answer_dialog "$open_dialog" "$(windows_path "$list")"
if poll 15 no_window_named '^Open$'; then
    pass "open: the Open dialog took '$(windows_path "$list")' and closed"
else
    fatal "open: the Open dialog is still shown after Return"
fi
# An error would show a message box now; a clean run shows none.
if poll 1 has_other_window '.'; then
    fail "open: a message box appeared after opening the list"
    xdotool windowfocus --sync "$(other_window '.')" && xdotool key Return
fi
counts_dialog="$work/counts-dialog.png"
counts_shown() { counts_band "$counts_dialog" && ! same_picture "$counts_blank" "$counts_dialog"; }
if poll 10 counts_shown; then
    sleep 0.5  # both labels painted
    counts_band "$counts_dialog"
    pass "open: the count labels show the run's counts"
else
    fail "open: the count labels look as before the open"
fi

# ---- Save, through the real Save dialog ----

saved="$work/out folder/unique.txt"
mkdir -p "$work/out folder"
click_at 61 168  # cmdSave: x 8..115, y 158..179
save_dialog=""
find_save() { save_dialog="$(window_named '^Save As$')"; [ -n "$save_dialog" ]; }
poll 15 find_save || fatal "save: no Save dialog after a click on 'Save' (the open run did not enable it?)"
answer_dialog "$save_dialog" "$(windows_path "$saved")"
poll 15 no_window_named '^Save As$' || fail "save: the Save dialog is still shown after Return"
box=""
find_box() { box="$(other_window '^Ostrel$')"; [ -n "$box" ]; }
if poll 15 find_box; then
    pass "save: a message box titled 'Ostrel' reports the save"
    xdotool windowfocus --sync "$box"
    xdotool key Return
else
    fail "save: no message box 'Ostrel' after saving"
fi
box_gone() { ! xdotool search --all --onlyvisible --pid "$ostrel_pid" --name '.' 2>/dev/null | grep -vxq "$main"; }
poll 10 box_gone || fail "save: the message box did not go away on Return"
if cmp -s "$saved" "$expected"; then
    pass "save: the saved file holds the sorted unique lines with CRLF, byte for byte"
else
    fail "save: the saved file differs from the expected lines"
    { echo "--- expected"; od -c "$expected"; echo "--- saved"; od -c "$saved" 2>&1; } | sed 's/^/    /'
fi

# ---- Save over files that exist: nothing is replaced unasked; No keeps them ----

# A window of Ostrel other than the main one and those named after the title pattern ($1).
question=""
find_question() {
    local pattern="$1" w s skip
    shift
    question=""
    for w in $(xdotool search --all --onlyvisible --pid "$ostrel_pid" --name "$pattern" 2>/dev/null); do
        skip=""
        for s in "$main" "$@"; do [ "$w" = "$s" ] && skip=1; done
        [ -z "$skip" ] && { question="$w"; return 0; }
    done
    return 1
}
# Saves as $1 over the file $2, which exists, answers No to the question that comes first, and
# checks that the save counts as cancelled and that the file kept its bytes. The question is
# the Save dialog's own for a name it completed with ".txt" itself (noext), Ostrel's for one
# its ".txt" rule changed afterwards (list.csv).
refuse_replacing() {
    local typed="$1" existing="$2" what="$3" asked
    printf 'old\r\n' > "$existing"
    click_at 61 168  # cmdSave
    poll 15 find_save || { fail "$what: no Save dialog"; return; }
    answer_dialog "$save_dialog" "$(windows_path "$typed")"
    if poll 15 find_question '.' "$save_dialog"; then
        pass "$what: a question ('$(xdotool getwindowname "$question")') comes before '$(basename "$existing")' is replaced"
        asked="$question"
        xdotool windowfocus --sync "$asked"
        xdotool key n
    else
        fail "$what: '$(basename "$existing")' was replaced without a question"
        return
    fi
    # No to the dialog's own question leaves the dialog open: it is then cancelled.
    if [ "$(xdotool getwindowname "$asked" 2>/dev/null)" != Ostrel ] && poll 5 find_save; then
        xdotool windowfocus --sync "$save_dialog"
        xdotool key Escape
    fi
    if poll 15 find_question '^Ostrel$' "$asked"; then
        pass "$what: No cancels the save (a message box 'Ostrel' follows)"
        xdotool windowfocus --sync "$question"
        xdotool key Return
    else
        fail "$what: no message after No"
    fi
    poll 10 box_gone || fail "$what: a message box stayed after Return"
    if [ "$(cat "$existing")" = "$(printf 'old\r\n')" ]; then
        pass "$what: '$(basename "$existing")' is untouched"
    else
        fail "$what: '$(basename "$existing")' was changed"
    fi
}
refuse_replacing "$work/out folder/noext" "$work/out folder/noext.txt" "save as noext"
refuse_replacing "$work/out folder/list.csv" "$work/out folder/list.csv.txt" "save as list.csv"

# ---- Save && Open on a name with & ^ % and a space: Notepad, no shell ----

odd="$work/odd folder/a&b^c %PATH%.txt"
mkdir -p "$work/odd folder"
before="$(tagged_pids | sort)"
click_at 173 168  # cmdSaveOpen: x 120..227, y 158..179
poll 15 find_save || fatal "save and open: no Save dialog after a click on 'Save && Open'"
answer_dialog "$save_dialog" "$(windows_path "$odd")"
poll 15 no_window_named '^Save As$' || fail "save and open: the Save dialog is still shown after Return"
if poll 15 find_box; then
    xdotool windowfocus --sync "$box"
    xdotool key Return
else
    fail "save and open: no message box 'Ostrel' after saving"
fi
poll 10 box_gone || fail "save and open: the message box did not go away on Return"
cmp -s "$odd" "$expected" && pass "save and open: '$(basename "$odd")' holds the unique lines" \
    || fail "save and open: '$(basename "$odd")' is missing or differs"

new_processes() { comm -13 <(echo "$before") <(tagged_pids | sort) | sed '/^$/d'; }
notepad_started() {
    local pid
    for pid in $(new_processes); do
        [ "$(arguments_of "$pid" | head -n 1)" = notepad ] && return 0
    done
    return 1
}
if poll 20 notepad_started; then
    strays=()
    for pid in $(new_processes); do
        args="$(arguments_of "$pid")"
        first="$(head -n 1 <<<"$args")"
        if [ "$first" = notepad ]; then
            notepad_pids+=("$pid")
        else
            # Wine's own services may start on demand beside any program; they are not ours.
            case "$first" in
                'C:\windows\system32\services.exe' | 'C:\windows\system32\winedevice.exe' | \
                'C:\windows\system32\plugplay.exe' | 'C:\windows\system32\svchost.exe' | \
                'C:\windows\system32\rpcss.exe' | 'C:\windows\system32\explorer.exe') ;;
                *) strays+=("$pid: $(tr '\n' ' ' <<<"$args")") ;;
            esac
        fi
    done
    if [ "${#notepad_pids[@]}" -eq 1 ]; then
        pass "save and open: one notepad process started (pid ${notepad_pids[0]})"
    else
        fail "save and open: ${#notepad_pids[@]} notepad processes started (want 1)"
    fi
    if [ "${#strays[@]}" -eq 0 ]; then
        pass "save and open: nothing else was started (no shell, no piece of the name run as a program)"
    else
        fail "save and open: other processes started: ${strays[*]}"
    fi
    npid="${notepad_pids[0]}"
    mapfile -t nargs < <(arguments_of "$npid")
    if [ "${#nargs[@]}" -eq 2 ] && [ "${nargs[1]}" = "$(windows_path "$odd")" ]; then
        pass "save and open: Notepad's one argument is the whole path '${nargs[1]}'"
    else
        fail "save and open: Notepad's arguments are: $(printf '[%s] ' "${nargs[@]}")"
    fi
    title_ok() {
        local w
        for w in $(xdotool search --all --onlyvisible --pid "$npid" --name 'Notepad' 2>/dev/null); do
            [[ "$(xdotool getwindowname "$w")" == *"a&b^c %PATH%.txt"* ]] && return 0
        done
        return 1
    }
    if poll 15 title_ok; then
        pass "save and open: Notepad shows 'a&b^c %PATH%.txt' in its title"
    else
        fail "save and open: no Notepad window titled with 'a&b^c %PATH%.txt'"
    fi
    kill "$npid" 2>/dev/null
    poll 5 ended "$npid" && pass "save and open: Notepad ended by its pid" \
        || fail "save and open: Notepad $npid did not end"
else
    fail "save and open: no notepad process within 20 s (new processes: $(new_processes | tr '\n' ' '))"
fi

# ---- move the window by its background ----

poll 5 geometry || fatal "move: the window's geometry cannot be read"
x0=$X y0=$Y
dx=60 dy=40
# (270, 60): bare background, clear of cmdOpen, the progress bar, the labels and the images.
xdotool mousemove --sync --window "$main" 270 60 2>/dev/null || xdotool mousemove --window "$main" 270 60
dragging=1
xdotool mousedown 1
sleep 0.5  # the window's move loop starts once the press has been handled
xdotool mousemove_relative --sync -- $((dx / 2)) $((dy / 2))
xdotool mousemove_relative --sync -- $((dx - dx / 2)) $((dy - dy / 2))
poll 5 at_place $((x0 + dx)) $((y0 + dy))
xdotool mouseup 1
dragging=""
sleep 0.3
if poll 5 at_place $((x0 + dx)) $((y0 + dy)); then
    pass "move: a drag on the background moved the window by ($dx, $dy) to ($X, $Y)"
else
    fail "move: the window is at ($X, $Y), want ($((x0 + dx)), $((y0 + dy))) (from ($x0, $y0))"
fi
x1=$X y1=$Y

# ---- minimise through the image button, restore ----

band_before="$work/band-before.png"
have_import=""
if command -v import >/dev/null && command -v compare >/dev/null; then
    import -window "$main" -crop 300x44+0+0 +repage "png:$band_before" 2>/dev/null && have_import=1
fi
normal_state && ! iconic || fail "minimise: the window reads as minimised before the click"
click_at 268 11  # imgMinUp: x 261..276, y 4..19
if poll 5 iconic; then
    pass "minimise: the window is minimised (WM_HINTS Iconic)"
else
    fail "minimise: the window is not minimised after a click on the minimise image"
fi
if poll 5 has_title_decoration; then
    pass "minimise: the minimised window has its title bar back (caption style)"
else
    fail "minimise: no caption style while minimised (decorations '$(decorations)')"
fi

# No window manager here: restore as a user would from the keyboard, through the window's
# system menu (Alt+Space, then Return on its first item, Restore).
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key alt+space
menu=""
find_menu() { menu="$(other_window '.*')"; [ -n "$menu" ]; }
if poll 5 find_menu; then
    xdotool key Return
else
    fail "restore: no system menu on Alt+Space"
fi
if poll 5 normal_state; then
    pass "restore: the window is restored (WM_HINTS Normal)"
else
    fail "restore: the window is still minimised"
fi
if poll 5 no_title_decoration && poll 5 geometry && [ "$WIDTH" = 300 ] && [ "$HEIGHT" = 223 ] \
        && [ "$X" = "$x1" ] && [ "$Y" = "$y1" ]; then
    pass "restore: no title bar again, outer size 300x223 at ($X, $Y)"
else
    fail "restore: decorations '$(decorations)', ${WIDTH}x${HEIGHT} at ($X, $Y) (want no title bit, 300x223 at ($x1, $y1))"
fi
if [ -n "$have_import" ]; then
    band_after="$work/band-after.png"
    same_band() {
        import -window "$main" -crop 300x44+0+0 +repage "png:$band_after" 2>/dev/null &&
            [ "$(compare -metric AE "$band_before" "$band_after" null: 2>&1)" = 0 ]
    }
    if poll 5 same_band; then
        pass "restore: the top band is drawn exactly as before the minimise (no caption drawn)"
    else
        fail "restore: the top 44 rows differ from before the minimise"
    fi
fi

# ---- close through the image button ----

click_at 286 11  # impCloseUp: x 279..294, y 4..19
if poll 5 ended "$ostrel_pid"; then
    wait "$ostrel_pid" 2>/dev/null
    pass "close: the program ended (exit code $?)"
else
    fail "close: the program is still running 5 s after a click on the close image"
fi
gone() { [ -z "$(tagged_pids | while read -r p; do a="$(arguments_of "$p" | head -n 1)"; case "$a" in 'C:\windows\system32\'*) ;; *) echo "$p";; esac; done)" ]; }
poll 5 gone && pass "close: no process of this run is left" \
    || fail "close: processes left: $(tagged_pids | tr '\n' ' ')"

# ---- start with a list's path as the argument ("Open with", "Send to") ----

# Greek, Cyrillic and Chinese in one name: no 8-bit code page holds them all. The same lines as
# before, so the same counts.
named="$work/κλειδιά ключи 键.txt"
cp "$list" "$named"
OSTREL_E2E_RUN="$tag" LC_ALL=C.UTF-8 "$wine_run" "$exe" "$(windows_path "$named")" \
    >"$work/wine-named.log" 2>&1 &
ostrel_pid=$!
main=""
if poll 60 find_main; then
    pass "command line: window 'Ostrel' of process $ostrel_pid is shown"
else
    cat "$work/wine-named.log" >&2
    fatal "command line: no window 'Ostrel' within 60 s"
fi
counts_named="$work/counts-named.png"
same_counts() { counts_band "$counts_named" && same_picture "$counts_dialog" "$counts_named"; }
if poll 15 same_counts; then
    pass "command line: '$(basename "$named")' opened once shown; the counts show as after the dialog"
else
    fail "command line: the count labels differ from those after opening the same lines"
fi
if poll 1 has_other_window '.'; then
    fail "command line: a message box appeared after opening '$(basename "$named")'"
    xdotool windowfocus --sync "$(other_window '.')" && xdotool key Return
fi
saved_named="$work/out folder/from the command line.txt"
click_at 61 168  # cmdSave
poll 15 find_save || fatal "command line: no Save dialog after a click on 'Save'"
answer_dialog "$save_dialog" "$(windows_path "$saved_named")"
poll 15 no_window_named '^Save As$' || fail "command line: the Save dialog is still shown after Return"
if poll 15 find_box; then
    xdotool windowfocus --sync "$box"
    xdotool key Return
else
    fail "command line: no message box 'Ostrel' after saving"
fi
poll 10 box_gone || fail "command line: the message box did not go away on Return"
if cmp -s "$saved_named" "$expected"; then
    pass "command line: the saved file holds the sorted unique lines, byte for byte"
else
    fail "command line: the saved file is missing or differs from the expected lines"
fi
# ---- the window menu from the keyboard: Alt+Space, then C ----

poll 5 geometry || fail "keyboard: the window's geometry cannot be read"
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key alt+space
menu=""
if poll 5 find_menu; then
    menu_at() {
        xdotool getwindowgeometry --shell "$menu" 2>/dev/null | grep -qx "X=$X" &&
            xdotool getwindowgeometry --shell "$menu" 2>/dev/null | grep -qx "Y=$Y"
    }
    if poll 2 menu_at; then
        pass "keyboard: Alt+Space opens a menu at the window's top-left ($X, $Y)"
    else
        fail "keyboard: the menu is not at the window's top-left ($X, $Y): $(xdotool getwindowgeometry "$menu" 2>&1 | tr '\n' ' ')"
    fi
    xdotool key c
else
    fail "keyboard: no window menu on Alt+Space while the title bar is hidden"
fi
if poll 5 ended "$ostrel_pid"; then
    wait "$ostrel_pid" 2>/dev/null
    pass "keyboard: Alt+Space, then C, ended the program"
else
    fail "keyboard: the program is still running 5 s after Alt+Space, then C"
fi

echo "e2e.whole_program: $failures failure(s) in $((SECONDS - started)) s"
[ "$failures" -eq 0 ]
