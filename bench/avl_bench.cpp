// avl_bench: the module against the ordered containers people use instead,
// through Google Benchmark.
//
// Structures (each holds 32-bit keys, repeats allowed):
//   Avl          this module: one heap node per key
//   StdMultiset  std::multiset<int32_t>: one heap node per key
//   BoostAvl     boost::intrusive::avl_multiset: one heap item per key,
//                allocated here, with the links in the item
//   AbslBtree    absl::btree_multiset<int32_t>: many keys per node
//
// Workloads, each over N keys (N = 10^4 .. 10^7):
//   InsertAscending  keys 1..N into an empty structure
//   InsertRandom     a shuffled permutation of N distinct keys
//   DeleteRandom     from a structure of N keys, N deletions in random order:
//                    half of them keys that are there, half keys that are not
//   Lookup/hit       one lookup per iteration, of a present key
//   Lookup/miss      one lookup per iteration, of an absent key (between two
//                    present ones)
// Present keys are the even numbers 0, 2, .., 2N-2; absent keys are odd.
//
// Every timed run starts from a heap trimmed back to the system, so each
// structure pays for the pages its nodes need, as a fresh process does.
//
// Reported per case: items_per_second (operations per second) and, where the
// structure is built inside the case, bytes_per_key: the growth of the heap's
// allocated bytes (glibc mallinfo2, chunk headers and rounding included, so
// the memory as the heap hands it out) divided by the number of keys.
//
//   avl_bench --benchmark_filter='/1000000$|n:1000000/'   # one size
//   avl_bench --benchmark_filter='^Lookup<Avl>'           # one workload, one structure
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <typeinfo>
#include <vector>

#include <benchmark/benchmark.h>

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
#include <malloc.h>
#define AVL_BENCH_HAVE_MALLINFO2 1
#endif

#include "avl/ADT_avl_tree.h"

#if defined(AVL_BENCH_HAVE_BOOST)
#include <boost/intrusive/avl_set.hpp>
#endif
#if defined(AVL_BENCH_HAVE_ABSL)
#include "absl/container/btree_set.h"
#endif

namespace {

// ------------------------------------------------------------ structures --
//
// One small adapter per structure: insert, erase one (false when absent) and
// contains. Construction and destruction hold the whole structure.

class Avl {
 public:
  Avl() : tree_(create_avl_tree()) {}
  ~Avl() { AVL_destroy(tree_); }
  Avl(const Avl&) = delete;
  Avl& operator=(const Avl&) = delete;

  void insert(int32_t key) { AVL_insert(tree_, key); }
  bool erase(int32_t key) { return AVL_delete(tree_, key) == 1; }
  bool contains(int32_t key) const { return search_avl(tree_->root, key) != nullptr; }

 private:
  AVL_TREE* tree_;
};

class StdMultiset {
 public:
  void insert(int32_t key) { set_.insert(key); }
  bool erase(int32_t key) {
    auto it = set_.find(key);
    if (it == set_.end()) {
      return false;
    }
    set_.erase(it);
    return true;
  }
  bool contains(int32_t key) const { return set_.find(key) != set_.end(); }

 private:
  std::multiset<int32_t> set_;
};

#if defined(AVL_BENCH_HAVE_BOOST)
namespace bi = boost::intrusive;

// The item carries its own links; normal_link skips the safe-mode clearing of
// unlinked hooks, which this harness never relies on.
struct BoostItem : bi::avl_set_base_hook<bi::link_mode<bi::normal_link>> {
  explicit BoostItem(int32_t k) : key(k) {}
  int32_t key;
};
struct BoostItemKey {
  using type = int32_t;
  const type& operator()(const BoostItem& item) const { return item.key; }
};
struct BoostItemDelete {
  void operator()(BoostItem* item) const { delete item; }
};

class BoostAvl {
 public:
  BoostAvl() = default;
  ~BoostAvl() { set_.clear_and_dispose(BoostItemDelete()); }
  BoostAvl(const BoostAvl&) = delete;
  BoostAvl& operator=(const BoostAvl&) = delete;

  void insert(int32_t key) { set_.insert(*new BoostItem(key)); }
  bool erase(int32_t key) {
    auto it = set_.find(key);
    if (it == set_.end()) {
      return false;
    }
    set_.erase_and_dispose(it, BoostItemDelete());
    return true;
  }
  bool contains(int32_t key) const { return set_.find(key) != set_.end(); }

 private:
  bi::avl_multiset<BoostItem, bi::key_of_value<BoostItemKey>> set_;
};
#endif

#if defined(AVL_BENCH_HAVE_ABSL)
class AbslBtree {
 public:
  void insert(int32_t key) { set_.insert(key); }
  bool erase(int32_t key) {
    auto it = set_.find(key);
    if (it == set_.end()) {
      return false;
    }
    set_.erase(it);
    return true;
  }
  bool contains(int32_t key) const { return set_.contains(key); }

 private:
  absl::btree_multiset<int32_t> set_;
};
#endif

// ------------------------------------------------------------------ keys --

// Fixed seeds: every structure sees the same sequences.
std::vector<int32_t> shuffled(std::vector<int32_t> keys, uint32_t seed) {
  std::mt19937 rng(seed);
  std::shuffle(keys.begin(), keys.end(), rng);
  return keys;
}

// The present keys 0, 2, .., 2N-2 in random order.
std::vector<int32_t> random_present_keys(int64_t n) {
  std::vector<int32_t> keys(static_cast<size_t>(n));
  for (size_t i = 0; i < keys.size(); ++i) {
    keys[i] = static_cast<int32_t>(2 * i);
  }
  return shuffled(std::move(keys), 1);
}

// N deletions: half of them present keys (each at most once), half absent.
std::vector<int32_t> delete_probes(int64_t n) {
  std::vector<int32_t> present = random_present_keys(n);
  std::vector<int32_t> probes(static_cast<size_t>(n));
  const size_t half = probes.size() / 2;
  for (size_t i = 0; i < probes.size(); ++i) {
    probes[i] = i < half ? present[i] : static_cast<int32_t>(2 * i + 1);
  }
  return shuffled(std::move(probes), 2);
}

// -------------------------------------------------------------- counting --

// Bytes the heap has handed out and not yet taken back, or -1 when unknown.
int64_t heap_bytes_in_use() {
#if defined(AVL_BENCH_HAVE_MALLINFO2)
  const struct mallinfo2 info = mallinfo2();
  return static_cast<int64_t>(info.uordblks + info.hblkhd);
#else
  return -1;
#endif
}

// Gives the heap's free memory back to the system, so that every timed run
// starts from the same state and takes its pages from the system afresh, as a
// process building its first structure does; without it a structure built
// after another one would reuse that one's pages and skip the page faults.
void release_free_heap() {
#if defined(AVL_BENCH_HAVE_MALLINFO2)
  malloc_trim(0);
#endif
}

void report_bytes_per_key(benchmark::State& state, int64_t before, int64_t after, int64_t keys) {
  if (before >= 0 && after > before && keys > 0) {
    state.counters["bytes_per_key"] =
        static_cast<double>(after - before) / static_cast<double>(keys);
  }
}

// ------------------------------------------------------------- workloads --

template <class Structure>
void InsertAscending(benchmark::State& state) {
  const int64_t n = state.range(0);
  int64_t before = -1;
  int64_t after = -1;
  for (auto _ : state) {
    state.PauseTiming();
    before = heap_bytes_in_use();
    auto structure = std::make_unique<Structure>();
    state.ResumeTiming();
    for (int64_t key = 1; key <= n; ++key) {
      structure->insert(static_cast<int32_t>(key));
    }
    state.PauseTiming();
    after = heap_bytes_in_use();
    benchmark::DoNotOptimize(structure->contains(static_cast<int32_t>(n)));
    structure.reset();
    release_free_heap();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
  report_bytes_per_key(state, before, after, n);
}

template <class Structure>
void InsertRandom(benchmark::State& state) {
  const int64_t n = state.range(0);
  const std::vector<int32_t> keys = random_present_keys(n);
  int64_t before = -1;
  int64_t after = -1;
  for (auto _ : state) {
    state.PauseTiming();
    before = heap_bytes_in_use();
    auto structure = std::make_unique<Structure>();
    state.ResumeTiming();
    for (int32_t key : keys) {
      structure->insert(key);
    }
    state.PauseTiming();
    after = heap_bytes_in_use();
    benchmark::DoNotOptimize(structure->contains(keys.front()));
    structure.reset();
    release_free_heap();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
  report_bytes_per_key(state, before, after, n);
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
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
