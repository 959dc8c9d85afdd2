# What the scripts in bench/ share; sourced by them (and by .ci/run), not run.

# bench_setup "$@": reads what every measuring script takes and sets
#   build       the build whose programs run: the first argument left, else
#               build-bench where it exists, else build (the README's);
#   out         where the figures go: BUILD_DIR/results, or with --save the
#               committed bench/results/ (and, for the plot, docs/);
#   bench_save  1 with --save;
#   bench_args  the arguments left, BUILD_DIR first.
# So a plain run never rewrites the committed figures. The script makes `out`
# once it has checked that the programs are there (bench_need).
bench_setup() {
  bench_save=0
  bench_args=()
  local arg
  for arg in "$@"; do
    if [[ $arg == --save ]]; then
      bench_save=1
    else
      bench_args+=("$arg")
    fi
  done
  build=${bench_args[0]:-}
  if [[ -z $build ]]; then
    build=build
    [[ -d build-bench ]] && build=build-bench
  fi
  if ((bench_save)); then
    out=bench/results
  else
    out=$build/results
  fi
}

# bench_need PROGRAM...: stops the calling script, saying how to make them,
# unless every PROGRAM was built.
bench_need() {
  local program
  for program in "$@"; do
    [[ -x $program ]] && continue
    echo "${0##*/}: $program is missing. The benchmarks need a Release build with mimalloc" >&2
    echo "and Google Benchmark found (apt-get install libmimalloc-dev libbenchmark-dev" >&2
    echo "libboost-dev libabsl-dev python3 time; gnuplot-nox to plot, valgrind to profile):" >&2
    echo "  cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release && cmake --build $build -j2" >&2
    echo "or name a build that has it: ${0##*/} BUILD_DIR" >&2
    exit 1
  done
}

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
