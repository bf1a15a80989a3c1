// Parameter file of the network generator: a list of items, each a random
// distribution ("L lo hi" whole numbers, "D lo hi" reals, "Y percent" yes/no),
// optionally made silent by a preceding "C". The generator refers to items
// only by their position; this file reads them and draws values from them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/lehmer.h"

namespace lumtra {

enum ItemKind : int16_t {
  kIntegerItem = 1,  // "L lower upper"
  kRealItem = 2,     // "D lower upper"
  kYesNoItem = 3,    // "Y percent" (percent is kept in `lower`)
};

struct ParameterItem {
  double lower = 0.0;
  double upper = 0.0;  // unused by yes/no items
  int16_t kind = 0;
  bool silent = false;  // drawn but not written to the network file
};

struct ParameterList {
  std::vector<ParameterItem> items;  // every item read completely, in file order
  // Set when reading stopped at an item whose numbers could not be read, or
  // when the file ends with a C that has no item to act on: the position
  // (0-based) of that item and what was wrong with it.
  bool broken = false;
  size_t broken_position = 0;
  std::string broken_problem;
};

// Reads items until the end of `in`. Letters are matched in either case and
// every other character is skipped; numbers are read as "%lg" reads them.
ParameterList read_parameters(std::FILE* in);

// Draws one value from `item` with one number of `stream`. Unless the item
// is silent, writes it to `out` ("%ld" whole numbers, "%g" reals, "y"/"n")
// followed by `separator`.
double draw_item(const ParameterItem& item, Lehmer& stream, std::FILE* out, char separator);

// Draws a node type: items[0] holds the range lo .. hi of type values and
// items 1 .. S-1 (S = trunc(hi - lo) + 1) the percentages of the first S-1
// values; the last value takes whatever the percentages leave. Writes the
// type followed by `separator` unless items[0] is silent. The caller makes
// sure the percentage items exist.
int64_t draw_type(const std::vector<ParameterItem>& items, Lehmer& stream, std::FILE* out, char separator);

// Number of type values of a type item: trunc(upper - lower) + 1.
int64_t type_count(const ParameterItem& type_item);

}  // namespace lumtra
