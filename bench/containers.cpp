// containers: avl's generic containers against their std twins, and Abseil's
// btree containers where they build, in one process on one heap. The
// workloads run interleaved, round by round, every structure once per round
// (which one first turns from round to round), so a machine that slows down
// slows all of them alike; each ratio is formed within a round and the median
// over the rounds is printed, with each structure's median time. Every run's
// answer is checked against std's.
//
//   containers[_mimalloc] [ROUNDS] [SCALE]
//
// ROUNDS defaults to 7; SCALE (default 1) multiplies every size, e.g. 0.01
// for a smoke run. The workloads, at SCALE 1:
//   ascending        2*10^6 int64_t keys inserted in ascending order into a set
//   ascending+hint   the same, each with the end() hint
//   lookup           10^6 random lookups (about half hit) in a map<int, int>
//                    of 10^6 random keys
//   pass             a whole in-order pass over that map, summing the values
//   strings          2*10^5 random strings of 8 to 24 letters into a multiset
//   erase-equal      the erase-while-iterating loop dropping every other
//                    element of a multiset of 40,000 equal keys
//   erase-distinct   the same loop over 40,000 distinct keys
//   insert-erase     10^6 random keys inserted into a map<int, int>, then
//                    each erased by its key, in another random order
// Only the operations are timed; building a container a workload needs, and
// releasing it, are not. Then the heap bytes each structure takes per element
// of a map<int, int>, a set<int64_t> and a set<std::string> (strings short
// enough to live in the string itself) of 10^5 elements: each block's usable
// size as the heap reports it, plus glibc's 8-byte chunk header on the
// system heap (mimalloc keeps none beside the block). Last, the containers'
// own choice between their two walkers: 10^6 random keys inserted and then
// erased by key on their nodes, by the recursion from the root (core::insert,
// core::erase) and by a plain descent and the climb (core::link_and_climb,
// core::unlink_and_climb); the containers take the faster.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "avl/avl.hpp"
#include "interleaved.h"

#if defined(AVL_BENCH_HAVE_ABSL)
#include "absl/container/btree_map.h"
#include "absl/container/btree_set.h"
#endif

namespace {

using namespace avl_bench;

// The containers of one structure.
template <template <class...> class Set, template <class...> class Multiset,
          template <class...> class Map>
struct Family {
  using IntSet = Set<int64_t>;
  using IntMap = Map<int, int>;
  using Strings = Multiset<std::string>;
  using IntMultiset = Multiset<int>;
};

struct Sizes {
  size_t ascending, map, lookups, strings, erase;
};

struct Inputs {
  std::vector<int> map_keys;
  std::vector<int> erase_order;  // map_keys shuffled again
  std::vector<int> lookups;
  std::vector<std::string> strings;
};

Inputs make_inputs(const Sizes& sizes) {
  std::mt19937_64 rng(2026);
  Inputs in;
  std::vector<int> all(2 * sizes.map);
  for (size_t i = 0; i < all.size(); ++i) {
    all[i] = static_cast<int>(i);
  }
  std::shuffle(all.begin(), all.end(), rng);
  in.map_keys.assign(all.begin(), all.begin() + static_cast<long>(sizes.map));
  in.erase_order = in.map_keys;
  std::shuffle(in.erase_order.begin(), in.erase_order.end(), rng);
  std::uniform_int_distribution<int> key(0, static_cast<int>(all.size()) - 1);
  for (size_t i = 0; i < sizes.lookups; ++i) {
    in.lookups.push_back(key(rng));
  }
  std::uniform_int_distribution<int> letter('a', 'z');
  std::uniform_int_distribution<int> length(8, 24);
  for (size_t i = 0; i < sizes.strings; ++i) {
    std::string text(static_cast<size_t>(length(rng)), 'a');
    for (char& c : text) {
      c = static_cast<char>(letter(rng));
    }
    in.strings.push_back(std::move(text));
  }
  return in;
}

// One structure's runs of every workload, in the order of kWorkloads.
template <class F>
class Runner {
 public:
  Runner(const Sizes& sizes, const Inputs& inputs) : sizes_(sizes), in_(inputs) {
    for (size_t i = 0; i < in_.map_keys.size(); ++i) {
      map_.emplace(in_.map_keys[i], static_cast<int>(i));
    }
  }

  Timed run(int workload) {
    switch (workload) {
      case 0:
        return ascending(false);
      case 1:
        return ascending(true);
      case 2:
        return timed([&] {
          uint64_t sum = 0;
          for (int key : in_.lookups) {
            const auto at = map_.find(key);
            sum += at == map_.end() ? 1 : static_cast<uint64_t>(at->second);
          }
          return sum;
        });
      case 3:
        return timed([&] {
          uint64_t sum = 0;
          for (const auto& element : map_) {
            sum += static_cast<uint64_t>(element.second);
          }
          return sum;
        });
      case 4: {
        auto strings = std::make_unique<typename F::Strings>();
        const Timed result = timed([&] {
          for (const std::string& text : in_.strings) {
            strings->insert(text);
          }
          return static_cast<uint64_t>(strings->size()) + strings->begin()->size();
        });
        return result;
      }
      case 5:
      case 6:
        return erase_every_other(workload == 5);
      default: {
        auto keys = std::make_unique<typename F::IntMap>();
        return timed([&] {
          for (size_t i = 0; i < in_.map_keys.size(); ++i) {
            keys->emplace(in_.map_keys[i], static_cast<int>(i));
          }
          uint64_t erased = 0;
          for (int key : in_.erase_order) {
            erased += keys->erase(key);
          }
          return erased + keys->size();
        });
      }
    }
  }

 private:
  Timed ascending(bool hint) {
    auto keys = std::make_unique<typename F::IntSet>();
    return timed([&] {
      const int64_t count = static_cast<int64_t>(sizes_.ascending);
      for (int64_t key = 0; key < count; ++key) {
        if (hint) {
          keys->insert(keys->end(), key);
        } else {
          keys->insert(key);
        }
      }
      return static_cast<uint64_t>(keys->size()) + static_cast<uint64_t>(*keys->rbegin());
    });
  }

  Timed erase_every_other(bool equal) {
    auto keys = std::make_unique<typename F::IntMultiset>();
    for (size_t i = 0; i < sizes_.erase; ++i) {
      keys->insert(keys->end(), equal ? 7 : static_cast<int>(i));
    }
    return timed([&] {
      for (auto at = keys->begin(); at != keys->end();) {
        at = keys->erase(at);
        if (at != keys->end()) {
          ++at;
        }
      }
      uint64_t sum = keys->size();
      for (int key : *keys) {
        sum += static_cast<uint64_t>(key);
      }
      return sum;
    });
  }

  Sizes sizes_;
  const Inputs& in_;
  typename F::IntMap map_;
};

template <class... T>
using StdSet = std::set<T...>;
template <class... T>
using StdMultiset = std::multiset<T...>;
template <class... T>
using StdMap = std::map<T...>;
template <class... T>
using AvlSet = avl::set<T...>;
template <class... T>
using AvlMultiset = avl::multiset<T...>;
template <class... T>
using AvlMap = avl::map<T...>;
#if defined(AVL_BENCH_HAVE_ABSL)
template <class... T>
using AbslSet = absl::btree_set<T...>;
template <class... T>
using AbslMultiset = absl::btree_multiset<T...>;
template <class... T>
using AbslMap = absl::btree_map<T...>;
#endif

const char* const kWorkloads[] = {"ascending", "ascending+hint", "lookup",         "pass",
                                  "strings",   "erase-equal",    "erase-distinct", "insert-erase"};
constexpr int kWorkloadCount = 8;

// ------------------------------------------------------ bytes per element --

#if defined(AVL_BENCH_HEAP_MIMALLOC)
constexpr size_t kChunkHeader = 0;
#else
constexpr size_t kChunkHeader = 8;  // glibc's size field before each block
#endif

size_t g_heap_bytes = 0;

// std::allocator that adds up what the heap gives for each block.
template <class T>
struct Counting {
  using value_type = T;
  Counting() = default;
  template <class U>
  Counting(const Counting<U>&) {}
  T* allocate(size_t n) {
    T* block = std::allocator<T>().allocate(n);
    g_heap_bytes += malloc_usable_size(block) + kChunkHeader;
    return block;
  }
  void deallocate(T* block, size_t n) {
    g_heap_bytes -= malloc_usable_size(block) + kChunkHeader;
    std::allocator<T>().deallocate(block, n);
  }
  friend bool operator==(const Counting&, const Counting&) { return true; }
  friend bool operator!=(const Counting&, const Counting&) { return false; }
};

template <class Container, class Make>
double bytes_per_element(size_t count, Make make) {
  const size_t before = g_heap_bytes;
  auto held = std::make_unique<Container>();
  for (size_t i = 0; i < count; ++i) {
    held->insert(make(i));
  }
  return static_cast<double>(g_heap_bytes - before) / static_cast<double>(count);
}

// ----------------------------------------------------------- two walkers --

using avl::detail::node_base;
using WalkNode = avl::detail::node<int>;

int walk_key(const node_base* node) {
  return static_cast<const WalkNode*>(node)->value;
}

struct ByKey : avl::detail::parent_links {
  static bool goes_left(const node_base* fresh, const node_base* at) {
    return walk_key(fresh) < walk_key(at);
  }
  static constexpr bool admits(const node_base*) { return true; }
};

struct EraseKey : avl::detail::parent_links {
  int key;
  node_base** removed;
  int where(const node_base* at) const {
    return key < walk_key(at) ? -1 : walk_key(at) < key ? +1 : 0;
  }
  void release(node_base* gone) const { *removed = gone; }
};

// Seconds to insert, then to erase, every key of `keys` (in `order`) on the
// nodes, by the recursion (climb false) or by the climb.
std::pair<double, double> walk(std::vector<WalkNode>& nodes, const std::vector<int>& order,
                               bool climb) {
  node_base header{nullptr, nullptr, 0};
  header.right = &header;
  header.up = reinterpret_cast<uintptr_t>(&header) | node_base::kBits;
  for (WalkNode& node : nodes) {
    node.up = 0;
  }
  const Timed inserted = timed([&] {
    for (WalkNode& node : nodes) {
      node.left = node.right = nullptr;
      node.set_balance(0);
      if (climb) {
        node_base* parent = &header;
        bool left = true;
        for (node_base* at = header.left; at != nullptr; at = left ? at->left : at->right) {
          parent = at;
          left = node.value < walk_key(at);
        }
        avl::core::link_and_climb(parent, left, static_cast<node_base*>(&node), &header, ByKey{});
      } else {
        bool grew = false;
        header.left =
            avl::core::insert(header.left, static_cast<node_base*>(&node), &grew, ByKey{});
        header.left->set_parent(&header);
      }
    }
    return uint64_t{0};
  });
  const Timed erased = timed([&] {
    for (int key : order) {
      if (climb) {
        node_base* at = header.left;
        while (walk_key(at) != key) {
          at = key < walk_key(at) ? at->left : at->right;
        }
        avl::core::unlink_and_climb(at, &header, ByKey{});
      } else {
        bool shrank = false;
        bool found = false;
        node_base* removed = nullptr;
        header.left = avl::core::erase(header.left, &shrank, &found, EraseKey{{}, key, &removed});
        if (header.left != nullptr) {
          header.left->set_parent(&header);
        }
      }
    }
    return uint64_t{0};
  });
  return {inserted.seconds, erased.seconds};
}

template <template <class...> class Set, template <class...> class Map>
std::vector<double> bytes_of(size_t count) {
  auto pair_of = [](size_t i) {
    return std::pair<const int, int>(static_cast<int>(i * 7919 % 1000003), 1);
  };
  auto int64_of = [](size_t i) { return static_cast<int64_t>(i * 7919 % 1000003); };
  auto string_of = [](size_t i) { return "s" + std::to_string(i * 7919 % 1000003); };
  return {bytes_per_element<Map<int, int, std::less<int>, Counting<std::pair<const int, int>>>>(
              count, pair_of),
          bytes_per_element<Set<int64_t, std::less<int64_t>, Counting<int64_t>>>(count, int64_of),
          bytes_per_element<Set<std::string, std::less<std::string>, Counting<std::string>>>(
              count, string_of)};
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  const double scale = argc > 2 ? std::atof(argv[2]) : 1.0;
  auto scaled = [scale](double n) { return static_cast<size_t>(std::max(2.0, n * scale)); };
  const Sizes sizes{scaled(2e6), scaled(1e6), scaled(1e6), scaled(2e5), scaled(40000)};
  const Inputs inputs = make_inputs(sizes);

  std::vector<std::string> names{"avl", "std"};
  std::vector<std::function<Timed(int)>> runs;
  Runner<Family<AvlSet, AvlMultiset, AvlMap>> avl_runner(sizes, inputs);
  Runner<Family<StdSet, StdMultiset, StdMap>> std_runner(sizes, inputs);
  runs.push_back([&](int w) { return avl_runner.run(w); });
  runs.push_back([&](int w) { return std_runner.run(w); });
#if defined(AVL_BENCH_HAVE_ABSL)
  Runner<Family<AbslSet, AbslMultiset, AbslMap>> absl_runner(sizes, inputs);
  names.push_back("absl");
  runs.push_back([&](int w) { return absl_runner.run(w); });
#endif

  // seconds[workload][structure][round]
  std::vector<std::vector<std::vector<double>>> seconds(
      kWorkloadCount, std::vector<std::vector<double>>(names.size()));
  int wrong = 0;
  for (int round = 0; round < rounds; ++round) {
    for (int w = 0; w < kWorkloadCount; ++w) {
      // Who runs first changes from round to round: the heap a run finds
      // depends on what the one before it released.
      std::vector<uint64_t> answers(runs.size());
      for (size_t s = 0; s < runs.size(); ++s) {
        const size_t at = (s + static_cast<size_t>(round)) % runs.size();
        release_free_heap();
        const Timed result = runs[at](w);
        answers[at] = result.answer;
        seconds[w][at].push_back(result.seconds);
      }
      for (size_t at = 0; at < runs.size(); ++at) {
        if (answers[at] != answers[1]) {  // std's
          std::fprintf(stderr, "containers: %s computed a wrong %s\n", names[at].c_str(),
                       kWorkloads[w]);
          wrong += 1;
        }
      }
    }
  }

  std::printf(
      "heap %s, %d rounds, scale %g: median ms, and the median over rounds of each "
      "round's ratio to std\n\n",
      heap_name(), rounds, scale);
  std::printf("| workload |");
  for (const std::string& name : names) {
    std::printf(" %s ms |", name.c_str());
  }
  for (size_t s = 0; s < names.size(); ++s) {
    if (s != 1) {
      std::printf(" %s/std |", names[s].c_str());
    }
  }
  std::printf("\n|---|");
  for (size_t s = 0; s < 2 * names.size() - 1; ++s) {
    std::printf("---:|");
  }
  std::printf("\n");
  for (int w = 0; w < kWorkloadCount; ++w) {
    std::printf("| %s |", kWorkloads[w]);
    for (size_t s = 0; s < names.size(); ++s) {
      std::printf(" %.2f |", 1e3 * median(seconds[w][s]));
    }
    for (size_t s = 0; s < names.size(); ++s) {
      if (s == 1) {
        continue;
      }
      std::vector<double> ratios;
      for (int r = 0; r < rounds; ++r) {
        ratios.push_back(seconds[w][s][static_cast<size_t>(r)] /
                         seconds[w][1][static_cast<size_t>(r)]);
      }
      std::printf(" %.2f |", median(ratios));
    }
    std::printf("\n");
  }

  const size_t count = scaled(1e5);
  std::vector<std::vector<double>> bytes{bytes_of<AvlSet, AvlMap>(count),
                                         bytes_of<StdSet, StdMap>(count)};
#if defined(AVL_BENCH_HAVE_ABSL)
  bytes.push_back(bytes_of<AbslSet, AbslMap>(count));
#endif
  const char* const types[] = {"map<int, int>", "set<int64_t>", "set<std::string>"};
  std::printf("\nheap bytes per element, %zu elements\n\n| type |", count);
  for (const std::string& name : names) {
    std::printf(" %s |", name.c_str());
  }
  std::printf("\n|---|");
  for (size_t s = 0; s < names.size(); ++s) {
    std::printf("---:|");
  }
  std::printf("\n");
  for (size_t t = 0; t < 3; ++t) {
    std::printf("| %s |", types[t]);
    for (size_t s = 0; s < names.size(); ++s) {
      std::printf(" %.1f |", bytes[s][t]);
    }
    std::printf("\n");
  }

  std::vector<WalkNode> nodes(inputs.map_keys.size());
  for (size_t i = 0; i < nodes.size(); ++i) {
    nodes[i].value = inputs.map_keys[i];
  }
  std::vector<double> walk_ms[4];
  for (int round = 0; round < rounds; ++round) {
    for (int climb = 0; climb < 2; ++climb) {
      const std::pair<double, double> took = walk(nodes, inputs.erase_order, climb == 1);
      walk_ms[2 * climb].push_back(1e3 * took.first);
      walk_ms[2 * climb + 1].push_back(1e3 * took.second);
    }
  }
  std::printf("\nthe two walkers on the containers' nodes, %zu random keys, median ms\n\n",
              nodes.size());
  std::printf("| walker | insert by key | erase by key |\n|---|---:|---:|\n");
  std::printf("| the recursion from the root | %.1f | %.1f |\n", median(walk_ms[0]),
              median(walk_ms[1]));
  std::printf("| a descent, then the climb | %.1f | %.1f |\n", median(walk_ms[2]),
              median(walk_ms[3]));
  return wrong == 0 ? 0 : 1;
}
