#!/usr/bin/env python3
"""Checks that every text a user sees can be translated, and is.

    check-translations.py complete <ts dir> <lupdate command...>
        Copies the .ts files of <ts dir> into a temporary folder, refreshes the copies with the
        lupdate command (cmake/MtLupdate.cmake; TS_DIR and KEEP_VANISHED are added here), and
        fails when a copy holds a text without a finished translation (new in the sources or
        left unfinished) or one that vanished from the sources. The committed files are never
        touched.

    check-translations.py concat <source dir> <known list> <folder>...
        Scans the C++ sources of the folders for translated texts glued to other texts with + or
        %, which a translator cannot put in the order of their language (use "%1" and arg()).
        A translated text joined to a line break or to a file dialog's pattern such as
        " (*.png)" is fine. <known list> names the cases that are known and waiting for a fix,
        one a line: path<TAB>source text<TAB>why; a case that is gone must leave the list too.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET


def unfinished_entries(path):
    problems = []
    for context in ET.parse(path).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            source = message.findtext("source")
            translation = message.find("translation")
            kind = translation.get("type") if translation is not None else "missing"
            forms = [f.text for f in translation.iter("numerusform")] if translation is not None else []
            text = translation.text if translation is not None else None
            empty = not (text and text.strip()) and not any(f and f.strip() for f in forms)
            if kind in ("unfinished", "vanished", "obsolete", "missing"):
                problems.append(f"{os.path.basename(path)}: {name}: {source!r}: {kind}")
            elif empty:
                problems.append(f"{os.path.basename(path)}: {name}: {source!r}: empty")
    return problems


def complete(ts_dir, command):
    ts_files = sorted(f for f in os.listdir(ts_dir) if f.endswith(".ts"))
    if not ts_files:
        print(f"no .ts files in {ts_dir}")
        return 1
    with tempfile.TemporaryDirectory() as tmp:
        for name in ts_files:
            shutil.copy(os.path.join(ts_dir, name), tmp)
        script = command[-1]
        run = subprocess.run(command[:-1] + [f"-DTS_DIR={tmp}", "-DKEEP_VANISHED=ON", "-P", script],
                             capture_output=True, text=True)
        if run.returncode != 0:
            print(run.stdout + run.stderr)
            print("lupdate failed")
            return 1
        problems = []
        for name in ts_files:
            problems += unfinished_entries(os.path.join(tmp, name))
    for line in problems:
        print(line)
    if problems:
        print(f"{len(problems)} texts without a finished Korean translation or gone from the "
              "sources: run the lupdate target, fill them (scripts/ts-fill.py) and commit")
        return 1
    print(f"translations complete: {', '.join(ts_files)}")
    return 0


STRING = r'"(?:[^"\\\n]|\\.)*"'
TR_CALL = re.compile(r'(?<![\w.>])(?:\w+::)?(?:tr|translate)\s*\(')
# A neighbour that keeps the translated text whole: a line break, or a file dialog's pattern
# (" (*.png)", or " (" and the patterns after it, or the ";;" that ends the filter before).
HARMLESS = re.compile(r"""^(?:QLatin1Char\('\\n'\)|'\\n'|"\\n"|"\\r\\n"|kLineEnd|"""
                      r"""QStringLiteral\("\\n"\)|QLatin1String\("\\n"\)|"""
                      r"""(?:QStringLiteral|QLatin1String)?\(?\s*" \((?:\*[^"]*)?"\)?|"""
                      r"""(?:QStringLiteral|QLatin1String)?\(?\s*"[^"]*;;"\)?$)""")


def strip_comments(text):
    """Blanks out comments, keeping string literals, offsets and line numbers."""
    out = []
    i = 0
    pattern = re.compile(r'//[^\n]*|/\*.*?\*/|' + STRING + r"|'(?:[^'\\\n]|\\.)*'", re.S)
    for m in pattern.finditer(text):
        out.append(text[i:m.start()])
        token = m.group(0)
        out.append(token if token[0] in "\"'" else re.sub(r"[^\n]", " ", token))
        i = m.end()
    out.append(text[i:])
    return "".join(out)


def call_end(text, open_paren):
    """The index after the parenthesis that closes the one at open_paren."""
    depth = 0
    i = open_paren
    literal = re.compile(STRING + r"|'(?:[^'\\\n]|\\.)*'")
    while i < len(text):
        m = literal.match(text, i)
        if m:
            i = m.end()
            continue
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i + 1
        i += 1
    return len(text)


def operand_after(text, i):
    m = re.match(r"\s*(?:\+(?![+=])|%(?!=))\s*", text[i:])
    if not m:
        return None
    rest = text[i + m.end():]
    literal = re.match(r"(?:(?:QStringLiteral|QLatin1String|QLatin1Char)\s*\(\s*)?(?:" + STRING +
                       r"|'(?:[^'\\\n]|\\.)*')\s*\)?", rest)
    return literal.group(0) if literal else rest[:60]


def operand_before(text, i):
    m = re.search(r"(?<![+])(?:\+|%)\s*$", text[max(0, i - 200):i])
    if not m:
        return None
    head = text[max(0, i - 200):i][:m.start()].rstrip()
    # The operand before the operator: a literal (maybe wrapped), or else whatever follows the
    # previous operator or the opening of the expression.
    literal = re.search(r"(?:(?:QStringLiteral|QLatin1String|QLatin1Char)\s*\(\s*)?(?:" + STRING +
                        r"|'(?:[^'\\\n]|\\.)*')\s*\)?$", head)
    if literal:
        return literal.group(0)
    return re.split(r"\s(?:\+|%|=|return)\s|[(,;{]", head)[-1].strip()


def glued_texts(path):
    with open(path, encoding="utf-8") as f:
        text = strip_comments(f.read())
    found = []
    for m in TR_CALL.finditer(text):
        end = call_end(text, m.end() - 1)
        # translate() names its context first; the source text follows.
        skip = r"\s*" + STRING + r"\s*," if "translate" in m.group(0) else ""
        source = re.match(skip + r"\s*(" + STRING + ")", text[m.end():])
        source = source.group(1)[1:-1] if source else text[m.end():end - 1].strip()
        # Arguments filled in by arg() belong to the translated text.
        while True:
            arg = re.match(r"\s*\.\s*arg\s*\(", text[end:])
            if not arg:
                break
            end = call_end(text, end + arg.end() - 1)
        after = operand_after(text, end)
        before = operand_before(text, m.start())
        for neighbour in (after, before):
            if neighbour is not None and not HARMLESS.match(neighbour.strip()):
                line = text.count("\n", 0, m.start()) + 1
                found.append((line, source))
                break
    return found


def concat(source_dir, known_path, folders):
    known = {}
    with open(known_path, encoding="utf-8") as f:
        for raw in f:
            if raw.strip() and not raw.startswith("#"):
                path, source, _why = raw.rstrip("\n").split("\t")
                known[(path, source)] = False
    problems = []
    for folder in folders:
        base = os.path.join(source_dir, folder)
        if not os.path.isdir(base):
            problems.append(f"{folder}: no such folder")
            continue
        for root, _dirs, files in os.walk(base):
            for name in sorted(files):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(root, name)
                rel = os.path.relpath(path, source_dir)
                for line, source in glued_texts(path):
                    if (rel, source) in known:
                        known[(rel, source)] = True
                        continue
                    problems.append(f"{rel}:{line}: tr(\"{source}\") is glued to another text; "
                                    "put the whole phrase in one tr() with %1 and arg()")
    for (path, source), seen in sorted(known.items()):
        if not seen:
            problems.append(f"{os.path.relpath(known_path, source_dir)}: {path} no longer glues "
                            f"\"{source}\": take it off the list")
    for line in problems:
        print(line)
    if problems:
        return 1
    print(f"no glued translated texts in {', '.join(folders)} "
          f"({len(known)} known cases listed in {os.path.basename(known_path)})")
    return 0


def main(argv):
    if len(argv) >= 4 and argv[1] == "complete":
        return complete(argv[2], argv[3:])
    if len(argv) >= 5 and argv[1] == "concat":
        return concat(argv[2], argv[3], argv[4:])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
