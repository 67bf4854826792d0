#!/usr/bin/env python3
"""The scanner of scripts/check-translations.py against small sources: what a translator cannot
order is found, what keeps a translated text whole is left alone."""
import importlib.util
import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "check-translations.py")
loader_spec = importlib.util.spec_from_file_location("check_translations", SCRIPT)
check = importlib.util.module_from_spec(loader_spec)
loader_spec.loader.exec_module(check)

# name, source line, the source texts found glued
CASES = [
    ("text after", 'QString a = tr("Saved : ") + when;', ["Saved : "]),
    ("text before", 'QString a = name + tr(" invited");', [" invited"]),
    ("string builder", 'QString a = tr("file") % QLatin1Char(\' \') % name;', ["file"]),
    ("qualified", 'x = n + QObject::tr("month");', ["month"]),
    ("translate context skipped",
     'x = n + QCoreApplication::translate("DBChat", " leaved");', [" leaved"]),
    ("after arg", 'x = tr("%1 left").arg(n) + tail;', ["%1 left"]),
    ("placeholder", 'x = tr("%1 invited %2").arg(a, b);', []),
    ("line break after", "x = tr(\"Sure?\") + QLatin1Char('\\n') + more;", []),
    ("file pattern", 'f = tr("Image File") + QStringLiteral(" (*.png *.jpg)");', []),
    ("open pattern", 'f = tr("Image File") + QStringLiteral(" (") + list;', []),
    ("previous pattern", 'f = QStringLiteral(" (*);;") + tr("Document File") + '
                         'QStringLiteral(" (*.txt)");', []),
    ("appended whole", 'text += tr("Chat history");', []),
    ("in a comment", '// tr("x") + y', []),
    ("in a string", 'x = QStringLiteral("tr(\\"a\\") + b");', []),
    ("increment is not a join", 'tr("a"); ++i;', []),
]


class GluedTexts(unittest.TestCase):
    def test_cases(self):
        for name, line, expected in CASES:
            with self.subTest(name):
                with tempfile.NamedTemporaryFile("w", suffix=".cpp", delete=False) as f:
                    f.write("void f()\n{\n    " + line + "\n}\n")
                try:
                    found = [source for _line, source in check.glued_texts(f.name)]
                finally:
                    os.unlink(f.name)
                self.assertEqual(found, expected)


if __name__ == "__main__":
    sys.exit(unittest.main())
