"""A private unixODBC set-up for the text driver's end-to-end tests.

The driver manager reads its files from ODBCSYSINI (odbcinst.ini: the drivers; odbc.ini:
the data sources) and ODBCINI; both point into a temporary directory, so the tests touch
nothing of the machine's own registration. The driver under test is given by the
ZOTEXT_DRIVER environment variable (the build tree's libzotext.so); Debian's SQLite ODBC
driver is registered beside it as the reference.
"""

import datetime
import decimal
import glob
import os
import shutil
import tempfile

ZOTEXT = "ZoText"
SQLITE = "SQLite3"
ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", ".."))


def library_has(header):
    """Whether the library has the public header (a piece the driver is waiting for)."""
    return os.path.exists(os.path.join(ROOT, "include", "zo", header))


# The pieces of the library some tests need, and the header that comes with each.
TRACE = ("zotrace.h", "the trace needs ZoTrace")


def needs(piece):
    """Skips a test until the library has the piece."""
    import unittest

    header, reason = piece
    return unittest.skipUnless(library_has(header), reason + ", not in the library yet")


def sqlite_driver():
    """The SQLite ODBC driver of the libsqliteodbc package."""
    found = glob.glob("/usr/lib/*/odbc/libsqlite3odbc.so") + glob.glob("/usr/lib/odbc/libsqlite3odbc.so")
    if not found:
        raise RuntimeError("libsqlite3odbc.so not found: install libsqliteodbc")
    return found[0]


class OdbcEnv:
    """A temporary directory holding the driver manager's files and the tables of the tests.

    One per process: the driver manager reads ODBCSYSINI once and keeps the directory it
    found there for the rest of the process."""

    def __init__(self):
        self.driver = os.environ.get("ZOTEXT_DRIVER")
        if not self.driver or not os.path.isfile(self.driver):
            raise RuntimeError("ZOTEXT_DRIVER must name the libzotext.so under test")
        self.root = tempfile.mkdtemp(prefix="zotext-e2e-")
        self.ini = os.path.join(self.root, "odbc.ini")
        with open(os.path.join(self.root, "odbcinst.ini"), "w") as f:
            f.write(f"[{ZOTEXT}]\nDriver = {self.driver}\n\n[{SQLITE}]\nDriver = {sqlite_driver()}\n")
        open(self.ini, "w").close()
        os.environ["ODBCSYSINI"] = self.root
        os.environ["ODBCINI"] = self.ini

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def directory(self, name):
        path = os.path.join(self.root, name)
        os.makedirs(path, exist_ok=True)
        return path

    def fresh_directory(self, name):
        """An empty directory (emptied when it exists)."""
        path = os.path.join(self.root, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def add_dsn(self, name, **attributes):
        with open(self.ini, "a") as f:
            f.write(f"[{name}]\nDriver = {ZOTEXT}\n")
            for key, value in attributes.items():
                f.write(f"{key} = {value}\n")
            f.write("\n")

    def connection_string(self, directory, **attributes):
        parts = [f"DRIVER={{{ZOTEXT}}}", "DBQ=" + brace(directory)]
        parts += [f"{key}={brace(str(value))}" for key, value in attributes.items()]
        return ";".join(parts)


_shared = None


def shared():
    """The process's environment, made on first use and removed when the process ends."""
    global _shared
    if _shared is None:
        import atexit

        _shared = OdbcEnv()
        atexit.register(_shared.close)
    return _shared


def brace(value):
    """A connection string value in braces, '}' doubled."""
    return "{" + value.replace("}", "}}") + "}"


def write_table(directory, name, header, rows, encoding="utf-8", delimiter=","):
    """Writes NAME.csv: the header line, then one line per row (None is an empty field)."""
    with open(os.path.join(directory, name + ".csv"), "w", encoding=encoding, newline="") as f:
        f.write(header + "\n")
        for row in rows:
            f.write(delimiter.join(csv_field(v, delimiter) for v in row) + "\n")


def csv_field(value, delimiter):
    if value is None:
        return ""
    text = str(value)
    if any(c in text for c in (delimiter, '"', "\n", "\r")) or text == "":
        return '"' + text.replace('"', '""') + '"'
    return text


def normalize(value):
    """A value in a form both drivers' answers compare in: numbers as rounded floats (ints
    stay ints when whole), dates and times in ISO text, text as it is."""
    if isinstance(value, bool):
        return int(value)
    if isinstance(value, decimal.Decimal):
        value = float(value)
    if isinstance(value, float):
        if value == int(value) and abs(value) < 2**53:
            return int(value)
        return float(f"{value:.9g}")
    if isinstance(value, datetime.datetime):
        return value.isoformat(sep=" ")
    if isinstance(value, (datetime.date, datetime.time)):
        return value.isoformat()
    return value


def normalized_rows(rows):
    return [tuple(normalize(v) for v in row) for row in rows]


def sort_key(row):
    """Orders rows holding None, numbers and text alike (for comparing without ORDER BY)."""
    return tuple((0, "") if v is None else (1, v) if isinstance(v, (int, float)) else (2, str(v)) for v in row)
