// Reduced-load estimates of call blocking: an answer in milliseconds from
// the network and its candidate paths alone, without simulating.
//
// Two models:
// - full conversion: the Erlang fixed point. Fibre l with C_l wavelengths
//   blocks with B_l = E(C_l, rho_l), rho_l being the load offered to l
//   thinned by the other fibres of each path;
// - no conversion, random wavelength assignment: the number of free
//   wavelengths of every fibre follows a birth-death chain whose arrival
//   rate in each state is the traffic of the paths through the fibre that
//   find a wavelength free on all their other fibres too (the free sets of
//   the fibres being independent uniform random subsets of the wavelengths).
//   Converting nodes split a path into independent segments. Unless asked
//   otherwise, two consecutive fibres of a segment with as many
//   wavelengths are described together: the calls that continue from one
//   to the other hold the same wavelength on both, and the joint
//   distribution of the two fibres' free counts and of the number of such
//   calls is that of a loss network of the two fibres, scaled to the
//   fibres' own distributions (segments of up to 32 wavelengths; other
//   consecutive fibres of such segments: the share of the busy wavelengths
//   that continuing calls carry is taken as busy on both, none when the
//   fibre before is the wider).
// A pair tries its candidate paths in a given order; each is offered what
// the ones before it blocked.
#pragma once

#include <cstdint>
#include <vector>

#include "network/network.h"
#include "paths/path_table.h"

namespace lumtra {

// Erlang's loss formula E(servers, erlangs), by the stable recursion.
double erlang_b(uint32_t servers, double erlangs);

enum class EstimateModel { full_conversion, random_assignment };

// The order in which a pair tries its candidate paths.
enum class PathOrder {
  listed,    // first to last (first fit routing)
  reversed,  // last to first (last fit routing)
  random,    // a uniformly random order
  random_by_group,  // random within each priority group, groups in order;
                    // paths behind the last group are never tried
};

struct EstimateSettings {
  bool force_conversion = false;  // every node converts, whatever the network says
  // Without conversion: the free sets of consecutive fibres of a segment
  // independent, instead of the wavelengths of calls that continue from
  // one fibre to the next being busy on both.
  bool independent_fibres = false;
  PathOrder order = PathOrder::listed;
  double departure_rate = 1.0;    // calls per time unit: 1 / mean holding time
  double tolerance = 1e-10;       // largest change of an iteration that counts as settled
  uint32_t max_iterations = 2000;
};

struct FibreEstimate {
  uint32_t source = 0;       // 0-based nodes
  uint32_t destination = 0;
  uint32_t wavelengths = 0;
  double offered = 0.0;      // Erlangs of the paths through it, before any thinning
  double carried = 0.0;      // mean busy wavelengths
  double blocking = 0.0;     // probability that no wavelength is free
};

struct Estimate {
  EstimateModel model = EstimateModel::full_conversion;
  bool converged = false;
  uint32_t iterations = 0;
  double change = 0.0;       // largest change of the last iteration
  double offered = 0.0;      // Erlangs of all pairs
  double blocking = 0.0;     // share of all offered calls that are blocked
  // T x T, row = source: the blocking of every pair with traffic (0 for
  // pairs without), and its offered Erlangs.
  std::vector<double> pair_blocking;
  std::vector<double> pair_offered;
  std::vector<FibreEstimate> fibres;  // fibres that carry candidate paths, in row order
};

// Whether the network converts at every node along every candidate path
// (then the full-conversion model is the exact description of its segments).
bool converts_everywhere(const PathTable& paths);

// The random-assignment model is computed for segments of up to this many
// wavelengths (its time grows with the cube of the width beyond 32).
inline constexpr uint32_t kWidestEstimatedSegment = 64;

// The widest segment (smallest capacity along it) of any candidate path,
// and the link of its first hop (u * T + v).
uint32_t widest_segment(const PathTable& paths, uint32_t& link);

// The estimate of `net` with its candidate paths `paths`.
Estimate estimate_blocking(const Network& net, const PathTable& paths, const EstimateSettings& settings);

}  // namespace lumtra
