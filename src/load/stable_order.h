// Stable sorting of short arrays of path indices without allocating: the
// caller owns the merge buffer and keeps it between requests. The result is
// the one std::stable_sort gives: ascending under the comparison, equal
// entries in their incoming order.
#pragma once

#include <cstdint>
#include <utility>

namespace lumtra {

// Runs up to this length are sorted by insertion; longer arrays merge such
// runs bottom-up.
inline constexpr uint32_t kInsertionRun = 16;

// `cmp(a, b)` is a three-way comparison: negative when a goes before b.
template <class Cmp>
void insertion_order(uint32_t* a, uint32_t n, Cmp& cmp) {
  for (uint32_t i = 1; i < n; ++i) {
    const uint32_t x = a[i];
    uint32_t j = i;
    for (; j > 0 && cmp(x, a[j - 1]) < 0; --j) a[j] = a[j - 1];
    a[j] = x;
  }
}

// Sorts a[0 .. n). `buffer` must hold at least n entries when n exceeds
// kInsertionRun; it is only scratch.
template <class Cmp>
void stable_order(uint32_t* a, uint32_t n, uint32_t* buffer, Cmp cmp) {
  if (n <= kInsertionRun) {
    insertion_order(a, n, cmp);
    return;
  }
  for (uint32_t start = 0; start < n; start += kInsertionRun) {
    const uint32_t len = n - start < kInsertionRun ? n - start : kInsertionRun;
    insertion_order(a + start, len, cmp);
  }
  uint32_t* from = a;
  uint32_t* to = buffer;
  for (uint32_t width = kInsertionRun; width < n; width *= 2) {
    for (uint32_t left = 0; left < n; left += 2 * width) {
      const uint32_t mid = left + width < n ? left + width : n;
      const uint32_t end = mid + width < n ? mid + width : n;
      uint32_t i = left, j = mid, out = left;
      // Ties take the left run first, which keeps the sort stable.
      while (i < mid && j < end) to[out++] = cmp(from[j], from[i]) < 0 ? from[j++] : from[i++];
      while (i < mid) to[out++] = from[i++];
      while (j < end) to[out++] = from[j++];
    }
    std::swap(from, to);
  }
  if (from != a)
    for (uint32_t k = 0; k < n; ++k) a[k] = from[k];
}

}  // namespace lumtra
