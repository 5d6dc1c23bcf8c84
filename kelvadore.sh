#!/usr/bin/env bash
# Kelvadore's one entry point for newcomers and CI:
#   ./kelvadore.sh run    install what is missing, build, and run Kelvadore's main job
#   ./kelvadore.sh test   install what is missing, build, and run every test (plus sanitizer runs)
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)

PACKAGES=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev
  qt6-base-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  # outside readers and writers the tests compare against
  xorriso genisoimage p7zip-full libarchive-tools python3-pycdlib
  # time zone rules: recorded dates are checked under a zone with daylight saving time
  tzdata
  ffmpeg sox lame flac wavpack
  # benchmarks (bench/) measure peak memory with GNU time
  time
)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

njobs() { nproc 2>/dev/null || echo 2; }

# build DIR [cmake options...]
build() {
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$(njobs)"
}

run_tests() {
  local dir=$1; shift
  ctest --test-dir "$dir" --output-on-failure -j "$(njobs)" --timeout 600 "$@"
}

case "${1:-}" in
  run)
    install_missing
    build build
    CLI="$ROOT/build/src/cli/kelvadore-cli"
    # The embedded default: a virtual recorder holding a disc pressed from an image of this
    # README, beside the always-present empty virtual recorder and any real drives.
    export KELVADORE_HOME="${KELVADORE_HOME:-$ROOT/build/home}"
    demo="$KELVADORE_HOME/virtual/demo.kvm"
    if [ ! -f "$demo" ]; then
      mkdir -p "$KELVADORE_HOME/virtual"
      "$CLI" mkiso -o "$ROOT/build/demo.iso" --volume KELVADORE_DEMO "$ROOT/README.md" >/dev/null
      "$CLI" media create --type cdrom --from-image "$ROOT/build/demo.iso" "$demo" >/dev/null
    fi
    echo "== drives"
    "$CLI" drives
    while IFS= read -r drive; do
      echo
      echo "== disc information: $drive"
      "$CLI" --drive "$drive" discinfo || true
    done < <("$CLI" drives)
    ;;
  test)
    install_missing
    build build
    run_tests build
    # Engine tests again under AddressSanitizer+UndefinedBehaviorSanitizer and ThreadSanitizer.
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    build build-asan -DKELVADORE_ENGINE_ONLY=ON -DKELVADORE_SANITIZE=address
    run_tests build-asan -L engine
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    build build-tsan -DKELVADORE_ENGINE_ONLY=ON -DKELVADORE_SANITIZE=thread
    run_tests build-tsan -L engine
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
