// Fibre lengths for distance-based path costs (--lengths:FILE). The file
// gives one fibre per line, "FROM TO KM": node numbers as in the network
// file (from 1) and the length in km; '#' starts a comment. Every fibre
// between real nodes needs one line; fibres to and from Virtual nodes may
// have one and otherwise weigh nothing.
#pragma once

#include <string>

#include "base/status.h"
#include "network/network.h"

namespace lumtra {

// Longest fibre accepted, so that every path cost in metres fits the path
// table's 32-bit costs for any realistic path (longer sums saturate).
inline constexpr double kMaxFibreKm = 100000.0;

// Fills net.link_metres (T x T, metres, rounded) from the file; the network
// must be complete. Errors name the file and the line, or the fibre without
// a line.
Status read_fibre_lengths(const std::string& path, Network& net);

// "1145.837": metres as km, without trailing zeros.
std::string km_text(int64_t metres);

}  // namespace lumtra
