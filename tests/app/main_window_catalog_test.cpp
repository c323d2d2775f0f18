#include <gtest/gtest.h>

#include <chrono>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <memory>

#include "app/main_window.h"
#include "db/connection.h"
#include "import/column_types.h"
#include "main_window_fixture.h"
#include "persist/config_store.h"
#include "platform/qtext.h"
#include "platform/scripted_ui.h"
#include "relay.h"
#include "test_server.h"
#include "test_util.h"

namespace qb::app {
namespace {

using platform::from_qstring;
using platform::to_qstring;
using test::G;

TEST(ColumnTypeLabels, FromDescribedTypes) {
    EXPECT_EQ(import::column_type_label("varchar(255)"), G("变长字符串(varchar)"));
    EXPECT_EQ(import::column_type_label("int(11) unsigned"), G("整数(int)"));
    EXPECT_EQ(import::column_type_label("int unsigned"), G("整数(int)"));
    EXPECT_EQ(import::column_type_label("tinyint(1)"), G("字节(tinyint)"));
    EXPECT_EQ(import::column_type_label("datetime"), G("日期与时间(datetime)"));
    EXPECT_EQ(import::column_type_label("bit(1)"), G("小数(decimal)"));
    EXPECT_EQ(import::column_type_label("enum('a','b')"), G("枚举(enum)"));
    EXPECT_EQ(import::column_type_label(""), G("小数(decimal)"));
}

class CatalogTest : public test::MainWindowFixture {
  protected:
    void TearDown() override {
        if (window_ && window_->connection()) {
            db::execute_sql(window_->connection(), "drop database if exists qb_test_catalog");
            db::execute_sql(window_->connection(), "drop database if exists qb_test_catalog2");
        }
        MainWindowFixture::TearDown();
    }
    void sql(const std::string& statement) {
        ASSERT_TRUE(db::execute_sql(window_->connection(), statement)) << statement;
    }
    // The captions of the last popup's items, separators as "-".
    std::vector<std::string> last_menu() {
        std::vector<std::string> out;
        if (ui_.menus.empty()) return out;
        for (const auto& item : ui_.menus.back())
            out.push_back(item.separator ? "-" : item.caption);
        return out;
    }
    bool last_menu_has(const std::string& caption) {
        auto m = last_menu();
        return std::find(m.begin(), m.end(), caption) != m.end();
    }
    void click(const char* button) {
        QTest::mouseClick(window_->unit<QPushButton>(button), Qt::LeftButton);
    }
};

// A link that dies without a word (the relay stops forwarding): the window's own statement
// gives up after its short wait and says so, instead of freezing for minutes; a run's
// statement waits longer.
TEST_F(CatalogTest, ADeadLinkEndsAShortStatementSoon) {
    QB_REQUIRE_SERVER();
    const auto a = test::server_address();
    test::Relay relay(a.host, a.port);
    set("编辑框服务器", relay.address());
    set("编辑框用户名", a.user);
    set("编辑框密码", a.password);
    window_->set_short_answer_seconds(1);
    click("按钮建立连接");
    ASSERT_TRUE(window_->connection());
    relay.go_dead();
    const auto started = std::chrono::steady_clock::now();
    click("按钮库列表");
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(ui_.last_message(), G("获取库名列表失败！请检查连接是否有效（重新连接试试）"));
    EXPECT_LT(took, 8.0);
    EXPECT_TRUE(db::connection_lost(window_->connection()))
        << db::last_error_code(window_->connection());
}

TEST_F(CatalogTest, NamePopupsFetchOnceAndWriteTheChoice) {
    // Not connected: the database popup does nothing; the table popup with the empty start
    // key sends nothing and shows only its heading.
    set("编辑框服务器", "");
    window_->show_database_popup();
    EXPECT_TRUE(ui_.menus.empty());
    window_->show_table_popup();
    EXPECT_EQ(last_menu(), (std::vector<std::string>{G("选择一个插入"), "-"}));
    EXPECT_FALSE(ui_.menus.back()[0].enabled);
    EXPECT_TRUE(ui_.messages().empty());

    QB_REQUIRE_SERVER();
    connect_to_server();
    sql("drop database if exists qb_test_catalog");
    sql("drop database if exists qb_test_catalog2");
    sql("create database qb_test_catalog");
    sql("create table qb_test_catalog.t1 (a int)");
    sql("create table qb_test_catalog.`a&b` (a int)");

    ui_.menu_choices = {"qb_test_catalog"};
    click("按钮库列表");
    EXPECT_EQ(get("编辑框库名"), "qb_test_catalog");
    EXPECT_EQ(last_menu()[0], G("选择一个插入"));
    EXPECT_EQ(last_menu()[1], "-");
    EXPECT_TRUE(last_menu_has("mysql"));
    EXPECT_EQ(from_qstring(window_->unit<QPushButton>("按钮库列表")->text()), G("库.."));
    EXPECT_TRUE(window_->unit<QPushButton>("按钮库列表")->isEnabled());

    // The second click shows the cached names; dismissing changes nothing.
    sql("create database qb_test_catalog2");
    click("按钮库列表");
    EXPECT_FALSE(last_menu_has("qb_test_catalog2"));
    EXPECT_EQ(get("编辑框库名"), "qb_test_catalog");
    // After reconnecting the names are fetched again.
    toggle_connection();
    toggle_connection();
    ASSERT_TRUE(window_->connection());
    click("按钮库列表");
    EXPECT_TRUE(last_menu_has("qb_test_catalog2"));

    ui_.menu_choices = {"a&b"};
    click("按钮表列表");
    EXPECT_EQ(get("编辑框表名"), "a&b");
    EXPECT_TRUE(last_menu_has("t1"));
    // Same server and database: cached, a new table is not listed.
    sql("create table qb_test_catalog.t2 (a int)");
    click("按钮表列表");
    EXPECT_FALSE(last_menu_has("t2"));
    // Another database: fetched again; an empty database lists nothing.
    set("编辑框库名", "qb_test_catalog2");
    click("按钮表列表");
    EXPECT_EQ(last_menu().size(), 2u);
    set("编辑框库名", "qb_test_catalog");
    click("按钮表列表");
    EXPECT_TRUE(last_menu_has("t2"));

    // A database that does not exist: the message, and not the previous database's tables.
    const size_t menus = ui_.menus.size();
    set("编辑框库名", "qb_test_no_such_db");
    click("按钮表列表");
    EXPECT_EQ(ui_.last_message(),
              G("获取表名列表失败！请检查设置的库名是否正确，或连接是否有效（重新连接试试）"));
    EXPECT_EQ(ui_.menus.size(), menus);
    EXPECT_EQ(from_qstring(window_->unit<QPushButton>("按钮表列表")->text()), G("表.."));
    EXPECT_TRUE(window_->unit<QPushButton>("按钮表列表")->isEnabled());

    // A connection the server dropped: the database listing fails with its message.
    toggle_connection();
    toggle_connection();
    // The statement kills its own connection, so it reports failure itself.
    EXPECT_FALSE(db::execute_sql(window_->connection(), "kill connection connection_id()"));
    click("按钮库列表");
    EXPECT_EQ(ui_.last_message(), G("获取库名列表失败！请检查连接是否有效（重新连接试试）"));
    EXPECT_TRUE(window_->database_names_cache().empty());
    toggle_connection();
    toggle_connection();
}

TEST_F(CatalogTest, ReadTableColumnsFillsTheFieldList) {
    window_->read_table_columns();
    EXPECT_EQ(ui_.last_message(), G("请输入库名！"));
    set("编辑框库名", "qb_test_catalog");
    window_->read_table_columns();
    EXPECT_EQ(ui_.last_message(), G("请输入表名！"));

    QB_REQUIRE_SERVER();
    connect_to_server();
    sql("drop database if exists qb_test_catalog");
    sql("create database qb_test_catalog");
    sql("create table qb_test_catalog.t (ID bigint auto_increment primary key, "
        "title varchar(255), n int(11) unsigned, flag bit(1), at datetime, " +
        G("正文") + " mediumtext)");
    sql("create table qb_test_catalog.only_id (ID bigint auto_increment primary key)");
    const std::vector<mapping::FieldMapping> before = window_->field_rows();

    set("编辑框表名", "missing");
    click("按钮读表字段");
    EXPECT_EQ(ui_.last_message(), G("打开表失败，请检查表是否存在或是否可读！"));
    EXPECT_EQ(window_->field_rows().size(), before.size());

    set("编辑框表名", "t");
    click("按钮读表字段");
    const std::vector<mapping::FieldMapping> rows = window_->field_rows();
    ASSERT_EQ(rows.size(), 5u);
    const std::string unset = G("请设置");
    EXPECT_EQ(rows[0].field, "title");
    EXPECT_EQ(rows[0].source, unset);
    EXPECT_EQ(rows[0].options, G("变长字符串(varchar)"));
    EXPECT_EQ(rows[1].options, G("整数(int)"));
    EXPECT_EQ(rows[2].options, G("小数(decimal)"));
    EXPECT_EQ(rows[3].options, G("日期与时间(datetime)"));
    EXPECT_EQ(rows[4].field, G("正文"));
    EXPECT_EQ(rows[4].options, G("中等文本(mediumtext)"));

    set("编辑框表名", "only_id");
    click("按钮读表字段");
    EXPECT_EQ(ui_.last_message(), G("该数据库中的表[only_id]字段数量为0"));
    EXPECT_TRUE(window_->field_rows().empty());

    // A database that cannot be selected: refused, not the same-named table of the current one.
    window_->set_field_rows(before);
    set("编辑框库名", "qb_test_no_such_database");
    set("编辑框表名", "t");
    click("按钮读表字段");
    EXPECT_EQ(ui_.last_message(),
              G("打开库 qb_test_no_such_database 失败！请检查设置的库名是否正确，或连接是否有效（"
                "重新连接试试）"));
    EXPECT_EQ(window_->field_rows().size(), before.size());
}

}  // namespace
}  // namespace qb::app
