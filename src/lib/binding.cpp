// tenhou_to_mjai(filename, mjai_out=None): the Python face of convert_log_file.
// The interpreter lock is released while the log is read, converted and written (no Python
// object is touched there), so calls from several threads run at once; a call blocked on a file
// still sees signals (Ctrl-C raises KeyboardInterrupt), taking the lock back to run the handlers.
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "barrier.hpp"
#include "module.hpp"
#include "paifu/conv/convert.hpp"
#include "paifu/conv/convert_mjlog.hpp"
#include "paifu/conv/failure_text.hpp"
#include "paifu/base/internal_fault.hpp"
#include "paifu/base/tile.hpp"
#include "paifu/mjai/encode.hpp"
#include "py_ref.hpp"

#ifdef PAIFU_FAULT_INJECTION
#include <new>
#include <stdexcept>
#endif

namespace paifu::py {
namespace {

// The function being called: its name in messages, and the format it reads.
struct Converter {
  std::string_view call_prefix;
  conv::LogFormat format;
};
constexpr Converter kTenhouConverter{"tenhou_to_mjai()", conv::LogFormat::Tenhou6};
constexpr Converter kMjlogConverter{"mjlog_to_mjai()", conv::LogFormat::Mjlog};
constexpr std::array<std::string_view, 2> kParameterNames{"filename", "mjai_out"};
constexpr std::size_t kFilename = 0;
constexpr std::size_t kMjaiOut = 1;

void raise_type_error(const std::string& message) { PyErr_SetString(PyExc_TypeError, message.c_str()); }

std::string quoted_name(std::string_view name) {
  std::string quoted;
  quoted.reserve(name.size() + 2);
  return quoted.append(1, '\'').append(name).append(1, '\'');
}

void raise_unexpected_keyword(PyObject* name, std::string_view call_prefix) {
  PyRef text(PyObject_Str(name));
  if (!text) return;
  const std::string prefix(call_prefix);
  PyRef message(PyUnicode_FromFormat("%s got an unexpected keyword argument '%U'", prefix.c_str(), text.get()));
  if (message) PyErr_SetObject(PyExc_TypeError, message.get());
}

// The parameter slot a keyword name fills, or none.
std::optional<std::size_t> parameter_slot(PyObject* name) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_Check(name) ? PyUnicode_AsUTF8AndSize(name, &size) : nullptr;
  if (!utf8) {
    PyErr_Clear();
    return std::nullopt;
  }
  const std::string_view text(utf8, static_cast<std::size_t>(size));
  for (std::size_t slot = 0; slot < kParameterNames.size(); ++slot) {
    if (text == kParameterNames[slot]) return slot;
  }
  return std::nullopt;
}

// Places the arguments into their slots (borrowed); false with a TypeError set.
bool bind_arguments(PyObject* const* args, Py_ssize_t positional, PyObject* keyword_names,
                    std::array<PyObject*, 2>& slots, std::string_view call_prefix) {
  if (positional > 2) {
    raise_type_error(std::string(call_prefix) + " takes from 1 to 2 positional arguments but " +
                     std::to_string(positional) + " were given");
    return false;
  }
  for (Py_ssize_t i = 0; i < positional; ++i) slots[static_cast<std::size_t>(i)] = args[i];
  const Py_ssize_t keywords = keyword_names ? PyTuple_Size(keyword_names) : 0;
  for (Py_ssize_t i = 0; i < keywords; ++i) {
    PyObject* name = PyTuple_GetItem(keyword_names, i);
    if (!name) return false;
    const auto slot = parameter_slot(name);
    if (!slot) {
      raise_unexpected_keyword(name, call_prefix);
      return false;
    }
    if (slots[*slot]) {
      raise_type_error(std::string(call_prefix) + " got multiple values for argument " +
                       quoted_name(kParameterNames[*slot]));
      return false;
    }
    slots[*slot] = args[positional + i];
  }
  if (!slots[kFilename]) {
    raise_type_error(std::string(call_prefix) + " missing 1 required positional argument: " +
                     quoted_name(kParameterNames[kFilename]));
    return false;
  }
  return true;
}

// A TypeError of exactly that class is replaced by one naming the parameter, keeping its cause.
void name_parameter_in_type_error(std::string_view parameter) {
  if (!PyErr_Occurred() || !PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type != PyExc_TypeError) {  // a subclass stays as it was
    PyErr_Restore(type, value, traceback);
    return;
  }
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef old_type(type), old_value(value), old_traceback(traceback);
  PyRef text(old_value ? PyObject_Str(old_value.get()) : nullptr);
  if (!text) return;
  const std::string name(parameter);
  PyRef message(PyUnicode_FromFormat("argument '%s': %U", name.c_str(), text.get()));
  if (!message) return;
  PyErr_SetObject(PyExc_TypeError, message.get());
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value) {
    PyObject* cause = PyException_GetCause(old_value.get());
    PyException_SetCause(value, cause ? cause : new_ref(Py_None));  // steals the reference
  }
  PyErr_Restore(type, value, traceback);
}

// The path as the file-system encoding's bytes; none with an error set.
std::optional<std::string> path_bytes(PyObject* argument, std::string_view parameter) {
  PyRef path(PyOS_FSPath(argument));
  if (path && !PyUnicode_Check(path.get())) {
    raise_cannot_convert(path.get(), "PyString");
    path = PyRef();
  }
  PyRef encoded(path ? PyUnicode_EncodeFSDefault(path.get()) : nullptr);
  if (!encoded) {
    name_parameter_in_type_error(parameter);
    return std::nullopt;
  }
  const char* bytes = PyBytes_AsString(encoded.get());
  if (!bytes) return std::nullopt;
  return std::string(bytes, static_cast<std::size_t>(PyBytes_Size(encoded.get())));
}

// The class of a system failure by the kind of its error number.
PyObject* os_error_class(int error) {
  switch (error) {
    case ENOENT: return PyExc_FileNotFoundError;
    case EACCES:
    case EPERM: return PyExc_PermissionError;
    case ECONNREFUSED: return PyExc_ConnectionRefusedError;
    case ECONNRESET: return PyExc_ConnectionResetError;
    case ECONNABORTED: return PyExc_ConnectionAbortedError;
    case EPIPE: return PyExc_BrokenPipeError;
    case EEXIST: return PyExc_FileExistsError;
    case EAGAIN: return PyExc_BlockingIOError;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return PyExc_BlockingIOError;
#endif
    case ETIMEDOUT: return PyExc_TimeoutError;
    case EINTR: return PyExc_InterruptedError;
    default: return PyExc_OSError;
  }
}

PyObject* exception_class_of(const Error& error, conv::LogFormat format) {
  switch (error.stage) {
    case Stage::Open: return PyExc_FileNotFoundError;
    case Stage::Read: return os_error_class(error.number);
    case Stage::Parse:
      if (format == conv::LogFormat::Mjlog) return exception_class(ModuleException::TenhouLogParsingError);
      return exception_class(ModuleException::JsonParsingError);
    case Stage::Prepare: return exception_class(ModuleException::TenhouLogParsingError);
    case Stage::Replay: return exception_class(ModuleException::TenhouToMjaiError);
    case Stage::Encode: return exception_class(ModuleException::JsonSerializationError);
    case Stage::Decode:
    case Stage::Create:
    case Stage::Write: return PyExc_OSError;
  }
  internal_fault("a conversion failure names no stage");
}

PyObject* raise_failure(const Error& error, const conv::FailurePaths& paths, conv::LogFormat format) {
  // Interrupted by a signal whose handler raised (KeyboardInterrupt, say): that exception stands.
  if (PyErr_Occurred()) return nullptr;
  const std::string text = conv::failure_message(error, paths, format);
  PyRef message(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
  if (message) PyErr_SetObject(exception_class_of(error, format), message.get());
  return nullptr;
}

// The state of this thread while it runs without the interpreter lock, or null while it holds it.
thread_local PyThreadState* t_released_state = nullptr;

// Releases the interpreter lock for its lifetime, and takes it back on every way out (an
// exception included, before the barrier needs it).
class WithoutInterpreterLock {
 public:
  WithoutInterpreterLock() { t_released_state = PyEval_SaveThread(); }
  WithoutInterpreterLock(const WithoutInterpreterLock&) = delete;
  WithoutInterpreterLock& operator=(const WithoutInterpreterLock&) = delete;
  ~WithoutInterpreterLock() { PyEval_RestoreThread(std::exchange(t_released_state, nullptr)); }
};

// The system calls of a call: those of the system, but an interrupted read or write (a FIFO
// that never answers, say) runs the interpreter's signal handlers and gives up when one raised,
// as Python's own I/O does. The lock is taken back for the handlers and released again. No
// deadlock with the lock of standard output, which a writer may hold here: no thread waits for
// that lock while it holds the interpreter's.
#ifdef PYPY_VERSION
// PyPy's PyErr_CheckSignals does nothing: its handlers run between bytecodes, so the binding
// runs a function of no work written in Python, which runs them (and fails when one raised).
bool run_signal_handlers() {
  static PyObject* const nothing = [] {
    PyRef globals(PyDict_New());
    if (globals) PyDict_SetItemString(globals.get(), "__builtins__", PyEval_GetBuiltins());
    return globals ? PyRun_String("lambda: None", Py_eval_input, globals.get(), globals.get()) : nullptr;
  }();
  if (nothing == nullptr) return false;
  PyRef result(PyObject_CallNoArgs(nothing));
  return static_cast<bool>(result);
}
#else
bool run_signal_handlers() { return PyErr_CheckSignals() == 0; }
#endif

bool resume_unless_a_handler_raised() {
  PyThreadState* released = std::exchange(t_released_state, nullptr);
  if (released) PyEval_RestoreThread(released);
  const bool resume = run_signal_handlers();
  if (released) t_released_state = PyEval_SaveThread();
  return resume;
}

const SystemCalls& interruptible_system_calls() {
  static const SystemCalls calls = [] {
    SystemCalls with_signals = real_system_calls();
    with_signals.resume_after_signal = resume_unless_a_handler_raised;
    return with_signals;
  }();
  return calls;
}

#ifdef PYPY_VERSION
// On PyPy every str that crosses the C API is copied into a C-side form, which costs more than
// the conversion itself. So no line crosses one by one:
// - Tsumo and dahai lines, nine in ten, are copied by the encoder from a fixed set. Each of
//   those is made a str once per process, and every list shares them (a str is immutable, so
//   only `is` can tell).
// - The other lines go over as one text, which Python code reads through a memoryview and
//   splits at line feeds. Lines never hold a line feed (the encoder escapes control
//   characters), so the split gives them back exactly.
// Python code then lays out the list from one number per line: a fixed line's, or kOtherLine.
constexpr std::uint16_t kOtherLine = 0xFFFF;

// The fixed lines, and a hash table from their text to their number. Every fixed line of a kind
// and actor starts with the same 32 bytes (bytes 9 and 24 tell which), and what follows tells
// the tile: a line is looked up by its head, then by what follows.
class FixedLineTable {
 public:
  FixedLineTable() {
    slots_.fill(kOtherLine);
    for (mjai::Seat actor = 0; actor < 4; ++actor) {
      for (std::uint8_t index = 0; index < kTileCount; ++index) {
        const Tile tile{index};
        add(mjai::kFixedLines.tsumo(actor, tile));
        add(mjai::kFixedLines.dahai(actor, tile, false));
        add(mjai::kFixedLines.dahai(actor, tile, true));
      }
    }
  }

  // The line's number, or kOtherLine. A line is only ever taken for the fixed line whose text
  // it equals, byte for byte.
  std::uint16_t find(std::string_view line) const {
    const std::optional<std::size_t> head = head_of(line);
    if (!head || std::memcmp(line.data(), heads_[*head]->data(), kHead) != 0) return kOtherLine;
    const std::string_view tail = line.substr(kHead);
    for (std::size_t slot = hash(*head, tail);; slot = (slot + 1) % kSlots) {
      const std::uint16_t number = slots_[slot];
      if (number == kOtherLine) return number;
      const Entry& entry = entries_[number];
      if (entry.head == *head && tail_of(entry.pieces) == tail) return number;
    }
  }

  std::string text(std::uint16_t number) const { return text_of(entries_[number].pieces); }
  std::size_t size() const { return entries_.size(); }

 private:
  static constexpr std::size_t kHead = mjai::LinePieces::kHeadSize;
  static constexpr std::size_t kSlots = 2048;  // twice as many as lines, so that a probe ends soon

  // A line's pieces, kept by the encoder, and which of the heads it has.
  struct Entry {
    mjai::LinePieces pieces;
    std::uint8_t head = 0;
  };

  // What follows the head, without the line feed.
  static std::string_view tail_of(const mjai::LinePieces& pieces) {
    return {pieces.tail->data(), pieces.tail_size() - 1};
  }

  // Which head the line would have: tsumo or dahai (byte 9), and the actor (byte 24).
  static std::optional<std::size_t> head_of(std::string_view line) {
    if (line.size() < kHead + 4) return std::nullopt;
    const char kind = line[9];
    const auto actor = static_cast<unsigned>(line[24] - '0');
    if ((kind != 't' && kind != 'd') || actor >= 4) return std::nullopt;
    return (kind == 'd' ? 4 : 0) + actor;
  }

  // From the head, the tail's length, and its first four bytes: the tile's name.
  static std::size_t hash(std::size_t head, std::string_view tail) {
    std::uint32_t start = 0;
    std::memcpy(&start, tail.data(), sizeof start);
    std::uint64_t key = (std::uint64_t{start} << 16) ^ (tail.size() << 8) ^ head;
    key *= 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(key >> 53) % kSlots;
  }

  void add(const std::optional<mjai::LinePieces>& pieces) {
    if (!pieces) internal_fault("a seat and tile without their fixed line");
    const std::optional<std::size_t> head = head_of(text_of(*pieces));
    if (!head || entries_.size() >= kSlots / 2) internal_fault("a fixed line that the table cannot hold");
    // A line is found by its head's place: two heads in one place would give wrong lines.
    if (heads_[*head] && std::memcmp(heads_[*head]->data(), pieces->head->data(), kHead) != 0) {
      internal_fault("two heads of fixed lines in one place");
    }
    heads_[*head] = pieces->head;
    const auto number = static_cast<std::uint16_t>(entries_.size());
    entries_.push_back(Entry{*pieces, static_cast<std::uint8_t>(*head)});
    std::size_t slot = hash(*head, tail_of(*pieces));
    while (slots_[slot] != kOtherLine) slot = (slot + 1) % kSlots;
    slots_[slot] = number;
  }

  static std::string text_of(const mjai::LinePieces& pieces) {
    return std::string(pieces.head->data(), kHead).append(tail_of(pieces));
  }

  std::array<const mjai::LinePieces::Head*, 8> heads_{};
  std::vector<Entry> entries_;
  std::array<std::uint16_t, kSlots> slots_{};
};

const FixedLineTable& fixed_line_table() {
  static const FixedLineTable table;
  return table;
}

// The fixed lines as strs, in the order of their numbers.
PyRef fixed_line_strs() {
  const FixedLineTable& table = fixed_line_table();
  PyRef list(PyList_New(static_cast<Py_ssize_t>(table.size())));
  if (!list) return list;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const std::string text = table.text(static_cast<std::uint16_t>(i));
    PyObject* line = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    if (!line) return PyRef();
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), line);
  }
  return list;
}

PyObject* list_function() {
  static PyObject* cached = nullptr;
  if (cached) return cached;
  PyRef globals(PyDict_New());
  if (!globals || PyDict_SetItemString(globals.get(), "__builtins__", PyEval_GetBuiltins()) < 0) return nullptr;
  PyRef fixed = fixed_line_strs();
  if (!fixed || PyDict_SetItemString(globals.get(), "FIXED", fixed.get()) < 0) return nullptr;
  // The other lines: only the first, start_game, holds text that may not be ASCII (the names).
  // It is decoded alone, and the rest at once into an ASCII str, whose lines are sliced out at
  // each line feed in a loop the JIT compiles; slicing a str that is not all ASCII is slow on
  // PyPy (any text still splits correctly). The numbers are read into an array of 16-bit
  // integers, whose loop the JIT compiles too; a memoryview cast is slower to iterate.
  constexpr const char* kList =
      "from array import array\n"
      "def split(text):\n"
      "    first = text.find(b'\\n')\n"
      "    if first < 0:\n"
      "        return [text.decode()]\n"
      "    lines = [text[:first].decode()]\n"
      "    rest = text[first + 1:].decode()\n"
      "    start = 0\n"
      "    while True:\n"
      "        end = rest.find('\\n', start)\n"
      "        if end < 0:\n"
      "            lines.append(rest[start:])\n"
      "            return lines\n"
      "        lines.append(rest[start:end])\n"
      "        start = end + 1\n"
      "def line_list(numbers_view, others_view, fixed=FIXED):\n"
      "    numbers = array('H')\n"
      "    numbers.frombytes(numbers_view)\n"
      "    others = split(others_view.tobytes()) if others_view.nbytes else []\n"
      "    lines = [None] * len(numbers)\n"
      "    taken = 0\n"
      "    for k in range(len(numbers)):\n"
      "        number = numbers[k]\n"
      "        if number == 0xFFFF:\n"
      "            lines[k] = others[taken]\n"
      "            taken += 1\n"
      "        else:\n"
      "            lines[k] = fixed[number]\n"
      "    return lines if taken == len(others) else None\n";
  PyRef defined(PyRun_String(kList, Py_file_input, globals.get(), globals.get()));
  if (!defined) return nullptr;
  PyObject* created = PyDict_GetItemString(globals.get(), "line_list");
  if (!created) {
    PyErr_SetString(PyExc_RuntimeError, "the line list builder was not defined");
    return nullptr;
  }
  Py_INCREF(created);
  return keep_first(cached, created);
}

// A view over a buffer described here: PyPy 7.3.11 leaks about 1 KB per view made by
// PyMemoryView_FromMemory, but not per view made from a caller's buffer.
PyRef view_of(std::string_view bytes) {
  Py_buffer buffer;
  if (PyBuffer_FillInfo(&buffer, nullptr, const_cast<char*>(bytes.data()), static_cast<Py_ssize_t>(bytes.size()), 1,
                        PyBUF_CONTIG_RO) < 0) {
    return PyRef();
  }
  return PyRef(PyMemoryView_FromBuffer(&buffer));
}

// A view must not outlive the bytes it shows; an error of the call waits meanwhile.
void release_view(PyObject* view) {
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyRef released(PyObject_CallMethod(view, "release", nullptr));
  if (!released) internal_fault("the view of the lines could not be released");
  PyErr_Restore(type, value, traceback);
}

// Two buffers cross: the lines' numbers (16 bits each), and the other lines' text.
PyObject* line_list(const conv::Lines& lines) {
  if (lines.empty()) return PyList_New(0);
  PyObject* build = list_function();
  if (!build) return nullptr;
  const FixedLineTable& table = fixed_line_table();
  std::vector<std::uint16_t> numbers(lines.size());
  std::string others;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    numbers[i] = table.find(line);
    if (numbers[i] != kOtherLine) continue;
    if (!others.empty()) others.push_back('\n');
    others.append(line);
  }
  PyRef number_view = view_of({reinterpret_cast<const char*>(numbers.data()), numbers.size() * sizeof numbers[0]});
  if (!number_view) return nullptr;
  PyRef other_view = view_of(others);
  PyRef list(other_view ? PyObject_CallFunctionObjArgs(build, number_view.get(), other_view.get(), nullptr) : nullptr);
  release_view(number_view.get());
  if (other_view) release_view(other_view.get());
  if (list && list.get() == Py_None) internal_fault("an encoded line holds a line feed");
  return list.release();
}
#else
// On CPython creating each str directly is the cheapest way.
PyObject* line_list(const conv::Lines& lines) {
  PyRef list(PyList_New(static_cast<Py_ssize_t>(lines.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view text = lines[i];
    PyObject* line = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    if (!line) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), line);
  }
  return list.release();
}
#endif

#ifdef PAIFU_FAULT_INJECTION
std::string g_armed_fault;

void fire_armed_fault() {
  const std::string kind = std::exchange(g_armed_fault, std::string());
  if (kind.empty()) return;
  if (kind == "invariant") internal_fault("injected internal fault");
  if (kind == "out_of_range") (void)std::vector<int>().at(1);
  if (kind == "bad_alloc") throw std::bad_alloc();
  if (kind == "no_message") throw 42;
  if (kind == "nested") {
    fault_while_raising_next_panic();
    internal_fault("injected internal fault");
  }
}

PyObject* arm_fault(PyObject*, PyObject* kind) {
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(kind, &size);
  if (!text) return nullptr;
  g_armed_fault.assign(text, static_cast<std::size_t>(size));
  return new_ref(Py_None);
}
#endif

PyObject* convert(PyObject* const* args, Py_ssize_t positional, PyObject* keyword_names, const Converter& converter) {
  std::array<PyObject*, 2> slots{};
  if (!bind_arguments(args, positional, keyword_names, slots, converter.call_prefix)) return nullptr;
  const auto input = path_bytes(slots[kFilename], kParameterNames[kFilename]);
  if (!input) return nullptr;
  std::optional<std::string> output;
  if (slots[kMjaiOut] && slots[kMjaiOut] != Py_None) {
    output = path_bytes(slots[kMjaiOut], kParameterNames[kMjaiOut]);
    if (!output) return nullptr;
  }
#ifdef PAIFU_FAULT_INJECTION
  fire_armed_fault();
#endif
  const auto output_path = output ? std::optional<std::string_view>(*output) : std::nullopt;
  auto lines = [&] {
    const WithoutInterpreterLock released;
    return converter.format == conv::LogFormat::Mjlog
               ? conv::convert_mjlog_file(*input, output_path, interruptible_system_calls())
               : conv::convert_log_file(*input, output_path, interruptible_system_calls());
  }();
  if (!lines) {
    return raise_failure(lines.error(), {*input, output ? std::string_view(*output) : std::string_view()},
                         converter.format);
  }
  return line_list(*lines);
}

PyObject* tenhou_to_mjai(PyObject*, PyObject* const* args, Py_ssize_t positional, PyObject* keyword_names) {
  return run_in_barrier([&] { return convert(args, positional, keyword_names, kTenhouConverter); });
}

PyObject* mjlog_to_mjai(PyObject*, PyObject* const* args, Py_ssize_t positional, PyObject* keyword_names) {
  return run_in_barrier([&] { return convert(args, positional, keyword_names, kMjlogConverter); });
}

}  // namespace

PyMethodDef tenhou_to_mjai_method = {
    "tenhou_to_mjai",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&tenhou_to_mjai)),
    METH_FASTCALL | METH_KEYWORDS,
    // The first lines are the text signature (inspect.signature); help() shows the rest.
    "tenhou_to_mjai(filename, mjai_out=None)\n--\n\n"
    "Convert one Tenhou version-6 JSON log to mjai event lines.\n\n"
    "filename: the log's path, str or os.PathLike[str] (not bytes).\n"
    "mjai_out: if given, the lines are also written to this file (created or truncated),\n"
    "    each followed by a line feed, or to standard output for \"-\"; nothing is\n"
    "    written unless the whole game converted.\n"
    "Returns the events as a list of str, one compact JSON object each, from start_game\n"
    "to end_game.\n"
    "Raises OSError (FileNotFoundError, ...) when a file cannot be read or written;\n"
    "JsonParsingError, TenhouLogParsingError, TenhouToMjaiError or\n"
    "JsonSerializationError (all ValueError) for a log that cannot be converted.",
};

PyMethodDef mjlog_to_mjai_method = {
    "mjlog_to_mjai",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&mjlog_to_mjai)),
    METH_FASTCALL | METH_KEYWORDS,
    "mjlog_to_mjai(filename, mjai_out=None)\n--\n\n"
    "Convert one Tenhou mjlog (XML) game record to mjai event lines.\n\n"
    "filename: the mjlog's path, str or os.PathLike[str] (not bytes); plain XML, or gzip\n"
    "    (recognised by its first two bytes, whatever the name).\n"
    "mjai_out: as for tenhou_to_mjai: the lines are also written to this file, or to\n"
    "    standard output for \"-\"; nothing is written unless the whole game converted.\n"
    "Returns the events as a list of str, one compact JSON object each, from start_game\n"
    "to end_game.\n"
    "Raises OSError (FileNotFoundError, ...) when a file cannot be read or written;\n"
    "TenhouLogParsingError for a document that is not a four-player mjlog, and\n"
    "TenhouToMjaiError for a game that is incomplete or whose play cannot be.",
};

#ifdef PAIFU_FAULT_INJECTION
PyMethodDef arm_fault_method = {
    "_arm_fault",
    &arm_fault,
    METH_O,
    "_arm_fault(kind)\n--\n\nTest builds only: the next call of tenhou_to_mjai faults as `kind` says.",
};
#endif

}  // namespace paifu::py
