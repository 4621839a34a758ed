#!/usr/bin/env bash
# The built program from outside: started in a scratch package home on the
# X server named by DISPLAY, its window found by title, closed by a real
# click on "Cancel" (exit status 0); the window manager's close message
# alone does not end it; user files named del1, del2 and del3 in the
# working directory survive; without a display it ends at once, non-zero,
# saying why.
# Arguments: the program, the source directory.
set -uo pipefail
program=$1
source_dir=$2
. "$source_dir/tests/e2e/xvt.sh"

xvt_begin window-e2e

home="$scratch/home"
xvt_sample_home "$home"
printf 'first user file\n' > "$home/del1"
printf 'second\nuser file\n' > "$home/del2"
printf 'third user file, no line feed' > "$home/del3"
before=$(cd "$home" && ls -la --time-style=+%s.%N del1 del2 del3 && cat del1 del2 del3)
listing=$(cd "$home" && ls -A | sort | tr '\n' ' ')

# --- the window, closed by "Cancel"
(cd "$home" && exec "$program") > "$scratch/out" 2>&1 &
pid=$!
if wid=$(xvt_find_window "vartena 1.5 setup" 20); then
  pass "window found: $wid"

  after=$(cd "$home" && ls -la --time-style=+%s.%N del1 del2 del3 && cat del1 del2 del3)
  [ "$before" = "$after" ] && pass "del1 del2 del3 unchanged after the window was built" ||
    fail "del1 del2 del3 changed: $after"
  leftovers=$(cd "$home" && ls -A | sort | tr '\n' ' ')
  [ "$leftovers" = "$listing" ] &&
    pass "no file added to the working directory" || fail "working directory now holds: $leftovers"

  if xvt_close "$wid"; then
    sleep 1
    if kill -0 "$pid" 2>/dev/null && xvt_window_exists "$wid"; then
      pass "WM_DELETE_WINDOW leaves the window open"
    else
      fail "WM_DELETE_WINDOW closed the window or ended the program"
    fi
  else
    fail "could not send WM_DELETE_WINDOW"
  fi

  buttons=$(xvt_bottom_row "$wid")
  count=$(printf '%s\n' "$buttons" | grep -c .)
  [ "$count" -eq 2 ] && pass "two buttons in the bottom row" || fail "bottom row: $buttons"
  cancel=$(printf '%s\n' "$buttons" | tail -n 1 | cut -d' ' -f1)
  xvt_click_widget "$cancel" || fail "could not click Cancel"
  status=0
  xvt_wait_exit "$pid" 10 || status=$?
  pid=
  [ "$status" -eq 0 ] && pass "Cancel ends the program with status 0" ||
    fail "exit status after Cancel: $status ($(cat "$scratch/out"))"
  xvt_window_exists "$wid" && fail "the window is still there after Cancel"
else
  fail "no window titled 'vartena 1.5 setup' ($(cat "$scratch/out"))"
fi
after=$(cd "$home" && ls -la --time-style=+%s.%N del1 del2 del3 && cat del1 del2 del3)
[ "$before" = "$after" ] && pass "del1 del2 del3 unchanged after Cancel" || fail "del1 del2 del3 changed"

# --- no display: a clear message and a non-zero status, at once
status=0
(cd "$home" && env -u DISPLAY timeout 10 "$program") > "$scratch/nodisplay" 2>&1 || status=$?
if [ "$status" -ne 0 ] && [ "$status" -ne 124 ]; then
  pass "without DISPLAY the program ends with status $status"
else
  fail "without DISPLAY: status $status"
fi
grep -q "require X Windows" "$scratch/nodisplay" && pass "and says: $(cat "$scratch/nodisplay")" ||
  fail "without DISPLAY no message: '$(cat "$scratch/nodisplay")'"

xvt_end
