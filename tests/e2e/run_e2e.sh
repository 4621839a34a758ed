#!/usr/bin/env bash
# "Setup" pressed for real: the built program started on the X server named
# by DISPLAY in a copy of the sample package home, Full chosen and "Setup"
# clicked with xdotool; the process must end by itself with status 0 (an
# alert would keep it waiting) and the files must be there.  Then a User
# installation in another directory with the notice box ticked: the notice
# reaches a recording "mail" first on PATH.
# Arguments: the program, the source directory.
set -uo pipefail
program=$1
source_dir=$2
. "$source_dir/tests/e2e/xvt.sh"

xvt_begin run-e2e
# An X server started without -noreset resets when its last client leaves,
# and refuses connections meanwhile: a quiet client stays connected so that
# the second program can open the display right after the first has ended.
xev -root -event property > /dev/null 2>&1 &
keeper=$!
xvt_cleanup() { kill "$keeper" 2>/dev/null; }

home="$scratch/home"
xvt_sample_home "$home"
mkdir "$scratch/bin" "$scratch/tmp"
printf '#!/bin/sh\n{ echo "to: $*"; cat; } >> "%s/mail.log"\n' "$scratch" > "$scratch/bin/mail"
chmod 755 "$scratch/bin/mail"
export PATH="$scratch/bin:$PATH" TMPDIR="$scratch/tmp" SHELL=/bin/tcsh

# value SECTION KEY FILE: the value as written, blanks at the ends stripped
value() {
  awk -v s="[$1]" -v k="$2" '
    /^\[/ { cur = $0; next }
    cur == s && index($0, "=") { key = substr($0, 1, index($0, "=") - 1); gsub(/^[ \t]+|[ \t]+$/, "", key)
      if (key == k) { v = substr($0, index($0, "=") + 1); gsub(/^[ \t]+|[ \t]+$/, "", v); print v; exit } }' "$3"
}

# toggles WID: the check boxes and radio buttons below the menu bar, top to
# bottom and left to right ("ID W H X Y"); in any font they are as high as
# the menu bar's "Help" at 5,5
toggles() {
  local rows h
  rows=$(xvt_children "$1")
  h=$(printf '%s\n' "$rows" | awk '$4 == 5 && $5 == 5 {print $3; exit}')
  printf '%s\n' "$rows" | awk -v h="$h" '$3 == h && $5 >= 31' | sort -k5,5n -k4,4n
}
radios() { toggles "$1" | awk '$2 < 100'; }

# (xwininfo -id "" would wait for a click on a window)
viewable() { [ -n "$1" ] && xwininfo -id "$1" 2>/dev/null | grep -q "Map State: IsViewable"; }

# wait_viewable ID: up to 10 s
wait_viewable() {
  local i
  for i in $(seq 100); do viewable "$1" && return 0; sleep 0.1; done
  return 1
}

# start DIR: the program in DIR, its window shown with both buttons; sets
# pid and wid
start() {
  local i
  (cd "$1" && exec "$program") > "$scratch/out" 2>&1 &
  pid=$!
  wid=$(xvt_find_window "vartena 1.5 setup" 20) || { fail "no window ($(cat "$scratch/out"))"; return 1; }
  for i in $(seq 100); do
    [ "$(xvt_bottom_row "$wid" 2>/dev/null | grep -c .)" -eq 2 ] &&
      wait_viewable "$(xvt_bottom_row "$wid" | head -n 1 | cut -d' ' -f1)" && return 0
    sleep 0.1
  done
  fail "the window never showed its buttons"
  return 1
}

# press_setup: clicks "Setup" and waits for the program to end by itself
press_setup() {
  local setup status=0
  setup=$(xvt_bottom_row "$wid" | head -n 1 | cut -d' ' -f1)
  xvt_click_widget "$setup" || fail "could not click Setup"
  xvt_wait_exit "$pid" 120 || status=$?
  pid=
  check "the program ends with status 0 after Setup" "[ $status -eq 0 ]"
  [ "$status" -eq 0 ] || echo "output: $(cat "$scratch/out")" >&2
}

# --- Full installation in the package home
if start "$home"; then
  full=$(radios "$wid" | sed -n 1p | cut -d' ' -f1)
  csh=$(radios "$wid" | sed -n 3p | cut -d' ' -f1)
  [ -n "$full" ] && xvt_click_widget "$full" || fail "no Full radio button"
  # Full shows the shell style switch
  wait_viewable "$csh" || fail "Full did not show the shell style"
  press_setup
fi
rc="$home/.vartenarc"
check "KERNEL is the home with one slash" '[ "$(value Paths KERNEL "$rc")" = "$home/" ]'
check "CLASSCUR is ODE" '[ "$(value Currents CLASSCUR "$rc")" = ODE ]'
check "CLASSFILECUR names ode.vtn" '[ "$(value Files CLASSFILECUR "$rc")" = "$home/ode.vtn" ]'
check "AUTODIFOPT stays +" '[ "$(value Libraries AUTODIFOPT "$rc")" = + ]'
check "init.cpf is the template, 6451 bytes, 0444" \
  'cmp -s "$home/init.cpf" "$source_dir/tests/data/init.cpf.golden" && [ "$(stat -c %a "$home/init.cpf")" = 444 ]'
check "CompRhs starts with the tcsh path and is 0755" \
  '[ "$(head -n 1 "$home/CompRhs")" = "#! /bin/tcsh -f" ] && [ "$(stat -c %a "$home/CompRhs")" = 755 ]'
check "vtn_sys.h is written read-only" '[ "$(stat -c %a "$home/vtn_sys.h")" = 444 ]'
check "palette.cpf has 26 lines" '[ "$(wc -l < "$home/palette.cpf")" -eq 26 ]'
check "filenums.cpf holds -" '[ "$(cat "$home/filenums.cpf")" = - ]'
check "autodif.o was compiled" '[ -s "$home/autodif.o" ]'
check "no notice without consent" '[ ! -e "$scratch/mail.log" ]'

# --- User installation elsewhere, notice box ticked
user="$scratch/user"
mkdir "$user"
: > "$user/.vartenarc"
if start "$user"; then
  consent=$(toggles "$wid" | awk '$2 >= 300' | head -n 1 | cut -d' ' -f1)
  [ -n "$consent" ] && xvt_click_widget "$consent" || fail "no consent box"
  # the directory field, the top wide widget, is empty on User: type the home
  field=$(xvt_children "$wid" | awk '$2 >= 300 && $3 > 1 && $3 < 100 && $5 >= 31' | sort -k5,5n | head -n 1 | cut -d' ' -f1)
  xvt_click_widget "$field" && xdotool type --delay 5 "$home"
  sleep 0.3
  press_setup
fi
check "User: KERNEL is the home" '[ "$(value Paths KERNEL "$user/.vartenarc")" = "$home/" ]'
check "User: no init.cpf in the user directory" '[ ! -e "$user/init.cpf" ] && [ -e "$user/palette.cpf" ]'
check "User: the notice went to the two recipients" \
  'grep -qx "to: vartena-authors@example.org vartena-notices@example.org" "$scratch/mail.log"'
check "User: the notice names a User installation" 'grep -qx "VARTENA 1.5u installed on" "$scratch/mail.log"'
check "User: no del1 or del2 left" '[ ! -e "$user/del1" ] && [ ! -e "$user/del2" ]'

xvt_end
