#!/usr/bin/env bash
# Times whole kestrel builds on generated records (bench/records_gen.cpp):
# several runs per size, median wall time and median peak memory as
# /usr/bin/time -v reports them. One key (CardNum).
#
#   bench/run_build.sh [records ...]      default: 1000000 10000000
#   RUNS=5 BUILD=build/bench bench/run_build.sh 1000000
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/${BUILD:-build/bench}"
runs=${RUNS:-5}
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000000 10000000)

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF -DKESTREL_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target kestrel records_gen krn_messages >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

schema='FirstName,Simple;Surname,SimpleNC;CardNum,CCNUMBER'
printf '%12s %6s %12s %14s\n' records runs "median s" "median peak MB"
for n in "${sizes[@]}"; do
  "$build/bin/records_gen" "$n" >in.tsv
  : >times
  : >memory
  for ((run = 0; run < runs; ++run)); do
    rm -f out.kds
    # A build ends with exit code 0 also when it warns about repeated records.
    /usr/bin/time -v -o usage "$build/bin/kestrel" -k CardNum -s "$schema" -i in.tsv -o out.kds >/dev/null 2>errors ||
      { echo "kestrel failed on $n records:"; cat errors; exit 1; }
    awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + p[i]; print s }' usage >>times
    awk -F': ' '/Maximum resident set size/ { printf "%.1f\n", $2 / 1024 }' usage >>memory
  done
  printf '%12d %6d %12s %14s\n' "$n" "$runs" "$(median <times)" "$(median <memory)"
done
