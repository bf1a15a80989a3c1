#!/usr/bin/python3
"""Runs the Python module's tests with pytest (Debian's python3-pytest).

Usage: python3 python/tests/run_tests.py LUMTRA_BINARY [pytest options]
The module is imported from PYTHONPATH (build/python for the build tree).
Exit 77 (skipped) when pytest is missing or collects nothing (exit 5).
"""

import os
import sys

try:
    import pytest
except ImportError:
    print("python3-pytest is not installed: the Python module's tests are skipped")
    sys.exit(77)

if len(sys.argv) > 1:
    os.environ["LUMTRA_BINARY"] = os.path.abspath(sys.argv[1])
here = os.path.dirname(os.path.abspath(__file__))
status = pytest.main(["-q", "-p", "no:cacheprovider", here, *sys.argv[2:]])
sys.exit(77 if status == pytest.ExitCode.NO_TESTS_COLLECTED else int(status))
