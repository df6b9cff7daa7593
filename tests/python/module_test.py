"""Tests of the _paifu module as Python sees it, run under both PyPy and CPython.

The directory holding the built module comes first on sys.path (CTest sets PYTHONPATH), or the
module is the one installed into the environment (.ci/run sets PAIFU_INSTALLED=1 for that); the
command-line converter named by PAIFU_EXE gives the reference lines for real logs.
"""
import ast
import gc
import glob
import gzip
import inspect
import json
import os
import pathlib
import platform
import signal
import subprocess
import sys
import sysconfig
import tempfile
import threading
import unittest

import _paifu

HERE = pathlib.Path(__file__).resolve().parent
REPO = HERE.parent.parent
SAMPLE = str(REPO / "samples" / "real_001.json")
ON_PYPY = platform.python_implementation() == "PyPy"
VERSION = (REPO / "VERSION").read_text().strip()
STUB = REPO / "src" / "lib" / "_paifu.pyi"

EMPTY_GAME = '{"log":[],"name":["a","b","c","d"],"rule":{"disp":"般南喰赤","aka":1}}'
EMPTY_GAME_LINES = [
    '{"type":"start_game","names":["a","b","c","d"],"kyoku_first":0,"aka_flag":true}',
    '{"type":"end_game"}',
]
# The dealer "draws" a tsumogiri marker: the replay refuses it.
UNCONVERTIBLE_GAME = (
    '{"log":[[[0,0,0],[25000,25000,25000,25000],[11],[],'
    '[11,12,13,14,15,16,17,18,19,21,22,23,24],[60],[],'
    '[11,12,13,14,15,16,17,18,19,21,22,23,24],[],[],'
    '[31,32,33,34,35,36,37,38,39,21,22,23,24],[],[],'
    '[31,32,33,34,35,36,37,38,39,21,22,23,24],[],[],'
    '["流局",[0,0,0,0]]]],"name":["a","b","c","d"],"rule":{"disp":"般南"}}'
)


def real_logs():
    logs = sorted(glob.glob(str(REPO / "samples" / "real_*.json")))
    logs += sorted(glob.glob(str(REPO.parent / "shared" / "corpus" / "real" / "*.json")))
    return logs


class PathLike:
    def __init__(self, result):
        self.result = result

    def __fspath__(self):
        if isinstance(self.result, BaseException):
            raise self.result
        return self.result


class TempDirTest(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.dir = pathlib.Path(self._dir.name)

    def tearDown(self):
        self._dir.cleanup()

    def write(self, name, content):
        path = self.dir / name
        path.write_bytes(content if isinstance(content, bytes) else content.encode("utf-8"))
        return str(path)


class CapturedFd:
    """Captures what is written to a file descriptor (1 or 2) below Python's own streams."""

    def __init__(self, fd):
        self.fd = fd
        self.text = ""

    def __enter__(self):
        sys.stdout.flush()
        sys.stderr.flush()
        self._file = tempfile.TemporaryFile()
        self._saved = os.dup(self.fd)
        os.dup2(self._file.fileno(), self.fd)
        return self

    def __exit__(self, *exc):
        sys.stdout.flush()
        sys.stderr.flush()
        os.dup2(self._saved, self.fd)
        os.close(self._saved)
        self._file.seek(0)
        self.text = self._file.read().decode("utf-8")
        self._file.close()


class ModuleTest(unittest.TestCase):
    def test_all_lists_the_names_in_order(self):
        self.assertEqual(
            _paifu.__all__,
            ["TenhouLogParsingError", "TenhouToMjaiError", "JsonSerializationError", "JsonParsingError",
             "tenhou_to_mjai", "__version__", "VERSION", "mjlog_to_mjai"])
        for name in _paifu.__all__:
            self.assertTrue(hasattr(_paifu, name), name)

    def test_versions(self):
        self.assertRegex(VERSION, r"^[0-9]+\.[0-9]+\.[0-9]+$")
        self.assertEqual(_paifu.__version__, VERSION)
        self.assertEqual(_paifu.VERSION, VERSION)

    def test_the_command_has_the_same_version(self):
        converter = os.environ.get("PAIFU_EXE")
        if not converter:
            self.skipTest("PAIFU_EXE is not set")
        printed = subprocess.run([converter, "--version"], check=True, stdout=subprocess.PIPE).stdout
        self.assertEqual(printed, ("paifu %s\n" % VERSION).encode())

    def test_panic_exception_is_a_module_attribute_outside_all(self):
        self.assertEqual(_paifu.PanicException.__bases__, (BaseException,))
        self.assertEqual(_paifu.PanicException.__module__, "_paifu")
        self.assertNotIn("PanicException", _paifu.__all__)

    def test_exception_classes(self):
        for name in _paifu.__all__[:4]:
            cls = getattr(_paifu, name)
            with self.subTest(name):
                self.assertEqual(cls.__bases__, (ValueError,))
                self.assertEqual(cls.__module__, "_paifu")
                self.assertEqual(cls.__name__, name)
                self.assertIsNone(cls.__doc__)
                self.assertEqual(str(cls("message")), "message")

    def test_function_signature_and_docstring(self):
        function = _paifu.tenhou_to_mjai
        self.assertEqual(function.__name__, "tenhou_to_mjai")
        self.assertEqual(function.__module__, "_paifu")
        self.assertEqual(str(inspect.signature(function)), "(filename, mjai_out=None)")
        self.assertEqual(function.__text_signature__, "(filename, mjai_out=None)")
        self.assertTrue(function.__doc__.startswith("Convert one Tenhou version-6 JSON log to mjai event lines.\n\n"),
                        function.__doc__)
        for words in ("os.PathLike[str]", "not bytes", "list of str", '"-"', "FileNotFoundError",
                      "JsonParsingError", "TenhouLogParsingError", "TenhouToMjaiError", "JsonSerializationError"):
            self.assertIn(words, function.__doc__)

    def test_function_is_bound_to_the_module(self):
        if ON_PYPY:
            self.skipTest("PyPy's built-in functions have no __self__")
        self.assertIs(_paifu.tenhou_to_mjai.__self__, _paifu)

    def test_module_docstring_is_empty(self):
        if ON_PYPY:
            self.skipTest("PyPy does not set an empty module docstring")
        self.assertEqual(_paifu.__doc__, "")

    def test_reimport_shares_the_module_objects(self):
        first = sys.modules.pop("_paifu")
        try:
            import _paifu as second
            if not ON_PYPY:
                self.assertIs(second, first)
            self.assertIs(second.tenhou_to_mjai, first.tenhou_to_mjai)
            self.assertIs(second.__all__, first.__all__)
            for name in first.__all__[:4]:
                self.assertIs(getattr(second, name), getattr(first, name))
        finally:
            sys.modules["_paifu"] = first


def stub_tree(path):
    return ast.parse(path.read_text(encoding="utf-8"), str(path))


class StubTest(unittest.TestCase):
    """_paifu.pyi says what the module has."""

    def setUp(self):
        self.tree = stub_tree(STUB)
        self.names = {}
        for node in self.tree.body:
            if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
                self.names[node.name] = node
            elif isinstance(node, ast.Assign):
                self.names[node.targets[0].id] = node
            elif isinstance(node, ast.AnnAssign):
                self.names[node.target.id] = node

    def test_all_is_the_module_s(self):
        stub_all = ast.literal_eval(self.names["__all__"].value)
        self.assertEqual(stub_all, _paifu.__all__)

    def test_every_public_attribute_is_declared(self):
        public = {name for name in dir(_paifu) if not name.startswith("_")} | set(_paifu.__all__)
        self.assertEqual(public - set(self.names), set())
        self.assertEqual(set(self.names) - public - {"__all__"}, set())

    def test_classes_have_their_bases(self):
        for name, node in self.names.items():
            if isinstance(node, ast.ClassDef) and hasattr(_paifu, name):
                with self.subTest(name):
                    self.assertEqual([base.id for base in node.bases],
                                     [base.__name__ for base in getattr(_paifu, name).__bases__])

    def test_functions_have_their_parameters(self):
        path = "str | os.PathLike[str]"
        for name in ("tenhou_to_mjai", "mjlog_to_mjai"):
            node = self.names[name]
            with self.subTest(name):
                self.assertEqual([(arg.arg, ast.unparse(arg.annotation)) for arg in node.args.args],
                                 [("filename", path), ("mjai_out", path + " | None")])
                self.assertEqual([ast.unparse(default) for default in node.args.defaults], ["None"])
                self.assertEqual(ast.unparse(node.returns), "list[str]")
                if hasattr(_paifu, name):
                    self.assertEqual(str(inspect.signature(getattr(_paifu, name))), "(filename, mjai_out=None)")


@unittest.skipUnless(os.environ.get("PAIFU_INSTALLED"), "the module is not the installed one")
class InstalledTest(unittest.TestCase):
    """pip install . put the module, its type information and the command into this environment."""

    def test_the_module_is_in_the_environment_not_the_source_tree(self):
        where = pathlib.Path(_paifu.__file__).resolve()
        self.assertEqual(where.parent, pathlib.Path(sysconfig.get_paths()["platlib"]).resolve())
        self.assertNotIn(REPO, where.parents)
        self.assertEqual(where.name, "_paifu" + sysconfig.get_config_var("EXT_SUFFIX"))

    def test_the_type_information_is_installed(self):
        where = pathlib.Path(_paifu.__file__).parent
        for stub in (where / "_paifu.pyi", where / "_paifu-stubs" / "__init__.pyi"):
            with self.subTest(str(stub)):
                self.assertEqual(stub.read_text(encoding="utf-8"), STUB.read_text(encoding="utf-8"))

    def test_the_distribution_has_the_version(self):
        import importlib.metadata
        self.assertEqual(importlib.metadata.version("paifu"), VERSION)

    def test_the_command_is_in_the_environment_s_bin(self):
        command = pathlib.Path(sysconfig.get_paths()["scripts"]) / "paifu"
        self.assertTrue(os.access(str(command), os.X_OK), command)
        self.assertEqual(os.path.realpath(os.environ.get("PAIFU_EXE", "")), os.path.realpath(str(command)))


class ArgumentTest(TempDirTest):
    def test_path_forms_give_the_same_lines(self):
        expected = _paifu.tenhou_to_mjai(SAMPLE)
        self.assertGreater(len(expected), 100)
        calls = [
            lambda: _paifu.tenhou_to_mjai(SAMPLE, None),
            lambda: _paifu.tenhou_to_mjai(filename=SAMPLE),
            lambda: _paifu.tenhou_to_mjai(filename=SAMPLE, mjai_out=None),
            lambda: _paifu.tenhou_to_mjai(mjai_out=None, filename=SAMPLE),
            lambda: _paifu.tenhou_to_mjai(pathlib.Path(SAMPLE)),
            lambda: _paifu.tenhou_to_mjai(PathLike(SAMPLE)),
        ]
        for index, call in enumerate(calls):
            with self.subTest(index):
                self.assertEqual(call(), expected)

    def test_argument_errors(self):
        f = _paifu.tenhou_to_mjai
        missing = str(self.dir / "missing.json")
        cases = [
            ((), {}, "tenhou_to_mjai() missing 1 required positional argument: 'filename'"),
            ((SAMPLE, None, None), {},
             "tenhou_to_mjai() takes from 1 to 2 positional arguments but 3 were given"),
            ((1, 2, 3, 4), {}, "tenhou_to_mjai() takes from 1 to 2 positional arguments but 4 were given"),
            ((SAMPLE,), {"filename": SAMPLE}, "tenhou_to_mjai() got multiple values for argument 'filename'"),
            ((SAMPLE, None), {"mjai_out": None}, "tenhou_to_mjai() got multiple values for argument 'mjai_out'"),
            ((), {"out": 1}, "tenhou_to_mjai() got an unexpected keyword argument 'out'"),
            ((SAMPLE,), {"\ud800": 1}, "tenhou_to_mjai() got an unexpected keyword argument '\ud800'"),
            ((SAMPLE,), {"Filename": 1}, "tenhou_to_mjai() got an unexpected keyword argument 'Filename'"),
            ((b"/no/such/file",), {},
             "argument 'filename': 'bytes' object cannot be converted to 'PyString'"),
            ((PathLike(b"/no/such/file"),), {},
             "argument 'filename': 'bytes' object cannot be converted to 'PyString'"),
            ((missing, b"out"), {},
             "argument 'mjai_out': 'bytes' object cannot be converted to 'PyString'"),
            ((bytearray(b"x"),), {}, None),
            ((1,), {}, None),
            ((None,), {}, None),
            ((missing, 3.5), {}, None),
        ]
        for args, kwargs, message in cases:
            with self.subTest(args=args, kwargs=kwargs):
                with self.assertRaises(TypeError) as caught:
                    f(*args, **kwargs)
                self.assertIs(type(caught.exception), TypeError)
                if message is None:
                    parameter = "mjai_out" if len(args) == 2 else "filename"
                    self.assertTrue(str(caught.exception).startswith("argument '%s': " % parameter),
                                    str(caught.exception))
                else:
                    self.assertEqual(str(caught.exception), message)
                    self.assertEqual(caught.exception.args, (message,))

    def test_type_errors_of_the_path_protocol_keep_their_cause(self):
        cause = KeyError("inner cause")
        inner = TypeError("no path here")
        inner.__cause__ = cause
        with self.assertRaises(TypeError) as caught:
            _paifu.tenhou_to_mjai(PathLike(inner))
        self.assertEqual(str(caught.exception), "argument 'filename': no path here")
        self.assertIs(caught.exception.__cause__, cause)
        self.assertIsNot(caught.exception, inner)

    def test_other_errors_of_the_path_protocol_pass_unchanged(self):
        class TypeErrorSubclass(TypeError):
            pass

        for error in (ValueError("bad path"), TypeErrorSubclass("subclass"), KeyboardInterrupt()):
            with self.subTest(error=type(error).__name__):
                with self.assertRaises(type(error)) as caught:
                    _paifu.tenhou_to_mjai(SAMPLE, PathLike(error))
                self.assertIs(caught.exception, error)

    def test_output_path_is_checked_before_the_input_is_opened(self):
        with self.assertRaises(TypeError):
            _paifu.tenhou_to_mjai(str(self.dir / "missing.json"), PathLike(b"out"))


class FailureTest(TempDirTest):
    def assert_fails(self, exception, message, *args):
        with self.assertRaises(BaseException) as caught:
            _paifu.tenhou_to_mjai(*args)
        self.assertIs(type(caught.exception), exception, caught.exception)
        self.assertEqual(caught.exception.args, (message,))

    def test_failures_raise_their_class_and_message(self):
        empty = EMPTY_GAME
        cases = [
            (empty[:30].encode() + b"\xff" + empty[30:].encode(), OSError, "stream did not contain valid UTF-8"),
            ("", _paifu.JsonParsingError, "failed to parse tenhou.net/6 log"),
            ("[1,2", _paifu.JsonParsingError, "failed to parse tenhou.net/6 log"),
            ('{"log":[],"name":["a","b","c","d"],"rule":{"disp":"三般東喰赤"}}',
             _paifu.TenhouLogParsingError, "invalid log"),
            (UNCONVERTIBLE_GAME, _paifu.TenhouToMjaiError, "failed to convert tenhou.net/6 log to mjai"),
        ]
        for content, exception, message in cases:
            with self.subTest(message=message, content=content[:40]):
                path = self.write("in.json", content)
                self.assert_fails(exception, message, path)
                out = self.dir / "out.jsonl"
                self.assert_fails(exception, message, path, str(out))
                self.assertFalse(out.exists())

    def test_file_failures(self):
        missing = str(self.dir / "missing.json")
        self.assert_fails(FileNotFoundError, 'failed to open tenhou.net/6 log file "%s"' % missing, missing)
        self.assert_fails(OSError, os.strerror(21) + " (os error 21)", str(self.dir))
        quoted = self.dir / 'odd "name"\t.json'
        self.assert_fails(FileNotFoundError,
                          'failed to open tenhou.net/6 log file "%s"' % str(quoted).replace('"', '\\"').replace(
                              "\t", "\\t"), str(quoted))

    def test_paths_reach_the_file_system_as_encoded_bytes(self):
        directory = str(self.dir)
        cases = [
            ("a\x00b.json", "a\\0b.json"),
            ("\udcff.json", "\\xFF.json"),
            ("e\u0301.json", "e\\u{301}.json"),
        ]
        for name, shown in cases:
            with self.subTest(name=ascii(name)):
                self.assert_fails(FileNotFoundError,
                                  'failed to open tenhou.net/6 log file "%s/%s"' % (directory, shown),
                                  directory + "/" + name)
        input_path = self.write("in.json", EMPTY_GAME)
        self.assert_fails(OSError, "failed to create mjai out file %s/missing/\ufffd" % directory,
                          input_path, directory + "/missing/\udcff")

    def test_endless_or_huge_input_is_refused_at_the_cap(self):
        huge = self.dir / "huge.json"
        with open(huge, "wb") as f:
            f.truncate((64 << 20) + 1)  # sparse
        for path in ["/dev/zero", str(huge)]:
            with self.subTest(path):
                self.assert_fails(OSError, "log file larger than 64 MiB", path)

    def test_a_failed_write_keeps_the_previous_output(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("no /dev/full")
        path = self.write("in.json", EMPTY_GAME)
        self.assert_fails(OSError, "failed to write to mjai out file", path, "/dev/full")

    def test_unwritable_output(self):
        path = self.write("in.json", EMPTY_GAME)
        out = str(self.dir / "no-such-dir" / "out.jsonl")
        self.assert_fails(OSError, "failed to create mjai out file " + out, path, out)

    def test_broken_pipe_on_standard_output_is_a_write_failure(self):
        path = self.write("in.json", EMPTY_GAME)
        read_end, write_end = os.pipe()
        os.close(read_end)
        saved = os.dup(1)
        previous = signal.signal(signal.SIGPIPE, signal.SIG_IGN)
        try:
            os.dup2(write_end, 1)
            with self.assertRaises(OSError) as caught:
                _paifu.tenhou_to_mjai(path, "-")
        finally:
            os.dup2(saved, 1)
            os.close(saved)
            os.close(write_end)
            signal.signal(signal.SIGPIPE, previous)
        self.assertEqual(caught.exception.args, ("failed to write to mjai out file",))


    def test_a_signal_ends_a_call_blocked_on_a_fifo(self):
        # In a child with a time limit, so that a regression fails instead of hanging the suite.
        fifo = str(self.dir / "fifo")
        os.mkfifo(fifo)
        program = (
            "import signal, _paifu\n"
            "def stop(*_): raise KeyboardInterrupt('alarm')\n"
            "signal.signal(signal.SIGALRM, stop)\n"
            "for args in [(%r,), (%r, %r)]:\n"
            "    signal.setitimer(signal.ITIMER_REAL, 0.2)\n"
            "    try: _paifu.tenhou_to_mjai(*args)\n"
            "    except KeyboardInterrupt as e: print(e)\n"
        ) % (fifo, self.write("in.json", EMPTY_GAME), fifo)
        result = subprocess.run([sys.executable, "-c", program], stdout=subprocess.PIPE, timeout=60)
        self.assertEqual(result.stdout.split(), [b"alarm", b"alarm"])


class OutputTest(TempDirTest):
    def test_output_file_holds_the_returned_lines(self):
        expected = _paifu.tenhou_to_mjai(SAMPLE)
        out = self.dir / "out.jsonl"
        out.write_text("stale content that is longer than nothing\n" * 1000)
        self.assertEqual(_paifu.tenhou_to_mjai(SAMPLE, str(out)), expected)
        self.assertEqual(out.read_text(encoding="utf-8"), "".join(line + "\n" for line in expected))
        self.assertEqual(_paifu.tenhou_to_mjai(SAMPLE, PathLike(str(self.dir / "second.jsonl"))), expected)
        self.assertEqual((self.dir / "second.jsonl").read_text(encoding="utf-8"), out.read_text(encoding="utf-8"))

    def test_dash_writes_to_file_descriptor_1(self):
        path = self.write("in.json", EMPTY_GAME)
        with CapturedFd(1) as captured:
            lines = _paifu.tenhou_to_mjai(path, "-")
        self.assertEqual(lines, EMPTY_GAME_LINES)
        self.assertEqual(captured.text, "".join(line + "\n" for line in EMPTY_GAME_LINES))

    def test_lines_are_str_and_compact_json(self):
        lines = _paifu.tenhou_to_mjai(SAMPLE)
        self.assertIs(type(lines), list)
        for line in lines:
            self.assertIs(type(line), str)
            self.assertEqual(json.dumps(json.loads(line), ensure_ascii=False, separators=(",", ":")), line)
        self.assertEqual(json.loads(lines[0])["type"], "start_game")
        self.assertEqual(lines[-1], '{"type":"end_game"}')

    def test_names_with_unusual_characters_stay_one_line_each(self):
        names = ["a\u2028b", "c\x85d", "e\nf", "\U0001F004"]
        document = json.loads(EMPTY_GAME)
        document["name"] = names
        path = self.write("in.json", json.dumps(document))
        lines = _paifu.tenhou_to_mjai(path)
        self.assertEqual(len(lines), 2)
        self.assertEqual(json.loads(lines[0])["names"], names)

    def test_real_logs_match_the_command_line_converter(self):
        converter = os.environ.get("PAIFU_EXE")
        if not converter:
            self.skipTest("PAIFU_EXE is not set")
        for log in real_logs():
            with self.subTest(log=os.path.basename(log)):
                printed = subprocess.run([converter, log], check=True, stdout=subprocess.PIPE).stdout
                self.assertEqual(printed.decode("utf-8").splitlines(), _paifu.tenhou_to_mjai(log))


def resident_kilobytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


class MjlogTest(TempDirTest):
    PAIRS = sorted((HERE.parent / "data" / "mjlog" / "pairs").glob("*.xml"))

    def test_each_pair_gives_the_lines_of_its_json(self):
        self.assertEqual(len(self.PAIRS), 6)
        for xml in self.PAIRS:
            with self.subTest(xml.name):
                self.assertEqual(_paifu.mjlog_to_mjai(xml), _paifu.tenhou_to_mjai(str(xml.with_suffix(".json"))))

    def test_gzip_is_recognised_by_its_first_bytes(self):
        xml = self.PAIRS[0].read_bytes()
        expected = _paifu.mjlog_to_mjai(str(self.PAIRS[0]))
        for name in ["game.mjlog", "game.xml", "game.xml.gz"]:
            with self.subTest(name):
                out = self.dir / "out.mjson"
                self.assertEqual(_paifu.mjlog_to_mjai(self.write(name, gzip.compress(xml)), out), expected)
                self.assertEqual(out.read_text(), "".join(line + "\n" for line in expected))

    def test_failures_raise_their_class_and_message(self):
        xml = self.PAIRS[0].read_text()
        cases = [
            (xml[:len(xml) // 2], _paifu.TenhouLogParsingError, "failed to parse mjlog"),
            (xml.replace('type="169"', 'type="185"'), _paifu.TenhouLogParsingError, "invalid log"),
            (xml.replace(" owari=", " over="), _paifu.TenhouToMjaiError, "failed to convert mjlog to mjai"),
            (gzip.compress(xml.encode())[:-9], OSError, "failed to decompress gzip log (corrupt or truncated data)"),
        ]
        for content, exception, message in cases:
            with self.subTest(message=message):
                path = self.write("in.mjlog", content)
                out = self.dir / "out.mjson"
                with self.assertRaises(exception) as caught:
                    _paifu.mjlog_to_mjai(path, str(out))
                self.assertIs(type(caught.exception), exception)
                self.assertEqual(caught.exception.args, (message,))
                self.assertFalse(out.exists())
        missing = str(self.dir / "missing.mjlog")
        with self.assertRaises(FileNotFoundError) as caught:
            _paifu.mjlog_to_mjai(missing)
        self.assertEqual(caught.exception.args, (f'failed to open mjlog file "{missing}"',))
        with self.assertRaises(TypeError) as caught:
            _paifu.mjlog_to_mjai()
        self.assertIn("mjlog_to_mjai() missing 1 required positional argument", str(caught.exception))


class MemoryTest(TempDirTest):
    @unittest.skipIf(os.environ.get("PAIFU_SANITIZED"), "the sanitizer's quarantine keeps freed memory")
    def test_repeated_calls_do_not_grow_the_process(self):
        game = self.write("in.json", EMPTY_GAME)
        out = str(self.dir / "out.jsonl")
        missing = str(self.dir / "missing.json")

        def calls(count):
            for _ in range(count):
                _paifu.tenhou_to_mjai(game, out)
                try:
                    _paifu.tenhou_to_mjai(missing)
                except FileNotFoundError:
                    pass
            gc.collect()

        # PyPy's JIT and heap take tens of thousands of calls to settle, more on some machines:
        # a leak grows the process in every round, a settling heap stops in one of them. A leak of
        # a hundred bytes per call would show as 2 MB a round.
        calls(10000)
        growths = []
        for _ in range(6):
            before = resident_kilobytes()
            calls(10000)
            growths.append(resident_kilobytes() - before)
            if growths[-1] < 1000:
                break
        self.assertLess(min(growths), 1000, growths)


class ThreadTest(unittest.TestCase):
    def test_eight_threads_convert_at_once(self):
        logs = real_logs()[:8]
        expected = {log: _paifu.tenhou_to_mjai(log) for log in logs}
        failures = []

        def work(offset):
            try:
                for round_ in range(6):
                    log = logs[(offset + round_) % len(logs)]
                    if _paifu.tenhou_to_mjai(log) != expected[log]:
                        failures.append(log)
                try:
                    _paifu.tenhou_to_mjai("/no/such/log.json")
                except FileNotFoundError:
                    pass
            except BaseException as error:  # reported below, on the main thread
                failures.append(repr(error))

        threads = [threading.Thread(target=work, args=(i,)) for i in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.assertEqual(failures, [])

    def test_calls_from_threads_keep_their_lines_together_on_standard_output(self):
        # Each call writes all its lines at once, so the output is whole games one after another.
        script = (
            "import sys, threading, _paifu\n"
            "logs = sys.argv[1:]\n"
            "def work(log):\n"
            "    for _ in range(5):\n"
            "        _paifu.tenhou_to_mjai(log, '-')\n"
            "threads = [threading.Thread(target=work, args=(log,)) for log in logs]\n"
            "[thread.start() for thread in threads]\n"
            "[thread.join() for thread in threads]\n"
        )
        logs = real_logs()[:4]
        games = {"".join(line + "\n" for line in _paifu.tenhou_to_mjai(log)) for log in logs}
        result = subprocess.run([sys.executable, "-c", script, *logs], capture_output=True, text=True,
                                env=dict(os.environ), check=True)
        chunks = result.stdout.split('{"type":"start_game"')[1:]
        self.assertEqual(len(chunks), 5 * len(logs))
        for chunk in chunks:
            self.assertIn('{"type":"start_game"' + chunk, games)


@unittest.skipUnless(hasattr(_paifu, "_arm_fault"), "the module was built without fault injection")
class BarrierTest(unittest.TestCase):
    def convert_with_fault(self, kind):
        _paifu._arm_fault(kind)
        with CapturedFd(2) as stderr:
            try:
                _paifu.tenhou_to_mjai(SAMPLE)
            except Exception as error:
                self.fail("an ordinary handler caught %r" % error)
            except BaseException as error:
                return error, stderr
        self.fail("no exception was raised")

    def test_internal_faults_raise_panic_exception(self):
        expected = _paifu.tenhou_to_mjai(SAMPLE)
        cases = [
            ("invariant", "injected internal fault", "binding.cpp:"),
            ("out_of_range", None, "paifu: internal fault: "),
            ("no_message", "internal fault with no message", "paifu: internal fault: "),
        ]
        for kind, message, diagnostic in cases:
            with self.subTest(kind):
                error, stderr = self.convert_with_fault(kind)
                self.assertIs(type(error), _paifu.PanicException)
                self.assertEqual(type(error).__bases__, (BaseException,))
                self.assertEqual(len(error.args), 1)
                if message:
                    self.assertEqual(error.args[0], message)
                self.assertIn(diagnostic, stderr.text)
                self.assertIn(error.args[0], stderr.text)
                # The interpreter and the module go on working.
                self.assertEqual(_paifu.tenhou_to_mjai(SAMPLE), expected)

    def test_panic_exception_class_is_created_once(self):
        first, _ = self.convert_with_fault("invariant")
        second, _ = self.convert_with_fault("invariant")
        self.assertIs(type(first), type(second))
        self.assertIs(type(first), _paifu.PanicException)
        self.assertNotIn("PanicException", _paifu.__all__)

    def test_allocation_failure_raises_memory_error(self):
        _paifu._arm_fault("bad_alloc")
        with self.assertRaises(MemoryError):
            _paifu.tenhou_to_mjai(SAMPLE)
        self.assertGreater(len(_paifu.tenhou_to_mjai(SAMPLE)), 100)

    def test_a_fault_while_raising_a_fault_aborts(self):
        program = "import _paifu; _paifu._arm_fault('nested'); _paifu.tenhou_to_mjai(%r)" % SAMPLE
        result = subprocess.run([sys.executable, "-c", program], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(result.returncode, -signal.SIGABRT)
        self.assertIn(b"uncaught panic at ffi boundary\n", result.stderr)


if __name__ == "__main__":
    unittest.main()
