#include "run/replay.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "base/memory.h"
#include "base/sha256.h"
#include "run/long_options.h"

namespace lumtra {

namespace {

// A document larger than this is not one this program wrote for a run it
// could repeat in reasonable time.
constexpr size_t kMaxDocumentBytes = size_t(1) << 30;

// Top-level fields that do not depend on the figures: --verify skips them.
constexpr const char* kNotFigures[] = {"elapsed_seconds", "run"};

bool not_a_figure(const std::string& path, const std::string& name) {
  if (!path.empty()) return false;
  for (const char* skipped : kNotFigures)
    if (name == skipped) return true;
  return false;
}

Status read_document(const std::string& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Status::error(path, "JSON document", std::string("cannot be read: ") + std::strerror(errno));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      return Status::error(path, "JSON document", std::string("cannot be read: ") + std::strerror(error));
    }
    if (n == 0) break;
    text.append(buffer, size_t(n));
    if (text.size() > kMaxDocumentBytes) {
      ::close(fd);
      return Status::error(path, "JSON document", "larger than 1 GiB; not a document of a run");
    }
  }
  ::close(fd);
  return Status::proceed();
}

bool is_classic(const std::string& arg, const char* letters) {
  return arg.size() >= 3 && arg[0] == '-' && std::toupper(static_cast<unsigned char>(arg[1])) == letters[0] &&
         std::toupper(static_cast<unsigned char>(arg[2])) == letters[1];
}

// The options that may stand beside --replay: they change what is written,
// never a figure.
bool output_option(const std::string& arg) {
  for (const char* name : {"replay", "verify", "json", "quiet", "summary", "ci"})
    if (is_long_option(arg, name)) return true;
  return false;
}

// The recorded file `item` of the configuration must still be the file the
// run read.
Status same_file(const Replay& replay, const char* item, const char* hash_field, const char* what) {
  const JsonValue* name = replay.recorded.at(std::string("configuration.") + item);
  const JsonValue* hash = replay.recorded.at(std::string("run.") + hash_field);
  if (!name || !name->is_string() || !hash || !hash->is_string()) return Status::proceed();
  std::string now;
  if (Status s = sha256_file(name->text, what, now); !s.ok()) return s;
  if (now == hash->text) return Status::proceed();
  return Status::error(name->text, what,
                       "is not the file the recorded run read (SHA-256 " + now + ", recorded " + hash->text +
                           "), so the run is not replayed");
}

}  // namespace

Status prepare_replay(std::vector<std::string>& args, Replay& replay) {
  std::vector<std::string> added;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (is_long_option(a, "replay") && a.size() > 9) replay.path = a.substr(9);
    else if (is_long_option(a, "verify")) replay.verify = true;
    if (output_option(a)) {
      if (!is_long_option(a, "replay") && !is_long_option(a, "verify")) added.push_back(a);
    }
  }
  if (replay.path.empty()) return Status::proceed();
  for (size_t i = 1; i < args.size(); ++i)
    if (!output_option(args[i]))
      return Status::error("command line", args[i],
                           "cannot be given with --replay, which repeats the recorded run; only --json, --quiet, "
                           "--summary, --ci and --verify may be added");

  std::string text, why;
  if (Status s = read_document(replay.path, text); !s.ok()) return s;
  // The document is held parsed, and with --verify the replay's as well.
  const MemoryBudget budget;
  if (Status s = budget.check(saturating_mul(text.size(), (replay.verify ? 2 : 1) * kJsonValueBytesPerByte),
                              replay.path, "JSON document", "reading it back");
      !s.ok())
    return s;
  if (!parse_json(text, replay.recorded, why))
    return Status::error(replay.path, "JSON document", "not a JSON document: " + why);
  const JsonValue& doc = replay.recorded;
  const JsonValue* argv = doc.at("run.argv");
  const JsonValue* seed = doc.get("seed");
  if (!argv || argv->kind != JsonValue::Kind::array || argv->items.empty() || !seed ||
      seed->kind != JsonValue::Kind::number)
    return Status::error(replay.path, "run.argv",
                         "missing: the document does not record the command line (written by a program before 1.0 "
                         "schema 2, or not by lumtra), so the run cannot be repeated");
  const JsonValue* version = doc.at("run.program_version");
  if (!version || !version->is_string() || version->text != kVersion)
    return Status::error(replay.path, "run.program_version",
                         "'" + (version && version->is_string() ? version->text : std::string("?")) +
                             "' is not this program's version " + kVersion +
                             ", whose figures may differ, so the run is not replayed");
  // A network drawn with -g is drawn again; its parameter file must match.
  const JsonValue* drawn = doc.at("configuration.generator_file");
  if (!drawn || !drawn->is_string())
    if (Status s = same_file(replay, "network_file", "network_sha256", "network file"); !s.ok()) return s;
  if (Status s = same_file(replay, "generator_file", "generator_sha256", "generator parameter file"); !s.ok())
    return s;

  std::vector<std::string> command{args[0]};
  for (size_t i = 1; i < argv->items.size(); ++i) {
    const JsonValue& item = argv->items[i];
    if (!item.is_string()) return Status::error(replay.path, "run.argv", "holds a value that is not a string");
    const std::string& a = item.text;
    // Its document and Result rows exist already: they are not written
    // again (the options beside --replay may ask for a new document).
    if (is_long_option(a, "json") || is_long_option(a, "replay") || is_long_option(a, "verify") ||
        is_long_option(a, "quiet") || is_classic(a, "OF"))
      continue;
    command.push_back(a);
  }
  char seed_text[32];
  std::snprintf(seed_text, sizeof seed_text, "-s:%.0f", seed->number);
  command.push_back(seed_text);
  command.insert(command.end(), added.begin(), added.end());
  args = std::move(command);
  if (!replay.verify) replay.recorded = JsonValue();  // needed no longer
  return Status::proceed();
}

namespace {

bool same_value(const JsonValue& a, const JsonValue& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case JsonValue::Kind::null: return true;
    case JsonValue::Kind::boolean: return a.flag == b.flag;
    case JsonValue::Kind::number: return a.number == b.number;
    case JsonValue::Kind::string: return a.text == b.text;
    default: return false;  // containers are compared member by member
  }
}

// The first path at which `replayed` differs from `recorded`; empty when
// none does. `detail` says how.
std::string first_difference(const JsonValue& recorded, const JsonValue& replayed, const std::string& path,
                             std::string& detail) {
  if (recorded.kind == JsonValue::Kind::object && replayed.kind == JsonValue::Kind::object) {
    for (const auto& [name, value] : recorded.fields) {
      if (not_a_figure(path, name)) continue;
      const std::string here = path.empty() ? name : path + "." + name;
      const JsonValue* other = replayed.get(name);
      if (!other) {
        detail = "recorded, but not written by the replay";
        return here;
      }
      std::string found = first_difference(value, *other, here, detail);
      if (!found.empty()) return found;
    }
    // Fields the replay adds are new fields of this version's layout,
    // which a reader ignores; every recorded one was compared.
    return {};
  }
  if (recorded.kind == JsonValue::Kind::array && replayed.kind == JsonValue::Kind::array) {
    for (size_t i = 0; i < recorded.items.size() && i < replayed.items.size(); ++i) {
      std::string found = first_difference(recorded.items[i], replayed.items[i], path + "[" + std::to_string(i) + "]",
                                           detail);
      if (!found.empty()) return found;
    }
    if (recorded.items.size() == replayed.items.size()) return {};
    detail = std::to_string(recorded.items.size()) + " elements recorded, " + std::to_string(replayed.items.size()) +
             " replayed";
    return path;
  }
  if (same_value(recorded, replayed)) return {};
  detail = "recorded " + json_text(recorded) + ", replayed " + json_text(replayed);
  return path;
}

}  // namespace

Status verify_replay(const Replay& replay, const std::string& replayed) {
  JsonValue now;
  std::string why;
  if (!parse_json(replayed, now, why)) return Status::error("--verify", "the replay's document", why);
  std::string detail;
  const std::string path = first_difference(replay.recorded, now, "", detail);
  if (path.empty()) return Status::proceed();
  Status s = Status::error(replay.path, path, "differs: " + detail);
  s.exit = Exit::differs;
  return s;
}

}  // namespace lumtra
