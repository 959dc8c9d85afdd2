# What the scripts in bench/ share; sourced by them (and by .ci/run), not run.

# Every structure the asc_* programs are built for, in the order of the
# tables; the allocation floor last. A build holds those whose libraries it
# found (bench/CMakeLists.txt), so the scripts skip the programs not built.
bench_structures=(avl std_multiset boost_avl absl_btree floor)

# bench_program BUILD_DIR NAME HEAP: the path of bench program NAME built for
# HEAP (system: NAME; mimalloc: NAME_mimalloc).
bench_program() {
  if [[ $3 == system ]]; then
    echo "$1/bench/$2"
  else
    echo "$1/bench/$2_$3"
  fi
}

# bench_check_heap PROGRAM HEAP [ARGS...]: stops the calling script unless
# PROGRAM, run with ARGS (which should make it allocate), really runs on HEAP,
# as the dynamic linker's bindings of malloc and operator new show
# (bench/heap_of.sh).
bench_check_heap() {
  local program=$1 heap=$2 actual
  shift 2
  [[ -x $program ]] || {
    echo "${0##*/}: $program missing; build it first" >&2
    exit 1
  }
  actual=$("$(dirname "${BASH_SOURCE[0]}")/heap_of.sh" "$program" "$@") || exit 1
  [[ $actual == "$heap" ]] || {
    echo "${0##*/}: $program runs on the $actual heap, not on $heap" >&2
    exit 1
  }
}
