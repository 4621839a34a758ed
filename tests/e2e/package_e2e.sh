#!/usr/bin/env bash
# The Debian packages vartena-setup and libvartena-utility-dev built with cpack
# from the build tree: a second tree of the same configuration gives the same
# bytes; lintian finds no error or warning, mandoc -Tlint nothing in the manual
# page; every package they depend on is installed here, and the toolkit's,
# Motif's and X's libraries that the program loads come from its dependencies.
# Unpacked with dpkg -x, the -dev package builds a C program that reads a
# setting with GetParam, once with pkg-config and once with
# find_package(VartenaUtility); the installed program passes the window part of
# e2e.sh on the X server named by DISPLAY.
# Arguments: the build directory.
set -uo pipefail
build=$1 src=$(cd "$(dirname "$0")/../.." && pwd)
failures=0
scratch=$(mktemp -d /tmp/vartena-package-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1" >&2; failures=$((failures + 1)); return 1; fi; }
# pkgs: the package names of a Depends field on stdin, one a line, sorted
pkgs() { tr ',|' '\n\n' | sed 's/(.*)//; s/ //g' | grep . | sort -u; }

cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" > "$scratch/cpack.log" 2>&1
deb=$scratch/out/vartena-setup_1.5_amd64.deb dev=$scratch/out/libvartena-utility-dev_1.5_amd64.deb
check "built ${deb##*/}, $(stat -c %s "$deb" 2>&1) bytes, and ${dev##*/}, $(stat -c %s "$dev" 2>&1) bytes" \
  '[ -s "$deb" ] && [ -s "$dev" ]' || { cat "$scratch/cpack.log" >&2; exit 1; }

again=$scratch/again opts=()
for v in CMAKE_BUILD_TYPE CMAKE_C_COMPILER CMAKE_CXX_COMPILER CMAKE_C_FLAGS CMAKE_CXX_FLAGS; do
  opts+=("-D$v=$(sed -n "s/^$v:[A-Z]*=//p" "$build/CMakeCache.txt")")
done
{ cmake -S "$src" -B "$again" -DBUILD_TESTING=OFF "${opts[@]}" && cmake --build "$again" -j 2 &&
  cpack --config "$again/CPackConfig.cmake" -B "$again/out"; } > "$scratch/again.log" 2>&1
check "a second build gives the same bytes" 'cmp "$deb" "$again/out/${deb##*/}" && cmp "$dev" "$again/out/${dev##*/}"' ||
  tail -n 20 "$scratch/again.log" >&2

lintian --allow-root --fail-on error,warning "$deb" "$dev" > "$scratch/lintian.log" 2>&1
lint=$?
check "lintian: no error or warning" '[ $lint -eq 0 ]' || cat "$scratch/lintian.log" >&2

for f in "$deb" "$dev"; do echo "Depends ($(dpkg-deb -f "$f" Package)): $(dpkg-deb -f "$f" Depends)"; done
missing=$(for f in "$deb" "$dev"; do dpkg-deb -f "$f" Depends; done | pkgs | while read -r p; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || echo "$p"; done)
check "every package in Depends is installed here${missing:+; not: $missing}" '[ -z "$missing" ]'

root=$scratch/root usr=$scratch/root/usr
for f in "$deb" "$dev"; do dpkg -x "$f" "$root"; done
program=$usr/bin/vartena-setup
owners=$(ldd "$program" | awk '/=> \// {print $3}' | grep -E 'lib(vibrant[A-Za-z]*|ncbi[a-z]*|Xm|Xt|X11)\.so' |
  xargs -r readlink -f | xargs -r dpkg -S | cut -d: -f1 | sort -u)
stray=$(comm -23 <(echo "$owners") <(dpkg-deb -f "$deb" Depends | pkgs))
check "the toolkit, Motif and X libraries it loads come from its Depends${stray:+; not: $stray}" \
  '[ -n "$owners" ] && [ -z "$stray" ]'
check "mandoc -Tlint finds nothing in the manual page" \
  '[ -z "$(mandoc -Tlint "$usr/share/man/man1/vartena-setup.1.gz" 2>&1)" ]'

mkdir "$scratch/use" "$scratch/run"
printf '#include <stdio.h>\n#include <vartena/utility.h>\nshort Nlm_Main(void) {\n  const char *v = GetParam("Paths", "KERNEL");\n  printf("KERNEL=%%s\\n", v ? v : "-");\n  return 0;\n}\n' > "$scratch/use/use.c"
printf 'cmake_minimum_required(VERSION 3.18)\nproject(use C)\nfind_package(VartenaUtility 1.5 REQUIRED)\nadd_executable(use use.c)\ntarget_link_libraries(use PRIVATE Vartena::utility)\n' > "$scratch/use/CMakeLists.txt"
printf '[Paths]\nKERNEL=/opt/x/\n' > "$scratch/run/.vartenarc"
flags=$(PKG_CONFIG_PATH="$usr/lib/$(cc -print-multiarch)/pkgconfig" pkg-config --define-variable=prefix="$usr" --cflags --libs vartena-utility)
cc -std=c99 -Wall -Werror "$scratch/use/use.c" -o "$scratch/use-pc" $flags > "$scratch/use.log" 2>&1
{ cmake -S "$scratch/use" -B "$scratch/use-cmake" -DCMAKE_PREFIX_PATH="$usr" -DCMAKE_C_FLAGS="-Wall -Werror" &&
  cmake --build "$scratch/use-cmake"; } >> "$scratch/use.log" 2>&1
reads() { [ "$(cd "$scratch/run" && "$1" 2>&1)" = KERNEL=/opt/x/ ]; }
check "a C program built with pkg-config reads KERNEL with GetParam" 'reads "$scratch/use-pc"' || cat "$scratch/use.log" >&2
check "a C program built with find_package reads KERNEL with GetParam" 'reads "$scratch/use-cmake/use"' || cat "$scratch/use.log" >&2

check "the installed program: its window appears, Cancel ends it with status 0, nothing written" \
  'bash "$src/tests/e2e/e2e.sh" "$program" window'
echo "package-e2e: $failures failed"
[ "$failures" -eq 0 ]
