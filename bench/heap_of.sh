#!/usr/bin/env bash
# Prints the heap that really serves a program's allocations: "mimalloc",
# "system" (glibc malloc), or "mixed" (some allocation entry points bound to
# one heap and some to the other), from the dynamic linker's symbol bindings
# as the program runs.
#
#   bench/heap_of.sh PROGRAM [ARGS...]
#
# A program on mimalloc has malloc and operator new bound to libmimalloc
# (linked, or preloaded with LD_PRELOAD); on the system heap malloc is bound
# to libc and operator new to libstdc++, which calls that malloc. Only the
# entry points the program actually calls get bound, so ARGS should make it
# allocate (any N >= 1 does for the asc_* programs).
set -euo pipefail
(($# >= 1)) || {
  echo "usage: $0 PROGRAM [ARGS...]" >&2
  exit 2
}
bindings=$(LD_DEBUG=bindings "$@" 2>&1 >/dev/null |
  sed -n "s/.* to \([^ ]*\) .*normal symbol \`\(malloc\|_Znwm\|_ZnwmRKSt9nothrow_t\)'.*/\2 \1/p")
[[ -n $bindings ]] || {
  echo "heap_of.sh: no allocation bindings seen for $1" >&2
  exit 1
}
mimalloc=0
system=0
while read -r symbol library; do
  case $library in
    */libmimalloc.so*) mimalloc=1 ;;
    */libc.so.6) system=1 ;;
    */libstdc++.so.6) [[ $symbol == _Znw* ]] && system=1 ;;
    *) mimalloc=1 system=1 ;; # another allocator: neither of the two
  esac
done <<<"$bindings"
if ((mimalloc && !system)); then
  echo mimalloc
elif ((system && !mimalloc)); then
  echo system
else
  echo mixed
fi
