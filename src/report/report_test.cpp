#include "report/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <regex>

#include "harness.h"

namespace lumtra {
namespace {

using test::run_lumtra;

// A minimal JSON validator: true when `s` holds exactly one JSON value.
class JsonCheck {
 public:
  explicit JsonCheck(const std::string& s) : s_(s) {}
  bool valid() {
    ws();
    if (!value()) return false;
    ws();
    return i_ == s_.size();
  }

 private:
  void ws() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  bool lit(const char* t) {
    size_t n = std::strlen(t);
    if (s_.compare(i_, n, t) != 0) return false;
    i_ += n;
    return true;
  }
  bool str() {
    if (s_[i_] != '"') return false;
    for (++i_; i_ < s_.size() && s_[i_] != '"'; ++i_)
      if (s_[i_] == '\\') ++i_;
    return i_++ < s_.size();
  }
  bool number() {
    size_t start = i_;
    while (i_ < s_.size() && std::strchr("+-0123456789.eE", s_[i_])) ++i_;
    return i_ > start;
  }
  bool value() {
    ws();
    if (i_ >= s_.size()) return false;
    char c = s_[i_];
    if (c == '{' || c == '[') {
      const char close = c == '{' ? '}' : ']';
      ++i_;
      ws();
      if (s_[i_] == close) return ++i_, true;
      for (;;) {
        ws();
        if (c == '{') {
          if (!str()) return false;
          ws();
          if (s_[i_++] != ':') return false;
        }
        if (!value()) return false;
        ws();
        if (s_[i_] == ',') {
          ++i_;
          continue;
        }
        return s_[i_++] == close;
      }
    }
    if (c == '"') return str();
    return lit("true") || lit("false") || lit("null") || number();
  }
  const std::string& s_;
  size_t i_ = 0;
};

double number_after(const std::string& text, const std::string& key) {
  size_t at = text.find(key);
  EXPECT_NE(at, std::string::npos) << key;
  return at == std::string::npos ? NAN : std::stod(text.substr(at + key.size()));
}

const std::string kNet = "-nt:" + test::example("nsfnet.txt");

// Run totals of three reported nodes over two batches, the Average matrix
// holding the sums of the per-batch pair blocking given.
RunTotals totals_of(const std::vector<double>& sums) {
  RunTotals t;
  t.average = sums;
  t.batches = 2;
  t.bp_sum = 0.3;  // batch blocking 0.1 and 0.2
  t.batches_with_arrivals = 2;
  t.total_arrived = 100;
  t.total_blocked = 15;
  t.total_attempts = 250;
  return t;
}

TEST(Statistics, DivisorsCentreAndTiesOnASmallTable) {
  // Pair averages (sums / 2): diagonal 0.5 each, off-diagonal as below.
  const std::vector<double> sums = {1.0, 0.2, 0.6,   //
                                    0.6, 1.0, 0.0,   //
                                    0.0, 0.2, 1.0};
  RunTotals t = totals_of(sums);
  const FinalStats st = compute_statistics(t, {3, 3, false});
  ASSERT_EQ(st.pair_averages.size(), 6u);
  EXPECT_DOUBLE_EQ(st.average, 0.15);  // mean of the batches' blocking
  EXPECT_DOUBLE_EQ(st.overall, 0.15);
  // Six included pairs: 0.1 + 0.3 + 0.3 + 0 + 0 + 0.1 over M x M - M = 6.
  EXPECT_DOUBLE_EQ(st.average_of_averages, 0.8 / 6);
  // Around the Average Blocking Probability, over M (M - 1) - 1 = 5.
  const double sq = 2 * 0.05 * 0.05 + 2 * 0.15 * 0.15 + 2 * 0.15 * 0.15;
  EXPECT_NEAR(st.variance, sq / 5, 1e-15);
  EXPECT_DOUBLE_EQ(st.attempts, 2.5);
  // Ties: the first pair in row order wins, strictly greater or smaller.
  EXPECT_EQ(st.maximum.source, 1u);
  EXPECT_EQ(st.maximum.destination, 3u);
  EXPECT_EQ(st.minimum.source, 2u);
  EXPECT_EQ(st.minimum.destination, 3u);

  // With -lo the diagonal is included: divisor M x M, the variance's stays.
  RunTotals local = totals_of(sums);
  const FinalStats lo = compute_statistics(local, {3, 3, true});
  EXPECT_EQ(lo.pair_averages.size(), 9u);
  EXPECT_DOUBLE_EQ(lo.average_of_averages, (0.8 + 1.5) / 9);
  EXPECT_NEAR(lo.variance, (sq + 3 * 0.35 * 0.35) / 5, 1e-15);
  EXPECT_EQ(lo.maximum.source, 1u);
  EXPECT_EQ(lo.maximum.destination, 1u);
}

TEST(LongOptions, VersionNeedsNoNetworkAndUnknownLongOptionsAreRefused) {
  auto v = run_lumtra({"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out, "Lumtra 1.0\n");
  auto bad = run_lumtra({"--jsn:x", kNet});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("lumtra: command line: --jsn:x: unknown option"), std::string::npos) << bad.err;
}

TEST(LongOptions, TheJsonDocumentParsesAndAgreesWithTheConsole) {
  std::string path = test::scratch_dir() + "/run.json";
  auto r = run_lumtra({"-s:4", "-b:3", "-t:20", "-or:a\"b", kNet, "--json:" + path});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string json = test::read_file(path);
  EXPECT_TRUE(JsonCheck(json).valid()) << json.substr(0, 400);
  EXPECT_NE(json.find("\"row_name\":\"a\\\"b\""), std::string::npos);
  EXPECT_NE(json.find("\"seed\":4,"), std::string::npos);
  EXPECT_EQ(number_after(json, "\"total_arrived\":"), number_after(r.out, "Total Arrived = "));
  EXPECT_EQ(number_after(json, "\"total_blocked\":"), number_after(r.out, "Total Blocked = "));
  for (auto [jkey, ckey] : {std::pair{"\"average_blocking_probability\":", "Average Blocking Probability = "},
                            {"\"variance\":", "Variance = "},
                            {"\"average_number_of_attempts\":", "Average Number of attempts = "}})
    EXPECT_NEAR(number_after(json, jkey), number_after(r.out, ckey), 1e-5 * number_after(r.out, ckey) + 1e-12);
  // The classic output does not change with the long options.
  auto plain = run_lumtra({"-s:4", "-b:3", "-t:20", "-or:a\"b", kNet});
  EXPECT_EQ(test::without_elapsed(plain.out), test::without_elapsed(r.out));
}

TEST(LongOptions, ConfidenceHalfWidthMatchesAHandComputation) {
  auto r = run_lumtra({"-s:9", "-b:4", "-t:30", kNet, "--ci"});
  ASSERT_EQ(r.status, 0) << r.err;
  // Batch blocking from the per-batch lines: each batch's text runs from its
  // "Batch b:" header to the next one (the last to the final statistics).
  std::vector<double> batch;
  std::regex line(R"(Arrived: (\d+)\tBlocked: (\d+))");
  std::vector<size_t> heads;
  for (size_t at = r.out.find("\nBatch "); at != std::string::npos; at = r.out.find("\nBatch ", at + 1))
    heads.push_back(at);
  heads.push_back(r.out.find("Average Blocking Rates"));
  for (size_t k = 0; k + 1 < heads.size(); ++k) {
    std::string part = r.out.substr(heads[k], heads[k + 1] - heads[k]);
    double a = 0, c = 0;
    for (std::sregex_iterator it(part.begin(), part.end(), line), end; it != end; ++it)
      a += std::stod((*it)[1]), c += std::stod((*it)[2]);
    if (a > 0) batch.push_back(c / a);
  }
  ASSERT_EQ(batch.size(), 4u);
  double mean = (batch[0] + batch[1] + batch[2] + batch[3]) / 4, ss = 0;
  for (double x : batch) ss += (x - mean) * (x - mean);
  const double expected = 3.182446 * std::sqrt(ss / 3) / 2;  // t(0.975, 3) = 3.182446
  const double printed = number_after(r.out, "Average Blocking Probability 95% Confidence Half-Width = ");
  EXPECT_NEAR(printed, expected, 1e-5 * expected);
  EXPECT_LT(r.out.find("Confidence"), r.out.find("Simulation Time"));

  auto one = run_lumtra({"-s:9", "-b:1", "-t:30", kNet, "--ci"});
  EXPECT_NE(one.out.find("Half-Width: none, fewer than two batches had arrivals\nPooled Blocking Probability "),
            std::string::npos);
  EXPECT_NE(one.out.find("Interval: none, fewer than two batches\nLag-1 Autocorrelation of the Batch "
                         "Blocking: none, fewer than three batches had arrivals or all blocked the same share\n"
                         "Simulation Time"),
            std::string::npos)
      << one.out;
}

TEST(LongOptions, NothingGoesToStandardErrorWhenItIsNotATerminal) {
  auto binary = test::run_binary({"-s:3", "-b:2", "-t:20", kNet});
  auto in_process = run_lumtra({"-s:3", "-b:2", "-t:20", kNet});
  ASSERT_EQ(binary.status, 0);
  EXPECT_EQ(binary.err, "");
  EXPECT_EQ(test::without_elapsed(binary.out), test::without_elapsed(in_process.out));
}

}  // namespace
}  // namespace lumtra
