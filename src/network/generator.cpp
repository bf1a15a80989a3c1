#include "network/generator.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "base/numbers.h"
#include "network/network.h"

namespace lumtra {

namespace {

constexpr double kMaxWhole = 4294967295.0;  // integer bounds fit in 32 bits
constexpr size_t kLongestParameterFile = size_t(1) << 20;

// What a position of the parameter file needs from its item.
enum class Need { whole, number, letter, any };

struct Role {
  const char* name;
  Need need;
  bool silent;  // drawn but never written
};

// Positions S .. S+4: one node's items after its type.
constexpr Role kNodeRoles[] = {
    {"wavelength conversion", Need::letter, false},
    {"ports or cores", Need::whole, false},
    {"port capacity", Need::whole, false},
    {"terminate probability", Need::number, false},
    {"start probability", Need::number, false},
};
// Positions B+1 .. B+14.
constexpr Role kTailRoles[] = {
    {"slots per wavelength", Need::whole, false},
    {"minimum call slots", Need::whole, false},
    {"maximum call slots", Need::whole, false},
    {"capacity symmetry switch", Need::any, true},
    {"link percentage", Need::number, true},
    {"capacity without link", Need::whole, false},
    {"capacity with link", Need::whole, false},
    {"rate symmetry switch", Need::any, true},
    {"arrival rate", Need::number, false},
    {"arrival rate towards the sink node", Need::number, false},
    {"batches", Need::whole, false},
    {"batch time", Need::number, false},
    {"alpha", Need::number, false},
    {"epsilon", Need::number, false},
};
constexpr uint64_t kTailItems = sizeof kTailRoles / sizeof kTailRoles[0];

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The positions of one parameter file, fixed by its type item and -vi.
class Layout {
 public:
  Layout(const ParameterItem& type_item, bool virtual_input)
      : type_item_(type_item),
        type_values_(static_cast<uint64_t>(type_count(type_item))),
        base_(type_values_ + (virtual_input ? 1 : 4)) {}

  uint64_t type_values() const { return type_values_; }
  uint64_t base() const { return base_; }
  uint64_t item_count() const { return base_ + 1 + kTailItems; }

  Role role(uint64_t pos, std::string& name) const {
    Role r;
    if (pos == 0) {
      r = {"node type", Need::whole, false};
    } else if (pos < type_values_) {
      name = "percentage of node type " +
             std::to_string(static_cast<int64_t>(std::trunc(type_item_.lower)) + static_cast<int64_t>(pos) - 1);
      return {nullptr, Need::number, true};
    } else if (pos <= base_) {
      r = kNodeRoles[pos - type_values_];
    } else {
      r = kTailRoles[pos - base_ - 1];
    }
    name = r.name;
    return r;
  }

 private:
  ParameterItem type_item_;
  uint64_t type_values_;
  uint64_t base_;
};

std::string item_label(uint64_t pos, const std::string& role) {
  return "item " + std::to_string(pos + 1) + " (" + role + ")";
}

const char* kind_phrase(int16_t kind) {
  switch (kind) {
    case kIntegerItem: return "an integer item";
    case kRealItem: return "a real item";
    default: return "a yes/no item";
  }
}

// Empty when `item` suits its role, otherwise the problem.
std::string item_problem(const ParameterItem& item, const Role& role) {
  switch (role.need) {
    case Need::whole:
      if (item.kind != kIntegerItem)
        return std::string(kind_phrase(item.kind)) + " where a whole number is due (use L lower upper)";
      break;
    case Need::number:
      if (item.kind == kYesNoItem) return "a yes/no item where a number is due (use L or D)";
      break;
    case Need::letter:
      if (item.kind != kYesNoItem)
        return std::string(kind_phrase(item.kind)) + " where a yes/no letter is due (use Y percent)";
      break;
    case Need::any:
      break;
  }
  if (role.silent && !item.silent)
    return "must be silent (put C before it), or its value would land in the network file";
  if (!role.silent && item.silent) return "is silent (C), but its value belongs in the network file";
  if (item.kind == kYesNoItem) return {};
  if (item.lower > item.upper)
    return "lower bound " + real_text(item.lower) + " is above upper bound " + real_text(item.upper);
  if (item.kind == kIntegerItem) {
    for (double bound : {item.lower, item.upper}) {
      double whole = std::trunc(bound);
      if (role.need == Need::whole && whole < 0)
        return "bound " + real_text(bound) + " is negative, and this value cannot be";
      if (std::fabs(whole) > kMaxWhole) return "bound " + real_text(bound) + " does not fit in 32 bits";
    }
  }
  return {};
}

// The checks of a parameter file in position order; the first problem wins.
Status check_parameters(const ParameterList& list, bool virtual_input, const std::string& source) {
  const auto& items = list.items;
  if (items.empty()) {
    if (list.broken) return Status::error(source, item_label(0, "node type"), list.broken_problem);
    return Status::error(source, item_label(0, "node type"), "missing: the file holds no items");
  }
  const Role type_role{"node type", Need::whole, false};
  if (std::string p = item_problem(items[0], type_role); !p.empty())
    return Status::error(source, item_label(0, type_role.name), p);

  const Layout layout(items[0], virtual_input);
  const uint64_t needed = layout.item_count();
  std::string name;
  for (uint64_t pos = 1; pos < items.size() && pos < needed; ++pos) {
    Role role = layout.role(pos, name);
    if (std::string p = item_problem(items[pos], role); !p.empty())
      return Status::error(source, item_label(pos, name), p);
  }
  if (list.broken && list.broken_position < needed) {
    layout.role(list.broken_position, name);
    return Status::error(source, item_label(list.broken_position, name), list.broken_problem);
  }
  if (items.size() < needed) {
    layout.role(items.size(), name);
    return Status::error(source, item_label(items.size(), name),
                         "missing: the file ends after " + std::to_string(items.size()) +
                             " items, and a node type item of " + std::to_string(layout.type_values()) +
                             " values needs " + std::to_string(needed) +
                             (virtual_input ? " with -vi" : " without -vi"));
  }
  if (items.size() > needed)
    return Status::error(source, "item " + std::to_string(needed + 1),
                         "not used: the items end with item " + std::to_string(needed) +
                             " (epsilon); remove the rest, or check the number of type percentages");
  if (list.broken) return Status::error(source, "item " + std::to_string(needed + 1), list.broken_problem);
  return Status::proceed();
}

// Storage for the values drawn above the diagonal of an M x M matrix, in the
// order they are drawn, so that a symmetric matrix can copy them below it.
class UpperTriangle {
 public:
  // m * m stays below 2^32 (the run's size limit), so nothing overflows.
  bool allocate(uint64_t m) {
    m_ = m;
    values_.reset();
    if (m < 2) return true;
    uint64_t count = m * (m - 1) / 2;
    if (count > SIZE_MAX / sizeof(double)) return false;
    values_.reset(new (std::nothrow) double[count]);
    return values_ != nullptr;
  }
  // Entry (i, j), i < j.
  double& at(uint64_t i, uint64_t j) {
    return values_[i * m_ - i * (i + 1) / 2 + (j - i - 1)];
  }

 private:
  uint64_t m_ = 0;
  std::unique_ptr<double[]> values_;
};

// Writes one M x M matrix: "0 " on the diagonal; below it, when symmetric,
// the value drawn for the mirrored entry (whole numbers "%ld ", reals "%g ");
// everywhere else a fresh draw. False when the output fails.
template <class Draw>
bool write_matrix(std::FILE* out, uint64_t m, bool symmetric, bool whole, UpperTriangle& upper, Draw&& draw) {
  for (uint64_t i = 0; i < m; ++i) {
    for (uint64_t j = 0; j < m; ++j) {
      if (i == j) {
        std::fputs("0 ", out);
      } else if (symmetric && j < i) {
        double v = upper.at(j, i);
        if (whole)
          std::fprintf(out, "%ld ", static_cast<long>(std::trunc(v)));
        else
          std::fprintf(out, "%g ", v);
      } else {
        double v = draw(j);
        if (symmetric) upper.at(i, j) = v;
      }
    }
    std::fputc('\n', out);
    if (std::ferror(out)) return false;
  }
  return true;
}

Status write_failed(const std::string& out_name) {
  return Status::error(out_name, "generated network file", "cannot be written");
}

}  // namespace

Status load_generator_input(const GeneratorOptions& config, uint32_t node_count, const MemoryBudget& budget,
                            GeneratorInput& input) {
  const std::string& name = config.file;
  if (name.empty()) return Status::error("command line", "-g:", "names no parameter file");
  if (node_count == 0)
    return Status::error("standard input", "number of nodes", "'0': a network needs at least one node");
  // A network the run cannot hold is refused before its file is written.
  std::string count(1, '\'');
  count.append(std::to_string(node_count)).append("' nodes");
  if (Status s = check_network_size(budget, node_count, 0, "standard input", "number of nodes", count);
      !s.ok())
    return s;
  if (config.sink_node < -1)
    return Status::error("command line", "-sn:" + std::to_string(int64_t{config.sink_node} + 1),
                         "names no node (nodes count from 1)");
  if (!config.virtual_input && config.sink_node >= 0 && static_cast<uint32_t>(config.sink_node) >= node_count)
    return Status::error("command line", "-sn:" + std::to_string(int64_t{config.sink_node} + 1),
                         "the network has only " + std::to_string(node_count) + " nodes");

  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.c_str(), "r"));
  if (!file) return Status::error(name, "parameter file", std::string("cannot be opened: ") + std::strerror(errno));
  // A parameter file holds a few dozen items; reading stops at a size no
  // such file reaches, so an endless source (/dev/zero) cannot hang the run.
  std::string text(kLongestParameterFile + 1, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), file.get()));
  if (std::ferror(file.get())) return Status::error(name, "parameter file", std::string("cannot be read: ") + std::strerror(errno));
  if (text.size() > kLongestParameterFile)
    return Status::error(name, "parameter file", "longer than " + std::to_string(kLongestParameterFile) +
                                                     " bytes; a parameter file holds a few dozen items");
  file.reset(fmemopen(text.data(), text.size(), "r"));
  if (text.empty()) file.reset(std::fopen("/dev/null", "r"));
  if (!file) return Status::error(name, "parameter file", "cannot be read: no memory");
  ParameterList list = read_parameters(file.get());
  if (Status s = check_parameters(list, config.virtual_input, name); !s.ok()) return s;

  Layout layout(list.items[0], config.virtual_input);
  input.items = std::move(list.items);
  input.type_values = layout.type_values();
  input.base = layout.base();
  return Status::proceed();
}

Status generate_network(const GeneratorOptions& options, const GeneratorInput& input, uint32_t node_count,
                        Lehmer& stream, const MemoryBudget& budget, std::FILE* out,
                        const std::string& out_name) {
  const bool virtual_input = options.virtual_input;
  const uint64_t s = input.type_values, b = input.base;
  auto draw = [&](uint64_t pos, char separator) { return draw_item(input.items[pos], stream, out, separator); };

  std::fprintf(out, "%lu\n", static_cast<unsigned long>(node_count));
  uint64_t extra = 0;  // ports and cores of every node
  for (uint32_t node = 0; node < node_count; ++node) {
    int64_t type = draw_type(input.items, stream, out, ' ');
    draw(s, ' ');
    if (type == kSingleHopGrooming || type == kPartialGrooming) {
      auto count = static_cast<uint64_t>(draw(s + 1, ' '));
      extra += count;
      if (!network_size_fits(budget, node_count + extra, 0))
        return check_network_size(budget, node_count + extra, 0, options.file, item_label(s + 1, "ports or cores"),
                                  "the drawn ports and cores bring the network to " +
                                      std::to_string(node_count + extra) + " nodes, which");
      if (!virtual_input) {
        // Outgoing capacities repeat the incoming ones: the same stream
        // numbers are drawn again.
        const uint32_t before_incoming = stream.state;
        for (uint64_t k = 0; k < count; ++k) draw(s + 2, ' ');
        stream.state = before_incoming;
        for (uint64_t k = 0; k < count; ++k) draw(s + 2, ' ');
        draw(s + 3, ' ');
        draw(s + 4, ' ');
      }
    }
    std::fputc('\n', out);
    if (std::ferror(out)) return write_failed(out_name);
  }
  const uint64_t m = virtual_input ? node_count + extra : node_count;
  const int64_t sink = options.sink_node;
  if (sink >= 0 && static_cast<uint64_t>(sink) >= m)
    return Status::error("command line", "-sn:" + std::to_string(sink + 1),
                         "the drawn network has only " + std::to_string(m) + " nodes");

  for (uint64_t k = 1; k <= 3; ++k) draw(b + k, '\n');

  UpperTriangle upper;
  const bool symmetric_capacity = draw(b + 4, ' ') == 1.0;
  const double link_percentage = draw(b + 5, ' ');
  if (symmetric_capacity && !upper.allocate(m))
    return Status::error(out_name, "capacity matrix", "not enough memory for " + std::to_string(m) + " nodes");
  bool written = write_matrix(out, m, symmetric_capacity, true, upper, [&](uint64_t) {
    double r = 100.0 * stream.uniform();
    return draw(r < link_percentage ? b + 7 : b + 6, ' ');
  });
  std::fputc('\n', out);
  if (!written) return write_failed(out_name);

  const bool symmetric_rates = draw(b + 8, ' ') == 1.0;
  if (symmetric_rates && !upper.allocate(m))
    return Status::error(out_name, "rate matrix", "not enough memory for " + std::to_string(m) + " nodes");
  written = write_matrix(out, m, symmetric_rates, false, upper, [&](uint64_t column) {
    return draw(static_cast<int64_t>(column) == sink ? b + 10 : b + 9, ' ');
  });
  if (!written) return write_failed(out_name);

  for (uint64_t k = 11; k <= 14; ++k) draw(b + k, '\n');
  return Status::proceed();
}

}  // namespace lumtra
