// Method slots: the replaceable operations of the chosen routing and
// wavelength-assignment methods, filled once per run by install_methods from
// the two method codes and never changed afterwards. The simulation engine
// calls only `assign` and `event_release`; everything else is called from
// inside `assign`. Also the state of the request in progress: only one
// request is placed at a time, so it is a single record of the run.
#pragma once

#include <cstdint>
#include <vector>

namespace lumtra {

struct Run;
struct Event;

// One wavelength index per hop of a placed call, hop 0 leaving the source.
using HopArray = std::vector<uint32_t>;

struct Slots {
  // Chooses a path and one wavelength per hop for a call of `slots` slots
  // from s to d. On success fills `hops` and `path` (an index into
  // PathTable::paths) and returns true; capacity is not yet reserved.
  bool (*assign)(Run&, uint32_t s, uint32_t d, HopArray& hops, uint32_t& path, uint32_t slots) = nullptr;
  // First candidate of the pair (an index into the pair's Path list, or a
  // position in its route vector for the learning automata); -1 for none.
  int32_t (*route_first)(Run&, uint32_t s, uint32_t d) = nullptr;
  // Next candidate after the current one failed; -1 when there is none.
  int32_t (*route_next)(Run&) = nullptr;
  // Feedback after a successful placement on the candidate last returned.
  void (*route_commit)(Run&, uint32_t slots) = nullptr;
  // Maps the current learning-automaton action to the value route_first/next return.
  int32_t (*la_action_path)(Run&) = nullptr;
  int32_t (*dla_action_path)(Run&) = nullptr;
  // Bookkeeping when an event record is disposed of; departures undo the
  // usage counts of the usage methods. Null: nothing to do.
  void (*event_release)(Run&, const Event&) = nullptr;
};

// The request in progress, shared by route_first/route_next/route_commit.
struct Request {
  uint32_t source = 0;
  uint32_t destination = 0;
  int32_t position = 0;   // path index or action position
  uint32_t group = 0;     // current priority group
  uint32_t tried = 0;     // actions already tried (priority learning automata)
  uint32_t attempts = 0;  // wavelength trials of the call being placed
};

}  // namespace lumtra
