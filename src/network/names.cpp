#include "network/names.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "base/numbers.h"

namespace lumtra {

namespace {

// Splits one CSV line into its fields; false (with `why`) when a quoted
// field is not closed or is followed by something else than a comma.
bool split_csv(const std::string& line, std::vector<std::string>& fields, std::string& why) {
  fields.assign(1, std::string());
  for (size_t i = 0;;) {
    std::string& field = fields.back();
    if (i < line.size() && line[i] == '"') {
      for (++i;; ++i) {
        if (i >= line.size()) {
          why = "a quoted name is not closed";
          return false;
        }
        if (line[i] != '"') {
          field.push_back(line[i]);
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
          field.push_back('"');
          ++i;
        } else {
          break;
        }
      }
      ++i;  // the closing quote
      if (i < line.size() && line[i] != ',') {
        why = "text after a quoted name";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != ',') field.push_back(line[i++]);
    }
    if (i >= line.size()) return true;
    ++i;  // the comma
    fields.emplace_back();
  }
}

const std::string kNone;

}  // namespace

Status NodeNames::load(const std::string& path, uint32_t node_count) {
  std::ifstream in(path);
  if (!in) return Status::error(path, "names file", std::string("cannot be opened: ") + std::strerror(errno));
  std::vector<std::string> names(node_count);
  std::vector<bool> seen(node_count, false);
  std::string line;
  std::vector<std::string> fields;
  for (uint64_t number = 1; std::getline(in, line); ++number) {
    const std::string where = "line " + std::to_string(number);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::string why;
    if (!split_csv(line, fields, why)) return Status::error(path, where, why);
    if (number == 1 && fields.size() == 2 && fields[0] == "number" && fields[1] == "name") continue;
    if (fields.size() != 2)
      return Status::error(path, where, "'" + line + "' is not a node number and a name separated by one comma");
    uint64_t node = 0;
    if (!parse_unsigned(fields[0], node, why) || node == 0 || node > node_count)
      return Status::error(path, where,
                           "'" + fields[0] + "' is not a node of the network (1 to " + std::to_string(node_count) + ")");
    if (seen[node - 1]) return Status::error(path, where, "node " + fields[0] + " is named a second time");
    seen[node - 1] = true;
    names[node - 1] = fields[1];
  }
  if (in.bad()) return Status::error(path, "names file", std::string("cannot be read: ") + std::strerror(errno));
  names_ = std::move(names);
  return Status::proceed();
}

const std::string& NodeNames::name(uint32_t number) const {
  return number >= 1 && number <= names_.size() ? names_[number - 1] : kNone;
}

std::string NodeNames::label(uint32_t number) const {
  const std::string& n = name(number);
  const std::string digits = std::to_string(number);
  return n.empty() || n == digits ? digits : digits + " (" + n + ")";
}

}  // namespace lumtra
