#!/usr/bin/env bash
# The Debian package: built with cpack from the build tree, its control data
# and contents checked, every library the installed program loads from the
# toolkit, Motif and X owned by a package that it depends on, the manual
# page rendered with its sections, then unpacked into a scratch root with
# dpkg -x and the installed program run on the X server named by DISPLAY:
# its window appears and "Cancel" ends it with status 0; a second start
# ended with SIGTERM goes away too.
# Arguments: the build directory, the source directory.
set -uo pipefail
build_dir=$1
source_dir=$2
. "$source_dir/tests/e2e/xvt.sh"

xvt_begin package-e2e

# --- build
if ! cpack --config "$build_dir/CPackConfig.cmake" -B "$scratch/out" > "$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  echo "FAIL: cpack did not build the package" >&2
  exit 1
fi
deb=$(find "$scratch/out" -maxdepth 1 -name 'vartena-setup_*.deb' | head -n 1)
[ -n "$deb" ] || { echo "FAIL: no vartena-setup_*.deb in cpack's output" >&2; exit 1; }
pass "built $(basename "$deb"), $(stat -c %s "$deb") bytes"

# --- control data
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vartena-setup ] && pass "package name" || fail "package name is '$(field Package)'"
[ "$(field Version)" = 1.5 ] && pass "version 1.5" || fail "version is '$(field Version)'"
depends=$(field Depends)
echo "Depends: $depends"
for dep in $(printf '%s' "$depends" | tr ',|' '\n\n' | sed 's/(.*)//; s/ //g' | grep -v '^$'); do
  dpkg-query -W -f='${Status}' "$dep" 2>/dev/null | grep -q "install ok installed" \
    || fail "dependency $dep is not a package installed here"
done

# --- contents
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for path in ./usr/bin/vartena-setup ./usr/lib/libutility.a ./usr/include/utility.h \
            ./usr/share/man/man1/vartena-setup.1.gz; do
  printf '%s\n' "$contents" | grep -qx "$path" && pass "holds $path" || fail "no $path in the package"
done

root="$scratch/root"
dpkg -x "$deb" "$root" || { echo "FAIL: dpkg -x failed" >&2; exit 1; }
program="$root/usr/bin/vartena-setup"
[ -x "$program" ] && pass "installed program is executable" || fail "$program is not executable"

# Every library of the toolkit, Motif and X that the program loads comes
# from a package named in Depends.
for lib in $(ldd "$program" | awk '/=> \// {print $3}' | grep -E 'lib(vibrant[A-Za-z]*|ncbi[a-z]*|Xm|Xt|X11)\.so'); do
  owner=$(dpkg -S "$(readlink -f "$lib")" 2>/dev/null | head -n 1 | cut -d: -f1)
  if [ -z "$owner" ]; then
    fail "no package owns $lib"
  elif printf '%s' "$depends" | tr ',' '\n' | sed 's/(.*)//; s/ //g' | grep -qx "$owner"; then
    pass "$(basename "$lib") comes from $owner, a dependency"
  else
    fail "$(basename "$lib") comes from $owner, which Depends does not name"
  fi
done

# The header is valid C on its own.
printf '#include <utility.h>\nint main(void) { return ParBuf[0]; }\n' > "$scratch/use.c"
if cc -std=c99 -Wall -Werror -I"$root/usr/include" -c "$scratch/use.c" -o "$scratch/use.o"; then
  pass "the installed header compiles as C"
else
  fail "the installed header does not compile as C"
fi

# --- manual page
page=$(MANWIDTH=80 man -l "$root/usr/share/man/man1/vartena-setup.1.gz" 2>/dev/null)
for heading in NAME SYNOPSIS DESCRIPTION "THE WINDOW" "FULL AND USER INSTALLATION" FILES ENVIRONMENT "EXIT STATUS"; do
  printf '%s\n' "$page" | grep -qx "$heading" || fail "the manual page has no section $heading"
done
printf '%s\n' "$page" | grep -q "shells.vtn" && printf '%s\n' "$page" | grep -q "SHELL" \
  && pass "manual page renders with its sections" || fail "the manual page does not name SHELL and shells.vtn"

# --- the installed program on the X server
work="$scratch/work"
mkdir -p "$work"
: > "$work/.vartenarc"
(cd "$work" && exec "$program") > "$scratch/run.out" 2>&1 &
pid=$!
if wid=$(xvt_find_window "vartena 1.5 setup" 20); then
  pass "the installed program's window appears"
  cancel=$(xvt_bottom_row "$wid" | tail -n 1 | cut -d' ' -f1)
  if [ -n "$cancel" ] && xvt_click_widget "$cancel"; then
    xvt_wait_exit "$pid" 10
    status=$?
    [ "$status" -eq 0 ] && pass "Cancel ends it with status 0" || fail "Cancel: exit status $status"
  else
    fail "no Cancel button found"
  fi
else
  fail "no window from the installed program"
  cat "$scratch/run.out" >&2
fi
pid=
[ "$(ls -A "$work")" = .vartenarc ] && [ ! -s "$work/.vartenarc" ] \
  && pass "Cancel wrote nothing" || fail "Cancel left files: $(ls -A "$work" | tr '\n' ' ')"

(cd "$work" && exec "$program") > "$scratch/run2.out" 2>&1 &
pid=$!
if xvt_find_window "vartena 1.5 setup" 20 > /dev/null; then
  kill -TERM "$pid"
  xvt_wait_exit "$pid" 10
  status=$?
  [ "$status" -eq 143 ] && pass "SIGTERM ends it" || fail "SIGTERM: exit status $status"
else
  fail "no window on the second start"
fi
pid=

xvt_end
