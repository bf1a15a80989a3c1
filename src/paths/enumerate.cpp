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

}  // namespace

HopDistances hop_distances(const Network& net) {
  const uint32_t t = net.total_nodes;
  HopDistances d;
  d.nodes = t;
  d.from.assign(size_t(t) * t, kUnbounded);
  d.to.assign(size_t(t) * t, kUnbounded);
  std::vector<uint32_t> first, next, queue;
  link_rows(net, Rows::leaving, first, next);
  for (uint32_t s = 0; s < t; ++s) bfs(s, first, next, d.from.data() + size_t(s) * t, queue);
  link_rows(net, Rows::arriving, first, next);
  for (uint32_t s = 0; s < t; ++s) bfs(s, first, next, d.to.data() + size_t(s) * t, queue);
  return d;
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

PathSearch::PathSearch(const Network& net, const HopDistances& dist) : dist_(dist), t_(net.total_nodes) {
  link_rows(net, Rows::leaving, first_, next_);
  useful_.assign(t_, -1);
  visited_.assign(t_, 0);
  stack_.assign(size_t(t_) + 1, 0);
  cursor_.assign(size_t(t_) + 1, 0);
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
  std::fill(visited_.begin(), visited_.end(), uint8_t{0});
  visited_[s] = 1;
}

}  // namespace lumtra
