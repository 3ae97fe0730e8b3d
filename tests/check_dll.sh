#!/usr/bin/env bash
# Static check of a Windows module: the machine it is built for, an export table of exactly
# VSTPluginMain and main at one address, and imports from system DLLs only (the C++ runtime,
# libgcc and winpthreads must be linked in, or the DLL fails to load on a machine without
# the toolchain).
#   check_dll.sh OBJDUMP x86|x64 MODULE
set -eu
objdump=$1 arch=$2 module=$3
case $arch in
  x86) format=pei-i386 machine=014c ;;
  x64) format=pei-x86-64 machine=8664 ;;
  *) echo "usage: check_dll.sh OBJDUMP x86|x64 MODULE" >&2; exit 2 ;;
esac
fail=0
dump=$("$objdump" -p "$module")

# The COFF header's machine field sits 4 bytes after the PE signature, whose offset is at 0x3c.
pe=$(od -An -tu4 -j60 -N4 "$module" | tr -d ' ')
found=$(od -An -tx2 -j$((pe + 4)) -N2 "$module" | tr -d ' ')
if [ "$found" != "$machine" ]; then
  echo "FAIL: machine type is 0x$found, expected 0x$machine ($arch)"; fail=1
fi
found=$(printf '%s\n' "$dump" | sed -n 's/.*file format \(.*\)$/\1/p' | head -n1)
if [ "$found" != "$format" ]; then
  echo "FAIL: file format is '$found', expected $format"; fail=1
fi
if ! printf '%s\n' "$dump" | grep -q '^[[:space:]]*DLL$'; then
  echo "FAIL: not marked as a DLL"; fail=1
fi

# "[i] +base[o] RVA Export RVA" lines give each ordinal's address; "[i] name" lines below
# "[Ordinal/Name Pointer] Table" give the names with the ordinal index they point at.
exports=$(printf '%s\n' "$dump" | awk '
  /Export RVA$/ { gsub(/[][]/, " "); rva[$1] = $4 }
  /^\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
  names && /^[[:space:]]*$/ { names = 0 }
  names { gsub(/[][]/, " "); print $2, rva[$1] }' | sort)
names=$(printf '%s\n' "$exports" | awk '{print $1}' | tr '\n' ' ')
if [ "$names" != "VSTPluginMain main " ]; then
  echo "FAIL: exported names are: $names"; fail=1
fi
addresses=$(printf '%s\n' "$exports" | awk '{print $2}' | sort -u | wc -l)
if [ "$addresses" != 1 ]; then
  echo "FAIL: main and VSTPluginMain are different functions:"; printf '%s\n' "$exports"; fail=1
fi

imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u | tr '\n' ' ')
for dll in $imports; do
  case "$(printf '%s' "$dll" | tr 'A-Z' 'a-z')" in
    kernel32.dll|msvcrt.dll|ntdll.dll|user32.dll|advapi32.dll|ucrtbase.dll|api-ms-win-*.dll) ;;
    *) echo "FAIL: imports $dll, which is not a system DLL"; fail=1 ;;
  esac
done
[ -n "$imports" ] || { echo "FAIL: no import table found"; fail=1; }

[ $fail = 0 ] && echo "machine 0x$machine ($format); exports: $(printf '%s\n' "$exports" | tr '\n' ' '); imports: $imports"
exit $fail
