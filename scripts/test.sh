#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (GUI suites on a
# private Xvfb), the memcheck check among them; then builds the same suite
# with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/) and
# runs it again; then runs each fuzz target for VART_FUZZ_SECONDS (default
# 30; scripts/fuzz.sh runs them longer).  Fails if any of these fails, or
# if a test created or changed the real user's ~/.vartenarc.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

vart_install_packages "${VART_PACKAGES[@]}"

home_rc="$(getent passwd "$(id -u)" | cut -d: -f6)/.vartenarc"
rc_state() { if [ -e "$home_rc" ]; then stat -c '%s %Y' "$home_rc"; sha256sum < "$home_rc"; else echo absent; fi; }
before=$(rc_state)

passed=0
failed=0
phase() {
  local name=$1; shift
  echo "== $name"
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "FAILED: $name" >&2
    failed=$((failed + 1))
  fi
}

vart_build "$VART_BUILD"
vart_start_xvfb
phase "test suite" bash -c "cd '$VART_BUILD' && ctest --output-on-failure -j 2"
# What the memcheck check and the package test found, from ctest's log.
grep -hE "^(==[0-9]+== +(definitely|indirectly|possibly) lost:|==[0-9]+== ERROR SUMMARY|ok: built|Depends \()" \
  "$VART_BUILD/Testing/Temporary/LastTest.log" | sed -E 's/^==[0-9]+== +/memcheck: /; s/^ok: built/package: built/; s/^Depends/package: Depends/' || true

# Whole stacks, so that each suppression matches only the toolkit
# function it names; any report not suppressed fails its test.
sanitized_suite() {
  vart_build "$VART_BUILD_ASAN" -DVART_SANITIZE=ON >/dev/null
  (cd "$VART_BUILD_ASAN" &&
    ASAN_OPTIONS=fast_unwind_on_malloc=0:detect_leaks=1 \
    LSAN_OPTIONS="suppressions=$VART_ROOT/tests/sanitizers/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j 2)
}
phase "test suite with AddressSanitizer and UndefinedBehaviorSanitizer" sanitized_suite

phase "fuzz targets, ${VART_FUZZ_SECONDS:-30} s each" "$VART_ROOT/scripts/fuzz.sh" "${VART_FUZZ_SECONDS:-30}"

after=$(rc_state)
if [ "$before" != "$after" ]; then
  echo "FAILED: the tests created or changed $home_rc" >&2
  failed=$((failed + 1))
fi
echo "test.sh: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
