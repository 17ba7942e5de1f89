#!/usr/bin/env bash
# Installs the build into a staging prefix, then, outside the source tree,
# builds a small program against the installed files twice, once with
# find_package and once with pkg-config, and runs both on a data set the
# installed kestrel made; then moves the installed tree and runs again.
#
#   run_install_test.sh BUILD_DIR SOURCE_DIR CXX "CXX_FLAGS"
set -euo pipefail
build=$1 source=$2 cxx=$3 flags=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/stage
cmake --install "$build" --prefix "$stage" > "$work/install.log"
libdir=$(cd "$stage" && ls -d lib*/libkestrel.so | head -n 1 | xargs dirname)

schema='FirstName,Simple;Surname,SimpleNC;CardNum,CCNUMBER'
"$stage/bin/kestrel" -k Surname -k CardNum -s "$schema" -i "$source/examples/customers.tsv" -o "$work/customers.kds" > /dev/null
"$stage/bin/kestrel-inspect" "$work/customers.kds" > /dev/null
test "$("$stage/bin/kestrel-match" -d "$work/customers.kds" "$source/examples/letter.txt" | wc -l)" = 2

cp -r "$source/tests/install/consumer" "$work/consumer"
cmake -S "$work/consumer" -B "$work/consumer/build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_PREFIX_PATH="$stage" > "$work/configure.log"
cmake --build "$work/consumer/build" > "$work/build.log" || { cat "$work/build.log"; exit 1; }
test "$("$work/consumer/build/find_record" "$work/customers.kds" Surname "MÜLLER")" = 1

PKG_CONFIG_PATH="$stage/$libdir/pkgconfig" pkg-config --cflags --libs kestrel > "$work/pkg-config.txt"
# shellcheck disable=SC2046
"$cxx" -std=c++20 $flags "$work/consumer/find_record.cpp" -o "$work/find_record_pc" \
  $(cat "$work/pkg-config.txt") -Wl,-rpath,"$stage/$libdir"
test "$("$work/find_record_pc" "$work/customers.kds" CardNum "4260-1815-9083-0166")" = 1

# The installed programs find their libraries and message modules wherever
# the tree is.
mv "$stage" "$work/elsewhere"
rm -f "$work/again.kds"
"$work/elsewhere/bin/kestrel" -k Surname -s "$schema" -i "$source/examples/customers.tsv" -o "$work/again.kds" > /dev/null
"$work/elsewhere/bin/encsense-detect" "$source/examples/customers.tsv" | grep -q ": utf-8$"
# A message from the message modules, not a bare status value.
message=$("$work/elsewhere/bin/kestrel" -k Nobody -s "$schema" -i "$source/examples/customers.tsv" \
  -o "$work/none.kds" 2>&1 || true)
grep -q '"Nobody"' <<< "$message"
echo "installed, built against with find_package and pkg-config, and run from two prefixes"
