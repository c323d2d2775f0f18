// Statement builders: the exact statement texts the program sends for its fixed operations,
// as text-producing functions, and the operations that send them. None of them quotes or
// escapes its arguments: callers pass names in backticks and values escaped by
// escape_sql_value where they want them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"

namespace qb::db {

// For a value between apostrophes: every backslash, apostrophe and NUL byte gets a backslash,
// and so does a lead byte that starts no valid GBK character (else the server would join it
// with the escaping backslash into one character and the apostrophe would end the string).
std::string escape_sql_value(const std::string& value);
// The same, appended to out.
void append_escaped_sql_value(std::string& out, std::string_view value);

// A name as an identifier between backquotes, exactly (a backquote in it doubled): for names
// the server gave (columns, tables listed).
std::string quote_identifier(const std::string& name);
// A name as the operator typed it, bare or already between backquotes, as an identifier.
std::string quote_typed_name(const std::string& typed);
// The first character of name that the server's lexer misreads between backquotes (a GBK
// character whose second byte is the backquote, 乣 81 60 and about a hundred others); empty
// when there is none.
std::string misread_name_character(const std::string& name);
// The operator's message for such a name ("库名", "表名", ...: what it names), or empty when
// the name can be sent.
std::string misread_name_message(const std::string& what, const std::string& name);

struct ColumnSpec {
    int kind = 1;  // 1 column, 2 key entry
    std::string name;
    int type_code = 253;
    bool allow_null = true;
    std::string default_value;
    bool auto_increment = false;
    int attributes = 0;            // 1 length given, 2 UNSIGNED, 4 ZEROFILL, 8 BINARY
    std::string length_or_values;  // key entry: the index name
    std::string primary_key_columns;
    std::string index_columns;
};

// The type name of a code ("varchar" for 253); empty for a code without a type.
std::string type_name(int code);

// Statement texts; nullopt where the operation would send nothing.
std::string insert_record_sql(const std::string& table, const std::string& assignments);
std::string delete_records_sql(const std::string& table, const std::string& condition);
std::optional<std::string> create_table_sql(const std::string& table,
                                            const std::vector<ColumnSpec>& columns);
enum AlterAction {
    kAddColumn = 1,
    kChangeColumn = 2,
    kDropColumn = 3,
    kAddIndex = 4,
    kDropIndex = 5,
    kAddPrimaryKey = 6,
    kDropPrimaryKey = 7,
};
std::optional<std::string> alter_table_sql(const std::string& table, int action,
                                           const std::string& column_name,
                                           const std::string& primary_key_columns,
                                           const std::string& index_name,
                                           const std::string& index_columns,
                                           const ColumnSpec& column);

// Rights: bits 1..4096 name select ... file; 8192 all; 0 none.
constexpr int kAllRights = 8192;
std::string grant_rights_text(int rights);
std::string grant_on_clause(const std::string& database, const std::string& table);
std::string grant_user_sql(const std::string& host, const std::string& user,
                           const std::string& password, const std::string& database,
                           const std::string& table, int rights);
std::string user_exists_sql(const std::string& host, const std::string& user);
// The nine privilege columns: "Select_priv='Y',...,References_priv='N' ".
std::string privilege_columns(int rights);

// Operations: false at once on a null connection; true when the (last) statement succeeded.
bool insert_record(Connection* c, const std::string& table, const std::string& assignments);
bool delete_records(Connection* c, const std::string& table, const std::string& condition);
bool create_database(Connection* c, const std::string& name);
bool drop_database(Connection* c, const std::string& name);
bool list_databases(Connection* c);
bool list_tables(Connection* c);
bool drop_table(Connection* c, const std::string& table);
bool create_table(Connection* c, const std::string& table, const std::vector<ColumnSpec>& columns);
bool alter_table(Connection* c, const std::string& table, int action,
                 const std::string& column_name, const std::string& primary_key_columns,
                 const std::string& index_name, const std::string& index_columns,
                 const ColumnSpec& column);
bool begin_transaction(Connection* c);
bool commit_transaction(Connection* c);
bool rollback_transaction(Connection* c);
bool list_users(Connection* c);
bool grant_user(Connection* c, const std::string& host, const std::string& user,
                const std::string& password, const std::string& database, const std::string& table,
                int rights);
bool remove_user(Connection* c, const std::string& user, const std::string& host);
bool set_user_rights(Connection* c, const std::string& host, const std::string& user,
                     const std::string& database, const std::string& table, int rights);

}  // namespace qb::db
