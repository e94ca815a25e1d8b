"""The text driver against Debian's SQLite ODBC driver, both through unixODBC and pyodbc, on
the same 1,000,000-row, 6-column table, in one run: a full scan with a WHERE filter, a GROUP
BY with COUNT and SUM, and an ORDER BY on two columns. Each query's rows are all fetched;
the best of --repeat runs counts. Prints the times and the ratio (text driver / SQLite).

    /usr/bin/python3 bench/driver/driver_bench.py [--driver PATH] [--rows N] [--repeat R]

The default driver is the release build's libzotext.so. Uses a private ODBCSYSINI in a
temporary directory (the tests' odbcenv module).
"""

import argparse
import datetime
import os
import random
import sqlite3
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "drivers", "text", "tests", "e2e"))

QUERIES = [
    ("scan with WHERE", "SELECT id, name, amount FROM big WHERE qty > 90 AND grp <> 'g7'"),
    ("GROUP BY, COUNT, SUM", "SELECT grp, COUNT(*), SUM(amount) FROM big GROUP BY grp"),
    ("ORDER BY two columns", "SELECT id, grp, amount FROM big ORDER BY grp, amount DESC"),
]


def rows(count):
    rng = random.Random(1000000)
    start = datetime.date(2020, 1, 1)
    for i in range(1, count + 1):
        yield (i, f"g{rng.randrange(100)}", f"name{rng.randrange(50000)}", round(rng.uniform(0, 1000), 2),
               rng.randrange(100), (start + datetime.timedelta(days=rng.randrange(1500))).isoformat())


def build_data(directory, database, count):
    with open(os.path.join(directory, "big.csv"), "w") as f:
        f.write("id:INTEGER,grp:VARCHAR(8),name:VARCHAR(16),amount:DOUBLE,qty:INTEGER,day:DATE\n")
        for r in rows(count):
            f.write(",".join(str(v) for v in r) + "\n")
    db = sqlite3.connect(database)
    db.execute("CREATE TABLE big (id INTEGER, grp TEXT, name TEXT, amount REAL, qty INTEGER, day TEXT)")
    db.executemany("INSERT INTO big VALUES (?, ?, ?, ?, ?, ?)", rows(count))
    db.commit()
    db.close()


def best_time(cursor, sql, repeat):
    best, result = None, None
    for _ in range(repeat):
        started = time.perf_counter()
        result = cursor.execute(sql).fetchall()
        elapsed = time.perf_counter() - started
        best = elapsed if best is None else min(best, elapsed)
    return best, result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--driver", default=os.path.join(ROOT, "build", "release", "drivers", "text", "odbc",
                                                         "libzotext.so"))
    parser.add_argument("--rows", type=int, default=1000000)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    os.environ["ZOTEXT_DRIVER"] = os.path.abspath(args.driver)

    import odbcenv
    import pyodbc

    env = odbcenv.shared()
    data = env.directory("bench")
    database = os.path.join(env.root, "bench.sqlite")
    print(f"making {args.rows} rows ...", flush=True)
    build_data(data, database, args.rows)
    ours = pyodbc.connect(env.connection_string(data), autocommit=True).cursor()
    theirs = pyodbc.connect(f"DRIVER={{{odbcenv.SQLITE}}};Database={database}", autocommit=True).cursor()

    print(f"{'query':24} {'text driver':>12} {'SQLite':>12} {'ratio':>7}  rows")
    for name, sql in QUERIES:
        our_time, our_rows = best_time(ours, sql, args.repeat)
        their_time, their_rows = best_time(theirs, sql, args.repeat)
        if len(our_rows) != len(their_rows):
            print(f"{name}: row counts differ ({len(our_rows)} against {len(their_rows)})")
            return 1
        print(f"{name:24} {our_time:11.3f}s {their_time:11.3f}s {our_time / their_time:7.2f}  {len(our_rows)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
