#!/usr/bin/env bash
# The Debian packages vartena-setup and libvartena-utility-dev: built with
# cpack from the build tree, built again in a second tree of the same
# configuration and found byte-identical, passed by lintian with no error
# or warning, their dependencies packages that exist here, every library
# the installed program loads from the toolkit, Motif and X owned by a
# package that it depends on, the manual page clean for mandoc and rendered
# with its sections; unpacked into a scratch root with dpkg -x, the -dev
# package serves a C program that includes <vartena/utility.h> and reads a
# setting with GetParam, built once with pkg-config and once with
# find_package(VartenaUtility); the installed program is run on the X
# server named by DISPLAY: its window appears and "Cancel" ends it with
# status 0; a second start ended with SIGTERM goes away too.
# Arguments: the build directory, the source directory.
set -uo pipefail
build_dir=$1
source_dir=$2
. "$source_dir/tests/e2e/xvt.sh"

xvt_begin package-e2e

# --- build, twice
if ! cpack --config "$build_dir/CPackConfig.cmake" -B "$scratch/out" > "$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  echo "FAIL: cpack did not build the packages" >&2
  exit 1
fi
deb=$(find "$scratch/out" -maxdepth 1 -name 'vartena-setup_*.deb')
dev=$(find "$scratch/out" -maxdepth 1 -name 'libvartena-utility-dev_*.deb')
[ -n "$deb" ] && [ -n "$dev" ] || { echo "FAIL: cpack built $(ls "$scratch/out")" >&2; exit 1; }
pass "built $(basename "$deb"), $(stat -c %s "$deb") bytes, and $(basename "$dev"), $(stat -c %s "$dev") bytes"

cache() { sed -n "s/^$1:[A-Z]*=//p" "$build_dir/CMakeCache.txt"; }
again="$scratch/again"
{ cmake -S "$source_dir" -B "$again" -DBUILD_TESTING=OFF "-DCMAKE_BUILD_TYPE=$(cache CMAKE_BUILD_TYPE)" \
    "-DCMAKE_C_COMPILER=$(cache CMAKE_C_COMPILER)" "-DCMAKE_CXX_COMPILER=$(cache CMAKE_CXX_COMPILER)" \
    "-DCMAKE_C_FLAGS=$(cache CMAKE_C_FLAGS)" "-DCMAKE_CXX_FLAGS=$(cache CMAKE_CXX_FLAGS)" &&
  cmake --build "$again" -j 2 && cpack --config "$again/CPackConfig.cmake" -B "$again/out"; } > "$scratch/again.log" 2>&1 \
  || { cat "$scratch/again.log" >&2; fail "the second build failed"; }
for f in "$deb" "$dev"; do
  check "a second build gives the same $(basename "$f")" 'cmp "$f" "$again/out/$(basename "$f")"'
done

# --- lintian and mandoc
lintian --allow-root --fail-on error,warning "$deb" "$dev" > "$scratch/lintian.log" 2>&1
lint=$?
cat "$scratch/lintian.log"
check "lintian: no error or warning" '[ $lint -eq 0 ] && ! grep -q "^[EW]:" "$scratch/lintian.log"'

# --- control data
for f in "$deb" "$dev"; do
  [ "$(dpkg-deb -f "$f" Version)" = 1.5 ] || fail "$(basename "$f"): version is '$(dpkg-deb -f "$f" Version)'"
  echo "Depends ($(dpkg-deb -f "$f" Package)): $(dpkg-deb -f "$f" Depends)"
  for dep in $(dpkg-deb -f "$f" Depends | tr ',|' '\n\n' | sed 's/(.*)//; s/ //g' | grep -v '^$'); do
    dpkg-query -W -f='${Status}' "$dep" 2>/dev/null | grep -q "install ok installed" \
      || fail "dependency $dep is not a package installed here"
  done
done
depends=$(dpkg-deb -f "$deb" Depends)

root="$scratch/root"
for f in "$deb" "$dev"; do dpkg -x "$f" "$root" || { echo "FAIL: dpkg -x $f failed" >&2; exit 1; }; done
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

# --- the -dev package from a C program: pkg-config and CMake
usr="$root/usr"
libdir="$usr/lib/$(cc -print-multiarch)"
mkdir "$scratch/use" "$scratch/run"
printf '#include <stdio.h>\n#include <vartena/utility.h>\nshort Nlm_Main(void) {\n  const char *v = GetParam("Paths", "KERNEL");\n  printf("KERNEL=%%s\\n", v ? v : "-");\n  return 0;\n}\n' > "$scratch/use/use.c"
printf 'cmake_minimum_required(VERSION 3.18)\nproject(use C)\nfind_package(VartenaUtility 1.5 REQUIRED)\nadd_executable(use use.c)\ntarget_link_libraries(use PRIVATE Vartena::utility)\n' > "$scratch/use/CMakeLists.txt"
printf '[Paths]\nKERNEL=/opt/x/\n' > "$scratch/run/.vartenarc"
flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --define-variable=prefix="$usr" --cflags --libs vartena-utility)
cc -std=c99 -Wall -Werror "$scratch/use/use.c" -o "$scratch/use-pc" $flags 2> "$scratch/use.log"
{ cmake -S "$scratch/use" -B "$scratch/use-cmake" -DCMAKE_PREFIX_PATH="$usr" -DCMAKE_C_FLAGS="-Wall -Werror" &&
  cmake --build "$scratch/use-cmake"; } >> "$scratch/use.log" 2>&1
reads() { [ "$(cd "$scratch/run" && "$1" 2>&1)" = KERNEL=/opt/x/ ]; }
check "built with pkg-config, it reads KERNEL through GetParam" 'reads "$scratch/use-pc"'
check "built with find_package, it reads KERNEL through GetParam" 'reads "$scratch/use-cmake/use"'
[ -x "$scratch/use-pc" ] && [ -x "$scratch/use-cmake/use" ] || cat "$scratch/use.log" >&2

# --- manual page
man_gz="$usr/share/man/man1/vartena-setup.1.gz"
check "mandoc -Tlint finds nothing in the manual page" '[ -z "$(mandoc -Tlint "$man_gz" 2>&1)" ]'
page=$(MANWIDTH=80 man -l "$man_gz" 2>/dev/null)
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
