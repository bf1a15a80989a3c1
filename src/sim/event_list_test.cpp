#include "sim/event_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <random>

namespace lumtra {
namespace {

// The ordering the event list must reproduce, kept as the plain linked list
// it replaces: insertion walks past every record with a strictly smaller
// time, so among equal times the newest record comes first.
struct ReferenceList {
  std::list<std::pair<double, uint32_t>> items;
  void insert(double time, uint32_t id) {
    auto it = items.begin();
    while (it != items.end() && it->first < time) ++it;
    items.insert(it, {time, id});
  }
  uint32_t pop() {
    uint32_t id = items.front().second;
    items.pop_front();
    return id;
  }
};

// Insertion ranks starting at 7 run out every few insertions, so the second
// pass checks that renumbering keeps the order, ties included.
TEST(EventList, PopsInTheOrderOfTheReferenceListUnderRandomWorkloads) {
  for (uint32_t first_rank : {UINT32_MAX, 7u}) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 50; ++round) {
      EventList list(first_rank);
      ReferenceList ref;
      // Few distinct times make ties common; placeholders use time -1.
      std::uniform_int_distribution<int> coarse(0, 6), action(0, 9);
      for (int step = 0; step < 2000; ++step) {
        if (action(rng) < 6 || list.empty()) {
          uint32_t id = list.acquire();
          int kind = action(rng);
          double time = kind == 0 ? kPlaceholderTime
                                  : (kind < 5 ? coarse(rng) : std::generate_canonical<double, 53>(rng) * 6);
          list[id].time = time;
          list.insert(id);
          ref.insert(time, id);
        } else {
          uint32_t got = list.pop();
          ASSERT_EQ(got, ref.pop()) << "first rank " << first_rank << " round " << round << " step " << step;
          list.recycle(got);
        }
      }
      while (!list.empty()) ASSERT_EQ(list.pop(), ref.pop());
    }
  }
}

// Inserts records with these times into an empty list and pops them all;
// the records are named by their place in `times`.
std::vector<size_t> pop_order(const std::vector<double>& times) {
  EventList list;
  std::vector<uint32_t> ids;
  for (double t : times) {
    uint32_t id = list.acquire();
    list[id].time = t;
    list.insert(id);
    ids.push_back(id);
  }
  std::vector<size_t> order;
  while (!list.empty()) order.push_back(std::find(ids.begin(), ids.end(), list.pop()) - ids.begin());
  return order;
}

TEST(EventList, EqualTimesComeOutNewestFirstAndPlaceholdersLead) {
  EXPECT_EQ(pop_order({2.0, 2.0, kPlaceholderTime, 1.0, kPlaceholderTime, 2.0}),
            (std::vector<size_t>{4, 2, 3, 5, 1, 0}));
}

// Times of every magnitude, from the smallest subnormal up, keep the order
// of the doubles; -0 and +0 are one time, so the later of the two leads.
TEST(EventList, OrdersTimesOfEveryMagnitudeAndTakesBothZeroesAsOne) {
  EXPECT_EQ(pop_order({1e300, 4.9e-324, -0.0, 1.5, 0.0, kPlaceholderTime, 2.2e-308, 1.0, 1e-300}),
            (std::vector<size_t>{5, 4, 2, 1, 6, 8, 7, 3, 0}));
}

TEST(EventList, RecycledRecordsKeepTheirArrayCapacityAndComeBackEmpty) {
  EventList list;
  uint32_t id = list.acquire();
  list[id].hop_wavelengths.assign(16, 7);
  const uint32_t* storage = list[id].hop_wavelengths.data();
  list.insert(id);
  list.clear();
  uint32_t again = list.acquire();
  EXPECT_EQ(again, id);
  EXPECT_TRUE(list[again].hop_wavelengths.empty());
  EXPECT_EQ(list[again].hop_wavelengths.data(), storage);
}

}  // namespace
}  // namespace lumtra
