// interleaved.h: what the benchmark programs share: a timed run and the
// answer it checks against std's, the median over rounds, the heap's name, and
// a heap given back before each run.
#ifndef AVL_BENCH_INTERLEAVED_H
#define AVL_BENCH_INTERLEAVED_H

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#if defined(AVL_BENCH_HEAP_MIMALLOC)
#include <mimalloc.h>
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

namespace avl_bench {

struct Timed {
  double seconds;
  uint64_t answer;
};

// Times `body`, whose result is the answer (the work itself computes it).
template <class Body>
Timed timed(Body&& body) {
  const auto start = std::chrono::steady_clock::now();
  const uint64_t answer = body();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return {took.count(), answer};
}

// Times `operation` alone; `answer` then checks what it made.
template <class Operation, class Answer>
Timed timed(Operation&& operation, Answer&& answer) {
  const auto start = std::chrono::steady_clock::now();
  operation();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return {took.count(), answer()};
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

inline const char* heap_name() {
#if defined(AVL_BENCH_HEAP_MIMALLOC)
  return "mimalloc";
#else
  return "system";
#endif
}

// Gives the heap's free memory back to the system, so that every timed run
// starts from the same state and takes its pages from the system afresh, as a
// process building its first structure does; without it a structure built
// after another one would reuse that one's pages and skip the page faults, or
// find them scattered by what came before.
inline void release_free_heap() {
#if defined(AVL_BENCH_HEAP_MIMALLOC)
  mi_collect(true);
#elif defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace avl_bench

#endif  // AVL_BENCH_INTERLEAVED_H
