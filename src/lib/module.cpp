// Initialisation of the _paifu module: created once per process, with its exception classes,
// its one function and its version attributes, each also listed in __all__.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "barrier.hpp"
#include "module.hpp"
#include "paifu/base/internal_fault.hpp"
#include "py_ref.hpp"

namespace paifu::py {
namespace {

constexpr std::string_view kPackageVersion = PAIFU_VERSION;

struct ExceptionSlot {
  const char* qualified_name;
  const char* attribute;
  PyObject* cached;
};

std::array<ExceptionSlot, 4> g_exception_slots{{
    {"_paifu.TenhouLogParsingError", "TenhouLogParsingError", nullptr},
    {"_paifu.TenhouToMjaiError", "TenhouToMjaiError", nullptr},
    {"_paifu.JsonSerializationError", "JsonSerializationError", nullptr},
    {"_paifu.JsonParsingError", "JsonParsingError", nullptr},
}};

constexpr std::array kModuleExceptions{ModuleException::TenhouLogParsingError, ModuleException::TenhouToMjaiError,
                                       ModuleException::JsonSerializationError, ModuleException::JsonParsingError};

PyObject* g_module = nullptr;

PyModuleDef g_module_definition = {
    PyModuleDef_HEAD_INIT, "_paifu", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// "str(error)" of the pending error, which is cleared; used in fault messages.
std::string describe_pending_error() {
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef owned_type(type), owned_value(value), owned_traceback(traceback);
  if (!value) return "no error was set";
  PyRef text(PyObject_Str(value));
  Py_ssize_t size = 0;
  const char* utf8 = text ? PyUnicode_AsUTF8AndSize(text.get(), &size) : nullptr;
  if (!utf8) {
    PyErr_Clear();
    return "an error that cannot be described";
  }
  return std::string(utf8, static_cast<std::size_t>(size));
}

// Builds a new text rather than editing in place (g++ 12 misreads in-place replacement).
std::string replace_all(std::string_view text, std::string_view from, std::string_view to) {
  std::string result;
  for (std::size_t at = text.find(from); at != std::string_view::npos; at = text.find(from)) {
    result.append(text.substr(0, at)).append(to);
    text.remove_prefix(at + from.size());
  }
  return result.append(text);
}

std::string version_text() {
  return replace_all(replace_all(kPackageVersion, "-alpha", "a"), "-beta", "b");
}

// The module's __all__, created empty when the module has none yet (borrowed by the module).
PyRef all_list(PyObject* module) {
  PyRef all(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return all;
    PyErr_Clear();
    all = PyRef(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return PyRef();
    return all;
  }
  if (!PyList_Check(all.get())) {
    raise_cannot_convert(all.get(), "PyList");
    return PyRef();
  }
  return all;
}

// Adds one attribute to the module and its name to __all__. False with an error set on failure.
bool add_attribute(PyObject* module, PyObject* name, PyObject* value) {
  PyRef all = all_list(module);
  if (!all) return false;
  if (PyList_Append(all.get(), name) < 0) {
    internal_fault("could not append __name__ to __all__: " + describe_pending_error());
  }
  return PyObject_SetAttr(module, name, value) == 0;
}

bool add_attribute(PyObject* module, const char* name, PyObject* value) {
  PyObject* interned = PyUnicode_FromString(name);
  if (!interned) return false;
  PyUnicode_InternInPlace(&interned);
  PyRef owned_name(interned);
  return add_attribute(module, owned_name.get(), value);
}

PyRef module_name(PyObject* module) {
  PyObject* dict = PyModule_GetDict(module);
  if (!dict) return PyRef();
  PyRef key(PyUnicode_FromString("__name__"));
  if (!key) return PyRef();
  PyRef name(PyObject_GetItem(dict, key.get()));
  if (name && !PyUnicode_Check(name.get())) {
    raise_cannot_convert(name.get(), "PyString");
    return PyRef();
  }
  return name;
}

bool add_function(PyObject* module, PyMethodDef& method) {
  PyRef owner_name = module_name(module);
  if (!owner_name) return false;
  PyRef function(PyCMethod_New(&method, module, owner_name.get(), nullptr));
  if (!function) return false;
  PyRef name(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name) return false;
  if (!PyUnicode_Check(name.get())) {
    raise_cannot_convert(name.get(), "PyString");
    return false;
  }
  return add_attribute(module, name.get(), function.get());
}

bool add_version(PyObject* module, const char* attribute) {
  const std::string version = version_text();
  PyRef text(PyUnicode_FromStringAndSize(version.data(), static_cast<Py_ssize_t>(version.size())));
  return text && add_attribute(module, attribute, text.get());
}

// The body of the first import; false with the import's error set.
bool initialise(PyObject* module) {
  for (const ModuleException kind : kModuleExceptions) {
    const char* attribute = g_exception_slots[static_cast<std::size_t>(kind)].attribute;
    if (!add_attribute(module, attribute, exception_class(kind))) return false;
  }
  if (!add_function(module, tenhou_to_mjai_method)) return false;
#ifdef PAIFU_FAULT_INJECTION
  // Not listed in __all__: the hook exists only in test builds.
  PyRef arm(PyCMethod_New(&arm_fault_method, module, nullptr, nullptr));
  if (!arm || PyObject_SetAttrString(module, arm_fault_method.ml_name, arm.get()) < 0) return false;
#endif
  if (!add_version(module, "__version__") || !add_version(module, "VERSION")) return false;
  if (!add_function(module, mjlog_to_mjai_method)) return false;
  // Reachable so that callers can name it in a handler, but not listed in __all__.
  return PyObject_SetAttrString(module, "PanicException", panic_exception_class()) == 0;
}

void ensure_error_is_set() {
  if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
}

PyObject* create_module() {
  if (g_module) return new_ref(g_module);
  PyRef module(PyModule_Create2(&g_module_definition, 1013));
  if (!module || !initialise(module.get())) {
    ensure_error_is_set();
    return nullptr;
  }
  return new_ref(keep_first(g_module, module.release()));
}

}  // namespace

PyObject* exception_class(ModuleException kind) {
  ExceptionSlot& slot = g_exception_slots.at(static_cast<std::size_t>(kind));
  if (slot.cached) return slot.cached;
  PyObject* created = PyErr_NewExceptionWithDoc(slot.qualified_name, nullptr, PyExc_ValueError, nullptr);
  if (!created) internal_fault("Failed to initialize new exception type.: " + describe_pending_error());
  return keep_first(slot.cached, created);
}

void raise_cannot_convert(PyObject* object, std::string_view expected) {
  PyRef qualname(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__qualname__"));
  if (!qualname || !PyUnicode_Check(qualname.get())) {
    PyErr_Clear();
    qualname = PyRef(PyUnicode_FromString("<failed to extract type name>"));
    if (!qualname) return;
  }
  const std::string expected_text(expected);
  PyRef message(PyUnicode_FromFormat("'%U' object cannot be converted to '%s'", qualname.get(), expected_text.c_str()));
  if (message) PyErr_SetObject(PyExc_TypeError, message.get());
}

}  // namespace paifu::py

PyMODINIT_FUNC PyInit__paifu() {
  return paifu::py::run_in_barrier([] { return paifu::py::create_module(); });
}
