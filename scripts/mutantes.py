#!/usr/bin/env python3
"""Fixed, seeded set of small mutants of src/ for scripts/mutantes.sh.

Scans src/**/*.cpp for sites of four kinds of mutant:
  comparison  a comparison flipped:        <  >=   >  <=   ==  !=  (and back)
  constant    a decimal integer literal off by one:  n -> n + 1
  condition   the condition of an if/while negated:  if (c) -> if (!(c))
  statement   a call, assignment or increment statement removed (replaced by {})
Comments, string and character literals, preprocessor lines and assertions are never mutated.
The sites are sorted; each kind is shuffled with random.Random(seed) and the kinds are taken in
turn until N mutants are chosen, so the same sources, N and seed always give the same set, and
a smaller N gives the first mutants of a larger one, under the same numbers.

  mutantes.py lista  --n N --semilla S [--raiz DIR]      one mutant a line, tab-separated:
                                                          id file line column kind before after
  mutantes.py aplica --n N --semilla S [--raiz DIR] ID   writes mutant ID into its file
  mutantes.py lineas --build DIR [--raiz DIR]           lines of src/ that the last run executed
                                                          (gcov data of a --coverage build), one
                                                          "file:line" a line; "file:line 0" for a
                                                          line with code that did not run
"""

import argparse
import json
import os
import pathlib
import random
import re
import subprocess
import sys

KINDS = ("comparison", "constant", "condition", "statement")
FLIP = {"<": ">=", ">=": "<", ">": "<=", "<=": ">", "==": "!=", "!=": "=="}
SKIP_LINE = re.compile(r"\b(Q_ASSERT\w*|static_assert|Q_UNUSED|Q_OBJECT|Q_PROPERTY|Q_DECLARE\w*)\b")
KEYWORDS = {"if", "while", "for", "switch", "return", "catch", "sizeof", "throw", "delete", "new",
            "case", "do", "else", "co_return", "co_await", "static_cast", "const_cast",
            "reinterpret_cast", "dynamic_cast"}


def mask(text):
    """The text with comments and literals' contents replaced by '_' (same length, same lines)."""
    out = list(text)
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out[i:j] = "_" * (j - i)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            for k in range(i, j):
                if text[k] != "\n":
                    out[k] = "_"
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            for k in range(i + 1, j):
                out[k] = "_"
            i = j + 1 if j < n and text[j] == c else j
        else:
            i += 1
    return "".join(out)


def matching_paren(s, open_at):
    depth = 0
    for k in range(open_at, len(s)):
        if s[k] == "(":
            depth += 1
        elif s[k] == ")":
            depth -= 1
            if depth == 0:
                return k
    return -1


def balanced(s):
    return all(s.count(a) == s.count(b) for a, b in ("()", "[]", "{}"))


CHAIN = r"(?:this->)?[A-Za-z_]\w*(?:(?:::|\.|->)[A-Za-z_]\w*|\[[^\]]*\])*"
CALL = re.compile(r"^(\s*)((?:emit\s+|Q_EMIT\s+)?(" + CHAIN + r")\s*\(.*\)\s*;)\s*$")
ASSIGN = re.compile(r"^(\s*)(" + CHAIN + r"\s*(?:=|\+=|-=|\*=|/=|\|=|&=|\^=|<<=|>>=)(?!=).*;)\s*$")
INCR = re.compile(r"^(\s*)((?:\+\+|--)" + CHAIN + r"\s*;|" + CHAIN + r"(?:\+\+|--)\s*;)\s*$")
HEADER = re.compile(r"^\s*(?:\}\s*)?(?:else\s+)?(?:if|for|while)\b")


def may_follow(prev):
    """Whether a statement may start after this (masked, stripped) line."""
    if not prev:
        return True
    if prev[-1] in ";{}:":
        return True
    if prev.endswith("else"):
        return True
    return prev.endswith(")") and bool(HEADER.match(prev))


def sites_in(path, rel):
    text = path.read_text(encoding="utf-8")
    lines = text.split("\n")
    masked = mask(text).split("\n")
    found = []
    prev = ""
    for ln, (raw, m) in enumerate(zip(lines, masked), start=1):
        stripped = m.strip()
        if not stripped or stripped.startswith("#") or SKIP_LINE.search(m):
            if stripped and not stripped.startswith("#"):
                prev = stripped
            continue
        for mt in re.finditer(r"(?<= )(<=|>=|==|!=|<|>)(?= )", m):
            found.append((rel, ln, mt.start() + 1, "comparison", mt.group(1), FLIP[mt.group(1)]))
        for mt in re.finditer(r"(?<![\w.])(\d+)(?![\w.])", m):
            lit = mt.group(1)
            if len(lit) > 1 and lit.startswith("0"):
                continue  # octal
            found.append((rel, ln, mt.start() + 1, "constant", lit, str(int(lit) + 1)))
        for mt in re.finditer(r"\b(if|while)\s*\(", m):
            if re.match(r"if\s+constexpr", m[mt.start():]):
                continue
            o = mt.end() - 1
            c = matching_paren(m, o)
            if c > o + 1:
                cond = raw[o:c + 1]
                found.append((rel, ln, o + 1, "condition", cond, "(!" + cond + ")"))
        if balanced(m) and may_follow(prev):
            st = None
            cm = CALL.match(m)
            if cm and cm.group(3).split("::")[0].split(".")[0].split("->")[0] not in KEYWORDS \
                    and not cm.group(3).isupper():
                st = cm
            else:
                st = ASSIGN.match(m) or INCR.match(m)
            if st:
                col = len(st.group(1))
                stmt = raw[col:col + len(st.group(2))]
                found.append((rel, ln, col + 1, "statement", stmt, "{}"))
        prev = stripped
    return found


def all_sites(root):
    sites = []
    for path in sorted((root / "src").rglob("*.cpp")):
        sites.extend(sites_in(path, path.relative_to(root).as_posix()))
    return sorted(sites)


def choose(sites, n, seed):
    rng = random.Random(seed)
    pools = []
    for kind in KINDS:
        pool = [s for s in sites if s[3] == kind]
        rng.shuffle(pool)
        pools.append(pool)
    chosen = []
    while len(chosen) < n and any(pools):
        for pool in pools:
            if pool and len(chosen) < n:
                chosen.append(pool.pop())
    # Numbered in the order of choice, so that a smaller N gives the first mutants of a larger one
    # under the same numbers; listed in source order.
    return sorted((s[:3] + ("M%03d" % (i + 1),) + s[3:] for i, s in enumerate(chosen)))


def show(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t")


def gcov_lines(build, root):
    """(file, gcov's record of one line) for every line of src/ in the .gcda files under build,
    read through gcov's JSON output (branches included)."""
    by_dir = {}
    for dirpath, _, names in os.walk(os.path.abspath(build)):
        for nm in names:
            if nm.endswith(".gcda"):
                by_dir.setdefault(dirpath, []).append(nm)
    src = (root / "src").resolve()
    for d, names in sorted(by_dir.items()):
        out = subprocess.run(["gcov", "-j", "-t", "-b", "-o", d] + sorted(names), cwd=d,
                             capture_output=True, text=True).stdout
        dec, i = json.JSONDecoder(), 0
        while True:
            while i < len(out) and out[i].isspace():
                i += 1
            if i >= len(out):
                break
            doc, i = dec.raw_decode(out, i)
            cwd = doc.get("current_working_directory", d)
            for f in doc.get("files", []):
                path = pathlib.Path(cwd, f["file"]).resolve()
                if src not in path.parents:
                    continue
                rel = path.relative_to(root.resolve()).as_posix()
                for ln in f.get("lines", []):
                    yield rel, ln


def executed_lines(build, root):
    """(file:line, ran) of src/ from the .gcda files under build."""
    ran = {}
    for rel, ln in gcov_lines(build, root):
        key = "%s:%d" % (rel, ln["line_number"])
        ran[key] = ran.get(key, False) or ln["count"] > 0
    return ran


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("orden", choices=("lista", "aplica", "lineas"))
    ap.add_argument("--build")
    ap.add_argument("id", nargs="?")
    ap.add_argument("--n", type=int, default=150)
    ap.add_argument("--semilla", type=int, default=19)
    ap.add_argument("--raiz", default=str(pathlib.Path(__file__).resolve().parent.parent))
    a = ap.parse_intermixed_args()
    root = pathlib.Path(a.raiz)
    if a.orden == "lineas":
        for key, ran in sorted(executed_lines(a.build, root).items()):
            print(key if ran else key + " 0")
        return 0
    sites = all_sites(root)
    mutants = choose(sites, a.n, a.semilla)
    if a.orden == "lista":
        for rel, ln, col, mid, kind, before, after in mutants:
            print("\t".join((mid, rel, str(ln), str(col), kind, show(before), show(after))))
        print("# %d sites in src/, %d chosen (seed %d)" % (len(sites), len(mutants), a.semilla),
              file=sys.stderr)
        return 0
    match = [m for m in mutants if m[3] == a.id]
    if not match:
        print("no mutant %s" % a.id, file=sys.stderr)
        return 2
    rel, ln, col, _, kind, before, after = match[0]
    path = root / rel
    lines = path.read_text(encoding="utf-8").split("\n")
    line = lines[ln - 1]
    if line[col - 1:col - 1 + len(before)] != before:
        print("%s: %s:%d no longer holds %r" % (a.id, rel, ln, before), file=sys.stderr)
        return 1
    lines[ln - 1] = line[:col - 1] + after + line[col - 1 + len(before):]
    path.write_text("\n".join(lines), encoding="utf-8")
    print(rel)
    return 0


if __name__ == "__main__":
    sys.exit(main())
