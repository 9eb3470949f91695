#!/bin/bash
# A Windows plug-in file as a host's loader sees it: it exports VSTPluginMain and main, at one
# address, and nothing else; every DLL it imports ships with Windows (a MinGW runtime DLL would
# make LoadLibrary fail with error 126 on a user's machine).
# usage: check-dll.sh OBJDUMP FILE.dll
set -u
dump=$("$1" -p "$2") || { echo "FAIL: $1 could not read $2"; exit 1; }
fail=0

# "[   0] VSTPluginMain" in the name table; that index's "[   0] +base[   1] 1370 Export RVA".
names=$(printf '%s\n' "$dump" | awk '/^\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^$/{t=0} t{gsub(/[][]/," ");print $1, $2}')
rvas=$(printf '%s\n' "$dump" | awk '/^Export Address Table --/{t=1;next} t&&/^$/{t=0} t&&/Export RVA/{gsub(/[][]/," ");print $1, $4}')
rva_of() { printf '%s\n' "$rvas" | awk -v i="$(printf '%s\n' "$names" | awk -v n="$1" '$2==n{print $1}')" '$1==i{print $2}'; }

exported=$(printf '%s\n' "$names" | awk 'NF{print $2}' | LC_ALL=C sort | tr '\n' ' ')
va=$(rva_of VSTPluginMain) ma=$(rva_of main)
if [ "$exported" != "VSTPluginMain main " ]; then
    echo "FAIL: exports are '${exported}', expected exactly 'VSTPluginMain main'"
    fail=1
elif [ -z "$va" ] || [ "$va" != "$ma" ]; then
    echo "FAIL: VSTPluginMain (RVA '$va') and main (RVA '$ma') are not the same function"
    fail=1
fi

# DLLs that every 64-bit Windows since 7 provides.
system_dlls=" kernel32.dll user32.dll gdi32.dll gdiplus.dll shell32.dll shlwapi.dll ole32.dll
 oleaut32.dll comdlg32.dll comctl32.dll advapi32.dll msvcrt.dll ws2_32.dll winmm.dll uxtheme.dll
 dwmapi.dll version.dll imm32.dll msimg32.dll opengl32.dll d2d1.dll dwrite.dll
 windowscodecs.dll bcrypt.dll crypt32.dll usp10.dll rpcrt4.dll setupapi.dll ntdll.dll "
imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
[ -n "$imports" ] || echo "FAIL: no import table found"
for lib in $imports; do
    if [[ $lib != api-ms-win-* && "$system_dlls" != *" $lib"[[:space:]]* ]]; then
        echo "FAIL: imports $lib, which is not a Windows system DLL"
        fail=1
    fi
done

echo "exports: $exported"
echo "imports: $(echo $imports)"
[ $fail -eq 0 ] && [ -n "$imports" ] && echo "OK: $2"
