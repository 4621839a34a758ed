# Shared by scripts/run.sh and scripts/test.sh: Debian packages, the build,
# and a private virtual X server.  Sourced, not run.

VART_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VART_BUILD=${VART_BUILD:-$VART_ROOT/build}
# The sanitizer tree (test.sh) and the fuzzing tree (fuzz.sh).
VART_BUILD_ASAN=${VART_BUILD_ASAN:-$VART_ROOT/build-asan}
VART_BUILD_FUZZ=${VART_BUILD_FUZZ:-$VART_ROOT/build-fuzz}

# Every Debian package that building, running and testing use.  The
# window's font, Helvetica, comes from xfonts-75dpi and xfonts-100dpi
# (without them the toolkit falls back to the fixed font); they must be
# installed before an X server starts.
VART_PACKAGES=(
  cmake make g++ pkg-config
  libncbi6-dev libvibrant6-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool x11-utils x11-xserver-utils imagemagick xfonts-75dpi xfonts-100dpi
  tcsh
  clang libclang-rt-14-dev valgrind man-db
  lintian mandoc
)

vart_install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing Debian packages: ${missing[*]}"
  local sudo=
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

# vart_build DIR [cmake options...]
vart_build() {
  local dir=$1; shift
  cmake -S "$VART_ROOT" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}

# Starts Xvfb (depth 24: Vibrant crashes at depth 16) on a free display,
# exports DISPLAY and stops the server when the calling shell exits.
vart_start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    VART_XVFB_PID=$!
    local i
    for i in $(seq 50); do
      DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && break
      sleep 0.1
    done
    if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
      export DISPLAY=":$n"
      trap 'kill "$VART_XVFB_PID" 2>/dev/null' EXIT
      return 0
    fi
    kill "$VART_XVFB_PID" 2>/dev/null
  done
  echo "no free display for Xvfb" >&2
  return 1
}

# The sample package home, fresh for every run.
vart_sample_home() {
  local home="$VART_BUILD/sample-home"
  rm -rf "$home"
  cp -r "$VART_ROOT/sample" "$home"
  chmod 755 "$home/vartena"
  : > "$home/.vartenarc" # settings are written here, never in the home directory
  echo "$home"
}
