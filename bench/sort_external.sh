#!/usr/bin/env bash
# The spilled record sort beside GNU sort and SQLite's ORDER BY, in one session.
#
# 10,000,000 fixed-width lines of 32 bytes (a key of 16 hexadecimal digits, 15 bytes of
# payload, a line feed), the lines zo_bench's big benchmarks make in memory. Times, as wall
# clock and CPU seconds:
#   - GNU sort on the first 16 bytes with a 4 MiB buffer (-S 4M), the memory budget of the
#     record sort's 64 buffers, and with its default buffer; C locale; output to /dev/null;
#   - zo_bench's BM_Big_ZoSortSpilled10M (records added, spilled, merged, read to the end)
#     and BM_Big_SqliteOrderBy10M (SELECT ... ORDER BY over a table of the same rows, read
#     to the end; the inserts are not timed).
# Usage: bench/sort_external.sh [build dir, default build/release]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
bench=$build/bench/zo_bench
[[ -x $bench ]] || { echo "build $bench first (scripts/run.sh bench --benchmark_list_tests)" >&2; exit 2; }

data=$(mktemp --tmpdir zo-sort-lines.XXXXXX)
trap 'rm -f "$data"' EXIT
python3 - "$data" <<'EOF'
import sys
# The same lines as bigLine() in bench/sort_bench.cpp: splitmix64 of the line number.
M = (1 << 64) - 1
def splitmix(state):
    z = (state + 0x9E3779B97F4A7C15) & M
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & M
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & M
    return z ^ (z >> 31)
letters = b"abcdefghijklmnopqrstuvwxyz" * 2
with open(sys.argv[1], "wb", buffering=1 << 20) as out:
    chunk = []
    for i in range(10_000_000):
        payload = letters[i % 26:i % 26 + 15]
        chunk.append(b"%016x" % splitmix(i) + payload + b"\n")
        if len(chunk) == 100_000:
            out.write(b"".join(chunk))
            chunk.clear()
    out.write(b"".join(chunk))
EOF
echo "data: $(stat -c %s "$data") bytes in $(wc -l <"$data") lines"
cat "$data" >/dev/null # in the page cache, as the in-memory data of the other contenders

timed() {
  local label=$1
  shift
  /usr/bin/time -f "$label: %e s wall, %U s user, %S s system, %M KiB peak" "$@"
}
export LC_ALL=C
timed "GNU sort -S 4M" sort -S 4M -s -k1.1,1.16 "$data" -o /dev/null
timed "GNU sort (default buffer)" sort -s -k1.1,1.16 "$data" -o /dev/null
ZO_BENCH_BIG=1 "$bench" --benchmark_filter=Big_
