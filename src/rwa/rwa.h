// The routing and wavelength assignment of one simulation lane.
//
// A method is installed as two halves. The routing half offers candidate
// paths for a request (first, then next after each failed path) and hears
// of the success (commit); the assignment half places a call: it asks the
// routing half for paths, picks a wavelength per segment and reports the
// path and the wavelengths. Each half is a handful of function references
// over the state of its own family (fit, learning automata, usage, load),
// bound once per run; it sees that state, the context below and nothing
// else. The engine only calls Rwa::assign and Rwa::release.
//
// Lives as long as its lane; the context points at the lane's link state
// and at the network and paths the lanes share, which must outlive it.
#pragma once

#include <cstdint>
#include <vector>

#include "base/lehmer.h"
#include "base/limits.h"
#include "network/network.h"
#include "paths/path_table.h"

namespace lumtra {

// One wavelength index per hop of a placed call, hop 0 leaving the source.
using HopArray = std::vector<uint32_t>;

// The request in progress. Only one request is placed at a time in a lane,
// so the routing operations share this one record.
struct Request {
  uint32_t source = 0;
  uint32_t destination = 0;
  int32_t position = 0;  // path index or action position
  uint32_t group = 0;    // current priority group
  uint32_t tried = 0;    // actions already tried (priority learning automata)
};

// A call in progress, as a departure hands it back to the methods.
struct PlacedCall {
  uint32_t source = 0;
  uint32_t destination = 0;
  uint32_t path = 0;   // index into PathTable::paths
  uint32_t slots = 0;  // time slots held on every hop
  uint32_t usage_tag = 0;
  const uint32_t* wavelengths = nullptr;  // one per hop
};

// What both halves read while a call is placed.
struct RwaContext {
  const LinkState* links = nullptr;  // methods read link state, never change it
  const PathTable* paths = nullptr;
  Lehmer stream;                     // the Method stream
  Request request;
  uint32_t max_attempts = kNoLimit;
  uint32_t attempts = 0;        // wavelength trials of the call being placed
  uint64_t total_attempts = 0;  // every trial of the lane
  // Path index of the last placement of a usage method; departures carry
  // it back to their bookkeeping.
  uint32_t usage_tag = 0;
  // The lane's simulated time, for methods that ask for it.
  const double* clock = nullptr;

  // Counts one wavelength trial of the current call; false when the call
  // has already reached the attempt limit (it is then blocked).
  bool count_attempt() {
    if (attempts >= max_attempts) return false;
    ++attempts;
    ++total_attempts;
    return true;
  }
  // Trials the current call may still make, and `k` of them made at once.
  uint32_t attempts_left() const { return max_attempts - attempts; }
  void count_attempts(uint32_t k) {
    attempts += k;
    total_attempts += k;
  }
  // The path index of candidate k of the current pair's Path list.
  uint32_t list_path(int32_t k) const {
    return paths->list(request.source, request.destination).first + static_cast<uint32_t>(k);
  }
};

struct RoutingHalf {
  void* state = nullptr;
  // First candidate of the pair (an index into the pair's Path list, or a
  // position in its route vector for the learning automata); -1 for none.
  int32_t (*first)(RwaContext&, void* state, uint32_t s, uint32_t d) = nullptr;
  // Next candidate after the current one failed; -1 when there is none.
  int32_t (*next)(RwaContext&, void* state) = nullptr;
  // Feedback after a successful placement on the candidate last returned.
  void (*commit)(RwaContext&, void* state, uint32_t slots) = nullptr;
  // Bookkeeping when a call departs; null when there is none.
  void (*release)(RwaContext&, void* state, const PlacedCall&) = nullptr;
};

struct AssignmentHalf {
  void* state = nullptr;
  // Chooses a path and one wavelength per hop for a call of `slots` time
  // slots from s to d, asking `routing` for the paths. On success fills
  // `hops` and `path` (an index into PathTable::paths) and returns true;
  // capacity is not yet taken.
  bool (*assign)(RwaContext&, const RoutingHalf& routing, void* state, uint32_t s, uint32_t d, HopArray& hops,
                 uint32_t& path, uint32_t slots) = nullptr;
  void (*release)(RwaContext&, void* state, const PlacedCall&) = nullptr;
};

struct Rwa {
  RwaContext context;
  RoutingHalf routing;
  AssignmentHalf assignment;

  bool assign(uint32_t s, uint32_t d, HopArray& hops, uint32_t& path, uint32_t slots) {
    return assignment.assign(context, routing, assignment.state, s, d, hops, path, slots);
  }
  // Whether a departure has any bookkeeping to do; most methods have none,
  // and the engine then skips building the PlacedCall.
  bool releases() const { return routing.release != nullptr || assignment.release != nullptr; }
  // A departure's bookkeeping: the routing half's first, then the
  // assignment half's.
  void release(const PlacedCall& call) {
    if (routing.release) routing.release(context, routing.state, call);
    if (assignment.release) assignment.release(context, assignment.state, call);
  }
};

// Binding typed functions over a family's state to a half: each operation
// is a function (RwaContext&, State&, ...), and the half keeps the state's
// address. A null operation stays null.
template <class State, auto First, auto Next, auto Commit>
RoutingHalf routing_half(State& state) {
  RoutingHalf h;
  h.state = &state;
  h.first = [](RwaContext& c, void* s, uint32_t a, uint32_t b) { return First(c, *static_cast<State*>(s), a, b); };
  h.next = [](RwaContext& c, void* s) { return Next(c, *static_cast<State*>(s)); };
  h.commit = [](RwaContext& c, void* s, uint32_t slots) { Commit(c, *static_cast<State*>(s), slots); };
  return h;
}

template <class State, auto Release>
void bind_release(RoutingHalf& h) {
  h.release = [](RwaContext& c, void* s, const PlacedCall& call) { Release(c, *static_cast<State*>(s), call); };
}

template <class State, auto Assign>
AssignmentHalf assignment_half(State& state) {
  AssignmentHalf h;
  h.state = &state;
  h.assign = [](RwaContext& c, const RoutingHalf& r, void* s, uint32_t a, uint32_t b, HopArray& hops,
                uint32_t& path, uint32_t slots) { return Assign(c, r, *static_cast<State*>(s), a, b, hops, path, slots); };
  return h;
}

template <class State, auto Release>
void bind_release(AssignmentHalf& h) {
  h.release = [](RwaContext& c, void* s, const PlacedCall& call) { Release(c, *static_cast<State*>(s), call); };
}

}  // namespace lumtra
