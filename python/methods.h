// Methods written in Python: a callback table of the plug-in interface whose
// callbacks call a Python object, handed to the in-process entry point under
// a name, so that `--plugin:NAME` runs it without any shared object.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "lumtra/plugin.h"

namespace lumtra_python {

// One Python method for one run: the object (a class, made anew for every
// simulation lane, or an object used as it is), its identity, and the first
// exception it raised, which stops the run.
struct PythonMethod {
  PythonMethod(pybind11::object factory, std::string name, std::string version, bool routes);
  pybind11::object factory;
  std::string name;
  std::string version;
  lumtra_plugin table{};
  std::string error;  // written with the interpreter's lock held
};

// The View, Call and Departure classes the callbacks hand to Python.
void define_method_classes(pybind11::module_& m);

}  // namespace lumtra_python
