"""A few ODBC calls made straight through the driver manager (libodbc.so.2) with ctypes,
for what pyodbc checks itself before the driver could (call order, parameter counts)."""

import ctypes

_odbc = ctypes.CDLL("libodbc.so.2")

SQL_HANDLE_ENV, SQL_HANDLE_DBC, SQL_HANDLE_STMT = 1, 2, 3
SQL_ATTR_ODBC_VERSION, SQL_OV_ODBC3 = 200, 3
SQL_NTS = -3
SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER = 1, -16, 4

_odbc.SQLAllocHandle.argtypes = [ctypes.c_short, ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p)]
_odbc.SQLSetEnvAttr.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
_odbc.SQLDriverConnect.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_short,
                                   ctypes.c_char_p, ctypes.c_short, ctypes.c_void_p, ctypes.c_ushort]
_odbc.SQLPrepare.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_odbc.SQLExecute.argtypes = [ctypes.c_void_p]
_odbc.SQLBindParameter.argtypes = [ctypes.c_void_p, ctypes.c_ushort, ctypes.c_short, ctypes.c_short, ctypes.c_short,
                                   ctypes.c_ulong, ctypes.c_short, ctypes.c_void_p, ctypes.c_long, ctypes.c_void_p]
_odbc.SQLGetDiagRec.argtypes = [ctypes.c_short, ctypes.c_void_p, ctypes.c_short, ctypes.c_char_p,
                                ctypes.POINTER(ctypes.c_int), ctypes.c_char_p, ctypes.c_short,
                                ctypes.POINTER(ctypes.c_short)]
_odbc.SQLFreeHandle.argtypes = [ctypes.c_short, ctypes.c_void_p]
_odbc.SQLDisconnect.argtypes = [ctypes.c_void_p]


def _alloc(kind, parent):
    handle = ctypes.c_void_p()
    if _odbc.SQLAllocHandle(kind, parent, ctypes.byref(handle)) not in (0, 1):
        raise RuntimeError(f"SQLAllocHandle({kind}) failed")
    return handle


def first_state(kind, handle):
    state = ctypes.create_string_buffer(6)
    native = ctypes.c_int()
    message = ctypes.create_string_buffer(512)
    length = ctypes.c_short()
    if _odbc.SQLGetDiagRec(kind, handle, 1, state, ctypes.byref(native), message, 512, ctypes.byref(length)) != 0:
        return None
    return state.value.decode()


class Statement:
    def __init__(self, handle):
        self.handle = handle

    def execute_unprepared(self):
        """SQLExecute with nothing prepared: the SQLSTATE it gives."""
        if _odbc.SQLExecute(self.handle) != -1:
            return None
        return first_state(SQL_HANDLE_STMT, self.handle)

    def execute_with_too_few_parameters(self, sql):
        """Prepares sql (two markers), binds only the first, executes: the SQLSTATE."""
        if _odbc.SQLPrepare(self.handle, sql.encode(), SQL_NTS) not in (0, 1):
            return "prepare failed: " + str(first_state(SQL_HANDLE_STMT, self.handle))
        self.value = ctypes.c_int(1)
        _odbc.SQLBindParameter(self.handle, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                               ctypes.byref(self.value), 0, None)
        if _odbc.SQLExecute(self.handle) != -1:
            return None
        return first_state(SQL_HANDLE_STMT, self.handle)


class Connection:
    def __init__(self, connection_string):
        self.env = _alloc(SQL_HANDLE_ENV, None)
        _odbc.SQLSetEnvAttr(self.env, SQL_ATTR_ODBC_VERSION, ctypes.c_void_p(SQL_OV_ODBC3), 0)
        self.dbc = _alloc(SQL_HANDLE_DBC, self.env)
        rc = _odbc.SQLDriverConnect(self.dbc, None, connection_string.encode(), SQL_NTS, None, 0, None, 0)
        if rc not in (0, 1):
            raise RuntimeError("connect failed: " + str(first_state(SQL_HANDLE_DBC, self.dbc)))
        self.statements = []

    def statement(self):
        s = Statement(_alloc(SQL_HANDLE_STMT, self.dbc))
        self.statements.append(s)
        return s

    def close(self):
        for s in self.statements:
            _odbc.SQLFreeHandle(SQL_HANDLE_STMT, s.handle)
        _odbc.SQLDisconnect(self.dbc)
        _odbc.SQLFreeHandle(SQL_HANDLE_DBC, self.dbc)
        _odbc.SQLFreeHandle(SQL_HANDLE_ENV, self.env)
