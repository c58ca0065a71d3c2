#!/usr/bin/env python3
"""Fails, naming each one, when a function of the program is longer than 80 lines.

Counts from the first line of a function's head to its closing brace. Lambdas and
local classes count as lines of the function they are in; namespaces and classes are
not functions. The one allowed exception is the RTF reader's word(), a state machine
over the format's keywords that reads best whole.

    scripts/check-function-length.py [--list] [folder or file ...]

Without arguments it checks the program's folders. --list prints every function
with its length instead of checking.
"""
import os
import re
import sys

LIMIT = 80
FOLDERS = ["app", "browser", "windows", "shared", "system", "engine", "formats"]
ALLOWED = {("rtfreader.cpp", "word")}
SOURCE_ENDINGS = (".cpp", ".h")


def blank(text):
    """Returns text with comments, string and character literals and preprocessor
    lines turned to spaces, every newline kept, so line numbers stay."""
    out = list(text)
    i, n = 0, len(text)

    def wipe(start, end):
        for k in range(start, min(end, n)):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            wipe(i, end)
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            wipe(i, end)
            i = end
        elif c == '"' and re.search(r"(?:\b|^)(?:u8|u|U|L)?R$", text[max(0, i - 3):i]):
            match = re.match(r'"([^()\\\s]{0,16})\(', text[i:])
            if not match:
                i += 1
                continue
            close = ")" + match.group(1) + '"'
            end = text.find(close, i + match.end())
            end = n if end < 0 else end + len(close)
            wipe(i + 1, end - 1)
            i = end
        elif c in "\"'":
            if c == "'" and i > 0 and text[i - 1].isalnum() and re.search(r"\b\d[\w']*$", text[:i]):
                i += 1  # a digit separator
                continue
            k = i + 1
            while k < n and text[k] != c and text[k] != "\n":
                k += 2 if text[k] == "\\" else 1
            wipe(i + 1, k)
            i = k + 1
        else:
            i += 1
    text = "".join(out)
    # Preprocessor lines, with their continuations.
    lines = text.split("\n")
    continued = False
    for k, line in enumerate(lines):
        if continued or line.lstrip().startswith("#"):
            continued = line.rstrip().endswith("\\")
            lines[k] = " " * len(line)
    return "\n".join(lines)


# Access labels, and macros written without a semicolon after them (Q_OBJECT,
# Q_PROPERTY(...), Q_LOGGING_CATEGORY(...)), which would run into the next head.
HEAD_NOISE = re.compile(
    r"\s*(?:(?:public|protected|private)(?:\s+(?:Q_SLOTS|slots))?\s*:(?!:)|(?:Q_SIGNALS|signals|Q_SLOTS|slots)\s*:(?!:)"
    r"|Q_OBJECT\b|Q_GADGET\b|[A-Z][A-Z0-9_]*\s*\([^()]*(?:\([^()]*\)[^()]*)*\))"
)


def strip_head(head):
    """The head without leading access labels and Qt macros; and the offset cut."""
    cut = 0
    while True:
        match = HEAD_NOISE.match(head, cut)
        if not match or match.end() == cut:
            break
        cut = match.end()
    return head[cut:], cut


def top_level(head):
    """head with everything inside parentheses, brackets and angle brackets of
    templates removed (roughly: parentheses and brackets only)."""
    depth, out = 0, []
    for c in head:
        if c in "([":
            depth += 1
        elif c in ")]":
            depth = max(0, depth - 1)
        elif depth == 0:
            out.append(c)
    return "".join(out)


def in_constructor_list(head):
    """Whether head is a constructor's head up to inside its member initializers."""
    close = head.find(")")
    if close < 0:
        return False
    after = top_level(head[head.find("("):])
    return re.search(r"(?<!:):(?!:)", after) is not None


def kind_of(head):
    """'scope' (namespace, class, extern block), 'function', or 'other' (data, enum)."""
    words = head[: head.find("(")] if "(" in head else head
    if re.search(r"\bnamespace\b", words) or re.match(r"\s*extern\s*\"", head):
        return "scope"
    if re.search(r"\benum\b", words):
        return "other"
    if re.search(r"\b(class|struct|union)\b", words) and "=" not in top_level(words):
        return "scope"
    if "(" not in head:
        return "other"
    plain = re.sub(r"\boperator\s*(?:\(\s*\)|[^\s(]+)", "operator", head)
    if "=" in top_level(plain).replace("==", "").replace("!=", "").replace("<=", "").replace(">=", ""):
        return "other"
    return "function"


def function_name(head):
    plain = re.sub(r"\boperator\s*(\(\s*\)|[^\s(]+)", lambda m: "operator" + m.group(1).replace(" ", ""), head)
    match = re.search(r"([~\w:]*(?:operator\S*?|[~\w]+))\s*(?:<[^()]*>)?\s*\(", plain)
    return match.group(1) if match else plain.strip().split("\n")[0][:60]


def functions(path):
    """(name, first line, last line) of each function defined in the file."""
    with open(path, encoding="utf-8", errors="replace") as f:
        text = blank(f.read())
    found = []
    stack = []  # 'scope', 'function', 'other' for each open brace
    head_start = 0
    i, n = 0, len(text)
    func_start = None
    func_name = None
    while i < n:
        c = text[i]
        inside = any(k != "scope" for k in stack)
        if c == "{":
            if inside:
                stack.append("inner")
                i += 1
                continue
            head, cut = strip_head(text[head_start:i])
            before = head.rstrip()[-1:] if head.strip() else ""
            open_parens = head.count("(") - head.count(")")
            if open_parens > 0 or (in_constructor_list(head) and (before.isalnum() or before in "_>")):
                # A brace initializer of a member or of a default argument: skipped,
                # the head goes on.
                depth, k = 0, i
                while k < n:
                    if text[k] == "{":
                        depth += 1
                    elif text[k] == "}":
                        depth -= 1
                        if depth == 0:
                            break
                    k += 1
                i = k + 1
                continue
            kind = kind_of(head)
            stack.append(kind)
            if kind == "function":
                lead = len(head) - len(head.lstrip())
                func_start = text.count("\n", 0, head_start + cut + lead) + 1
                func_name = function_name(head)
            head_start = i + 1
        elif c == "}":
            kind = stack.pop() if stack else "scope"
            if kind == "function":
                found.append((func_name, func_start, text.count("\n", 0, i) + 1))
            if not any(k != "scope" for k in stack):
                head_start = i + 1
        elif c == ";" and not inside:
            head_start = i + 1
        i += 1
    return found


def sources(targets):
    for target in targets:
        if os.path.isfile(target):
            yield target
            continue
        for root, dirs, files in os.walk(target):
            dirs.sort()
            for name in sorted(files):
                if name.endswith(SOURCE_ENDINGS):
                    yield os.path.join(root, name)


def main(argv):
    listing = "--list" in argv
    targets = [a for a in argv if a != "--list"]
    if not targets:
        os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
        targets = [f for f in FOLDERS if os.path.isdir(f)]
    too_long = []
    for path in sources(targets):
        for name, first, last in functions(path):
            length = last - first + 1
            if listing:
                print(f"{length:5d} {path}:{first} {name}")
            elif length > LIMIT and (os.path.basename(path), name.split("::")[-1]) not in ALLOWED:
                too_long.append(f"{path}:{first}: {name} is {length} lines (at most {LIMIT})")
    for line in too_long:
        print(line)
    if too_long:
        print(f"{len(too_long)} function(s) over {LIMIT} lines", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
