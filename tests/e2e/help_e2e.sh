#!/usr/bin/env bash
# The Help menu of the built program, driven from outside on the X server
# named by DISPLAY: a click on "Help" and on its "Installation" item opens
# a new untitled window of 13 rows; the window manager's close message
# removes it and gives the setup window the focus again; "Cancel" then
# ends the program with status 0.
# Arguments: the program, the source directory.
set -uo pipefail
program=$1
source_dir=$2
. "$source_dir/tests/e2e/xvt.sh"

xvt_begin help-e2e

# Mapped top-level windows, one id a line, sorted.
viewable_toplevels() {
  local w
  for w in $(xwininfo -root -children | awk '$1 ~ /^0x[0-9a-f]+$/ {print $1}'); do
    xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable' && echo "$w"
  done | sort
}

# The smallest widget of WID that holds the point X Y (relative to WID).
widget_at() {
  xvt_children "$1" | awk -v x="$2" -v y="$3" '
    x >= $4 && x < $4 + $2 && y >= $5 && y < $5 + $3 && (best == "" || $2 * $3 < area) {
      best = $1; area = $2 * $3 }
    END { if (best == "") exit 1; print best }'
}

# Waits (bounded) for a mapped top-level window that is not in BEFORE (a
# sorted list) and prints its id.
wait_new_toplevel() {
  local before=$1 i new
  for i in $(seq 50); do
    new=$(comm -13 <(printf '%s\n' "$before") <(viewable_toplevels) | head -n 1)
    if [ -n "$new" ]; then
      echo "$new"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# The rows of a menu pane or a help window: the widgets inside its full-size
# containers, top to bottom.
inner_rows() {
  local width
  width=$(xwininfo -id "$1" | awk '/^  Width:/ {print $2}')
  xvt_children "$1" | awk -v w="$width" '$2 < w' | sort -k5,5n
}

# Opens the Help menu of the setup window and chooses its fifth item,
# "Installation" (the items read: VARTENA directory, C compiler,
# C++ compiler, Tuning, Installation, Shell); prints the help window made.
choose_installation() {
  local wid=$1 title before pane items item shown
  title=$(widget_at "$wid" 10 10) || { echo "no menu title at the window's corner" >&2; return 1; }
  before=$(viewable_toplevels)
  xvt_click_widget "$title" || return 1
  pane=$(wait_new_toplevel "$before") || { echo "the Help menu did not open" >&2; return 1; }
  items=$(inner_rows "$pane")
  [ "$(printf '%s\n' "$items" | grep -c .)" -eq 6 ] || { echo "Help menu rows: $items" >&2; return 1; }
  item=$(printf '%s\n' "$items" | sed -n 5p | cut -d' ' -f1)
  before=$(viewable_toplevels | grep -v -x "$pane")
  xvt_click_widget "$item" || return 1
  shown=$(wait_new_toplevel "$before") || { echo "no window after Installation" >&2; return 1; }
  echo "$shown"
}

home="$scratch/home"
xvt_sample_home "$home"

(cd "$home" && exec "$program") > "$scratch/out" 2>&1 &
pid=$!
if wid=$(xvt_find_window "vartena 1.5 setup" 20); then
  pass "setup window found: $wid"

  # --- one help window, opened through the menu and closed
  if help=$(choose_installation "$wid"); then
    pass "Help > Installation opened window $help"
    name=$(xwininfo -id "$help" | sed -n 's/^xwininfo: Window id: [^ ]* "\(.*\)"$/\1/p')
    [ "$name" = " " ] && pass "the help window is untitled" || fail "help window named '$name'"
    rows=$(inner_rows "$help" | grep -c .)
    [ "$rows" -eq 13 ] && pass "it shows 13 rows" || fail "it shows $rows rows"
    xvt_close "$help" || fail "could not send WM_DELETE_WINDOW"
    for i in $(seq 50); do xvt_window_exists "$help" || break; sleep 0.1; done
    xvt_window_exists "$help" && fail "the help window is still there" ||
      pass "WM_DELETE_WINDOW removes the help window"
    kill -0 "$pid" 2>/dev/null && xvt_window_exists "$wid" && pass "the setup window stays" ||
      fail "the program or its window ended"
    focus=$(xdotool getwindowfocus 2>/dev/null)
    [ "$focus" = "$((wid))" ] && pass "the setup window has the focus again" ||
      fail "focus on '$focus', not $((wid))"
  else
    fail "Help > Installation showed no window"
  fi

  # --- Cancel still ends the program
  if kill -0 "$pid" 2>/dev/null; then
    cancel=$(xvt_bottom_row "$wid" | tail -n 1 | cut -d' ' -f1)
    xvt_click_widget "$cancel" || fail "could not click Cancel"
    status=0
    xvt_wait_exit "$pid" 10 || status=$?
    pid=
    [ "$status" -eq 0 ] && pass "Cancel ends the program with status 0" || fail "exit status after Cancel: $status"
  fi
else
  fail "no window titled 'vartena 1.5 setup' ($(cat "$scratch/out"))"
fi

xvt_end
