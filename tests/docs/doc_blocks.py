"""The fenced blocks of the docs' Markdown pages, for the tests that run or
compare them.

A block's info string is its language and a word that says who runs it:
`sh run` (snippets_test.py, against a quarlix-server on the sample), `sh
samba` and `sh kerberos` (samba_snippets_test.py, against the tests' Samba
domain controller).
A block may sit inside a list item: its fence's indentation is taken off
every line. A run block followed by a ```text output block must print that
text: a line `…` stands for any lines, `…` inside a line for any text in it.
A block right after a line `<!-- quoted: PATH -->` quotes that file of the
source tree, which quoted_files_test.py holds it to."""
import glob
import os
import re

FENCE = re.compile(r"^( *)```(\S*)(?: +(\S+))?\s*$")
QUOTED = re.compile(r"^\s*<!-- quoted: (\S+) -->\s*$")


class Block:
    def __init__(self, page, line, language, role, text):
        self.page, self.line, self.language, self.role, self.text = page, line, language, role, text
        self.output = None  # the text of the ```text output block that follows, if any
        self.quotes = None  # the file a `<!-- quoted: PATH -->` line before it names

    def where(self):
        return "%s:%d (%s %s)" % (self.page, self.line, self.language, self.role or "")


def blocks(path, relative_to):
    """Every fenced block of a page, in order."""
    page = os.path.relpath(path, relative_to)
    found, current, indent, body, quoted = [], None, "", [], None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            opened = FENCE.match(line.rstrip("\n"))
            if current is None:
                if opened:
                    indent = opened.group(1)
                    current, body = Block(page, number, opened.group(2), opened.group(3), ""), []
                    current.quotes, quoted = quoted, None
                elif line.strip():
                    quoted = QUOTED.match(line).group(1) if QUOTED.match(line) else None
            elif opened and opened.group(1) == indent and not opened.group(2):
                current.text = "".join(body)
                if current.language == "text" and current.role == "output" and found and not _between(found[-1]):
                    found[-1].output = current.text
                else:
                    found.append(current)
                current = None
            else:
                body.append(line[len(indent):] if line.startswith(indent) else line.lstrip(" "))
            if current is None and not opened and line.strip():
                if found:
                    found[-1].closed = True  # prose after it: a later output block is not its own
    return found


def _between(block):
    return getattr(block, "closed", False)


def pages(source):
    return [os.path.join(source, "README.md")] + sorted(glob.glob(os.path.join(source, "docs", "*.md")))


def all_blocks(source, role):
    return [b for page in pages(source) for b in blocks(page, source) if b.role == role]


def matches(expected, actual):
    """Whether `actual` is `expected`, with `…` as in this module's doc;
    line ends CRLF or LF alike, trailing blanks of lines ignored."""
    def lines(text):
        return [line.rstrip() for line in text.replace("\r\n", "\n").rstrip("\n").split("\n")]
    pattern = []
    for line in lines(expected):
        if line == "…":
            pattern.append(r"(?:[^\n]*\n)*?")
        else:
            pattern.append(r"[^\n]*?".join(re.escape(part) for part in line.split("…")) + r"\n")
    return re.fullmatch("".join(pattern), "\n".join(lines(actual)) + "\n") is not None
