// Pieces of the _paifu module shared between its initialisation and its one function.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

namespace paifu::py {

// The module's own exception classes, all derived from ValueError.
enum class ModuleException { TenhouLogParsingError, TenhouToMjaiError, JsonSerializationError, JsonParsingError };

// The cached class for `kind`, created on first use (borrowed reference). Throws InternalFault
// when the interpreter refuses to create it.
PyObject* exception_class(ModuleException kind);

// The method definitions behind `tenhou_to_mjai` and `mjlog_to_mjai`.
extern PyMethodDef tenhou_to_mjai_method;
extern PyMethodDef mjlog_to_mjai_method;

// Sets a TypeError "'<qualname>' object cannot be converted to '<expected>'" for `object`.
void raise_cannot_convert(PyObject* object, std::string_view expected);

#ifdef PAIFU_FAULT_INJECTION
// Test builds only: `_paifu._arm_fault(kind)` makes the next call of tenhou_to_mjai fail inside
// its barrier in the given way.
extern PyMethodDef arm_fault_method;
#endif

}  // namespace paifu::py
