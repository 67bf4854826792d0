#!/usr/bin/env python3
"""Fills translations into a Qt .ts file from tab-separated lines on standard input.

    context<TAB>source<TAB>translation

A context of "*" matches every context. Matching messages get the translation and lose the
"unfinished" mark. Run after `cmake --build <dir> --target lupdate` has added the new source
texts; prints the texts that still have no translation.
"""
import sys
import xml.etree.ElementTree as ET


def unescape(text):
    return text.replace("\\n", "\n").replace("\\t", "\t")


def main(path):
    wanted = {}
    for raw in sys.stdin.read().splitlines():
        if not raw.strip() or raw.startswith("#"):
            continue
        context, source, translation = raw.split("\t")
        wanted[(context, unescape(source))] = unescape(translation)

    tree = ET.parse(path)
    missing = []
    for context in tree.getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            source = message.findtext("source")
            node = message.find("translation")
            text = wanted.get((name, source), wanted.get(("*", source)))
            if text is not None:
                node.text = text
                node.attrib.pop("type", None)
            elif node.get("type") == "unfinished" or not (node.text or "").strip():
                missing.append(f"{name}\t{source}")

    with open(path, "wb") as out:
        out.write(b'<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>\n')
        ET.indent(tree, space="    ")
        tree.write(out, encoding="utf-8", xml_declaration=False)
        out.write(b"\n")
    for line in missing:
        print("untranslated:", line)


if __name__ == "__main__":
    main(sys.argv[1])
