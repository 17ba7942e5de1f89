#!/usr/bin/env bash
# Times whole kestrel builds on generated records (bench/records_gen.cpp):
# several runs per size, median wall time and median peak memory as
# /usr/bin/time -v reports it. With --against, another builder (a kestrel
# built from another commit, or any program taking -s -k -i -o) gets the same
# input and options; the runs alternate between the two, the report adds the
# ratio of the medians (this kestrel / the other), and every output must be
# the same file, byte for byte, as this kestrel's first one.
#
#   bench/run_build.sh [--against BIN] [-k KEY]... [--seed N] [--cache DIR] [records ...]
#
#   records    sizes to time; default 1000000 10000000
#   --against  the program to compare with
#   -k         key field, repeatable (KEYS="CardNum Surname"); default CardNum
#   --seed     seed of records_gen (SEED); default 2208
#   --cache    folder that keeps the generated inputs between invocations (CACHE)
#   RUNS       runs per program and size (default 5)
#   BUILD      build folder, inside the source tree (default build/bench)
#
#   RUNS=3 bench/run_build.sh --against /work/shared/yardstick/yardstick 1000000
#
# Exits non-zero when a program fails or the outputs differ.
set -euo pipefail
export LC_NUMERIC=C # EPOCHREALTIME and awk with a decimal point
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/${BUILD:-build/bench}"
runs=${RUNS:-5}
seed=${SEED:-2208}
cache=${CACHE:-}
other=
IFS=', ' read -ra keys <<<"${KEYS:-}"
sizes=()
die() { echo "run_build.sh: $*" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case $1 in
    --against) [ $# -ge 2 ] || die "--against needs a program"; other=$2; shift 2 ;;
    -k) [ $# -ge 2 ] || die "-k needs a key"; keys+=("$2"); shift 2 ;;
    --seed) [ $# -ge 2 ] || die "--seed needs a number"; seed=$2; shift 2 ;;
    --cache) [ $# -ge 2 ] || die "--cache needs a folder"; cache=$2; shift 2 ;;
    -h | --help) sed -n '2,/^set/s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) die "unknown option $1" ;;
    *) sizes+=("$1"); shift ;;
  esac
done
[ ${#sizes[@]} -gt 0 ] || sizes=(1000000 10000000)
[ ${#keys[@]} -gt 0 ] || keys=(CardNum)
for n in "${sizes[@]}" "$seed" "$runs"; do [[ $n =~ ^[0-9]+$ ]] || die "not a whole number: $n"; done
[ "$runs" -gt 0 ] || die "RUNS must be at least 1"
if [ -n "$other" ]; then
  [ -f "$other" ] && [ -x "$other" ] || die "not an executable file: $other"
  other=$(realpath -- "$other")
fi
if [ -n "$cache" ]; then mkdir -p "$cache" && cache=$(realpath -- "$cache"); fi
if [ ! -x /usr/bin/time ]; then
  [ "$(id -u)" -eq 0 ] || die "needs /usr/bin/time: apt-get install time (as root)"
  apt-get install -y time >/dev/null || { apt-get update >/dev/null && apt-get install -y time >/dev/null; } ||
    die "could not install /usr/bin/time (Debian package time)"
fi

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF -DKESTREL_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target kestrel records_gen krn_messages >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Writes the records of size $1 to in.tsv, or links them from the cache; a
# cached file is named after the generator's source, so a changed generator
# never reuses old inputs.
generate() {
  local file=in.tsv
  if [ -n "$cache" ]; then
    file="$cache/records-$1-seed$seed-$(sha1sum "$top/bench/records_gen.cpp" | cut -c1-12).tsv"
    [ -f "$file" ] && { ln -sf "$file" in.tsv; return; }
  fi
  "$build/bin/records_gen" "$1" "$seed" >"$file.$$" || { rm -f "$file.$$"; die "records_gen $1 $seed failed"; }
  mv "$file.$$" "$file"
  [ "$file" = in.tsv ] || ln -sf "$file" in.tsv
}

# Runs program $1 (label $2) once on in.tsv; appends its wall seconds and peak
# MB to times.$2 and memory.$2 and leaves its data set in out.kds. Both
# programs exit with 0 on success, kestrel also when it warns about repeated
# records.
measure() {
  local start end
  rm -f out.kds
  start=$EPOCHREALTIME
  /usr/bin/time -v -o usage "$1" "${options[@]}" >/dev/null 2>errors ||
    { echo "$2 failed on $n records:"; cat errors; exit 1; }
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", e - s }' >>"times.$2"
  awk -F': ' '/Maximum resident set size/ { printf "%.1f\n", $2 / 1024 }' usage >>"memory.$2"
}

# Checks out.kds against this kestrel's first data set of the size; a
# difference is reported with its offset, counted from 0.
check() {
  local diff offset=0
  diff=$(cmp -- first.kds out.kds 2>&1) && return 0
  [[ $diff =~ byte\ ([0-9]+) ]] && offset=${BASH_REMATCH[1]}
  [[ $diff != *differ:* ]] || offset=$((offset - 1))
  echo "$n records, seed $seed: run $((run + 1)) of $1 wrote another file than kestrel's first run;" \
    "first difference at offset $offset ($diff)" >>mismatches
}

schema='FirstName,Simple;Surname,SimpleNC;CardNum,CCNUMBER'
options=(-s "$schema")
for key in "${keys[@]}"; do options+=(-k "$key"); done
options+=(-i in.tsv -o out.kds)
label=${other:+$(basename "$other")}
[ "$label" != kestrel ] || label=other

echo "keys: ${keys[*]}; seed $seed; load average $(cut -d' ' -f1-3 /proc/loadavg)"
if [ -z "$other" ]; then
  printf '%12s %6s %12s %14s\n' records runs "median s" "median peak MB"
else
  echo "kestrel: $build/bin/kestrel; $label: $other"
  printf '%12s %5s %12s %12s %7s %12s %12s  %s\n' records runs "kestrel s" "$label s" ratio "kestrel MB" "$label MB" output
fi
status=0
for n in "${sizes[@]}"; do
  generate "$n"
  cat in.tsv >/dev/null # the first run finds the input in memory, as the others do
  rm -f times.* memory.* first.kds mismatches
  for ((run = 0; run < runs; ++run)); do
    measure "$build/bin/kestrel" kestrel
    if [ -f first.kds ]; then check kestrel; else mv out.kds first.kds; fi
    if [ -n "$other" ]; then
      measure "$other" "$label"
      check "$label"
    fi
  done
  rm -f out.kds first.kds
  a=$(median <times.kestrel)
  if [ -z "$other" ]; then
    printf '%12d %6d %12.3f %14.1f\n' "$n" "$runs" "$a" "$(median <memory.kestrel)"
  else
    b=$(median <"times.$label")
    printf '%12d %5d %12.3f %12.3f %7s %12.1f %12.1f  %s\n' "$n" "$runs" "$a" "$b" \
      "$(awk -v a="$a" -v b="$b" 'BEGIN { printf (b > 0 ? "%.2f" : "-"), a / (b > 0 ? b : 1) }')" \
      "$(median <memory.kestrel)" "$(median <"memory.$label")" "$([ -f mismatches ] && echo DIFFERENT || echo same)"
  fi
  [ ! -f mismatches ] || { cat mismatches; status=1; }
done
exit $status
