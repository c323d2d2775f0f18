#include "db/statements.h"

#include <gtest/gtest.h>

#include "test_server.h"
#include "test_util.h"

namespace qb::db {
namespace {

using test::G;

ColumnSpec column(const std::string& name, int code, int attributes = 0,
                  const std::string& length = {}) {
    ColumnSpec c;
    c.name = name;
    c.type_code = code;
    c.attributes = attributes;
    c.length_or_values = length;
    return c;
}

TEST(Escape, BackslashesApostrophesNulAndBrokenLeadBytes) {
    EXPECT_EQ(escape_sql_value("O'Neil"), "O\\'Neil");
    EXPECT_EQ(escape_sql_value("a\\'b"), "a\\\\\\'b");
    EXPECT_EQ(escape_sql_value("end\\"), "end\\\\");
    EXPECT_EQ(escape_sql_value("\\n"), "\\\\n");
    EXPECT_EQ(escape_sql_value(std::string("a\0b", 3)), "a\\0b");
    // 乗 (81 5C) stays one character; its 5C is no backslash.
    EXPECT_EQ(escape_sql_value(G("乗'")), G("乗") + "\\'");
    // A lead byte before an apostrophe starts no character: it is escaped itself, so the
    // server cannot read it together with the escaping backslash.
    EXPECT_EQ(escape_sql_value("\x81'"), "\\\x81\\'");
    EXPECT_EQ(escape_sql_value("\x81"), "\\\x81");
    EXPECT_EQ(escape_sql_value(""), "");
}

TEST(Builders, ExactStatementTexts) {
    EXPECT_EQ(insert_record_sql("`t`", "`a`='1',`b`='2'"), "insert into `t` set `a`='1',`b`='2'");
    EXPECT_EQ(delete_records_sql("t", ""), "delete from t");
    EXPECT_EQ(delete_records_sql("t", "id=1"), "delete from t where id=1");

    ColumnSpec id = column("`ID`", 8);
    id.allow_null = false;
    id.auto_increment = true;
    ColumnSpec second = column("`n`", 3);
    second.auto_increment = true;  // a second one gets no AUTO_INCREMENT
    ColumnSpec name = column("`name`", 253, 1 | 8, "255");
    name.default_value = "x";
    ColumnSpec money = column("`m`", 0, 1 | 2 | 4, "10,2");
    ColumnSpec colour = column("`c`", 25401, 0, "'red','blue'");
    colour.auto_increment = true;
    ColumnSpec key;
    key.kind = 2;
    key.primary_key_columns = "`ID`";
    key.index_columns = "`name`";
    key.length_or_values = "idx_name";
    EXPECT_EQ(*create_table_sql("`t`", {id, second, name, money, colour, key}),
              "create table `t` (`ID` bigint  NOT NULL AUTO_INCREMENT,`n` int ,"
              "`name` varchar  (255)  BINARY  DEFAULT  'x' ,"
              "`m` decimal  (10,2)  UNSIGNED  ZEROFILL ,"
              "`c` enum ('red','blue'), PRIMARY KEY  (`ID`) ,  INDEX  idx_name  (`name`) )");
    EXPECT_FALSE(create_table_sql("t", {column("a", 6)}));
    EXPECT_FALSE(create_table_sql("t", {column("a", 1)}));

    ColumnSpec c = column("`x`", 25203);
    EXPECT_EQ(*alter_table_sql("t", kAddColumn, "", "", "", "", c), "ALTER TABLE t  ADD `x` text ");
    EXPECT_EQ(*alter_table_sql("t", kChangeColumn, "`y`", "", "", "", c),
              "ALTER TABLE t  CHANGE  `y` `x` text ");
    EXPECT_EQ(*alter_table_sql("t", kDropColumn, "`y`", "", "", "", c), "ALTER TABLE t  DROP `y`");
    EXPECT_EQ(*alter_table_sql("t", kAddIndex, "", "", "i1", "`a`,`b`", c),
              "ALTER TABLE t  ADD INDEX  i1  (`a`,`b`) ");
    EXPECT_EQ(*alter_table_sql("t", kDropIndex, "", "", "i1", "", c),
              "ALTER TABLE t  DROP INDEX i1 ");
    EXPECT_EQ(*alter_table_sql("t", kAddPrimaryKey, "", "`a`", "", "", c),
              "ALTER TABLE t  ADD PRIMARY KEY  (`a`) ");
    EXPECT_FALSE(alter_table_sql("t", kAddPrimaryKey, "", "", "", "", c));
    EXPECT_EQ(*alter_table_sql("t", kDropPrimaryKey, "", "", "", "", c),
              "ALTER TABLE t  DROP PRIMARY KEY ");
    EXPECT_EQ(*alter_table_sql("t", 99, "", "", "", "", c), "ALTER TABLE t ");
    EXPECT_FALSE(alter_table_sql("t", kAddColumn, "", "", "", "", column("a", 6)));

    EXPECT_EQ(grant_rights_text(0), "USAGE ");
    EXPECT_EQ(grant_rights_text(kAllRights | 1), "ALL PRIVILEGES ");
    EXPECT_EQ(grant_rights_text(1 | 2 | 4096), "select,insert,file ");
    EXPECT_EQ(grant_on_clause("", "t"), "ON *.* TO ");
    EXPECT_EQ(grant_on_clause("*", ""), "ON *.* TO ");
    // Names between backquotes, whether typed with them or not; values escaped.
    EXPECT_EQ(grant_on_clause("db", "*"), "ON `db`.* TO ");
    EXPECT_EQ(grant_on_clause("db", "t"), "ON `db`.`t` TO ");
    EXPECT_EQ(grant_on_clause("`" + G("库") + "`", "`" + G("姓名") + "`"),
              "ON `" + G("库") + "`.`" + G("姓名") + "` TO ");
    EXPECT_EQ(grant_on_clause("a`b", "`x``y`"), "ON `a``b`.`x``y` TO ");
    // A closing backquote that is the second byte of a GBK character closes nothing.
    EXPECT_EQ(grant_on_clause("`" + G("乣"), ""), "ON ```" + G("乣") + "`.* TO ");
    // Such a character the server misreads between backquotes: the program refuses the name.
    EXPECT_EQ(misread_name_character(G("x乣俙")), G("乣"));
    EXPECT_EQ(misread_name_character(G("中文`x")), "");
    EXPECT_EQ(misread_name_message(G("库名"), G("x俙")),
              G("库名“x俙”中的字符“俙”会被 MySQL 服务器读错，请换一个名称！"));
    EXPECT_EQ(grant_on_clause("`x`.* TO 'root'@'%' -- `", ""),
              "ON ```x``.* TO 'root'@'%' -- ```.* TO ");
    EXPECT_EQ(grant_user_sql("", "u", "", "", "", 0), "GRANT USAGE ON *.* TO 'u'@'%'");
    EXPECT_EQ(grant_user_sql("h", "u", "p", "db", "", 3),
              "GRANT select,insert ON `db`.* TO 'u'@'h' IDENTIFIED BY 'p'");
    EXPECT_EQ(grant_user_sql("h'", "u\\", "p'--", "", "", 1),
              "GRANT select ON *.* TO 'u\\\\'@'h\\'' IDENTIFIED BY 'p\\'--'");
    EXPECT_EQ(user_exists_sql("", "u"), "select * from mysql.user where host='%' and user='u'");
    EXPECT_EQ(user_exists_sql("", "x' or '1'='1"),
              "select * from mysql.user where host='%' and user='x\\' or \\'1\\'=\\'1'");
    EXPECT_EQ(privilege_columns(1 | 256),
              "Select_priv='Y',Insert_priv='N',Update_priv='N',Delete_priv='N',Index_priv='N',"
              "Alter_priv='N',Create_priv='N',Drop_priv='N',References_priv='Y' ");
    EXPECT_EQ(privilege_columns(kAllRights).find("'N'"), std::string::npos);
}

TEST(Builders, EffectOnTheServer) {
    QB_REQUIRE_SERVER();
    auto c = test::connect_to_test_server();
    ASSERT_TRUE(c);
    Connection* k = c.get();
    execute_sql(k, "drop database if exists qb_test_builders");
    ASSERT_TRUE(create_database(k, "qb_test_builders"));
    EXPECT_FALSE(create_database(k, "qb_test_builders"));  // exists: the server refuses
    ASSERT_TRUE(select_database(k, "qb_test_builders"));
    // Why such names are refused: the server ends the name at the character's backquote
    // byte, so `t乣x` makes another table than the one quoted.
    const std::string misread = G("t乣x");
    ASSERT_TRUE(execute_sql(k, "create table " + quote_identifier(misread) + " (a int)"));
    EXPECT_TRUE(execute_sql(k,
                            "select count(*) from information_schema.tables where "
                            "table_schema = 'qb_test_builders' and table_name = '" +
                                escape_sql_value(misread) + "'"));
    int64_t exact = -1;
    take_result(k)->read_field(0u, exact);
    EXPECT_EQ(exact, 0);
    EXPECT_TRUE(execute_sql(k, "drop table " + quote_identifier(G("t乣"))));
    ColumnSpec id = column("`ID`", 8);
    id.allow_null = false;
    id.auto_increment = true;
    ColumnSpec key;
    key.kind = 2;
    key.primary_key_columns = "`ID`";
    ASSERT_TRUE(create_table(k, "`t`", {id, column("`v`", 25203), key}));
    EXPECT_FALSE(create_table(k, "`u`", {column("`v`", 6)}));
    ASSERT_TRUE(list_tables(k));
    auto r = take_result(k);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->row_count(), 1u);  // `u` was never sent
    EXPECT_TRUE(alter_table(k, "`t`", kAddColumn, "", "", "", "", column("`w`", 3)));
    EXPECT_TRUE(alter_table(k, "`t`", kAddIndex, "", "", "iw", "`w`", {}));
    EXPECT_TRUE(insert_record(k, "`t`", "`v`='a',`w`='1'"));
    EXPECT_TRUE(insert_record(k, "`t`", "`v`='b',`w`='2'"));
    EXPECT_TRUE(begin_transaction(k));
    EXPECT_TRUE(delete_records(k, "`t`", ""));
    EXPECT_TRUE(rollback_transaction(k));
    ASSERT_TRUE(execute_sql(k, "select count(*) from `t`"));
    r = take_result(k);
    int64_t n = 0;
    r->read_field(0u, n);
    EXPECT_EQ(n, 2);
    EXPECT_TRUE(delete_records(k, "`t`", "`w`=1"));
    EXPECT_TRUE(list_databases(k));
    r = take_result(k);
    ASSERT_TRUE(r);
    EXPECT_GT(r->row_count(), 1u);
    EXPECT_TRUE(drop_table(k, "`t`"));
    EXPECT_TRUE(drop_database(k, "qb_test_builders"));
}

TEST(Escape, NastyValuesRoundTripByteExact) {
    QB_REQUIRE_SERVER();
    auto c = test::connect_to_test_server();
    ASSERT_TRUE(c);
    test::use_fresh_database(c.get(), "qb_test_escape");
    ASSERT_TRUE(execute_sql(c.get(),
                            "create table t (id int auto_increment primary key, "
                            "b longblob, g text character set gbk)"));
    std::string big(5 << 20, 'x');
    for (size_t i = 0; i < big.size(); i += 997) big[i] = "'\\\0\x81"[i % 4];
    const std::vector<std::string> values = {"O'Neil",
                                             "a\\'b",
                                             "trailing\\",
                                             "\\n as two",
                                             std::string("nul\0inside", 10),
                                             G("乗'") + G("俓") + "'",
                                             "\x81'",
                                             "\x81",
                                             "\x81\\",
                                             "'",
                                             "\\",
                                             "",
                                             big,
                                             "x'; drop table t; -- ",
                                             G("乗'") + ", b='pwned"};
    for (const std::string& v : values)
        ASSERT_TRUE(insert_record(c.get(), "t", "`b`='" + escape_sql_value(v) + "'"))
            << "value of " << v.size() << " bytes";
    ASSERT_TRUE(insert_record(c.get(), "t", "`g`='" + escape_sql_value(G("乗'亅|中文")) + "'"));
    ASSERT_TRUE(execute_sql(c.get(), "select b, g from t order by id"));
    auto r = take_result(c.get());
    ASSERT_TRUE(r);
    ASSERT_EQ(r->row_count(), values.size() + 1);  // nothing dropped, nothing added
    for (size_t i = 0; i < values.size(); ++i) {
        r->move_to_row(i);
        Bytes b;
        ASSERT_TRUE(r->read_field("b", b));
        EXPECT_TRUE(b.data == values[i]) << "row " << i;
    }
    r->move_to_row(values.size());
    std::string g;
    r->read_field("g", g);
    EXPECT_EQ(g, G("乗'亅|中文"));
}

TEST(Users, CreateChangeRightsAndRemove) {
    QB_REQUIRE_SERVER();
    auto c = test::connect_to_test_server();
    ASSERT_TRUE(c);
    Connection* k = c.get();
    execute_sql(k, "drop user if exists 'qb_u1'@'%'");
    execute_sql(k, "drop user if exists 'qb_u2'@'localhost'");
    execute_sql(k, "drop database if exists qb_test_users");
    ASSERT_TRUE(execute_sql(k, "create database qb_test_users"));
    ASSERT_TRUE(execute_sql(k, "create table qb_test_users.t (a int)"));
    auto grants = [&](const std::string& who) {
        std::string all;
        if (!execute_sql(k, "show grants for " + who)) return all;
        auto r = take_result(k);
        for (uint64_t i = 0; r && i < r->row_count(); ++i) {
            r->move_to_row(i);
            std::string line;
            r->read_field(0u, line);
            all += line + "\n";
        }
        return all;
    };

    // Rights 0, empty host and database: USAGE on everything for 'qb_u1'@'%'.
    ASSERT_TRUE(grant_user(k, "", "qb_u1", "", "", "", 0));
    EXPECT_NE(grants("'qb_u1'@'%'").find("GRANT USAGE ON *.* TO `qb_u1`@`%`"), std::string::npos);
    EXPECT_FALSE(grant_user(k, "", "qb_u1", "", "", "", 0));  // exists
    ASSERT_TRUE(grant_user(k, "localhost", "qb_u2", "pw", "qb_test_users", "", 1 | 2));
    EXPECT_NE(grants("'qb_u2'@'localhost'").find("GRANT SELECT, INSERT ON `qb_test_users`.*"),
              std::string::npos)
        << grants("'qb_u2'@'localhost'");

    ASSERT_TRUE(set_user_rights(k, "localhost", "qb_u2", "qb_test_users", "", 8));
    EXPECT_NE(grants("'qb_u2'@'localhost'").find("GRANT DELETE ON `qb_test_users`.*"),
              std::string::npos)
        << grants("'qb_u2'@'localhost'");
    ASSERT_TRUE(set_user_rights(k, "", "qb_u1", "", "", 1));
    EXPECT_NE(grants("'qb_u1'@'%'").find("GRANT SELECT ON *.*"), std::string::npos)
        << grants("'qb_u1'@'%'");
    ASSERT_TRUE(set_user_rights(k, "", "qb_u1", "qb_test_users", "t", 1 | 4));
    EXPECT_NE(grants("'qb_u1'@'%'").find("ON `qb_test_users`.`t`"), std::string::npos)
        << grants("'qb_u1'@'%'");

    // A same-named table in another database is another grant: the change reaches the one
    // asked for.
    ASSERT_TRUE(execute_sql(k, "create database qb_test_users2"));
    ASSERT_TRUE(execute_sql(k, "create table qb_test_users2.t (a int)"));
    ASSERT_TRUE(execute_sql(k, "grant select on qb_test_users2.t to 'qb_u2'@'localhost'"));
    ASSERT_TRUE(set_user_rights(k, "localhost", "qb_u2", "qb_test_users", "t", 2));
    EXPECT_NE(grants("'qb_u2'@'localhost'").find("GRANT INSERT ON `qb_test_users`.`t`"),
              std::string::npos)
        << grants("'qb_u2'@'localhost'");
    EXPECT_NE(grants("'qb_u2'@'localhost'").find("GRANT SELECT ON `qb_test_users2`.`t`"),
              std::string::npos)
        << grants("'qb_u2'@'localhost'");
    execute_sql(k, "drop database qb_test_users2");

    // Global rights change only the nine the window shows: RELOAD and PROCESS stay, and
    // "all rights" means the nine, not ALL PRIVILEGES.
    ASSERT_TRUE(execute_sql(k, "grant reload, process, select on *.* to 'qb_u1'@'%'"));
    ASSERT_TRUE(set_user_rights(k, "", "qb_u1", "", "", 2 | 8));
    std::string global = grants("'qb_u1'@'%'");
    global = global.substr(0, global.find('\n'));
    EXPECT_EQ(global, "GRANT INSERT, DELETE, RELOAD, PROCESS ON *.* TO `qb_u1`@`%`");
    ASSERT_TRUE(set_user_rights(k, "", "qb_u1", "", "", kAllRights));
    global = grants("'qb_u1'@'%'");
    EXPECT_EQ(global.substr(0, global.find('\n')),
              "GRANT SELECT, INSERT, UPDATE, DELETE, CREATE, DROP, RELOAD, PROCESS, REFERENCES, "
              "INDEX, ALTER ON *.* TO `qb_u1`@`%`");
    ASSERT_TRUE(set_user_rights(k, "", "qb_u1", "", "", 0));
    global = grants("'qb_u1'@'%'");
    EXPECT_EQ(global.substr(0, global.find('\n')), "GRANT RELOAD, PROCESS ON *.* TO `qb_u1`@`%`");
    // Nothing to take away on a database without grants, nothing to give: fine.
    EXPECT_TRUE(set_user_rights(k, "", "qb_u1", "qb_test_users", "", 0));

    EXPECT_TRUE(remove_user(k, "qb_u1", ""));
    EXPECT_TRUE(remove_user(k, "qb_u2", "localhost"));
    EXPECT_EQ(grants("'qb_u1'@'%'"), "");
    EXPECT_FALSE(remove_user(k, "qb_u1", ""));  // no such account: only the check is sent
    std::string e;
    last_error(k, e);
    EXPECT_EQ(e, "");  // the check succeeded; nothing else failed after it

    // A grant the server refuses: the account made for it is dropped again, and the reason
    // is the grant's, not the clean-up's.
    EXPECT_FALSE(grant_user(k, "", "qb_u3", "", "qb_test_users", "nosuch", 1));
    ASSERT_TRUE(last_error(k, e));
    EXPECT_NE(e.find("nosuch"), std::string::npos) << e;
    EXPECT_EQ(grants("'qb_u3'@'%'"), "");
    execute_sql(k, "drop database qb_test_users");
}

TEST(Users, APasswordWithQuotesBackslashesAndGbkLogsInAsTyped) {
    QB_REQUIRE_SERVER();
    auto c = test::connect_to_test_server();
    ASSERT_TRUE(c);
    execute_sql(c.get(), "drop user if exists 'qb_pw'@'%'");
    const std::string password = "a\\b'c\"d" + G("乗") + "%e";
    ASSERT_TRUE(grant_user(c.get(), "", "qb_pw", password, "", "", 0));
    const auto a = test::server_address();
    std::string error;
    auto as_user = open_connection(a.host, "qb_pw", password, {}, a.port, &error);
    EXPECT_TRUE(as_user) << error;
    EXPECT_FALSE(open_connection(a.host, "qb_pw", "a\\b'c\"d", {}, a.port));
    EXPECT_TRUE(remove_user(c.get(), "qb_pw", ""));
}

}  // namespace
}  // namespace qb::db
