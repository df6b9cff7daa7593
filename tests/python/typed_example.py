"""A typed use of _paifu, checked by `mypy --strict` against the installed _paifu.pyi (.ci/run).

Each call marked `type: ignore[...]` must be refused by the stub: under --strict an ignore that
is not needed is itself an error, so the file also checks that the stub is not too loose. The
file also runs: `python typed_example.py LOG` prints the number of events of LOG.
"""
from __future__ import annotations

import os
import pathlib
import sys
from typing import TYPE_CHECKING

import _paifu


def count_events(log: str | os.PathLike[str], out: str | os.PathLike[str] | None = None) -> int:
    try:
        lines: list[str] = _paifu.tenhou_to_mjai(log, mjai_out=out)
    except (_paifu.JsonParsingError, _paifu.TenhouLogParsingError, _paifu.TenhouToMjaiError,
            _paifu.JsonSerializationError) as error:
        bad_log: ValueError = error
        raise SystemExit("%s: %s" % (type(bad_log).__name__, bad_log))
    except _paifu.PanicException as fault:
        internal: BaseException = fault
        raise SystemExit("internal fault: %s" % internal)
    return len(lines)


def other_forms(log: pathlib.Path) -> list[str]:
    names: list[str] = list(_paifu.__all__)
    version: str = _paifu.__version__ + _paifu.VERSION
    return _paifu.tenhou_to_mjai(str(log), None) + _paifu.mjlog_to_mjai(log) + names + [version]


if TYPE_CHECKING:
    from typing_extensions import assert_type

    assert_type(_paifu.tenhou_to_mjai("game.json"), list[str])
    assert_type(_paifu.mjlog_to_mjai(pathlib.Path("game.mjlog"), "-"), list[str])
    _paifu.tenhou_to_mjai(b"game.json")  # type: ignore[arg-type]
    _paifu.tenhou_to_mjai("game.json", mjai_out=b"out")  # type: ignore[arg-type]
    _paifu.tenhou_to_mjai(None)  # type: ignore[arg-type]
    _paifu.mjlog_to_mjai(3)  # type: ignore[arg-type]
    _paifu.tenhou_to_mjai()  # type: ignore[call-arg]
    _paifu.tenhou_to_mjai("game.json", output="x")  # type: ignore[call-arg]
    _paifu.tenhou_to_mjai("game.json").decode()  # type: ignore[attr-defined]
    _paifu.no_such_function()  # type: ignore[attr-defined]
    exception: Exception = _paifu.PanicException()  # type: ignore[assignment]

if __name__ == "__main__":
    print(count_events(sys.argv[1]))
