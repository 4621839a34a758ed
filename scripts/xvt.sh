# Window helpers for a program on an X server without a window manager,
# sourced by run.sh (to close the setup window) and the end-to-end tests.
#   xvt_find_window TITLE [SECONDS]  the id of the shown window titled TITLE
#   xvt_widgets WID                  "ID WIDTH HEIGHT X Y" of the shown windows
#                                    inside WID narrower than its outermost one
#                                    (its widgets, the items of a menu pane), X
#                                    and Y absolute, top to bottom, left to right
#   xvt_bottom_row WID               those of them lowest in the window (the
#                                    status line, hidden but while a command
#                                    runs, is left out), left to right
#   xvt_click_widget ID              clicks button 1 in the middle of widget ID
#   xvt_wait_exit PID [SECONDS]      the exit status of the child PID; after
#                                    SECONDS (10) it is killed and 124 returned

xvt_find_window() {
  timeout "${2:-20}" xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1 | grep .
}
xvt_widgets() {
  local shown
  [ -n "$1" ] || return 1 # (xwininfo -id "" would wait for a click)
  shown=$(xdotool search --onlyvisible --name '' 2>/dev/null | awk '{printf "0x%x ", $1}')
  xwininfo -tree -id "$1" 2>/dev/null | awk -v shown="$shown" '
    BEGIN { n = split(shown, s, " "); for (i = 1; i <= n; i++) v[s[i]] }
    $1 in v && $NF ~ /^\+[0-9]+\+[0-9]+$/ { split($(NF-1), g, /[x+-]/); split($NF, a, "+")
      if (w == "") w = g[1]; if (g[1] < w) print $1, g[1], g[2], a[2], a[3] }' | sort -k5,5n -k4,4n
}
xvt_bottom_row() {
  xvt_widgets "$1" | awk '{ l[NR] = $0; y[NR] = $5 } END { for (i = 1; i <= NR; i++) if (y[i] == y[NR]) print l[i] }'
}
xvt_click_widget() {
  local WINDOW X Y WIDTH HEIGHT SCREEN
  [ -n "$1" ] && eval "$(xdotool getwindowgeometry --shell "$1")" && xdotool mousemove --window "$1" $((WIDTH / 2)) $((HEIGHT / 2)) click 1
}
xvt_wait_exit() {
  local i
  for i in $(seq $((${2:-10} * 10))); do
    case $(ps -o stat= -p "$1") in Z* | "") wait "$1"; return ;; esac # a zombie until waited for
    sleep 0.1
  done
  kill "$1" 2>/dev/null; wait "$1" 2>/dev/null; return 124
}
