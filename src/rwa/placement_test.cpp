// The placement skeleton and the routing halves, driven directly on
// prepared runs: the fit rule, the free-wavelength window, the attempt
// limit, and what every routing half offers when every path fails.
#include "rwa/placement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "harness.h"

namespace lumtra {
namespace {

using test::PreparedRun;
using test::single_link;
using test::write_file;

PreparedRun prepared(const std::vector<std::string>& options, const std::string& net) {
  std::vector<std::string> args = options;
  args.push_back("-nt:" + write_file("net.txt", net));
  return PreparedRun(args);
}

TEST(Placement, FirstFitSkipsTheFullWavelengthsBelowTheWindowWithoutAttempts) {
  PreparedRun p({"-nt:" + write_file("net.txt", single_link({}))});
  ASSERT_TRUE(p.status.ok()) << p.status.message;
  p.start_batch();
  for (uint32_t w : {0u, 1u}) p.take(0, 1, w, 1);
  EXPECT_EQ(p.lane().links.link(0, 1).low, 2u);
  EXPECT_EQ(p.assign(0, 1, 1), HopArray{2});
  EXPECT_EQ(p.lane().methods.rwa.context.total_attempts, 1u);
}

TEST(Placement, APartlyUsedWavelengthFitsOnlyBetweenTwoGroomingNodes) {
  // Node 1 grooms, node 2 does not: the hop cannot share a wavelength.
  PreparedRun p({"-nt:" + write_file("net.txt", "2\n3 n\n1 n\n4\n1\n1\n0 2\n2 0\n0 1\n0 0\n1\n10\n")});
  ASSERT_TRUE(p.status.ok()) << p.status.message;
  p.start_batch();
  p.take(0, 1, 0, 1);
  EXPECT_EQ(p.assign(0, 1, 1), HopArray{1});
  // Between two grooming nodes the rest of wavelength 0 serves.
  PreparedRun both({"-nt:" + write_file("net.txt", "2\n3 n\n3 n\n4\n1\n1\n0 2\n2 0\n0 1\n0 0\n1\n10\n")});
  ASSERT_TRUE(both.status.ok()) << both.status.message;
  both.start_batch();
  both.take(0, 1, 0, 1);
  EXPECT_EQ(both.assign(0, 1, 3), HopArray{0});
  EXPECT_EQ(both.assign(0, 1, 4), HopArray{1});
}

TEST(Placement, LastFitStartsFromTheTop) {
  PreparedRun lf({"-lf", "-nt:" + write_file("net.txt", single_link({}))});
  ASSERT_TRUE(lf.status.ok()) << lf.status.message;
  lf.start_batch();
  EXPECT_EQ(lf.assign(0, 1, 1), HopArray{3});
}

// Wavelengths 0..2 carry one slot each, so a whole-wavelength call needs
// four trials to reach wavelength 3.
TEST(Placement, TheAttemptLimitBlocksACallThatWouldFitLater) {
  for (uint32_t limit : {2u, 4u}) {
    PreparedRun p({"-at:" + std::to_string(limit), "-nt:" + write_file("net.txt", single_link({.slots = 2}))});
    ASSERT_TRUE(p.status.ok()) << p.status.message;
    p.start_batch();
    for (uint32_t w : {0u, 1u, 2u}) p.take(0, 1, w, 1);
    const HopArray hops = p.assign(0, 1, 2);
    EXPECT_EQ(hops, limit == 4 ? HopArray{3} : HopArray{});
    EXPECT_EQ(p.lane().methods.rwa.context.total_attempts, limit);
  }
}

// ---- The free-mask scan against a trial of one wavelength after another ----

// Three links in a line 0 -> 1 -> 2 -> 3, four slots per wavelength, and a
// path over them as one segment; the tests set the capacities, the bound
// and which hops groom.
struct Line {
  Network net;
  LinkState links;
  Hop hops[3];
  Segment seg{0, 3, 0};
  RwaContext c;

  explicit Line(const std::vector<uint32_t>& capacity) {
    net.node_count = net.total_nodes = 4;
    net.slots_per_wavelength = 4;
    net.capacity.assign(16, 0);
    for (uint32_t k = 0; k < 3; ++k) net.capacity[net.at(k, k + 1)] = capacity[k];
    net.connect();
    links.allocate(net);
    links.reset();
    const uint32_t bound = *std::min_element(capacity.begin(), capacity.end());
    for (uint32_t k = 0; k < 3; ++k) hops[k] = Hop{uint32_t(net.at(k, k + 1)), bound, k == 2, 0};
    c.links = &links;
  }
  void take(uint32_t hop, uint32_t w, uint32_t slots) { links.take(hops[hop].link, w, slots); }
  // One call's scan, starting with `used` attempts of at most `limit`.
  template <bool kDownwards>
  Pick scan(uint32_t used, uint32_t limit, uint32_t slots, uint32_t& w) {
    c.attempts = used;
    c.max_attempts = limit;
    c.total_attempts = 0;
    return scan_segment<kDownwards>(c, hops, seg, slots, w);
  }
};

// The fit rule hop by hop, from the segment's first hop.
bool fits_segment(const LinkState& links, const Hop* hops, const Segment& seg, uint32_t w, uint32_t slots) {
  for (uint32_t k = seg.first; k < seg.end; ++k)
    if (!fits_hop(links, hops[k], w, slots)) return false;
  return true;
}

// The contract, word for word: before every wavelength trial the limit is
// checked and the attempt counted, then the fit rule hop by hop.
template <bool kDownwards>
Pick trial_by_trial(RwaContext& c, const Hop* hops, const Segment& seg, uint32_t slots, uint32_t& w) {
  uint32_t low, end;
  scan_window(*c.links, hops[seg.first], low, end);
  for (uint32_t i = 0; low + i < end; ++i) {
    w = kDownwards ? end - 1 - i : low + i;
    if (!c.count_attempt()) return Pick::blocked;
    if (fits_segment(*c.links, hops, seg, w, slots)) return Pick::found;
  }
  return Pick::path_fails;
}

// Random spectra over one to four mask words (and across a word edge),
// hops with and without grooming, bounds below the capacities, calls
// larger than a wavelength, and attempt limits inside, at and past the
// window: the outcome, the wavelength and the attempts agree.
TEST(FreeMaskScan, AgreesWithTheTrialOfOneWavelengthAfterAnother) {
  std::mt19937 rng(5);
  int found = 0, blocked = 0, failed = 0;
  for (uint32_t cap : {1u, 16u, 64u, 65u, 130u, 256u}) {
    for (int round = 0; round < 300; ++round) {
      Line line({cap, cap + static_cast<uint32_t>(rng() % 3), cap});
      Hop* h = line.hops;
      for (Hop& hop : line.hops) hop.groomed = rng() % 4 == 0;
      if (rng() % 3 == 0) h[0].bound = h[1].bound = h[2].bound = 1 + rng() % cap;
      line.seg = rng() % 4 ? Segment{0, 3, 0} : Segment{1, 2, 1};
      // Fill a share of the wavelengths, in random order so that the
      // window is left as a hint.
      const uint32_t busy = rng() % 101;
      for (uint32_t k = 0; k < 3; ++k) {
        std::vector<uint32_t> order(line.links.links[h[k].link].capacity);
        for (uint32_t w = 0; w < order.size(); ++w) order[w] = w;
        std::shuffle(order.begin(), order.end(), rng);
        for (uint32_t w : order)
          if (rng() % 100 < busy) line.take(k, w, 1 + rng() % 4);
      }
      const uint32_t slots = 1 + rng() % 5;
      const uint32_t limit = rng() % 4 ? rng() % (cap + 3) : kNoLimit;
      const uint32_t used = limit == kNoLimit ? rng() % 5 : rng() % (limit + 1);
      for (bool down : {false, true}) {
        uint32_t w = 0;
        const Pick got = down ? line.scan<true>(used, limit, slots, w) : line.scan<false>(used, limit, slots, w);
        const uint32_t attempts = line.c.attempts;
        const uint64_t total = line.c.total_attempts;
        line.c.attempts = used;
        line.c.total_attempts = 0;
        uint32_t want_w = 0;
        const Pick want = down ? trial_by_trial<true>(line.c, h, line.seg, slots, want_w)
                               : trial_by_trial<false>(line.c, h, line.seg, slots, want_w);
        SCOPED_TRACE(testing::Message() << "capacity " << cap << " round " << round << " down " << down);
        ASSERT_EQ(got, want);
        if (want == Pick::found) {
          ASSERT_EQ(w, want_w);
        }
        ASSERT_EQ(attempts, line.c.attempts);
        ASSERT_EQ(total, line.c.total_attempts);
        // The single-wavelength test and the window question agree as well.
        const SegmentFit fit(line.links, h, line.seg, slots);
        uint32_t low, end;
        scan_window(line.links, h[line.seg.first], low, end);
        bool any = false;
        for (uint32_t x = 0; x < h[line.seg.first].bound; ++x) {
          const bool fits = fits_segment(line.links, h, line.seg, x, slots);
          ASSERT_EQ(fit.fits(x), fits) << x;
          any |= fits && x >= low && x < end;
        }
        ASSERT_EQ(fit.any(low, end), any);
        found += want == Pick::found;
        blocked += want == Pick::blocked;
        failed += want == Pick::path_fails;
      }
    }
  }
  // Every outcome came up often enough to matter.
  EXPECT_GT(found, 300);
  EXPECT_GT(blocked, 300);
  EXPECT_GT(failed, 300);
}

// 65 wavelengths of which only the one across the word edge from the scan
// start is free: the limit decides between a hit on the last trial and a
// blocked call, and a window without a fit costs all its trials or blocks.
TEST(FreeMaskScan, TheLimitFallsJustBeforeOrOnTheOnlyFit) {
  for (bool down : {false, true}) {
    Line line({65, 65, 65});
    for (uint32_t k = 0; k < 3; ++k)
      for (uint32_t w = 1; w < 64; ++w) line.take(k, w, 1);
    line.take(0, down ? 64 : 0, 1);  // the scan starts on a used wavelength
    const uint32_t only = down ? 0 : 64;
    struct Case {
      uint32_t used, limit;
      Pick pick;
      uint32_t attempts;
    };
    for (const Case& k : {Case{0, kNoLimit, Pick::found, 65}, Case{0, 65, Pick::found, 65},
                          Case{0, 64, Pick::blocked, 64}, Case{10, 74, Pick::blocked, 74},
                          Case{10, 75, Pick::found, 75}, Case{7, 7, Pick::blocked, 7}}) {
      uint32_t w = 99;
      const Pick got = down ? line.scan<true>(k.used, k.limit, 1, w) : line.scan<false>(k.used, k.limit, 1, w);
      EXPECT_EQ(got, k.pick) << down << " " << k.used << " " << k.limit;
      EXPECT_EQ(line.c.attempts, k.attempts);
      EXPECT_EQ(line.c.total_attempts, k.attempts - k.used);
      if (k.pick == Pick::found) {
        EXPECT_EQ(w, only);
      }
    }
    line.take(1, only, 1);  // no fit left in the window
    for (const Case& k : {Case{0, 65, Pick::path_fails, 65}, Case{0, 64, Pick::blocked, 64},
                          Case{1, kNoLimit, Pick::path_fails, 66}}) {
      uint32_t w = 0;
      const Pick got = down ? line.scan<true>(k.used, k.limit, 1, w) : line.scan<false>(k.used, k.limit, 1, w);
      EXPECT_EQ(got, k.pick) << down << " " << k.used << " " << k.limit;
      EXPECT_EQ(line.c.attempts, k.attempts);
    }
  }
}

// Random assignment on a segment where nothing fits draws once per trial,
// up to the window or the attempt limit, as a draw-and-test would.
TEST(Placement, RandomAssignmentDrawsOncePerTrialWhenNothingFits) {
  for (uint32_t limit : {0u, 3u, 8u, 100u}) {
    std::vector<std::string> args = {"-r", "-nt:" + write_file("net.txt", single_link({.wavelengths = 8, .slots = 2}))};
    if (limit) args.push_back("-at:" + std::to_string(limit));
    PreparedRun p(args);
    ASSERT_TRUE(p.status.ok()) << p.status.message;
    p.start_batch();
    for (uint32_t w = 0; w < 8; ++w) p.take(0, 1, w, 1);  // every wavelength partly used
    const Lehmer& stream = p.lane().methods.rwa.context.stream;
    Lehmer expected = stream;
    const uint32_t trials = limit ? std::min(limit, 8u) : 8u;
    for (uint32_t k = 0; k < 1 + trials; ++k) expected.step();  // the draw of the one path first
    EXPECT_EQ(p.assign(0, 1, 2), HopArray{});
    EXPECT_EQ(stream.state, expected.state) << limit;
    EXPECT_EQ(p.lane().methods.rwa.context.total_attempts, trials);
  }
}

// What the routing half offers for one request of (s, d) when every path
// fails: the candidates in the order offered.
std::vector<int32_t> offered(PreparedRun& p, uint32_t s, uint32_t d) {
  Rwa& rwa = p.lane().methods.rwa;
  std::vector<int32_t> got;
  for (int32_t c = rwa.routing.first(rwa.context, rwa.routing.state, s, d); c != -1 && got.size() < 1000;
       c = rwa.routing.next(rwa.context, rwa.routing.state))
    got.push_back(c);
  return got;
}

// The priority group of path k of the pair's list.
uint32_t group_of(const PathTable& t, uint32_t s, uint32_t d, int32_t k) {
  const PathList& l = t.list(s, d);
  const uint32_t* b = t.group_boundaries(l);
  uint32_t g = 0;
  while (g + 1 < t.group_count(l) && uint32_t(k) >= b[g + 1]) ++g;
  return g;
}

// Every routing half, under a first-fit assignment (so that candidates are
// indices into the pair's Path list), on NSFNET with the paths one hop
// longer than the shortest as a second priority group: every path of every
// group is offered exactly once, groups in order (last fit walks the whole
// list backwards, groups or not).
TEST(RoutingHalves, OfferEveryPathOfEveryGroupOnceWhenAllFail) {
  const std::string net = test::read_file(test::example("nsfnet.txt"));
  const std::vector<std::vector<std::string>> routings = {
      {"-ff"}, {"-lf"}, {"-r"}, {"-la"}, {"-la", "-sla"}, {"-dla"}, {"-mu"}, {"-lu"},
      {"-ll"}, {"-ml"}, {"-wlcr"}, {"-wmcr"}};
  for (const auto& routing : routings) {
    for (bool groups : {false, true}) {
      if (!groups && routing.size() > 1) continue;  // -sla needs -pr
      std::vector<std::string> args = {routing[0], "-ff", "-mc:1", "-sh", "-al:0.1", "-ep:0.1", "-s:3"};
      if (groups) args.push_back("-pr");
      if (routing.size() > 1) args.push_back(routing[1]);
      SCOPED_TRACE(::testing::PrintToString(args));
      PreparedRun p = prepared(args, net);
      ASSERT_TRUE(p.status.ok()) << p.status.message;
      p.start_batch();
      const PathTable& t = p.run->paths;
      for (uint32_t s = 0; s < t.total_nodes; ++s) {
        for (uint32_t d = 0; d < t.total_nodes; ++d) {
          const uint32_t count = t.list(s, d).count;
          if (count == 0) continue;
          std::vector<int32_t> got = offered(p, s, d);
          if (groups && routing[0] != "-lf") {  // last fit walks the list backwards
            for (size_t i = 1; i < got.size(); ++i) {
              ASSERT_LE(group_of(t, s, d, got[i - 1]), group_of(t, s, d, got[i])) << s << "-" << d;
            }
          }
          std::vector<int32_t> list_order(count);
          for (uint32_t k = 0; k < count; ++k) list_order[k] = int32_t(k);
          if (routing[0] == "-ff") {
            ASSERT_EQ(got, list_order) << s << "-" << d;
          }
          if (routing[0] == "-lf") {
            ASSERT_EQ(got, std::vector<int32_t>(list_order.rbegin(), list_order.rend()));
          }
          std::sort(got.begin(), got.end());
          ASSERT_EQ(got, list_order) << s << "-" << d;
        }
      }
    }
  }
}

}  // namespace
}  // namespace lumtra
