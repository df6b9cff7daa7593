# Type information of the _paifu extension module (installed beside it, and as _paifu-stubs).
# Checked against the module by tests/python/module_test.py and by mypy --strict in .ci/run.
import os

__all__ = [
    "TenhouLogParsingError",
    "TenhouToMjaiError",
    "JsonSerializationError",
    "JsonParsingError",
    "tenhou_to_mjai",
    "__version__",
    "VERSION",
    "mjlog_to_mjai",
]

__version__: str
VERSION: str

class TenhouLogParsingError(ValueError):
    """A log the converter does not take (a three-player game): "invalid log"; also an mjlog
    that is not a well-formed record: "failed to parse mjlog"."""

class TenhouToMjaiError(ValueError):
    """A kyoku that cannot be replayed: "failed to convert tenhou.net/6 log to mjai" (or
    "failed to convert mjlog to mjai": an incomplete game, or play that cannot be)."""

class JsonSerializationError(ValueError):
    """An event that cannot be encoded: "failed to serialize"."""

class JsonParsingError(ValueError):
    """Text that is not a well-formed log: "failed to parse tenhou.net/6 log"."""

class PanicException(BaseException):
    """An internal fault of the converter (a bug, not a bad log); not in __all__."""

def tenhou_to_mjai(filename: str | os.PathLike[str], mjai_out: str | os.PathLike[str] | None = None) -> list[str]:
    """Convert one Tenhou version-6 JSON log to mjai event lines.

    The lines are also written to mjai_out when given (a file, or standard output for "-").
    """

def mjlog_to_mjai(filename: str | os.PathLike[str], mjai_out: str | os.PathLike[str] | None = None) -> list[str]:
    """Convert one Tenhou mjlog (XML, plain or gzip) to mjai event lines.

    The same contract as tenhou_to_mjai: the lines are also written to mjai_out when given.
    """
