"""The differential test: every query of corpus.sql runs through pyodbc against the text
driver and against SQLite (Debian's SQLite ODBC driver) over the same data, and both must
return the same rows, in the same order where the query's ORDER BY fixes one.

corpus.sql: one query per line; '#' starts a comment line. A line "ours ;; sqlite" gives
the text driver's spelling and SQLite's spelling of the same query (ODBC escapes, function
names). A line "[header.h] query" waits (is counted but not run) until the library has the
header's piece. Values compare after odbcenv.normalize (numbers to nine significant digits, dates
as ISO text).

    ZOTEXT_DRIVER=.../libzotext.so python3 differential.py [corpus.sql] [-v]
"""

import datetime
import os
import random
import re
import sqlite3
import sys

import pyodbc

import odbcenv

EMP_COLUMNS = [("id", "INTEGER"), ("name", "VARCHAR(20)"), ("dept", "VARCHAR(10)"), ("salary", "DOUBLE"),
               ("hired", "DATE"), ("manager", "INTEGER"), ("level", "INTEGER")]
DEPT_COLUMNS = [("code", "VARCHAR(10)"), ("title", "VARCHAR(30)"), ("budget", "INTEGER"), ("floor", "INTEGER")]
SQLITE_TYPES = {"INTEGER": "INTEGER", "DOUBLE": "REAL", "DATE": "TEXT"}

NAMES = ["alice", "Bob", "carol", "Dave", "eve", "Frank", "grace", "Heidi", "ivan", "Judy", "mallory", "Niaj",
         "olivia", "Peggy", "rupert", "Sybil", "trent", "Victor", "walter", "Zoe", "a_b", "x%y", "O'Neil", "Anna"]
DEPTS = ["eng", "ops", "sales", "hr", "Eng", None]


def employees():
    rng = random.Random(150)
    rows = []
    for i in range(1, 61):
        name = NAMES[i % len(NAMES)] + ("" if i <= len(NAMES) else str(i))
        dept = DEPTS[rng.randrange(len(DEPTS))]
        salary = None if i % 11 == 0 else round(rng.uniform(30000, 120000), 2)
        hired = None if i % 13 == 0 else (datetime.date(2015, 1, 1) + datetime.timedelta(days=rng.randrange(3000))).isoformat()
        manager = None if i <= 5 else rng.randrange(1, 6)
        level = rng.randrange(1, 6)
        rows.append((i, name, dept, salary, hired, manager, level))
    return rows


def departments():
    return [("eng", "Engineering", 500000, 3), ("ops", "Operations", 200000, 1), ("sales", "Sales", 350000, 2),
            ("hr", "People", None, 1), ("legal", "Legal", 90000, 4)]


def header(columns):
    return ",".join(f"{name}:{kind}" for name, kind in columns)


def load_sqlite(path, tables):
    db = sqlite3.connect(path)
    for name, columns, rows in tables:
        spec = ", ".join(f"{c} {SQLITE_TYPES.get(t.split('(')[0], 'TEXT')}" for c, t in columns)
        db.execute(f"CREATE TABLE {name} ({spec})")
        db.executemany(f"INSERT INTO {name} VALUES ({', '.join('?' * len(columns))})", rows)
    db.commit()
    db.close()


def read_corpus(path):
    """The queries (line number, ours, SQLite's) and the lines that wait for a piece."""
    queries, waiting = [], []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            needed = re.match(r"\[([\w.]+)\]\s*", line)
            if needed:
                line = line[needed.end():]
                if not odbcenv.library_has(needed.group(1)):
                    waiting.append((number, needed.group(1)))
                    continue
            ours, _, theirs = line.partition(" ;; ")
            queries.append((number, ours.strip(), (theirs or ours).strip()))
    return queries, waiting


def run(cursor, sql):
    try:
        cursor.execute(sql)
        return odbcenv.normalized_rows(cursor.fetchall()), None
    except pyodbc.Error as e:
        return None, str(e)


def ordered(sql):
    """Whether the outermost query fixes the order (an ORDER BY after the last FROM)."""
    upper = sql.upper()
    return "ORDER BY" in upper[upper.rfind(" FROM "):] if " FROM " in upper else "ORDER BY" in upper


def main():
    args = [a for a in sys.argv[1:] if a != "-v"]
    verbose = "-v" in sys.argv
    corpus = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus.sql")
    env = odbcenv.shared()
    data = env.directory("differential")
    tables = [("emp", EMP_COLUMNS, employees()), ("dept", DEPT_COLUMNS, departments())]
    for name, columns, rows in tables:
        odbcenv.write_table(data, name, header(columns), rows)
    database = os.path.join(env.root, "differential.sqlite")
    load_sqlite(database, tables)

    ours = pyodbc.connect(env.connection_string(data), autocommit=True).cursor()
    theirs = pyodbc.connect(f"DRIVER={{{odbcenv.SQLITE}}};Database={database}", autocommit=True).cursor()
    queries, waiting = read_corpus(corpus)
    failures = []
    for number, our_sql, their_sql in queries:
        got, error = run(ours, our_sql)
        expected, their_error = run(theirs, their_sql)
        if their_error is not None:
            failures.append((number, our_sql, f"SQLite refused its spelling: {their_error}"))
            continue
        if error is not None:
            failures.append((number, our_sql, error))
            continue
        if not ordered(our_sql):
            got, expected = sorted(got, key=odbcenv.sort_key), sorted(expected, key=odbcenv.sort_key)
        if got != expected:
            failures.append((number, our_sql, f"rows differ:\n    ours:   {got[:8]}\n    sqlite: {expected[:8]}"))
        elif verbose:
            print(f"ok {number}: {our_sql}")
    for number, sql, why in failures:
        print(f"FAIL line {number}: {sql}\n    {why}")
    print(f"{len(queries) - len(failures)} of {len(queries)} queries agree with SQLite")
    if waiting:
        print(f"{len(waiting)} more wait for pieces of the library: " +
              ", ".join(sorted({header for _, header in waiting})))
    return 0 if not failures and len(queries) + len(waiting) >= 150 else 1


if __name__ == "__main__":
    sys.exit(main())
