#include "network/parameters.h"

#include <cctype>
#include <cmath>

namespace lumtra {

namespace {

// The next character that is not white space, or EOF.
int next_letter(std::FILE* in) {
  int c;
  do {
    c = std::fgetc(in);
  } while (c != EOF && std::isspace(c));
  return c;
}

// The text that stopped a number, for the message.
std::string offending_text(std::FILE* in) {
  std::string text;
  int c = next_letter(in);
  while (c != EOF && !std::isspace(c) && text.size() < 24) {
    text.push_back(static_cast<char>(c));
    c = std::fgetc(in);
  }
  return text;
}

// One "%lg" number of the item introduced by `letter`; on failure explains why.
bool read_number(std::FILE* in, char letter, double& value, std::string& problem) {
  int got = std::fscanf(in, "%lg", &value);
  if (got == EOF) {
    problem = std::string("the file ends before the numbers of '") + letter + "' are complete";
    return false;
  }
  if (got != 1) {
    std::string text = offending_text(in);
    problem = text.empty() ? std::string("'") + letter + "' is not followed by a number"
                           : "'" + text + "' cannot be read as a number";
    return false;
  }
  if (!std::isfinite(value)) {
    char shown[32];
    std::snprintf(shown, sizeof shown, "%g", value);
    problem = std::string("'") + shown + "' is not a finite number";
    return false;
  }
  return true;
}

}  // namespace

ParameterList read_parameters(std::FILE* in) {
  ParameterList list;
  bool silent_next = false;
  for (int c = next_letter(in); c != EOF; c = next_letter(in)) {
    char letter = static_cast<char>(std::toupper(c));
    ParameterItem item;
    int numbers = 0;
    switch (letter) {
      case 'C':
        silent_next = true;
        continue;
      case 'L':
        item.kind = kIntegerItem;
        numbers = 2;
        break;
      case 'D':
        item.kind = kRealItem;
        numbers = 2;
        break;
      case 'Y':
        item.kind = kYesNoItem;
        numbers = 1;
        break;
      default:
        continue;  // free text between items
    }
    item.silent = silent_next;
    silent_next = false;
    std::string problem;
    bool read = read_number(in, static_cast<char>(c), item.lower, problem) &&
                (numbers == 1 || read_number(in, static_cast<char>(c), item.upper, problem));
    if (!read) {
      list.broken = true;
      list.broken_position = list.items.size();
      list.broken_problem = problem;
      break;
    }
    list.items.push_back(item);
  }
  if (silent_next && !list.broken) {
    list.broken = true;
    list.broken_position = list.items.size();
    list.broken_problem = "a C letter with no item after it";
  }
  return list;
}

double draw_item(const ParameterItem& item, Lehmer& stream, std::FILE* out, char separator) {
  double u = stream.uniform();
  double value = 0.0;
  switch (item.kind) {
    case kIntegerItem: {
      double a = std::trunc(item.lower), b = std::trunc(item.upper);
      value = std::trunc((b - a + 1.0) * u + a);
      if (!item.silent) std::fprintf(out, "%ld", static_cast<long>(value));
      break;
    }
    case kRealItem:
      value = item.lower + u * (item.upper - item.lower);
      if (!item.silent) std::fprintf(out, "%g", value);
      break;
    case kYesNoItem:
      value = 100.0 * u < item.lower ? 1.0 : 0.0;
      if (!item.silent) std::fputc(value == 1.0 ? 'y' : 'n', out);
      break;
    default:
      break;
  }
  if (!item.silent) std::fputc(separator, out);
  return value;
}

int64_t type_count(const ParameterItem& type_item) {
  return static_cast<int64_t>(std::trunc(type_item.upper - type_item.lower)) + 1;
}

int64_t draw_type(const std::vector<ParameterItem>& items, Lehmer& stream, std::FILE* out, char separator) {
  const ParameterItem& range = items[0];
  if (range.kind != kIntegerItem) {
    std::fputc(separator, out);
    return 2147483647;
  }
  const int64_t values = type_count(range);
  const double r = 100.0 * stream.uniform();
  int64_t k = 1;
  double sum = 0.0;
  // The percentage of value k sits at position k; the last value has none.
  while (k < values) {
    sum += draw_item(items[static_cast<size_t>(k)], stream, out, ' ');
    if (sum >= r) break;
    ++k;
  }
  int64_t type = k + static_cast<int64_t>(std::trunc(range.lower)) - 1;
  if (!range.silent) std::fprintf(out, "%ld%c", static_cast<long>(type), separator);
  return type;
}

}  // namespace lumtra
