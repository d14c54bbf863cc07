"""Runs every runnable example of README.md and docs/*.md: a fenced block
whose info string is a language followed by the word `run`. The examples
connect to 127.0.0.1 port 1433 as `reports` (password `change-me`); this test
starts a quarlix-server with the sample directory on a free loopback port,
puts that port in place of 1433 and runs each block from the repository's
root (sh with bash, python with Debian's Python, js with Node and tedious,
java with jTDS, go with Debian's Go and go-mssqldb, perl with DBD::Sybase).
A failing block fails with its file and line; a block followed by a ```text
output block must print that text (doc_blocks.py).
Usage: snippets_test.py SOURCE_DIR QUARLIX_SERVER TEDIOUS_NODE_MODULES"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

import doc_blocks

SOURCE = SERVER = NODE_MODULES = None


class Snippets(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        logins = os.path.join(cls.folder.name, "logins")
        subprocess.run([SERVER, "--add-login", "reports", "--logins", logins], input="change-me\n",
                       capture_output=True, text=True, check=True, timeout=60)
        cls.log = open(os.path.join(cls.folder.name, "server.log"), "w")
        cls.server = subprocess.Popen([SERVER, "--listen", "127.0.0.1:0", "--logins", logins],
                                      stdout=subprocess.PIPE, stderr=cls.log, text=True)
        cls.port = cls.server.stdout.readline().rsplit(":", 1)[1].strip()
        build = os.path.dirname(os.path.abspath(SERVER))
        cls.env = dict(os.environ, PATH=build + os.pathsep + os.environ.get("PATH", ""), NODE_PATH=NODE_MODULES,
                       LANG="C.UTF-8")

    @classmethod
    def tearDownClass(cls):
        cls.server.terminate()
        cls.server.wait(60)
        cls.log.close()
        cls.folder.cleanup()

    def command(self, language, text, folder):
        if language == "sh":
            return ["bash", "-e", "-o", "pipefail", "-c", text]
        if language == "python":
            return ["/usr/bin/python3", "-c", text]
        if language == "js":
            return ["node", "-e", text]
        if language == "java":
            name = re.search(r"public\s+class\s+(\w+)", text).group(1)
            path = os.path.join(folder, name + ".java")
            with open(path, "w") as f:
                f.write(text)
            return ["java", "-cp", "/usr/share/java/jtds.jar", path]
        if language == "go":
            path = os.path.join(folder, "main.go")
            with open(path, "w") as f:
                f.write(text)
            return ["env", "GOPATH=/usr/share/gocode", "GO111MODULE=off", "GOCACHE=" + os.path.join(folder, "cache"),
                    "go", "run", path]
        if language == "perl":
            return ["perl", "-e", text]
        self.fail("no way to run a block of " + language)

    def test_every_runnable_block(self):
        found = doc_blocks.all_blocks(SOURCE, "run")
        # The server page's own examples at least: a parser that finds nothing must not pass.
        self.assertGreaterEqual(len([b for b in found if b.page == os.path.join("docs", "server.md")]), 3)
        for block in found:
            with self.subTest(block=block.where()), tempfile.TemporaryDirectory() as folder:
                text = block.text.replace("1433", self.port)
                result = subprocess.run(self.command(block.language, text, folder), cwd=SOURCE, env=self.env,
                                        capture_output=True, text=True, timeout=120)
                where = f"{block.where()} failed with {result.returncode}:\n{result.stdout}{result.stderr}"
                self.assertEqual(result.returncode, 0, where)
                self.assertTrue(result.stdout.strip(), f"{block.where()} printed nothing")
                self.assertNotRegex(result.stdout + result.stderr, r"Msg \d+|Login failed|Error", where)
                if block.output is not None:
                    self.assertTrue(doc_blocks.matches(block.output, result.stdout),
                                    f"{block.where()} printed\n{result.stdout}\nnot\n{block.output}")


if __name__ == "__main__":
    SOURCE, SERVER, NODE_MODULES = sys.argv[1:4]
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[4:])
