#!/usr/bin/env bash
# Runs every GoogleTest binary of a build under Valgrind's memcheck and fails on
# any memory error or definitely lost block.
#
#   tests/memcheck.sh BUILD_DIR
#
# BUILD_DIR is a plain (Release or Debug) build without sanitizers: Valgrind
# and AddressSanitizer cannot share a process. The randomized suites run at
# 1% of their usual operation counts (AVL_TEST_SCALE=0.01), and the
# ten-million-key demo case is left out, so the whole run takes minutes, not
# hours. The demo and death-test children that the tests start themselves are
# not traced (no --trace-children): the binaries under test are the module's
# callers.
set -euo pipefail

if (($# != 1)); then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build_dir=$1
if [[ ! -d "$build_dir/tests" ]]; then
  echo "memcheck: no tests/ under $build_dir; build with -DAVL_BUILD_TESTS=ON first" >&2
  exit 2
fi
if [[ -f "$build_dir/CMakeCache.txt" ]] && grep -q '^AVL_SANITIZE:BOOL=ON' "$build_dir/CMakeCache.txt"; then
  echo "memcheck: $build_dir is a sanitizer build; use a plain one" >&2
  exit 2
fi

# The GoogleTest binaries are the executables named *_test directly in tests/.
mapfile -t binaries < <(find "$build_dir/tests" -maxdepth 1 -type f -name '*_test' -perm -u+x | sort)
if ((${#binaries[@]} == 0)); then
  echo "memcheck: no test binaries in $build_dir/tests" >&2
  exit 2
fi

# nouserintercepts: alloc_failure_test replaces the nothrow operator new in
# its own executable to make allocations fail; Valgrind must not swap that
# replacement for its own (the blocks it obtains from the ordinary operator
# new are still tracked).
export AVL_TEST_SCALE=0.01
failed=()
for binary in "${binaries[@]}"; do
  name=$(basename "$binary")
  echo "== memcheck: $name"
  start=$SECONDS
  if ! valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite \
    --error-exitcode=1 --quiet \
    --soname-synonyms=somalloc=nouserintercepts \
    "$binary" --gtest_filter=-DemoTest.TenMillionAscendingKeys --gtest_brief=1; then
    failed+=("$name")
  fi
  echo "== memcheck: $name took $((SECONDS - start)) s"
done

if ((${#failed[@]} > 0)); then
  echo "memcheck: failed: ${failed[*]}" >&2
  exit 1
fi
echo "memcheck: ${#binaries[@]} binaries clean"
