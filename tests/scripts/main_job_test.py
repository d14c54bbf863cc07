"""scripts/main-job.sh as the README shows it: its standard output is the
query's answer alone, so `--format json` gives JSON a program can read; the
set-up's and the build's progress go to standard error. It runs the real
script on this source tree (its packages installed, its build up to date).
Usage: main_job_test.py SOURCE_DIR"""
import json
import subprocess
import sys
import unittest

SOURCE = sys.argv.pop(1) if len(sys.argv) > 1 else None


class MainJob(unittest.TestCase):
    def test_json_on_standard_output_progress_on_standard_error(self):
        done = subprocess.run(["bash", "scripts/main-job.sh", "--format", "json"], cwd=SOURCE, capture_output=True,
                              text=True, timeout=900)
        self.assertEqual(done.returncode, 0, done.stderr)
        answer = json.loads(done.stdout)
        self.assertEqual([c["name"] for c in answer["columns"]], ["cn", "title", "mail", "telephoneNumber"])
        self.assertEqual(answer["count"], len(answer["rows"]))
        self.assertGreater(answer["count"], 0)
        # The build's progress is there, not in the answer: up to date, or steps built.
        self.assertRegex(done.stderr, r"ninja: no work to do|\[\d+/\d+\] ")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[1:])
