#!/usr/bin/env python3
"""What doclinks.py finds in small document trees of its own."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import doclinks  # noqa: E402


class DocLinksTest(unittest.TestCase):
    def check(self, files):
        with tempfile.TemporaryDirectory() as root:
            for name, text in files.items():
                os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
                with open(os.path.join(root, name), "w", encoding="utf-8") as out:
                    out.write(text)
            return doclinks.check(root)

    def test_links_between_folders_and_to_headings_as_rendered_hold(self):
        self.assertEqual([], self.check({
            "README.md": "# Top\n[guide](docs/guide.md#the-dll-on-windows-x86) "
                         "[sim](tools/sim/README.md#sim--a-server)\n",
            "docs/guide.md": "# Guide\n## The `DLL`, on Windows (x86)\n![shot](shot.png)\n"
                             "[back](../README.md#top) [same](#guide)\n",
            "docs/shot.png": "",
            "tools/sim/README.md": "# sim — a server\n",
        }))

    def test_a_missing_file_a_missing_heading_and_an_unreached_document_are_found(self):
        problems = self.check({
            "README.md": "[guide](docs/guide.md#nowhere) ![shot](docs/gone.png)\n",
            "docs/guide.md": "# Guide\n",
            "docs/stray.md": "# Stray\n",
        })
        self.assertEqual([
            "README.md:1: docs/guide.md#nowhere: no heading with that anchor in docs/guide.md",
            "README.md:1: docs/gone.png: no such file",
            "docs/stray.md: not reached from README.md",
        ], problems)

    def test_code_is_not_read_for_links_or_headings(self):
        problems = self.check({
            "README.md": "```\n[x](missing.md)\n# Fenced\n```\n`[y](missing.md)` [z](#fenced)\n",
        })
        self.assertEqual(["README.md:5: #fenced: no heading with that anchor in README.md"], problems)


if __name__ == "__main__":
    unittest.main()
