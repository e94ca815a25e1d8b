"""The text driver through unixODBC's command-line clients in batch mode: isql by data
source and by connection string, iusql (the wide entry points; it connects by data source
only) with Unicode text, and the
installation script followed by the README's demo command.

    ZOTEXT_DRIVER=.../libzotext.so python3 test_isql.py
"""

import os
import re
import subprocess
import unittest

import odbcenv
from odbcenv import write_table

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = odbcenv.ROOT


def run(command, statements, env=None, check_status=True):
    result = subprocess.run(command, input=statements, capture_output=True, text=True, timeout=120,
                            env=env or os.environ)
    if check_status and result.returncode != 0:
        raise AssertionError(f"{command} failed ({result.returncode}): {result.stdout}{result.stderr}")
    return result.stdout + result.stderr


def table_rows(output):
    """The cells of isql's result tables, row by row (the header rows included)."""
    rows = []
    for line in output.splitlines():
        if line.startswith("|"):
            rows.append([cell.strip() for cell in line.strip("|").split("|")])
    return rows


class IsqlTest(unittest.TestCase):
    def setUp(self):
        self.env = odbcenv.shared()
        self.data = self.env.fresh_directory("isql-" + self.id().split(".")[-1])
        write_table(self.data, "city", "id:INTEGER,name:VARCHAR(20),people:INTEGER",
                    [(1, "Oslo", 700000), (2, "Bergen", 290000), (3, "Tromso", None)])

    def test_by_connection_string(self):
        out = run(["isql", "-b", "-v", "-k", self.env.connection_string(self.data)],
                  "SELECT name, people FROM city WHERE id < 3 ORDER BY people DESC\n"
                  "INSERT INTO city VALUES (4, 'Bodo', 52000)\n"
                  "SELECT COUNT(*) FROM city\n"
                  "SELECT nothing FROM city\n")
        rows = table_rows(out)
        self.assertEqual(rows[:3], [["name", "people"], ["Oslo", "700000"], ["Bergen", "290000"]])
        self.assertIn(["4"], rows)
        self.assertIn("SQLRowCount returns 1", out)
        self.assertRegex(out, r"\[S0022\]|\[42S22\]")  # an ODBC 2 client sees the old SQLSTATE
        self.assertIn("[zo][ZoText]", out)

    def test_by_data_source(self):
        self.env.add_dsn("Cities", DBQ=self.data)
        out = run(["isql", "-b", "Cities"], "SELECT name FROM city WHERE people IS NULL\n")
        self.assertEqual(table_rows(out), [["name"], ["Tromso"]])

    def test_wide_client_with_unicode_text(self):
        write_table(self.data, "words", "id:INTEGER,word:VARCHAR(20)", [(1, "gr\u00fc\u00df"), (2, "\u65e5\u672c")])
        self.env.add_dsn("Words", DBQ=self.data, Charset="UTF-8")
        result = subprocess.run(["iusql", "-b", "Words"], input=b"SELECT word, LENGTH(word) FROM words ORDER BY id\n",
                                capture_output=True, timeout=120)
        # iusql prints each wide character's low byte, so Latin-1 text shows as it is.
        rows = table_rows(result.stdout.decode("latin-1"))
        self.assertEqual(rows[1], ["gr\u00fc\u00df", "4"])
        self.assertEqual(rows[2][1], "2")


class InstallTest(unittest.TestCase):
    def test_install_script_and_the_demo_command(self):
        env = odbcenv.shared()
        private = env.fresh_directory("install")
        script = os.path.join(ROOT, "drivers", "text", "install", "install.sh")
        for _ in range(2):  # registering again replaces the first registration
            out = run(["bash", script, "--driver", env.driver, "--dir", private], "")
        self.assertIn("ZoTextDemo", out)
        with open(os.path.join(private, "odbcinst.ini")) as f:
            self.assertEqual(f.read().count("[ZoText]"), 1)
        # The README's demo command, in the registration's own environment.
        demo_env = dict(os.environ, ODBCSYSINI=private, ODBCINI=os.path.join(private, "odbc.ini"))
        with open(os.path.join(ROOT, "drivers", "text", "sample", "demo.sql")) as f:
            out = run(["isql", "-b", "ZoTextDemo"], f.read(), env=demo_env)
        rows = table_rows(out)
        self.assertEqual(rows[0], ["region", "orders", "units", "revenue"])
        self.assertEqual(rows[1:], [["West", "11", "219", "593.25"], ["East", "7", "182", "483.7"],
                                    ["North", "6", "187", "446.45"], ["South", "4", "82", "240.1"]])
        self.assertTrue(re.search(r"4 rows fetched", out))


if __name__ == "__main__":
    unittest.main(verbosity=2)
