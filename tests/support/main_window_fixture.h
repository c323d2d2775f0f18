// A main window on a settings file of its own, with the scripted Ui installed, for the window
// tests; connect_to_server logs in through the connect button.
#pragma once

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "app/main_window.h"
#include "persist/config_store.h"
#include "platform/qtext.h"
#include "platform/scripted_ui.h"
#include "test_server.h"
#include "test_util.h"

namespace qb::test {

class MainWindowFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::set_ui(&ui_);
        store_.open_file(dir_.file("s.ini"));
        window_ = std::make_unique<app::MainWindow>(store_);
        window_->on_created();
    }
    void TearDown() override {
        window_.reset();
        platform::set_ui(nullptr);
    }
    void set(const char* name, const std::string& gbk) {
        window_->unit<QLineEdit>(name)->setText(platform::to_qstring(gbk));
    }
    std::string get(const char* name) {
        return platform::from_qstring(window_->unit<QLineEdit>(name)->text());
    }
    void toggle_connection() {
        QTest::mouseClick(window_->unit<QPushButton>("按钮建立连接"), Qt::LeftButton);
    }
    void connect_to_server() {
        auto a = server_address();
        set("编辑框服务器", a.text());
        set("编辑框用户名", a.user);
        set("编辑框密码", a.password);
        toggle_connection();
        ASSERT_TRUE(window_->connection());
    }

    TempDir dir_;
    platform::ScriptedUi ui_;
    persist::ConfigStore store_;
    std::unique_ptr<app::MainWindow> window_;
};

}  // namespace qb::test
