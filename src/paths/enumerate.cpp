#include "paths/enumerate.h"

namespace lumtra {

namespace {

// Breadth-first hop distances from `s`, following `first`/`next` rows.
void bfs(uint32_t s, const std::vector<uint32_t>& first, const std::vector<uint32_t>& next,
         int32_t* dist, std::vector<uint32_t>& queue) {
  queue.clear();
  dist[s] = 0;
  queue.push_back(s);
  for (size_t q = 0; q < queue.size(); ++q) {
    const uint32_t u = queue[q];
    for (uint32_t i = first[u]; i < first[u + 1]; ++i) {
      const uint32_t v = next[i];
      if (dist[v] == kUnbounded) {
        dist[v] = dist[u] + 1;
        queue.push_back(v);
      }
    }
  }
}

// Which links make a node's row: those leaving it, those arriving at it,
// or either.
enum class Rows { leaving, arriving, either };

// Compressed rows of the links (u, v), u != v, capacity != 0.
void link_rows(const Network& net, Rows rows, std::vector<uint32_t>& first, std::vector<uint32_t>& next) {
  const uint32_t t = net.total_nodes;
  first.assign(size_t(t) + 1, 0);
  next.clear();
  for (uint32_t a = 0; a < t; ++a) {
    for (uint32_t b = 0; b < t; ++b) {
      if (a == b) continue;
      const bool leaving = net.adjacency[net.at(a, b)], arriving = net.adjacency[net.at(b, a)];
      if (rows == Rows::leaving ? leaving : rows == Rows::arriving ? arriving : leaving || arriving) next.push_back(b);
    }
    first[a + 1] = static_cast<uint32_t>(next.size());
  }
}

// Distances from every node along the links leaving it, and to every node
// along the links arriving at it: fill(first, next, leaving, rows) fills the
// T rows of one direction.
template <class Value, class Fill>
Distances<Value> all_distances(const Network& net, Value unreached, Fill fill) {
  const uint32_t t = net.total_nodes;
  Distances<Value> d;
  d.nodes = t;
  d.from.assign(size_t(t) * t, unreached);
  d.to.assign(size_t(t) * t, unreached);
  std::vector<uint32_t> first, next;
  link_rows(net, Rows::leaving, first, next);
  fill(first, next, true, d.from.data());
  link_rows(net, Rows::arriving, first, next);
  fill(first, next, false, d.to.data());
  return d;
}

}  // namespace

HopDistances hop_distances(const Network& net) {
  const uint32_t t = net.total_nodes;
  std::vector<uint32_t> queue;
  return all_distances<int32_t>(net, kUnbounded, [&](const auto& first, const auto& next, bool, int32_t* rows) {
    for (uint32_t s = 0; s < t; ++s) bfs(s, first, next, rows + size_t(s) * t, queue);
  });
}

LongestPathBounds::LongestPathBounds(const Network& net) {
  const uint32_t t = net.total_nodes;
  std::vector<uint32_t> first, next;
  link_rows(net, Rows::either, first, next);
  // Blocks by Tarjan's depth-first search, without recursion: a child u of
  // p whose subtree reaches no higher than p closes a block of p and the
  // nodes discovered since u.
  std::vector<uint32_t> disc(t, 0), low(t, 0), cursor(t, 0), path, pending;
  std::vector<std::vector<uint32_t>> blocks;
  uint32_t clock = 0;
  for (uint32_t root = 0; root < t; ++root) {
    if (disc[root]) continue;
    disc[root] = low[root] = ++clock;
    cursor[root] = first[root];
    path.assign(1, root);
    pending.assign(1, root);
    while (!path.empty()) {
      const uint32_t u = path.back();
      if (cursor[u] < first[u + 1]) {
        const uint32_t v = next[cursor[u]++];
        if (!disc[v]) {
          disc[v] = low[v] = ++clock;
          cursor[v] = first[v];
          path.push_back(v);
          pending.push_back(v);
        } else {
          low[u] = std::min(low[u], disc[v]);
        }
        continue;
      }
      path.pop_back();
      if (path.empty()) break;
      const uint32_t p = path.back();
      low[p] = std::min(low[p], low[u]);
      if (low[u] >= disc[p]) {
        std::vector<uint32_t> block{p};
        uint32_t w;
        do {
          w = pending.back();
          pending.pop_back();
          block.push_back(w);
        } while (w != u);
        blocks.push_back(std::move(block));
      }
    }
  }
  block_first_.assign(1, 0);
  std::vector<uint32_t> per_node(t, 0);
  for (const auto& b : blocks) {
    block_nodes_.insert(block_nodes_.end(), b.begin(), b.end());
    block_first_.push_back(static_cast<uint32_t>(block_nodes_.size()));
    for (uint32_t v : b) ++per_node[v];
  }
  node_first_.assign(size_t(t) + 1, 0);
  for (uint32_t v = 0; v < t; ++v) node_first_[v + 1] = node_first_[v] + per_node[v];
  node_blocks_.resize(block_nodes_.size());
  std::fill(per_node.begin(), per_node.end(), 0);
  for (uint32_t b = 0; b < blocks.size(); ++b)
    for (uint32_t v : blocks[b]) node_blocks_[node_first_[v] + per_node[v]++] = b;
  entered_.assign(blocks.size(), 0);
}

void LongestPathBounds::from(uint32_t s, std::vector<uint32_t>& bound) {
  bound.assign(node_first_.size() - 1, 0);
  std::fill(entered_.begin(), entered_.end(), uint8_t{0});
  // The block tree is a tree: every block is entered once, through the node
  // nearest to s, and every other node of it is reached there.
  stack_.assign(1, {s, 0});
  while (!stack_.empty()) {
    const auto [v, hops] = stack_.back();
    stack_.pop_back();
    for (uint32_t i = node_first_[v]; i < node_first_[v + 1]; ++i) {
      const uint32_t b = node_blocks_[i];
      if (entered_[b]) continue;
      entered_[b] = 1;
      const uint32_t reach = hops + (block_first_[b + 1] - block_first_[b]) - 1;
      for (uint32_t k = block_first_[b]; k < block_first_[b + 1]; ++k) {
        const uint32_t w = block_nodes_[k];
        if (w == v) continue;
        bound[w] = reach;
        if (node_first_[w + 1] - node_first_[w] > 1) stack_.push_back({w, reach});
      }
    }
  }
}

LoopFreeWalk::LoopFreeWalk(const Network& net, uint32_t t) {
  link_rows(net, Rows::leaving, first_, next_);
  visited_.assign(t, 0);
  stack_.assign(size_t(t) + 1, 0);
  cursor_.assign(size_t(t) + 1, 0);
}

PathSearch::PathSearch(const Network& net, const HopDistances& dist)
    : LoopFreeWalk(net, net.total_nodes), dist_(dist), t_(net.total_nodes) {
  useful_.assign(t_, -1);
}

uint32_t PathSearch::reachable_count(uint32_t s) const {
  const int32_t* row = dist_.from.data() + size_t(s) * t_;
  return static_cast<uint32_t>(std::count_if(row, row + t_, [](int32_t x) { return x != kUnbounded; }));
}

void PathSearch::prepare(uint32_t s, std::span<const uint32_t> lower, std::span<const uint32_t> upper) {
  // A path recorded below a branch at v ends at some d != v, s with at least
  // h + distance(v, d) hops and at most upper[d]; so the branch is worth
  // walking only while h <= upper[d] - distance(v, d) for some such d.
  std::fill(useful_.begin(), useful_.end(), int64_t{-1});
  for (uint32_t d = 0; d < t_; ++d) {
    if (d == s || lower[d] > upper[d]) continue;
    const int32_t* to_d = dist_.to.data() + size_t(d) * t_;
    const int64_t top = upper[d];
    for (uint32_t v = 0; v < t_; ++v) {
      if (v == d || to_d[v] == kUnbounded) continue;
      useful_[v] = std::max(useful_[v], top - to_d[v]);
    }
  }
  start(s);
}

namespace {

// Dijkstra over `first`/`next` rows whose link lengths `metres` gives.
void dijkstra(uint32_t s, const std::vector<uint32_t>& first, const std::vector<uint32_t>& next,
              const std::vector<int64_t>& metres, int64_t* dist,
              std::vector<std::pair<int64_t, uint32_t>>& heap) {
  auto later = [](const auto& a, const auto& b) { return a > b; };
  heap.clear();
  dist[s] = 0;
  heap.push_back({0, s});
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), later);
    const auto [d, u] = heap.back();
    heap.pop_back();
    if (d != dist[u]) continue;
    for (uint32_t i = first[u]; i < first[u + 1]; ++i) {
      const uint32_t v = next[i];
      if (d + metres[i] < dist[v]) {
        dist[v] = d + metres[i];
        heap.push_back({dist[v], v});
        std::push_heap(heap.begin(), heap.end(), later);
      }
    }
  }
}

// Lengths of the links of `first`/`next` rows; `forward`: row u holds the
// links u -> v, else v -> u.
std::vector<int64_t> row_metres(const Network& net, const std::vector<uint32_t>& first,
                                const std::vector<uint32_t>& next, bool forward) {
  std::vector<int64_t> metres(next.size());
  for (uint32_t u = 0; u + 1 < first.size(); ++u)
    for (uint32_t i = first[u]; i < first[u + 1]; ++i)
      metres[i] = net.link_metres[forward ? net.at(u, next[i]) : net.at(next[i], u)];
  return metres;
}

}  // namespace

LengthDistances length_distances(const Network& net) {
  const uint32_t t = net.total_nodes;
  std::vector<std::pair<int64_t, uint32_t>> heap;
  return all_distances<int64_t>(net, kNoRoute, [&](const auto& first, const auto& next, bool leaving, int64_t* rows) {
    const std::vector<int64_t> metres = row_metres(net, first, next, leaving);
    for (uint32_t s = 0; s < t; ++s) dijkstra(s, first, next, metres, rows + size_t(s) * t, heap);
  });
}

LengthSearch::LengthSearch(const Network& net, const LengthDistances& dist)
    : LoopFreeWalk(net, net.total_nodes), dist_(dist), t_(net.total_nodes) {
  if (!net.link_metres.empty()) metres_ = row_metres(net, first_, next_, true);
  useful_.assign(t_, 0);
  length_.assign(size_t(t_) + 1, 0);
}

void LengthSearch::prepare(uint32_t s, std::span<const uint32_t> lower, std::span<const uint32_t> upper,
                           std::span<const int64_t> most) {
  std::fill(useful_.begin(), useful_.end(), INT64_MIN);
  depth_ = 0;
  for (uint32_t d = 0; d < t_; ++d) {
    if (d == s || lower[d] > upper[d] || most[d] < 0) continue;
    depth_ = std::max(depth_, std::min(upper[d], t_));
    const int64_t* to_d = dist_.to.data() + size_t(d) * t_;
    for (uint32_t v = 0; v < t_; ++v) {
      if (v == d || to_d[v] == kNoRoute) continue;
      useful_[v] = std::max(useful_[v], most[d] == kNoRoute ? kNoRoute : most[d] - to_d[v]);
    }
  }
  start(s);
}

}  // namespace lumtra
