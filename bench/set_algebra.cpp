// set_algebra: the containers' whole-set operations (union, intersection,
// difference, split and join, a range's erasure) against what a user of
// std::set does for the same result, and Abseil's btree_set where it builds,
// in one process on one heap. Round by round every route runs once per
// workload (which one first turns from round to round), so a machine that
// slows down slows all of them alike; each ratio is formed within a round and
// the median over the rounds is printed, with each route's median time. Every
// answer is checked against std's.
//
//   set_algebra[_mimalloc] [ROUNDS] [SCALE]
//
// ROUNDS defaults to 7; SCALE (default 1) multiplies every size. At SCALE 1,
// with random int64_t keys:
//   union 10^6+10^3   a set of 10^6 keys takes in one of 10^3:
//                     avl: big.union_with(std::move(small));
//                     std: std::set_union into a new std::set (hinted
//                     inserts), and std's range insert of the small set into
//                     the big one; absl: range insert
//   union, intersection, difference of two sets of 10^6 keys, half of them
//                     shared: avl in place from an rvalue; std and absl:
//                     std::set_union (and kin) into a new set, hinted; and
//                     std's again, the new set then moved into the first and
//                     both inputs released (the state the in-place
//                     operation leaves, its releases included)
//   split+join        10^6 keys cut at the middle key and put back together:
//                     avl split() and join(); std: the upper half moved to
//                     another set as node handles (hinted), then back
//   erase range       10^5 consecutive keys erased from 10^6: erase(first,
//                     last) on each
//   forked union      the union of two sets of 10^6 keys, half shared, by the
//                     join-based recursion with avl::parallel on OpenMP's
//                     threads (as many as the machine has cores) and on one
//                     thread, and by the in-order walk union_with takes for
//                     sides of comparable size
// Building the inputs of a round is not timed; releasing what an operation
// leaves is, where the operation itself releases it (an intersection frees
// what it drops), and is not otherwise.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "avl/avl.hpp"
#include "interleaved.h"

#if defined(AVL_BENCH_HAVE_ABSL)
#include "absl/container/btree_set.h"
#endif

namespace {

using namespace avl_bench;

using Key = int64_t;

// What a set holds, as one number: its size and a sum of its keys.
template <class Set>
uint64_t digest(const Set& set) {
  uint64_t sum = set.size();
  for (Key key : set) {
    sum = sum * 31 + static_cast<uint64_t>(key);
  }
  return sum;
}

struct Inputs {
  std::vector<Key> big;    // 10^6 random keys
  std::vector<Key> small;  // 10^3 random keys
  std::vector<Key> half;   // 10^6 keys, half of them in `big`
  Key middle;              // the median of `big`
  Key range_first;         // [range_first, range_last): 10^5 of big's keys
  Key range_last;
};

Inputs make_inputs(size_t big, size_t small) {
  std::mt19937_64 rng(2026);
  Inputs in;
  std::uniform_int_distribution<Key> any(0, INT64_MAX / 2);
  for (size_t i = 0; i < big; ++i) {
    in.big.push_back(any(rng));
  }
  for (size_t i = 0; i < small; ++i) {
    in.small.push_back(any(rng));
  }
  for (size_t i = 0; i < big; ++i) {
    in.half.push_back(i % 2 == 0 ? in.big[i] : any(rng));
  }
  std::vector<Key> sorted = in.big;
  std::sort(sorted.begin(), sorted.end());
  in.middle = sorted[sorted.size() / 2];
  const size_t range = big / 10;
  in.range_first = sorted[sorted.size() / 3];
  in.range_last = sorted[sorted.size() / 3 + range];
  return in;
}

enum Workload { kUnionSmall, kUnion, kIntersection, kDifference, kSplitJoin, kEraseRange };
const char* const kWorkloads[] = {"union 10^6+10^3", "union",      "intersection",
                                  "difference",      "split+join", "erase range"};
constexpr int kWorkloadCount = 6;

// The routes of one workload: name and run.
struct Route {
  std::string name;
  std::function<Timed(const Inputs&)> run;
};

template <class Set>
Set set_of(const std::vector<Key>& keys) {
  return Set(keys.begin(), keys.end());
}

// std's algorithm into a new set of type Set, hinted at its end.
// With `in_place`, the new set then takes the first one's place and both
// inputs are released, which leaves what an in-place operation from an rvalue
// leaves.
template <class Set, class Algorithm>
Timed into_new_set(const std::vector<Key>& a_keys, const std::vector<Key>& b_keys,
                   Algorithm algorithm, bool in_place = false) {
  Set a = set_of<Set>(a_keys);
  Set b = set_of<Set>(b_keys);
  Set result;
  return timed(
      [&] {
        algorithm(a.begin(), a.end(), b.begin(), b.end(), std::inserter(result, result.end()));
        if (in_place) {
          a = std::move(result);
          b.clear();
        }
      },
      [&] { return digest(in_place ? a : result); });
}

struct StdUnion {
  template <class... Args>
  void operator()(Args... args) const {
    std::set_union(args...);
  }
};
struct StdIntersection {
  template <class... Args>
  void operator()(Args... args) const {
    std::set_intersection(args...);
  }
};
struct StdDifference {
  template <class... Args>
  void operator()(Args... args) const {
    std::set_difference(args...);
  }
};

// A set's union, intersection or difference by std's algorithms into a new
// set of that type.
template <class Set>
Timed std_route(int workload, const Inputs& in, bool in_place = false) {
  if (workload == kUnion) {
    return into_new_set<Set>(in.big, in.half, StdUnion{}, in_place);
  }
  if (workload == kIntersection) {
    return into_new_set<Set>(in.big, in.half, StdIntersection{}, in_place);
  }
  return into_new_set<Set>(in.big, in.half, StdDifference{}, in_place);
}

// The big set, then a range of it erased.
template <class Set>
Timed erase_range(const Inputs& in) {
  Set all = set_of<Set>(in.big);
  return timed([&] { all.erase(all.lower_bound(in.range_first), all.lower_bound(in.range_last)); },
               [&] { return digest(all); });
}

std::vector<Route> routes_of(int workload) {
  using AvlSet = avl::set<Key>;
  using StdSet = std::set<Key>;
  std::vector<Route> routes;
  switch (workload) {
    case kUnionSmall:
      routes.push_back({"avl union_with", [](const Inputs& in) {
                          AvlSet big = set_of<AvlSet>(in.big);
                          AvlSet small = set_of<AvlSet>(in.small);
                          return timed([&] { big.union_with(std::move(small)); },
                                       [&] { return digest(big); });
                        }});
      routes.push_back({"std::set_union", [](const Inputs& in) {
                          return into_new_set<StdSet>(in.big, in.small, StdUnion{});
                        }});
      routes.push_back({"std insert", [](const Inputs& in) {
                          StdSet big = set_of<StdSet>(in.big);
                          const StdSet small = set_of<StdSet>(in.small);
                          return timed([&] { big.insert(small.begin(), small.end()); },
                                       [&] { return digest(big); });
                        }});
#if defined(AVL_BENCH_HAVE_ABSL)
      routes.push_back({"absl insert", [](const Inputs& in) {
                          absl::btree_set<Key> big(in.big.begin(), in.big.end());
                          const absl::btree_set<Key> small(in.small.begin(), in.small.end());
                          return timed([&] { big.insert(small.begin(), small.end()); },
                                       [&] { return digest(big); });
                        }});
#endif
      break;
    case kUnion:
    case kIntersection:
    case kDifference:
      routes.push_back({"avl in place", [workload](const Inputs& in) {
                          AvlSet a = set_of<AvlSet>(in.big);
                          AvlSet b = set_of<AvlSet>(in.half);
                          return timed(
                              [&] {
                                if (workload == kUnion) {
                                  a.union_with(std::move(b));
                                } else if (workload == kIntersection) {
                                  a.intersect_with(std::move(b));
                                } else {
                                  a.difference_with(std::move(b));
                                }
                              },
                              [&] { return digest(a); });
                        }});
      routes.push_back({"std::set_* into a std::set",
                        [workload](const Inputs& in) { return std_route<StdSet>(workload, in); }});
      routes.push_back(
          {"std::set_* into a std::set, which then replaces the first, both "
           "inputs released",
           [workload](const Inputs& in) { return std_route<StdSet>(workload, in, true); }});
#if defined(AVL_BENCH_HAVE_ABSL)
      routes.push_back({"std::set_* into an absl::btree_set", [workload](const Inputs& in) {
                          return std_route<absl::btree_set<Key>>(workload, in);
                        }});
#endif
      break;
    case kSplitJoin:
      routes.push_back({"avl split, join", [](const Inputs& in) {
                          AvlSet all = set_of<AvlSet>(in.big);
                          Key cut = 0;
                          return timed(
                              [&] {
                                AvlSet upper = all.split(in.middle);
                                cut = *upper.begin();
                                all.join(std::move(upper));
                              },
                              [&] { return static_cast<uint64_t>(cut) + digest(all); });
                        }});
      routes.push_back({"std node moves", [](const Inputs& in) {
                          StdSet all = set_of<StdSet>(in.big);
                          Key cut = 0;
                          return timed(
                              [&] {
                                StdSet upper;
                                for (auto at = all.lower_bound(in.middle); at != all.end();) {
                                  upper.insert(upper.end(), all.extract(at++));
                                }
                                cut = *upper.begin();
                                while (!upper.empty()) {
                                  all.insert(all.end(), upper.extract(upper.begin()));
                                }
                              },
                              [&] { return static_cast<uint64_t>(cut) + digest(all); });
                        }});
      break;
    default:
      routes.push_back({"avl erase(first, last)", erase_range<AvlSet>});
      routes.push_back({"std erase(first, last)", erase_range<StdSet>});
#if defined(AVL_BENCH_HAVE_ABSL)
      routes.push_back({"absl erase(first, last)", erase_range<absl::btree_set<Key>>});
#endif
  }
  return routes;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  const double scale = argc > 2 ? std::atof(argv[2]) : 1.0;
  auto scaled = [scale](double n) { return static_cast<size_t>(std::max(4.0, n * scale)); };
  const Inputs in = make_inputs(scaled(1e6), scaled(1e3));
  int wrong = 0;

  std::printf(
      "heap %s, %d rounds, scale %g: median ms, and the median over rounds of each round's "
      "ratio of avl's time to the route's\n\n",
      heap_name(), rounds, scale);
  std::printf("| workload | route | median ms | avl / route |\n");
  std::printf("|---|---|---:|---:|\n");
  for (int w = 0; w < kWorkloadCount; ++w) {
    const std::vector<Route> routes = routes_of(w);
    std::vector<std::vector<double>> seconds(routes.size());
    for (int round = 0; round < rounds; ++round) {
      // Who runs first turns from round to round: the heap a run finds
      // depends on what the one before it released.
      std::vector<uint64_t> answers(routes.size());
      for (size_t r = 0; r < routes.size(); ++r) {
        const size_t at = (r + static_cast<size_t>(round)) % routes.size();
        release_free_heap();
        const Timed result = routes[at].run(in);
        answers[at] = result.answer;
        seconds[at].push_back(result.seconds);
      }
      for (size_t at = 0; at < routes.size(); ++at) {
        if (answers[at] != answers[1]) {  // std's
          std::fprintf(stderr, "set_algebra: %s computed a wrong %s\n", routes[at].name.c_str(),
                       kWorkloads[w]);
          wrong += 1;
        }
      }
    }
    for (size_t r = 0; r < routes.size(); ++r) {
      std::vector<double> ratios;
      for (int round = 0; round < rounds; ++round) {
        ratios.push_back(seconds[0][static_cast<size_t>(round)] /
                         seconds[r][static_cast<size_t>(round)]);
      }
      std::printf("| %s | %s | %.3f | %.3f |\n", kWorkloads[w], routes[r].name.c_str(),
                  1e3 * median(seconds[r]), median(ratios));
    }
  }

  // The union of two sets of 10^6 keys by the join-based recursion, forked
  // on the machine's threads and on one thread (the same code, OpenMP told
  // to use one), and, for comparison, by the in-order walk that union_with
  // takes for sides of comparable size.
  using AvlSet = avl::set<Key>;
#if defined(_OPENMP)
  const int threads = omp_get_max_threads();
#else
  const int threads = 1;
#endif
  const char* const ways[] = {"recursion, one thread", "recursion, avl::parallel",
                              "in-order walk (union_with's own choice)"};
  std::vector<double> took[3];
  for (int round = 0; round < rounds; ++round) {
    uint64_t answers[3] = {0, 0, 0};
    for (int way = 0; way < 3; ++way) {
      AvlSet a = set_of<AvlSet>(in.big);
      AvlSet b = set_of<AvlSet>(in.half);
#if defined(_OPENMP)
      omp_set_num_threads(way == 0 ? 1 : threads);
#endif
      const Timed result = timed(
          [&] {
            if (way == 2) {
              a.union_with(std::move(b));
            } else {
              a.union_with(std::move(b), avl::parallel);
            }
          },
          [&] { return digest(a); });
      answers[way] = result.answer;
      took[way].push_back(result.seconds);
    }
    if (answers[0] != answers[1] || answers[0] != answers[2]) {
      std::fprintf(stderr, "set_algebra: the unions differ\n");
      wrong += 1;
    }
  }
#if defined(_OPENMP)
  omp_set_num_threads(threads);
#endif
  std::printf(
      "\nthe union of two sets of %zu keys, half of them shared, %d threads; the "
      "speed-up over the recursion on one thread\n\n",
      in.big.size(), threads);
  std::printf("| way | median ms | speed-up |\n|---|---:|---:|\n");
  for (int way = 0; way < 3; ++way) {
    std::vector<double> speedups;
    for (int round = 0; round < rounds; ++round) {
      speedups.push_back(took[0][static_cast<size_t>(round)] /
                         took[way][static_cast<size_t>(round)]);
    }
    std::printf("| %s | %.3f | %.2f |\n", ways[way], 1e3 * median(took[way]), median(speedups));
  }
  return wrong == 0 ? 0 : 1;
}
