#!/usr/bin/env bash
# One entry point for building and running: installs what is missing, configures, builds, runs.
#   scripts/run.sh demo    release build, then the demo program
#   scripts/run.sh test    release build, then the whole test suite
#   scripts/run.sh asan    AddressSanitizer + UBSan build, then the whole test suite
#   scripts/run.sh tsan    ThreadSanitizer build, then the whole test suite
#   scripts/run.sh bench   release build, then the benchmarks (extra arguments go to them)
#   scripts/run.sh fuzz T [seconds]   clang + libFuzzer build, then fuzz target T
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=${ZO_JOBS:-$(nproc)}
configure() { cmake --preset "$1" >/dev/null; }
build() { cmake --build "build/$1" -j "$jobs" "${@:2}"; }

what=${1:-test}
shift || true
case "$what" in
  demo)
    configure release && build release --target zo_demo
    ./build/release/examples/zo_demo ;;
  test | asan | tsan)
    preset=$what; [[ $what == test ]] && preset=release
    configure "$preset" && build "$preset"
    ctest --preset "$preset" ;;
  bench)
    configure release && build release --target zo_bench
    ./build/release/bench/zo_bench "$@" ;;
  fuzz)
    target=${1:?name of the fuzz target}; seconds=${2:-60}
    configure fuzz && build fuzz --target "fuzz_$target"
    mkdir -p "build/fuzz/corpus/$target"
    "./build/fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" "build/fuzz/corpus/$target" ;;
  *)
    echo "usage: scripts/run.sh demo|test|asan|tsan|bench|fuzz" >&2; exit 2 ;;
esac
