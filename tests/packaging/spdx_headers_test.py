#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""scripts/spdx-headers.py: the header each kind of file gets, and a run over a git checkout."""
import runpy
import subprocess
import sys
import tempfile
import types
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "spdx-headers.py"
# The script's functions, loaded without running its main (its file name is no module name).
spdx = types.SimpleNamespace(**runpy.run_path(str(SCRIPT)))

TAGS = ("SPDX-" + "FileCopyrightText: 2026 Velmaro developers", "SPDX-" + "License-Identifier: ")
GPL = "GPL-3.0-or-later"


def header(start, end, license_id=GPL):
    return f"{start}{TAGS[0]}{end}\n{start}{TAGS[1]}{license_id}{end}\n"


class HeaderByKind(unittest.TestCase):
    def test_each_kind_gets_its_comment_syntax_below_what_must_stay_first(self):
        cases = [
            ("a/b.cpp", "int x;\n", header("// ", "") + "int x;\n"),
            ("a/b.h", "#pragma once\n", header("// ", "") + "#pragma once\n"),
            ("run.sh", "#!/bin/sh\necho\n", "#!/bin/sh\n" + header("# ", "") + "echo\n"),
            (".ci/run", "#!/bin/bash\n", "#!/bin/bash\n" + header("# ", "")),
            ("CMakeLists.txt", "project(x)\n", header("# ", "") + "project(x)\n"),
            ("x.py", "#!/usr/bin/env python3\n", "#!/usr/bin/env python3\n" + header("# ", "")),
            ("m/p.htm", "<!DOCTYPE html>\n<html>\n",
             "<!DOCTYPE html>\n" + header("<!-- ", " -->") + "<html>\n"),
            ("d/s.xsd", '<?xml version="1.0"?>\n<a/>\n',
             '<?xml version="1.0"?>\n' + header("<!-- ", " -->") + "<a/>\n"),
            ("resources/desktop/x.metainfo.xml", '<?xml version="1.0"?>',
             '<?xml version="1.0"?>\n' + header("<!-- ", " -->", "CC0-1.0")),
            ("README.md", "# Title\n", header("<!-- ", " -->") + "# Title\n"),
            ("m/p.css", "a {}\n", header("/* ", " */") + "a {}\n"),
            ("m/p.js", "f();\n", header("/* ", " */") + "f();\n"),
        ]
        for path, text, expected in cases:
            with self.subTest(path=path):
                self.assertEqual(spdx.with_header(path, text), expected)
                self.assertEqual(spdx.with_header(path, expected), expected, "a second run")

    def test_unknown_kinds_are_reported_not_guessed(self):
        for path in ["data.bin", "notes.txt", "page.json"]:
            with self.subTest(path=path):
                self.assertIsNone(spdx.with_header(path, "x\n"))


class RunOverACheckout(unittest.TestCase):
    def run_script(self, root, *args):
        return subprocess.run([sys.executable, str(SCRIPT), *args, str(root)],
                              capture_output=True, text=True)

    def test_check_lists_missing_headers_and_a_run_adds_them_once(self):
        with tempfile.TemporaryDirectory() as tmp:
            root = Path(tmp)
            files = {"a.cpp": "int a;\n", "b.sh": "#!/bin/sh\n", "skin/x.png": "PNG",
                     "Language/de.ini": "[x]\n"}
            for name, text in files.items():
                (root / name).parent.mkdir(parents=True, exist_ok=True)
                (root / name).write_text(text)
            subprocess.run(["git", "init", "-q", str(root)], check=True)
            subprocess.run(["git", "-C", str(root), "add", "."], check=True)

            check = self.run_script(root, "--check")
            self.assertEqual(check.returncode, 1)
            self.assertIn("a.cpp", check.stderr)
            self.assertNotIn("x.png", check.stderr, "images are licensed through dep5")
            self.assertEqual((root / "a.cpp").read_text(), "int a;\n", "--check changes nothing")

            self.assertEqual(self.run_script(root).returncode, 0)
            after = {name: (root / name).read_text() for name in files}
            self.assertEqual(after["skin/x.png"], "PNG")
            self.assertEqual(after["Language/de.ini"], "[x]\n")
            self.assertEqual(self.run_script(root, "--check").returncode, 0)
            self.run_script(root)
            self.assertEqual({name: (root / name).read_text() for name in files}, after)

    def test_an_untracked_kind_fails_the_check(self):
        with tempfile.TemporaryDirectory() as tmp:
            root = Path(tmp)
            (root / "table.json").write_text("{}\n")
            subprocess.run(["git", "init", "-q", str(root)], check=True)
            subprocess.run(["git", "-C", str(root), "add", "."], check=True)
            result = self.run_script(root, "--check")
            self.assertEqual(result.returncode, 1)
            self.assertIn("table.json: no comment syntax known", result.stderr)


if __name__ == "__main__":
    unittest.main()
