#include "base/json_reader.h"

#include <gtest/gtest.h>

namespace lumtra {
namespace {

TEST(JsonReader, GivesBackTheBytesAndRefusesWhatIsNotJson) {
  JsonValue v;
  std::string why;
  ASSERT_TRUE(parse_json(R"( {"a": ["caf\udce9", "\u00e9\ud83d\ude00", -1.5e2, true, null], "b": {}} )", v, why))
      << why;
  const JsonValue& a = *v.get("a");
  EXPECT_EQ(a.items[0].text, "caf\xe9");                     // a Latin-1 byte, as written
  EXPECT_EQ(a.items[1].text, "\xc3\xa9\xf0\x9f\x98\x80");    // UTF-8 of U+00E9 and U+1F600
  EXPECT_EQ(a.items[2].number, -150.0);
  EXPECT_TRUE(a.items[3].flag);
  EXPECT_EQ(a.items[4].kind, JsonValue::Kind::null);
  EXPECT_EQ(v.at("b")->kind, JsonValue::Kind::object);
  EXPECT_EQ(v.at("a.x"), nullptr);
  for (const auto& [text, problem] : std::vector<std::pair<std::string, std::string>>{
           {"", "the document ends early at byte 0"},
           {"{\"a\":1,}", "a field name expected at byte 7"},
           {"[1 2]", "',' or ']' expected at byte 3"},
           {"\"\\ud800x\"", "an unpaired surrogate escape at byte 7"},
           {"[NaN]", "not a JSON value at byte 1"},
           {"{} x", "text after the document at byte 3"},
           {std::string(100000, '['), "nested too deeply at byte 65"}}) {
    EXPECT_FALSE(parse_json(text, v, why)) << text.substr(0, 20);
    EXPECT_EQ(why, problem) << text.substr(0, 20);
  }
}

}  // namespace
}  // namespace lumtra
