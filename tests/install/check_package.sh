#!/usr/bin/env bash
# Makes the Debian package of a build and checks what it holds: the programs,
# the five libraries by their sonames, the message modules beside them, the
# headers, the CMake package, the pkg-config files and the manual pages; and
# that its dependencies name the libraries it links, found by dpkg-shlibdeps.
#
#   check_package.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" > "$work/cpack.log" || { cat "$work/cpack.log"; exit 1; }
package=$(ls "$work"/kestrel_*.deb)
dpkg-deb -c "$package" | awk '{print $6}' | sed 's|^\./|/|' > "$work/files"
missing=0
for file in /usr/bin/kestrel /usr/bin/kestrel-inspect /usr/bin/kestrel-match /usr/bin/encsense-detect \
    /usr/lib/libkrnbase.so.2 /usr/lib/libtokentext.so.2 /usr/lib/libutilkit.so.2 /usr/lib/libencsense.so.2 \
    /usr/lib/libkestrel.so.2 /usr/lib/libkestrel.so /usr/lib/platres2208.so /usr/lib/utilres2208.so \
    /usr/include/tla/tla_data_set_connector.h /usr/include/krn/krn_status.h /usr/include/enr/enr_detector.h \
    /usr/include/tkn/tkn_token.h /usr/include/utk/utk_patcher.h /usr/include/ptl/ptl_allocator.h \
    /usr/lib/cmake/kestrel/kestrelConfig.cmake /usr/lib/pkgconfig/kestrel.pc /usr/lib/pkgconfig/encsense.pc \
    /usr/share/man/man1/kestrel.1 /usr/share/man/man1/kestrel-inspect.1 /usr/share/man/man1/kestrel-match.1 \
    /usr/share/man/man1/encsense-detect.1; do
  grep -qx "$file" "$work/files" || { echo "the package lacks $file"; missing=1; }
done
depends=$(dpkg-deb -f "$package" Depends)
for library in 'libc6 ' 'libstdc\+\+6 ' 'libicu[0-9]+ ' 'libtbb[0-9]+ '; do
  grep -Eq "(^|, )$library" <<< "$depends" || { echo "Depends lacks $library: $depends"; missing=1; }
done
exit $missing
