#!/usr/bin/env bash
# The built program driven with real clicks (xdotool) on the X server named by
# DISPLAY (Xvfb started with -noreset, no window manager).  Parts:
#   window  the window appears; "Cancel" ends it with status 0 and leaves the
#           working directory as it was;
#   help    (before that Cancel) the Help menu's "Installation" opens a window
#           that WM_DELETE_WINDOW closes, and the setup window stays;
#   run     a Full installation in a copy of the sample package home, then a
#           User one elsewhere that mails the install notice.
# Arguments: the program, the xvt-delete-window tool, the parts (default all).
set -uo pipefail
program=$(readlink -f "$1") delete_window=$2 parts=" ${*:3} "
[ "$parts" = "  " ] && parts=" window help run "
part() { [[ $parts == *" $1 "* ]]; }
[ -n "${DISPLAY:-}" ] || { echo "FAIL: no DISPLAY" >&2; exit 1; }
failures=0 pid=
scratch=$(mktemp -d /tmp/vartena-e2e-XXXXXX)
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1" >&2; failures=$((failures + 1)); return 1; fi; }
# within CMD...: runs CMD until it succeeds, for up to 10 s
within() { local i; for i in $(seq 100); do "$@" && return 0; sleep 0.1; done; return 1; }

# kids WID: the shown windows inside WID narrower than its outermost one (the
# widgets, the items of a menu pane), "ID WIDTH HEIGHT X Y" with X Y absolute,
# top to bottom and left to right.  The status line laid over the button row
# while a command runs is hidden otherwise, so it is left out.
kids() {
  local shown
  [ -n "$1" ] || return 1 # (xwininfo -id "" would wait for a click)
  shown=$(xdotool search --onlyvisible --name '' 2>/dev/null | awk '{printf "0x%x ", $1}')
  xwininfo -tree -id "$1" 2>/dev/null | awk -v shown="$shown" '
    BEGIN { n = split(shown, s, " "); for (i = 1; i <= n; i++) v[s[i]] }
    $1 in v && $NF ~ /^\+[0-9]+\+[0-9]+$/ { split($(NF-1), g, /[x+-]/); split($NF, a, "+")
      if (w == "") w = g[1]; if (g[1] < w) print $1, g[1], g[2], a[2], a[3] }' | sort -k5,5n -k4,4n
}
# hit ID W H X Y: a click of button 1 in the middle of that widget
hit() { [ $# -eq 5 ] && xdotool mousemove $(($4 + $2 / 2)) $(($5 + $3 / 2)) click 1; }
# In the setup window: the menu bar's "Help" comes first; the check boxes and
# radio buttons are as high as it, in any font; "Setup" and "Cancel" are the
# lowest widgets, "Cancel" the last.
toggles() { kids "$wid" | awk 'NR == 1 { h = $3; next } $3 == h'; }
setup_button() { kids "$wid" | awk '{ l[NR] = $0; y[NR] = $5 } END { for (i = 1; i <= NR; i++) if (y[i] == y[NR]) { print l[i]; exit } }'; }
tops() { xdotool search --maxdepth 1 --onlyvisible --name '' | sort; }
newtop() { comm -13 <(printf '%s\n' $1 | sort) <(tops) | grep .; }

# start DIR SECONDS: the program in DIR, ended after SECONDS at the latest; sets pid and wid
start() {
  (cd "$1" && exec timeout "$2" "$program") > "$scratch/out" 2>&1 &
  pid=$!
  wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^vartena 1\.5 setup$' | head -n 1)
  check "the window 'vartena 1.5 setup' appears in $(basename "$1")" '[ -n "$wid" ]' && return
  cat "$scratch/out" >&2; kill "$pid"; wait "$pid"; pid=; return 1
}
# ended LABEL: waits for the program; it must end with status 0
ended() { local s=0; wait "$pid" || s=$?; pid=; check "$1 ends the program with status 0" "[ $s -eq 0 ]" || cat "$scratch/out" >&2; }

user=$scratch/user
mkdir "$user" && : > "$user/.vartenarc"
if part window || part help; then
  printf 'one\n' > "$user/del1"; printf 'two\nlines\n' > "$user/del2"; printf 'no line feed' > "$user/del3"
  state() { ls -lA --time-style=+%s.%N "$user"; cat "$user"/del?; }
  before=$(state)
  if start "$user" 20 && part help; then
    old=$(tops)
    hit $(kids "$wid" | head -n 1)
    pane=$(within newtop "$old")
    hit $(kids "$pane" | sed -n 5p) # VARTENA directory, C compiler, C++ compiler, Tuning, Installation, Shell
    help=$(within newtop "$old $pane")
    check "Help > Installation opens a window" '[ -n "$help" ]' && "$delete_window" "$help"
    check "WM_DELETE_WINDOW closes it; the setup window stays" \
      'within eval "! xwininfo -id $help >/dev/null 2>&1" && xwininfo -id "$wid" >/dev/null && kill -0 "$pid"'
  fi
  if [ -n "$pid" ]; then hit $(kids "$wid" | tail -n 1); ended "Cancel"; fi
  check "the working directory is as it was, del1 del2 del3 untouched" '[ "$(state)" = "$before" ]'
fi

if part run; then
  home=$scratch/home
  cp -r "$(dirname "$0")/../../sample" "$home" && : > "$home/.vartenarc"
  mkdir "$scratch/bin"
  printf '#!/bin/sh\n{ echo "to: $*"; cat; } >> "%s/mail.log"\n' "$scratch" > "$scratch/bin/mail"
  chmod 755 "$scratch/bin/mail"
  export PATH="$scratch/bin:$PATH" TMPDIR=$scratch SHELL=/bin/tcsh
  if start "$home" 90; then
    hit $(toggles | awk '$2 < 100' | head -n 1) # Full, the first radio button
    hit $(setup_button); ended "Full: Setup"
  fi
  check "Full: KERNEL is the home with one slash" 'grep -qxF "KERNEL=$home/" "$home/.vartenarc"'
  check "Full: CompRhs is executable and starts with '#! /bin/tcsh -f'" \
    '[ -x "$home/CompRhs" ] && [ "$(head -n 1 "$home/CompRhs")" = "#! /bin/tcsh -f" ]'
  check "Full: vtn_sys.h and init.cpf are read-only" '[ "$(stat -c %a "$home/vtn_sys.h" "$home/init.cpf" | sort -u)" = 444 ]'
  check "Full: palette.cpf and filenums.cpf written, autodif.o compiled" \
    '[ -s "$home/palette.cpf" ] && [ -s "$home/filenums.cpf" ] && [ "$home/autodif.o" -nt "$home/autodif.cc" ]'
  if start "$user" 60; then
    hit $(toggles | sort -k2,2n | tail -n 1) # the notice box, the widest
    hit $(kids "$wid" | awk '$2 >= 300 && $3 > 1' | head -n 1) && xdotool type --delay 5 "$home" # VARTENA directory
    hit $(setup_button); ended "User: Setup"
  fi
  check "User: the notice reached the two recipients, naming VARTENA 1.5u" \
    'grep -qx "to: vartena-authors@example.org vartena-notices@example.org" "$scratch/mail.log" &&
     grep -qx "VARTENA 1.5u installed on" "$scratch/mail.log"'
fi
echo "e2e: $failures failed"
[ "$failures" -eq 0 ]
