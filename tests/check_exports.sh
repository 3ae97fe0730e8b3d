#!/usr/bin/env bash
# The module must export exactly the two entry points and, with the runtime linked in,
# need nothing beyond the C library, libm and the loader.
set -eu
module=$1
fail=0
exports=$(nm -D --defined-only "$module" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$exports" != "VSTPluginMain main " ]; then
  echo "FAIL: exported symbols are: $exports"; fail=1
fi
entry=$(nm -D --defined-only "$module" | awk '$3=="VSTPluginMain"{print $1}')
alias=$(nm -D --defined-only "$module" | awk '$3=="main"{print $1}')
if [ "$entry" != "$alias" ]; then
  echo "FAIL: main ($alias) is not VSTPluginMain ($entry)"; fail=1
fi
if [ "${MORVEX_STATIC_RUNTIME:-0}" = 1 ]; then
  needed=$(readelf -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
  for lib in $needed; do
    case "$lib" in
      libc.so.*|libm.so.*|ld-linux*) ;;
      *) echo "FAIL: depends on $lib"; fail=1 ;;
    esac
  done
fi
[ $fail = 0 ] && echo "exports: $exports; needs: ${needed:-(not checked)}"
exit $fail
