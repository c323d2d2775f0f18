#include "platform/unit_state.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <memory>

#include "persist/config_store.h"
#include "platform/qtext.h"
#include "platform/scripted_ui.h"
#include "test_util.h"

namespace qb::platform {
namespace {

using test::G;

// A window with the unit kinds the main window does not have.
struct Window {
    QWidget root;
    QListWidget* list = new QListWidget(&root);
    QListWidget* checklist = new QListWidget(&root);
    QLineEdit* bytes_edit = new QLineEdit(&root);
    QPushButton* bytes_button = new QPushButton(&root);
    QWidget* colour = new QWidget(&root);
    QLineEdit* excluded = new QLineEdit(&root);
    QLineEdit* unnamed_kind = new QLineEdit(&root);
    Window() {
        list->setObjectName(qtr("列表框1"));
        list->setSelectionMode(QAbstractItemView::MultiSelection);
        checklist->setObjectName(qtr("选择列表框1"));
        bytes_edit->setObjectName(qtr("编辑框大"));
        set_unit_tag(bytes_edit, G("字节集方式"));
        bytes_button->setObjectName(qtr("按钮1"));
        set_unit_tag(bytes_button, G("字节集方式"));
        colour->setObjectName(qtr("颜色选择器1"));
        colour->setProperty("colour", 0);
        excluded->setObjectName(qtr("编辑框不存"));
        unnamed_kind->setObjectName(qtr("标签1"));
    }
};

TEST(UnitState, ListsSideFilesColoursAndExclusionsRoundTrip) {
    ScriptedUi ui;
    set_ui(&ui);
    test::TempDir dir;
    const std::string path = dir.file("u.ini");
    {
        persist::ConfigStore store;
        store.set_name_encoder([](const std::string& s) { return text::gbk_to_utf8(s); });
        ASSERT_TRUE(store.open_file(path));
        Window w;
        w.list->addItems({qtr("甲"), qtr("乙"), qtr("丙")});
        w.list->item(0)->setSelected(true);
        w.list->item(2)->setSelected(true);
        w.checklist->addItems({qtr("一"), qtr("二")});
        w.checklist->setCurrentRow(1);
        w.bytes_edit->setText(qtr("很长的文字"));
        w.colour->setProperty("colour", 0xFF8800);
        w.excluded->setText(qtr("不要"));
        save_units(&w.root, store, "S", {G("编辑框不存")});
        EXPECT_GT(ui.pump_count, 0);
    }
    EXPECT_EQ(test::read_file(dir.file("inibin/S-列表框1.ibn")), G("甲\r\n乙\r\n丙"));
    EXPECT_EQ(test::read_file(dir.file("inibin/S-编辑框大.ibn")), G("很长的文字"));
    EXPECT_EQ(test::read_file(dir.file("inibin/S-按钮1.标记.ibn")), G("字节集方式"));
    const std::string ini = test::read_file(path);
    EXPECT_NE(ini.find(G("列表框1.选中") + "=0,2"), std::string::npos);
    EXPECT_EQ(ini.find(G("编辑框不存")), std::string::npos);
    EXPECT_EQ(ini.find(G("标签1")), std::string::npos);

    persist::ConfigStore store;
    store.set_name_encoder([](const std::string& s) { return text::gbk_to_utf8(s); });
    ASSERT_TRUE(store.open_file(path));
    Window w;
    restore_units(&w.root, store, "S");
    ASSERT_EQ(w.list->count(), 3);
    EXPECT_EQ(w.list->item(1)->text(), qtr("乙"));
    EXPECT_TRUE(w.list->item(0)->isSelected());
    EXPECT_FALSE(w.list->item(1)->isSelected());
    EXPECT_TRUE(w.list->item(2)->isSelected());
    ASSERT_EQ(w.checklist->count(), 2);
    EXPECT_EQ(w.checklist->currentRow(), 1);
    EXPECT_EQ(w.bytes_edit->text(), qtr("很长的文字"));
    EXPECT_EQ(w.colour->property("colour").toInt(), 0xFF8800);
    EXPECT_EQ(w.excluded->text(), QString());
    set_ui(nullptr);
}

}  // namespace
}  // namespace qb::platform

namespace qb::platform {
namespace {

// Another window's save in the pump between two units of a restore (or a save) leaves the
// rest of the first window in its own section.
TEST(UnitState, ASaveRunInTheRestoresPumpKeepsEachWindowInItsSection) {
    ScriptedUi ui;
    set_ui(&ui);
    test::TempDir dir;
    persist::ConfigStore store;
    ASSERT_TRUE(store.open_file(dir.file("s.ini")));
    QWidget first, second;
    auto* a = new QLineEdit(&first);
    auto* b = new QLineEdit(&first);
    auto* other = new QLineEdit(&second);
    a->setObjectName(qtr("编辑框甲"));
    b->setObjectName(qtr("编辑框乙"));
    other->setObjectName(qtr("编辑框甲"));
    a->setText(qtr("a1"));
    b->setText(qtr("b1"));
    other->setText(qtr("other"));
    save_units(&first, store, G("一"));
    a->clear();
    b->clear();
    bool nested = false;
    ui.on_pump = [&] {
        if (nested) return;
        nested = true;
        save_units(&second, store, G("二"));
    };
    restore_units(&first, store, G("一"));
    ui.on_pump = nullptr;
    EXPECT_EQ(a->text(), qtr("a1"));
    EXPECT_EQ(b->text(), qtr("b1"));
    // And a save interrupted the same way writes the rest into its own section.
    nested = false;
    b->setText(qtr("b2"));
    ui.on_pump = [&] {
        if (nested) return;
        nested = true;
        restore_units(&second, store, G("二"));
    };
    save_units(&first, store, G("一"));
    ui.on_pump = nullptr;
    store.set_section(G("一"));
    EXPECT_EQ(store.read_text(G("编辑框乙"), ""), "b2");
    store.set_section(G("二"));
    EXPECT_EQ(store.read_text(G("编辑框乙"), "none"), "none");
    set_ui(nullptr);
}

}  // namespace
}  // namespace qb::platform
