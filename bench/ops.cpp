// One workload on one structure in one process, for profilers: callgrind
// counts only what runs inside `measured` when started with
//
//   valgrind --tool=callgrind --branch-sim=yes --toggle-collect='*measured*'
//       build-bench/bench/ops_avl random-insert 100000 10
//
// and perf sees little else. ops_<structure> WORKLOAD N [ROUNDS]:
//   ascending      insert 1..N into an empty structure
//   descending     insert N..1 into an empty structure
//   random-insert  insert the shuffled present keys into an empty structure
//   ordered-delete build from the shuffled keys (not measured), then delete
//                  the present keys in ascending order
//   random-delete  build from the shuffled keys (not measured), then the N
//                  deletions of avl_bench's DeleteRandom, half of them absent
//   lookup-hit     N lookups of present keys in a structure built beforehand
//   lookup-miss    N lookups of absent keys
// Each of ROUNDS rounds (default 1) builds a new structure; the keys and the
// structures are avl_bench's (structures.h). Prints a checksum and the mean
// time per operation of the measured part.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "structures.h"

namespace {

using namespace avl_bench;

#if defined(BENCH_AVL)
using Structure = Avl;
#elif defined(BENCH_STD_MULTISET)
using Structure = StdMultiset;
#elif defined(BENCH_BOOST_AVL)
using Structure = BoostAvl;
#elif defined(BENCH_ABSL_BTREE)
using Structure = AbslBtree;
#else
#error "define one of BENCH_AVL, BENCH_STD_MULTISET, BENCH_BOOST_AVL, BENCH_ABSL_BTREE"
#endif

enum class Workload {
  kAscending,
  kDescending,
  kRandomInsert,
  kRandomDelete,
  kOrderedDelete,
  kLookupHit,
  kLookupMiss
};

// The part a profiler should see; kept out of line so that it has a name.
[[gnu::noinline]] int64_t measured(Workload workload, Structure& structure,
                                   const std::vector<int32_t>& keys) {
  int64_t sum = 0;
  switch (workload) {
    case Workload::kAscending:
      for (size_t key = 1; key <= keys.size(); ++key) {
        structure.insert(static_cast<int32_t>(key));
      }
      break;
    case Workload::kDescending:
      for (size_t key = keys.size(); key >= 1; --key) {
        structure.insert(static_cast<int32_t>(key));
      }
      break;
    case Workload::kRandomInsert:
      for (int32_t key : keys) {
        structure.insert(key);
      }
      break;
    case Workload::kRandomDelete:
    case Workload::kOrderedDelete:
      for (int32_t key : keys) {
        sum += structure.erase(key) ? 1 : 0;
      }
      break;
    case Workload::kLookupHit:
    case Workload::kLookupMiss:
      for (int32_t key : keys) {
        sum += structure.contains(key) ? 1 : 0;
      }
      break;
  }
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  struct Named {
    const char* name;
    Workload workload;
  };
  const Named names[] = {
      {"ascending", Workload::kAscending},          {"descending", Workload::kDescending},
      {"random-insert", Workload::kRandomInsert},   {"random-delete", Workload::kRandomDelete},
      {"ordered-delete", Workload::kOrderedDelete}, {"lookup-hit", Workload::kLookupHit},
      {"lookup-miss", Workload::kLookupMiss}};
  const Named* chosen = nullptr;
  for (const Named& named : names) {
    if (argc > 1 && std::strcmp(argv[1], named.name) == 0) {
      chosen = &named;
    }
  }
  const long n = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
  const long rounds = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 1;
  if (chosen == nullptr || n < 1 || n > (1L << 30) || rounds < 1) {
    std::fprintf(
        stderr,
        "usage: %s "
        "ascending|descending|random-insert|random-delete|ordered-delete|lookup-hit|lookup-miss N "
        "[ROUNDS]\n",
        argv[0]);
    return 2;
  }
  const std::vector<int32_t> present = random_present_keys(n);
  std::vector<int32_t> keys = present;
  if (chosen->workload == Workload::kRandomDelete) {
    keys = delete_probes(n);
  } else if (chosen->workload == Workload::kOrderedDelete) {
    std::sort(keys.begin(), keys.end());
  } else if (chosen->workload == Workload::kLookupMiss) {
    for (int32_t& key : keys) {
      key += 1;
    }
  }
  const bool prebuilt =
      chosen->workload == Workload::kRandomDelete || chosen->workload == Workload::kOrderedDelete ||
      chosen->workload == Workload::kLookupHit || chosen->workload == Workload::kLookupMiss;
  int64_t sum = 0;
  std::chrono::steady_clock::duration elapsed{};
  for (long round = 0; round < rounds; ++round) {
    auto structure = std::make_unique<Structure>();
    if (prebuilt) {
      for (int32_t key : present) {
        structure->insert(key);
      }
    }
    const auto start = std::chrono::steady_clock::now();
    sum += measured(chosen->workload, *structure, keys);
    elapsed += std::chrono::steady_clock::now() - start;
    sum += structure->contains(present.front()) ? 1 : 0;
  }
  const double ns = std::chrono::duration<double, std::nano>(elapsed).count();
  std::printf("%s %ld x %ld: %lld, %.1f ns per operation\n", chosen->name, n, rounds,
              static_cast<long long>(sum), ns / static_cast<double>(n * rounds));
  return 0;
}
