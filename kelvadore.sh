#!/usr/bin/env bash
# Kelvadore's one entry point for newcomers and CI:
#   ./kelvadore.sh run    install what is missing, build, and open Kelvadore's window
#   ./kelvadore.sh test   install what is missing, build, and run every test (plus fuzzing and
#                         sanitizer runs); KELVADORE_LARGE_TESTS=1 adds the test of a file of 4.5 GiB
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)

PACKAGES=(
  cmake ninja-build g++ pkg-config zlib1g-dev
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-qpa-plugins
  # the window's tests run the program on a virtual X server; libudev for drive media events
  xvfb xauth fonts-dejavu-core libudev-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  # outside readers and writers the tests compare against
  xorriso genisoimage p7zip-full libarchive-tools python3-pycdlib
  # the printed compilation list is read back from its PDF
  poppler-utils
  # time zone rules: recorded dates are checked under a zone with daylight saving time
  tzdata
  ffmpeg sox lame flac wavpack
  # benchmarks (bench/) measure peak memory with GNU time
  time
)
# Only for the tests: the real-kernel test (tests/realkernel) boots a small QEMU guest; the project
# and playlist readers are fuzzed with libFuzzer, which comes with clang.
TEST_PACKAGES=(
  qemu-system-x86 busybox-static sg3-utils cpio kmod util-linux file xdotool python3-aiosmtpd
  clang libclang-rt-14-dev udftools
  # a notification area on the process tests' X server, so that the program shows its tray icon
  trayer x11-utils
  # a second run compiles only what changed since the first, wherever the clone lies
  ccache
)

# install_missing PACKAGE...
install_missing() {
  local missing=()
  for p in "$@"; do
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

# build DIR [cmake options...]: each library's sources in batches, through ccache when it is there
# (its cache keyed relative to the clone, so that another clone of the same commit hits it too).
build() {
  local dir=$1; shift
  local launcher=()
  if command -v ccache >/dev/null 2>&1; then
    # Depend mode takes the compiler's own dependency list instead of running the preprocessor a
    # second time on every miss, which an empty cache pays for each file; the sloppiness lets the
    # files that use a precompiled header be cached at all.
    export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=1 CCACHE_DEPEND=1 CCACHE_SLOPPINESS=pch_defines,time_macros
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVADORE_UNITY_BUILD=ON \
    "${launcher[@]}" "$@" >/dev/null
  # A compiler that ends without a word (killed from outside) must not fail the suite the way a
  # compile error does: the build goes on once more, and a real error stops it the second time too.
  cmake --build "$dir" -j "$(njobs)" || {
    echo "== the build in $dir stopped; building what remains once more"
    cmake --build "$dir" -j "$(njobs)"
  }
}

# stage NAME COMMAND...: runs COMMAND and notes how long it took, for the summary at the end.
STAGES=()
stage() {
  local name=$1 start=$SECONDS; shift
  echo "== $name"
  "$@"
  STAGES+=("$(printf '%5d s  %s' $((SECONDS - start)) "$name")")
}
stage_summary() {
  echo "== stage times (wall clock)"
  printf '  %s\n' "${STAGES[@]}"
  echo "  $((SECONDS - SUITE_START)) s in all"
}

# run_tests DIR [ctest options...]: niced, so that the programs of the tests that wait on drives
# (below), which measure how long their event loops pause, get the processor whenever they ask.
run_tests() {
  local dir=$1; shift
  nice -n 10 ctest --test-dir "$dir" --output-on-failure -j "$(njobs)" --timeout 600 "$@"
}

# Tests labelled "waits" spend minutes waiting on drives at normal speed and use little of the
# processor: they run four at a time in the background, beside the stages that keep it busy (more
# at once, and the window programs among them, which time their own event loops, start to stall).
# start_waiting_tests DIR LABEL-REGEX: starts those of DIR's tests that carry a label matching
# LABEL-REGEX; finish_waiting_tests waits for every one started and shows what failed.
WAITING=()
start_waiting_tests() {
  local dir=$1 labels=$2
  ctest --test-dir "$dir" --output-on-failure -j 4 --timeout 600 -L "$labels" -L waits \
    >"$dir/waiting-tests.log" 2>&1 &
  WAITING+=("$!:$dir")
}
finish_waiting_tests() {
  local entry failed=0
  for entry in "${WAITING[@]}"; do
    if wait "${entry%%:*}"; then
      grep -E 'tests passed|Total Test time' "${entry#*:}/waiting-tests.log"
    else
      cat "${entry#*:}/waiting-tests.log"
      echo "== tests that wait on drives failed in ${entry#*:} (${entry#*:}/waiting-tests.log)" >&2
      failed=1
    fi
  done
  return "$failed"
}

# fuzz DIR: each libFuzzer program of DIR for 30 s, starting from the checked-in seeds (every build
# also replays the seeds as a test). New inputs stay in DIR/fuzz-work; a crash leaves its input
# there and fails the run.
fuzz() {
  local dir=$1 target log failed=0
  local -A pids=()
  for target in project playlist; do
    mkdir -p "$dir/fuzz-work/$target"
    echo "== fuzzing the $target reader for 30 s"
    ASAN_OPTIONS=detect_leaks=1 "$dir/tests/fuzz/fuzz_$target" -max_total_time=30 -timeout=25 \
      -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 -artifact_prefix="$dir/fuzz-work/$target-" \
      "$dir/fuzz-work/$target" "$ROOT/tests/fuzz/corpus/$target" >"$dir/fuzz-work/$target.log" 2>&1 &
    pids[$target]=$!
  done
  # Both readers at once: one processor each.
  for target in project playlist; do
    log="$dir/fuzz-work/$target.log"
    if ! wait "${pids[$target]}"; then
      tail -n 60 "$log"
      echo "== the $target reader failed under libFuzzer; the input is in $dir/fuzz-work/" >&2
      failed=1
    fi
    grep -E '^stat::(number_of_executed_units|new_units_added)' "$log" || true
  done
  return "$failed"
}

case "${1:-}" in
  run)
    install_missing "${PACKAGES[@]}"
    build build
    CLI="$ROOT/build/src/cli/kelvadore-cli"
    APP="$ROOT/build/src/window/kelvadore"
    # Kelvadore's working folders and its virtual media live in build/home: a blank CD-R, and a
    # disc pressed from an image of this README, beside the always-present empty virtual recorder
    # and any real drives.
    export KELVADORE_HOME="${KELVADORE_HOME:-$ROOT/build/home}"
    mkdir -p "$KELVADORE_HOME/virtual"
    blank="$KELVADORE_HOME/virtual/blank-cdr.kvm"
    demo="$KELVADORE_HOME/virtual/demo.kvm"
    [ -f "$blank" ] || "$CLI" media create --type cdr "$blank" >/dev/null
    if [ ! -f "$demo" ]; then
      "$CLI" mkiso -o "$ROOT/build/demo.iso" --volume KELVADORE_DEMO "$ROOT/README.md" >/dev/null
      "$CLI" media create --type cdrom --from-image "$ROOT/build/demo.iso" "$demo" >/dev/null
    fi
    echo "== drives"
    "$CLI" drives
    # The first run opens on the recorder holding the blank CD-R; later runs on the drive chosen last.
    config="$KELVADORE_HOME/Kelvadore.cfg"
    if [ ! -f "$config" ]; then
      identity=$("$CLI" --drive "$blank" inquiry | sed -n 's/^identity: *//p')
      printf 'KELVADORE-TABLE 1\nFIELD C TEXT 0\nFIELD A TEXT 0\nROW 1.4\t%s\nEND 1\n' "$identity" >"$config"
    fi
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      # No screen here: the window runs on a virtual X server and shows itself as a picture.
      export KELVADORE_SCREENSHOT="$ROOT/build/screenshots/run.png"
      echo "== no display: Kelvadore runs on a virtual X server; its window is saved as $KELVADORE_SCREENSHOT"
      echo "   (Ctrl-C ends it)"
      exec xvfb-run -a -s "-screen 0 1280x1024x24" "$APP"
    fi
    exec "$APP"
    ;;
  test)
    install_missing "${PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    # No test may switch the machine off: the program writes this file instead.
    export KELVADORE_FAKE_POWEROFF="${KELVADORE_FAKE_POWEROFF:-$ROOT/build/fake-poweroff}"
    # A full disk makes compilers and guests fail without a word of why: say it first.
    for place in "$ROOT" "${TMPDIR:-/tmp}"; do
      free_kib=$(df -Pk "$place" 2>/dev/null | awk 'NR == 2 { print $4 }')
      [ -n "$free_kib" ] || continue
      free_gib=$((free_kib / 1048576))
      [ "$free_gib" -ge 8 ] ||
        echo "== warning: $free_gib GiB free at $place; the builds and the tests' discs need about 8 GiB" >&2
    done
    SUITE_START=$SECONDS
    stage "ordinary build" build build
    # The sanitizer and fuzzing builds compile in the background, niced further than the tests, while
    # the ordinary build's tests run.
    background_builds() {
      renice -n 19 -p "$BASHPID" >/dev/null
      build build-asan -DKELVADORE_ENGINE_ONLY=OFF -DKELVADORE_SANITIZE=address &&
        build build-tsan -DKELVADORE_ENGINE_ONLY=ON -DKELVADORE_SANITIZE=thread &&
        build build-fuzz -DKELVADORE_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
    }
    background_builds >"$ROOT/build/sanitizer-builds.log" 2>&1 &
    builds_pid=$!
    # A failing stage ends the script; the compilers behind it end with it.
    kill_tree() { local child; for child in $(pgrep -P "$1"); do kill_tree "$child"; done; kill "$1" 2>/dev/null || true; }
    fuzz_pid=""
    trap 'kill_tree "$builds_pid"; [ -z "$fuzz_pid" ] || kill_tree "$fuzz_pid"; for entry in "${WAITING[@]}"; do kill_tree "${entry%%:*}"; done' EXIT
    start_waiting_tests build .
    # The file of 4.5 GiB (label "large") costs a minute or more of reading holes: only on request.
    if [ "${KELVADORE_LARGE_TESTS:-0}" = 1 ]; then
      stage "ordinary tests" run_tests build -LE 'waits|realkernel'
    else
      stage "ordinary tests" run_tests build -LE 'waits|realkernel|large'
    fi
    # kelvadore-cli on a real kernel in QEMU guests; where the machine cannot run QEMU the test
    # is skipped and says why.
    stage "real-kernel tests" run_tests build -L realkernel -V
    waited() {
      if ! wait "$builds_pid"; then
        tail -n 80 "$ROOT/build/sanitizer-builds.log"
        echo "== the sanitizer or fuzzing build failed (build/sanitizer-builds.log)" >&2
        return 1
      fi
    }
    stage "rest of the sanitizer and fuzzing builds" waited
    # The fuzzers run their 30 s beside the ASan+UBSan tests, which leave part of the processors idle.
    (renice -n 15 -p "$BASHPID" >/dev/null; fuzz build-fuzz) >"$ROOT/build-fuzz/fuzzing.log" 2>&1 &
    fuzz_pid=$!
    # Engine and application tests again under AddressSanitizer+UndefinedBehaviorSanitizer (the
    # window in this process, offscreen), engine tests under ThreadSanitizer.
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    start_waiting_tests build-asan "engine|app"
    stage "ASan+UBSan tests (fuzzing beside them)" run_tests build-asan -L "engine|app" -LE waits
    fuzzed() { local rc=0; wait "$fuzz_pid" || rc=$?; cat "$ROOT/build-fuzz/fuzzing.log"; return "$rc"; }
    stage "the rest of the fuzzing" fuzzed
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    stage "TSan tests" run_tests build-tsan -L engine -LE waits
    stage "the rest of the tests that wait on drives" finish_waiting_tests
    stage_summary
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
