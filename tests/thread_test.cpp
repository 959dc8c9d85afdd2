// Separate trees from separate threads at once: the module keeps no state
// outside the trees, so two threads that each build, query, shrink and check
// a tree of their own never touch the same memory. And the containers' set
// operations with their recursion forked over OpenMP tasks (this test is
// built with OpenMP where the compiler has it). Run under ThreadSanitizer in
// CI, which reports any access two threads share without a lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "avl/avl.hpp"
#include "avl_check.h"

namespace {

struct Outcome {
  std::string fault;  // empty while everything agreed
};

int count_visit(const nod*, void* context) {
  *static_cast<int32_t*>(context) += 1;
  return 1;
}

void exercise_own_tree(uint32_t seed, Outcome* outcome) {
  std::mt19937 rng(seed);
  std::multiset<int32_t> model;
  AVL_TREE* tree = create_avl_tree();
  for (int step = 0; step < 20000 && outcome->fault.empty(); ++step) {
    const auto key = static_cast<int32_t>(rng() % 2000);
    if (rng() % 3 != 0) {
      AVL_insert(tree, key);
      model.insert(key);
    } else if (AVL_delete(tree, key) != static_cast<int>(model.count(key) > 0)) {
      outcome->fault = "delete of " + std::to_string(key) + " disagrees with the model";
    } else if (model.count(key) > 0) {
      model.erase(model.find(key));
    }
    const std::string mismatch = query_mismatch(tree, model, key, nullptr);
    if (!mismatch.empty()) {
      outcome->fault = mismatch;
    }
    if (step % 1000 == 0) {
      const std::string whole = tree_mismatch(tree, model);
      if (!whole.empty()) {
        outcome->fault = "at step " + std::to_string(step) + ": " + whole;
      }
    }
  }
  int32_t visited = 0;
  AVL_walk(tree, 1, count_visit, &visited);
  if (outcome->fault.empty() && visited != static_cast<int32_t>(model.size())) {
    outcome->fault = "the walk visited " + std::to_string(visited) + " nodes";
  }
  AVL_destroy(tree);
}

TEST(ThreadTest, SeparateTreesInTwoThreadsAtOnce) {
  Outcome first;
  Outcome second;
  std::thread one(exercise_own_tree, 1u, &first);
  std::thread two(exercise_own_tree, 2u, &second);
  one.join();
  two.join();
  EXPECT_EQ(first.fault, "");
  EXPECT_EQ(second.fault, "");
}

// Counts the comparisons made on threads other than the test's own.
struct CountingLess {
  std::thread::id home;
  std::atomic<long>* elsewhere;
  bool operator()(int64_t a, int64_t b) const {
    if (std::this_thread::get_id() != home) {
      elsewhere->fetch_add(1, std::memory_order_relaxed);
    }
    return a < b;
  }
};

TEST(ThreadTest, ForkedSetOperationsMatchTheSequentialOnes) {
  std::atomic<long> elsewhere{0};
  const CountingLess less{std::this_thread::get_id(), &elsewhere};
  using Set = avl::set<int64_t, CountingLess>;
  std::vector<int64_t> evens;
  std::vector<int64_t> thirds;
  for (int64_t i = 0; i < 60000; ++i) {
    evens.push_back(2 * i);
    thirds.push_back(3 * i);
  }
  const Set a(evens.begin(), evens.end(), less);
  const Set b(thirds.begin(), thirds.end(), less);
  for (int op = 0; op < 3; ++op) {
    Set forked = a;
    Set alone = a;
    Set other = b;
    switch (op) {
      case 0:
        forked.union_with(std::move(other), avl::parallel);
        alone.union_with(b);
        break;
      case 1:
        forked.intersect_with(std::move(other), avl::parallel);
        alone.intersect_with(b);
        break;
      default:
        forked.difference_with(std::move(other), avl::parallel);
        alone.difference_with(b);
    }
    EXPECT_TRUE(forked.check()) << op;
    EXPECT_TRUE(forked == alone) << op;
  }
#if defined(_OPENMP)
  if (omp_get_max_threads() > 1) {
    EXPECT_GT(elsewhere.load(), 0) << "no comparison ran on another thread";
  }
#endif
}

}  // namespace
