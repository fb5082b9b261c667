#!/usr/bin/env python3
"""README.md and README.ja.md say the same things: every code block
(commands, rules, examples) of their sections about using the tool appears
in both, in the same order, and each links the other in its first lines.
Their development sections are left out: the Japanese one points to the
English. A comment at the end of a command line ("  # ...") is prose, and
may be in either language.

  check_readmes.py SOURCE_DIR
"""

import re
import sys

USER_PART_ENDS = {"README.md": "## Development", "README.ja.md": "## 開発"}


def code_blocks(text, end):
    """The fenced blocks before the heading end, as lists of lines, without
    their indentation and their lines' closing comments."""
    part = text.split("\n" + end + "\n")[0]
    blocks = []
    for indent, body in re.findall(r"^( *)```\n(.*?)^\1```$", part, re.M | re.S):
        lines = [line[len(indent):] for line in body.splitlines()]
        blocks.append([re.sub(r"\s{2,}# .*$", "", line) for line in lines])
    return blocks


def main():
    source = sys.argv[1]
    texts = {name: open(f"{source}/{name}", encoding="utf-8").read() for name in USER_PART_ENDS}
    failures = []
    blocks = {name: code_blocks(text, USER_PART_ENDS[name]) for name, text in texts.items()}
    english, japanese = blocks["README.md"], blocks["README.ja.md"]
    if not english:
        failures.append("README.md has no code block before its development section")
    for index in range(max(len(english), len(japanese))):
        one = english[index] if index < len(english) else None
        other = japanese[index] if index < len(japanese) else None
        if one != other:
            failures.append(f"code block {index + 1}:\n  README.md:    {one}\n"
                            f"  README.ja.md: {other}")
            break  # the rest is out of step too
    for name, other in (("README.md", "README.ja.md"), ("README.ja.md", "README.md")):
        head = "\n".join(texts[name].splitlines()[:5])
        if f"]({other})" not in head:
            failures.append(f"{name} does not link {other} in its first lines")
    for failure in failures:
        print("FAILED:", failure)
    print(f"{len(english)} code blocks in README.md, {len(japanese)} in README.ja.md")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
