"""A block of the docs that quotes a file of the source tree (a line
`<!-- quoted: PATH -->` before it, doc_blocks.py) holds that file as it is,
so that what a page shows is what ships.
Usage: quoted_files_test.py SOURCE_DIR"""
import os
import sys
import unittest

import doc_blocks

SOURCE = sys.argv.pop(1) if len(sys.argv) > 1 else None


class QuotedFiles(unittest.TestCase):
    def test_every_quoted_file_is_quoted_as_it_is(self):
        quoted = [b for page in doc_blocks.pages(SOURCE) for b in doc_blocks.blocks(page, SOURCE) if b.quotes]
        # The pages that quote the Windows scripts and the service's settings, at least.
        self.assertLessEqual({"packaging/windows/install.sql", "packaging/windows/uninstall.sql",
                              "packaging/linux/quarlix-server.conf"}, {b.quotes for b in quoted})
        for block in quoted:
            with self.subTest(block=block.where(), file=block.quotes):
                with open(os.path.join(SOURCE, block.quotes), encoding="utf-8") as f:
                    self.assertEqual(block.text, f.read())


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[1:])
