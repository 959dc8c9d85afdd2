// avl.hpp: AVL trees for C++. avl::set, avl::multiset, avl::map and
// avl::multimap hold any key and value and follow the standard containers'
// manners; avl::tree is a multiset of int32_t over the C module's own records
// (ADT_avl_tree.h), whose handle it owns. Header-only, C++17 (C++20 adds <=>
// and the range concepts).
//
//   avl::map<std::string, int> ages{{"ada", 36}};
//   ages["alan"] = 41;
//   for (const auto& [name, age] : ages) { ... }     // in key order
//   avl::multiset<std::string> words{"b", "a", "b"};  // a b b
//   avl::tree keys{5, 3, 8, 3};                       // the C records
//
// All of them run the one recursion of core.hpp, which the C module runs
// too: the containers instantiate it for their own nodes (a value, two links
// and a balance factor, one allocation each), avl::tree for the C records.
// Equal keys keep insertion order (a new equal key goes after the ones there),
// and a hint places an element as the standard says, just before the hint
// when the order allows, else as near to it as the order allows.
//
// Where they differ from the standard containers:
//   - Any change (an insertion, an erasure, clear, assignment, swap, merge)
//     invalidates every iterator of the container, end() included: the nodes
//     have no parent links, so an iterator holds the path from the root to its
//     element, and a change rotates nodes to new places on such paths. Take
//     iterators again after a change; insert and erase return fresh ones.
//     References and pointers to elements stay valid until that element is
//     erased, as with std::map (avl::tree's keys excepted: see below).
//   - Iterators are large (the path, about 400 bytes), so copy them sparingly.
//     The reverse iterators stand on their element and copy nothing to
//     dereference.
//   - begin() and rbegin() cost O(log n) (std: O(1)); a step is O(1)
//     amortised over a pass, O(log n) at worst; end() is O(1).
//   - erase(key) costs O(k log n) for k equal elements, erase(first, last)
//     O(k log n) for k elements (std: O(k + log n)); clear() is O(n).
//   - std::erase_if cannot be given for types outside std: call erase_if
//     unqualified (or avl::erase_if), which argument-dependent lookup finds.
//   - At most INT32_MAX elements (max_size()); more throws std::length_error.
//   - Several threads may read one container at once; a container that one
//     thread changes needs a lock around every use, as with std's.
// Exceptions are those of std: a throwing allocation, comparison or copy
// leaves the container as it was for a single-element insertion and valid
// and leak-free otherwise.
#ifndef AVL_AVL_HPP
#define AVL_AVL_HPP

#include <algorithm>
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
#include <version>
#if defined(__cpp_lib_ranges)
#include <ranges>
#endif
#endif

namespace avl {
namespace detail {

// ------------------------------------------------------------ iterators --

// Tag of the reverse iterator's constructor that stands it on a position as
// it is (rend() on past the end).
struct standing_on {};

// A reverse iterator that stands on the element it dereferences, unlike
// std::reverse_iterator, which stands one after it and so would copy a whole
// path on every dereference. Past the end is rend(). `Forward` steps with
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

// A node of the containers: two links, the balance factor and the value,
// which is constructed and destroyed through the allocator, not here.
template <class Value>
struct node {
  node* left;
  node* right;
  int32_t balance;
  union {
    Value value;
  };
  node() noexcept {}
  ~node() {}
};

template <class Node, class Value, bool Const>
class tree_iterator {
 public:
  using iterator_category = std::bidirectional_iterator_tag;
  using iterator_concept = std::bidirectional_iterator_tag;
  using value_type = Value;
  using difference_type = std::ptrdiff_t;
  using pointer = std::conditional_t<Const, const Value*, Value*>;
  using reference = std::conditional_t<Const, const Value&, Value&>;

  // Past the end of no container; equal only to other such iterators and ends.
  tree_iterator() noexcept : root_(nullptr) { core::cursor_start(cursor_); }
  // iterator to const_iterator.
  template <bool C = Const, std::enable_if_t<C, int> = 0>
  tree_iterator(const tree_iterator<Node, Value, false>& other) noexcept
      : cursor_(other.cursor_), root_(other.root_) {}

  reference operator*() const noexcept { return cursor_.node->value; }
  pointer operator->() const noexcept { return std::addressof(cursor_.node->value); }

  tree_iterator& operator++() noexcept {
    core::cursor_next(cursor_);
    return *this;
  }
  tree_iterator operator++(int) noexcept {
    tree_iterator before = *this;
    core::cursor_next(cursor_);
    return before;
  }
  tree_iterator& operator--() noexcept {
    core::cursor_prev(cursor_, *root_);
    return *this;
  }
  tree_iterator operator--(int) noexcept {
    tree_iterator before = *this;
    core::cursor_prev(cursor_, *root_);
    return before;
  }

  // Iterators of one container are equal when they stand on the same
  // element, or both past the end.
  friend bool operator==(const tree_iterator& a, const tree_iterator& b) noexcept {
    return a.cursor_.node == b.cursor_.node;
  }
  friend bool operator!=(const tree_iterator& a, const tree_iterator& b) noexcept {
    return a.cursor_.node != b.cursor_.node;
  }

 private:
  template <class, class, bool>
  friend class tree_iterator;
  template <class>
  friend class reverse_iterator;
  template <class, class, class, class, class, bool>
  friend class basic_tree;

  // For the container's members, whose core call then sets the whole cursor:
  // clearing its path first would cost more than many steps.
  struct unset {};
  tree_iterator(unset, Node* const* root) noexcept : root_(root) {}

  void step_forward_or_first() noexcept {
    if (cursor_.node == nullptr) {
      core::cursor_first(cursor_, *root_);
    } else {
      core::cursor_next(cursor_);
    }
  }

  core::cursor<Node> cursor_;
  Node* const* root_;  // the container's root link, for stepping back from the end
};

// --------------------------------------------------------- node handles --

template <class Node, class NodeAllocator, class Allocator, class Key, class Mapped>
class node_handle {
  using node_traits = std::allocator_traits<NodeAllocator>;

 public:
  using allocator_type = Allocator;
  using key_type = Key;
  using value_type = decltype(std::declval<Node&>().value);

  constexpr node_handle() noexcept = default;
  node_handle(node_handle&& other) noexcept
      : node_(std::exchange(other.node_, nullptr)), alloc_(std::move(other.alloc_)) {
    other.alloc_.reset();
  }
  node_handle& operator=(node_handle&& other) noexcept {
    release();
    node_ = std::exchange(other.node_, nullptr);
    alloc_ = std::move(other.alloc_);
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

  void swap(node_handle& other) noexcept {
    std::swap(node_, other.node_);
    std::swap(alloc_, other.alloc_);
  }
  friend void swap(node_handle& a, node_handle& b) noexcept { a.swap(b); }

 private:
  template <class, class, class, class, class, bool>
  friend class basic_tree;

  node_handle(Node* node, const NodeAllocator& alloc) : node_(node), alloc_(alloc) {}

  Node* take() noexcept {
    alloc_.reset();
    return std::exchange(node_, nullptr);
  }

  void release() noexcept {
    if (node_ != nullptr) {
      node_traits::destroy(*alloc_, std::addressof(node_->value));
      node_->~Node();
      node_traits::deallocate(*alloc_, node_, 1);
      node_ = nullptr;
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

// What a node handle's mapped() gives: nothing for a set's element.
template <class Value, bool IsSet>
struct mapped_of {
  using type = void;
};
template <class Value>
struct mapped_of<Value, false> {
  using type = typename Value::second_type;
};

// The key of an element: a set's element is its key, a map's its first.
struct identity {
  template <class T>
  const T& operator()(const T& value) const noexcept {
    return value;
  }
};

struct select_first {
  template <class Pair>
  const typename Pair::first_type& operator()(const Pair& value) const noexcept {
    return value.first;
  }
};

#if __cplusplus >= 202002L && defined(__cpp_lib_three_way_comparison)
// <=> where the elements have it, else built from <, as the standard's
// containers compare.
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

// ------------------------------------------------------ the containers --
//
// What the four containers share. The core's recursion runs under one of
// the policies below; each holds one pointer to the state of the operation
// under way, which also carries the cursor the operation keeps on its result
// (the linked node, or the one after an erased node), following the
// rotations and removals the recursion reports on its way back up.

template <class Key, class Value, class KeyOfValue, class Compare, class Allocator, bool Unique>
class basic_tree {
 protected:
  using node = detail::node<Value>;
  using node_allocator = typename std::allocator_traits<Allocator>::template rebind_alloc<node>;
  using node_traits = std::allocator_traits<node_allocator>;
  static constexpr bool is_set = std::is_same_v<Key, Value>;
  using path = core::cursor<node>;

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
  using iterator = tree_iterator<node, Value, is_set>;
  using const_iterator = tree_iterator<node, Value, true>;
  using reverse_iterator = detail::reverse_iterator<iterator>;
  using const_reverse_iterator = detail::reverse_iterator<const_iterator>;
  using node_type =
      node_handle<node, node_allocator, Allocator, Key, typename mapped_of<Value, is_set>::type>;

  // ------------------------------------------------------ construction --

  basic_tree() : basic_tree(Compare()) {}
  explicit basic_tree(const Compare& comp, const Allocator& alloc = Allocator())
      : comp_(comp), alloc_(alloc) {}
  explicit basic_tree(const Allocator& alloc) : comp_(), alloc_(alloc) {}

  // From a range: O(n) when it is sorted (a balanced tree is built directly),
  // O(n log n) otherwise.
  template <class InputIt>
  basic_tree(InputIt first, InputIt last, const Compare& comp = Compare(),
             const Allocator& alloc = Allocator())
      : comp_(comp), alloc_(alloc) {
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
  basic_tree(const basic_tree& other, const Allocator& alloc)
      : root_(nullptr), size_(0), comp_(other.comp_), alloc_(alloc) {
    root_ = clone_of(other);
    size_ = other.size_;
  }

  basic_tree(basic_tree&& other) noexcept(std::is_nothrow_move_constructible_v<Compare>)
      : root_(std::exchange(other.root_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        comp_(std::move(other.comp_)),
        alloc_(std::move(other.alloc_)) {}
  basic_tree(basic_tree&& other, const Allocator& alloc)
      : root_(nullptr), size_(0), comp_(std::move(other.comp_)), alloc_(alloc) {
    if (alloc_ == other.alloc_) {
      root_ = std::exchange(other.root_, nullptr);
      size_ = std::exchange(other.size_, 0);
    } else {
      root_ = moved_clone_of(other);
      size_ = other.size_;
      other.clear();
    }
  }

  ~basic_tree() { clear(); }

  basic_tree& operator=(const basic_tree& other) {
    if (this != &other) {
      if constexpr (node_traits::propagate_on_container_copy_assignment::value) {
        if (alloc_ != other.alloc_) {
          clear();
        }
        alloc_ = other.alloc_;
      }
      node* copy = clone_of(other);  // first, so a throw leaves this as it was
      clear();
      root_ = copy;
      size_ = other.size_;
      comp_ = other.comp_;
    }
    return *this;
  }

  basic_tree& operator=(basic_tree&& other) noexcept(
      (node_traits::propagate_on_container_move_assignment::value ||
       node_traits::is_always_equal::value) &&
      std::is_nothrow_move_assignable_v<Compare>) {
    if (this == &other) {
      return *this;
    }
    clear();
    if constexpr (node_traits::propagate_on_container_move_assignment::value) {
      alloc_ = std::move(other.alloc_);
    } else if (!(alloc_ == other.alloc_)) {
      // The nodes cannot change hands: move the values into nodes of ours.
      root_ = moved_clone_of(other);
      size_ = other.size_;
      comp_ = other.comp_;
      other.clear();
      return *this;
    }
    root_ = std::exchange(other.root_, nullptr);
    size_ = std::exchange(other.size_, 0);
    comp_ = std::move(other.comp_);
    return *this;
  }

  basic_tree& operator=(std::initializer_list<value_type> values) {
    basic_tree fresh(values, comp_, allocator_type(alloc_));
    swap(fresh);
    return *this;
  }

  allocator_type get_allocator() const noexcept { return allocator_type(alloc_); }

  // --------------------------------------------------------- iterators --

  // O(log n): the path to the first element.
  iterator begin() noexcept { return first<iterator>(); }
  const_iterator begin() const noexcept { return first<const_iterator>(); }
  const_iterator cbegin() const noexcept { return begin(); }
  // O(1).
  iterator end() noexcept { return past_end<iterator>(); }
  const_iterator end() const noexcept { return past_end<const_iterator>(); }
  const_iterator cend() const noexcept { return end(); }
  reverse_iterator rbegin() noexcept { return reverse_iterator(end()); }
  const_reverse_iterator rbegin() const noexcept { return const_reverse_iterator(end()); }
  const_reverse_iterator crbegin() const noexcept { return rbegin(); }
  reverse_iterator rend() noexcept { return reverse_iterator(past_end<iterator>(), standing_on{}); }
  const_reverse_iterator rend() const noexcept {
    return const_reverse_iterator(past_end<const_iterator>(), standing_on{});
  }
  const_reverse_iterator crend() const noexcept { return rend(); }

  // ---------------------------------------------------------- capacity --

  bool empty() const noexcept { return size_ == 0; }
  size_type size() const noexcept { return size_; }
  size_type max_size() const noexcept {
    return std::min<size_type>(node_traits::max_size(alloc_), INT32_MAX);
  }
  // Levels from the root down (0 when empty): O(log n).
  int32_t height() const noexcept { return core::height(root_); }
  // Every invariant, recomputed from the links: order by the comparator
  // (strict for unique keys), balance factors against heights, the count.
  // O(n) time and memory; false as well when that memory cannot be had.
  bool check() const noexcept {
    return core::check(root_, static_cast<int64_t>(size_), nullptr, check_ops{this}) == 1;
  }

  // --------------------------------------------------------- modifiers --

  // Unique keys: pair<iterator, bool>; equal keys: iterator.
  auto insert(const value_type& value) { return emplace(value); }
  auto insert(value_type&& value) { return emplace(std::move(value)); }
  iterator insert(const_iterator hint, const value_type& value) {
    return emplace_hint(hint, value);
  }
  iterator insert(const_iterator hint, value_type&& value) {
    return emplace_hint(hint, std::move(value));
  }
  // O(n) into an empty container when [first, last) is sorted.
  template <class InputIt>
  void insert(InputIt first, InputIt last) {
    if (root_ == nullptr) {
      fill(first, last);
      return;
    }
    for (; first != last; ++first) {
      emplace_hint(end(), *first);
    }
  }
  void insert(std::initializer_list<value_type> values) { insert(values.begin(), values.end()); }

  template <class... Args>
  auto emplace(Args&&... args) {
    node* fresh = make_node(std::forward<Args>(args)...);
    std::pair<iterator, bool> placed = link_by_key(fresh);
    if constexpr (Unique) {
      return placed;
    } else {
      return placed.first;
    }
  }
  template <class... Args>
  iterator emplace_hint(const_iterator hint, Args&&... args) {
    return link_by_hint(hint, make_node(std::forward<Args>(args)...));
  }

  // Node handles: extract unlinks an element without copying or freeing it;
  // insert links one in.
  node_type extract(const_iterator position) {
    return node_type(unlink_at(position.cursor_, position.cursor_.depth, nullptr), alloc_);
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
    std::pair<iterator, bool> placed = link_node(handle.node_, nullptr);
    if (!placed.second) {
      return {placed.first, false, std::move(handle)};
    }
    handle.take();
    return {placed.first, true, node_type()};
  }
  template <bool U = Unique, std::enable_if_t<!U, int> = 0>
  iterator insert(node_type&& handle) {
    if (handle.empty()) {
      return end();
    }
    iterator at = link_node(handle.node_, nullptr).first;
    handle.take();
    return at;
  }
  iterator insert(const_iterator hint, node_type&& handle) {
    if (handle.empty()) {
      return end();
    }
    node* taken = handle.take();
    return link_by_hint(hint, taken);
  }

  // O(log n); returns the iterator to the element after it.
  iterator erase(const_iterator position) {
    drop_node(unlink_and_step(position.cursor_));
    return made<iterator>(position.cursor_);
  }
  template <bool S = is_set, std::enable_if_t<!S, int> = 0>
  iterator erase(iterator position) {
    return erase(const_iterator(position));
  }
  iterator erase(const_iterator first, const_iterator last) {
    if (first == begin() && last == end()) {
      clear();
      return end();
    }
    while (first.cursor_.node != last.cursor_.node) {
      drop_node(unlink_and_step(first.cursor_));
    }
    return made<iterator>(first.cursor_);
  }
  // Every element with the key; returns how many there were.
  size_type erase(const key_type& key) {
    size_type erased = 0;
    for (node* gone; (gone = unlink_key(key)) != nullptr;) {
      drop_node(gone);
      erased += 1;
      if constexpr (Unique) {
        break;
      }
    }
    return erased;
  }

  void clear() noexcept {
    core::destroy(root_, [this](node* gone) { drop_node(gone); });
    root_ = nullptr;
    size_ = 0;
  }

  void swap(basic_tree& other) noexcept(std::is_nothrow_swappable_v<Compare>) {
    using std::swap;
    swap(root_, other.root_);
    swap(size_, other.size_);
    swap(comp_, other.comp_);
    if constexpr (node_traits::propagate_on_container_swap::value) {
      swap(alloc_, other.alloc_);
    }
  }
  friend void swap(basic_tree& a, basic_tree& b) noexcept(noexcept(a.swap(b))) { a.swap(b); }

  // Moves the elements of `source` over, node by node (nothing is copied or
  // allocated); with unique keys, those whose key is here already stay.
  template <class OtherCompare, bool OtherUnique>
  void merge(basic_tree<Key, Value, KeyOfValue, OtherCompare, Allocator, OtherUnique>& source) {
    path at;
    core::cursor_first(at, source.root_);
    while (at.node != nullptr) {
      if constexpr (Unique) {
        if (contains(key_of(at.node))) {
          core::cursor_next(at);
          continue;
        }
      }
      link_by_key(source.unlink_and_step(at));
    }
  }
  template <class OtherCompare, bool OtherUnique>
  void merge(basic_tree<Key, Value, KeyOfValue, OtherCompare, Allocator, OtherUnique>&& source) {
    merge(source);
  }

  // ------------------------------------------------------------ lookup --
  //
  // O(log n). The K overloads take any key the comparator can compare with
  // key_type, when Compare::is_transparent says it can.

  iterator find(const key_type& key) { return find_of<iterator>(key); }
  const_iterator find(const key_type& key) const { return find_of<const_iterator>(key); }
  template <class K, class C = Compare, class = typename C::is_transparent>
  iterator find(const K& key) {
    return find_of<iterator>(key);
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  const_iterator find(const K& key) const {
    return find_of<const_iterator>(key);
  }

  // O(log n + the count).
  size_type count(const key_type& key) const { return count_of(key); }
  template <class K, class C = Compare, class = typename C::is_transparent>
  size_type count(const K& key) const {
    return count_of(key);
  }

  bool contains(const key_type& key) const { return holds(key); }
  template <class K, class C = Compare, class = typename C::is_transparent>
  bool contains(const K& key) const {
    return holds(key);
  }

  iterator lower_bound(const key_type& key) {
    return bound_of<iterator>(at_least<key_type>{this, &key});
  }
  const_iterator lower_bound(const key_type& key) const {
    return bound_of<const_iterator>(at_least<key_type>{this, &key});
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  iterator lower_bound(const K& key) {
    return bound_of<iterator>(at_least<K>{this, &key});
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  const_iterator lower_bound(const K& key) const {
    return bound_of<const_iterator>(at_least<K>{this, &key});
  }

  iterator upper_bound(const key_type& key) {
    return bound_of<iterator>(above<key_type>{this, &key});
  }
  const_iterator upper_bound(const key_type& key) const {
    return bound_of<const_iterator>(above<key_type>{this, &key});
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  iterator upper_bound(const K& key) {
    return bound_of<iterator>(above<K>{this, &key});
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  const_iterator upper_bound(const K& key) const {
    return bound_of<const_iterator>(above<K>{this, &key});
  }

  std::pair<iterator, iterator> equal_range(const key_type& key) { return range_of<iterator>(key); }
  std::pair<const_iterator, const_iterator> equal_range(const key_type& key) const {
    return range_of<const_iterator>(key);
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  std::pair<iterator, iterator> equal_range(const K& key) {
    return range_of<iterator>(key);
  }
  template <class K, class C = Compare, class = typename C::is_transparent>
  std::pair<const_iterator, const_iterator> equal_range(const K& key) const {
    return range_of<const_iterator>(key);
  }

  key_compare key_comp() const { return comp_; }

  // -------------------------------------------------------- comparison --

  friend bool operator==(const basic_tree& a, const basic_tree& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }
#if __cplusplus >= 202002L && defined(__cpp_lib_three_way_comparison)
  friend auto operator<=>(const basic_tree& a, const basic_tree& b) {
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
  template <class, class, class, class, class, bool>
  friend class basic_tree;

  static const Key& key_of(const node* n) noexcept {
    return KeyOfValue()(n->value);
  }
  static const path& path_of(const const_iterator& at) noexcept {
    return at.cursor_;
  }

  // ------------------------------------------------------------- nodes --

  template <class... Args>
  node* make_node(Args&&... args) {
    if (size_ >= max_size()) {
      throw std::length_error("avl: the container holds max_size() elements");
    }
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

  void drop_node(node* gone) noexcept {
    node_traits::destroy(alloc_, std::addressof(gone->value));
    gone->~node();
    node_traits::deallocate(alloc_, gone, 1);
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
  };

  node* clone_of(const basic_tree& other) {
    auto copy = [this](const node* from) { return make_node(from->value); };
    auto release = [this](node* gone) { drop_node(gone); };
    return core::clone<node>(other.root_, copy, release);
  }

  // For a move between unequal allocators: the values move, the nodes do not.
  node* moved_clone_of(basic_tree& other) {
    auto copy = [this](const node* from) {
      return make_node(std::move(const_cast<node*>(from)->value));
    };
    auto release = [this](node* gone) { drop_node(gone); };
    return core::clone<node>(other.root_, copy, release);
  }

  // Into an empty container: while the input is sorted its nodes are linked
  // into a list through their right links, and a balanced tree is built from
  // the list in one pass; from the first element out of order on, the rest
  // are inserted one by one. A set keeps the first of equal elements.
  template <class InputIt>
  void fill(InputIt first, InputIt last) {
    node* head = nullptr;
    node** tail = &head;
    node* last_linked = nullptr;
    size_type count = 0;
    bool sorted = true;
    try {
      for (; first != last; ++first) {
        node_guard guard{this, make_node(*first)};
        node* fresh = guard.held;
        if (sorted && last_linked != nullptr && comp_(key_of(fresh), key_of(last_linked))) {
          build_from(head, count);
          sorted = false;
        }
        if (!sorted) {
          guard.held = nullptr;
          link_by_key(fresh);
          continue;
        }
        if (Unique && last_linked != nullptr && !comp_(key_of(last_linked), key_of(fresh))) {
          continue;  // a set keeps the first of equal elements
        }
        guard.held = nullptr;
        fresh->right = nullptr;
        *tail = fresh;
        tail = &fresh->right;
        last_linked = fresh;
        count += 1;
        size_ = count;  // so that make_node's limit sees the list
      }
    } catch (...) {
      if (sorted) {
        while (head != nullptr) {
          node* next = head->right;
          drop_node(head);
          head = next;
        }
        size_ = 0;
      } else {
        clear();
      }
      throw;
    }
    if (sorted) {
      build_from(head, count);
    }
  }

  void build_from(node* head, size_type count) {
    int32_t levels = 0;
    root_ = core::build_from_list(head, count, &levels);
    size_ = count;
  }

  // --------------------------------------------------------- insertion --

  // The state of one insertion or erasure under way, which its policy holds
  // a pointer to: the cursor it keeps (on the linked node, or on the node
  // after an erased one), the path it follows when it goes by position, and
  // what it met on the way.
  template <bool Inserts>
  struct change_state {
    const basic_tree* tree;
    core::kept_cursor<path, Inserts> kept;  // an insertion's descent builds its path
    core::along_path<path> along;
    const Key* key;           // erasure by key
    node* candidate;          // unique keys: the last node the descent passed on its right
    int32_t candidate_depth;  // its depth
    node* removed;            // what an erasure unlinked
  };

  // What the policies here share: the reports go to the kept cursor, and an
  // unlinked node comes back to the container.
  template <bool Inserts>
  struct policy {
    using node_type = node;
    static constexpr bool moves_keys = false;
    change_state<Inserts>* s;
    void note(trace_event event, node* at, int32_t a, int32_t b) const {
      s->kept.note(event, at, a, b);
    }
    void replaced(node* gone, node* successor) const { s->kept.replaced(gone, successor); }
    void release(node* gone) const { s->removed = gone; }
    static constexpr bool admits(const node*) { return true; }
  };

  // By the comparator: a key that is not less goes right, so equal keys end
  // after the ones there; unique keys refuse at the empty link when the last
  // node passed on the right holds an equal key.
  struct insert_by_key : policy<true> {
    bool goes_left(node* fresh, node* at) const {
      const bool left = this->s->tree->comp_(key_of(fresh), key_of(at));
      if constexpr (Unique) {
        if (!left) {
          this->s->candidate = at;
          this->s->candidate_depth = this->s->kept.cursor->depth;
        }
      }
      return left;
    }
    bool admits(const node* fresh) const {
      if constexpr (Unique) {
        change_state<true>& s = *this->s;
        if (s.candidate != nullptr && !s.tree->comp_(key_of(s.candidate), key_of(fresh))) {
          s.kept.cursor->node = s.candidate;
          s.kept.cursor->depth = s.candidate_depth;
          return false;
        }
      }
      static_cast<void>(fresh);
      return true;
    }
  };

  // Just before the node of a cursor, by its path (after the last element
  // for an end cursor).
  struct insert_before : policy<true> {
    bool goes_left(node*, node* at) const { return this->s->along.goes_left_before(at); }
  };

  // Down the right spine, to link after the last element, which the descent
  // passes last; at the empty link it refuses when that would break the order.
  struct insert_last : policy<true> {
    bool goes_left(node*, node* at) const {
      this->s->candidate = at;
      return false;
    }
    bool admits(const node* fresh) const {
      const change_state<true>& s = *this->s;
      if (s.candidate == nullptr) {
        return true;
      }
      return Unique ? s.tree->comp_(key_of(s.candidate), key_of(fresh))
                    : !s.tree->comp_(key_of(fresh), key_of(s.candidate));
    }
  };

  // The first node on the search path that holds the key.
  struct erase_by_key : policy<false> {
    int where(const node* at) const {
      const basic_tree& tree = *this->s->tree;
      const Key& key = *this->s->key;
      return tree.comp_(key, key_of(at)) ? -1 : tree.comp_(key_of(at), key) ? +1 : 0;
    }
  };

  // The node at the end of a cursor's path.
  struct erase_at : policy<false> {
    int where(const node*) const { return this->s->along.where(); }
  };

  // Links `fresh` just before the node of `before`, or by its key when
  // `before` is null; .second is false when a unique key refused it (then
  // .first is the equal element). The caller keeps owning a node that is not
  // linked, also when the comparator throws.
  std::pair<iterator, bool> link_node(node* fresh, const path* before) {
    return before != nullptr ? link_with<insert_before>(fresh, before)
                             : link_with<insert_by_key>(fresh, nullptr);
  }

  // Links `fresh` as `Policy` descends; .second is false when the policy
  // refused it at the empty link (the tree is then as it was).
  template <class Policy>
  std::pair<iterator, bool> link_with(node* fresh, const path* before) {
    iterator result(typename iterator::unset{}, &root_);
    core::cursor_start(result.cursor_);
    change_state<true> s{this, {&result.cursor_}, {before}, nullptr, nullptr, 0, nullptr};
    fresh->left = nullptr;
    fresh->right = nullptr;
    fresh->balance = 0;
    bool grew = false;
    node* top = core::insert(root_, fresh, &grew, Policy{&s});
    if (result.cursor_.node != fresh) {
      return {result, false};
    }
    root_ = top;
    size_ += 1;
    return {result, true};
  }

  std::pair<iterator, bool> link_by_key(node* fresh) {
    node_guard guard{this, fresh};
    std::pair<iterator, bool> placed = link_node(fresh, nullptr);
    if (placed.second) {
      guard.held = nullptr;
    }
    return placed;
  }

  iterator link_before(node* fresh, const path& before) {
    node_guard guard{this, fresh};
    iterator at = link_node(fresh, &before).first;
    guard.held = nullptr;
    return at;
  }

  // Just before `hint` when the order allows; else, with unique keys, where
  // the key belongs (or at the equal element there); with equal keys, as
  // near to the hint as the order allows: after the equal elements when the
  // hint lies above them, before them when it lies below.
  iterator link_by_hint(const_iterator hint, node* fresh) {
    node_guard guard{this, fresh};
    const Key& key = key_of(fresh);
    const node* at = hint.cursor_.node;
    if (at == nullptr) {
      // After the last element when the order allows, which the descent to
      // it finds out; else where the key belongs.
      std::pair<iterator, bool> placed = link_with<insert_last>(fresh, nullptr);
      if (placed.second) {
        guard.held = nullptr;
        return placed.first;
      }
    } else if (Unique ? comp_(key, key_of(at)) : !comp_(key_of(at), key)) {
      path back = hint.cursor_;
      const node* previous = core::cursor_prev(back, root_);
      if (previous == nullptr ||
          (Unique ? comp_(key_of(previous), key) : !comp_(key, key_of(previous)))) {
        guard.held = nullptr;
        return link_before(fresh, hint.cursor_);
      }
    } else if constexpr (!Unique) {
      path lower;
      core::cursor_start(lower);
      core::bound(core::cursor_path<path>{lower}, root_, at_least<Key>{this, &key});
      guard.held = nullptr;
      return link_before(fresh, lower);
    }
    guard.held = nullptr;
    return link_by_key(fresh).first;
  }

  // ---------------------------------------------------------- erasure --

  // Unlinks the node at `depth` along the turns of `turns` and returns it.
  // `track`, when given, is kept on its node through the rebalancing; it may
  // be `turns` itself, once stepped on from the node (a step keeps the turns
  // above the node), since the turns are read on the way down and the track
  // is changed only on the way back up.
  node* unlink_at(const path& turns, int32_t depth, path* track) {
    change_state<false> s{this, {track}, {&turns, depth}, nullptr, nullptr, 0, nullptr};
    bool shrank = false;
    bool found = false;
    root_ = core::erase(root_, &shrank, &found, erase_at{&s});
    size_ -= 1;
    return s.removed;
  }

  // Unlinks the node under `c` and steps `c` on to the node after it.
  node* unlink_and_step(path& c) {
    const int32_t depth = c.depth;
    core::cursor_next(c);
    return unlink_at(c, depth, &c);
  }

  // Unlinks the first node on the search path holding `key`, or returns null.
  node* unlink_key(const Key& key) {
    change_state<false> s{this, {nullptr}, {nullptr}, &key, nullptr, 0, nullptr};
    bool shrank = false;
    bool found = false;
    root_ = core::erase(root_, &shrank, &found, erase_by_key{&s});
    if (found) {
      size_ -= 1;
    }
    return s.removed;
  }

  // ----------------------------------------------------------- lookup --

  template <class K>
  struct at_least {  // lower_bound's step; a set stops at an equal key
    const basic_tree* tree;
    const K* key;
    core::bound_step operator()(const node* at) const {
      if (tree->comp_(key_of(at), *key)) {
        return core::bound_step::right;
      }
      if constexpr (Unique) {
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
    core::bound_step operator()(const node* at) const {
      return tree->comp_(*key, key_of(at)) ? core::bound_step::left : core::bound_step::right;
    }
  };

  template <class It>
  It made(const path& from) const {
    It at(typename It::unset{}, &root_);
    at.cursor_ = from;
    return at;
  }

  template <class It>
  It first() const {
    It at(typename It::unset{}, &root_);
    core::cursor_first(at.cursor_, root_);
    return at;
  }

  template <class It>
  It past_end() const {
    It at(typename It::unset{}, &root_);
    core::cursor_start(at.cursor_);
    return at;
  }

  template <class It, class Step>
  It bound_of(Step step) const {
    It at(typename It::unset{}, &root_);
    core::cursor_start(at.cursor_);
    core::bound(core::cursor_path<path>{at.cursor_}, root_, step);
    return at;
  }

  template <class It, class K>
  It find_of(const K& key) const {
    It at = bound_of<It>(at_least<K>{this, &key});
    const node* found = at.cursor_.node;
    return found != nullptr && !comp_(key, key_of(found)) ? at : past_end<It>();
  }

  template <class K>
  bool holds(const K& key) const {
    const node* found = core::bound(core::no_path{}, root_, at_least<K>{this, &key});
    return found != nullptr && !comp_(key, key_of(found));
  }

  template <class K>
  size_type count_of(const K& key) const {
    if constexpr (Unique) {
      return holds(key) ? 1 : 0;
    } else {
      size_type count = 0;
      for (const_iterator at = lower_bound(key);
           at != end() && !comp_(key, key_of(at.cursor_.node)); ++at) {
        count += 1;
      }
      return count;
    }
  }

  template <class It, class K>
  std::pair<It, It> range_of(const K& key) const {
    if constexpr (Unique) {
      It at = find_of<It>(key);
      It after = at;
      if (at.cursor_.node != nullptr) {
        ++after;
      }
      return {at, after};
    } else {
      return {bound_of<It>(at_least<K>{this, &key}), bound_of<It>(above<K>{this, &key})};
    }
  }

  struct check_ops {
    const basic_tree* tree;
    bool in_order(const node* a, const node* b) const {
      return Unique ? tree->comp_(key_of(a), key_of(b)) : !tree->comp_(key_of(b), key_of(a));
    }
    static int32_t report_key(const node*) { return 0; }  // reports go nowhere here
  };

  node* root_ = nullptr;
  size_type size_ = 0;
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
class set : public detail::basic_tree<Key, Key, detail::identity, Compare, Allocator, true> {
  using base = detail::basic_tree<Key, Key, detail::identity, Compare, Allocator, true>;

 public:
  using value_compare = Compare;
  using insert_return_type =
      detail::insert_return_type<typename base::iterator, typename base::node_type>;
  using base::base;
  set() = default;
  set& operator=(std::initializer_list<Key> values) {
    base::operator=(values);
    return *this;
  }
  value_compare value_comp() const { return this->key_comp(); }
  void swap(set& other) noexcept(noexcept(std::declval<base&>().swap(other))) { base::swap(other); }
  friend void swap(set& a, set& b) noexcept(noexcept(a.swap(b))) { a.swap(b); }
};

// std::multiset's members, with the same meanings.
template <class Key, class Compare = std::less<Key>, class Allocator = std::allocator<Key>>
class multiset : public detail::basic_tree<Key, Key, detail::identity, Compare, Allocator, false> {
  using base = detail::basic_tree<Key, Key, detail::identity, Compare, Allocator, false>;

 public:
  using value_compare = Compare;
  using base::base;
  multiset() = default;
  multiset& operator=(std::initializer_list<Key> values) {
    base::operator=(values);
    return *this;
  }
  value_compare value_comp() const { return this->key_comp(); }
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
class map_base
    : public basic_tree<Key, std::pair<const Key, T>, select_first, Compare, Allocator, Unique> {
  using base = basic_tree<Key, std::pair<const Key, T>, select_first, Compare, Allocator, Unique>;

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
  using path = typename base::path;

 public:
  using typename base::const_iterator;
  using typename base::iterator;
  using typename base::key_type;
  using typename base::value_type;
  using insert_return_type = detail::insert_return_type<iterator, typename base::node_type>;
  using base::base;
  map() = default;
  map& operator=(std::initializer_list<value_type> values) {
    base::operator=(values);
    return *this;
  }

  T& operator[](const Key& key) { return try_emplace(key).first->second; }
  T& operator[](Key&& key) { return try_emplace(std::move(key)).first->second; }

  // Throws std::out_of_range when the key is absent.
  T& at(const Key& key) { return found_or_throw(this->find(key))->second; }
  const T& at(const Key& key) const { return found_or_throw(this->find(key))->second; }

  // Makes the element only when the key is absent; the arguments make T.
  template <class... Args>
  std::pair<iterator, bool> try_emplace(const Key& key, Args&&... args) {
    return emplace_absent(key, std::forward<Args>(args)...);
  }
  template <class... Args>
  std::pair<iterator, bool> try_emplace(Key&& key, Args&&... args) {
    return emplace_absent(std::move(key), std::forward<Args>(args)...);
  }
  template <class... Args>
  iterator try_emplace(const_iterator, const Key& key, Args&&... args) {
    return emplace_absent(key, std::forward<Args>(args)...).first;
  }
  template <class... Args>
  iterator try_emplace(const_iterator, Key&& key, Args&&... args) {
    return emplace_absent(std::move(key), std::forward<Args>(args)...).first;
  }

  template <class M>
  std::pair<iterator, bool> insert_or_assign(const Key& key, M&& value) {
    return assign_or_emplace(key, std::forward<M>(value));
  }
  template <class M>
  std::pair<iterator, bool> insert_or_assign(Key&& key, M&& value) {
    return assign_or_emplace(std::move(key), std::forward<M>(value));
  }
  template <class M>
  iterator insert_or_assign(const_iterator, const Key& key, M&& value) {
    return assign_or_emplace(key, std::forward<M>(value)).first;
  }
  template <class M>
  iterator insert_or_assign(const_iterator, Key&& key, M&& value) {
    return assign_or_emplace(std::move(key), std::forward<M>(value)).first;
  }

  void swap(map& other) noexcept(noexcept(std::declval<base&>().swap(other))) { base::swap(other); }
  friend void swap(map& a, map& b) noexcept(noexcept(a.swap(b))) { a.swap(b); }

 private:
  template <class It>
  static It found_or_throw(It at) {
    if (at == It()) {
      throw std::out_of_range("avl::map::at: no such key");
    }
    return at;
  }

  // One descent finds where the key belongs; the element is made and linked
  // there only when the key is absent.
  template <class K, class... Args>
  std::pair<iterator, bool> emplace_absent(K&& key, Args&&... args) {
    iterator at = this->lower_bound(key);
    if (at != this->end() && !this->comp_(key, at->first)) {
      return {at, false};
    }
    typename base::node* fresh =
        this->make_node(std::piecewise_construct, std::forward_as_tuple(std::forward<K>(key)),
                        std::forward_as_tuple(std::forward<Args>(args)...));
    return {this->link_before(fresh, this->path_of(at)), true};
  }

  template <class K, class M>
  std::pair<iterator, bool> assign_or_emplace(K&& key, M&& value) {
    iterator at = this->lower_bound(key);
    if (at != this->end() && !this->comp_(key, at->first)) {
      at->second = std::forward<M>(value);
      return {at, false};
    }
    typename base::node* fresh = this->make_node(std::forward<K>(key), std::forward<M>(value));
    return {this->link_before(fresh, this->path_of(at)), true};
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
  multimap& operator=(std::initializer_list<value_type> values) {
    base::operator=(values);
    return *this;
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

// Deduction from a list or a range, as for std's containers.
template <class Key, class Compare = std::less<Key>, class Allocator = std::allocator<Key>>
set(std::initializer_list<Key>, Compare = Compare(), Allocator = Allocator())
    -> set<Key, Compare, Allocator>;
template <class InputIt,
          class Compare = std::less<typename std::iterator_traits<InputIt>::value_type>>
set(InputIt, InputIt, Compare = Compare())
    -> set<typename std::iterator_traits<InputIt>::value_type, Compare>;
template <class Key, class Compare = std::less<Key>, class Allocator = std::allocator<Key>>
multiset(std::initializer_list<Key>, Compare = Compare(), Allocator = Allocator())
    -> multiset<Key, Compare, Allocator>;
template <class InputIt,
          class Compare = std::less<typename std::iterator_traits<InputIt>::value_type>>
multiset(InputIt, InputIt, Compare = Compare())
    -> multiset<typename std::iterator_traits<InputIt>::value_type, Compare>;

// ------------------------------------------------------------ avl::tree --

namespace detail {
// What an empty tree without a handle is read as. Only ever read.
inline const AVL_TREE kEmptyTree = {0, nullptr};
}  // namespace detail

// std::multiset<int32_t>'s members over the C module's records: it owns an
// AVL_TREE (native() gives it to the C functions) and runs core.hpp's
// recursion under the C records' own rules, so its trees are the module's,
// node for node. What differs from the containers above: the keys are
// int32_t ordered by <; a deletion at a node with two children moves the
// predecessor's key into it, so references to keys (*it) last only as long as
// the iterators; out of memory throws std::bad_alloc, and nothing allocates
// until the first insertion (a default-constructed, moved-from or cleared
// tree holds no handle).
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
    copy->root = avl::core::clone<nod>(other.handle_->root, make, release);
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
      target->root = avl::core::build_from_list(head, static_cast<std::size_t>(count), &levels);
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

#endif  // AVL_AVL_HPP
