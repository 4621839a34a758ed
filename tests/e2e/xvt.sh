# xvt.sh - driving the program's windows from outside, on the X server named
# by DISPLAY (Xvfb in the tests), with xdotool and xwininfo.  Source it.
#
# There is no window manager under Xvfb: a top-level window is a direct
# child of the root window, and closing one means sending it the
# WM_DELETE_WINDOW message yourself (xvt_close).  The toolkit's widgets are
# unnamed child windows of the window's content window, so they are found by
# their geometry.  Every wait is bounded; a function that gives up prints why
# on stderr and returns non-zero.
#
#   xvt_find_window TITLE [SECONDS]
#       Waits (default 20 s) for a window whose name is exactly TITLE and
#       prints its id (the first one found).
#   xvt_children WID
#       Prints every window below WID, one line each:
#       "ID WIDTH HEIGHT X Y", X and Y relative to WID's top-left corner.
#   xvt_bottom_row WID
#       Prints, as xvt_children does and sorted left to right, the shown
#       widgets whose top edge is the lowest of all: in the setup window,
#       the "Setup" and "Cancel" buttons (the status line that takes their
#       place while a command runs is hidden otherwise).
#   xvt_click_widget ID
#       Moves the pointer to the middle of the widget ID and clicks button 1.
#   xvt_click WID X Y
#       Clicks button 1 at X Y relative to the window WID.
#   xvt_close WID
#       Sends WID the WM_DELETE_WINDOW client message, with the tool named by
#       XVT_DELETE_WINDOW (built as tests/xvt-delete-window) or found in PATH.
#   xvt_window_exists WID
#       Succeeds while the window WID exists.
#   xvt_wait_exit PID [SECONDS]
#       Waits (default 10 s) for the child process PID to end and returns its
#       exit status; kills it and returns 124 when it does not end in time.
#
# The frame of an end-to-end script:
#   xvt_begin NAME
#       Requires DISPLAY; defines pass, fail and check ("check LABEL EXPR"
#       evaluates EXPR); makes the scratch directory $scratch and, at exit,
#       kills the program in $pid (set it when one is started), runs the
#       script's own xvt_cleanup if it defines one, and removes $scratch.
#   xvt_sample_home DIR
#       Copies the shipped sample package home to DIR, with an empty
#       .vartenarc so that no run reaches the real home's settings.
#   xvt_end
#       Prints the number of failures; succeeds when there were none.

xvt_find_window() {
  local title=$1 seconds=${2:-20} pattern id i
  pattern="^$(printf '%s' "$title" | sed 's/[][\.^$*+?(){}|]/\\&/g')\$"
  for i in $(seq $((seconds * 10))); do
    id=$(xdotool search --name "$pattern" 2>/dev/null | head -n 1)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  echo "xvt: no window titled '$title' after ${seconds}s" >&2
  return 1
}

xvt_children() {
  local wid=$1 origin
  origin=$(xwininfo -id "$wid" 2>/dev/null | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}')
  [ -n "$origin" ] || { echo "xvt: no window $wid" >&2; return 1; }
  xwininfo -tree -id "$wid" | awk -v origin="$origin" '
    BEGIN { split(origin, o, " ") }
    $1 ~ /^0x[0-9a-f]+$/ && $(NF-1) ~ /^[0-9]+x[0-9]+[+-]/ && $NF ~ /^[+-][0-9]+[+-][0-9]+$/ {
      split($(NF-1), g, /[x+-]/)
      abs = $NF
      sub(/^\+/, "", abs)
      split(abs, a, /\+/)
      print $1, g[1], g[2], a[1] - o[1], a[2] - o[2]
    }'
}

xvt_bottom_row() {
  local rows shown
  rows=$(xvt_children "$1") || return 1
  shown=$(for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do printf '0x%x ' "$id"; done)
  printf '%s\n' "$rows" | awk -v shown="$shown" '
    BEGIN { n = split(shown, ids, " "); for (i = 1; i <= n; i++) viewable[ids[i]] = 1 }
    !($1 in viewable) { next }
    { line[++m] = $0; top[m] = $5; if (m == 1 || $5 > lowest) lowest = $5 }
    END { for (i = 1; i <= m; i++) if (top[i] == lowest) print line[i] }' | sort -k4,4n
}

xvt_click_widget() {
  local id=$1 w h
  read -r w h < <(xwininfo -id "$id" 2>/dev/null | awk '/^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print w, h}')
  [ -n "$w" ] || { echo "xvt: no widget $id" >&2; return 1; }
  xdotool mousemove --window "$id" $((w / 2)) $((h / 2)) click 1
}

xvt_click() {
  xdotool mousemove --window "$1" "$2" "$3" click 1
}

xvt_close() {
  local tool=${XVT_DELETE_WINDOW:-}
  [ -n "$tool" ] || tool=$(command -v xvt-delete-window) || {
    echo "xvt: xvt-delete-window not found (set XVT_DELETE_WINDOW)" >&2
    return 1
  }
  "$tool" "$1"
}

xvt_window_exists() {
  xwininfo -id "$1" >/dev/null 2>&1
}

xvt_wait_exit() {
  local pid=$1 seconds=${2:-10} i state status=0
  for i in $(seq $((seconds * 10))); do
    # an ended child stays a zombie (state Z) until it is waited for
    state=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -d' ' -f1)
    if [ -z "$state" ] || [ "$state" = Z ]; then
      wait "$pid" || status=$?
      return "$status"
    fi
    sleep 0.1
  done
  echo "xvt: process $pid still running after ${seconds}s; killed" >&2
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return 124
}

XVT_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

xvt_begin() {
  XVT_NAME=$1
  failures=0
  pid=
  [ -n "${DISPLAY:-}" ] || { echo "FAIL: the test needs DISPLAY" >&2; exit 1; }
  scratch=$(mktemp -d "/tmp/vartena-$XVT_NAME-XXXXXX")
  trap xvt_finish EXIT
}

pass() { echo "ok: $*"; }
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() { if eval "$2"; then pass "$1"; else fail "$1 ($2)"; fi; }

xvt_finish() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  declare -F xvt_cleanup >/dev/null && xvt_cleanup
  chmod -R u+w "$scratch" 2>/dev/null
  rm -rf "$scratch"
}

xvt_sample_home() {
  cp -r "$XVT_SOURCE_DIR/sample" "$1"
  chmod 755 "$1/vartena"
  : > "$1/.vartenarc"
}

xvt_end() {
  echo "$XVT_NAME: $failures failed"
  [ "$failures" -eq 0 ]
}
