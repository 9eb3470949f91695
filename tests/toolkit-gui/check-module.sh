#!/bin/bash
# A Linux plug-in file as a host's loader sees it: every library it needs is in the allowed set
# (the C++ runtime; for the editor xcb, cairo, pango and what they bring), and it exports
# exactly the expected functions.
# usage: check-module.sh FILE.so "EXPORTED FUNCTIONS" [ALLOWED-LIBRARY-REGEX]
set -u
so=$1 want_exports=$2
allowed=${3:-'^(libstdc\+\+\.so\.6|libm\.so\.6|libgcc_s\.so\.1|libc\.so\.6|ld-linux-x86-64\.so\.2|libxcb\.so\.1|libcairo\.so\.2|libpango(cairo|ft2)?-1\.0\.so\.0|libgobject-2\.0\.so\.0|libglib-2\.0\.so\.0|libfontconfig\.so\.1|libfreetype\.so\.6|libharfbuzz\.so\.0|lib(a|ub|t)san\.so\.[0-9]+)$'}
needed=$(readelf -d "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[ -n "$needed" ] || { echo "FAIL: readelf found no libraries in $so"; exit 1; }
fail=0
for lib in $needed; do
    [[ $lib =~ $allowed ]] || { echo "FAIL: $so needs $lib"; fail=1; }
done
exports=$(nm -D --defined-only "$so" | awk '$2=="T"{print $3}' | LC_ALL=C sort | tr '\n' ' ')
if [ "$exports" != "$want_exports " ]; then
    echo "FAIL: exported functions are '$exports', expected '$want_exports'"
    fail=1
fi
[ $fail -eq 0 ] && echo "OK: $(echo $needed)"
