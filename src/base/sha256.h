// SHA-256 of byte strings and files, written out as 64 lower-case hex
// digits. Used to name exactly which network file or plug-in a run read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/status.h"

namespace lumtra {

class Sha256 {
 public:
  Sha256();
  void update(const void* data, size_t size);
  // The digest as hex; the object is spent afterwards.
  std::string hex();

 private:
  void block(const unsigned char* p);
  uint32_t h_[8];
  unsigned char buffer_[64];
  size_t buffered_ = 0;
  uint64_t length_ = 0;  // bytes hashed so far
};

std::string sha256_hex(const std::string& bytes);

// Hashes the whole file `name` into `hex`; a file that cannot be read is an
// error naming it, with `what` as the item ("network file").
Status sha256_file(const std::string& name, const std::string& what, std::string& hex);

}  // namespace lumtra
