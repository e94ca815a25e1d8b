#!/usr/bin/env bash
# One entry point for building and running: installs what is missing, configures, builds, runs.
#   scripts/run.sh demo    release build, then the demo program
#   scripts/run.sh test    release build, then the whole test suite
#   scripts/run.sh asan    AddressSanitizer + UBSan build, then the whole test suite
#   scripts/run.sh tsan    ThreadSanitizer build, then the whole test suite
#   scripts/run.sh bench   release build, then the benchmarks (extra arguments go to them)
#   scripts/run.sh fuzz T [seconds]   clang + libFuzzer build, then fuzz target T
#   scripts/run.sh fuzz-all [seconds] clang + libFuzzer build, then every target briefly
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
  fuzz-all)
    # A short run of every target over a fresh corpus with a fixed seed (the same inputs
    # every run): the targets build, and the inputs the fuzzer reaches first find nothing.
    seconds=${1:-5}
    configure fuzz && build fuzz
    for target in build/fuzz/fuzz/fuzz_*; do
      name=${target##*/fuzz_}
      corpus=$(mktemp -d)
      echo "fuzz target $name ($seconds s)"
      "$target" -seed=1 -max_total_time="$seconds" "$corpus" 2>"build/fuzz/$name.log" \
        || { tail -40 "build/fuzz/$name.log" >&2; rm -rf "$corpus"; exit 1; }
      rm -rf "$corpus"
    done ;;
  *)
    echo "usage: scripts/run.sh demo|test|asan|tsan|bench|fuzz|fuzz-all" >&2; exit 2 ;;
esac
