#!/usr/bin/env python3
"""Checks the links of the project's documents below ROOT: README.md, docs/ and tools/.

Every relative link and image names a file that exists, every #fragment names a heading of the
document it points into (as the markdown renderer turns headings into anchors), and every
document can be reached from README.md. Run on the source tree and on an installed documentation
directory, which holds the same documents at the same relative places.

Usage: doclinks.py ROOT
"""
import os
import re
import sys

FENCE = re.compile(r"^\s*(```|~~~)")
CODE_SPAN = re.compile(r"(`+)(?:.|\n)*?\1")
LINK = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]*)>?(?:\s+\"[^\"]*\")?\s*\)")
HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*#*\s*$")
SCHEME = re.compile(r"^[a-zA-Z][a-zA-Z0-9+.-]*:")


def documents(root):
    found = ["README.md"] if os.path.isfile(os.path.join(root, "README.md")) else []
    for folder in ("docs", "tools"):
        for here, _, files in os.walk(os.path.join(root, folder)):
            found += [os.path.relpath(os.path.join(here, f), root) for f in files if f.endswith(".md")]
    return sorted(found)


def prose_lines(text):
    """(line number, line) outside fenced code blocks."""
    fenced = False
    for number, line in enumerate(text.split("\n"), 1):
        if FENCE.match(line):
            fenced = not fenced
        elif not fenced:
            yield number, line


def anchor(heading):
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", heading).replace("`", "").lower()
    return re.sub(r"[^\w\- ]", "", text).replace(" ", "-")


def anchors(text):
    seen = {}
    for _, line in prose_lines(text):
        match = HEADING.match(line)
        if match:
            base = anchor(match.group(2))
            count = seen.get(base, 0)
            seen[base] = count + 1
            yield base if count == 0 else "%s-%d" % (base, count)


def links(text):
    for number, line in prose_lines(text):
        for match in LINK.finditer(CODE_SPAN.sub("", line)):
            yield number, match.group(1)


def check(root):
    docs = documents(root)
    texts = {doc: open(os.path.join(root, doc), encoding="utf-8").read() for doc in docs}
    headings = {doc: set(anchors(text)) for doc, text in texts.items()}
    problems = []
    edges = {doc: set() for doc in docs}
    for doc, text in texts.items():
        for number, target in links(text):
            if not target or SCHEME.match(target):
                continue
            path, _, fragment = target.partition("#")
            named = os.path.normpath(os.path.join(os.path.dirname(doc), path)) if path else doc
            where = "%s:%d: %s" % (doc, number, target)
            if not os.path.exists(os.path.join(root, named)):
                problems.append("%s: no such file" % where)
                continue
            if named in edges:
                edges[doc].add(named)
                if fragment and fragment not in headings[named]:
                    problems.append("%s: no heading with that anchor in %s" % (where, named))
    reached, pending = set(), ["README.md"] if "README.md" in docs else []
    while pending:
        doc = pending.pop()
        if doc not in reached:
            reached.add(doc)
            pending += edges[doc]
    problems += ["%s: not reached from README.md" % doc for doc in docs if doc not in reached]
    if "README.md" not in docs:
        problems.append("no README.md in %s" % root)
    return problems


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    problems = check(argv[1])
    for problem in problems:
        print("doclinks: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
