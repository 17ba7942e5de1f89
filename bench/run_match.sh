#!/usr/bin/env bash
# Measures kestrel-match in two ways.
#
# The evaluation builds a data set of 3,000 invented records and searches 60
# documents (bench/match_docs_gen.cpp) in UTF-8, UTF-8 and UTF-16LE with a
# byte order mark, windows-1252, iso-8859-15, windows-1250 and Shift_JIS, in
# which records are planted the ways people write them and decoys beside them
# that must not match. The matches, at the defaults, are compared with the
# places the generator wrote down (file, line, column of the earlier of the
# record's surname and card): true and false positives, misses, precision
# and recall, and every failure with its text.
#
# The throughput run searches about 150 MB of prose for the records of a data
# set of 1,000,000 (bench/records_gen.cpp, keys Surname and CardNum), with a
# record or a decoy every few kilobytes, several times; it reports the median
# wall time, MB/s, MB per CPU second (user + system: what one core does) and
# the median peak memory beside the size of the key indexes.
#
#   bench/run_match.sh [--eval] [--throughput] [--seed N] [--cache DIR]
#                      [--records N] [--megabytes N] [--files N]
#
#   --eval, --throughput  run only that part; default both
#   --seed       seed of the generators (SEED); default 2208
#   --cache      folder that keeps the generated inputs between invocations (CACHE)
#   --records    records of the throughput data set; default 1000000
#   --megabytes  size of the throughput documents in all; default 150
#   --files      number of throughput documents; default 6
#   RUNS         throughput runs (default 5)
#   DENSITY      bytes of prose per planted record or decoy there (default 4096)
#   BUILD        build folder, inside the source tree (default build/bench)
#
#   CACHE=/tmp/kestrel-cache bench/run_match.sh --eval
#
# Exits 1 when a program fails, the evaluation finds less than 100% precision
# or recall, or runs on the same input write different matches; 2 on a wrong
# command line.
set -euo pipefail
export LC_NUMERIC=C # EPOCHREALTIME and awk with a decimal point
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/${BUILD:-build/bench}"
runs=${RUNS:-5}
seed=${SEED:-2208}
cache=${CACHE:-}
density=${DENSITY:-4096}
records=1000000 megabytes=150 files=6
do_eval=0 do_throughput=0
die() { echo "run_match.sh: $*" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case $1 in
    --eval) do_eval=1; shift ;;
    --throughput) do_throughput=1; shift ;;
    --seed | --cache | --records | --megabytes | --files)
      [ $# -ge 2 ] || die "$1 needs a value"
      case $1 in
        --seed) seed=$2 ;; --cache) cache=$2 ;; --records) records=$2 ;;
        --megabytes) megabytes=$2 ;; --files) files=$2 ;;
      esac
      shift 2 ;;
    -h | --help) sed -n '2,/^set/s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) die "unknown argument $1" ;;
  esac
done
[ $do_eval = 1 ] || [ $do_throughput = 1 ] || do_eval=1 do_throughput=1
for n in "$seed" "$runs" "$density" "$records" "$megabytes" "$files"; do
  [[ $n =~ ^[0-9]+$ ]] || die "not a whole number: $n"
done
[ "$runs" -gt 0 ] && [ "$density" -gt 0 ] && [ "$records" -gt 0 ] && [ "$megabytes" -gt 0 ] && [ "$files" -gt 0 ] ||
  die "RUNS, DENSITY, --records, --megabytes and --files must be at least 1"
[ -x /usr/bin/time ] || die "needs /usr/bin/time (Debian package time)"
if [ -n "$cache" ]; then mkdir -p "$cache" && cache=$(realpath -- "$cache"); fi

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF -DKESTREL_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" \
  --target kestrel kestrel-match kestrel-inspect records_gen match_docs_gen krn_messages >/dev/null
bin=$build/bin

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-match-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
store=${cache:-$work}
schema='FirstName,Simple;Surname,SimpleNC;CardNum,CCNUMBER'

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
digest() { cat "$@" | sha1sum | cut -c1-12; }

# Makes folder or file $1 with the command after it unless it exists; the
# command writes into $1.$$, renamed once whole, so an interrupted run
# leaves nothing a later one would take for finished.
make_once() {
  local target=$1
  shift
  [ -e "$target" ] && return 0
  rm -rf "$target.$$"
  "$@" "$target.$$" || { rm -rf "$target.$$"; echo "run_match.sh: failed: $*" >&2; exit 1; }
  mv "$target.$$" "$target"
}

# A data set of records file $1 in $2, with the keys the matcher searches.
build_set() { "$bin/kestrel" -k Surname -k CardNum -s "$schema" -i "$1" -o "$2" >/dev/null 2>"$work/kestrel.err"; }

# ---- evaluation --------------------------------------------------------------

eval_docs() { "$bin/match_docs_gen" eval "$1" "$seed" >/dev/null; }

# card <TAB> offset of its record in the data set, for every planted card.
record_offsets() {
  local card offset
  while read -r card; do
    offset=$("$bin/kestrel-inspect" "$1" -k CardNum -v "$card" | sed -n 's/.*record at offset \([0-9]*\).*/\1/p' | head -1)
    printf '%s\t%s\n' "$card" "${offset:--}"
  done < <(grep -v '^#' truth.tsv | cut -f4 | sort -u)
}

# Compares matches.json with truth.tsv. Prints the figures; writes failures
# (kind <TAB> file <TAB> line <TAB> column <TAB> why) to failures.
score() {
  awk -F'\t' -v failures=failures '
    # A member of one of the matcher'"'"'s JSON lines: a string, a number, or an
    # array of strings given back as a comma-separated list.
    function member(s, name,   i, rest) {
      i = index(s, "\"" name "\":")
      if (!i) return ""
      rest = substr(s, i + length(name) + 3)
      if (substr(rest, 1, 1) == "\"") { rest = substr(rest, 2); return substr(rest, 1, index(rest, "\"") - 1) }
      if (substr(rest, 1, 1) == "[") { rest = substr(rest, 2, index(rest, "]") - 2); gsub(/"/, "", rest); return rest }
      match(rest, /^[0-9]+/)
      return substr(rest, 1, RLENGTH)
    }
    function fail(kind, file, line, column, why) {
      printf "%s\t%s\t%s\t%s\t%s\n", kind, file, line, column, why > failures
    }
    FILENAME == "offsets" { offset[$1] = $2; next }
    FILENAME == "truth.tsv" {
      if (/^#/) next
      k = $1 SUBSEP $2 SUBSEP $3
      planted[k] = 1; tfile[k] = $1; tline[k] = $2; tcol[k] = $3; tcard[k] = $4; tkind[k] = $5
      tenc[k] = $6; tfields[k] = $7; twritten[k] = $8 " / " $9
      expected[$1 SUBSEP offset[$4]] = k
      kinds[$5]++; encs[$6]++; written[$1] = $6
      next
    }
    FILENAME == "decoys.tsv" {
      if (/^#/) next
      ndecoys[$1]++; dline[$1, ndecoys[$1]] = $2; dkind[$1, ndecoys[$1]] = $4 " (" $5 ")"
      next
    }
    {
      file = member($0, "file"); line = member($0, "line"); column = member($0, "column")
      record = member($0, "record"); fields = member($0, "fields"); enc = member($0, "encoding")
      if (enc != "" && enc != written[file]) read_as[file] = enc
      k = file SUBSEP line SUBSEP column
      if ((k in planted) && !(k in found) && (offset[tcard[k]] == "-" || offset[tcard[k]] == record) && fields == tfields[k]) {
        found[k] = record; tp++; kfound[tkind[k]]++; efound[tenc[k]]++
        next
      }
      fp++
      why = "record " record " (" fields ", key " member($0, "key") ")"
      if (k in found) why = why (found[k] == record ? "; reported twice" : "; another record is reported here too")
      else if (k in planted) why = why "; the record planted here is " tcard[k] " at offset " offset[tcard[k]] " with " tfields[k]
      if ((file SUBSEP record) in expected) {
        e = expected[file SUBSEP record]
        why = why "; this record is planted at " tline[e] ":" tcol[e] " (" tkind[e] ")"
      }
      for (i = 1; i <= ndecoys[file]; ++i) {
        d = dline[file, i] - line
        if (d >= -3 && d <= 3) why = why "; decoy at line " dline[file, i] ": " dkind[file, i]
      }
      fail("false positive", file, line, column, why)
    }
    END {
      for (k in planted) {
        if (k in found) continue
        fn++
        fail("missed", tfile[k], tline[k], tcol[k], tkind[k] ", " tenc[k] ", " tfields[k] ": " twritten[k])
      }
      precision = tp + fp ? 100 * tp / (tp + fp) : 0
      recall = tp + fn ? 100 * tp / (tp + fn) : 0
      printf "planted %d; true positives %d, false positives %d, false negatives %d\n", tp + fn, tp, fp, fn
      printf "precision %.2f%%, recall %.2f%%\n", precision, recall
      printf "found by kind:"
      for (x in kinds) printf " %s %d/%d;", x, kfound[x], kinds[x]
      printf "\nfound by encoding:"
      for (x in encs) printf " %s %d/%d;", x, efound[x], encs[x]
      printf "\n"
      for (f in read_as) printf "note: %s (%s) was read as %s\n", f, written[f], read_as[f]
      exit ((fp || fn) ? 1 : 0)
    }
  ' offsets truth.tsv decoys.tsv matches.json
}

# Each failure of file $1 with the document's lines around it, from the
# UTF-8 copy in the current folder.
show_failures() {
  local kind file line column why from
  sort -t$'\t' -k2,2 -k3,3n "$1" | while IFS=$'\t' read -r kind file line column why; do
    echo "$kind: $file:$line:$column: $why"
    from=$((line > 1 ? line - 1 : 1))
    sed -n "${from},$((line + 1))p" "utf8/${file#docs/}" | sed 's/^/    | /'
  done
}

evaluate() {
  local dir status=0 rc=0
  dir="$store/match-eval-seed$seed-$(digest "$top/bench/match_docs_gen.cpp")"
  make_once "$dir" eval_docs
  cd "$dir"
  build_set records.tsv "$work/eval.kds" || { cat "$work/kestrel.err"; return 1; }
  record_offsets "$work/eval.kds" >"$work/offsets"
  "$bin/kestrel-match" --json -d "$work/eval.kds" docs/* >"$work/matches.json" 2>"$work/match.err" || rc=$?
  cp truth.tsv decoys.tsv "$work/"
  cd "$work"
  echo "evaluation: $(find "$dir/docs" -type f | wc -l) documents in $dir; kestrel-match exit code $rc"
  [ ! -s match.err ] || sed 's/^/kestrel-match: /' match.err
  [ "$rc" -le 1 ] || status=1
  : >failures
  score || status=1
  (cd "$dir" && show_failures "$work/failures")
  return $status
}

# ---- throughput --------------------------------------------------------------

bulk_records() { "$bin/records_gen" "$records" "$seed" >"$1"; }
bulk_docs() { "$bin/match_docs_gen" bulk "$records_file" "$1" "$megabytes" "$files" "$seed" "$density" >/dev/null; }

# One run over the documents: appends wall seconds, CPU seconds and peak MiB
# to wall.txt, cpu.txt and memory.txt; the matches go to matches.$1.
measure() {
  local start end rc=0
  start=$EPOCHREALTIME
  /usr/bin/time -v -o usage "$bin/kestrel-match" -d "$data_set" "$docs"/doc-*.txt >"matches.$1" 2>errors || rc=$?
  end=$EPOCHREALTIME
  [ $rc -le 1 ] || { echo "kestrel-match failed (exit code $rc):"; cat errors; exit 1; }
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", e - s }' >>wall.txt
  awk -F': ' '/User time/ { u = $2 } /System time/ { s = $2 } END { printf "%.2f\n", u + s }' usage >>cpu.txt
  awk -F': ' '/Maximum resident set size/ { printf "%.1f\n", $2 / 1024 }' usage >>memory.txt
}

throughput() {
  local run size
  records_file="$store/records-$records-seed$seed-$(digest "$top/bench/records_gen.cpp").tsv"
  make_once "$records_file" bulk_records
  docs="$store/match-docs-${megabytes}mb-${files}f-d$density-seed$seed-$(digest "$top/bench/match_docs_gen.cpp" "$records_file")"
  make_once "$docs" bulk_docs
  # Kept only while the library that wrote it is the one searching it.
  data_set="$store/match-$(basename "$records_file" .tsv).kds"
  if [ ! "$data_set" -nt "$bin/libkestrel.so" ] || [ ! "$data_set" -nt "$records_file" ]; then
    rm -f "$data_set"
    make_once "$data_set" build_set "$records_file" || { cat "$work/kestrel.err"; exit 1; }
  fi
  cd "$work"
  cat "$docs"/doc-*.txt >/dev/null # every run finds the documents in memory
  rm -f wall.txt cpu.txt memory.txt
  for ((run = 1; run <= runs; ++run)); do
    measure "$run"
    cmp -s matches.1 "matches.$run" || { echo "run $run wrote other matches than run 1"; exit 1; }
  done
  size=$(cat "$docs"/doc-*.txt | wc -c)
  local wall cpu_s mb threads=$((files < $(nproc) ? files : $(nproc)))
  wall=$(median <wall.txt) cpu_s=$(median <cpu.txt)
  mb=$(awk -v b="$size" 'BEGIN { printf "%.1f", b / 1e6 }')
  echo "throughput: $records records (keys Surname, CardNum), $mb MB in $files files, $threads threads;" \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
  printf '%5s %9s %8s %10s %12s %16s %17s %9s %9s\n' runs "median s" "MB/s" "median CPU" "MB per CPU s" \
    "median peak MiB" "key indexes MiB" matches planted
  awk -v r="$runs" -v w="$wall" -v c="$cpu_s" -v mb="$mb" -v m="$(median <memory.txt)" -v n="$records" \
    -v found="$(wc -l <matches.1)" -v planted="$(awk '/^planted/ { print $2 }' "$docs/summary")" 'BEGIN {
      printf "%5d %9.3f %8.1f %10.2f %12.1f %16.1f %17.1f %9d %9d\n", r, w, mb / w, c, (c > 0 ? mb / c : 0), m,
        16 * n * 2 / 1048576, found, planted }'
}

status=0
if [ $do_eval = 1 ]; then (evaluate) || status=1; fi
if [ $do_throughput = 1 ]; then (throughput) || status=1; fi
exit $status
