#include "methods.h"

#include <Python.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace py = pybind11;

namespace lumtra_python {

namespace {

// What a Python method sees during a callback: the facts of the run and the
// live state of its lane. One per instance; `lane` changes with every
// callback and is null outside them.
struct View {
  const lumtra_facts* facts = nullptr;
  const lumtra_lane* lane = nullptr;
  uint32_t attempts = 0;  // wavelength trials the method counted in this callback
  py::dict paths_of;      // pair index -> tuple of Path, made when first asked
  py::object path_type;
  py::object hop_type;

  const lumtra_lane& live() const {
    if (!lane) throw py::value_error("the view is only valid while assign, release or reset runs");
    return *lane;
  }
  uint32_t link_index(uint32_t link) const {
    if (link >= facts->nodes * facts->nodes) throw py::index_error("no link " + std::to_string(link));
    return link;
  }
  uint32_t pair_index(uint32_t s, uint32_t d) const {
    if (s >= facts->nodes || d >= facts->nodes)
      throw py::index_error("no node pair " + std::to_string(s) + ", " + std::to_string(d));
    return s * facts->nodes + d;
  }
};

// The call being placed; valid during one assign.
struct Call {
  const lumtra_call* call = nullptr;
  const lumtra_call& live() const {
    if (!call) throw py::value_error("the call is only valid while assign runs");
    return *call;
  }
};

// Bits lo .. hi-1 of `words` (wavelength w is bit w % 64 of word w / 64) as
// a Python int.
py::int_ bits(const uint64_t* words, uint32_t lo, uint32_t hi) {
  if (hi <= lo) return py::int_(0);
  const uint32_t count = (hi + 63) / 64;
  if (count == 1) {
    uint64_t w = words[0] & (hi == 64 ? ~0ull : (1ull << hi) - 1) & (~0ull << lo);
    return py::reinterpret_steal<py::int_>(PyLong_FromUnsignedLongLong(w));
  }
  std::vector<uint64_t> copy(words, words + count);
  for (uint32_t w = 0; w < lo; ++w) copy[w / 64] &= ~(1ull << (w % 64));
  if (hi % 64) copy[count - 1] &= (1ull << (hi % 64)) - 1;
  return py::reinterpret_steal<py::int_>(
      _PyLong_FromByteArray(reinterpret_cast<const unsigned char*>(copy.data()), count * 8, 1, 0));
}

const uint64_t* free_words(const lumtra_lane& lane, uint32_t link) {
  return lane.free_words + lane.links[link].mask_offset;
}

// The candidate paths of a pair as Path tuples.
py::tuple paths(View& v, uint32_t pair) {
  py::int_ key(pair);
  if (v.paths_of.contains(key)) return v.paths_of[key].cast<py::tuple>();
  const lumtra_facts& f = *v.facts;
  const lumtra_pair& p = f.pairs[pair];
  py::tuple out(p.count);
  for (uint32_t k = 0; k < p.count; ++k) {
    const lumtra_path& path = f.paths[p.first + k];
    py::tuple hops(path.hops);
    py::tuple nodes(path.hops);
    for (uint32_t h = 0; h < path.hops; ++h) {
      const lumtra_hop& hop = f.hops[path.first_hop + h];
      hops[h] = v.hop_type(hop.fibre, hop.link, hop.bound, bool(hop.ends_segment), bool(hop.groomed));
      nodes[h] = f.path_nodes[path.first_node + h];
    }
    out[k] = v.path_type(k, hops, nodes, path.cost, path.segments);
  }
  v.paths_of[key] = out;
  return out;
}

// The path a call asks about: k, else the offered candidate.
const lumtra_path& call_path(const View& v, const lumtra_call& c, py::object k) {
  const lumtra_pair& p = v.facts->pairs[v.pair_index(c.source, c.destination)];
  int64_t index = k.is_none() ? c.candidate : k.cast<int64_t>();
  if (index < 0 || index >= p.count)
    throw py::index_error(k.is_none() ? "the call has no offered path (the method routes): name one"
                                      : "no candidate path " + std::to_string(index) + " for this pair");
  return v.facts->paths[p.first + index];
}

// Per segment of the path: the scan window (low, end) of its first fibre
// and bound, and the wavelengths inside it that carry no call on any hop.
py::list segments(const View& v, const lumtra_lane& lane, const lumtra_path& path) {
  py::list out;
  const lumtra_hop* hop = v.facts->hops + path.first_hop;
  const lumtra_hop* last = hop + path.hops;
  std::vector<uint64_t> mask;
  while (hop < last) {
    const lumtra_link_state& first = lane.links[hop->link];
    const uint32_t low = first.low;
    const uint32_t end = std::min(first.high_end, hop->bound);
    const uint32_t words = (std::max(end, 1u) + 63) / 64;
    mask.assign(free_words(lane, hop->link), free_words(lane, hop->link) + words);
    for (;;) {
      const bool ends = hop->ends_segment;
      if (hop != v.facts->hops + path.first_hop && lane.links[hop->link].wavelengths) {
        const uint64_t* other = free_words(lane, hop->link);
        const uint32_t have = (lane.links[hop->link].wavelengths + 63) / 64;
        for (uint32_t w = 0; w < words; ++w) mask[w] &= w < have ? other[w] : 0;
      }
      ++hop;
      if (ends || hop == last) break;
    }
    out.append(py::make_tuple(low, std::max(low, end), bits(mask.data(), low, end)));
  }
  return out;
}

struct Instance {
  PythonMethod* host = nullptr;
  py::object method, assign, release, reset;
  py::object view_object;
  View* view = nullptr;
  py::object call_object;
  Call* call = nullptr;
  py::object departure_type;
  PyInterpreterState* interpreter = nullptr;
  // The state the interpreter keeps for a lane's own thread (--parallel),
  // made at its first callback and kept until the instance goes: making one
  // for every callback would cost more than the method itself.
  PyThreadState* lane_thread = nullptr;
};

// The interpreter's lock for one callback, from any thread.
class Locked {
 public:
  explicit Locked(Instance& in) {
    if (!PyGILState_GetThisThreadState() && !in.lane_thread) in.lane_thread = PyThreadState_New(in.interpreter);
    state_ = PyGILState_Ensure();
  }
  ~Locked() { PyGILState_Release(state_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  PyGILState_STATE state_;
};

// "TypeError: message (file.py:12 in assign)" for the exception being handled.
std::string describe(py::error_already_set& e) {
  std::string text = py::str(e.type().attr("__name__")).cast<std::string>() + ": " +
                     py::str(e.value()).cast<std::string>();
  try {
    py::list frames = py::module_::import("traceback").attr("extract_tb")(e.trace());
    if (!frames.empty()) {
      py::object frame = frames[frames.size() - 1];
      text += " (" + py::str(frame.attr("filename")).cast<std::string>() + ":" +
              py::str(frame.attr("lineno")).cast<std::string>() + " in " +
              py::str(frame.attr("name")).cast<std::string>() + ")";
    }
  } catch (py::error_already_set&) {
  }
  return text;
}

void record(Instance& in, const std::string& what) {
  if (in.host->error.empty()) in.host->error = what;
}

void* create(const lumtra_facts* facts, const char*, void* user, char* error, size_t error_size) {
  py::gil_scoped_acquire locked;
  auto* host = static_cast<PythonMethod*>(user);
  auto in = std::make_unique<Instance>();
  in->host = host;
  in->interpreter = PyInterpreterState_Get();
  try {
    py::module_ package = py::module_::import("lumtra");
    View view;
    view.facts = facts;
    view.path_type = package.attr("Path");
    view.hop_type = package.attr("Hop");
    in->departure_type = package.attr("Departure");
    in->view_object = py::cast(std::move(view));
    in->view = in->view_object.cast<View*>();
    in->call_object = py::cast(Call{});
    in->call = in->call_object.cast<Call*>();
    in->method = PyType_Check(host->factory.ptr()) ? host->factory() : host->factory;
    in->assign = in->method.attr("assign");
    in->release = py::getattr(in->method, "release", py::none());
    in->reset = py::getattr(in->method, "reset", py::none());
  } catch (py::error_already_set& e) {
    std::snprintf(error, error_size, "%s", describe(e).c_str());
    return nullptr;
  }
  return in.release();
}

void destroy(void* state) {
  py::gil_scoped_acquire locked;
  auto* in = static_cast<Instance*>(state);
  if (in->lane_thread) {  // its thread has ended
    PyThreadState_Clear(in->lane_thread);
    PyThreadState_Delete(in->lane_thread);
  }
  delete in;
}

void reset(void* state) {
  auto& in = *static_cast<Instance*>(state);
  Locked locked(in);
  if (in.reset.is_none() || !in.host->error.empty()) return;
  try {
    in.reset();
  } catch (py::error_already_set& e) {
    record(in, "reset: " + describe(e));
  }
}

// An answer the engine refuses at once (more wavelengths than the path has
// segments), so that the run stops; the Python side then reports why.
int stop(const lumtra_lane* lane, lumtra_answer* answer) {
  answer->path = 0;
  answer->segments = lane->facts->longest_path + 1;
  answer->attempts = 0;
  return LUMTRA_PLACED;
}

// A whole number of the answer, 0 .. 2^32-1.
uint32_t whole(py::handle value, const char* what) {
  if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr()))
    throw py::type_error(std::string(what) + " " + py::repr(value).cast<std::string>() + " is not a whole number");
  const long long v = PyLong_AsLongLong(value.ptr());
  if (v < 0 || v > 4294967295ll || PyErr_Occurred()) {
    PyErr_Clear();
    throw py::value_error(std::string(what) + " " + py::repr(value).cast<std::string>() + " is out of range");
  }
  return static_cast<uint32_t>(v);
}

int assign(void* state, const lumtra_lane* lane, const lumtra_call* call, lumtra_answer* answer) {
  auto& in = *static_cast<Instance*>(state);
  Locked locked(in);
  if (!in.host->error.empty()) return stop(lane, answer);
  const bool routes = in.host->table.role == LUMTRA_ROUTES_AND_ASSIGNS;
  in.view->lane = lane;
  in.view->attempts = 0;
  in.call->call = call;
  int outcome = LUMTRA_PLACED;
  try {
    py::object got = in.assign(in.call_object, in.view_object);
    answer->attempts = in.view->attempts;
    if (got.is_none()) {
      outcome = routes ? LUMTRA_BLOCKED : LUMTRA_PATH_FAILS;
    } else if (got.ptr() == Py_False) {
      outcome = LUMTRA_BLOCKED;
    } else {
      py::object chosen = got;
      answer->path = static_cast<uint32_t>(call->candidate);
      if (routes) {
        if (!py::isinstance<py::tuple>(got) || py::len(got) != 2)
          throw py::type_error("returned " + py::repr(got).cast<std::string>() +
                               ", not (path index, wavelengths) nor None nor BLOCKED");
        answer->path = whole(got[py::int_(0)], "path index");
        chosen = got[py::int_(1)];
      }
      if (!py::isinstance<py::sequence>(chosen) || py::isinstance<py::str>(chosen))
        throw py::type_error("returned " + py::repr(got).cast<std::string>() +
                             ", not a list of wavelengths (one per segment) nor None nor BLOCKED");
      py::sequence list = chosen;
      if (list.size() > lane->facts->longest_path)
        throw py::value_error(std::to_string(list.size()) + " wavelengths returned; no path has more than " +
                              std::to_string(lane->facts->longest_path) + " segments");
      answer->segments = static_cast<uint32_t>(list.size());
      for (size_t i = 0; i < list.size(); ++i) answer->wavelengths[i] = whole(list[i], "wavelength");
    }
  } catch (py::error_already_set& e) {
    record(in, "assign: " + describe(e));
    outcome = stop(lane, answer);
  } catch (py::builtin_exception& e) {  // an answer of the wrong shape
    record(in, std::string("assign: ") + e.what());
    outcome = stop(lane, answer);
  }
  in.view->lane = nullptr;
  in.call->call = nullptr;
  return outcome;
}

void release(void* state, const lumtra_lane* lane, const lumtra_departure* call) {
  auto& in = *static_cast<Instance*>(state);
  if (in.release.is_none()) return;
  Locked locked(in);
  if (!in.host->error.empty()) return;
  const lumtra_facts& f = *lane->facts;
  const lumtra_path& path = f.paths[f.pairs[call->source * f.nodes + call->destination].first + call->path];
  py::tuple wavelengths(path.hops);
  for (uint32_t h = 0; h < path.hops; ++h) wavelengths[h] = call->wavelengths[h];
  in.view->lane = lane;
  try {
    in.release(in.departure_type(call->source, call->destination, call->path, call->slots, wavelengths),
               in.view_object);
  } catch (py::error_already_set& e) {
    record(in, "release: " + describe(e));
  }
  in.view->lane = nullptr;
}

}  // namespace

PythonMethod::PythonMethod(py::object factory_, std::string name_, std::string version_, bool routes)
    : factory(std::move(factory_)), name(std::move(name_)), version(std::move(version_)) {
  table.api_version = LUMTRA_PLUGIN_API_VERSION;
  table.role = routes ? LUMTRA_ROUTES_AND_ASSIGNS : LUMTRA_ASSIGNS;
  table.name = name.c_str();
  table.version = version.c_str();
  table.create = create;
  table.destroy = destroy;
  table.reset = reset;
  table.assign = assign;
  table.release = release;
}

void define_method_classes(py::module_& m) {
  py::class_<View>(m, "View", "The run's facts and its lane's live state, during a callback of a method")
      .def_property_readonly("nodes", [](const View& v) { return v.facts->nodes; })
      .def_property_readonly("real_nodes", [](const View& v) { return v.facts->real_nodes; })
      .def_property_readonly("slots_per_wavelength", [](const View& v) { return v.facts->slots_per_wavelength; })
      .def_property_readonly("now", [](const View& v) { return v.live().now; })
      .def_readwrite("attempts", &View::attempts)
      .def("uniform", [](const View& v) { return v.live().draw(v.live().engine); })
      .def("paths", [](View& v, uint32_t s, uint32_t d) { return paths(v, v.pair_index(s, d)); })
      .def("wavelengths", [](const View& v, uint32_t link) { return v.live().links[v.link_index(link)].wavelengths; })
      .def("free", [](const View& v, uint32_t link) {
        const lumtra_lane& lane = v.live();
        return bits(free_words(lane, v.link_index(link)), 0, lane.links[link].wavelengths);
      })
      .def("window", [](const View& v, uint32_t link) {
        const lumtra_link_state& s = v.live().links[v.link_index(link)];
        return py::make_tuple(s.low, s.high_end);
      })
      .def("free_slots", [](const View& v, uint32_t link, uint32_t w) {
        const lumtra_lane& lane = v.live();
        if (w >= lane.links[v.link_index(link)].wavelengths) throw py::index_error("no such wavelength");
        return lumtra_free_slots(&lane, link, w);
      })
      .def("segments", [](const View& v, const Call& c, py::object k) {
        return segments(v, v.live(), call_path(v, c.live(), k));
      }, py::arg("call"), py::arg("path") = py::none());
  py::class_<Call>(m, "Call", "The call being placed, during assign")
      .def_property_readonly("source", [](const Call& c) { return c.live().source; })
      .def_property_readonly("destination", [](const Call& c) { return c.live().destination; })
      .def_property_readonly("slots", [](const Call& c) { return c.live().slots; })
      .def_property_readonly("candidate", [](const Call& c) -> py::object {
        if (c.live().candidate < 0) return py::none();
        return py::int_(c.live().candidate);
      })
      .def_property_readonly("attempts_left", [](const Call& c) { return c.live().attempts_left; });
}

}  // namespace lumtra_python
