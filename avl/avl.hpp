// avl.hpp: AVL trees for C++. avl::set, avl::multiset, avl::map and
// avl::multimap hold any key and value and follow the standard containers'
// manners, so code written for std's compiles and runs against them;
// avl::tree is a multiset of int32_t over the C module's own records
// (ADT_avl_tree.h), whose handle it owns. Header-only, C++17 (C++20 adds <=>
// and the range concepts).
//
//   avl::map<std::string, int> ages{{"ada", 36}};
//   ages["alan"] = 41;
//   for (const auto& [name, age] : ages) { ... }     // in key order
//   avl::multiset<std::string> words{"b", "a", "b"};  // a b b
//   avl::tree keys{5, 3, 8, 3};                       // the C records
//
// All of them balance with the one set of steps of core.hpp, which the C
// module runs too. The containers' nodes (a value, two links, and a parent
// link that carries the balance factor in its two low bits, one allocation
// each) are no larger than std's; avl::tree's are the C records.
//
// The four containers keep std's guarantees: an insertion invalidates no
// iterator, an erasure only the erased element's, and iterators stay valid
// through swap, move construction, merge, extract and node-handle insertion,
// referring to their element wherever it now lives (end() excepted, as with
// std's). An iterator is one pointer; begin(), rbegin() and end() are O(1); a
// step is O(1) amortised. A change made where an iterator stands (erase(it),
// an insertion with a good hint) costs O(1) amortised: it is made there and
// rebalanced on the way up the parent links. Equal keys keep insertion order
// (a new equal key goes after the ones there), and a hint places an element
// as std places it.
//
// Where they differ from the standard containers:
//   - At most INT32_MAX elements (max_size()); more throws std::length_error.
//   - std::erase_if cannot be given for types outside std: call erase_if
//     unqualified (or avl::erase_if), which argument-dependent lookup finds.
//   - height() and check() are extra: the tree's levels, and every invariant
//     verified (parent links included).
// Exceptions are those of std: a throwing allocation, comparison or copy
// leaves the container as it was for a single-element insertion (a node
// handle keeps its element), and valid and leak-free otherwise, with no
// element lost. Several threads may read one container at once; a container
// that one thread changes needs a lock around every use, as with std's.
#ifndef AVL_AVL_HPP
#define AVL_AVL_HPP

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <type_traits>
#include <utility>

#include "avl/ADT_avl_tree.h"
#include "avl/core.hpp"
#include "avl/nod_policy.hpp"

#if __cplusplus >= 202002L
#include <compare>
#include <concepts>
#include <version>
#if defined(__cpp_lib_ranges)
#include <ranges>
#endif
#endif

// A hint to the cache, where the compiler has one; undefined at the end.
#if defined(__GNUC__)
#define AVL_PREFETCH(address) __builtin_prefetch(address)
#else
#define AVL_PREFETCH(address) static_cast<void>(address)
#endif

namespace avl {

// Asks a set operation (union_with, intersect_with, difference_with and the
// set_union family) to run the two halves of its recursion on two OpenMP
// tasks where both are large enough. Without OpenMP (the build's
// -fopenmp), or below that size, the same code runs on one thread. The
// comparator is then called from several threads at once, on different
// elements, so it must allow that (a plain function of its two arguments
// does); nothing is allocated or released on those threads.
struct parallel_t {
  explicit parallel_t() = default;
};
inline constexpr parallel_t parallel{};

namespace detail {

// ----------------------------------------------------------------- nodes --

// The links of a container's node. `up` is the parent's address with the
// balance factor plus one in its two low bits (a node is 8-aligned, so its
// three low bits are free): 0 leans right, 1 balanced, 2 leans left. The
// container's header, the node above the root, is marked 3; its left link is
// the root, its right link the leftmost node and its parent the rightmost, so
// that begin(), end() and --end() are O(1) and the climb from the last
// element ends at the header, which is end(). The third bit says that `up`
// holds, for a while, another node instead of the parent: a match that the
// intersection and the difference record in the other container's nodes.
struct node_base {
  node_base* left;
  node_base* right;
  std::uintptr_t up;

  static constexpr std::uintptr_t kBits = 3;
  static constexpr std::uintptr_t kRecorded = 4;
  static constexpr std::uintptr_t kAddress = ~(kBits | kRecorded);

  node_base* parent() const noexcept { return reinterpret_cast<node_base*>(up & kAddress); }
  void set_parent(const node_base* parent) noexcept {
    up = reinterpret_cast<std::uintptr_t>(parent) | (up & kBits);
  }
  void record(const node_base* match) noexcept {
    up = reinterpret_cast<std::uintptr_t>(match) | (up & kBits) | kRecorded;
  }
  node_base* recorded() const noexcept {
    return (up & kRecorded) != 0 ? reinterpret_cast<node_base*>(up & kAddress) : nullptr;
  }
  int32_t balance() const noexcept { return static_cast<int32_t>(up & kBits) - 1; }
  void set_balance(int32_t balance) noexcept {
    up = (up & ~kBits) | static_cast<std::uintptr_t>(balance + 1);
  }
  bool is_header() const noexcept { return (up & kBits) == kBits; }

  // The next node in in-order; from the last one, the header. On the way
  // down it asks for the right children it passes, which a pass reaches next
  // but one: a pass over a tree larger than the caches then waits for one
  // node at a time less often.
  static node_base* next(const node_base* node) noexcept {
    if (node->right != nullptr) {
      node = node->right;
      while (node->left != nullptr) {
        AVL_PREFETCH(node->right);
        node = node->left;
      }
      AVL_PREFETCH(node->right);
      return const_cast<node_base*>(node);
    }
    node_base* parent = node->parent();
    while (parent->left != node) {  // climbing out of a right subtree
      node = parent;
      parent = parent->parent();
    }
    return parent;
  }

  // The previous node; from the header, the last node.
  static node_base* prev(const node_base* node) noexcept {
    if (node->is_header()) {
      return node->parent();
    }
    if (node->left != nullptr) {
      node = node->left;
      while (node->right != nullptr) {
        AVL_PREFETCH(node->left);
        node = node->right;
      }
      AVL_PREFETCH(node->left);
      return const_cast<node_base*>(node);
    }
    node_base* parent = node->parent();
    while (parent->right != node) {
      node = parent;
      parent = parent->parent();
    }
    return parent;
  }
};

static_assert(alignof(node_base) > (node_base::kBits | node_base::kRecorded),
              "three free bits in a node's address");

// A node with its value, which is constructed and destroyed through the
// allocator, not here.
template <class Value>
struct node : node_base {
  union {
    Value value;
  };
  node() noexcept {}
  ~node() {}
};

// The policy under which core.hpp's steps run for the containers: parent
// links kept, nothing reported.
struct parent_links {
  using node_type = node_base;
  static constexpr bool moves_keys = false;
  static constexpr bool keeps_parents = true;
  static node_base* parent_of(const node_base* node) noexcept { return node->parent(); }
  static void adopt(node_base* parent, node_base* child) noexcept {
    if (child != nullptr) {
      child->set_parent(parent);
    }
  }
  static void note(trace_event, const node_base*, int32_t, int32_t) noexcept {}
};

}  // namespace detail

namespace core {
// The containers' balance factors live in their parent links.
template <>
struct balance_field<detail::node_base> {
  static int32_t get(const detail::node_base* node) { return node->balance(); }
  static void put(detail::node_base* node, int32_t value) { node->set_balance(value); }
};
}  // namespace core

namespace detail {

// ------------------------------------------------------------ iterators --

template <class Value, bool Const>
class tree_iterator {
 public:
  using iterator_category = std::bidirectional_iterator_tag;
  using iterator_concept = std::bidirectional_iterator_tag;
  using value_type = Value;
  using difference_type = std::ptrdiff_t;
  using pointer = std::conditional_t<Const, const Value*, Value*>;
  using reference = std::conditional_t<Const, const Value&, Value&>;

  // Singular: it may only be assigned to or compared with another such.
  tree_iterator() noexcept = default;
  // iterator to const_iterator.
  template <bool C = Const, std::enable_if_t<C, int> = 0>
  tree_iterator(const tree_iterator<Value, false>& other) noexcept : at_(other.at_) {}

  reference operator*() const noexcept { return static_cast<node<Value>*>(at_)->value; }
  pointer operator->() const noexcept {
    return std::addressof(static_cast<node<Value>*>(at_)->value);
  }

  tree_iterator& operator++() noexcept {
    at_ = node_base::next(at_);
    return *this;
  }
  tree_iterator operator++(int) noexcept {
    tree_iterator before = *this;
    at_ = node_base::next(at_);
    return before;
  }
  tree_iterator& operator--() noexcept {
    at_ = node_base::prev(at_);
    return *this;
  }
  tree_iterator operator--(int) noexcept {
    tree_iterator before = *this;
    at_ = node_base::prev(at_);
    return before;
  }

  friend bool operator==(const tree_iterator& a, const tree_iterator& b) noexcept {
    return a.at_ == b.at_;
  }
  friend bool operator!=(const tree_iterator& a, const tree_iterator& b) noexcept {
    return a.at_ != b.at_;
  }

 private:
  template <class, bool>
  friend class tree_iterator;
  template <class, class, class, class, bool>
  friend class basic_tree;

  explicit tree_iterator(const node_base* at) noexcept : at_(const_cast<node_base*>(at)) {}

  node_base* at_ = nullptr;
};

// --------------------------------------------------------- node handles --

template <class Node, class NodeAllocator, class Allocator, class Key, class Mapped>
class node_handle {
  using node_traits = std::allocator_traits<NodeAllocator>;

 public:
  using allocator_type = Allocator;
  using key_type = Key;
  using value_type = std::conditional_t<std::is_void_v<Mapped>, Key, std::pair<const Key, Mapped>>;

  constexpr node_handle() noexcept = default;
  node_handle(node_handle&& other) noexcept
      : node_(std::exchange(other.node_, nullptr)), alloc_(std::move(other.alloc_)) {
    other.alloc_.reset();
  }
  // As std's: the element held here goes, and the other's allocator comes
  // along when it propagates on move assignment or this holds none.
  node_handle& operator=(node_handle&& other) noexcept {
    if (node_ != nullptr) {
      destroy_node();
    }
    node_ = std::exchange(other.node_, nullptr);
    if (node_traits::propagate_on_container_move_assignment::value || !alloc_) {
      alloc_ = std::move(other.alloc_);
    }
    other.alloc_.reset();
    return *this;
  }
  ~node_handle() { release(); }

  bool empty() const noexcept { return node_ == nullptr; }
  explicit operator bool() const noexcept { return node_ != nullptr; }
  allocator_type get_allocator() const { return allocator_type(*alloc_); }

  // Sets: the element.
  template <class M = Mapped, std::enable_if_t<std::is_void_v<M>, int> = 0>
  value_type& value() const noexcept {
    return node_->value;
  }
  // Maps: the key, which may be changed while the node is out of a map (the
  // reason node handles exist), and the mapped value.
  template <class M = Mapped, std::enable_if_t<!std::is_void_v<M>, int> = 0>
  key_type& key() const noexcept {
    return const_cast<key_type&>(node_->value.first);
  }
  template <class M = Mapped, std::enable_if_t<!std::is_void_v<M>, int> = 0>
  M& mapped() const noexcept {
    return node_->value.second;
  }

  // The allocators go with the elements when they propagate on swap, or
  // when one side holds none.
  void swap(node_handle& other) noexcept {
    std::swap(node_, other.node_);
    if (node_traits::propagate_on_container_swap::value || !alloc_ || !other.alloc_) {
      std::swap(alloc_, other.alloc_);
    }
  }
  friend void swap(node_handle& a, node_handle& b) noexcept { a.swap(b); }

 private:
  template <class, class, class, class, bool>
  friend class basic_tree;

  node_handle(Node* node, const NodeAllocator& alloc) : node_(node), alloc_(alloc) {}

  Node* take() noexcept {
    alloc_.reset();
    return std::exchange(node_, nullptr);
  }

  void destroy_node() noexcept {
    node_traits::destroy(*alloc_, std::addressof(node_->value));
    node_->~Node();
    node_traits::deallocate(*alloc_, node_, 1);
    node_ = nullptr;
  }

  void release() noexcept {
    if (node_ != nullptr) {
      destroy_node();
    }
    alloc_.reset();
  }

  Node* node_ = nullptr;
  std::optional<NodeAllocator> alloc_;
};

template <class Iterator, class NodeType>
struct insert_return_type {
  Iterator position;
  bool inserted;
  NodeType node;
};

#if __cplusplus >= 202002L && defined(__cpp_lib_three_way_comparison)
// <=> where the elements have it, else built from <, as the standard's
// containers compare; absent for elements that have neither.
template <class T>
concept synth_comparable = std::three_way_comparable<T> || requires(const T& a, const T& b) {
  { a < b } -> std::convertible_to<bool>;
};

struct synth_three_way {
  template <class T>
  constexpr auto operator()(const T& a, const T& b) const {
    if constexpr (std::three_way_comparable<T>) {
      return a <=> b;
    } else {
      return a < b   ? std::weak_ordering::less
             : b < a ? std::weak_ordering::greater
                     : std::weak_ordering::equivalent;
    }
  }
};
#endif

// How many elements a container holds. split() and join() leave it unknown
// until size() counts it (O(n), once); since several threads may ask a const
// container at once, the count is cached in an atomic. `bound` is never
// below it, so the limit checks need no count.
class element_count {
 public:
  static constexpr std::size_t kUnknown = ~std::size_t{0};

  element_count() = default;
  element_count(const element_count&) = delete;
  element_count& operator=(const element_count&) = delete;

  template <class Count>
  std::size_t get(Count count) const noexcept {
    std::size_t n = exact_.load(std::memory_order_relaxed);
    if (n == kUnknown) {
      n = count();
      exact_.store(n, std::memory_order_relaxed);
    }
    return n;
  }
  bool known() const noexcept { return exact_.load(std::memory_order_relaxed) != kUnknown; }
  std::size_t bound() const noexcept { return bound_; }

  void set(std::size_t n) noexcept {
    bound_ = n;
    exact_.store(n, std::memory_order_relaxed);
  }
  void set_unknown(std::size_t bound) noexcept {
    bound_ = bound;
    exact_.store(kUnknown, std::memory_order_relaxed);
  }
  void add(std::size_t n) noexcept {
    bound_ += n;
    const std::size_t exact = exact_.load(std::memory_order_relaxed);
    if (exact != kUnknown) {
      exact_.store(exact + n, std::memory_order_relaxed);
    }
  }
  void sub(std::size_t n) noexcept {
    bound_ -= n;
    const std::size_t exact = exact_.load(std::memory_order_relaxed);
    if (exact != kUnknown) {
      exact_.store(exact - n, std::memory_order_relaxed);
    }
  }
  // This one's, and the other's becomes 0.
  void take(element_count& other) noexcept {
    bound_ = other.bound_;
    exact_.store(other.exact_.load(std::memory_order_relaxed), std::memory_order_relaxed);
    other.set(0);
  }
  void swap(element_count& other) noexcept {
    std::swap(bound_, other.bound_);
    const std::size_t exact = exact_.load(std::memory_order_relaxed);
    exact_.store(other.exact_.load(std::memory_order_relaxed), std::memory_order_relaxed);
    other.exact_.store(exact, std::memory_order_relaxed);
  }

 private:
  std::size_t bound_ = 0;
  mutable std::atomic<std::size_t> exact_{0};
};

// ------------------------------------------------------ the containers --
//
// What the four containers share: a set's element is its key (Mapped is
// void), a map's is pair<const Key, Mapped>. The tree hangs below the header;
// lookups descend from the root (core::bound), changes are made where they
// happen and rebalanced on the climb (core::link_and_climb,
// core::unlink_and_climb), which take the very steps of the module's
// recursion.

template <class Key, class Mapped, class Compare, class Allocator, bool Unique>
class basic_tree {
 protected:
  static constexpr bool is_set = std::is_void_v<Mapped>;
  using Value = std::conditional_t<is_set, Key, std::pair<const Key, Mapped>>;
  using node = detail::node<Value>;
  using node_allocator = typename std::allocator_traits<Allocator>::template rebind_alloc<node>;
  using node_traits = std::allocator_traits<node_allocator>;

 public:
  using key_type = Key;
  using value_type = Value;
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;
  using key_compare = Compare;
  using allocator_type = Allocator;
  using reference = value_type&;
  using const_reference = const value_type&;
  using pointer = typename std::allocator_traits<Allocator>::pointer;
  using const_pointer = typename std::allocator_traits<Allocator>::const_pointer;
  using iterator = tree_iterator<Value, is_set>;
  using const_iterator = tree_iterator<Value, true>;
  using reverse_iterator = std::reverse_iterator<iterator>;
  using const_reverse_iterator = std::reverse_iterator<const_iterator>;
  using node_type = node_handle<node, node_allocator, Allocator, Key, Mapped>;

  // ------------------------------------------------------ construction --

  basic_tree() : basic_tree(Compare()) {}
  explicit basic_tree(const Compare& comp, const Allocator& alloc = Allocator())
      : comp_(comp), alloc_(alloc) {
    reset();
  }
  explicit basic_tree(const Allocator& alloc) : comp_(), alloc_(alloc) { reset(); }

  // From a range: O(n) when it is sorted (a balanced tree is built directly),
  // O(n log n) otherwise.
  template <class InputIt>
  basic_tree(InputIt first, InputIt last, const Compare& comp = Compare(),
             const Allocator& alloc = Allocator())
      : comp_(comp), alloc_(alloc) {
    reset();
    fill(first, last);
  }
  template <class InputIt>
  basic_tree(InputIt first, InputIt last, const Allocator& alloc)
      : basic_tree(first, last, Compare(), alloc) {}
  basic_tree(std::initializer_list<value_type> values, const Compare& comp = Compare(),
             const Allocator& alloc = Allocator())
      : basic_tree(values.begin(), values.end(), comp, alloc) {}
  basic_tree(std::initializer_list<value_type> values, const Allocator& alloc)
      : basic_tree(values.begin(), values.end(), Compare(), alloc) {}

  // A copy in the source's shape, balance factors included: O(n).
  basic_tree(const basic_tree& other)
      : basic_tree(other, node_traits::select_on_container_copy_construction(other.alloc_)) {}
  basic_tree(const basic_tree& other, const Allocator& alloc) : comp_(other.comp_), alloc_(alloc) {
    reset();
    adopt_tree(clone_of(other));
    count_.set(other.size());
  }

  // The nodes change hands: iterators stay valid and refer into this.
  basic_tree(basic_tree&& other) noexcept(std::is_nothrow_move_constructible_v<Compare>)
      : comp_(std::move(other.comp_)), alloc_(std::move(other.alloc_)) {
    reset();
    take_nodes(other);
  }
  basic_tree(basic_tree&& other, const Allocator& alloc)
      : comp_(std::move(other.comp_)), alloc_(alloc) {
    reset();
    if (alloc_ == other.alloc_) {
      take_nodes(other);
    } else {
      adopt_tree(moved_clone_of(other));
      count_.set(other.size());
      other.clear();
    }
  }

  ~basic_tree() { clear(); }

  basic_tree& operator=(const basic_tree& other) {
    if (this != std::addressof(other)) {
      if constexpr (node_traits::propagate_on_container_copy_assignment::value) {
        if (!(alloc_ == other.alloc_)) {
          clear();  // the nodes must go back to the allocator that made them
        }
        alloc_ = other.alloc_;
      }
      node_base* copy = clone_of(other);  // first, so a throw leaves this as it was
      clear();
      comp_ = other.comp_;
      adopt_tree(copy);
      count_.set(other.size());
    }
    return *this;
  }

  basic_tree& operator=(basic_tree&& other) noexcept(
      (node_traits::propagate_on_container_move_assignment::value ||
       node_traits::is_always_equal::value) &&
      std::is_nothrow_move_assignable_v<Compare>) {
    if (this == std::addressof(other)) {
      return *this;
    }
    clear();
    comp_ = std::move(other.comp_);
    if constexpr (node_traits::propagate_on_container_move_assignment::value) {
      alloc_ = std::move(other.alloc_);
    } else if (!(alloc_ == other.alloc_)) {
      // The nodes cannot change hands: move the values into nodes of ours.
      adopt_tree(moved_clone_of(other));
      count_.set(other.size());
      other.clear();
      return *this;
    }
    take_nodes(other);
    return *this;
  }

  basic_tree& operator=(std::initializer_list<value_type> values) {
    basic_tree fresh(values, comp_, allocator_type(alloc_));
    clear();
    take_nodes(fresh);  // same allocator: the nodes change hands
    return *this;
  }

  allocator_type get_allocator() const noexcept { return allocator_type(alloc_); }

  // --------------------------------------------------------- iterators --
  //
  // All O(1).

  iterator begin() noexcept { return iterator(header_.right); }
  const_iterator begin() const noexcept { return const_iterator(header_.right); }
  const_iterator cbegin() const noexcept { return begin(); }
  iterator end() noexcept { return iterator(&header_); }
  const_iterator end() const noexcept { return const_iterator(&header_); }
  const_iterator cend() const noexcept { return end(); }
  reverse_iterator rbegin() noexcept { return reverse_iterator(end()); }
  const_reverse_iterator rbegin() const noexcept { return const_reverse_iterator(end()); }
  const_reverse_iterator crbegin() const noexcept { return rbegin(); }
  reverse_iterator rend() noexcept { return reverse_iterator(begin()); }
  const_reverse_iterator rend() const noexcept { return const_reverse_iterator(begin()); }
  const_reverse_iterator crend() const noexcept { return rend(); }

  // ---------------------------------------------------------- capacity --

  bool empty() const noexcept { return root() == nullptr; }
  // O(1), but for the first call after split() or join(), which counts:
  // O(n).
  size_type size() const noexcept {
    return count_.get([this] {
      size_type n = 0;
      for (const node_base* at = header_.right; at != &header_; at = node_base::next(at)) {
        n += 1;
      }
      return n;
    });
  }
  size_type max_size() const noexcept {
    return std::min<size_type>(node_traits::max_size(alloc_), INT32_MAX);
  }
  // Levels from the root down (0 when empty): O(log n).
  int32_t height() const noexcept { return core::height(root()); }
  // Every invariant, recomputed from the links: order by the comparator
  // (strict for unique keys), balance factors against heights, every parent
  // link, the first and last elements, the count. O(n) time and memory;
  // false as well when that memory cannot be had. The comparator's
  // exceptions go on.
  bool check() const {
    if (core::check<node_base>(root(), static_cast<int64_t>(size()), nullptr, check_ops{this},
                               &header_) != 1) {
      return false;
    }
    const node_base* first = root() != nullptr ? core::leftmost(root()) : &header_;
    const node_base* last = root() != nullptr ? core::rightmost(root()) : &header_;
    return header_.right == first && header_.parent() == last && header_.is_header();
  }

  // --------------------------------------------------------- modifiers --

  // Unique keys: pair<iterator, bool>; equal keys: iterator. Nothing is
  // allocated when a unique key is there already.
  auto insert(const value_type& value) { return insert_value(value); }
  auto insert(value_type&& value) { return insert_value(std::move(value)); }
  iterator insert(const_iterator hint, const value_type& value) {
    return insert_value_near(hint, value);
  }
  iterator insert(const_iterator hint, value_type&& value) {
    return insert_value_near(hint, std::move(value));
  }
  // O(n) into an empty container when [first, last) is sorted; else each
  // element is placed with the end() hint, O(1) amortised each while the
  // input stays sorted.
  template <class InputIt>
  void insert(InputIt first, InputIt last) {
    if (empty()) {
      fill(first, last);
      return;
    }
    for (; first != last; ++first) {
      insert_value_near(end(), *first);
    }
  }
  void insert(std::initializer_list<value_type> values) { insert(values.begin(), values.end()); }

  template <class... Args>
  auto emplace(Args&&... args) {
    node_guard guard{this, make_node(std::forward<Args>(args)...)};
    const spot at = spot_by_key(key_of(guard.held));
    std::pair<iterator, bool> placed = place(at, guard);
    if constexpr (Unique) {
      return placed;
    } else {
      return placed.first;
    }
  }
  template <class... Args>
  iterator emplace_hint(const_iterator hint, Args&&... args) {
    node_guard guard{this, make_node(std::forward<Args>(args)...)};
    const spot at = spot_by_hint(hint, key_of(guard.held));
    return place(at, guard).first;
  }

  // Node handles: extract unlinks an element without copying or freeing it;
  // insert links one in, and leaves it in the handle when a unique key is
  // there already or the comparator throws.
  node_type extract(const_iterator position) {
    node_base* taken = position.at_;
    unlink(taken);
    return node_type(static_cast<node*>(taken), alloc_);
  }
  node_type extract(const key_type& key) {
    const_iterator at = find(key);
    return at == end() ? node_type() : extract(at);
  }
  template <bool U = Unique, std::enable_if_t<U, int> = 0>
  insert_return_type<iterator, node_type> insert(node_type&& handle) {
    if (handle.empty()) {
      return {end(), false, node_type()};
    }
    const spot at = spot_by_key(key_of(handle.node_));
    if (at.equal != nullptr) {
      return {iterator(at.equal), false, std::move(handle)};
    }
    check_room();
    return {link_at(at, handle.take()), true, node_type()};
  }
  template <bool U = Unique, std::enable_if_t<!U, int> = 0>
  iterator insert(node_type&& handle) {
    if (handle.empty()) {
      return end();
    }
    const spot at = spot_by_key(key_of(handle.node_));
    check_room();
    return link_at(at, handle.take());
  }
  iterator insert(const_iterator hint, node_type&& handle) {
    if (handle.empty()) {
      return end();
    }
    const spot at = spot_by_hint(hint, key_of(handle.node_));
    if (at.equal != nullptr) {
      return iterator(at.equal);
    }
    check_room();
    return link_at(at, handle.take());
  }

  // O(1) amortised; returns the iterator to the element after it.
  iterator erase(const_iterator position) {
    node_base* gone = position.at_;
    iterator after(node_base::next(gone));
    unlink(gone);
    drop_node(static_cast<node*>(gone));
    return after;
  }
  template <bool S = is_set, std::enable_if_t<!S, int> = 0>
  iterator erase(iterator position) {
    return erase(const_iterator(position));
  }
  // O(log n + k) for k elements: the range is cut out (split) and what is
  // left on either side joined again.
  iterator erase(const_iterator first, const_iterator last) {
    if (first == last) {
      return iterator(last.at_);
    }
    if (first == begin() && last == end()) {
      clear();
      return end();
    }
    core::piece<node_base> before{nullptr, 0};
    core::piece<node_base> range{nullptr, 0};
    core::piece<node_base> after{nullptr, 0};
    node_base* none = nullptr;
    const core::piece<node_base> all = whole();
    at_position cut_first(first.at_, all.root);
    core::split(all, cut_first, &before, &none, &range, parent_links{});
    if (last.at_ != &header_) {
      const core::piece<node_base> rest = range;
      at_position cut_last(last.at_, rest.root);
      core::split(rest, cut_last, &range, &none, &after, parent_links{});
    }
    size_type erased = 0;
    release_in_order(range.root, [&erased](node_base*) { return ++erased, true; });
    adopt_tree(core::join2(before, after, parent_links{}).root);
    count_.sub(erased);
    return iterator(last.at_);
  }
  // Every element with the key; returns how many there were. O(log n + k).
  // The key may be one of the elements erased: it is read only before the
  // first of them goes.
  size_type erase(const key_type& key) {
    std::pair<const_iterator, const_iterator> range = equal_range(key);
    size_type erased = 0;
    for (const_iterator at = range.first; at != range.second; ++erased) {
      at = erase(at);
    }
    return erased;
  }

  void clear() noexcept {
    release_in_order(root(), [](node_base*) { return true; });
    reset();
  }

  // The nodes change hands; iterators stay valid and refer into the other
  // container.
  void swap(basic_tree& other) noexcept(std::is_nothrow_swappable_v<Compare>) {
    using std::swap;
    swap(comp_, other.comp_);
    if constexpr (node_traits::propagate_on_container_swap::value) {
      swap(alloc_, other.alloc_);
    }
    basic_tree* const sides[2] = {this, &other};
    node_base* roots[2] = {root(), other.root()};
    node_base* firsts[2] = {header_.right, other.header_.right};
    node_base* lasts[2] = {header_.parent(), other.header_.parent()};
    for (int side = 0; side < 2; ++side) {
      basic_tree& to = *sides[side];
      const int from = 1 - side;
      to.reset_header();
      if (roots[from] != nullptr) {
        to.hang(roots[from], firsts[from], lasts[from]);
      }
    }
    count_.swap(other.count_);
  }
  friend void swap(basic_tree& a, basic_tree& b) noexcept(noexcept(a.swap(b))) { a.swap(b); }

  // Moves the elements of `source` over, node by node (nothing is copied or
  // allocated); with unique keys, those whose key is here already stay
  // there. Each element's place here is found before it leaves `source`, so
  // a throwing comparator leaves every element in one of the two, and a
  // full container (max_size()) throws std::length_error with the rest
  // still in `source`. Merging a container into itself changes nothing.
  template <class OtherCompare, bool OtherUnique>
  void merge(basic_tree<Key, Mapped, OtherCompare, Allocator, OtherUnique>& source) {
    if (static_cast<const void*>(&source) == static_cast<const void*>(this)) {
      return;
    }
    for (node_base* at = source.header_.right; at != &source.header_;) {
      node_base* const next = node_base::next(at);
      const spot to = spot_by_key(key_of(at));
      if (!Unique || to.equal == nullptr) {
        check_room();
        source.unlink(at);
        link_at(to, at);
      }
      at = next;
    }
  }
  template <class OtherCompare, bool OtherUnique>
  void merge(basic_tree<Key, Mapped, OtherCompare, Allocator, OtherUnique>&& source) {
    merge(source);
  }

  // -------------------------------------------------- whole containers --
  //
  // On the tree's shape (core.hpp's join and split): no element is copied or
  // allocated unless the other container is an lvalue (then it is copied
  // first and left as it was), and iterators stay valid and follow their
  // elements. After split() and join(), size() counts once, O(n). The
  // allocators must compare equal, as for merge().

  // Appends `other` when all its elements order after this one's (for equal
  // keys: not before them), and returns true; otherwise returns false and
  // changes neither. O(log n).
  bool join(basic_tree&& other) {
    if (other.empty()) {
      return true;
    }
    if (empty()) {
      take_nodes(other);
      return true;
    }
    const Key& last = key_of(header_.parent());
    const Key& first = key_of(other.header_.right);
    if (Unique ? !comp_(last, first) : comp_(first, last)) {
      return false;
    }
    if (count_.bound() + other.count_.bound() > max_size()) {
      check_room(other.size());
    }
    const bool known = count_.known() && other.count_.known();
    const size_type bound = count_.bound() + other.count_.bound();
    const size_type total = known ? size() + other.size() : 0;
    node_base* const new_last = other.header_.parent();
    node_base* const top = core::join2(whole(), other.whole(), parent_links{}).root;
    node_base* const new_first = header_.right;
    reset_header();
    hang(top, new_first, new_last);
    if (known) {
      count_.set(total);
    } else {
      count_.set_unknown(bound);
    }
    other.reset();
    return true;
  }

  // The union: every element of `other` whose key is not here yet comes
  // over (for equal keys, this container's stays, and a map keeps its
  // mapped value). From an rvalue its nodes move and the rest of it is
  // released. Sets and maps take the join-based recursion, O(m log(n/m + 1))
  // comparisons for sizes m <= n, when one side is more than 8 times the
  // other, and walk both in order, O(n + m), when not (which costs less
  // there); with avl::parallel, always the recursion, whose two halves run
  // on OpenMP tasks where they are large enough and the build has OpenMP.
  // Multi containers keep std::set_union's counts: of a key held i times
  // here and j times there, max(i, j), this container's i first; they walk
  // both in order.
  void union_with(basic_tree&& other) { unite_with(other, 0); }
  void union_with(basic_tree&& other, parallel_t) { unite_with(other, kForkDepth); }
  void union_with(const basic_tree& other) { unite_with_copy(other, 0); }
  void union_with(const basic_tree& other, parallel_t) { unite_with_copy(other, kForkDepth); }

  // The intersection: only the elements whose key `other` holds stay (of a
  // key held i times here and j times there, the first min(i, j) here).
  // O(n + m): every element that goes is released.
  void intersect_with(basic_tree&& other) { filter_with(other, true, 0); }
  void intersect_with(basic_tree&& other, parallel_t) { filter_with(other, true, kForkDepth); }
  void intersect_with(const basic_tree& other) { filter_with_copy(other, true, 0); }
  void intersect_with(const basic_tree& other, parallel_t) {
    filter_with_copy(other, true, kForkDepth);
  }

  // The difference: the elements whose key `other` holds go (of a key held
  // i times here and j times there, the first min(i, j) go). The matches
  // are found as for the union (the recursion's O(m log(n/m + 1))
  // comparisons, or the walk), then taken out and `other`'s nodes released
  // without a comparison, O(m) for `other`'s m.
  void difference_with(basic_tree&& other) { filter_with(other, false, 0); }
  void difference_with(basic_tree&& other, parallel_t) { filter_with(other, false, kForkDepth); }
  void difference_with(const basic_tree& other) { filter_with_copy(other, false, 0); }
  void difference_with(const basic_tree& other, parallel_t) {
    filter_with_copy(other, false, kForkDepth);
  }

  // ------------------------------------------------------------ lookup --
  //
  // O(log n). The K overloads take any key the comparator can compare with
  // key_type, when Compare::is_transparent says it can; a K may match several
  // elements even of a set.

  iterator find(const key_type& key) { return iterator(find_node(key)); }
  const_iterator find(const key_type& key) const { return const_iterator(find_node(key)); }
  template <class K, class C = Compare, class = typename C::is_transparent>
  iterator find(const K& key) {
    return iterator(find_node(key));
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  const_iterator find(const K& key) const {
    return const_iterator(find_node(key));
  }

  // O(log n + the count).
  size_type count(const key_type& key) const { return count_of(key); }
  template <class K, class C = Compare, class = typename C::is_transparent>
  size_type count(const K& key) const {
    return count_of(key);
  }

  bool contains(const key_type& key) const { return find_node(key) != &header_; }
  template <class K, class C = Compare, class = typename C::is_transparent>
  bool contains(const K& key) const {
    return find_node(key) != &header_;
  }

  iterator lower_bound(const key_type& key) {
    return iterator(bound(at_least<key_type>{this, &key}));
  }
  const_iterator lower_bound(const key_type& key) const {
    return const_iterator(bound(at_least<key_type>{this, &key}));
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  iterator lower_bound(const K& key) {
    return iterator(bound(at_least<K>{this, &key}));
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  const_iterator lower_bound(const K& key) const {
    return const_iterator(bound(at_least<K>{this, &key}));
  }

  iterator upper_bound(const key_type& key) { return iterator(bound(above<key_type>{this, &key})); }
  const_iterator upper_bound(const key_type& key) const {
    return const_iterator(bound(above<key_type>{this, &key}));
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  iterator upper_bound(const K& key) {
    return iterator(bound(above<K>{this, &key}));
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  const_iterator upper_bound(const K& key) const {
    return const_iterator(bound(above<K>{this, &key}));
  }

  // (lower_bound, upper_bound); both the lower bound when the key is absent.
  std::pair<iterator, iterator> equal_range(const key_type& key) {
    const auto range = range_of(key);
    return {iterator(range.first), iterator(range.second)};
  }
  std::pair<const_iterator, const_iterator> equal_range(const key_type& key) const {
    const auto range = range_of(key);
    return {const_iterator(range.first), const_iterator(range.second)};
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  std::pair<iterator, iterator> equal_range(const K& key) {
    const auto range = range_of(key);
    return {iterator(range.first), iterator(range.second)};
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  std::pair<const_iterator, const_iterator> equal_range(const K& key) const {
    const auto range = range_of(key);
    return {const_iterator(range.first), const_iterator(range.second)};
  }

  key_compare key_comp() const { return comp_; }

  // -------------------------------------------------------- comparison --

  friend bool operator==(const basic_tree& a, const basic_tree& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }
#if __cplusplus >= 202002L && defined(__cpp_lib_three_way_comparison)
  friend auto operator<=>(const basic_tree& a,
                          const basic_tree& b) requires synth_comparable<Value> {
    return std::lexicographical_compare_three_way(a.begin(), a.end(), b.begin(), b.end(),
                                                  synth_three_way{});
  }
#else
  friend bool operator!=(const basic_tree& a, const basic_tree& b) {
    return !(a == b);
  }
  friend bool operator<(const basic_tree& a, const basic_tree& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
  }
  friend bool operator>(const basic_tree& a, const basic_tree& b) {
    return b < a;
  }
  friend bool operator<=(const basic_tree& a, const basic_tree& b) {
    return !(b < a);
  }
  friend bool operator>=(const basic_tree& a, const basic_tree& b) {
    return !(a < b);
  }
#endif

 protected:
  template <class, class, class, class, bool>
  friend class basic_tree;

  static const Key& key_of(const node_base* at) noexcept {
    if constexpr (is_set) {
      return static_cast<const node*>(at)->value;
    } else {
      return static_cast<const node*>(at)->value.first;
    }
  }
  static const Key& value_key(const value_type& value) noexcept {
    if constexpr (is_set) {
      return value;
    } else {
      return value.first;
    }
  }

  node_base* root() const noexcept {
    return header_.left;
  }
  static iterator iterator_at(const node_base* at) noexcept {
    return iterator(at);
  }

  // Empty: no root, and the first and last elements are the header itself.
  void reset_header() noexcept {
    header_.left = nullptr;
    header_.right = &header_;
    header_.up = reinterpret_cast<std::uintptr_t>(&header_) | node_base::kBits;
  }
  void reset() noexcept {
    reset_header();
    count_.set(0);
  }

  // Hangs a tree below the empty header; the count is the caller's.
  void hang(node_base* top, node_base* first, node_base* last) noexcept {
    header_.left = top;
    top->set_parent(&header_);
    header_.right = first;
    header_.set_parent(last);
  }

  // A tree that was just built, copied or cut (or nothing) becomes the whole
  // tree: its first and last nodes are found. O(log n); the count is the
  // caller's.
  void adopt_tree(node_base* top) noexcept {
    reset_header();
    if (top != nullptr) {
      hang(top, core::leftmost(top), core::rightmost(top));
    }
  }

  core::piece<node_base> whole() const noexcept {
    return {root(), height()};
  }

  // The nodes of `other`, which is left empty.
  void take_nodes(basic_tree& other) noexcept {
    if (other.root() != nullptr) {
      hang(other.root(), other.header_.right, other.header_.parent());
      count_.take(other.count_);
      other.reset_header();
    }
  }

  // ------------------------------------------------------------- nodes --

  template <class... Args>
  node* make_node(Args&&... args) {
    node* fresh = node_traits::allocate(alloc_, 1);
    ::new (static_cast<void*>(fresh)) node;
    try {
      node_traits::construct(alloc_, std::addressof(fresh->value), std::forward<Args>(args)...);
    } catch (...) {
      fresh->~node();
      node_traits::deallocate(alloc_, fresh, 1);
      throw;
    }
    return fresh;
  }

  // Walks a sound tree's nodes in key order and releases each that `drop`
  // says to (it may relink the others): a cursor walk, which reads each node
  // once, before `drop` sees it, and writes none.
  template <class Drop>
  void release_in_order(node_base* top, Drop drop) noexcept {
    core::cursor<node_base> walk;
    for (node_base* at = core::cursor_first(walk, top); at != nullptr;) {
      node_base* const gone = at;
      at = core::cursor_next(walk);
      if (drop(gone)) {
        drop_node(static_cast<node*>(gone));
      }
    }
  }

  void drop_node(node* gone) noexcept {
    node_traits::destroy(alloc_, std::addressof(gone->value));
    gone->~node();
    node_traits::deallocate(alloc_, gone, 1);
  }

  // Before `more` elements are linked.
  void check_room(size_type more = 1) {
    if (count_.bound() + more > max_size()) {
      count_.set(size());  // the bound may be above the count after a split
      if (count_.bound() + more > max_size()) {
        throw std::length_error("avl: the container holds max_size() elements");
      }
    }
  }

  // Owns a node until it is linked; drops it otherwise (a refused insertion,
  // or an exception from the comparator).
  struct node_guard {
    basic_tree* tree;
    node* held;
    ~node_guard() {
      if (held != nullptr) {
        tree->drop_node(held);
      }
    }
    node* release() noexcept { return std::exchange(held, nullptr); }
  };

  node_base* clone_of(const basic_tree& other) {
    auto copy = [this](const node_base* from) {
      return make_node(static_cast<const node*>(from)->value);
    };
    auto release = [this](node_base* gone) { drop_node(static_cast<node*>(gone)); };
    return core::clone<node_base>(other.root(), copy, release, parent_links{});
  }

  // For a move between unequal allocators: the values move, the nodes do not.
  node_base* moved_clone_of(basic_tree& other) {
    auto copy = [this](const node_base* from) {
      return make_node(std::move(const_cast<node*>(static_cast<const node*>(from))->value));
    };
    auto release = [this](node_base* gone) { drop_node(static_cast<node*>(gone)); };
    return core::clone<node_base>(other.root(), copy, release, parent_links{});
  }

  // Into an empty container: while the input is sorted its nodes are linked
  // into a list through their right links, and a balanced tree is built from
  // the list in one pass; from the first element out of order on, the rest
  // are inserted one by one. A set keeps the first of equal elements.
  template <class InputIt>
  void fill(InputIt first, InputIt last) {
    node_base* head = nullptr;
    node_base** tail = &head;
    node_base* last_linked = nullptr;
    size_type count = 0;
    auto build = [&] {
      int32_t levels = 0;
      node_base* list = head;
      head = nullptr;
      adopt_tree(core::build_from_list(list, count, &levels, parent_links{}));
      count_.set(count);
    };
    try {
      for (; first != last; ++first) {
        node_guard guard{this, make_node(*first)};
        const Key& key = key_of(guard.held);
        if (last_linked != nullptr && comp_(key, key_of(last_linked))) {
          build();
          place(spot_by_key(key), guard);
          for (++first; first != last; ++first) {
            emplace_hint(end(), *first);
          }
          return;
        }
        if (Unique && last_linked != nullptr && !comp_(key_of(last_linked), key)) {
          continue;  // a set keeps the first of equal elements
        }
        if (count >= max_size()) {
          throw std::length_error("avl: the container holds max_size() elements");
        }
        node_base* fresh = guard.release();
        fresh->right = nullptr;
        *tail = fresh;
        tail = &fresh->right;
        last_linked = fresh;
        count += 1;
      }
    } catch (...) {
      while (head != nullptr) {
        node_base* next = head->right;
        drop_node(static_cast<node*>(head));
        head = next;
      }
      clear();
      throw;
    }
    build();
  }

  // --------------------------------------------------------- insertion --

  // Where an element goes: the empty link below `parent` on side `left`;
  // with unique keys, `equal` is the element holding its key instead, when
  // there is one.
  struct spot {
    node_base* parent;
    bool left;
    node_base* equal;
  };

  // By the comparator: a key that is not less goes right, so equal keys end
  // after the ones there.
  template <class K>
  spot spot_by_key(const K& key) const {
    node_base* parent = const_cast<node_base*>(&header_);
    bool left = true;
    node_base* not_above = nullptr;  // the last node passed on its right: the greatest <= key
    for (node_base* at = root(); at != nullptr; at = left ? at->left : at->right) {
      parent = at;
      left = comp_(key, key_of(at));
      if (!left) {
        not_above = at;
      }
    }
    if (Unique && not_above != nullptr && !comp_(key_of(not_above), key)) {
      return {nullptr, false, not_above};
    }
    return {parent, left, nullptr};
  }

  // Equal keys only: the empty link before the equal elements.
  template <class K>
  spot spot_before_equals(const K& key) const {
    node_base* parent = const_cast<node_base*>(&header_);
    bool left = true;
    for (node_base* at = root(); at != nullptr; at = left ? at->left : at->right) {
      parent = at;
      left = !comp_(key_of(at), key);
    }
    return {parent, left, nullptr};
  }

  // Just before `hint` when the order allows: the empty link that the hint's
  // predecessor has on its right, or else the hint on its left. Otherwise,
  // with unique keys, where the key belongs (or at the equal element); with
  // equal keys, as near to the hint as the order allows: after the equal
  // elements when the hint lies above them, before them when it lies below.
  // A good hint costs O(1) comparisons.
  spot spot_by_hint(const_iterator hint, const Key& key) const {
    node_base* const at = hint.at_;
    if (at == &header_) {
      node_base* const last = header_.parent();
      if (root() != nullptr && (Unique ? comp_(key_of(last), key) : !comp_(key, key_of(last)))) {
        return {last, false, nullptr};
      }
      return spot_by_key(key);
    }
    if (Unique ? comp_(key, key_of(at)) : !comp_(key_of(at), key)) {
      // The key may go before the hint.
      if (at == header_.right) {
        return {at, true, nullptr};
      }
      node_base* const previous = node_base::prev(at);
      if (Unique ? comp_(key_of(previous), key) : !comp_(key, key_of(previous))) {
        return previous->right == nullptr ? spot{previous, false, nullptr}
                                          : spot{at, true, nullptr};
      }
      return spot_by_key(key);
    }
    if constexpr (Unique) {
      if (!comp_(key_of(at), key)) {
        return {nullptr, false, at};  // the hint holds the key
      }
    }
    // The key goes after the hint.
    if (at == header_.parent()) {
      return {at, false, nullptr};
    }
    node_base* const following = node_base::next(at);
    if (Unique ? comp_(key, key_of(following)) : !comp_(key_of(following), key)) {
      return at->right == nullptr ? spot{at, false, nullptr} : spot{following, true, nullptr};
    }
    return Unique ? spot_by_key(key) : spot_before_equals(key);
  }

  // The empty link just before `at` (the header: after the last element):
  // the right link of its predecessor when that has none, else its own left
  // link, which is then empty.
  spot just_before(node_base* at) const {
    if (at == &header_) {
      return root() == nullptr ? spot{at, true, nullptr} : spot{header_.parent(), false, nullptr};
    }
    if (at->left == nullptr) {
      return {at, true, nullptr};
    }
    return {node_base::prev(at), false, nullptr};
  }

  // Links `fresh` at `at` (an empty link) and rebalances the way up.
  iterator link_at(const spot& at, node_base* fresh) noexcept {
    core::link_and_climb(at.parent, at.left, fresh, &header_, parent_links{});
    if (at.parent == &header_) {
      header_.right = fresh;
      header_.set_parent(fresh);
    } else if (at.left) {
      if (at.parent == header_.right) {
        header_.right = fresh;
      }
    } else if (at.parent == header_.parent()) {
      header_.set_parent(fresh);
    }
    count_.add(1);
    return iterator(fresh);
  }

  // The guarded node at `at`, unless a unique key is there already.
  std::pair<iterator, bool> place(const spot& at, node_guard& guard) {
    if (at.equal != nullptr) {
      return {iterator(at.equal), false};
    }
    check_room();
    return {link_at(at, guard.release()), true};
  }

  // The node is made only once its place is known to be free.
  template <class V>
  auto insert_value(V&& value) {
    const spot at = spot_by_key(value_key(value));
    if constexpr (Unique) {
      if (at.equal != nullptr) {
        return std::pair<iterator, bool>(iterator(at.equal), false);
      }
    }
    check_room();
    iterator placed = link_at(at, make_node(std::forward<V>(value)));
    if constexpr (Unique) {
      return std::pair<iterator, bool>(placed, true);
    } else {
      return placed;
    }
  }

  template <class V>
  iterator insert_value_near(const_iterator hint, V&& value) {
    const spot at = spot_by_hint(hint, value_key(value));
    if (at.equal != nullptr) {
      return iterator(at.equal);
    }
    check_room();
    return link_at(at, make_node(std::forward<V>(value)));
  }

  // ---------------------------------------------------------- erasure --

  // Takes `gone` out where it stands; the caller owns it afterwards.
  void unlink(node_base* gone) noexcept {
    if (gone == root() && gone->left == nullptr && gone->right == nullptr) {
      reset();
      return;
    }
    if (gone == header_.right) {
      header_.right = node_base::next(gone);
    }
    if (gone == header_.parent()) {
      header_.set_parent(node_base::prev(gone));
    }
    core::unlink_and_climb(gone, &header_, parent_links{});
    count_.sub(1);
  }

  // ----------------------------------------------------------- lookup --

  // lower_bound's step. With unique keys a key_type that matches is the
  // only match, so the descent stops there; a K may match several.
  template <class K>
  struct at_least {
    const basic_tree* tree;
    const K* key;
    core::bound_step operator()(const node_base* at) const {
      if (tree->comp_(key_of(at), *key)) {
        return core::bound_step::right;
      }
      if constexpr (Unique && std::is_same_v<K, Key>) {
        if (!tree->comp_(*key, key_of(at))) {
          return core::bound_step::here;
        }
      }
      return core::bound_step::left;
    }
  };

  template <class K>
  struct above {  // upper_bound's step
    const basic_tree* tree;
    const K* key;
    core::bound_step operator()(const node_base* at) const {
      return tree->comp_(*key, key_of(at)) ? core::bound_step::left : core::bound_step::right;
    }
  };

  // The node a bound descent lands on, or the header.
  template <class Step>
  node_base* bound(Step step) const {
    node_base* found = core::bound(core::no_path{}, root(), step);
    return found != nullptr ? found : const_cast<node_base*>(&header_);
  }

  template <class K>
  node_base* find_node(const K& key) const {
    node_base* at = bound(at_least<K>{this, &key});
    return at != &header_ && !comp_(key, key_of(at)) ? at : const_cast<node_base*>(&header_);
  }

  template <class K>
  std::pair<node_base*, node_base*> range_of(const K& key) const {
    node_base* first = bound(at_least<K>{this, &key});
    if constexpr (Unique && std::is_same_v<K, Key>) {
      if (first != &header_ && !comp_(key, key_of(first))) {
        return {first, node_base::next(first)};
      }
      return {first, first};
    } else {
      return {first, bound(above<K>{this, &key})};
    }
  }

  template <class K>
  size_type count_of(const K& key) const {
    if constexpr (Unique && std::is_same_v<K, Key>) {
      return find_node(key) != &header_ ? 1 : 0;
    } else {
      const std::pair<node_base*, node_base*> range = range_of(key);
      size_type count = 0;
      for (const node_base* at = range.first; at != range.second; at = node_base::next(at)) {
        count += 1;
      }
      return count;
    }
  }

  // ------------------------------------------------- whole-set internals --

  // The recursion's halves go to two threads in its top kForkDepth levels,
  // where both trees still have kForkLevels levels below them.
  static constexpr int32_t kForkDepth = 6;
  static constexpr int32_t kForkLevels = 10;

  // Every element not less than `key` moves to `upper` (empty, with an
  // equal allocator).
  template <class K>
  void split_into(const K& key, basic_tree& upper) {
    if (empty()) {
      return;
    }
    const size_type bound = count_.bound();
    const bool known = count_.known();
    const size_type exact = known ? size() : 0;
    core::piece<node_base> low{nullptr, 0};
    core::piece<node_base> high{nullptr, 0};
    node_base* none = nullptr;
    below<K> cut{this, &key};
    try {
      core::split(whole(), cut, &low, &none, &high, parent_links{});
    } catch (...) {
      adopt_tree(low.root);  // every node, rejoined
      throw;
    }
    adopt_tree(low.root);
    upper.adopt_tree(high.root);
    if (high.root == nullptr || low.root == nullptr) {
      basic_tree& all = high.root == nullptr ? *this : upper;
      basic_tree& none_left = high.root == nullptr ? upper : *this;
      known ? all.count_.set(exact) : all.count_.set_unknown(bound);
      none_left.count_.set(0);
    } else {
      count_.set_unknown(bound);
      upper.count_.set_unknown(bound);
    }
  }

  template <class K>
  struct below {  // cuts before the first element not less than the key
    const basic_tree* tree;
    const K* key;
    int operator()(const node_base* at) const { return tree->comp_(key_of(at), *key) ? -1 : +1; }
  };

  // Cuts just before `target`: on the way down from `top` to it, every
  // ancestor's side is the one that does not hold the target, which the
  // climb from the target records; below the target, everything comes
  // before it.
  struct at_position {
    const node_base* target;
    uint64_t target_on_left =
        0;              // bit d: the ancestor at depth d (the root's 0) has it on its left
    int32_t depth = 0;  // the target's
    int32_t visited = 0;
    at_position(const node_base* at, const node_base* top) : target(at) {
      for (const node_base* node = at; node != top; node = node->parent()) {
        target_on_left = (target_on_left << 1) | (node->parent()->left == node ? 1u : 0u);
        depth += 1;
      }
    }
    int operator()(const node_base* at) {
      const int32_t level = visited++;
      if (level < depth) {
        return ((target_on_left >> level) & 1u) != 0 ? +1 : -1;
      }
      return at == target ? +1 : -1;
    }
  };

  // The policy of the set operations: two unique keys compare as the
  // comparator says, and a match is recorded in the other tree's node.
  struct algebra : parent_links {
    const basic_tree* tree;
    struct around {
      const basic_tree* tree;
      const node_base* pivot;
      int operator()(const node_base* at) const {
        return tree->comp_(key_of(at), key_of(pivot))   ? -1
               : tree->comp_(key_of(pivot), key_of(at)) ? +1
                                                        : 0;
      }
    };
    around cut(const node_base* pivot) const { return {tree, pivot}; }
    static void record(node_base* node, const node_base* match) { node->record(match); }
  };

  // Whether a set operation with `other` takes the join-based recursion,
  // which needs unique keys. Its O(m log(n/m + 1)) comparisons win by far
  // when one side is much smaller; of two sides within a factor 8 of each
  // other, an in-order walk of both, O(n + m), does the same work with fewer
  // cache misses, as bench/set_algebra measures. Forked, it is the
  // recursion.
  bool by_recursion(const basic_tree& other, int32_t fork) const {
    if constexpr (!Unique) {
      static_cast<void>(other);
      static_cast<void>(fork);
      return false;
    } else {
      if (fork > 0) {
        return true;
      }
      const size_type ours = size();
      const size_type theirs = other.size();
      return ours / 8 > theirs || theirs / 8 > ours;
    }
  }

  // `other` with this container's allocator, for the nodes to move.
  basic_tree& movable(basic_tree& other, std::optional<basic_tree>& moved) {
    if (alloc_ == other.alloc_) {
      return other;
    }
    moved.emplace(std::move(other), allocator_type(alloc_));
    return *moved;
  }

  void unite_with_copy(const basic_tree& other, int32_t fork) {
    basic_tree copy(other, allocator_type(alloc_));
    unite_with(copy, fork);
  }

  void filter_with_copy(const basic_tree& other, bool keep, int32_t fork) {
    basic_tree copy(other, allocator_type(alloc_));
    filter_with(copy, keep, fork);
  }

  void unite_with(basic_tree& from, int32_t fork) {
    std::optional<basic_tree> moved;
    basic_tree& other = movable(from, moved);
    if (other.empty() || static_cast<const void*>(&other) == static_cast<const void*>(this)) {
      return;
    }
    if (empty()) {
      take_nodes(other);
      return;
    }
    // A few elements into many: a descent for each costs least.
    const bool by_descent = Unique && fork == 0 && size() / 8 > other.size();
    if (!by_descent && by_recursion(other, fork)) {
      const bool known = count_.known() && other.count_.known();
      const size_type bound = count_.bound() + other.count_.bound();
      const size_type total = known ? size() + other.size() : 0;
      core::piece<node_base> result{nullptr, 0};
      core::piece<node_base> dropped{nullptr, 0};
      const core::piece<node_base> a = whole();
      const core::piece<node_base> b = other.whole();
      auto body = [&] {
        core::unite(a, b, &result, &dropped, algebra{{}, this}, {fork, kForkLevels});
      };
      try {
        core::with_threads(fork > 0, body);
      } catch (...) {
        // Every node is in one of the two trees, this container's own and
        // others; neither count is known.
        adopt_tree(result.root);
        count_.set_unknown(bound);
        other.adopt_tree(dropped.root);
        other.count_.set_unknown(other.count_.bound());
        throw;
      }
      adopt_tree(result.root);
      other.reset();
      size_type duplicates = 0;
      release_in_order(dropped.root, [&duplicates](node_base*) { return ++duplicates, true; });
      known ? count_.set(total - duplicates) : count_.set_unknown(bound);
      if (count_.bound() > max_size()) {
        count_.set(size());
      }
    } else {
      unite_in_order(other, by_descent);
    }
  }

  // Both walked in order, each element of `other` linked where it belongs
  // here (no comparison needed for that), the first min(i, j) of a key's j
  // there set aside; or, `by_descent` (unique keys, `other` the much smaller
  // side), each element of `other` placed by a descent from the root, which
  // costs less than cutting and joining for every one of its few elements. `other` is walked with a
  // cursor, which reads only the links of nodes not yet visited, so its tree is left as it is
  // meanwhile and never rebalanced; if a comparison or the limit throws, what it still holds, the
  // set-aside nodes and then the rest of the walk, in key order, becomes its tree again, so nothing
  // is lost.
  void unite_in_order(basic_tree& other, bool by_descent) {
    node_base* here = header_.right;
    node_base* aside = nullptr;
    node_base** aside_tail = &aside;
    size_type left_there = 0;  // set aside, or not yet reached
    auto keep_there = [&](node_base* at) {
      at->right = nullptr;
      *aside_tail = at;
      aside_tail = &at->right;
      left_there += 1;
    };
    core::cursor<node_base> walk;
    node_base* at = core::cursor_first(walk, other.root());
    try {
      while (by_descent && at != nullptr) {  // unique keys only
        const spot to = spot_by_key(key_of(at));
        node_base* const moving = at;
        if (to.equal == nullptr) {
          check_room();
        }
        at = core::cursor_next(walk);
        if (to.equal != nullptr) {
          keep_there(moving);
        } else {
          link_at(to, moving);
        }
      }
      while (at != nullptr) {
        if (here != &header_ && !comp_(key_of(at), key_of(here))) {
          const bool equal = !comp_(key_of(here), key_of(at));
          here = node_base::next(here);
          if (equal) {
            node_base* const twin = at;
            at = core::cursor_next(walk);
            keep_there(twin);
          }
          continue;
        }
        check_room();
        node_base* const moving = at;
        at = core::cursor_next(walk);
        link_at(just_before(here), moving);
      }
    } catch (...) {
      while (at != nullptr) {
        node_base* const rest = at;
        at = core::cursor_next(walk);
        keep_there(rest);
      }
      int32_t levels = 0;
      other.adopt_tree(core::build_from_list(aside, left_there, &levels, parent_links{}));
      other.count_.set(left_there);
      throw;
    }
    other.reset();
    while (aside != nullptr) {
      node_base* const next = aside->right;
      drop_node(static_cast<node*>(aside));
      aside = next;
    }
  }

  // Intersection (keep) and difference: the matches of `other`'s elements
  // here are found and recorded in `other`'s nodes, with all comparisons;
  // then, with none, `other` is released in key order, and each recorded
  // match is taken out of this tree (and kept aside, for the intersection,
  // whose tree is then rebuilt from them).
  void filter_with(basic_tree& from, bool keep, int32_t fork) {
    std::optional<basic_tree> moved;
    basic_tree& other = movable(from, moved);
    if (static_cast<const void*>(&other) == static_cast<const void*>(this)) {
      if (!keep) {
        clear();
      }
      return;
    }
    if (empty() || other.empty()) {
      if (keep) {
        clear();
      }
      other.clear();
      return;
    }
    if (by_recursion(other, fork)) {
      core::piece<node_base> result{nullptr, 0};
      const core::piece<node_base> a = whole();
      node_base* const b = other.root();
      const int32_t b_height = other.height();
      auto body = [&] {
        core::find_equals(b, b_height, a, &result, algebra{{}, this},
                          core::fork_policy{fork, kForkLevels});
      };
      try {
        core::with_threads(fork > 0, body);
      } catch (...) {
        adopt_tree(result.root);  // every node, rejoined; the count stands
        other.forget_records();
        throw;
      }
      adopt_tree(result.root);
    } else {
      try {
        record_in_order(other);
      } catch (...) {
        other.forget_records();
        throw;
      }
    }
    if (!keep) {
      other.release_in_order(other.root(), [this](node_base* gone) {
        if (node_base* const match = gone->recorded()) {
          unlink(match);
          drop_node(static_cast<node*>(match));
        }
        return true;
      });
      other.reset();
      return;
    }
    // The intersection keeps few or many: the matches are marked, then the
    // whole tree is released but for them, and rebuilt from them.
    other.release_in_order(other.root(), [](node_base* gone) {
      if (node_base* const match = gone->recorded()) {
        match->up |= node_base::kRecorded;
      }
      return true;
    });
    other.reset();
    node_base* kept = nullptr;
    node_base** kept_tail = &kept;
    size_type kept_count = 0;
    release_in_order(root(), [&](node_base* at) {
      if ((at->up & node_base::kRecorded) == 0) {
        return true;
      }
      at->right = nullptr;
      *kept_tail = at;
      kept_tail = &at->right;
      kept_count += 1;
      return false;
    });
    int32_t levels = 0;
    adopt_tree(core::build_from_list(kept, kept_count, &levels, parent_links{}));
    count_.set(kept_count);
  }

  // Equal keys: the i-th of a key's elements there matches the i-th here.
  // `other` is walked with a cursor, which needs no parent link, since the
  // records take their place.
  void record_in_order(basic_tree& other) const {
    core::cursor<node_base> at;
    const node_base* here = header_.right;
    for (node_base* there = core::cursor_first(at, other.root());
         there != nullptr && here != &header_;) {
      if (comp_(key_of(here), key_of(there))) {
        here = node_base::next(here);
      } else if (comp_(key_of(there), key_of(here))) {
        there = core::cursor_next(at);
      } else {
        node_base* const match = const_cast<node_base*>(here);
        here = node_base::next(here);
        node_base* const recorded = there;
        there = core::cursor_next(at);
        recorded->record(match);
      }
    }
  }

  // After a recording that threw: the parent links come back from the
  // child links.
  void forget_records() noexcept {
    struct restore {
      static void below(node_base* node) {
        for (node_base* child : {node->left, node->right}) {
          if (child != nullptr) {
            child->set_parent(node);  // which clears the record
            below(child);
          }
        }
      }
    };
    if (root() != nullptr) {
      root()->set_parent(&header_);
      restore::below(root());
    }
  }

  struct check_ops : parent_links {
    const basic_tree* tree;
    explicit check_ops(const basic_tree* t) : tree(t) {}
    bool in_order(const node_base* a, const node_base* b) const {
      return Unique ? tree->comp_(key_of(a), key_of(b)) : !tree->comp_(key_of(b), key_of(a));
    }
    static int32_t report_key(const node_base*) { return 0; }  // reports go nowhere here
  };

  node_base header_;
  element_count count_;
  Compare comp_;
  node_allocator alloc_;
};

template <class Container, class Predicate>
typename Container::size_type erase_matching(Container& container, Predicate& predicate) {
  const typename Container::size_type before = container.size();
  for (auto at = container.begin(); at != container.end();) {
    if (predicate(*at)) {
      at = container.erase(at);
    } else {
      ++at;
    }
  }
  return before - container.size();
}

}  // namespace detail

// -------------------------------------------------------------- the sets --

// std::set's members, with the same meanings (the list of differences is at
// the top of this header).
template <class Key, class Compare = std::less<Key>, class Allocator = std::allocator<Key>>
class set : public detail::basic_tree<Key, void, Compare, Allocator, true> {
  using base = detail::basic_tree<Key, void, Compare, Allocator, true>;

 public:
  using value_compare = Compare;
  using insert_return_type =
      detail::insert_return_type<typename base::iterator, typename base::node_type>;
  using base::base;
  set() = default;
  // Declared here, not only inherited, so that the deduction from a braced
  // list (avl::set s{3, 1, 2}) finds it.
  set(std::initializer_list<Key> values, const Compare& comp = Compare(),
      const Allocator& alloc = Allocator())
      : base(values, comp, alloc) {}
  set& operator=(std::initializer_list<Key> values) {
    base::operator=(values);
    return *this;
  }
  value_compare value_comp() const { return this->key_comp(); }
  // Every element not less than `key` moves to the set returned, which has
  // this one's comparator and allocator; this keeps the rest. O(log n).
  set split(const Key& key) {
    set upper(this->key_comp(), this->get_allocator());
    this->split_into(key, upper);
    return upper;
  }
  void swap(set& other) noexcept(noexcept(std::declval<base&>().swap(other))) { base::swap(other); }
  friend void swap(set& a, set& b) noexcept(noexcept(a.swap(b))) { a.swap(b); }
};

// std::multiset's members, with the same meanings.
template <class Key, class Compare = std::less<Key>, class Allocator = std::allocator<Key>>
class multiset : public detail::basic_tree<Key, void, Compare, Allocator, false> {
  using base = detail::basic_tree<Key, void, Compare, Allocator, false>;

 public:
  using value_compare = Compare;
  using base::base;
  multiset() = default;
  multiset(std::initializer_list<Key> values, const Compare& comp = Compare(),
           const Allocator& alloc = Allocator())
      : base(values, comp, alloc) {}
  multiset& operator=(std::initializer_list<Key> values) {
    base::operator=(values);
    return *this;
  }
  value_compare value_comp() const { return this->key_comp(); }
  // As set's: the elements equal to `key` go with the ones after it.
  multiset split(const Key& key) {
    multiset upper(this->key_comp(), this->get_allocator());
    this->split_into(key, upper);
    return upper;
  }
  void swap(multiset& other) noexcept(noexcept(std::declval<base&>().swap(other))) {
    base::swap(other);
  }
  friend void swap(multiset& a, multiset& b) noexcept(noexcept(a.swap(b))) { a.swap(b); }
};

// -------------------------------------------------------------- the maps --

namespace detail {

// What the two maps add to the containers: the mapped value and the
// comparison of elements by their keys.
template <class Key, class T, class Compare, class Allocator, bool Unique>
class map_base : public basic_tree<Key, T, Compare, Allocator, Unique> {
  using base = basic_tree<Key, T, Compare, Allocator, Unique>;

 public:
  using mapped_type = T;
  using typename base::const_iterator;
  using typename base::iterator;
  using typename base::value_type;

  class value_compare {
   public:
    bool operator()(const value_type& a, const value_type& b) const {
      return comp(a.first, b.first);
    }

   protected:
    friend class map_base;
    explicit value_compare(Compare c) : comp(std::move(c)) {}
    Compare comp;
  };

  using base::base;
  map_base() = default;

  value_compare value_comp() const { return value_compare(this->key_comp()); }

  using base::insert;
  // Anything a value_type can be made from, as std::map takes it.
  template <class P, std::enable_if_t<std::is_constructible_v<value_type, P&&>, int> = 0>
  auto insert(P&& value) {
    return this->emplace(std::forward<P>(value));
  }
  template <class P, std::enable_if_t<std::is_constructible_v<value_type, P&&>, int> = 0>
  iterator insert(const_iterator hint, P&& value) {
    return this->emplace_hint(hint, std::forward<P>(value));
  }
};

}  // namespace detail

// std::map's members, with the same meanings.
template <class Key, class T, class Compare = std::less<Key>,
          class Allocator = std::allocator<std::pair<const Key, T>>>
class map : public detail::map_base<Key, T, Compare, Allocator, true> {
  using base = detail::map_base<Key, T, Compare, Allocator, true>;

 public:
  using typename base::const_iterator;
  using typename base::iterator;
  using typename base::key_type;
  using typename base::value_type;
  using insert_return_type = detail::insert_return_type<iterator, typename base::node_type>;
  using base::base;
  map() = default;
  map(std::initializer_list<value_type> values, const Compare& comp = Compare(),
      const Allocator& alloc = Allocator())
      : base(values, comp, alloc) {}
  map& operator=(std::initializer_list<value_type> values) {
    base::operator=(values);
    return *this;
  }

  T& operator[](const Key& key) { return try_emplace(key).first->second; }
  T& operator[](Key&& key) { return try_emplace(std::move(key)).first->second; }

  // Throws std::out_of_range when the key is absent.
  T& at(const Key& key) { return found_or_throw(this->find(key), this->end())->second; }
  const T& at(const Key& key) const { return found_or_throw(this->find(key), this->end())->second; }

  // Makes the element only when the key is absent; the arguments make T.
  template <class... Args>
  std::pair<iterator, bool> try_emplace(const Key& key, Args&&... args) {
    return emplace_absent(this->spot_by_key(key), key, std::forward<Args>(args)...);
  }
  template <class... Args>
  std::pair<iterator, bool> try_emplace(Key&& key, Args&&... args) {
    return emplace_absent(this->spot_by_key(key), std::move(key), std::forward<Args>(args)...);
  }
  template <class... Args>
  iterator try_emplace(const_iterator hint, const Key& key, Args&&... args) {
    return emplace_absent(this->spot_by_hint(hint, key), key, std::forward<Args>(args)...).first;
  }
  template <class... Args>
  iterator try_emplace(const_iterator hint, Key&& key, Args&&... args) {
    return emplace_absent(this->spot_by_hint(hint, key), std::move(key),
                          std::forward<Args>(args)...)
        .first;
  }

  template <class M>
  std::pair<iterator, bool> insert_or_assign(const Key& key, M&& value) {
    return assign_or_emplace(this->spot_by_key(key), key, std::forward<M>(value));
  }
  template <class M>
  std::pair<iterator, bool> insert_or_assign(Key&& key, M&& value) {
    return assign_or_emplace(this->spot_by_key(key), std::move(key), std::forward<M>(value));
  }
  template <class M>
  iterator insert_or_assign(const_iterator hint, const Key& key, M&& value) {
    return assign_or_emplace(this->spot_by_hint(hint, key), key, std::forward<M>(value)).first;
  }
  template <class M>
  iterator insert_or_assign(const_iterator hint, Key&& key, M&& value) {
    return assign_or_emplace(this->spot_by_hint(hint, key), std::move(key), std::forward<M>(value))
        .first;
  }

  // Every element whose key is not less than `key` moves to the map
  // returned; this keeps the rest. O(log n).
  map split(const Key& key) {
    map upper(this->key_comp(), this->get_allocator());
    this->split_into(key, upper);
    return upper;
  }

  void swap(map& other) noexcept(noexcept(std::declval<base&>().swap(other))) { base::swap(other); }
  friend void swap(map& a, map& b) noexcept(noexcept(a.swap(b))) { a.swap(b); }

 private:
  using spot = typename base::spot;

  template <class It>
  static It found_or_throw(It at, It end) {
    if (at == end) {
      throw std::out_of_range("avl::map::at: no such key");
    }
    return at;
  }

  // The element is made and linked only when the key is absent.
  template <class K, class... Args>
  std::pair<iterator, bool> emplace_absent(const spot& at, K&& key, Args&&... args) {
    if (at.equal != nullptr) {
      return {this->iterator_at(at.equal), false};
    }
    this->check_room();
    typename base::node* fresh =
        this->make_node(std::piecewise_construct, std::forward_as_tuple(std::forward<K>(key)),
                        std::forward_as_tuple(std::forward<Args>(args)...));
    return {this->link_at(at, fresh), true};
  }

  template <class K, class M>
  std::pair<iterator, bool> assign_or_emplace(const spot& at, K&& key, M&& value) {
    if (at.equal != nullptr) {
      iterator found = this->iterator_at(at.equal);
      found->second = std::forward<M>(value);
      return {found, false};
    }
    this->check_room();
    typename base::node* fresh = this->make_node(std::forward<K>(key), std::forward<M>(value));
    return {this->link_at(at, fresh), true};
  }
};

// std::multimap's members, with the same meanings.
template <class Key, class T, class Compare = std::less<Key>,
          class Allocator = std::allocator<std::pair<const Key, T>>>
class multimap : public detail::map_base<Key, T, Compare, Allocator, false> {
  using base = detail::map_base<Key, T, Compare, Allocator, false>;

 public:
  using base::base;
  using typename base::value_type;
  multimap() = default;
  multimap(std::initializer_list<value_type> values, const Compare& comp = Compare(),
           const Allocator& alloc = Allocator())
      : base(values, comp, alloc) {}
  multimap& operator=(std::initializer_list<value_type> values) {
    base::operator=(values);
    return *this;
  }
  // As map's: the elements with a key equal to `key` go with the ones after.
  multimap split(const Key& key) {
    multimap upper(this->key_comp(), this->get_allocator());
    this->split_into(key, upper);
    return upper;
  }
  void swap(multimap& other) noexcept(noexcept(std::declval<base&>().swap(other))) {
    base::swap(other);
  }
  friend void swap(multimap& a, multimap& b) noexcept(noexcept(a.swap(b))) { a.swap(b); }
};

// erase_if, found by argument-dependent lookup: erase_if(container, predicate).
template <class Key, class Compare, class Allocator, class Predicate>
typename set<Key, Compare, Allocator>::size_type erase_if(set<Key, Compare, Allocator>& container,
                                                          Predicate predicate) {
  return detail::erase_matching(container, predicate);
}
template <class Key, class Compare, class Allocator, class Predicate>
typename multiset<Key, Compare, Allocator>::size_type erase_if(
    multiset<Key, Compare, Allocator>& container, Predicate predicate) {
  return detail::erase_matching(container, predicate);
}
template <class Key, class T, class Compare, class Allocator, class Predicate>
typename map<Key, T, Compare, Allocator>::size_type erase_if(
    map<Key, T, Compare, Allocator>& container, Predicate predicate) {
  return detail::erase_matching(container, predicate);
}
template <class Key, class T, class Compare, class Allocator, class Predicate>
typename multimap<Key, T, Compare, Allocator>::size_type erase_if(
    multimap<Key, T, Compare, Allocator>& container, Predicate predicate) {
  return detail::erase_matching(container, predicate);
}

// set_union, set_intersection and set_difference, found by argument-dependent
// lookup: a new container, from copies of the elements, with the meanings of
// union_with, intersect_with and difference_with; avl::parallel as a third
// argument forks the recursion as it does for those.
namespace detail {
template <class T>
struct is_container : std::false_type {};
template <class K, class C, class A>
struct is_container<set<K, C, A>> : std::true_type {};
template <class K, class C, class A>
struct is_container<multiset<K, C, A>> : std::true_type {};
template <class K, class T, class C, class A>
struct is_container<map<K, T, C, A>> : std::true_type {};
template <class K, class T, class C, class A>
struct is_container<multimap<K, T, C, A>> : std::true_type {};
// A container, and nothing or avl::parallel after the two operands.
template <class Container, class... Fork>
using if_container = std::enable_if_t<is_container<Container>::value && sizeof...(Fork) <= 1 &&
                                          (std::is_same_v<Fork, parallel_t> && ...),
                                      int>;
}  // namespace detail

template <class Container, class... Fork, detail::if_container<Container, Fork...> = 0>
Container set_union(const Container& a, const Container& b, Fork... fork) {
  Container result(a);
  result.union_with(b, fork...);
  return result;
}
template <class Container, class... Fork, detail::if_container<Container, Fork...> = 0>
Container set_intersection(const Container& a, const Container& b, Fork... fork) {
  Container result(a);
  result.intersect_with(b, fork...);
  return result;
}
template <class Container, class... Fork, detail::if_container<Container, Fork...> = 0>
Container set_difference(const Container& a, const Container& b, Fork... fork) {
  Container result(a);
  result.difference_with(b, fork...);
  return result;
}

// ------------------------------------------------------ deduction guides --
//
// As std's containers have them: from a list, a range, with or without a
// comparator and an allocator.

namespace detail {
template <class InputIt>
using iter_value_t = typename std::iterator_traits<InputIt>::value_type;
template <class InputIt>
using iter_key_t = std::remove_const_t<typename iter_value_t<InputIt>::first_type>;
template <class InputIt>
using iter_mapped_t = typename iter_value_t<InputIt>::second_type;
template <class InputIt>
using iter_pair_t = std::pair<const iter_key_t<InputIt>, iter_mapped_t<InputIt>>;
template <class T>
using is_allocator_like = decltype(std::declval<T&>().allocate(std::size_t{}));
template <class T, class = void>
struct is_allocator : std::false_type {};
template <class T>
struct is_allocator<T, std::void_t<is_allocator_like<T>>> : std::true_type {};
template <class InputIt>
using is_input_iterator =
    std::is_convertible<typename std::iterator_traits<InputIt>::iterator_category,
                        std::input_iterator_tag>;
}  // namespace detail

#define AVL_SET_GUIDES(container)                                                             \
  template <class InputIt, class Compare = std::less<detail::iter_value_t<InputIt>>,          \
            class Allocator = std::allocator<detail::iter_value_t<InputIt>>,                  \
            std::enable_if_t<detail::is_input_iterator<InputIt>::value &&                     \
                                 !detail::is_allocator<Compare>::value &&                     \
                                 detail::is_allocator<Allocator>::value,                      \
                             int> = 0>                                                        \
  container(InputIt, InputIt, Compare = Compare(), Allocator = Allocator())                   \
      -> container<detail::iter_value_t<InputIt>, Compare, Allocator>;                        \
  template <class Key, class Compare = std::less<Key>, class Allocator = std::allocator<Key>, \
            std::enable_if_t<!detail::is_allocator<Compare>::value &&                         \
                                 detail::is_allocator<Allocator>::value,                      \
                             int> = 0>                                                        \
  container(std::initializer_list<Key>, Compare = Compare(), Allocator = Allocator())         \
      -> container<Key, Compare, Allocator>;                                                  \
  template <class InputIt, class Allocator,                                                   \
            std::enable_if_t<detail::is_input_iterator<InputIt>::value &&                     \
                                 detail::is_allocator<Allocator>::value,                      \
                             int> = 0>                                                        \
  container(InputIt, InputIt, Allocator)                                                      \
      -> container<detail::iter_value_t<InputIt>, std::less<detail::iter_value_t<InputIt>>,   \
                   Allocator>;                                                                \
  template <class Key, class Allocator,                                                       \
            std::enable_if_t<detail::is_allocator<Allocator>::value, int> = 0>                \
  container(std::initializer_list<Key>, Allocator) -> container<Key, std::less<Key>, Allocator>;

#define AVL_MAP_GUIDES(container)                                                        \
  template <class InputIt, class Compare = std::less<detail::iter_key_t<InputIt>>,       \
            class Allocator = std::allocator<detail::iter_pair_t<InputIt>>,              \
            std::enable_if_t<detail::is_input_iterator<InputIt>::value &&                \
                                 !detail::is_allocator<Compare>::value &&                \
                                 detail::is_allocator<Allocator>::value,                 \
                             int> = 0>                                                   \
  container(InputIt, InputIt, Compare = Compare(), Allocator = Allocator())              \
      -> container<detail::iter_key_t<InputIt>, detail::iter_mapped_t<InputIt>, Compare, \
                   Allocator>;                                                           \
  template <class Key, class T, class Compare = std::less<Key>,                          \
            class Allocator = std::allocator<std::pair<const Key, T>>,                   \
            std::enable_if_t<!detail::is_allocator<Compare>::value &&                    \
                                 detail::is_allocator<Allocator>::value,                 \
                             int> = 0>                                                   \
  container(std::initializer_list<std::pair<Key, T>>, Compare = Compare(),               \
            Allocator = Allocator()) -> container<Key, T, Compare, Allocator>;           \
  template <class InputIt, class Allocator,                                              \
            std::enable_if_t<detail::is_input_iterator<InputIt>::value &&                \
                                 detail::is_allocator<Allocator>::value,                 \
                             int> = 0>                                                   \
  container(InputIt, InputIt, Allocator)                                                 \
      -> container<detail::iter_key_t<InputIt>, detail::iter_mapped_t<InputIt>,          \
                   std::less<detail::iter_key_t<InputIt>>, Allocator>;                   \
  template <class Key, class T, class Allocator,                                         \
            std::enable_if_t<detail::is_allocator<Allocator>::value, int> = 0>           \
  container(std::initializer_list<std::pair<Key, T>>, Allocator)                         \
      -> container<Key, T, std::less<Key>, Allocator>;

AVL_SET_GUIDES(set)
AVL_SET_GUIDES(multiset)
AVL_MAP_GUIDES(map)
AVL_MAP_GUIDES(multimap)

#undef AVL_SET_GUIDES
#undef AVL_MAP_GUIDES

// ------------------------------------------------------------ avl::tree --

namespace detail {
// What an empty tree without a handle is read as. Only ever read.
inline const AVL_TREE kEmptyTree = {0, nullptr};

// Tag of the reverse iterator's constructor that stands it on a position as
// it is (rend() on past the end).
struct standing_on {};

// avl::tree's reverse iterator, which stands on the element it dereferences,
// unlike std::reverse_iterator, which stands one after it and so would copy a
// whole path on every dereference. Past the end is rend(). `Forward` steps with
// ++ and --, and gives step_forward_or_first() and at_end() to its friend.
template <class Forward>
class reverse_iterator {
 public:
  using iterator_type = Forward;
  using iterator_category = std::bidirectional_iterator_tag;
  using iterator_concept = std::bidirectional_iterator_tag;
  using value_type = typename Forward::value_type;
  using difference_type = std::ptrdiff_t;
  using pointer = typename Forward::pointer;
  using reference = typename Forward::reference;

  reverse_iterator() = default;
  // As std::reverse_iterator(position): the element before `position`.
  explicit reverse_iterator(Forward position) : on_(position) { --on_; }
  reverse_iterator(Forward on, standing_on) : on_(on) {}
  template <class Other, std::enable_if_t<std::is_convertible_v<const Other&, Forward>, int> = 0>
  reverse_iterator(const reverse_iterator<Other>& other) : on_(other.on_) {}

  // The forward iterator one after the element, as std's base().
  Forward base() const {
    Forward after = on_;
    after.step_forward_or_first();
    return after;
  }

  reference operator*() const { return *on_; }
  pointer operator->() const { return on_.operator->(); }
  reverse_iterator& operator++() {
    --on_;
    return *this;
  }
  reverse_iterator operator++(int) {
    reverse_iterator before = *this;
    --on_;
    return before;
  }
  reverse_iterator& operator--() {
    on_.step_forward_or_first();
    return *this;
  }
  reverse_iterator operator--(int) {
    reverse_iterator before = *this;
    on_.step_forward_or_first();
    return before;
  }

  friend bool operator==(const reverse_iterator& a, const reverse_iterator& b) {
    return a.on_ == b.on_;
  }
  friend bool operator!=(const reverse_iterator& a, const reverse_iterator& b) {
    return !(a.on_ == b.on_);
  }

 private:
  template <class>
  friend class reverse_iterator;

  Forward on_;
};

}  // namespace detail

// std::multiset<int32_t>'s members over the C module's records: it owns an
// AVL_TREE (native() gives it to the C functions) and runs core.hpp's
// recursion under the C records' own rules, so its trees are the module's,
// node for node. It shares the core's steps, the sorted build and the copy
// with the containers above, but not their iterators: the records keep no
// parent links, so an iterator is a cursor holding the path from the root
// (about 400 bytes), which any change invalidates, end() included, since a
// change rotates nodes to new places on such paths; and a deletion at a node
// with two children moves the predecessor's key into it, so references to
// keys (*it) last only as long as the iterators. begin() is O(log n), a step
// O(1) amortised, erase(key) O(k log n). Out of memory throws std::bad_alloc,
// and nothing allocates until the first insertion (a default-constructed,
// moved-from or cleared tree holds no handle).
class tree {
 public:
  using key_type = int32_t;
  using value_type = int32_t;
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;
  using key_compare = std::less<int32_t>;
  using value_compare = std::less<int32_t>;
  using reference = const int32_t&;
  using const_reference = const int32_t&;

  // A bidirectional iterator over the keys in non-decreasing order; the keys
  // are read-only, since a key changed in place would break the order.
  class const_iterator {
   public:
    using iterator_category = std::bidirectional_iterator_tag;
    using iterator_concept = std::bidirectional_iterator_tag;
    using value_type = int32_t;
    using difference_type = std::ptrdiff_t;
    using pointer = const int32_t*;
    using reference = const int32_t&;

    // Past the end of no tree; equal only to other such iterators and ends.
    const_iterator() noexcept {
      avl::core::cursor_start(cursor_);
      cursor_.tree = nullptr;
    }

    reference operator*() const noexcept { return cursor_.node->data; }
    pointer operator->() const noexcept { return &cursor_.node->data; }

    const_iterator& operator++() noexcept {
      AVL_cursor_next(&cursor_);
      return *this;
    }
    const_iterator operator++(int) noexcept {
      const_iterator before = *this;
      AVL_cursor_next(&cursor_);
      return before;
    }
    const_iterator& operator--() noexcept {
      AVL_cursor_prev(&cursor_);
      return *this;
    }
    const_iterator operator--(int) noexcept {
      const_iterator before = *this;
      AVL_cursor_prev(&cursor_);
      return before;
    }

    // Iterators of one tree are equal when they stand on the same node, or
    // both past the end.
    friend bool operator==(const const_iterator& a, const const_iterator& b) noexcept {
      return a.cursor_.node == b.cursor_.node;
    }
    friend bool operator!=(const const_iterator& a, const const_iterator& b) noexcept {
      return a.cursor_.node != b.cursor_.node;
    }

    // The cursor underneath, for C calls.
    const AVL_CURSOR& cursor() const noexcept { return cursor_; }

   private:
    friend class tree;
    template <class>
    friend class detail::reverse_iterator;
    // For the tree's members, whose module call then sets the whole cursor:
    // clearing its path first would cost more than many steps.
    struct unset {};
    explicit const_iterator(unset) noexcept {}

    void step_forward_or_first() noexcept {
      if (cursor_.node == nullptr) {
        AVL_cursor_first(&cursor_, cursor_.tree);
      } else {
        AVL_cursor_next(&cursor_);
      }
    }

    AVL_CURSOR cursor_;
  };
  using iterator = const_iterator;
  using const_reverse_iterator = detail::reverse_iterator<const_iterator>;
  using reverse_iterator = const_reverse_iterator;

  // An empty tree; allocates nothing until the first insertion.
  tree() noexcept = default;

  // O(n) when the keys are sorted (a balanced tree is built directly).
  template <class InputIt>
  tree(InputIt first, InputIt last) : tree() {
    insert(first, last);
  }
  tree(std::initializer_list<int32_t> keys) : tree(keys.begin(), keys.end()) {}

  // A copy in the source's shape, balance factors included: O(n).
  tree(const tree& other) : tree() {
    if (other.empty()) {
      return;
    }
    AVL_TREE* copy = handle();
    auto make = [](const nod* from) {
      nod* fresh = new (std::nothrow) nod;
      if (fresh == nullptr) {
        throw std::bad_alloc();
      }
      fresh->data = from->data;
      return fresh;
    };
    auto release = [](nod* gone) { delete gone; };
    copy->root = avl::core::clone<nod>(other.handle_->root, make, release, avl::core::nod_policy{});
    copy->size = other.handle_->size;
  }

  tree(tree&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

  tree& operator=(const tree& other) {
    if (this != &other) {
      tree copy(other);
      swap(copy);
    }
    return *this;
  }

  tree& operator=(tree&& other) noexcept {
    if (this != &other) {
      AVL_destroy(handle_);
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }

  tree& operator=(std::initializer_list<int32_t> keys) {
    tree fresh(keys);
    swap(fresh);
    return *this;
  }

  ~tree() { AVL_destroy(handle_); }

  void swap(tree& other) noexcept { std::swap(handle_, other.handle_); }
  friend void swap(tree& a, tree& b) noexcept { a.swap(b); }

  // ------------------------------------------------------------ capacity --
  bool empty() const noexcept { return view()->size == 0; }
  size_type size() const noexcept { return static_cast<size_type>(view()->size); }
  size_type max_size() const noexcept { return INT32_MAX; }
  // Levels from the root down (0 when empty); O(log n).
  int32_t height() const noexcept { return AVL_height(view()); }
  // Every invariant of the tree (AVL_check); writes the first fault to
  // `report` when it is not null.
  bool check(std::FILE* report = nullptr) const noexcept { return AVL_check(view(), report) == 1; }

  // ----------------------------------------------------------- modifiers --

  // Adds a copy of `key` after the ones already there; returns an iterator to it.
  iterator insert(int32_t key) { return link(key, nullptr); }

  // Just before `hint` when the order allows, else as near to it as it allows.
  iterator insert(const_iterator hint, int32_t key) {
    const nod* at = hint.cursor_.node;
    if (at == nullptr || key <= at->data) {
      AVL_CURSOR back = hint.cursor_;
      const nod* previous =
          at == nullptr ? find_largest_node(view()->root) : AVL_cursor_prev(&back);
      if (previous == nullptr || previous->data <= key) {
        return link(key, &hint.cursor_);
      }
      return link(key, nullptr);  // after the equal keys, below the hint
    }
    const const_iterator lower = lower_bound(key);
    return link(key, &lower.cursor_);  // before the equal keys, above the hint
  }

  // O(n) into an empty tree when [first, last) is sorted.
  template <class InputIt>
  void insert(InputIt first, InputIt last) {
    if (!empty()) {
      for (; first != last; ++first) {
        insert(end(), static_cast<int32_t>(*first));
      }
      return;
    }
    fill(first, last);
  }
  void insert(std::initializer_list<int32_t> keys) { insert(keys.begin(), keys.end()); }

  template <class... Args>
  iterator emplace(Args&&... args) {
    return insert(int32_t(std::forward<Args>(args)...));
  }
  template <class... Args>
  iterator emplace_hint(const_iterator hint, Args&&... args) {
    return insert(hint, int32_t(std::forward<Args>(args)...));
  }

  // Removes every copy of `key`; returns how many there were. O(k log n).
  size_type erase(int32_t key) noexcept {
    size_type erased = 0;
    while (handle_ != nullptr && AVL_delete(handle_, key) == 1) {
      erased += 1;
    }
    return erased;
  }

  // Removes the key at `position` (which must stand on a key); returns an
  // iterator to the key that followed it. O(log n).
  iterator erase(const_iterator position) noexcept {
    unlink_and_step(position.cursor_);
    return position;
  }

  iterator erase(const_iterator first, const_iterator last) noexcept {
    while (first != last) {
      first = erase(first);
    }
    return first;
  }

  void clear() noexcept {
    AVL_destroy(handle_);
    handle_ = nullptr;
  }

  // -------------------------------------------------------------- lookup --
  // O(log n + the count).
  size_type count(int32_t key) const noexcept {
    return static_cast<size_type>(AVL_count(view(), key));
  }
  bool contains(int32_t key) const noexcept { return search_avl(view()->root, key) != nullptr; }
  // The first copy of `key`, or end().
  const_iterator find(int32_t key) const noexcept {
    const_iterator at = lower_bound(key);
    return at.cursor_.node != nullptr && at.cursor_.node->data == key ? at : end();
  }
  const_iterator lower_bound(int32_t key) const noexcept {
    const_iterator at{const_iterator::unset{}};
    AVL_cursor_lower_bound(&at.cursor_, view(), key);
    return at;
  }
  const_iterator upper_bound(int32_t key) const noexcept {
    const_iterator at{const_iterator::unset{}};
    AVL_cursor_upper_bound(&at.cursor_, view(), key);
    return at;
  }
  std::pair<const_iterator, const_iterator> equal_range(int32_t key) const noexcept {
    return {lower_bound(key), upper_bound(key)};
  }
  key_compare key_comp() const noexcept { return key_compare(); }
  value_compare value_comp() const noexcept { return value_compare(); }

  // ----------------------------------------------------------- iterators --
  // begin() is O(log n), end() O(1).
  const_iterator begin() const noexcept {
    const_iterator at{const_iterator::unset{}};
    AVL_cursor_first(&at.cursor_, view());
    return at;
  }
  const_iterator end() const noexcept {
    const_iterator at{const_iterator::unset{}};
    AVL_cursor_end(&at.cursor_, view());
    return at;
  }
  const_iterator cbegin() const noexcept { return begin(); }
  const_iterator cend() const noexcept { return end(); }
  const_reverse_iterator rbegin() const noexcept { return const_reverse_iterator(end()); }
  const_reverse_iterator rend() const noexcept {
    return const_reverse_iterator(end(), detail::standing_on{});
  }
  const_reverse_iterator crbegin() const noexcept { return rbegin(); }
  const_reverse_iterator crend() const noexcept { return rend(); }

  // ---------------------------------------------------------- comparison --
  friend bool operator==(const tree& a, const tree& b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }
#if __cplusplus >= 202002L && defined(__cpp_lib_three_way_comparison)
  friend std::strong_ordering operator<=>(const tree& a, const tree& b) noexcept {
    return std::lexicographical_compare_three_way(a.begin(), a.end(), b.begin(), b.end());
  }
#else
  friend bool operator!=(const tree& a, const tree& b) noexcept {
    return !(a == b);
  }
  friend bool operator<(const tree& a, const tree& b) noexcept {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
  }
  friend bool operator>(const tree& a, const tree& b) noexcept {
    return b < a;
  }
  friend bool operator<=(const tree& a, const tree& b) noexcept {
    return !(b < a);
  }
  friend bool operator>=(const tree& a, const tree& b) noexcept {
    return !(a < b);
  }
#endif

  // ------------------------------------------------------------- C calls --
  // The handle, for the C functions. The non-const one creates the handle of
  // an empty tree that has none yet (std::bad_alloc when it cannot); changes
  // made through it invalidate the iterators as the members' changes do.
  AVL_TREE* native() {
    return handle();
  }
  const AVL_TREE* native() const noexcept {
    return view();
  }

 private:
  const AVL_TREE* view() const noexcept {
    return handle_ != nullptr ? handle_ : &detail::kEmptyTree;
  }

  AVL_TREE* handle() {
    if (handle_ == nullptr) {
      handle_ = create_avl_tree();
      if (handle_ == nullptr) {
        throw std::bad_alloc();
      }
    }
    return handle_;
  }

  // The C records' policy with a cursor kept on one node through the change:
  // the new leaf of an insertion, or the node after the one an erasure
  // removes. Insertion goes by key (AVL_insert's descent) or just before the
  // node of a cursor; erasure to the node at the end of a cursor's path.
  template <bool Inserts>
  struct change_state {
    avl::core::kept_cursor<AVL_CURSOR, Inserts> kept;  // an insertion's descent builds its path
    avl::core::along_path<AVL_CURSOR> along;
  };

  // The C records' policy, its reports also going to the kept cursor.
  template <bool Inserts>
  struct tracking : avl::core::nod_policy {
    change_state<Inserts>* s;
    void note(trace_event event, nod* node, int32_t a, int32_t b) const {
      avl::core::nod_policy::note(event, node, a, b);
      s->kept.note(event, node, a, b);
    }
  };

  struct insert_before : tracking<true> {
    bool goes_left(const nod*, const nod* node) const { return s->along.goes_left_before(node); }
  };

  struct erase_at : tracking<false> {
    int where(const nod*) const { return s->along.where(); }
  };

  // AVL_insert's work with a cursor kept on the new node: refuses (throws)
  // before anything changes.
  iterator link(int32_t key, const AVL_CURSOR* before) {
    AVL_TREE* target = handle();
    if (target->size == INT32_MAX) {
      throw std::length_error("avl::tree: INT32_MAX keys already");
    }
    nod* fresh = new (std::nothrow) nod;
    if (fresh == nullptr) {
      throw std::bad_alloc();
    }
    *fresh = nod{key, nullptr, nullptr, 0};
    const_iterator result{const_iterator::unset{}};
    avl::core::cursor_start(result.cursor_);
    result.cursor_.tree = target;
    change_state<true> state{{&result.cursor_}, {before}};
    bool grew = false;
    if (before != nullptr) {
      target->root = avl::core::insert(target->root, fresh, &grew, insert_before{{{}, &state}});
    } else {
      target->root = avl::core::insert(target->root, fresh, &grew, tracking<true>{{}, &state});
    }
    target->size += 1;
    return result;
  }

  // AVL_delete's work on the node under `c`, which then steps on to the node
  // after it (the turns above the node, read on the way down, stay as they
  // were; the cursor is changed only on the way back up).
  void unlink_and_step(AVL_CURSOR& c) noexcept {
    const int32_t depth = c.depth;
    AVL_cursor_next(&c);
    change_state<false> state{{&c}, {&c, depth}};
    bool shrank = false;
    bool found = false;
    handle_->root = avl::core::erase(handle_->root, &shrank, &found, erase_at{{{}, &state}});
    handle_->size -= 1;
  }

  // Into an empty tree, as the containers' fill: a sorted run is linked into
  // a list through the right links and built balanced in one pass; from the
  // first key out of order on, the rest are inserted one by one.
  template <class InputIt>
  void fill(InputIt first, InputIt last) {
    nod* head = nullptr;
    nod** tail = &head;
    const nod* last_linked = nullptr;
    int32_t count = 0;
    auto drop_list = [&head] {
      avl::core::destroy(head, [](nod* gone) { delete gone; });
      head = nullptr;
    };
    for (; first != last; ++first) {
      const int32_t key = static_cast<int32_t>(*first);
      if (last_linked != nullptr && key < last_linked->data) {
        break;
      }
      nod* fresh = count == INT32_MAX ? nullptr : new (std::nothrow) nod;
      if (fresh == nullptr) {
        drop_list();
        if (count == INT32_MAX) {
          throw std::length_error("avl::tree: INT32_MAX keys already");
        }
        throw std::bad_alloc();
      }
      *fresh = nod{key, nullptr, nullptr, 0};
      *tail = fresh;
      tail = &fresh->right;
      last_linked = fresh;
      count += 1;
    }
    if (count > 0) {
      AVL_TREE* target = nullptr;
      try {
        target = handle();
      } catch (...) {
        drop_list();
        throw;
      }
      int32_t levels = 0;
      target->root = avl::core::build_from_list(head, static_cast<std::size_t>(count), &levels,
                                                avl::core::nod_policy{});
      target->size = count;
    }
    for (; first != last; ++first) {
      insert(static_cast<int32_t>(*first));
    }
  }

  AVL_TREE* handle_ = nullptr;  // null while empty with no handle
};

// erase_if, found by argument-dependent lookup.
template <class Predicate>
tree::size_type erase_if(tree& keys, Predicate predicate) {
  return detail::erase_matching(keys, predicate);
}

#if defined(__cpp_lib_ranges)
static_assert(std::bidirectional_iterator<tree::const_iterator>);
static_assert(std::ranges::bidirectional_range<tree>);
static_assert(std::ranges::bidirectional_range<const tree>);
static_assert(std::bidirectional_iterator<set<int>::iterator>);
static_assert(std::bidirectional_iterator<map<int, int>::iterator>);
static_assert(std::ranges::bidirectional_range<const map<int, int>>);
#endif

}  // namespace avl

#undef AVL_PREFETCH

#endif  // AVL_AVL_HPP
