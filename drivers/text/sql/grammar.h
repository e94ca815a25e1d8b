// The SQL dialect of the text driver, as packed-block source for ZoParser: the keyword list
// and the productions, each an array of resourceElement records (text, value).
//
// Statements: SELECT (select list with aliases, FROM with joins, WHERE, GROUP BY, HAVING,
// UNION, ORDER BY), INSERT, UPDATE, DELETE, CREATE TABLE, DROP TABLE and the call escape.
// The ODBC escape clauses {fn ...}, {d '...'}, {t '...'}, {ts '...'}, {oj ...} and
// {escape '...'} and parameter markers are accepted wherever a value or table may stand.
// The grammar accepts more than the engine runs (subqueries, EXISTS, the call escape): the
// translator reports those as features not implemented, with their place in the statement.
//
// Writing notes. The grammar avoids overlapping alternatives: every choice the engine has
// to guess multiplies the work on input that fails late. A parenthesised condition and a
// parenthesised expression are one item (a condition in parentheses is a primary), which
// the translator checks for type; the only guess left is a select item's "t.*". Escape
// keywords (fn, d, oj...) are ~ words inside the production that reads the brace: a
// production's first list keeps one entry per token type, so alternatives that begin with
// different ~ words must not sit behind a reference.
#pragma once

#include <zo/zolexer.h>

namespace zotext::sql {

#define ZO_SQL_RECORD(text, value)                                                                                     \
    { reinterpret_cast<const unsigned char *>(text), value }

// Keyword token types: 100 and up, clear of the lexer's fixed types.
inline const resourceElement kKeywords[] = {
    ZO_SQL_RECORD("SELECT", 100), ZO_SQL_RECORD("DISTINCT", 101), ZO_SQL_RECORD("ALL", 102),
    ZO_SQL_RECORD("FROM", 103),   ZO_SQL_RECORD("WHERE", 104),    ZO_SQL_RECORD("GROUP", 105),
    ZO_SQL_RECORD("BY", 106),     ZO_SQL_RECORD("HAVING", 107),   ZO_SQL_RECORD("ORDER", 108),
    ZO_SQL_RECORD("ASC", 109),    ZO_SQL_RECORD("DESC", 110),     ZO_SQL_RECORD("AS", 111),
    ZO_SQL_RECORD("JOIN", 112),   ZO_SQL_RECORD("INNER", 113),    ZO_SQL_RECORD("LEFT", 114),
    ZO_SQL_RECORD("RIGHT", 115),  ZO_SQL_RECORD("FULL", 116),     ZO_SQL_RECORD("OUTER", 117),
    ZO_SQL_RECORD("CROSS", 118),  ZO_SQL_RECORD("ON", 119),       ZO_SQL_RECORD("AND", 120),
    ZO_SQL_RECORD("OR", 121),     ZO_SQL_RECORD("NOT", 122),      ZO_SQL_RECORD("LIKE", 123),
    ZO_SQL_RECORD("ESCAPE", 124), ZO_SQL_RECORD("IN", 125),       ZO_SQL_RECORD("BETWEEN", 126),
    ZO_SQL_RECORD("IS", 127),     ZO_SQL_RECORD("NULL", 128),     ZO_SQL_RECORD("INSERT", 129),
    ZO_SQL_RECORD("INTO", 130),   ZO_SQL_RECORD("VALUES", 131),   ZO_SQL_RECORD("UPDATE", 132),
    ZO_SQL_RECORD("SET", 133),    ZO_SQL_RECORD("DELETE", 134),   ZO_SQL_RECORD("CREATE", 135),
    ZO_SQL_RECORD("TABLE", 136),  ZO_SQL_RECORD("DROP", 137),     ZO_SQL_RECORD("UNION", 138),
    ZO_SQL_RECORD("EXISTS", 139), ZO_SQL_RECORD("CASE", 140),     ZO_SQL_RECORD("WHEN", 141),
    ZO_SQL_RECORD("THEN", 142),   ZO_SQL_RECORD("ELSE", 143),     ZO_SQL_RECORD("END", 144),
    ZO_SQL_RECORD("CAST", 145),   ZO_SQL_RECORD("PRIMARY", 146),  ZO_SQL_RECORD("KEY", 147),
    ZO_SQL_RECORD("UNIQUE", 148), ZO_SQL_RECORD("DEFAULT", 149),
};

// Productions, numbered from 1000; parsing starts at goal.
inline const resourceElement kGrammar[] = {
    ZO_SQL_RECORD("goal ::= statement [ ; ]", 1000),
    ZO_SQL_RECORD("statement ::= query | insert-statement | update-statement | delete-statement"
                  " | create-statement | drop-statement | call-escape",
                  1001),

    // Queries.
    ZO_SQL_RECORD("query ::= query-block { UNION [ ALL ] query-block }* [ order-by ]", 1002),
    ZO_SQL_RECORD("query-block ::= SELECT [ DISTINCT | ALL ] select-list [ from-clause ]"
                  " [ where-clause ] [ group-by ] [ having ]",
                  1003),
    ZO_SQL_RECORD("select-list ::= * | select-item { , select-item }*", 1004),
    ZO_SQL_RECORD("select-item ::= search-condition [ [ AS ] identifier ] | identifier . *", 1005),
    ZO_SQL_RECORD("from-clause ::= FROM table-ref { , table-ref }*", 1006),
    ZO_SQL_RECORD("table-ref ::= table-primary { join }*", 1007),
    ZO_SQL_RECORD("table-primary ::= table-name [ [ AS ] identifier ]"
                  " | ( query ) [ AS ] identifier | \\{ ~oj table-ref \\}",
                  1008),
    ZO_SQL_RECORD("join ::= [ INNER | { LEFT | RIGHT | FULL } [ OUTER ] ] JOIN table-primary"
                  " ON search-condition | CROSS JOIN table-primary",
                  1009),
    ZO_SQL_RECORD("where-clause ::= WHERE search-condition", 1010),
    ZO_SQL_RECORD("group-by ::= GROUP BY expr { , expr }*", 1011),
    ZO_SQL_RECORD("having ::= HAVING search-condition", 1012),
    ZO_SQL_RECORD("order-by ::= ORDER BY sort-key { , sort-key }*", 1013),
    ZO_SQL_RECORD("sort-key ::= expr [ ASC | DESC ]", 1014),

    // Conditions.
    ZO_SQL_RECORD("search-condition ::= boolean-term { OR boolean-term }*", 1015),
    ZO_SQL_RECORD("boolean-term ::= boolean-factor { AND boolean-factor }*", 1016),
    ZO_SQL_RECORD("boolean-factor ::= [ NOT ] predicate", 1017),
    ZO_SQL_RECORD("exists ::= EXISTS ( query )", 1018),
    ZO_SQL_RECORD("predicate ::= exists | expr [ predicate-tail ]", 1019),
    ZO_SQL_RECORD("predicate-tail ::= comparison expr | IS [ NOT ] NULL | [ NOT ] negatable", 1020),
    ZO_SQL_RECORD("negatable ::= BETWEEN expr AND expr | IN ( in-values )"
                  " | LIKE expr [ ESCAPE expr | \\{ ESCAPE string \\} ]",
                  1021),
    ZO_SQL_RECORD("comparison ::= = | < [ > | = ] | > [ = ] | ! =", 1022),
    ZO_SQL_RECORD("in-values ::= query | expr { , expr }*", 1023),

    // Expressions.
    ZO_SQL_RECORD("expr ::= term { { + | - | \\| \\| } term }*", 1024),
    ZO_SQL_RECORD("term ::= factor { { * | / | % } factor }*", 1025),
    ZO_SQL_RECORD("factor ::= [ + | - ] primary", 1026),
    ZO_SQL_RECORD("primary ::= column-or-call | literal | ? | ( paren-body ) | case-expr"
                  " | CAST ( expr AS data-type ) | LEFT ( call-args ) | RIGHT ( call-args )"
                  " | escape-value",
                  1027),
    ZO_SQL_RECORD("paren-body ::= query | search-condition", 1028),
    ZO_SQL_RECORD("column-or-call ::= identifier [ . identifier [ . identifier ] ]"
                  " [ ( [ call-args ] ) ]",
                  1029),
    ZO_SQL_RECORD("call-args ::= * | [ DISTINCT | ALL ] expr { , expr }*", 1030),
    ZO_SQL_RECORD("case-expr ::= CASE [ expr ] { WHEN search-condition THEN expr }+"
                  " [ ELSE expr ] END",
                  1031),
    ZO_SQL_RECORD("literal ::= unsigned-number | string | NULL", 1032),
    ZO_SQL_RECORD("unsigned-number ::= number [ . [ number ] ] | . number", 1033),
    ZO_SQL_RECORD("string ::= \\' literal-contents \\'", 1034),
    ZO_SQL_RECORD("escape-value ::= \\{ { ~fn function-call | ~d string | ~t string | ~ts string } \\}", 1035),
    ZO_SQL_RECORD("function-call ::= { identifier | LEFT | RIGHT | INSERT } ( [ call-args ] )", 1036),
    ZO_SQL_RECORD("identifier ::= alphanum | \\\" literal-contents \\\" | \\` literal-contents \\`", 1037),
    ZO_SQL_RECORD("table-name ::= identifier [ . identifier ]", 1038),

    // Changes and definitions.
    ZO_SQL_RECORD("insert-statement ::= INSERT INTO table-name [ ( column-list ) ]"
                  " { VALUES ( expr { , expr }* ) | query }",
                  1039),
    ZO_SQL_RECORD("column-list ::= identifier { , identifier }*", 1040),
    ZO_SQL_RECORD("update-statement ::= UPDATE table-name SET assignment { , assignment }*"
                  " [ where-clause ]",
                  1041),
    ZO_SQL_RECORD("assignment ::= identifier = expr", 1042),
    ZO_SQL_RECORD("delete-statement ::= DELETE FROM table-name [ where-clause ]", 1043),
    ZO_SQL_RECORD("create-statement ::= CREATE TABLE table-name ( table-element"
                  " { , table-element }* )",
                  1044),
    ZO_SQL_RECORD("table-element ::= column-def | PRIMARY KEY ( column-list )"
                  " | UNIQUE ( column-list )",
                  1045),
    ZO_SQL_RECORD("column-def ::= identifier data-type { column-constraint }*", 1046),
    ZO_SQL_RECORD("data-type ::= alphanum [ alphanum ] [ ( number [ , number ] ) ]", 1047),
    ZO_SQL_RECORD("column-constraint ::= NOT NULL | NULL | PRIMARY KEY | UNIQUE"
                  " | DEFAULT { literal | - unsigned-number }",
                  1048),
    ZO_SQL_RECORD("drop-statement ::= DROP TABLE table-name", 1049),
    ZO_SQL_RECORD("call-escape ::= \\{ [ ? = ] ~call table-name [ ( [ expr { , expr }* ] ) ] \\}", 1050),
};

#undef ZO_SQL_RECORD

inline constexpr unsigned short kKeywordCount = sizeof kKeywords / sizeof kKeywords[0];
inline constexpr unsigned short kGrammarCount = sizeof kGrammar / sizeof kGrammar[0];

} // namespace zotext::sql
