// Handles: allocation and release, the environment's attributes.
#include <algorithm>
#include <new>

#include <zo/cntdblib.h>

#include "odbc/driver.h"

namespace zotext::odbc {
namespace {

template <class H>
H *asKind(SQLHANDLE handle, Kind kind) {
    auto *h = static_cast<Handle *>(handle);
    return h != nullptr && h->kind == kind ? static_cast<H *>(h) : nullptr;
}

template <class T>
void remove(std::vector<T *> &list, T *item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

SQLRETURN allocConnection(Env &env, SQLHANDLE *out) {
    auto *dbc = new (std::nothrow) Dbc(env);
    if (dbc == nullptr) {
        ZoErrorKeeper::addMemoryError();
        return SQL_ERROR;
    }
    std::lock_guard<std::mutex> lock(env.mutex);
    env.connections.push_back(dbc);
    *out = dbc;
    return SQL_SUCCESS;
}

SQLRETURN allocStatement(Dbc &dbc, SQLHANDLE *out) {
    if (!dbc.connected())
        return fail(OdbcError::NotConnected, "The connection is not open.");
    auto *stmt = new (std::nothrow) Stmt(dbc);
    if (stmt == nullptr) {
        ZoErrorKeeper::addMemoryError();
        return SQL_ERROR;
    }
    dbc.statements.push_back(stmt);
    *out = stmt;
    return SQL_SUCCESS;
}

SQLRETURN allocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE *out) {
    if (type == SQL_HANDLE_ENV) {
        if (out == nullptr)
            return SQL_ERROR;
        *out = SQL_NULL_HENV;
        Env *env = new (std::nothrow) Env;
        if (env == nullptr)
            return SQL_ERROR;
        *out = env;
        return SQL_SUCCESS;
    }
    if (type == SQL_HANDLE_DBC) {
        return call(asEnv(input), "SQLAllocHandle(DBC)", [&](Env &env, CallScope &) {
            if (out == nullptr)
                return fail(OdbcError::NullPointer, "The output handle pointer is null.");
            *out = SQL_NULL_HDBC;
            return allocConnection(env, out);
        });
    }
    if (type == SQL_HANDLE_STMT) {
        return call(asDbc(input), "SQLAllocHandle(STMT)", [&](Dbc &dbc, CallScope &) {
            if (out == nullptr)
                return fail(OdbcError::NullPointer, "The output handle pointer is null.");
            *out = SQL_NULL_HSTMT;
            return allocStatement(dbc, out);
        });
    }
    if (type == SQL_HANDLE_DESC) {
        return call(asDbc(input), "SQLAllocHandle(DESC)", [&](Dbc &, CallScope &) {
            return fail(OdbcError::NotImplemented, "Descriptors are only the four every statement has.");
        });
    }
    return SQL_ERROR;
}

SQLRETURN freeEnv(Env *env) {
    if (env == nullptr)
        return SQL_INVALID_HANDLE;
    bool hasConnections;
    {
        std::lock_guard<std::mutex> lock(env->mutex);
        hasConnections = !env->connections.empty();
    }
    if (hasConnections) {
        CallScope scope(*env, "SQLFreeHandle(ENV)");
        report(OdbcError::Sequence, "The environment still has connections.");
        return scope.finish(SQL_ERROR);
    }
    delete env;
    return SQL_SUCCESS;
}

SQLRETURN freeDbc(Dbc *dbc) {
    if (dbc == nullptr)
        return SQL_INVALID_HANDLE;
    {
        CallScope scope(*dbc, "SQLFreeHandle(DBC)");
        if (dbc->connected()) {
            report(OdbcError::Sequence, "The connection is still open: disconnect first.");
            return scope.finish(SQL_ERROR);
        }
    }
    Env &env = dbc->env;
    {
        std::lock_guard<std::mutex> lock(env.mutex);
        remove(env.connections, dbc);
    }
    delete dbc;
    return SQL_SUCCESS;
}

} // namespace

SQLRETURN freeStatement(Stmt *stmt) {
    if (stmt == nullptr)
        return SQL_INVALID_HANDLE;
    Dbc &dbc = stmt->dbc;
    std::lock_guard<std::recursive_mutex> lock(dbc.mutex);
    if (dbc.trace.active())
        dbc.trace.line("SQLFreeHandle(STMT) = SQL_SUCCESS");
    remove(dbc.statements, stmt);
    delete stmt;
    return SQL_SUCCESS;
}

Env *asEnv(SQLHANDLE handle) { return asKind<Env>(handle, Kind::Env); }
Dbc *asDbc(SQLHANDLE handle) { return asKind<Dbc>(handle, Kind::Dbc); }
Stmt *asStmt(SQLHANDLE handle) { return asKind<Stmt>(handle, Kind::Stmt); }
Desc *asDesc(SQLHANDLE handle) { return asKind<Desc>(handle, Kind::Desc); }

// The environment holds the library's per-task data (the message texts) while it lives.
Env::Env() : Handle(Kind::Env) { (void)mdsPerTaskInit(); } // without texts, messages are empty
Env::~Env() { mdsPerTaskTerm(); }

Dbc::~Dbc() {
    for (Stmt *stmt : statements)
        delete stmt;
}

Stmt::Stmt(Dbc &dbc) : Handle(Kind::Stmt), dbc(dbc), columnBindings(1), parameters(1) {}
Stmt::~Stmt() { unprepare(); }

bool ListResult::next(std::vector<Value> *row) {
    if (cursor_ >= rows.size())
        return false;
    *row = rows[cursor_++];
    return true;
}

} // namespace zotext::odbc

using namespace zotext::odbc;

namespace {

SQLRETURN setEnvAttr(Env &env, SQLINTEGER attribute, SQLPOINTER value) {
    const auto number = static_cast<SQLUINTEGER>(reinterpret_cast<uintptr_t>(value));
    switch (attribute) {
    case SQL_ATTR_ODBC_VERSION:
        if (number != SQL_OV_ODBC2 && number != SQL_OV_ODBC3 && number != SQL_OV_ODBC3_80)
            return fail(OdbcError::AttributeValue, "The ODBC version is not one of 2, 3 and 3.80.");
        env.odbcVersion = static_cast<SQLINTEGER>(number);
        return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_POOLING: env.pooling = number; return SQL_SUCCESS;
    case SQL_ATTR_CP_MATCH: env.poolMatch = number; return SQL_SUCCESS;
    case SQL_ATTR_OUTPUT_NTS:
        if (number != SQL_TRUE)
            return fail(OdbcError::NotImplemented, "Output text is always NUL-terminated.");
        return SQL_SUCCESS;
    default: return fail(OdbcError::AttributeUnknown, "Unknown environment attribute.");
    }
}

SQLRETURN getEnvAttr(Env &env, SQLINTEGER attribute, SQLPOINTER value) {
    SQLINTEGER number;
    switch (attribute) {
    case SQL_ATTR_ODBC_VERSION: number = env.odbcVersion; break;
    case SQL_ATTR_CONNECTION_POOLING: number = static_cast<SQLINTEGER>(env.pooling); break;
    case SQL_ATTR_CP_MATCH: number = static_cast<SQLINTEGER>(env.poolMatch); break;
    case SQL_ATTR_OUTPUT_NTS: number = SQL_TRUE; break;
    default: return fail(OdbcError::AttributeUnknown, "Unknown environment attribute.");
    }
    if (value != nullptr)
        *static_cast<SQLINTEGER *>(value) = number;
    return SQL_SUCCESS;
}

} // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT HandleType, SQLHANDLE InputHandle, SQLHANDLE *OutputHandle) {
    return allocHandle(HandleType, InputHandle, OutputHandle);
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT HandleType, SQLHANDLE Handle) {
    switch (HandleType) {
    case SQL_HANDLE_ENV: return freeEnv(asEnv(Handle));
    case SQL_HANDLE_DBC: return freeDbc(asDbc(Handle));
    case SQL_HANDLE_STMT: return freeStatement(asStmt(Handle));
    case SQL_HANDLE_DESC:
        return call(asDesc(Handle), "SQLFreeHandle(DESC)", [](Desc &, CallScope &) {
            return fail(OdbcError::ImplicitDescriptor, "A statement's own descriptors go with the statement.");
        });
    default: return SQL_INVALID_HANDLE;
    }
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV EnvironmentHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                SQLINTEGER StringLength) {
    (void)StringLength; // every environment attribute is a number
    return call(asEnv(EnvironmentHandle), "SQLSetEnvAttr",
                [&](Env &env, CallScope &) { return setEnvAttr(env, Attribute, Value); });
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV EnvironmentHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                SQLINTEGER BufferLength, SQLINTEGER *StringLength) {
    (void)BufferLength; // every environment attribute is a number
    if (StringLength != nullptr)
        *StringLength = sizeof(SQLINTEGER);
    return call(asEnv(EnvironmentHandle), "SQLGetEnvAttr",
                [&](Env &env, CallScope &) { return getEnvAttr(env, Attribute, Value); });
}

} // extern "C"
