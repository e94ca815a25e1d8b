"""Run with ZO_ACP=932 (the process's code page is fixed when the library loads): a table in
code page 932 read and written through the driver as Unicode. Arguments: the ODBC
directory of the test and the directory of its tables. Exit status 0 when all holds."""

import os
import sys

import pyodbc

import odbcenv

root, data = sys.argv[1], sys.argv[2]
os.environ["ODBCSYSINI"] = root
os.environ["ODBCINI"] = os.path.join(root, "odbc.ini")

# 表 and ソ have 0x5C (a backslash) as their trail byte, ｶﾀｶﾅ is half-width katakana.
texts = ["\u65e5\u672c\u8a9e", "\u8868\u793a", "\uff76\uff80\uff76\uff85"]
odbcenv.write_table(data, "jp", "id:INTEGER,s:VARCHAR(20)", list(enumerate(texts)), encoding="cp932")
c = pyodbc.connect(f"DRIVER={{{odbcenv.ZOTEXT}}};DBQ={odbcenv.brace(data)};Charset=ANSI")
cur = c.cursor()
got = [r.s for r in cur.execute("SELECT s FROM jp ORDER BY id")]
assert got == texts, got
assert [tuple(r) for r in cur.execute("SELECT id FROM jp WHERE s = ?", texts[1])] == [(1,)]
assert [tuple(r) for r in cur.execute("SELECT LENGTH(s) FROM jp WHERE id = 2")] == [(4,)]
cur.execute("INSERT INTO jp VALUES (?, ?)", 3, "\u30bd\u30d5\u30c8")
c.commit()
with open(os.path.join(data, "jp.csv"), "rb") as f:
    raw = f.read()
assert "\u30bd\u30d5\u30c8".encode("cp932") in raw, raw
raw.decode("cp932")  # the whole file is still code page 932
# A character the code page cannot hold is refused, not written as something else.
try:
    cur.execute("INSERT INTO jp VALUES (?, ?)", 4, "\U0001F600")
    raise AssertionError("a character beyond code page 932 was accepted")
except pyodbc.Error as e:
    assert e.args[0] == "22021", e
c.rollback()
c.close()
print("code page 932 round trip: ok")
