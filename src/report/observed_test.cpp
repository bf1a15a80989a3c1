#include "report/observed.h"

#include <gtest/gtest.h>

#include <fstream>

#include "harness.h"

namespace lumtra {
namespace {

using test::read_file;
using test::run_lumtra;
using test::write_file;

const std::string kNames = "number,name\n1,Aachen\n3,\"Bonn, Nord\"\n";

TEST(NodeNames, ReachTheJsonTheTableAndTheSummaryBesideTheNumbers) {
  const std::string json = test::scratch_dir() + "/run.json", table = test::scratch_dir() + "/run.csv";
  auto r = run_lumtra({"--summary", "-s:1", "-b:1", "-t:20", "--names:" + write_file("names.csv", kNames),
                       "--json:" + json, "--report:" + table, "-nt:" + test::example("ring-6.txt")});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string doc = read_file(json);
  EXPECT_NE(doc.find("\"node_names\":[\"Aachen\",null,\"Bonn, Nord\",null,null,null]"), std::string::npos);
  EXPECT_NE(doc.find("{\"source\":3,\"source_name\":\"Bonn, Nord\",\"destination\":2,\"destination_name\":null,"),
            std::string::npos);
  EXPECT_NE(read_file(table).find("\nfibre,1,\"Aachen\",2,\"\",wavelengths,4\n"), std::string::npos);
  EXPECT_NE(r.out.find("\n  1 (Aachen) -> 2: "), std::string::npos) << r.out;
}

TEST(NodeNames, ABadNamesFileStopsTheRunNamingTheLineAndWritesNothing) {
  const std::string json = test::scratch_dir() + "/bad.json";
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"number,name\n1,A\n9,B\n", "line 3: '9' is not a node of the network (1 to 6)"},
      {"2,B\n2,C\n", "line 2: node 2 is named a second time"},
      {"1,\"Aachen\n", "line 1: a quoted name is not closed"},
      {"1;Aachen\n", "line 1: '1;Aachen' is not a node number and a name separated by one comma"},
  };
  for (const auto& c : cases) {
    const std::string names = write_file("bad.csv", c.text);
    auto r = run_lumtra({"-s:1", "-b:1", "-t:20", "--names:" + names, "--json:" + json,
                         "-nt:" + test::example("ring-6.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "lumtra: " + names + ": " + c.message + "\n");
    EXPECT_FALSE(std::ifstream(json).good());
  }
}

TEST(JsonDetail, SummaryLeavesOutEveryPerPairAndPerFibreTable) {
  const std::string json = test::scratch_dir() + "/lean.json";
  auto r = run_lumtra({"-s:1", "-b:2", "-t:20", "--json:" + json, "--json-detail:summary",
                       "-nt:" + test::example("ring-6.txt")});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string doc = read_file(json);
  EXPECT_NE(doc.find("\"blocking_causes\":{"), std::string::npos);
  for (const char* key : {"\"pairs\"", "\"pair_observations\"", "\"fibres\"", "\"wavelengths\":["})
    EXPECT_EQ(doc.find(key), std::string::npos) << key;
  r = run_lumtra({"-s:1", "--json-detail:pairs", "-nt:" + test::example("ring-6.txt")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "lumtra: command line: --json-detail: needs --json:FILE, the document it shapes\n");
}

}  // namespace
}  // namespace lumtra
