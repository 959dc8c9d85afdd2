// avl.hpp: the AVL tree module as a C++ container of int32_t keys.
//
// avl::tree owns an AVL_TREE and releases it; its members are the ones a
// std::multiset<int32_t> user reaches for, with the same meanings, and its
// iterators step through the keys in order with the module's cursors, so
// range-for, the std:: and std::ranges algorithms, std::views::reverse and
// std::ranges::subrange(t.lower_bound(a), t.upper_bound(b)) all work. Every
// member is one or a few calls of the C functions in ADT_avl_tree.h; nothing
// of the tree's logic is here. Header-only, C++17; under C++20 the iterator
// and the tree are checked against the standard's iterator and range concepts.
//
//   avl::tree keys{5, 3, 8, 3};
//   for (int32_t key : keys) { ... }                   // 3 3 5 8
//   auto middle = std::ranges::subrange(keys.lower_bound(4), keys.upper_bound(8));
//
// Where it differs from std::multiset<int32_t>:
//   - Any change to the tree (insert, erase, clear, assignment, any C call that
//     changes native()) invalidates every iterator of that tree, end() included:
//     insertion rotates nodes to new places on the paths the iterators hold, and
//     deletion moves keys between nodes (a node with two children takes its
//     predecessor's key and the predecessor's node is released). Take
//     iterators again after a change; erase(iterator) returns a fresh one.
//   - References to keys (*it) last only as long as the iterators.
//   - The keys are int32_t and ordered by <; there is no comparator, allocator
//     or node handle. It holds at most INT32_MAX keys (max_size()); inserting
//     beyond that throws std::length_error.
//   - Out of memory throws std::bad_alloc from insert() and from copying, and
//     leaves the tree as it was, as the standard containers do; nothing else
//     allocates (a default-constructed, moved-from or cleared tree holds no
//     handle until its first insertion).
//   - A copy holds the same keys in the shape that inserting them in ascending
//     order gives, not the source's shape.
//   - erase(key) costs O(k log n) for k copies of the key (std: O(k + log n)).
//   - Iterators are large (they hold the path from the root, about 400 bytes),
//     so copying one costs more than copying a pointer; a reverse_iterator
//     copies one on every dereference.
//   - Several threads may read one tree at once; a tree that one thread changes
//     needs a lock around every use, as with the standard containers.
#ifndef AVL_AVL_HPP
#define AVL_AVL_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <new>
#include <stdexcept>
#include <utility>

#include "avl/ADT_avl_tree.h"

#if __cplusplus >= 202002L
#include <version>
#if defined(__cpp_lib_ranges)
#include <ranges>
#endif
#endif

namespace avl {

namespace detail {
// What an empty tree without a handle is read as. Only ever read.
inline const AVL_TREE kEmptyTree = {0, nullptr};
}  // namespace detail

class tree {
 public:
  using key_type = int32_t;
  using value_type = int32_t;
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;
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
      cursor_.node = nullptr;
      cursor_.tree = nullptr;
      cursor_.went_left = 0;
      cursor_.depth = 0;
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
    // For the tree's members, whose module call then sets the whole cursor:
    // clearing its path first would cost more than many steps.
    struct unset {};
    explicit const_iterator(unset) noexcept {}

    AVL_CURSOR cursor_;
  };
  using iterator = const_iterator;
  using const_reverse_iterator = std::reverse_iterator<const_iterator>;
  using reverse_iterator = const_reverse_iterator;

  // An empty tree; allocates nothing until the first insertion.
  tree() noexcept = default;

  tree(std::initializer_list<int32_t> keys) : tree() {
    for (int32_t key : keys) {
      add(key);
    }
  }

  // The same keys, inserted in ascending order (so in that insertion's shape).
  tree(const tree& other) : tree() {
    for (int32_t key : other) {
      add(key);
    }
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

  ~tree() { AVL_destroy(handle_); }

  void swap(tree& other) noexcept { std::swap(handle_, other.handle_); }
  friend void swap(tree& a, tree& b) noexcept { a.swap(b); }

  // ------------------------------------------------------------ capacity --
  bool empty() const noexcept { return view()->size == 0; }
  size_type size() const noexcept { return static_cast<size_type>(view()->size); }
  size_type max_size() const noexcept { return INT32_MAX; }
  // Levels from the root down (0 when empty); below 1.44 * log2(size + 2).
  int32_t height() const noexcept { return AVL_height(view()); }
  // Every invariant of the tree (AVL_check); writes the first fault to
  // `report` when it is not null.
  bool check(std::FILE* report = nullptr) const noexcept { return AVL_check(view(), report) == 1; }

  // ----------------------------------------------------------- modifiers --

  // Adds a copy of `key` after the ones already there; returns an iterator to it.
  iterator insert(int32_t key) {
    add(key);
    const_iterator at = upper_bound(key);
    return --at;
  }

  // Removes every copy of `key`; returns how many there were.
  size_type erase(int32_t key) noexcept {
    const int32_t copies = AVL_count(view(), key);
    for (int32_t i = 0; i < copies; ++i) {
      AVL_delete(handle_, key);
    }
    return static_cast<size_type>(copies);
  }

  // Removes the key at `position` (which must stand on a key); returns an
  // iterator to the key that followed it.
  iterator erase(const_iterator position) noexcept {
    const int32_t key = *position;
    // Equal keys are alike, so the key that follows is found by its rank
    // among them: the same number of copies stays in front of it.
    size_type in_front = 0;
    for (AVL_CURSOR back = position.cursor_;; ++in_front) {
      const nod* node = AVL_cursor_prev(&back);
      if (node == nullptr || node->data != key) {
        break;
      }
    }
    AVL_delete(handle_, key);
    const_iterator next = lower_bound(key);
    while (in_front-- > 0) {
      ++next;
    }
    return next;
  }

  void clear() noexcept {
    AVL_destroy(handle_);
    handle_ = nullptr;
  }

  // -------------------------------------------------------------- lookup --
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

  // ----------------------------------------------------------- iterators --
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
  const_reverse_iterator rend() const noexcept { return const_reverse_iterator(begin()); }
  const_reverse_iterator crbegin() const noexcept { return rbegin(); }
  const_reverse_iterator crend() const noexcept { return rend(); }

  // ------------------------------------------------------------- C calls --
  // The handle, for the C functions. The non-const one creates the handle of
  // an empty tree that has none yet (std::bad_alloc when it cannot); changes
  // made through it invalidate the iterators as the members' changes do.
  AVL_TREE* native() { return handle(); }
  const AVL_TREE* native() const noexcept { return view(); }

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

  // AVL_insert refuses only for want of memory or at INT32_MAX keys, and
  // changes nothing when it refuses.
  void add(int32_t key) {
    AVL_TREE* target = handle();
    if (AVL_insert(target, key) != 1) {
      if (target->size == INT32_MAX) {
        throw std::length_error("avl::tree: INT32_MAX keys already");
      }
      throw std::bad_alloc();
    }
  }

  AVL_TREE* handle_ = nullptr;  // null while empty with no handle
};

#if defined(__cpp_lib_ranges)
static_assert(std::bidirectional_iterator<tree::const_iterator>);
static_assert(std::ranges::bidirectional_range<tree>);
static_assert(std::ranges::bidirectional_range<const tree>);
#endif

}  // namespace avl

#endif  // AVL_AVL_HPP
