#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/, instrumented with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs each of them for
# SECONDS (default 600).
#
#   ./scripts/fuzz.sh [SECONDS] [TARGET...]
#
# TARGET is one of fuzz_settings, fuzz_descriptors, fuzz_strings (default
# all).  Each target starts from its seed corpus fuzz/corpus/<target>/ and
# keeps what it finds in build-fuzz/corpus/<target>/, so a later run goes on
# from there.  A crash, hang, leak or failed property is saved in
# build-fuzz/artifacts/<target>/ and makes the command fail; reproduce it
# with build-fuzz/fuzz/<target> <file>.  Fails too if the real user's
# ~/.vartenarc was created or changed.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_settings fuzz_descriptors fuzz_strings)

vart_install_packages "${VART_PACKAGES[@]}"
home_rc="$(getent passwd "$(id -u)" | cut -d: -f6)/.vartenarc"
rc_state() { if [ -e "$home_rc" ]; then stat -c '%s %Y' "$home_rc"; sha256sum < "$home_rc"; else echo absent; fi; }
before=$(rc_state)

CC=clang CXX=clang++ cmake -S "$VART_ROOT" -B "$VART_BUILD_FUZZ" -DVART_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$VART_BUILD_FUZZ" -j "$(nproc)" --target "${targets[@]}" >/dev/null

status=0
for target in "${targets[@]}"; do
  corpus="$VART_BUILD_FUZZ/corpus/$target"
  artifacts="$VART_BUILD_FUZZ/artifacts/$target"
  log="$VART_BUILD_FUZZ/$target.log"
  mkdir -p "$corpus" "$artifacts"
  # a unit running 10 s is a hang; the paths are absolute because a
  # target works in a scratch directory of its own
  if "$VART_BUILD_FUZZ/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -dict="$VART_ROOT/fuzz/fuzz.dict" -artifact_prefix="$artifacts/" -print_final_stats=1 \
       "$corpus" "$VART_ROOT/fuzz/corpus/$target" > "$log" 2>&1; then
    result="0 crashes"
  else
    result="FAILED (see $log and $artifacts)"
    status=1
    grep -E "property failed|ERROR:|SUMMARY:" "$log" | head -n 5 >&2 || true
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "fuzz: $target: ${runs:-0} executions in ${seconds}s (${rate:-0}/s), corpus $(ls "$corpus" | wc -l) units: $result"
done

after=$(rc_state)
if [ "$before" != "$after" ]; then
  echo "FAILED: the fuzz targets created or changed $home_rc" >&2
  status=1
fi
exit $status
