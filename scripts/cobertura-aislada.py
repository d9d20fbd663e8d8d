#!/usr/bin/env python3
"""Line and branch coverage of src/ with every test run alone, its gcov data added up.

scripts/cobertura.sh adds up one run of all the tests in the .gcda files; when two executables
resolved an inline function differently, gcov refuses to merge their data ("Merge mismatch") and
the sum is spoiled. Here each test runs by itself (its child programs included), the .gcda files
are read with gcov after it and removed, and a line or branch counts when any test ran it (branches
only an exception takes left out). Needs a --coverage build (scripts/cobertura.sh or
scripts/mutantes.sh make one); PostgreSQL rows run when a server is described, e.g.
  bash scripts/with-postgres.sh python3 scripts/cobertura-aislada.py build-cov
"""
import os
import pathlib
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from mutantes import gcov_lines  # noqa: E402

build = os.path.abspath(sys.argv[1])
root = pathlib.Path(__file__).resolve().parent.parent
listing = subprocess.run(["ctest", "--test-dir", build, "-N", "-E", "_e2e$"],
                         capture_output=True, text=True).stdout
tests = [l.split(":", 1)[1].strip() for l in listing.splitlines()
         if l.strip().startswith("Test") and ":" in l]
lines, branches, failed = {}, {}, []
for t in tests:
    for d, _, ns in os.walk(build):
        for n in ns:
            if n.endswith(".gcda"):
                os.remove(os.path.join(d, n))
    if subprocess.run(["ctest", "--test-dir", build, "-R", "^" + t + "$"],
                      capture_output=True).returncode:
        failed.append(t)
    for rel, ln in gcov_lines(build, root):
        k = (rel, ln["line_number"])
        lines[k] = lines.get(k, False) or ln["count"] > 0
        for bi, b in enumerate(ln.get("branches", [])):
            if not b.get("throw"):
                branches[k + (bi,)] = branches.get(k + (bi,), False) or b["count"] > 0
lt, lc = len(lines), sum(lines.values())
bt, bc = len(branches), sum(branches.values())
print(f"tests {len(tests)}, failed: {', '.join(failed) or 'none'}")
print(f"lines: {100 * lc / lt:.1f}% ({lc} of {lt})  branches: {100 * bc / bt:.1f}% ({bc} of {bt})")
