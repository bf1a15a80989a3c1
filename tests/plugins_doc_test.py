#!/usr/bin/python3
"""docs/plugins.md, run: installs the build into a scratch prefix and runs
the guide's commands in order, from an empty folder to the sweep against
-ff, writing each file the guide shows (a block after <!-- file: NAME -->).
The guide's plug-in must be plugins/first_fit.c itself.

Usage: /usr/bin/python3 tests/plugins_doc_test.py CMAKE BUILD_DIR
Exit 77 (skipped) without GNU parallel or gnuplot, which the sweep needs.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GUIDE = os.path.join(ROOT, "docs", "plugins.md")
CMAKE, BUILD = (sys.argv[1:3] if len(sys.argv) > 2 else ("cmake", os.path.join(ROOT, "build")))
BLOCK = re.compile(r"(?:<!-- file: (\S+) -->\n)?```(\w+)\n(.*?)```\n", re.S)


def script(text):
    """The guide as one shell script: its sh blocks, and its file blocks as
    here-documents."""
    lines = []
    for name, kind, body in BLOCK.findall(text):
        if name:
            lines.append(f"cat > {name} <<'GUIDE_FILE_END'\n{body}GUIDE_FILE_END")
        elif kind == "sh":
            lines.append(body)
    return "\n".join(lines) + "\n"


class Guide(unittest.TestCase):
    def test_the_guide_runs_from_an_empty_folder_to_a_sweep(self):
        with open(GUIDE, encoding="utf-8") as f:
            text = f.read()
        files = {name: body for name, _, body in BLOCK.findall(text) if name}
        with open(os.path.join(ROOT, "plugins", "first_fit.c"), encoding="utf-8") as f:
            self.assertEqual(files["my_first_fit.c"], f.read(), "the guide's plug-in is not plugins/first_fit.c")
        with tempfile.TemporaryDirectory(prefix="lumtra-guide-") as scratch:
            prefix = os.path.join(scratch, "prefix")
            install = subprocess.run([CMAKE, "--install", BUILD, "--prefix", prefix], capture_output=True, text=True)
            self.assertEqual(install.returncode, 0, install.stderr)
            env = dict(os.environ, PREFIX=prefix, PATH=os.path.join(prefix, "bin") + ":/usr/bin:/bin")
            run = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", script(text)], cwd=scratch, env=env,
                                 stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300)
            self.assertEqual(run.returncode, 0, run.stdout[-2000:] + run.stderr[-2000:])
            self.assertIn("Wavelength assignment: plug-in first-fit 1.0", run.stdout)
            with open(os.path.join(scratch, "my-plugin", "sweep", "summary.csv"), encoding="utf-8") as f:
                methods = {row.split(",")[1] for row in f.read().splitlines()[1:]}
            self.assertEqual(len(methods), 3, methods)


if __name__ == "__main__":
    if not (shutil.which("parallel") and shutil.which("gnuplot")):
        print("skipped: the sweep needs GNU parallel and gnuplot")
        sys.exit(77)
    result = unittest.main(argv=sys.argv[:1], exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
