#include "sim/event_list.h"

#include <gtest/gtest.h>

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

TEST(EventList, PopsInTheOrderOfTheReferenceListUnderRandomWorkloads) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 50; ++round) {
    EventList list;
    ReferenceList ref;
    std::vector<uint32_t> live;
    // Few distinct times make ties common; placeholders use time -1.
    std::uniform_int_distribution<int> coarse(0, 6), action(0, 9);
    for (int step = 0; step < 2000; ++step) {
      if (action(rng) < 6 || list.empty()) {
        uint32_t id = list.acquire();
        int kind = action(rng);
        double time = kind == 0 ? kPlaceholderTime : (kind < 5 ? coarse(rng) : std::generate_canonical<double, 53>(rng) * 6);
        list[id].time = time;
        list.insert(id);
        ref.insert(time, id);
      } else {
        uint32_t got = list.pop();
        ASSERT_EQ(got, ref.pop()) << "round " << round << " step " << step;
        list.recycle(got);
      }
    }
    while (!list.empty()) ASSERT_EQ(list.pop(), ref.pop());
  }
}

TEST(EventList, EqualTimesComeOutNewestFirstAndPlaceholdersLead) {
  EventList list;
  std::vector<uint32_t> ids;
  for (double t : {2.0, 2.0, kPlaceholderTime, 1.0, kPlaceholderTime, 2.0}) {
    uint32_t id = list.acquire();
    list[id].time = t;
    list.insert(id);
    ids.push_back(id);
  }
  std::vector<uint32_t> order;
  while (!list.empty()) order.push_back(list.pop());
  EXPECT_EQ(order, (std::vector<uint32_t>{ids[4], ids[2], ids[3], ids[5], ids[1], ids[0]}));
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
