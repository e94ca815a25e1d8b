"""The text driver through unixODBC's driver manager and pyodbc, as applications use it.

Run by ctest with ZOTEXT_DRIVER naming the build tree's libzotext.so:
    ZOTEXT_DRIVER=build/release/drivers/text/odbc/libzotext.so python3 test_pyodbc.py
"""

import datetime
import decimal
import os
import subprocess
import sys
import unittest

import pyodbc

import odbcenv
from odbcenv import TRACE, needs, write_table

PEOPLE_HEADER = "id:INTEGER,name:VARCHAR(30),height:DOUBLE,born:DATE,seen:TIMESTAMP,city:VARCHAR(20)"
PEOPLE = [
    (1, "Ann", 1.62, "1990-03-04", "2024-01-02 03:04:05", "Oslo"),
    (2, "bob", 1.80, "1985-12-31", None, "Rome"),
    (3, "Cleo", None, None, "2023-06-07 08:09:10", None),
    (4, "Dan", 1.75, "2001-07-01", "2022-02-02 22:22:22", "Oslo"),
]


def state_of(error):
    return error.args[0]


class DriverTest(unittest.TestCase):
    def setUp(self):
        self.env = odbcenv.shared()
        self.data = self.env.fresh_directory("data-" + self.id().split(".")[-1])
        write_table(self.data, "people", PEOPLE_HEADER, PEOPLE)
        self.open_connections = []

    def tearDown(self):
        for c in self.open_connections:
            try:
                c.close()
            except pyodbc.Error:
                pass

    def connect(self, autocommit=False, **attributes):
        c = pyodbc.connect(self.env.connection_string(self.data, **attributes), autocommit=autocommit)
        self.open_connections.append(c)
        return c

    def rows(self, cursor, sql, *params):
        return [tuple(r) for r in cursor.execute(sql, *params).fetchall()]

    def assertState(self, state, function, *args):
        with self.assertRaises(pyodbc.Error) as caught:
            function(*args)
        self.assertEqual(state_of(caught.exception), state, str(caught.exception))
        return caught.exception


class ConnectTest(DriverTest):
    def test_by_connection_string(self):
        cur = self.connect().cursor()
        self.assertEqual(self.rows(cur, "SELECT name FROM people WHERE id = 1"), [("Ann",)])

    def test_by_data_source(self):
        self.env.add_dsn("People", DBQ=self.data)
        c = pyodbc.connect("DSN=People")
        self.open_connections.append(c)
        self.assertEqual(self.rows(c.cursor(), "SELECT COUNT(*) FROM people"), [(4,)])
        # The connection string adds to the data source and wins over it.
        c2 = pyodbc.connect("DSN=People;Header=0")
        self.open_connections.append(c2)
        self.assertEqual(self.rows(c2.cursor(), "SELECT C1 FROM people WHERE C2 = 'Ann'"), [("1",)])

    def test_braced_directory_with_separators(self):
        odd = self.env.directory("a;b}c=d")
        write_table(odd, "t", "x:INTEGER", [(7,)])
        c = pyodbc.connect(self.env.connection_string(odd))
        self.open_connections.append(c)
        self.assertEqual(self.rows(c.cursor(), "SELECT x FROM t"), [(7,)])

    def test_failed_connects_say_why(self):
        with self.assertRaises(pyodbc.Error) as caught:
            pyodbc.connect(self.env.connection_string(os.path.join(self.env.root, "nowhere")))
        self.assertIn("08001", str(caught.exception))
        with self.assertRaises(pyodbc.Error) as caught:
            pyodbc.connect(self.env.connection_string(self.data, Delimiter=":"))
        self.assertIn("Delimiter", str(caught.exception))

    def test_getinfo(self):
        c = self.connect()
        self.assertEqual(c.getinfo(pyodbc.SQL_DBMS_NAME), "ZoText")
        self.assertEqual(c.getinfo(pyodbc.SQL_DRIVER_ODBC_VER), "03.51")
        self.assertEqual(c.getinfo(pyodbc.SQL_DATABASE_NAME), self.data)


class StatementTest(DriverTest):
    def test_every_statement_kind(self):
        c = self.connect()
        cur = c.cursor()
        cur.execute("CREATE TABLE pets (id INTEGER, name VARCHAR(20), weight DOUBLE, born DATE)")
        cur.execute("INSERT INTO pets VALUES (1, 'Rex', 12.5, {d '2020-01-01'})")
        cur.execute("INSERT INTO pets (id, name) VALUES (?, ?)", 2, "Tom")
        cur.executemany("INSERT INTO pets (id, name, weight) VALUES (?, ?, ?)", [(3, "Kit", 3.5), (4, "Max", 30.0)])
        self.assertEqual(cur.execute("UPDATE pets SET weight = weight + 1 WHERE weight > 10").rowcount, 2)
        self.assertEqual(cur.execute("DELETE FROM pets WHERE id = 3").rowcount, 1)
        self.assertEqual(
            self.rows(cur, "SELECT id, name, weight, born FROM pets ORDER BY id"),
            [(1, "Rex", 13.5, datetime.date(2020, 1, 1)), (2, "Tom", None, None), (4, "Max", 31.0, None)],
        )
        c.commit()
        with open(os.path.join(self.data, "pets.csv"), encoding="utf-8") as f:
            self.assertEqual(len(f.read().splitlines()), 4)  # the header and three rows
        cur.execute("DROP TABLE pets")
        c.commit()
        self.assertFalse(os.path.exists(os.path.join(self.data, "pets.csv")))

    def test_queries_read_what_the_file_holds(self):
        cur = self.connect().cursor()
        cur.execute("SELECT id, name, height, born, seen, city FROM people ORDER BY id")
        self.assertEqual([d[0] for d in cur.description], ["id", "name", "height", "born", "seen", "city"])
        self.assertEqual([d[1] for d in cur.description], [int, str, float, datetime.date, datetime.datetime, str])
        rows = [tuple(r) for r in cur.fetchall()]
        self.assertEqual(rows[0], (1, "Ann", 1.62, datetime.date(1990, 3, 4), datetime.datetime(2024, 1, 2, 3, 4, 5), "Oslo"))
        self.assertEqual(rows[2], (3, "Cleo", None, None, datetime.datetime(2023, 6, 7, 8, 9, 10), None))
        self.assertEqual(
            self.rows(cur, "SELECT city, COUNT(*), MAX(height) FROM people GROUP BY city ORDER BY city"),
            [(None, 1, None), ("Oslo", 2, 1.75), ("Rome", 1, 1.80)],
        )
        self.assertEqual(self.rows(cur, "SELECT name FROM people WHERE city IS NULL"), [("Cleo",)])

    def test_fetch_in_steps_and_arrays(self):
        cur = self.connect().cursor()
        cur.execute("SELECT id FROM people ORDER BY id")
        self.assertEqual(cur.fetchone()[0], 1)
        self.assertEqual([r[0] for r in cur.fetchmany(2)], [2, 3])
        self.assertEqual([r[0] for r in cur.fetchall()], [4])
        self.assertIsNone(cur.fetchone())

    def test_autocommit_off_keeps_changes_to_the_connection(self):
        writer = self.connect()  # pyodbc's default: autocommit off
        reader = self.connect(autocommit=True)
        writer.cursor().execute("INSERT INTO people (id, name) VALUES (5, 'Eve')")
        count = "SELECT COUNT(*) FROM people"
        self.assertEqual(self.rows(writer.cursor(), count), [(5,)])
        self.assertEqual(self.rows(reader.cursor(), count), [(4,)])
        writer.rollback()
        self.assertEqual(self.rows(writer.cursor(), count), [(4,)])
        writer.cursor().execute("DELETE FROM people WHERE id = 4")
        writer.commit()
        self.assertEqual(self.rows(reader.cursor(), count), [(3,)])


class ParameterTest(DriverTest):
    def test_each_type_round_trips(self):
        c = self.connect()
        cur = c.cursor()
        cur.execute(
            "CREATE TABLE v (i INTEGER, big INTEGER, d DOUBLE, s VARCHAR(40), day DATE, at TIMESTAMP, flag INTEGER, dec DOUBLE)"
        )
        values = (
            -42,
            2**40 + 3,
            -0.125,
            "it's \"quoted\", with; separators",
            datetime.date(2024, 2, 29),
            datetime.datetime(2024, 2, 29, 23, 59, 58),
            True,
            decimal.Decimal("12.75"),
        )
        cur.execute("INSERT INTO v VALUES (?, ?, ?, ?, ?, ?, ?, ?)", *values)
        got = cur.execute("SELECT * FROM v").fetchone()
        self.assertEqual(tuple(got), (-42, 2**40 + 3, -0.125, values[3], values[4], values[5], 1, 12.75))
        # Parameters in conditions, each type finding its row.
        for column, value in zip(["i", "big", "d", "s", "day", "at"], values):
            self.assertEqual(self.rows(cur, f"SELECT COUNT(*) FROM v WHERE {column} = ?", value), [(1,)], column)

    def test_nulls_in_and_out(self):
        cur = self.connect().cursor()
        cur.execute("INSERT INTO people (id, name, height, born) VALUES (?, ?, ?, ?)", 9, None, None, None)
        self.assertEqual(self.rows(cur, "SELECT name, height, born FROM people WHERE id = 9"), [(None, None, None)])
        self.assertEqual(self.rows(cur, "SELECT COUNT(*) FROM people WHERE name IS NULL"), [(1,)])
        self.assertEqual(self.rows(cur, "SELECT COUNT(*) FROM people WHERE name = ?", None), [(0,)])

    def test_long_text_comes_in_pieces(self):
        cur = self.connect().cursor()
        cur.execute("CREATE TABLE doc (body VARCHAR(10))")
        body = "".join(chr(ord("a") + i % 26) for i in range(300000))
        cur.execute("INSERT INTO doc VALUES (?)", body)
        self.assertEqual(cur.execute("SELECT body FROM doc").fetchone()[0], body)


class CatalogTest(DriverTest):
    def test_tables_and_columns(self):
        write_table(self.data, "zoo", "a,b", [("x", "y")])
        cur = self.connect().cursor()
        self.assertEqual([t.table_name for t in cur.tables()], ["people", "zoo"])
        self.assertEqual([t.table_name for t in cur.tables(table="ZOO")], ["zoo"])
        self.assertEqual([t.table_type for t in cur.tables(tableType="TABLE")], ["TABLE", "TABLE"])
        columns = [(c.column_name, c.type_name, c.ordinal_position) for c in cur.columns(table="people")]
        self.assertEqual(
            columns,
            [("id", "INTEGER", 1), ("name", "VARCHAR", 2), ("height", "DOUBLE", 3), ("born", "DATE", 4),
             ("seen", "TIMESTAMP", 5), ("city", "VARCHAR", 6)],
        )
        self.assertEqual([c.column_size for c in cur.columns(table="people", column="name")], [30])
        self.assertEqual([(c.column_name, c.type_name) for c in cur.columns(table="zoo")], [("a", "VARCHAR"), ("b", "VARCHAR")])

    def test_types_keys_and_statistics(self):
        cur = self.connect().cursor()
        names = {row.type_name for row in cur.getTypeInfo()}
        self.assertEqual(names, {"INTEGER", "DOUBLE", "VARCHAR", "DATE", "TIME", "TIMESTAMP"})
        self.assertEqual(cur.statistics("people").fetchall(), [])
        self.assertEqual(cur.primaryKeys("people").fetchall(), [])


class ErrorTest(DriverTest):
    def test_sqlstates(self):
        cur = self.connect().cursor()
        self.assertState("42000", cur.execute, "SELEC name FROM people")
        self.assertState("42S02", cur.execute, "SELECT * FROM nothing")
        self.assertState("42S22", cur.execute, "SELECT nothing FROM people")
        self.assertState("42S01", cur.execute, "CREATE TABLE people (x INTEGER)")
        cur.setinputsizes([(pyodbc.SQL_INTEGER, 0, 0)])
        self.assertState("22018", cur.execute, "SELECT name FROM people WHERE id = ?", "one")
        cur.setinputsizes(None)
        # The cursor stays usable after each error.
        self.assertEqual(self.rows(cur, "SELECT COUNT(*) FROM people"), [(4,)])

    def test_raw_sequence_and_count_errors(self):
        # Below pyodbc, which checks these itself: the driver manager's entry points.
        import rawodbc

        con = rawodbc.Connection(self.env.connection_string(self.data))
        try:
            stmt = con.statement()
            self.assertEqual(stmt.execute_unprepared(), "HY010")
            self.assertEqual(stmt.execute_with_too_few_parameters("SELECT id FROM people WHERE id = ? OR id = ?"), "07002")
        finally:
            con.close()


class UnicodeTest(DriverTest):
    TEXTS = ["h\u00e9llo", "\u65e5\u672c\u8a9e", "\u00c5ngstr\u00f6m \u2713", "emoji \U0001F600"]

    def test_utf8_file_round_trip(self):
        c = self.connect(Charset="UTF-8")
        cur = c.cursor()
        cur.execute("CREATE TABLE u (id INTEGER, s VARCHAR(20))")
        for i, s in enumerate(self.TEXTS):
            cur.execute("INSERT INTO u VALUES (?, ?)", i, s)
        c.commit()
        self.assertEqual([r.s for r in cur.execute("SELECT s FROM u ORDER BY id")], self.TEXTS)
        self.assertEqual(self.rows(cur, "SELECT id FROM u WHERE s = ?", self.TEXTS[1]), [(1,)])
        self.assertEqual(self.rows(cur, "SELECT LENGTH(s) FROM u WHERE id = 0"), [(5,)])
        with open(os.path.join(self.data, "u.csv"), encoding="utf-8") as f:
            self.assertIn(self.TEXTS[2], f.read())

    def test_code_page_932_file_round_trip(self):
        # The process's code page is chosen when the library loads: a process of its own.
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cp932_check.py")
        result = subprocess.run([sys.executable, script, self.env.root, self.data], env=dict(os.environ, ZO_ACP="932"),
                                capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)


class BadInputTest(DriverTest):
    def expect_defined(self, name, content, query="SELECT * FROM {t}"):
        """Reading the file either fails with a diagnostic or gives rows; never a crash."""
        with open(os.path.join(self.data, name + ".csv"), "wb") as f:
            f.write(content)
        cur = self.connect().cursor()
        try:
            return [tuple(r) for r in cur.execute(query.format(t=name)).fetchall()]
        except pyodbc.Error as e:
            self.assertRegex(str(e), r"\[\w{5}\]", "a diagnostic with its SQLSTATE")
            return None

    def test_malformed_files(self):
        self.expect_defined("ragged", b"a,b,c\n1,2\n3,4,5,6\n7,8,9\n")
        self.expect_defined("unterminated", b'a,b\n1,"open\n2,3\n')
        self.expect_defined("invalid_utf8", b"a,b\n\xff\xfe,\xc3\n", "SELECT a, b FROM {t}")
        rows = self.expect_defined("long_line", b"a,b\n" + b"x" * (10 * 1024 * 1024) + b",1\n2,3\n")
        if rows is not None:
            self.assertEqual(len(rows), 2)
            self.assertEqual(len(rows[0][0]), 10 * 1024 * 1024)
        # The connection still works afterwards.
        self.assertEqual(self.rows(self.connect().cursor(), "SELECT COUNT(*) FROM people"), [(4,)])


@needs(TRACE)
class TraceTest(DriverTest):
    def test_trace_file_has_every_call(self):
        trace = os.path.join(self.env.root, "trace.log")
        cur = self.connect(Trace=1, TraceFile=trace).cursor()
        cur.execute("SELECT name FROM people").fetchall()
        with open(trace, encoding="utf-8", errors="replace") as f:
            text = f.read()
        for call in ("SQLExecDirect", "SQLFetch", "SQLNumResultCols"):
            self.assertIn(call, text)
        self.assertIn("SELECT name FROM people", text)


if __name__ == "__main__":
    unittest.main(verbosity=2)
