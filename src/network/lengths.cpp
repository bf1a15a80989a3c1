#include "network/lengths.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "base/numbers.h"

namespace lumtra {

namespace {

constexpr size_t kLongestLine = 4096;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The next line without its end; false at the end of the file. A line
// longer than kLongestLine sets `too_long`.
bool next_line(std::FILE* f, std::string& line, bool& too_long) {
  line.clear();
  too_long = false;
  int c;
  bool any = false;
  while ((c = std::getc(f)) != EOF) {
    any = true;
    if (c == '\n') return true;
    if (line.size() >= kLongestLine) {
      too_long = true;
      return true;
    }
    line.push_back(static_cast<char>(c));
  }
  return any;
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  const std::string text = line.substr(0, line.find('#'));
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    size_t j = i;
    while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j]))) ++j;
    if (j > i) out.push_back(text.substr(i, j - i));
    i = j;
  }
  return out;
}

std::string fibre_name(uint32_t u, uint32_t v) { return std::to_string(u + 1) + "-" + std::to_string(v + 1); }

}  // namespace

std::string km_text(int64_t metres) {
  std::string text = std::to_string(metres / 1000);
  int64_t rest = metres % 1000;
  if (rest == 0) return text;
  char frac[8];
  std::snprintf(frac, sizeof frac, ".%03lld", static_cast<long long>(rest));
  std::string f = frac;
  while (f.back() == '0') f.pop_back();
  return text + f;
}

Status read_fibre_lengths(const std::string& path, Network& net) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
  if (!file) return Status::error(path, "lengths file", std::string("cannot be opened: ") + std::strerror(errno));
  const uint32_t t = net.total_nodes;
  std::vector<int32_t> metres(size_t(t) * t, 0);
  std::vector<uint32_t> line_of(size_t(t) * t, 0);  // the line that gave a fibre its length
  std::string line, why;
  bool too_long = false;
  for (uint32_t number = 1; next_line(file.get(), line, too_long); ++number) {
    const std::string item = "line " + std::to_string(number);
    if (too_long) return Status::error(path, item, "longer than " + std::to_string(kLongestLine) + " characters");
    const std::vector<std::string> f = fields(line);
    if (f.empty()) continue;
    if (f.size() != 3)
      return Status::error(path, item, "expected 'FROM TO KM', found " + std::to_string(f.size()) + " fields");
    int64_t ends[2];
    for (int k = 0; k < 2; ++k)
      if (!parse_in_range(f[k], 1, t, ends[k], why))
        return Status::error(path, item, "node " + why);
    const uint32_t u = static_cast<uint32_t>(ends[0] - 1), v = static_cast<uint32_t>(ends[1] - 1);
    double km = 0.0;
    if (!parse_real(f[2], km, why)) return Status::error(path, item, "length " + why);
    if (!(km > 0.0)) return Status::error(path, item, "length '" + f[2] + "' is not above 0 km");
    if (km > kMaxFibreKm)
      return Status::error(path, item, "length '" + f[2] + "' is more than " + real_text(kMaxFibreKm) + " km");
    if (u == v || net.capacity[net.at(u, v)] == 0)
      return Status::error(path, item, "the network has no fibre " + fibre_name(u, v));
    const size_t at = net.at(u, v);
    if (line_of[at])
      return Status::error(path, item, "a second length for fibre " + fibre_name(u, v) + " (the first on line " +
                                           std::to_string(line_of[at]) + ")");
    const int64_t m = std::llround(km * 1000.0);
    if (m < 1) return Status::error(path, item, "length '" + f[2] + "' is shorter than a metre");
    metres[at] = static_cast<int32_t>(m);
    line_of[at] = number;
  }
  if (std::ferror(file.get())) return Status::error(path, "lengths file", "cannot be read");
  for (uint32_t u = 0; u < net.node_count; ++u)
    for (uint32_t v = 0; v < net.node_count; ++v)
      if (u != v && net.capacity[net.at(u, v)] != 0 && !line_of[net.at(u, v)])
        return Status::error(path, "fibre " + fibre_name(u, v), "no length (every fibre between real nodes needs one)");
  net.link_metres = std::move(metres);
  return Status::proceed();
}

}  // namespace lumtra
