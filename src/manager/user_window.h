// 用户管理: the server's accounts, and adding, removing and changing the rights of one.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "db/connection.h"
#include "manager/main_link.h"

class QListWidget;

namespace qb::manager {

class UserWindow : public QWidget {
    Q_OBJECT
  public:
    UserWindow(MainLink& main, QWidget* owner);
    ~UserWindow() override;

    template <class T>
    T* unit(const char* name) const {
        return findChild<T*>(QString::fromUtf8(name));
    }

    void list_accounts();
    void load_selected();
    void add_account();
    void remove_account();
    void change_rights();
    void find_account(bool next);
    QListWidget* accounts() const { return list_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // False after saying so when the server would misread the database or table name.
    bool names_sendable();
    std::string text_of(const char* edit) const;
    void set_text(const char* edit, const std::string& value);
    // A fresh account result after a change.
    // Lists the accounts again and chooses host@user (an empty host is "%") when listed.
    void list_choosing(const std::string& host, const std::string& user);
    void choose(int row);

    MainLink& main_;
    QListWidget* list_;
    std::unique_ptr<db::ResultSet> accounts_;
};

}  // namespace qb::manager
