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
import json
import os
import pathlib
import subprocess
import sys

build = os.path.abspath(sys.argv[1])
root = pathlib.Path(__file__).resolve().parent.parent
src = root / 'src'
tests = [l.split(':',1)[1].strip() for l in subprocess.run(['ctest','--test-dir',build,'-N','-E','_e2e$'],capture_output=True,text=True).stdout.splitlines() if l.strip().startswith('Test') and ':' in l]
lines, branches = {}, {}
failed = []
for t in tests:
    for d,_,ns in os.walk(build):
        for n in ns:
            if n.endswith('.gcda'): os.remove(os.path.join(d,n))
    r = subprocess.run(['ctest','--test-dir',build,'-R','^'+t+'$'],capture_output=True,text=True)
    if r.returncode: failed.append(t)
    by_dir = {}
    for d,_,ns in os.walk(build):
        for n in ns:
            if n.endswith('.gcda'): by_dir.setdefault(d,[]).append(n)
    for d, ns in by_dir.items():
        out = subprocess.run(['gcov','-j','-t','-b','-o',d]+sorted(ns),cwd=d,capture_output=True,text=True).stdout
        dec, i = json.JSONDecoder(), 0
        while True:
            while i < len(out) and out[i].isspace(): i += 1
            if i >= len(out): break
            doc, i = dec.raw_decode(out, i)
            cwd = doc.get('current_working_directory', d)
            for f in doc.get('files', []):
                p = pathlib.Path(cwd, f['file']).resolve()
                if src not in p.parents: continue
                rel = p.relative_to(root).as_posix()
                for ln in f.get('lines', []):
                    k = (rel, ln['line_number'])
                    lines[k] = lines.get(k, False) or ln['count'] > 0
                    for bi, b in enumerate(ln.get('branches', [])):
                        if b.get('throw'): continue
                        kb = k + (bi,)
                        branches[kb] = branches.get(kb, False) or b['count'] > 0
lt = len(lines); lc = sum(lines.values()); bt = len(branches); bc = sum(branches.values())
print(f"tests {len(tests)}, failed: {', '.join(failed) or 'none'}")
print(f"lines: {100*lc/lt:.1f}% ({lc} of {lt})  branches: {100*bc/bt:.1f}% ({bc} of {bt})")
