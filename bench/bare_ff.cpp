// Bare-bones first-fit simulator: the yardstick that lumtra's -ff is
// compared against by bench/compare_bare.py. It uses nothing of lumtra's
// code, only the same model, so that the difference in processor time per
// call is the cost of lumtra's generality:
//
//   - a network file of non-grooming nodes without wavelength conversion
//     (types 1, conversion n), read as lumtra reads it;
//   - the candidate paths of lumtra's default options: every minimum-hop
//     path of a pair, in ascending order of node sequence;
//   - Poisson arrivals per pair, exponential holding times of rate 1, with
//     the same streams and seeds as lumtra, so the calls offered are the
//     same calls (blocking agrees unless two events fall on the same time);
//   - a std::priority_queue of 16-byte events, one bitmask of free
//     wavelengths per link (64-bit words), first fit = AND of the hop masks
//     and a count of trailing zeros. Nothing else.
//
//   bare_ff FILE [SEED [BATCH_TIME]] [--split]   one batch; prints calls and blocking
//   bare_ff FILE --paths                         the candidate paths, as lumtra prints them
//
// --split runs a prototype event list instead (SplitHeaps below), to weigh
// that change for lumtra's engine.
//
// Exit status 2 for a file outside the model above.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <queue>
#include <random>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "bare_ff: %s\n", what);
  std::exit(2);
}

struct Net {
  uint32_t n = 0;
  uint32_t slots = 0;
  std::vector<int64_t> capacity;  // n x n wavelengths
  std::vector<double> rate;       // n x n calls per time unit
  double batch_time = 0;
};

Net read_net(const char* name) {
  std::FILE* f = std::fopen(name, "r");
  if (!f) fail("cannot open the network file");
  Net net;
  auto num = [&](const char* fmt, void* out) {
    if (std::fscanf(f, fmt, out) != 1) fail("short or malformed network file");
  };
  unsigned long n = 0, slots = 0, lo = 0, hi = 0, batches = 0;
  num("%lu", &n);
  net.n = uint32_t(n);
  for (uint32_t k = 0; k < net.n; ++k) {
    short type = 0;
    char conv = 0;
    num("%hd", &type);
    num(" %c", &conv);
    if (type == 2 || type == 3 || type == 4 || conv == 'y') fail("only non-grooming nodes without conversion");
  }
  num("%lu", &slots);
  num("%lu", &lo);
  num("%lu", &hi);
  net.slots = uint32_t(slots);
  net.capacity.resize(size_t(n) * n);
  net.rate.resize(size_t(n) * n);
  for (size_t i = 0; i < net.capacity.size(); ++i) {
    long c = 0;
    num("%ld", &c);
    net.capacity[i] = i / n == i % n ? 0 : c;
  }
  for (size_t i = 0; i < net.rate.size(); ++i) {
    num("%lg", &net.rate[i]);
    if (i / n == i % n) net.rate[i] = 0;
  }
  num("%lu", &batches);
  num("%lg", &net.batch_time);
  std::fclose(f);
  return net;
}

// Every minimum-hop path of every pair, each as its list of link indices
// (u * n + v), in ascending order of node sequence.
struct Paths {
  std::vector<uint32_t> first;  // per pair: its paths are [first[p], first[p + 1])
  std::vector<uint32_t> start;  // per path: its links are [start[k], start[k + 1])
  std::vector<uint32_t> links;
  std::vector<std::vector<uint32_t>> nodes;  // per path, for --paths
};

Paths min_hop_paths(const Net& net) {
  const uint32_t n = net.n;
  std::vector<uint32_t> dist(size_t(n) * n, UINT32_MAX);
  for (uint32_t s = 0; s < n; ++s) {  // breadth-first search from every node
    std::vector<uint32_t> queue{s};
    dist[size_t(s) * n + s] = 0;
    for (size_t q = 0; q < queue.size(); ++q) {
      const uint32_t u = queue[q];
      for (uint32_t v = 0; v < n; ++v)
        if (net.capacity[size_t(u) * n + v] != 0 && dist[size_t(s) * n + v] == UINT32_MAX) {
          dist[size_t(s) * n + v] = dist[size_t(s) * n + u] + 1;
          queue.push_back(v);
        }
    }
  }
  Paths p;
  p.start.push_back(0);
  std::vector<uint32_t> stack;
  for (uint32_t s = 0; s < n; ++s)
    for (uint32_t d = 0; d < n; ++d) {
      p.first.push_back(uint32_t(p.nodes.size()));
      if (s == d || dist[size_t(s) * n + d] == UINT32_MAX) continue;
      // Depth first with neighbours in ascending order, stepping only onto
      // nodes one hop closer to d.
      auto walk = [&](auto&& self, uint32_t u) -> void {
        if (u == d) {
          p.nodes.push_back(stack);
          uint32_t prev = s;
          for (uint32_t x : stack) p.links.push_back(prev * n + x), prev = x;
          p.start.push_back(uint32_t(p.links.size()));
          return;
        }
        for (uint32_t v = 0; v < n; ++v)
          if (net.capacity[size_t(u) * n + v] != 0 && dist[size_t(v) * n + d] + 1 == dist[size_t(u) * n + d]) {
            stack.push_back(v);
            self(self, v);
            stack.pop_back();
          }
      };
      walk(walk, s);
    }
  p.first.push_back(uint32_t(p.nodes.size()));
  return p;
}

// Lehmer stream: x <- 16807 x mod 2^31; the draw is x / 2^31.
struct Stream {
  uint32_t x;
  double uniform() {
    x = (x * 16807u) & 0x7FFFFFFFu;
    return x * 4.656612873077393e-10;
  }
  double exponential(double rate) { return -std::log(1.0 - uniform()) / rate; }
};

struct Event {
  double time;
  uint32_t what;        // pair (arrival) or path (departure)
  uint32_t wavelength;  // kArrival for an arrival
};
constexpr uint32_t kArrival = UINT32_MAX;
struct Later {
  bool operator()(const Event& a, const Event& b) const { return a.time > b.time; }
};

// The bare-bones event list: one binary heap for everything.
class OneHeap {
 public:
  void add_arrival(const Event& e) { heap_.push(e); }
  bool empty() const { return heap_.empty(); }
  Event take() {
    const Event e = heap_.top();
    heap_.pop();
    return e;
  }
  void add_departure(const Event& e) { heap_.push(e); }
  void next_arrival(const Event& e) { heap_.push(e); }

 private:
  std::priority_queue<Event, std::vector<Event>, Later> heap_;
};

// Prototype (--split): every pair has exactly one pending arrival, so the
// arrivals sit in a heap of their own whose taken head stays in place until
// the pair's next arrival replaces it and sinks (one pass instead of a pop
// and a push); departures go to a second, smaller heap.
class SplitHeaps {
 public:
  void add_arrival(const Event& e) {
    arrivals_.push_back(e);
    std::push_heap(arrivals_.begin(), arrivals_.end(), Later());
  }
  bool empty() const { return arrivals_.empty() && departures_.empty(); }
  Event take() {
    if (!departures_.empty() && (arrivals_.empty() || departures_.top().time < arrivals_[0].time)) {
      const Event e = departures_.top();
      departures_.pop();
      return e;
    }
    return arrivals_[0];  // replaced by next_arrival
  }
  void add_departure(const Event& e) { departures_.push(e); }
  void next_arrival(const Event& e) {
    // The hole at the root sinks along the earlier child to a leaf, then e
    // rises from there.
    Event* h = arrivals_.data();
    const size_t n = arrivals_.size();
    size_t hole = 0;
    for (size_t c = 1; c < n; c = 2 * hole + 1) {
      if (c + 1 < n && h[c + 1].time < h[c].time) ++c;
      h[hole] = h[c];
      hole = c;
    }
    while (hole > 0 && e.time < h[(hole - 1) / 2].time) {
      h[hole] = h[(hole - 1) / 2];
      hole = (hole - 1) / 2;
    }
    h[hole] = e;
  }

 private:
  std::vector<Event> arrivals_;
  std::priority_queue<Event, std::vector<Event>, Later> departures_;
};

struct Model {
  const Net& net;
  const Paths& paths;
  std::vector<Stream> stream;
  uint32_t words;
  std::vector<uint64_t> free_mask;  // link-major
};

template <class Queue>
void simulate(Model& model, double end, uint64_t& arrived, uint64_t& blocked) {
  const Net& net = model.net;
  const Paths& paths = model.paths;
  const uint32_t n = net.n, words = model.words;
  uint64_t* free_mask = model.free_mask.data();
  Stream* stream = model.stream.data();
  Queue events;
  double now = 0;
  for (uint32_t pair = 0; pair < n * n; ++pair)
    if (net.rate[pair] != 0) {
      if (paths.first[pair] == paths.first[pair + 1]) fail("a pair with traffic has no path");
      events.add_arrival({now + stream[pair].exponential(net.rate[pair]), pair, kArrival});
    }

  const uint32_t* links = paths.links.data();
  while (end > now && !events.empty()) {
    const Event e = events.take();
    if (e.wavelength != kArrival) {
      for (uint32_t k = paths.start[e.what]; k < paths.start[e.what + 1]; ++k)
        free_mask[size_t(links[k]) * words + e.wavelength / 64] |= uint64_t(1) << (e.wavelength % 64);
      continue;
    }
    now = e.time;
    const uint32_t pair = e.what;
    ++arrived;
    bool placed = false;
    for (uint32_t path = paths.first[pair]; path < paths.first[pair + 1] && !placed; ++path) {
      const uint32_t* hop = links + paths.start[path];
      const uint32_t hops = paths.start[path + 1] - paths.start[path];
      for (uint32_t word = 0; word < words; ++word) {
        uint64_t m = free_mask[size_t(hop[0]) * words + word];
        for (uint32_t k = 1; k < hops; ++k) m &= free_mask[size_t(hop[k]) * words + word];
        if (m == 0) continue;
        const int bit = __builtin_ctzll(m);
        for (uint32_t k = 0; k < hops; ++k) free_mask[size_t(hop[k]) * words + word] &= ~(uint64_t(1) << bit);
        events.add_departure({now + stream[pair].exponential(1.0), path, word * 64 + uint32_t(bit)});
        placed = true;
        break;
      }
    }
    if (!placed) ++blocked;
    events.next_arrival({now + stream[pair].exponential(net.rate[pair]), pair, kArrival});
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) fail("usage: bare_ff FILE [SEED [BATCH_TIME]] [--split] | bare_ff FILE --paths");
  const Net net = read_net(argv[1]);
  const Paths paths = min_hop_paths(net);
  const uint32_t n = net.n;
  if (argc > 2 && std::strcmp(argv[2], "--paths") == 0) {
    for (uint32_t pair = 0; pair < n * n; ++pair)
      for (uint32_t k = paths.first[pair]; k < paths.first[pair + 1]; ++k) {
        std::printf("\nPath From %u to %u: %u", pair / n + 1, pair % n + 1, pair / n + 1);
        for (uint32_t x : paths.nodes[k]) std::printf("-%u", x + 1);
        std::printf("\nCost: %zu\n", paths.nodes[k].size());
      }
    return 0;
  }
  const bool split = argc > 2 && std::strcmp(argv[argc - 1], "--split") == 0;
  const int values = argc - (split ? 1 : 0);
  const uint32_t seed = values > 2 ? uint32_t(std::strtoll(argv[2], nullptr, 10)) : 1;
  const double end = values > 3 ? std::strtod(argv[3], nullptr) : net.batch_time;

  // Stream seeds as lumtra draws them: the method and generator streams
  // first (unused here), then one per ordered pair in row order.
  Model model{net, paths, std::vector<Stream>(size_t(n) * n), 0, {}};
  std::mt19937 seeder(seed);
  auto next_seed = [&] { return (uint32_t(seeder()) >> 1) | 1u; };
  next_seed();
  next_seed();
  for (Stream& s : model.stream) s.x = next_seed();

  int64_t widest = 0;
  for (int64_t c : net.capacity) widest = c > widest ? c : widest;
  model.words = uint32_t((widest + 63) / 64);
  model.free_mask.assign(size_t(n) * n * model.words, 0);
  for (size_t l = 0; l < net.capacity.size(); ++l)
    for (int64_t w = 0; w < net.capacity[l]; ++w)
      model.free_mask[l * model.words + w / 64] |= uint64_t(1) << (w % 64);

  uint64_t arrived = 0, blocked = 0;
  if (split)
    simulate<SplitHeaps>(model, end, arrived, blocked);
  else
    simulate<OneHeap>(model, end, arrived, blocked);
  std::printf("calls %llu blocked %llu blocking %.6f\n", (unsigned long long)arrived, (unsigned long long)blocked,
              arrived ? double(blocked) / double(arrived) : 0.0);
  return 0;
}
