#include "manager/create_table_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>

#include "db/connection.h"
#include "db/statements.h"
#include "import/column_types.h"
#include "manager/open_once.h"
#include "mapping/field_list_settings.h"
#include "persist/config_store.h"
#include "platform/busy.h"
#include "platform/config_files.h"
#include "platform/qtext.h"
#include "platform/right_click.h"
#include "platform/text_input_dialog.h"
#include "platform/ui.h"
#include "platform/unit_state.h"
#include "platform/widgets.h"
#include "text/gbk.h"
#include "text/html.h"
#include "text/iconv_text.h"
#include "text/path_text.h"

namespace qb::manager {

using namespace platform::widgets;
using platform::from_qstring;
using platform::qtr;
using platform::say;
using platform::to_qstring;
using text::G;

namespace {

constexpr int kDefaultType = 7;  // 单精度小数(float)

const mapping::StoredRow& headers() {
    static const mapping::StoredRow h{G("字段名"), G("类型"), G("长度或取值范围")};
    return h;
}

bool contains(const std::string& s, const char* part) {
    return text::find(s, part) > 0;
}

bool takes_parameter(const std::string& label) {
    return contains(label, "varchar") || contains(label, "enum") || contains(label, "set");
}

bool is_value_list(const std::string& label) {
    return contains(label, "enum") || contains(label, "set");
}

// The type name inside a label's parentheses ("变长字符串(varchar)" gives "varchar").
std::string type_in(const std::string& label) {
    int position = 0;
    return text::ExtractBetween(label, "(", ")", &position, {.raw = true});
}

}  // namespace

CreateTableWindow::CreateTableWindow(MainLink& main, QWidget* owner)
    : QWidget(owner, Qt::Window), main_(main), types_(new QComboBox), list_(new QTreeWidget) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(qtr("新建表"));
    setWindowTitle(qtr("新建表 - 请在主界面连接到MySQL，设置好库名和表名"));
    types_->setObjectName(qtr("组合框类型"));
    list_->setObjectName(qtr("超级列表框"));
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels(
        {to_qstring(headers()[0]), to_qstring(headers()[1]), to_qstring(headers()[2])});

    auto* grid = new QGridLayout(this);
    grid->addWidget(make_label("字段名："), 0, 0);
    grid->addWidget(make_edit("编辑框字段名", ""), 0, 1);
    grid->addWidget(make_label("类型："), 0, 2);
    grid->addWidget(types_, 0, 3);
    grid->addWidget(list_, 1, 0, 1, 4);
    auto* buttons = new QHBoxLayout;
    for (auto [name, caption] :
         {std::pair{"按钮添加字段", "添加字段"}, std::pair{"按钮修改字段", "修改字段"},
          std::pair{"按钮删除字段", "删除字段"}})
        buttons->addWidget(make_button(name, caption));
    buttons->addStretch();
    grid->addLayout(buttons, 2, 0, 1, 4);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(make_check("选择框仅新建库", "仅新建库", false));
    bottom->addWidget(make_button("按钮执行创建", "执行创建"));
    bottom->addStretch();
    for (auto [name, caption] :
         {std::pair{"按钮导入配置", "导入配置"}, std::pair{"按钮导出配置", "导出配置"},
          std::pair{"按钮关闭", "关闭"}})
        bottom->addWidget(make_button(name, caption));
    grid->addLayout(bottom, 3, 0, 1, 4);

    auto on = [this](const char* name, auto handler) {
        connect(unit<QPushButton>(name), &QPushButton::clicked, this, handler);
    };
    on("按钮添加字段", [this] { add_or_modify(false); });
    on("按钮修改字段", [this] { add_or_modify(true); });
    on("按钮删除字段", [this] { delete_row(); });
    platform::RightClick::install(unit<QPushButton>("按钮删除字段"), [this] { delete_all_rows(); });
    on("按钮执行创建", [this] { create(); });
    on("按钮导出配置", [this] { export_config(); });
    on("按钮导入配置", [this] { import_config(); });
    on("按钮关闭", [this] { close(); });
    // activated: a type chosen by the operator, the one shown again too (its length may be
    // changed that way); a row loaded into the combo asks nothing.
    connect(types_, &QComboBox::activated, this, [this] { ask_type_parameter(); });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (QTreeWidgetItem* it = list_->currentItem()) load_row(list_->indexOfTopLevelItem(it));
    });
    auto follow_loops = [this] {
        unit<QPushButton>("按钮执行创建")->setEnabled(main_.busy().idle());
    };
    connect(&main_.busy(), &platform::Busy::changed, this, follow_loops);
    follow_loops();
    setAcceptDrops(true);
    resize(560, 480);
}

CreateTableWindow::~CreateTableWindow() = default;

bool CreateTableWindow::on_created() {
    if (!main_.ensure_connected()) {
        say(G("主界面尚未连接到MySQL，无法使用创建表功能！"), this);
        return false;
    }
    main_.register_connection_window(this);
    const QSignalBlocker quiet(types_);
    for (const std::string& line : text::split(import::column_type_list(), "\r\n")) {
        if (line.empty()) continue;
        const int bracket = text::find(line, "]");
        types_->addItem(to_qstring(line.substr(static_cast<size_t>(bracket))));
    }
    parameters_.assign(static_cast<size_t>(types_->count()), "0");
    types_->setCurrentIndex(-1);
    persist::ConfigStore& store = main_.settings();
    restoring_ = true;
    restore_state(store);
    restoring_ = false;
    if (types_->currentIndex() < 0) types_->setCurrentIndex(kDefaultType);
    // A close asked for while the design was restored (a disconnect in its pumps) comes now:
    // half a design would have been saved over the whole one.
    if (close_waiting_) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    return true;
}

void CreateTableWindow::save_state(persist::ConfigStore& store) {
    persist::ConfigStore::Batch once(store);
    const persist::ConfigStore::SectionScope in(store, G("新建表"));
    platform::save_units(this, store, G("新建表"));
    mapping::write_rows(store, headers(), rows());
}

void CreateTableWindow::restore_state(persist::ConfigStore& store) {
    const QSignalBlocker quiet(types_);
    const persist::ConfigStore::SectionScope in(store, G("新建表"));
    platform::restore_units(this, store, G("新建表"));
    set_rows(mapping::read_rows(store, headers()));
}

void CreateTableWindow::closeEvent(QCloseEvent* event) {
    if (restoring_) {
        close_waiting_ = true;
        event->ignore();
        return;
    }
    if (main_.busy().put_off_close(this)) {
        event->ignore();
        return;
    }
    save_state(main_.settings());
    event->accept();
}

std::vector<std::array<std::string, 3>> CreateTableWindow::rows() const {
    std::vector<std::array<std::string, 3>> out;
    for (int r = 0; r < list_->topLevelItemCount(); ++r) {
        const QTreeWidgetItem* it = list_->topLevelItem(r);
        out.push_back(
            {from_qstring(it->text(0)), from_qstring(it->text(1)), from_qstring(it->text(2))});
    }
    return out;
}

void CreateTableWindow::set_rows(const std::vector<std::array<std::string, 3>>& rows) {
    const QSignalBlocker quiet(list_);
    list_->clear();
    for (const auto& r : rows)
        list_->addTopLevelItem(
            new QTreeWidgetItem(QStringList{to_qstring(r[0]), to_qstring(r[1]), to_qstring(r[2])}));
}

void CreateTableWindow::ask_type_parameter() {
    const int index = types_->currentIndex();
    if (index < 0) return;
    const std::string label = from_qstring(types_->currentText());
    if (!takes_parameter(label)) return;
    platform::TextInputRequest request;
    request.prompt =
        G("如果类型为 变长字符串(varchar) 本参数指定最大长度，如果类型为 枚举(enum) 或 集合(set) "
          "本参数指定枚举或集合的取值范围：");
    request.parent = this;
    request.height = 255;
    request.initial = parameters_[static_cast<size_t>(index)];
    const platform::TextInputResult r = platform::ShowTextInput(request);
    if (!r.accepted) return;
    // A length is a whole number; enum and set keep the list of values as typed ('a','b').
    parameters_[static_cast<size_t>(index)] =
        is_value_list(label) ? text::trim_spaces(r.text) : text::int_text(text::to_int(r.text));
}

void CreateTableWindow::load_row(int row) {
    const QTreeWidgetItem* it = list_->topLevelItem(row);
    if (!it) return;
    unit<QLineEdit>("编辑框字段名")->setText(it->text(0));
    const std::string type = type_in(from_qstring(it->text(1)));
    for (int i = 0; i < types_->count(); ++i) {
        const std::string label = from_qstring(types_->itemText(i));
        if (type_in(label) != type) continue;
        const QSignalBlocker quiet(types_);
        types_->setCurrentIndex(i);
        const std::string value = from_qstring(it->text(2));
        parameters_[static_cast<size_t>(i)] =
            is_value_list(label) ? value : text::int_text(text::to_int(value));
        break;
    }
}

void CreateTableWindow::select_row(int row) {
    QTreeWidgetItem* it = list_->topLevelItem(row);
    if (!it) return;
    list_->setCurrentItem(it);
    list_->scrollToItem(it);
}

void CreateTableWindow::add_or_modify(bool modify) {
    auto* edit = unit<QLineEdit>("编辑框字段名");
    const std::string name = text::trim_spaces(from_qstring(edit->text()));
    if (name.empty()) {
        say(G("请输入字段名！"), this);
        edit->setFocus();
        return;
    }
    int row = -1;
    if (modify) {
        QTreeWidgetItem* current = list_->currentItem();
        if (!current || !current->isSelected()) {
            say(G("请选中一个字段再修改！"), this);
            return;
        }
        row = list_->indexOfTopLevelItem(current);
    } else {
        for (int r = 0; r < list_->topLevelItemCount(); ++r) {
            if (from_qstring(list_->topLevelItem(r)->text(0)) != name) continue;
            say(G("字段名不能重复：") + name, this);
            select_row(r);
            list_->setFocus();
            return;
        }
        list_->addTopLevelItem(new QTreeWidgetItem);
        row = list_->topLevelItemCount() - 1;
    }
    const std::string label = from_qstring(types_->currentText());
    const int index = std::max(types_->currentIndex(), 0);
    QTreeWidgetItem* it = list_->topLevelItem(row);
    it->setText(0, to_qstring(name));
    it->setText(1, to_qstring(label));
    it->setText(
        2, to_qstring(takes_parameter(label) ? parameters_[static_cast<size_t>(index)] : G("无")));
    const QSignalBlocker quiet(list_);
    select_row(row);
}

void CreateTableWindow::delete_row() {
    QTreeWidgetItem* current = list_->currentItem();
    if (!current || !current->isSelected()) {
        say(G("请选中一个字段再删除！右击按钮将全部清空！"), this);
        return;
    }
    const int row = list_->indexOfTopLevelItem(current);
    delete list_->takeTopLevelItem(row);
    select_row(std::min(row, list_->topLevelItemCount() - 1));
    list_->setFocus();
}

void CreateTableWindow::delete_all_rows() {
    if (platform::ui().ask_ok_cancel(G("确定要删除所有字段吗？"), {}, this)) list_->clear();
}

void CreateTableWindow::create() {
    // It moves the connection to the new table's database.
    const platform::Busy::Scope creating = main_.busy().begin(platform::Loop::Creating, this);
    if (!creating) return;
    const db::PatientAnswers patient(main_.connection());
    const std::string database = main_.main_text("编辑框库名");
    const std::string table = main_.main_text("编辑框表名");
    const bool only_database = unit<QCheckBox>("选择框仅新建库")->isChecked();
    if (database.empty()) {
        say(G("请输入库名！"), this);
        main_.focus_main("编辑框库名");
        return;
    }
    if (table.empty() && !only_database) {
        say(G("请输入表名！"), this);
        main_.focus_main("编辑框表名");
        return;
    }
    const auto design = rows();
    std::vector<std::pair<std::string, std::string>> names{{G("库名"), database}};
    if (!only_database) names.push_back({G("表名"), table});
    for (const auto& row : design) names.push_back({G("字段名"), row[0]});
    for (const auto& [what, name] : names)
        if (const std::string said = db::misread_name_message(what, name); !said.empty()) {
            say(said, this);
            return;
        }
    db::Connection* c = main_.connection();
    if (db::select_database(c, database)) {
        if (only_database) {
            say(G("库已存在！"), this);
            main_.focus_main("编辑框库名");
            return;
        }
    } else if (db::create_database(c, db::quote_typed_name(database))) {
        db::execute_sql(c, "ALTER DATABASE " + db::quote_typed_name(database) +
                               " DEFAULT CHARACTER SET utf8 COLLATE utf8_general_ci;");
        db::select_database(c, database);
        if (only_database) {
            say(G("创建库成功！"), this);
            return;
        }
    } else {
        say(only_database ? G("创建库失败！") : G("指定库不存在，且创建失败！"), this);
        return;
    }
    if (design.empty()) {
        say(G("请添加至少一个字段！"), this);
        return;
    }
    std::vector<db::ColumnSpec> specs(2);
    specs[0].name = "ID";
    specs[0].type_code = 8;
    specs[0].allow_null = false;
    specs[0].auto_increment = true;
    specs[1].kind = 2;
    specs[1].primary_key_columns = "ID";
    for (const auto& row : design) {
        db::ColumnSpec column;
        column.name = db::quote_typed_name(row[0]);
        column.type_code = import::lookup_type_code(type_in(row[1]));
        if (column.type_code == 253 || column.type_code == 25401 || column.type_code == 25402)
            column.length_or_values = row[2];
        if (column.type_code == 253) {
            column.attributes = 1;
            if (text::to_int(row[2]) <= 0) column.length_or_values = "255";
        }
        specs.push_back(column);
    }
    if (!db::create_table(c, db::quote_typed_name(table), specs)) {
        say(G("创建表失败"), this);
        return;
    }
    say(G("创建表成功"), this);
    // CONVERT, not DEFAULT: the columns were made in the database's character set, which may
    // be one (latin1) that holds no Chinese text.
    db::execute_sql(c, "ALTER TABLE " + db::quote_typed_name(table) +
                           " CONVERT TO CHARACTER SET utf8 COLLATE utf8_general_ci;");
}

void CreateTableWindow::export_config() {
    platform::export_window_config(unit<QPushButton>("按钮导出配置"),
                                   unit<QPushButton>("按钮导入配置"), this,
                                   [this](persist::ConfigStore& store) { save_state(store); });
}

void CreateTableWindow::import_config() {
    platform::import_window_config(
        unit<QPushButton>("按钮导出配置"), unit<QPushButton>("按钮导入配置"), this, G("新建表"),
        [this](persist::ConfigStore& store) { return load_design(store); });
}

void CreateTableWindow::import_config_file(const std::string& native_path) {
    platform::import_config_file(
        native_path, G("新建表"), this,
        [this](persist::ConfigStore& store) { return load_design(store); });
}

std::string CreateTableWindow::load_design(persist::ConfigStore& store) {
    const persist::ConfigStore::SectionScope in(store, G("新建表"));
    if (store.read_number(G("字段数"), 0) < 1) return G("文件中没有新建表的字段设计");
    const std::vector<mapping::StoredRow> design = mapping::read_rows(store, headers());
    for (size_t i = 0; i < design.size(); ++i)
        if (types_->findText(to_qstring(design[i][1])) < 0)
            return G("第 ") + text::int_text(static_cast<int64_t>(i + 1)) + G(" 个字段的类型“") +
                   design[i][1] + G("”不是可选的类型");
    restore_state(store);
    return {};
}

void CreateTableWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CreateTableWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return;
    const std::string path = urls.front().toLocalFile().toStdString();
    std::string ext = text::extension(path);
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    // After the drop event: the file manager that started the drag is not held by the
    // message that follows.
    if (ext == "ini")
        QMetaObject::invokeMethod(
            this, [this, path] { import_config_file(path); }, Qt::QueuedConnection);
}

CreateTableWindow* open_create_table(MainLink& main, QPointer<CreateTableWindow>& current) {
    return open_once(current, [&main] { return new CreateTableWindow(main, main.main_widget()); });
}

}  // namespace qb::manager
