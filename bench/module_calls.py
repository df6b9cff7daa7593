"""Times _paifu.tenhou_to_mjai per log on the real logs, under whichever interpreter runs it.

Prints one JSON object: the median over repetitions of the mean time per log of
  call:  tenhou_to_mjai(path), the whole Python-visible call;
  file:  tenhou_to_mjai(path, mjai_out=FILE), the call that also writes a file (in TMPDIR), the
         same file each time, so each call replaces the last call's output;
  fresh: the same call writing a new file each time (no earlier output to replace);
  split: building the same list of str inside the interpreter from one text split at line feeds,
         the cheapest way to build the list (no C API crossing per item);
  loop:  the same list built by a plain Python loop that slices each line out of that text.
Usage: module_calls.py REPETITIONS LOG...
"""
import itertools
import json
import os
import statistics
import sys
import tempfile
import time

import _paifu


def per_log(function, items, repetitions):
    samples = []
    for _ in range(repetitions):
        start = time.perf_counter()
        for item in items:
            function(item)
        samples.append((time.perf_counter() - start) / len(items))
    return statistics.median(samples)


def line_spans(text):
    spans, start = [], 0
    for line in text.split("\n"):
        spans.append((start, start + len(line)))
        start += len(line) + 1
    return spans


def main():
    repetitions = int(sys.argv[1])
    logs = sys.argv[2:]
    texts = ["\n".join(_paifu.tenhou_to_mjai(log)) for log in logs]
    line_lists = [text.split("\n") for text in texts]
    spans = [(text, line_spans(text)) for text in texts]
    # Warm up (PyPy's JIT) before measuring.
    per_log(_paifu.tenhou_to_mjai, logs, 3)
    per_log(lambda text: text.split("\n"), texts, 3)
    per_log(lambda item: [item[0][a:b] for a, b in item[1]], spans, 3)
    scratch = tempfile.TemporaryDirectory()
    out = os.path.join(scratch.name, "out.mjson")
    per_log(lambda log: _paifu.tenhou_to_mjai(log, out), logs, 3)
    fresh_names = (os.path.join(scratch.name, f"fresh-{i}.mjson") for i in itertools.count())
    fresh = lambda log: _paifu.tenhou_to_mjai(log, next(fresh_names))
    result = {
        "interpreter": sys.implementation.name,
        "call": per_log(_paifu.tenhou_to_mjai, logs, repetitions),
        "file": per_log(lambda log: _paifu.tenhou_to_mjai(log, out), logs, repetitions),
        "fresh": per_log(fresh, logs, repetitions),
        "split": per_log(lambda text: text.split("\n"), texts, repetitions),
        "loop": per_log(lambda item: [item[0][a:b] for a, b in item[1]], spans, repetitions),
        "lines_per_log": sum(len(lines) for lines in line_lists) / len(logs),
    }
    print(json.dumps(result))


if __name__ == "__main__":
    main()
