#include "sim/observer.h"

#include <gtest/gtest.h>

#include <numeric>

#include "harness.h"
#include "report/observed.h"
#include "sim/engine.h"

namespace lumtra {
namespace {

using test::PreparedRun;
using test::write_file;

// Three nodes in a line, 1 - 2 - 3, two wavelengths per fibre, traffic only
// from 1 to 3: non-grooming nodes with calls of a whole wavelength, or
// full-grooming nodes with 4 slots per wavelength and calls of 3.
std::string line_of_three(bool grooming) {
  const char* node = grooming ? "3 n\n" : "1 n\n";
  return std::string("3\n") + node + node + node + (grooming ? "4\n3\n3\n" : "1\n1\n1\n") +
         "0 2 0\n2 0 2\n0 2 0\n0 0 1\n0 0 0\n0 0 0\n1\n10\n";
}

uint64_t total(const std::array<uint64_t, kCauseCount>& causes) {
  return std::accumulate(causes.begin(), causes.end(), uint64_t{0});
}

// Places one call from node 1 to node 3 on the links as the test left them
// and returns what the observer saw.
Observations one_call(PreparedRun& p, uint32_t demand, bool expect_placed = false) {
  EXPECT_EQ(place_call(p.lane(), p.input(), 0, 2, demand), expect_placed);
  Observations o;
  p.lane().observer.finish_batch(o);
  return o;
}

void start(PreparedRun& p) {
  p.start_batch();
  p.lane().observer.start_batch();
}

TEST(BlockCauses, DifferentFreeWavelengthsOnTheTwoFibresBlockForContinuityAndChargeTheSecond) {
  PreparedRun p({"--summary", "-nt:" + write_file("line.txt", line_of_three(false))});
  ASSERT_TRUE(p.status.ok()) << p.status.message;
  start(p);
  p.take(0, 1, 0, 1);  // 1 -> 2 keeps wavelength 1 free, 2 -> 3 wavelength 0
  p.take(1, 2, 1, 1);
  const Observations o = one_call(p, 1);
  const size_t pair = p.run->net.at(0, 2);
  EXPECT_EQ(o.causes[pair][size_t(BlockCause::no_wavelength)], 1u);
  EXPECT_EQ(total(o.causes[pair]), 1u);
  // The free set {1} of the first fibre became empty on the second.
  EXPECT_EQ(o.charges[p.run->net.at(1, 2)], 1u);
  EXPECT_EQ(o.charges[p.run->net.at(0, 1)], 0u);
}

TEST(BlockCauses, GroomingFibresWithRoomOnEveryWavelengthButTooLittleBlockForSlotsOrForTheAttemptLimit) {
  PreparedRun p({"--summary", "-nt:" + write_file("line.txt", line_of_three(true))});
  ASSERT_TRUE(p.status.ok()) << p.status.message;
  const size_t pair = p.run->net.at(0, 2);
  start(p);
  p.take(0, 1, 0, 2);  // 2 of 4 slots left on both wavelengths, a call needs 3
  p.take(0, 1, 1, 2);
  Observations o = one_call(p, 3);
  EXPECT_EQ(o.causes[pair][size_t(BlockCause::no_slots)], 1u);
  EXPECT_EQ(total(o.causes[pair]), 1u);
  EXPECT_EQ(o.charges[p.run->net.at(0, 1)], 0u);

  // Wavelength 1 would fit, but one trial allows only wavelength 0.
  PreparedRun limited({"--summary", "-at:1", "-nt:" + write_file("line.txt", line_of_three(true))});
  ASSERT_TRUE(limited.status.ok()) << limited.status.message;
  start(limited);
  limited.take(0, 1, 0, 2);
  o = one_call(limited, 3);
  EXPECT_EQ(o.causes[pair][size_t(BlockCause::attempt_limit)], 1u);
  EXPECT_EQ(total(o.causes[pair]), 1u);
}

// One batch of a prepared run that observes.
Observations one_batch(PreparedRun& p, BatchRecord& record) {
  EXPECT_TRUE(p.status.ok()) << p.status.message;
  EXPECT_TRUE(run_batch(p.lane(), p.input(), 1, record).ok());
  return record.observed;
}

uint64_t all_causes(const Observations& o) {
  uint64_t n = 0;
  for (const auto& c : o.causes) n += total(c);
  return n;
}

double sum(const std::vector<double>& v) { return std::accumulate(v.begin(), v.end(), 0.0); }

// Little's law: what the fibres held on average equals what the calls
// brought, hops times holding time over the counted time.
TEST(Utilisation, FibresHoldWhatTheCallsBroughtOnNsfnet) {
  PreparedRun p({"--summary", "-s:3", "-b:1", "-t:200", "-nt:" + test::example("nsfnet.txt")});
  BatchRecord record;
  const Observations o = one_batch(p, record);
  ASSERT_GT(record.blocked, 0u);
  EXPECT_EQ(all_causes(o), record.blocked);
  const double busy = sum(o.wavelength_time);
  EXPECT_GT(busy, 0.0);
  EXPECT_NEAR(busy, sum(o.hop_time), 1e-9 * busy);
  EXPECT_NEAR(sum(o.slot_time), sum(o.slot_hop_time), 1e-9 * busy);
  // Every busy fibre is busy on some wavelength index.
  EXPECT_NEAR(sum(o.index_time), busy, 1e-9 * busy);
}

TEST(Utilisation, GroomingFibresHoldTheSlotsOfEveryPartOfSplitCalls) {
  // A ring of four full-grooming nodes, 2 wavelengths of 4 slots, calls of
  // 1 to 4 slots split over wavelengths where they must (-m).
  const std::string ring =
      "4\n3 n\n3 n\n3 n\n3 n\n4\n1\n4\n"
      "0 2 0 2\n2 0 2 0\n0 2 0 2\n2 0 2 0\n"
      "0 1 1 1\n1 0 1 1\n1 1 0 1\n1 1 1 0\n1\n100\n";
  PreparedRun p({"--summary", "-m", "-s:4", "-nt:" + write_file("ring.txt", ring)});
  BatchRecord record;
  const Observations o = one_batch(p, record);
  ASSERT_GT(record.blocked, 0u);
  EXPECT_EQ(all_causes(o), record.blocked);
  uint64_t short_of_slots = 0;
  for (const auto& c : o.causes) short_of_slots += c[size_t(BlockCause::no_slots)];
  EXPECT_GT(short_of_slots, 0u);
  const double slots = sum(o.slot_time);
  EXPECT_GT(slots, 0.0);
  EXPECT_NEAR(slots, sum(o.slot_hop_time), 1e-9 * slots);
  // Calls share wavelengths, so fewer wavelengths than call-hops are busy.
  EXPECT_LT(sum(o.wavelength_time), sum(o.hop_time));
}

TEST(Bottlenecks, AFibreOnSeveralCandidatePathsIsChargedOncePerCall) {
  // 1 - 2, then 2 - 4 or 2 - 3 - 4: both candidate paths from 1 to 4
  // (-mc:1) start on the fibre 1 -> 2, whose one wavelength is taken.
  const std::string net =
      "4\n1 n\n1 n\n1 n\n1 n\n1\n1\n1\n"
      "0 1 0 0\n1 0 1 1\n0 1 0 1\n0 1 1 0\n"
      "0 0 0 1\n0 0 0 0\n0 0 0 0\n0 0 0 0\n1\n10\n";
  PreparedRun p({"--summary", "-mc:1", "-nt:" + write_file("fork.txt", net)});
  ASSERT_TRUE(p.status.ok()) << p.status.message;
  ASSERT_EQ(p.run->paths.list(0, 3).count, 2u);
  start(p);
  p.take(0, 1, 0, 1);
  EXPECT_FALSE(place_call(p.lane(), p.input(), 0, 3, 1));
  Observations o;
  p.lane().observer.finish_batch(o);
  EXPECT_EQ(o.causes[p.run->net.at(0, 3)][size_t(BlockCause::no_wavelength)], 1u);
  EXPECT_EQ(o.charges[p.run->net.at(0, 1)], 1u);
}

TEST(Bottlenecks, TheMiddleFibresOfALineRunOutFirst) {
  // 1 - 2 - 3 - 4, two wavelengths per fibre, one Erlang between every pair.
  const std::string line =
      "4\n1 n\n1 n\n1 n\n1 n\n1\n1\n1\n"
      "0 2 0 0\n2 0 2 0\n0 2 0 2\n0 0 2 0\n"
      "0 1 1 1\n1 0 1 1\n1 1 0 1\n1 1 1 0\n1\n300\n";
  PreparedRun p({"--summary", "-s:2", "-nt:" + write_file("line4.txt", line)});
  BatchRecord record;
  const Observations o = one_batch(p, record);
  const ObservedView v = view_observations(o, p.run->net, false);
  ASSERT_GE(v.most_charged.size(), 2u);
  for (int k = 0; k < 2; ++k) {
    const FibreView& f = v.fibres[v.most_charged[k]];
    EXPECT_EQ(std::min(f.source, f.destination), 2u) << k;
    EXPECT_EQ(std::max(f.source, f.destination), 3u) << k;
  }
  EXPECT_EQ(v.blocked, record.blocked);
}

}  // namespace
}  // namespace lumtra
