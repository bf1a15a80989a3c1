// The compiled half of the Python module: one whole run of the program in
// this process, with standard input empty and standard output and error
// caught in memory. The interpreter's lock is released while it runs, so
// Python threads run simulations side by side; the run shares no state with
// any other (the program has no global mutable state).
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/memory_text.h"
#include "methods.h"
#include "run/run.h"

namespace py = pybind11;

namespace {

// run(args[, method, name, version, routes]) -> (exit status, standard
// output, standard error, the method's error); args[0] is the program name
// as messages show it. With a method, `--plugin:NAME` in args runs it.
py::tuple run(const std::vector<std::string>& args, py::object method, const std::string& name,
              const std::string& version, bool routes) {
  int status = 1;
  std::string out_text;
  std::string err_text;
  std::unique_ptr<lumtra_python::PythonMethod> python;
  lumtra::PluginHooks hooks;
  if (!method.is_none()) {
    python = std::make_unique<lumtra_python::PythonMethod>(method, name, version, routes);
    hooks.plugins.push_back({python->name, &python->table, python.get()});
  }
  {
    py::gil_scoped_release unlocked;
    std::vector<std::string> owned(args);
    std::vector<char*> argv;
    for (std::string& a : owned) argv.push_back(a.data());
    argv.push_back(nullptr);
    lumtra::MemoryText out;
    lumtra::MemoryText err;
    std::FILE* in = std::fopen("/dev/null", "r");
    if (!in || !out.stream() || !err.stream()) {
      err_text = "lumtra: python: cannot open the streams of an in-process run\n";
    } else {
      status = lumtra::lumtra_main(static_cast<int>(owned.size()), argv.data(), in, out.stream(), err.stream(), hooks);
      out_text = out.take();
      err_text = err.take();
    }
    if (in) std::fclose(in);
  }
  return py::make_tuple(status, py::bytes(out_text), py::bytes(err_text), python ? python->error : std::string());
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "One in-process run of the lumtra program (see the lumtra package).";
  m.def("run", &run, py::arg("args"), py::arg("method") = py::none(), py::arg("name") = "",
        py::arg("version") = "", py::arg("routes") = false,
        "run(args, method=None, name='', version='', routes=False) -> (exit status, stdout bytes, "
        "stderr bytes, method error): one whole run, the lock released");
  lumtra_python::define_method_classes(m);
  m.attr("version") = lumtra::kVersion;
}
