#include "base/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace lumtra {
namespace {

// What a string becomes between the quotes: quotes, backslashes and control
// characters escaped, well-formed UTF-8 kept, every other byte as \udcXX.
TEST(JsonWriter, StringsComeOutAsValidJson) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"plain", "plain"},
      {"a\"b\\c/", "a\\\"b\\\\c/"},
      {"\x01\t\n\x1f", "\\u0001\\u0009\\u000a\\u001f"},
      {"\x7f~", "\x7f~"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"caf\xe9.txt", "caf\\udce9.txt"},                      // Latin-1
      {"\xc0\xaf", "\\udcc0\\udcaf"},                         // overlong '/'
      {"\xe0\x80\xaf", "\\udce0\\udc80\\udcaf"},              // overlong, three bytes
      {"\xed\xa0\x80", "\\udced\\udca0\\udc80"},              // a surrogate
      {"\xf4\x90\x80\x80", "\\udcf4\\udc90\\udc80\\udc80"},   // above U+10FFFF
      {"\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},               // U+10FFFF itself
      {"\xed\x9f\xbf", "\xed\x9f\xbf"},                       // U+D7FF
      {"\xe2\x82", "\\udce2\\udc82"},                         // cut short at the end
      {"\xc3(", "\\udcc3("},                                  // lead byte without its follower
      {"\xf5\x80\x80\x80", "\\udcf5\\udc80\\udc80\\udc80"},   // no such lead byte
  };
  for (const auto& c : cases) {
    JsonWriter j;
    j.str(c.in);
    EXPECT_EQ(j.text, std::string("\"") + c.out + "\"") << c.in;
  }
  JsonWriter nul;
  nul.str(std::string("a\0b", 3));
  EXPECT_EQ(nul.text, "\"a\\u0000b\"");
}

TEST(JsonWriter, CommasNumbersAndNull) {
  JsonWriter j;
  j.open('{');
  j.key("a\"").num(uint64_t{18446744073709551615u});
  j.key("b").num(std::numeric_limits<int64_t>::min());
  j.key("c").num(0.1);
  j.key("d").num(std::nan(""));
  j.key("e").num(-std::numeric_limits<double>::infinity());
  j.key("f").open('[');
  j.boolean(true);
  j.boolean(false);
  j.null();
  j.open('{');
  j.close('}');
  j.open('[');
  j.close(']');
  j.close(']');
  j.key("g").str("");
  j.close('}');
  EXPECT_EQ(j.text,
            "{\"a\\\"\":18446744073709551615,\"b\":-9223372036854775808,\"c\":0.10000000000000001,\"d\":null,"
            "\"e\":null,\"f\":[true,false,null,{},[]],\"g\":\"\"}");
}

}  // namespace
}  // namespace lumtra
