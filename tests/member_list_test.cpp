// Code written for the standard containers, compiled against avl's: each
// function below uses its container only as std::set, std::multiset or
// std::map allow, and is instantiated for both std's and avl's, so a member
// that is missing or has the wrong shape fails the build. The one test then
// checks that both computed the same. Built as C++20, for <=> and the range
// concepts.
#include <gtest/gtest.h>

#include <algorithm>
#include <compare>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <ranges>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "avl/avl.hpp"

namespace {

using std::erase_if;  // std's for std's containers; avl's are found by argument-dependent lookup

template <class Set>
std::vector<int> set_manners() {
  static_assert(std::ranges::bidirectional_range<Set>);
  static_assert(std::is_same_v<typename Set::key_compare, std::less<int>>);
  Set a{5, 1, 4};
  Set b(a.begin(), a.end(), a.key_comp(), a.get_allocator());
  const std::vector<int> more{3, 2};
  std::copy(more.begin(), more.end(), std::inserter(a, a.end()));
  a.insert(a.begin(), 9);
  a.emplace(7);
  a.emplace_hint(a.end(), 8);
  a.insert({10, 11, 12});
  a.insert(more.begin(), more.end());
  const auto [six, inserted] = a.insert(6);
  a.erase(a.find(11), a.end());
  a.erase(4);
  a.erase(six);
  erase_if(a, [](int key) { return key == 9; });
  auto node = a.extract(8);
  node.value() = 80;
  a.insert(std::move(node));
  Set c = a;
  c.merge(b);
  std::vector<int> out(a.begin(), a.end());
  out.push_back(static_cast<int>(a.count(5) + a.contains(3) + (a == c) + (a < c) + (b <= a)));
  out.push_back(*a.lower_bound(6) + *a.upper_bound(6) + *std::prev(a.equal_range(7).second));
  out.push_back((a <=> c) == std::strong_ordering::less);
  out.push_back(*a.rbegin() + *std::next(a.crbegin()) + (a.rend() == a.crend()));
  a.swap(c);
  swap(a, b);
  out.push_back(static_cast<int>(a.size() + b.size() + c.size()));
  a.clear();
  out.push_back(a.empty() && a.begin() == a.end());
  return out;
}

template <class Multiset>
std::vector<std::string> multiset_manners() {
  Multiset words{"b", "a", "b"};
  words.insert("c");
  words.insert(words.find("b"), "b");
  words.erase(words.find("b"));
  erase_if(words, [](const std::string& word) { return word == "c"; });
  std::vector<std::string> out(words.begin(), words.end());
  out.push_back(std::to_string(words.count("b")) +
                std::to_string(std::distance(words.lower_bound("b"), words.upper_bound("b"))));
  return out;
}

template <class Map>
std::vector<std::string> map_manners() {
  Map ages{{"ada", 36}, {"alan", 41}};
  ages["grace"] = 85;
  ages.at("ada") += 1;
  ages.try_emplace("alan", 0);
  ages.try_emplace(ages.end(), "edsger", 72);
  ages.insert_or_assign("grace", 86);
  ages.insert(std::pair<std::string, int>("barbara", 83));
  ages.emplace("donald", 50);
  ages.erase("donald");
  ages.insert({{"ken", 80}, {"dennis", 70}});
  const std::string_view grace = "grace";
  std::vector<std::string> out;
  for (const auto& [name, age] : ages) {
    out.push_back(name + "=" + std::to_string(age));
  }
  out.push_back(std::to_string(ages.find(grace) != ages.end()) +
                std::to_string(ages.value_comp()(*ages.begin(), *std::next(ages.begin()))));
  try {
    ages.at("nobody");
  } catch (const std::out_of_range&) {
    out.push_back("out_of_range");
  }
  const Map copy = ages;
  out.push_back(std::to_string(copy == ages) + std::to_string(copy.size()));
  return out;
}

// <=> is there where the elements can be ordered, and absent where they
// cannot, as for std's.
struct Unordered {
  int value;
  bool operator==(const Unordered&) const = default;
};
struct ByValue {
  bool operator()(const Unordered& a, const Unordered& b) const { return a.value < b.value; }
};
static_assert(std::three_way_comparable<avl::set<int>>);
static_assert(std::three_way_comparable<avl::map<std::string, int>>);
static_assert(!std::three_way_comparable<avl::set<Unordered, ByValue>>);
static_assert(!std::three_way_comparable<std::set<Unordered, ByValue>>);
static_assert(std::equality_comparable<avl::set<Unordered, ByValue>>);

TEST(MemberListTest, CodeForStdContainersComputesTheSame) {
  EXPECT_EQ(set_manners<avl::set<int>>(), set_manners<std::set<int>>());
  EXPECT_EQ(multiset_manners<avl::multiset<std::string>>(),
            multiset_manners<std::multiset<std::string>>());
  EXPECT_EQ((map_manners<avl::map<std::string, int, std::less<>>>()),
            (map_manners<std::map<std::string, int, std::less<>>>()));
  // Move-only values and values without a default constructor.
  avl::map<int, std::unique_ptr<int>> owners;
  owners.emplace(1, std::make_unique<int>(10));
  owners[2] = std::make_unique<int>(20);
  avl::map<int, std::unique_ptr<int>> moved = std::move(owners);
  EXPECT_EQ(*moved.at(2), 20);
  struct NoDefault {
    explicit NoDefault(int v) : value(v) {}
    int value;
  };
  avl::multimap<int, NoDefault> plain;
  plain.emplace(1, NoDefault(5));
  plain.emplace(std::piecewise_construct, std::forward_as_tuple(1), std::forward_as_tuple(6));
  EXPECT_EQ(std::next(plain.begin())->second.value, 6);
}

}  // namespace
