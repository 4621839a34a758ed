#!/usr/bin/env bash
# The built program driven with real clicks (xdotool) on the X server named by
# DISPLAY (Xvfb started with -noreset, no window manager).  Parts:
#   window  the window appears; "Cancel" ends it with status 0 and leaves the
#           working directory as it was;
#   help    (before that Cancel) the Help menu's "Installation" opens a window;
#   run     a Full installation in a copy of the sample package home, then a
#           User one elsewhere that mails the install notice.
# Arguments: the program, the parts (default all).
set -uo pipefail
. "$(dirname "$0")/../../scripts/xvt.sh"
program=$(readlink -f "$1") parts=" ${*:2} "
[ "$parts" = "  " ] && parts=" window help run "
part() { [[ $parts == *" $1 "* ]]; }
[ -n "${DISPLAY:-}" ] || { echo "FAIL: no DISPLAY" >&2; exit 1; }
failures=0 pid=
scratch=$(mktemp -d /tmp/vartena-e2e-XXXXXX)
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1" >&2; failures=$((failures + 1)); return 1; fi; }

# In the setup window: the menu bar's "Help" comes first; the check boxes and
# radio buttons are as high as it, in any font; "Setup" and "Cancel" are the
# bottom row.
click() { xvt_click_widget "$(cut -d' ' -f1)"; }
toggles() { xvt_widgets "$wid" | awk 'NR == 1 { h = $3; next } $3 == h'; }
# newtop OLD...: the shown top-level windows not among OLD, within 10 s
tops() { xdotool search --maxdepth 1 --onlyvisible --name '' | sort; }
newtop() { local i; for i in $(seq 100); do comm -13 <(printf '%s\n' $1 | sort) <(tops) | grep . && return; sleep 0.1; done; return 1; }

# start DIR SECONDS: the program in DIR, ended after SECONDS at the latest; sets pid and wid
start() {
  (cd "$1" && exec timeout "$2" "$program") > "$scratch/out" 2>&1 &
  pid=$!
  wid=$(xvt_find_window 'vartena 1\.5 setup' 20)
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
    xvt_widgets "$wid" | head -n 1 | click && pane=$(newtop "$old")
    xvt_widgets "$pane" | sed -n 5p | click # VARTENA directory, C compiler, C++ compiler, Tuning, Installation, Shell
    check "Help > Installation opens a window" '[ -n "$(newtop "$old $pane")" ]'
  fi
  if [ -n "$pid" ]; then xvt_bottom_row "$wid" | tail -n 1 | click; ended "Cancel"; fi
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
    toggles | awk '$2 < 100' | head -n 1 | click # Full, the first radio button
    xvt_bottom_row "$wid" | head -n 1 | click; ended "Full: Setup"
  fi
  check "Full: KERNEL is the home; CompRhs executable, for /bin/tcsh -f; vtn_sys.h, init.cpf read-only; autodif.o compiled" \
    'grep -qxF "KERNEL=$home/" "$home/.vartenarc" && [ -x "$home/CompRhs" ] && [ "$(head -n 1 "$home/CompRhs")" = "#! /bin/tcsh -f" ] &&
     [ "$(stat -c %a "$home/vtn_sys.h" "$home/init.cpf" | sort -u)" = 444 ] && [ "$home/autodif.o" -nt "$home/autodif.cc" ]'
  if start "$user" 60; then
    toggles | sort -k2,2n | tail -n 1 | click # the notice box, the widest
    xvt_widgets "$wid" | awk '$2 >= 300 && $3 > 1' | head -n 1 | click && xdotool type --delay 5 "$home" # VARTENA directory
    xvt_bottom_row "$wid" | head -n 1 | click; ended "User: Setup"
  fi
  check "User: the notice reached the two recipients, naming VARTENA 1.5u" \
    'grep -qx "to: vartena-authors@example.org vartena-notices@example.org" "$scratch/mail.log" &&
     grep -qx "VARTENA 1.5u installed on" "$scratch/mail.log"'
fi
echo "e2e: $failures failed"
[ "$failures" -eq 0 ]
