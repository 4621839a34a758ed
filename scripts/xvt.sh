# The window helpers that run.sh sources to close the setup window on its
# virtual X server (the tests drive windows with tests/e2e/e2e.sh's own).
#   xvt_find_window TITLE [SECONDS]  the id of the shown window titled TITLE
#   xvt_bottom_row WID               "ID X Y" of its lowest shown widgets (the
#                                    hidden status line left out), left to right
#   xvt_click_widget ID              clicks button 1 in the middle of widget ID
#   xvt_wait_exit PID [SECONDS]      the exit status of the child PID; after
#                                    SECONDS (10) it is killed and 124 returned

xvt_find_window() {
  timeout "${2:-20}" xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1 | grep .
}
xvt_bottom_row() {
  local shown
  shown=$(xdotool search --onlyvisible --name '' 2>/dev/null | awk '{printf "0x%x ", $1}')
  xwininfo -tree -id "$1" | awk -v shown="$shown" '
    BEGIN { n = split(shown, s, " "); for (i = 1; i <= n; i++) v[s[i]] }
    $1 in v && $NF ~ /^\+[0-9]+\+[0-9]+$/ { split($NF, a, "+"); id[++m] = $1; x[m] = a[2]; y[m] = a[3]; if (a[3] > low) low = a[3] }
    END { for (i = 1; i <= m; i++) if (y[i] == low) print id[i], x[i], y[i] }' | sort -k2,2n
}
xvt_click_widget() {
  local WINDOW X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1")" && xdotool mousemove --window "$1" $((WIDTH / 2)) $((HEIGHT / 2)) click 1
}
xvt_wait_exit() {
  local i
  for i in $(seq $((${2:-10} * 10))); do
    case $(ps -o stat= -p "$1") in Z* | "") wait "$1"; return ;; esac # a zombie until waited for
    sleep 0.1
  done
  kill "$1" 2>/dev/null; wait "$1" 2>/dev/null; return 124
}
