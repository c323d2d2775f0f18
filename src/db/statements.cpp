#include "db/statements.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "text/gbk.h"
#include "text/iconv_text.h"

namespace qb::db {

namespace {

std::string lower(std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

bool one_of(const std::string& lowered, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return lowered == n; });
}

const std::array<const char*, 13> kRightNames = {
    "select", "insert",     "update", "delete",   "index",   "alter", "create",
    "drop",   "references", "reload", "shutdown", "process", "file"};

const std::array<const char*, 9> kPrivilegeColumns = {
    "Select_priv=", "Insert_priv=", "Update_priv=", "Delete_priv=",    "Index_priv=",
    "Alter_priv=",  "Create_priv=", "Drop_priv=",   "References_priv="};

// The text of one column entry without its separator; nullopt for an unknown type code.
// auto_increment_used is shared by the entries of one statement.
std::optional<std::string> column_text(const ColumnSpec& c, bool& auto_increment_used) {
    const std::string type = type_name(c.type_code);
    if (type.empty()) return std::nullopt;
    const std::string t = lower(type);
    const bool enum_or_set = t == "enum" || t == "set";
    const bool numeric = one_of(t, {"tinyint", "smallint", "mediumint", "int", "bigint", "real",
                                    "double", "float", "decimal", "numeric"});
    const bool character = t == "char" || t == "varchar";
    std::string s = c.name + " " + type + " ";
    if (enum_or_set) s += "(" + c.length_or_values + ")";
    if ((numeric || character) && (c.attributes & 1)) s += " (" + c.length_or_values + ") ";
    if (numeric && (c.attributes & 2)) s += " UNSIGNED ";
    if (numeric && (c.attributes & 4)) s += " ZEROFILL ";
    if (character && (c.attributes & 8)) s += " BINARY ";
    if (!c.allow_null) s += " NOT NULL ";
    if (c.auto_increment && !auto_increment_used && !enum_or_set) {
        s += "AUTO_INCREMENT";
        auto_increment_used = true;
    }
    if (!c.default_value.empty()) s += " DEFAULT  '" + c.default_value + "' ";
    return s;
}

}  // namespace

std::string quote_identifier(const std::string& name) {
    return "`" + text::replace_all(name, "`", "``") + "`";
}

std::string misread_name_character(const std::string& name) {
    for (size_t i = 0; i < name.size();) {
        const size_t n = text::char_size_at(name, i);
        if (n == 2 && name[i + 1] == '`') return name.substr(i, 2);
        i += n;
    }
    return {};
}

std::string misread_name_message(const std::string& what, const std::string& name) {
    const std::string c = misread_name_character(name);
    if (c.empty()) return {};
    return what + text::G("“") + name + text::G("”中的字符“") + c +
           text::G("”会被 MySQL 服务器读错，请换一个名称！");
}

namespace {

std::string host_or_any(const std::string& host) {
    return host.empty() ? "%" : host;
}

// A value between apostrophes in a statement.
std::string quoted(const std::string& value) {
    return "'" + escape_sql_value(value) + "'";
}

std::string account(const std::string& user, const std::string& host) {
    return quoted(user) + "@" + quoted(host);
}

// A database or table name as the operator typed it: either bare, or already between
// backquotes (the help texts ask for that with Chinese names). The name itself: the quotes
// taken off (a doubled backquote inside stands for one) when the quoting is whole; anything
// else is the name as typed.
std::string bare_name(const std::string& typed) {
    if (typed.size() < 2 || typed.front() != '`') return typed;
    // The closing backquote must be a character of its own, not the second byte of one.
    size_t last = 0;
    for (size_t n; last + (n = text::char_size_at(typed, last)) < typed.size();) last += n;
    if (last != typed.size() - 1 || typed.back() != '`') return typed;
    const std::string inner = typed.substr(1, typed.size() - 2);
    if (text::find(text::replace_all(inner, "``", ""), "`") != -1) return typed;
    return text::replace_all(inner, "``", "`");
}

// The name as an identifier between backquotes, whatever it holds.
std::string quoted_name(const std::string& typed) {
    return quote_identifier(bare_name(typed));
}

std::string account_where(const std::string& host, const std::string& user) {
    return " where host=" + quoted(host) + " and user=" + quoted(user);
}

// True when the query succeeds and returns at least one row; the result is released.
bool has_rows(Connection* c, const std::string& query) {
    if (!execute_sql(c, query)) return false;
    auto r = take_result(c);
    return r && r->row_count() > 0;
}

bool flush_privileges(Connection* c) {
    return execute_sql(c, "FLUSH PRIVILEGES");
}

// The rights the window shows, as privilege columns and as names: the first nine bits, all
// of them for "all rights".
int nine_rights(int rights) {
    return (rights & kAllRights) ? 511 : (rights & 511);
}

// A grant-table edit the server refused (its grant tables are views), done with the account
// statements: the nine rights are granted or taken away on the scope and every other
// privilege of the account stays as it was. The new ones are granted first, so that a
// refused GRANT changes nothing.
bool regrant(Connection* c, const std::string& host, const std::string& user,
             const std::string& database, const std::string& table, int rights) {
    const int granted = nine_rights(rights);
    const std::string on = grant_on_clause(database, table);
    const std::string scope = on.substr(3, on.size() - 3 - 4);  // between "ON " and " TO "
    const std::string who = account(user, host);
    if (granted != 0 && !execute_sql(c, "GRANT " + grant_rights_text(granted) + on + who))
        return false;
    const int taken = 511 & ~granted;
    if (execute_sql(c, "REVOKE " + grant_rights_text(taken) + "ON " + scope + " FROM " + who))
        return true;
    // No grant on that scope at all: there was nothing to take away.
    constexpr unsigned kNoSuchGrant = 1141, kNoSuchTableGrant = 1147;
    const unsigned code = last_error_code(c);
    return granted == 0 && (code == kNoSuchGrant || code == kNoSuchTableGrant);
}

}  // namespace

std::string quote_typed_name(const std::string& typed) {
    return quoted_name(typed);
}

void append_escaped_sql_value(std::string& out, std::string_view value) {
    out.reserve(out.size() + value.size() + value.size() / 8 + 2);
    const auto* p = reinterpret_cast<const unsigned char*>(value.data());
    const size_t n = value.size();
    // Whole runs of characters that need nothing are copied at once: a character walk by
    // hand, for this is where an import spends its time.
    size_t run = 0;
    auto escape = [&](size_t i) {
        out.append(value, run, i - run);
        out += '\\';
        out += p[i] == 0 ? '0' : static_cast<char>(p[i]);
        run = i + 1;
    };
    for (size_t i = 0; i < n;) {
        const unsigned char ch = p[i];
        if (ch < 0x80) {
            if (ch == '\\' || ch == '\'' || ch == 0) escape(i);
            ++i;
        } else if (const size_t size = text::char_size_at(value, i); size > 1) {
            i += size;
        } else {
            // A lone lead byte would take the quote or backslash after it as its trail.
            if (text::is_lead_byte(ch)) escape(i);
            ++i;
        }
    }
    out.append(value, run, std::string::npos);
}

std::string escape_sql_value(const std::string& value) {
    std::string out;
    append_escaped_sql_value(out, value);
    return out;
}

std::string type_name(int code) {
    switch (code) {
        case 0:
            return "decimal";
        case 101:
            return "tinyint";
        case 102:
            return "bool";
        case 2:
            return "smallint";
        case 3:
            return "int";
        case 4:
            return "float";
        case 5:
            return "double";
        case 7:
            return "timestamp";
        case 8:
            return "bigint";
        case 9:
            return "mediumint";
        case 10:
            return "date";
        case 11:
            return "time";
        case 12:
            return "datetime";
        case 13:
            return "year";
        case 25201:
            return "tinyblob";
        case 25202:
            return "tinytext";
        case 25203:
            return "text";
        case 25204:
            return "blob";
        case 25205:
            return "mediumblob";
        case 25206:
            return "mediumtext";
        case 25207:
            return "longblob";
        case 25208:
            return "longtext";
        case 253:
            return "varchar";
        case 25401:
            return "enum";
        case 25402:
            return "set";
        case 25403:
            return "char";
        default:
            return {};
    }
}

std::string insert_record_sql(const std::string& table, const std::string& assignments) {
    return "insert into " + table + " set " + assignments;
}

std::string delete_records_sql(const std::string& table, const std::string& condition) {
    return "delete from " + table + (condition.empty() ? "" : " where " + condition);
}

std::optional<std::string> create_table_sql(const std::string& table,
                                            const std::vector<ColumnSpec>& columns) {
    std::vector<std::string> pieces;
    bool auto_increment_used = false;
    for (const ColumnSpec& c : columns) {
        if (c.kind == 2) {
            if (!c.primary_key_columns.empty()) {
                pieces.push_back(" PRIMARY KEY  (" + c.primary_key_columns + ") ");
                pieces.push_back(", ");
            }
            if (!c.index_columns.empty()) {
                pieces.push_back(" INDEX  " + c.length_or_values + "  (" + c.index_columns + ") ");
                pieces.push_back(", ");
            }
            continue;
        }
        auto text = column_text(c, auto_increment_used);
        if (!text) return std::nullopt;
        pieces.push_back(*text);
        pieces.push_back(",");
    }
    if (!pieces.empty()) pieces.pop_back();
    std::string body;
    for (const auto& p : pieces) body += p;
    return "create table " + table + " (" + body + ")";
}

std::optional<std::string> alter_table_sql(const std::string& table, int action,
                                           const std::string& column_name,
                                           const std::string& primary_key_columns,
                                           const std::string& index_name,
                                           const std::string& index_columns,
                                           const ColumnSpec& column) {
    std::string s = "ALTER TABLE " + table + " ";
    bool auto_increment_used = false;
    switch (action) {
        case kAddColumn:
        case kChangeColumn: {
            auto text = column_text(column, auto_increment_used);
            if (!text) return std::nullopt;
            s += action == kAddColumn ? " ADD " + *text : " CHANGE  " + column_name + " " + *text;
            break;
        }
        case kDropColumn:
            s += " DROP " + column_name;
            break;
        case kAddIndex:
            s += " ADD INDEX  " + index_name + "  (" + index_columns + ") ";
            break;
        case kDropIndex:
            s += " DROP INDEX " + index_name + " ";
            break;
        case kAddPrimaryKey:
            if (primary_key_columns.empty()) return std::nullopt;
            s += " ADD PRIMARY KEY  (" + primary_key_columns + ") ";
            break;
        case kDropPrimaryKey:
            s += " DROP PRIMARY KEY ";
            break;
        default:
            break;
    }
    return s;
}

std::string grant_rights_text(int rights) {
    if (rights == 0) return "USAGE ";
    if (rights & kAllRights) return "ALL PRIVILEGES ";
    std::string s;
    for (size_t bit = 0; bit < kRightNames.size(); ++bit)
        if (rights & (1 << bit)) s += std::string(kRightNames[bit]) + ",";
    if (s.empty()) return "USAGE ";  // only bits beyond the named ones
    s.back() = ' ';
    return s;
}

std::string grant_on_clause(const std::string& database, const std::string& table) {
    if (database.empty() || database[0] == '*') return "ON *.* TO ";
    if (table.empty() || table[0] == '*') return "ON " + quoted_name(database) + ".* TO ";
    return "ON " + quoted_name(database) + "." + quoted_name(table) + " TO ";
}

std::string grant_user_sql(const std::string& host, const std::string& user,
                           const std::string& password, const std::string& database,
                           const std::string& table, int rights) {
    std::string s = "GRANT " + grant_rights_text(rights) + grant_on_clause(database, table) +
                    account(user, host_or_any(host));
    if (!password.empty()) s += " IDENTIFIED BY " + quoted(password);
    return s;
}

std::string user_exists_sql(const std::string& host, const std::string& user) {
    return "select * from mysql.user" + account_where(host_or_any(host), user);
}

std::string privilege_columns(int rights) {
    // "All rights" sets every column; otherwise only the first nine bits count.
    if (rights & kAllRights) rights = 511;
    std::string s;
    for (size_t bit = 0; bit < kPrivilegeColumns.size(); ++bit)
        s += std::string(kPrivilegeColumns[bit]) + ((rights & (1 << bit)) ? "'Y'" : "'N'") + ",";
    s.back() = ' ';
    return s;
}

bool insert_record(Connection* c, const std::string& table, const std::string& assignments) {
    return c && execute_sql(c, insert_record_sql(table, assignments));
}

bool delete_records(Connection* c, const std::string& table, const std::string& condition) {
    return c && execute_sql(c, delete_records_sql(table, condition));
}

bool create_database(Connection* c, const std::string& name) {
    return c && execute_sql(c, "create database " + name);
}

bool drop_database(Connection* c, const std::string& name) {
    return c && execute_sql(c, "drop database " + name);
}

bool list_databases(Connection* c) {
    return c && execute_sql(c, "show databases");
}
bool list_tables(Connection* c) {
    return c && execute_sql(c, "show tables");
}

bool drop_table(Connection* c, const std::string& table) {
    return c && execute_sql(c, "drop table " + table);
}

bool create_table(Connection* c, const std::string& table, const std::vector<ColumnSpec>& columns) {
    if (!c) return false;
    auto sql = create_table_sql(table, columns);
    return sql && execute_sql(c, *sql);
}

bool alter_table(Connection* c, const std::string& table, int action,
                 const std::string& column_name, const std::string& primary_key_columns,
                 const std::string& index_name, const std::string& index_columns,
                 const ColumnSpec& column) {
    if (!c) return false;
    auto sql = alter_table_sql(table, action, column_name, primary_key_columns, index_name,
                               index_columns, column);
    return sql && execute_sql(c, *sql);
}

bool begin_transaction(Connection* c) {
    return c && execute_sql(c, "begin");
}
bool commit_transaction(Connection* c) {
    return c && execute_sql(c, "commit");
}
bool rollback_transaction(Connection* c) {
    return c && execute_sql(c, "rollback");
}
bool list_users(Connection* c) {
    return c && execute_sql(c, "select * from mysql.user");
}

bool grant_user(Connection* c, const std::string& host, const std::string& user,
                const std::string& password, const std::string& database, const std::string& table,
                int rights) {
    if (!c || has_rows(c, user_exists_sql(host, user))) return false;
    if (execute_sql(c, grant_user_sql(host, user, password, database, table, rights))) return true;
    // Servers that no longer create accounts through GRANT (MySQL 8, or a GRANT without a
    // password under NO_AUTO_CREATE_USER): create the account, then grant; undo the account
    // when the grant is refused, so that a failure leaves nothing behind.
    const std::string who = account(user, host_or_any(host));
    std::string create = "CREATE USER " + who;
    if (!password.empty()) create += " IDENTIFIED BY " + quoted(password);
    if (!execute_sql(c, create)) return false;
    if (execute_sql(c,
                    "GRANT " + grant_rights_text(rights) + grant_on_clause(database, table) + who))
        return true;
    execute_cleanup_sql(c, "DROP USER " + who);
    return false;
}

bool remove_user(Connection* c, const std::string& user, const std::string& host) {
    if (!c || !has_rows(c, user_exists_sql(host, user))) return false;
    const std::string where = account_where(host_or_any(host), user);
    if (!execute_sql(c, "delete from mysql.user" + where)) {
        // mysql.user is a view on current MariaDB servers: the account statement does the
        // same and also takes the account's database, table and column rights.
        return execute_sql(c, "DROP USER " + account(user, host_or_any(host)));
    }
    if (execute_sql(c, "delete from mysql.db" + where) &&
        execute_sql(c, "delete from mysql.tables_priv" + where) &&
        execute_sql(c, "delete from mysql.columns_priv" + where))
        return flush_privileges(c);
    // What was deleted takes effect all the same; the failure is what the caller hears of.
    execute_cleanup_sql(c, "FLUSH PRIVILEGES");
    return false;
}

bool set_user_rights(Connection* c, const std::string& host_in, const std::string& user,
                     const std::string& database, const std::string& table, int rights) {
    if (!c) return false;
    const std::string host = host_or_any(host_in);
    const std::string who = account_where(host, user);
    const std::string db = quoted(bare_name(database));
    bool ok;
    if (database.empty()) {
        ok = execute_sql(c, "update mysql.user set " + privilege_columns(rights) + who);
        // A refused edit of the grant table (a view on current servers) is redone with the
        // account statements.
        if (!ok) return regrant(c, host, user, database, table, rights);
    } else if (!table.empty()) {
        const std::string names = quoted(grant_rights_text(rights));
        const std::string name = quoted(bare_name(table));
        // The same table name in another database is another grant.
        if (has_rows(c, "select * from mysql.tables_priv" + who + " and db=" + db +
                            " and table_name=" + name))
            ok = execute_sql(c, "UPDATE mysql.tables_priv SET Table_priv=" + names + who +
                                    " and db=" + db + " and table_name=" + name);
        else
            ok = execute_sql(c, "insert into mysql.tables_priv set Table_priv=" + names +
                                    " ,user=" + quoted(user) + ", host=" + quoted(host) +
                                    ", db=" + db + ", table_name=" + name);
        if (!ok) return regrant(c, host, user, database, table, rights);
    } else {
        const std::string columns = privilege_columns(rights);
        if (has_rows(c, "select * from mysql.db" + who + " and db=" + db))
            ok = execute_sql(c, "update mysql.db set " + columns + ", db=" + db +
                                    ", host=" + quoted(host) + who + " and db=" + db);
        else
            ok = execute_sql(c, "insert into mysql.db set " + columns + ", user=" + quoted(user) +
                                    ", host=" + quoted(host) + ", db=" + db);
        if (!ok) return regrant(c, host, user, database, table, rights);
    }
    // A direct edit of the grant tables takes effect only once the server reloads them.
    return flush_privileges(c);
}

}  // namespace qb::db
