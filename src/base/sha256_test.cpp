#include "base/sha256.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace lumtra {
namespace {

// The examples published with the standard (FIPS 180-2, appendix B).
TEST(Sha256, StandardExamples) {
  EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  // One million 'a', fed in uneven pieces through a file.
  const std::string name = ::testing::TempDir() + "sha256_million_a";
  {
    std::ofstream out(name, std::ios::binary);
    out << std::string(1000000, 'a');
  }
  std::string hex;
  ASSERT_TRUE(sha256_file(name, "network file", hex).ok());
  EXPECT_EQ(hex, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  std::remove(name.c_str());
  const Status missing = sha256_file(name, "network file", hex);
  EXPECT_EQ(missing.message, "lumtra: " + name + ": network file: cannot be read: No such file or directory\n");
}

}  // namespace
}  // namespace lumtra
