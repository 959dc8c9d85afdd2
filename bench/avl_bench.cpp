// avl_bench: the module against the ordered containers people use instead,
// through Google Benchmark. The structures and keys are in structures.h.
//
// Workloads, each over N keys (N = 10^4 .. 10^7):
//   InsertAscending  keys 1..N into an empty structure
//   InsertRandom     a shuffled permutation of N distinct keys
//   DeleteRandom     from a structure of N keys, N deletions in random order:
//                    half of them keys that are there, half keys that are not
//   Lookup/hit       one lookup per iteration, of a present key
//   Lookup/miss      one lookup per iteration, of an absent key (between two
//                    present ones)
//   InOrderPass      every key in order, summed: a whole pass per iteration
//                    (Avl: the recursive AVL_walk; AvlTree: avl::tree range-for)
//   Scan100          per iteration, the 100 keys from the lower bound of a
//                    random key, summed (Avl: a C cursor; AvlTree: iterators)
//
// The same source builds two programs: avl_bench on the system heap (glibc
// malloc, as a program that links no allocator gets) and avl_bench_mimalloc,
// linked with mimalloc (AVL_BENCH_HEAP_MIMALLOC), which then serves every
// allocation of the process, the peers' included. The heap is named in the
// output's context ("heap").
//
// Every timed run starts from a heap that has given its free memory back to
// the system as far as the heap allows (malloc_trim on glibc, a forced
// mi_collect on mimalloc), so each structure pays for the pages its nodes
// need much as a fresh process does. Memory per key is measured on whole
// processes (bench/compare.sh, bench/scaling.sh), where the peak resident
// set tells the truth on either heap.
//
//   avl_bench --benchmark_filter='/1000000$|n:1000000/'   # one size
//   avl_bench --benchmark_filter='^Lookup<Avl>'           # one workload, one structure
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include <benchmark/benchmark.h>

#include "interleaved.h"
#include "structures.h"

namespace {

using namespace avl_bench;

// ------------------------------------------------------------- workloads --

template <class Structure>
void InsertAscending(benchmark::State& state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    auto structure = std::make_unique<Structure>();
    state.ResumeTiming();
    for (int64_t key = 1; key <= n; ++key) {
      structure->insert(static_cast<int32_t>(key));
    }
    state.PauseTiming();
    benchmark::DoNotOptimize(structure->contains(static_cast<int32_t>(n)));
    structure.reset();
    release_free_heap();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

template <class Structure>
void InsertRandom(benchmark::State& state) {
  const int64_t n = state.range(0);
  const std::vector<int32_t> keys = random_present_keys(n);
  for (auto _ : state) {
    state.PauseTiming();
    auto structure = std::make_unique<Structure>();
    state.ResumeTiming();
    for (int32_t key : keys) {
      structure->insert(key);
    }
    state.PauseTiming();
    benchmark::DoNotOptimize(structure->contains(keys.front()));
    structure.reset();
    release_free_heap();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

template <class Structure>
void DeleteRandom(benchmark::State& state) {
  const int64_t n = state.range(0);
  const std::vector<int32_t> keys = random_present_keys(n);
  const std::vector<int32_t> probes = delete_probes(n);
  int64_t removed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto structure = std::make_unique<Structure>();
    for (int32_t key : keys) {
      structure->insert(key);
    }
    state.ResumeTiming();
    for (int32_t key : probes) {
      removed += structure->erase(key) ? 1 : 0;
    }
    state.PauseTiming();
    structure.reset();
    release_free_heap();
    state.ResumeTiming();
  }
  // Exactly the present half of the probes goes, in every iteration.
  if (removed != state.iterations() * (n / 2)) {
    state.SkipWithError("wrong number of keys removed");
  }
  state.SetItemsProcessed(state.iterations() * n);
}

// Building a ten-million-key structure takes seconds and Google Benchmark
// calls a case more than once while it sizes the run, so the structure built
// for one (type, N) is kept until a case asks for another one.
struct BuiltStructure {
  std::string name;
  int64_t n = 0;
  std::shared_ptr<void> structure;
};

template <class Structure>
const Structure& built_with_random_keys(int64_t n) {
  static BuiltStructure cache;
  if (cache.name != typeid(Structure).name() || cache.n != n || !cache.structure) {
    cache.structure.reset();  // release the previous one before building
    release_free_heap();
    auto structure = std::make_shared<Structure>();
    for (int32_t key : random_present_keys(n)) {
      structure->insert(key);
    }
    cache.name = typeid(Structure).name();
    cache.n = n;
    cache.structure = structure;
  }
  return *static_cast<const Structure*>(cache.structure.get());
}

// state.range(1): 1 looks up present keys, 0 absent ones.
template <class Structure>
void Lookup(benchmark::State& state) {
  const int64_t n = state.range(0);
  const bool hit = state.range(1) != 0;
  const Structure& structure = built_with_random_keys<Structure>(n);
  std::vector<int32_t> probes = random_present_keys(n);
  if (!hit) {
    for (int32_t& key : probes) {
      key += 1;
    }
  }
  size_t next = 0;
  int64_t found = 0;
  for (auto _ : state) {
    found += structure.contains(probes[next]) ? 1 : 0;
    if (++next == probes.size()) {
      next = 0;
    }
  }
  if (found != (hit ? state.iterations() : 0)) {
    state.SkipWithError("lookup answered wrongly");
  }
  state.SetLabel(hit ? "hit" : "miss");
  state.SetItemsProcessed(state.iterations());
}

// The sum of the present keys 0, 2, .., 2N-2.
int64_t sum_of_present_keys(int64_t n) {
  return n * (n - 1);
}

template <class Structure>
void InOrderPass(benchmark::State& state) {
  const int64_t n = state.range(0);
  const Structure& structure = built_with_random_keys<Structure>(n);
  bool right = true;
  for (auto _ : state) {
    const int64_t sum = structure.sum_all();
    right = right && sum == sum_of_present_keys(n);
    benchmark::DoNotOptimize(sum);
  }
  if (!right) {
    state.SkipWithError("the pass summed the keys wrongly");
  }
  state.SetItemsProcessed(state.iterations() * n);
}

constexpr int kScanLength = 100;

template <class Structure>
void Scan100(benchmark::State& state) {
  const int64_t n = state.range(0);
  const Structure& structure = built_with_random_keys<Structure>(n);
  // Starting points anywhere in the key range, present or not.
  std::vector<int32_t> starts = random_present_keys(n);
  for (size_t i = 0; i < starts.size(); i += 2) {
    starts[i] += 1;
  }
  size_t next = 0;
  bool right = true;
  for (auto _ : state) {
    const int32_t start = starts[next];
    const int64_t sum = structure.sum_from(start, kScanLength);
    // The scan meets the even keys from `start` up, as far as 2N - 2.
    const int64_t first = (start + 1) / 2;
    const int64_t last = std::min<int64_t>(first + kScanLength, n);
    right = right && sum == (last - first) * (first + last - 1);
    if (++next == starts.size()) {
      next = 0;
    }
  }
  if (!right) {
    state.SkipWithError("a scan summed the keys wrongly");
  }
  state.SetItemsProcessed(state.iterations() * kScanLength);
}

// ---------------------------------------------------------- registration --
//
// Cases run workload by workload and size by size, with the structures side
// by side within each size, so that the figures compared with each other are
// measured minutes, not a whole run, apart.

using Case = void (*)(benchmark::State&);

struct Contender {
  const char* name;
  Case insert_ascending;
  Case insert_random;
  Case delete_random;
  Case lookup;
};

#define AVL_BENCH_CONTENDER(Structure)                                   \
  Contender {                                                            \
#Structure, InsertAscending < Structure>, InsertRandom < Structure>, \
        DeleteRandom < Structure>, Lookup < Structure>                   \
  }

const Contender kContenders[] = {
    AVL_BENCH_CONTENDER(Avl),
    AVL_BENCH_CONTENDER(StdMultiset),
#if defined(AVL_BENCH_HAVE_BOOST)
    AVL_BENCH_CONTENDER(BoostAvl),
#endif
#if defined(AVL_BENCH_HAVE_ABSL)
    AVL_BENCH_CONTENDER(AbslBtree),
#endif
};

// The in-order workloads, with avl::tree beside the C interface.
struct Walker {
  const char* name;
  Case pass;
  Case scan;
};

#define AVL_BENCH_WALKER(Structure)                            \
  Walker {                                                     \
#Structure, InOrderPass < Structure>, Scan100 < Structure> \
  }

const Walker kWalkers[] = {
    AVL_BENCH_WALKER(Avl),       AVL_BENCH_WALKER(AvlTree), AVL_BENCH_WALKER(StdMultiset),
#if defined(AVL_BENCH_HAVE_BOOST)
    AVL_BENCH_WALKER(BoostAvl),
#endif
#if defined(AVL_BENCH_HAVE_ABSL)
    AVL_BENCH_WALKER(AbslBtree),
#endif
};

void register_walks() {
  for (int64_t n : {10000, 1000000}) {
    for (const Walker& walker : kWalkers) {
      benchmark::RegisterBenchmark((std::string("InOrderPass<") + walker.name + ">").c_str(),
                                   walker.pass)
          ->Arg(n)
          ->Unit(benchmark::kMillisecond);
    }
    for (const Walker& walker : kWalkers) {
      benchmark::RegisterBenchmark((std::string("Scan100<") + walker.name + ">").c_str(),
                                   walker.scan)
          ->Arg(n)
          ->Unit(benchmark::kNanosecond);
    }
  }
}

void register_all() {
  const int64_t sizes[] = {10000, 100000, 1000000, 10000000};
  struct Workload {
    const char* name;
    Case Contender::*run;
  };
  const Workload workloads[] = {{"InsertAscending", &Contender::insert_ascending},
                                {"InsertRandom", &Contender::insert_random},
                                {"DeleteRandom", &Contender::delete_random}};
  for (const Workload& workload : workloads) {
    for (int64_t n : sizes) {
      for (const Contender& contender : kContenders) {
        const std::string name = std::string(workload.name) + "<" + contender.name + ">";
        benchmark::RegisterBenchmark(name.c_str(), contender.*workload.run)
            ->Arg(n)
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  for (int64_t n : sizes) {
    for (const Contender& contender : kContenders) {
      const std::string name = std::string("Lookup<") + contender.name + ">";
      for (int64_t hit : {1, 0}) {
        benchmark::RegisterBenchmark(name.c_str(), contender.lookup)
            ->Args({n, hit})
            ->ArgNames({"n", "hit"})
            ->Unit(benchmark::kNanosecond);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  register_walks();
  benchmark::AddCustomContext("heap", heap_name());
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
