#!/usr/bin/env python3
"""Checks the links of the project's Markdown: every relative link and image
of README.md, docs/*.md and editors/vscode/README.md (or of the files named)
must lead to a file or folder of the checkout, and every #anchor to a heading
of the page it names, as GitHub makes anchors of headings. Links to web
addresses are not followed. Prints each broken link and exits 1 when there is
one.   scripts/check-doc-links.py [FILE.md...]"""
import glob
import os
import re
import sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def prose(text):
    """The text without its code blocks and code spans, where [..](..) is no link."""
    text = re.sub(r"^(```|~~~).*?^\1[^\n]*$", "", text, flags=re.S | re.M)
    return re.sub(r"(`+)(?!`).*?(?<!`)\1(?!`)", "", text, flags=re.S)


def anchors(path):
    found, seen = set(), {}
    text = re.sub(r"^(```|~~~).*?^\1[^\n]*$", "", open(path, encoding="utf-8").read(),
                  flags=re.S | re.M)
    for heading in re.findall(r"^#{1,6}[ \t]+(.+?)[ \t#]*$", text, flags=re.M):
        heading = re.sub(r"[`*_]|!?\[([^\]]*)\]\([^)]*\)", r"\1", heading)
        slug = re.sub(r"[^\w\- ]", "", heading.lower()).replace(" ", "-")
        n = seen.get(slug, 0)
        seen[slug] = n + 1
        found.add(slug if n == 0 else f"{slug}-{n}")
    return found


def check(path):
    broken = []
    text = prose(open(path, encoding="utf-8").read())
    for target in re.findall(r"!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)",
                             text):
        if re.match(r"[a-z][a-z0-9+.-]*:", target, flags=re.I):
            continue  # https:, mailto: ...
        file, _, anchor = target.partition("#")
        dest = os.path.normpath(os.path.join(os.path.dirname(path), file)) if file else path
        if not os.path.exists(dest):
            broken.append(f"{os.path.relpath(path, root)}: {target}: no such file")
        elif anchor and dest.endswith(".md") and anchor not in anchors(dest):
            broken.append(f"{os.path.relpath(path, root)}: {target}: no heading #{anchor}")
    return broken


files = sys.argv[1:] or [os.path.join(root, "README.md"), *sorted(glob.glob(os.path.join(root, "docs", "*.md"))),
                         os.path.join(root, "editors", "vscode", "README.md")]
broken = [line for f in files for line in check(os.path.abspath(f))]
print("\n".join(broken) if broken else f"check-doc-links: every link of {len(files)} files leads somewhere")
sys.exit(1 if broken else 0)
