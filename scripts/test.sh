#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (GUI suites on a
# private Xvfb).  Fails if a test created or changed the real user's
# ~/.vartenarc.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

vart_install_packages "${VART_PACKAGES[@]}"

home_rc="$(getent passwd "$(id -u)" | cut -d: -f6)/.vartenarc"
rc_state() { if [ -e "$home_rc" ]; then stat -c '%s %Y' "$home_rc"; sha256sum < "$home_rc"; else echo absent; fi; }
before=$(rc_state)

vart_build "$VART_BUILD"
vart_start_xvfb

status=0
(cd "$VART_BUILD" && ctest --output-on-failure -j 2) || status=1

after=$(rc_state)
if [ "$before" != "$after" ]; then
  echo "FAILED: the tests created or changed $home_rc" >&2
  status=1
fi
exit $status
