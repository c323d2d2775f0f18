#include "app/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "app/connection_texts.h"
#include "db/connection.h"
#include "manager/create_table_window.h"
#include "manager/manager_window.h"
#include "mapping/run_host.h"
#include "persist/config_store.h"
#include "platform/paths.h"
#include "platform/qtext.h"
#include "platform/right_click.h"
#include "platform/text_input_dialog.h"
#include "platform/ui.h"
#include "platform/widgets.h"
#include "text/iconv_text.h"

namespace qb::app {

using namespace platform::widgets;
using platform::qtr;
using platform::ShowTextInput;
using platform::TextInputRequest;
using platform::TextInputResult;
using text::G;

namespace {

// A row "label edit 到 edit" of a count range.
QHBoxLayout* range_row(const char* caption, QLineEdit* from, QLineEdit* to) {
    auto* row = new QHBoxLayout;
    row->addWidget(make_label(caption));
    row->addWidget(from);
    row->addWidget(make_label("到"));
    row->addWidget(to);
    row->addStretch();
    from->setMaximumWidth(60);
    to->setMaximumWidth(60);
    return row;
}

}  // namespace

MainWindow::MainWindow(persist::ConfigStore& settings) : settings_(settings) {
    setObjectName(qtr("主界面"));
    setWindowTitle(platform::to_qstring(mapping::program_title()));

    auto* top = new QVBoxLayout(this);

    auto* connection = new QGroupBox(qtr("数据库设置(MySQL)"), this);
    auto* connection_grid = new QGridLayout(connection);
    build_connection_group(connection_grid);
    top->addWidget(connection);

    auto* source = new QGroupBox(qtr("文章来源"), this);
    auto* source_grid = new QGridLayout(source);
    build_source_group(source_grid);
    top->addWidget(source);

    top->addWidget(build_field_group(), 1);

    auto* bottom = new QHBoxLayout;
    auto* import_button = make_button("按钮导入", "导入文章到 MySQL 数据库", this);
    auto* export_button = make_button("按钮导出", "从 MySQL 数据库导出文章", this);
    bottom->addWidget(import_button);
    bottom->addWidget(export_button);
    auto* import_config_button = make_button("按钮导入配置", "导入配置", this);
    auto* export_config_button = make_button("按钮导出配置", "导出配置", this);
    bottom->addWidget(import_config_button);
    bottom->addWidget(export_config_button);
    connect(import_button, &QPushButton::clicked, this, [this] { start_import(false); });
    platform::RightClick::install(import_button, [this] { start_import(true); });
    connect(export_button, &QPushButton::clicked, this, &MainWindow::start_export);
    connect(import_config_button, &QPushButton::clicked, this, &MainWindow::import_config);
    connect(export_config_button, &QPushButton::clicked, this, &MainWindow::export_config);
    drop_handler_ = [this](int count, int position, const std::string& path) {
        import_dropped_file(count, position, path);
    };
    bottom->addStretch();
    // A picture and the link beside it do the same.
    const auto add_picture_link = [&](const char* picture_name, const char* symbol,
                                      const char* link_name, const char* caption,
                                      const std::function<void()>& open) {
        auto* picture = make_label(symbol, this);
        picture->setObjectName(qtr(picture_name));
        bottom->addWidget(picture);
        auto* link = make_link(link_name, caption, this);
        bottom->addWidget(link);
        connect(link, &QLabel::linkActivated, this, open);
        platform::RightClick::install(picture, open, Qt::LeftButton);
    };
    add_picture_link("图片新建表", "▦", "链接新建表", "新建表", [this] { open_create_table(); });
    add_picture_link("图片管理器", "▤", "链接管理器", "管理器", [this] { open_manager(); });
    add_picture_link("图片帮助", "?", "链接帮助", "帮助", [this] { open_manual(); });
    top->addLayout(bottom);

    connect(&busy_, &platform::Busy::changed, this, &MainWindow::update_units);
    update_units();
    connect(unit<QPushButton>("按钮库列表"), &QPushButton::clicked, this,
            &MainWindow::show_database_popup);
    connect(unit<QPushButton>("按钮表列表"), &QPushButton::clicked, this,
            &MainWindow::show_table_popup);
    connect(unit<QPushButton>("按钮读表字段"), &QPushButton::clicked, this,
            &MainWindow::read_table_columns);
    resize(720, 760);
}

MainWindow::~MainWindow() {
    // The mode is the program's: a window made after this one starts from its own box.
    text::lossless_mode = false;
}

void MainWindow::build_connection_group(QGridLayout* grid) {
    QWidget* box = grid->parentWidget();
    auto* server = make_edit("编辑框服务器", "127.0.0.1", box);
    auto* user = make_edit("编辑框用户名", "root", box);
    auto* password = make_edit("编辑框密码", "root", box);
    password->setEchoMode(QLineEdit::Password);
    database_edit_ = make_edit("编辑框库名", "", box);
    table_edit_ = make_edit("编辑框表名", "", box);

    grid->addWidget(make_label("服务器：", box), 0, 0);
    grid->addWidget(server, 0, 1);
    grid->addWidget(make_label("用户名：", box), 0, 2);
    grid->addWidget(user, 0, 3);
    grid->addWidget(make_label("密码：", box), 0, 4);
    grid->addWidget(password, 0, 5);
    grid->addWidget(make_label("库名：", box), 1, 0);
    grid->addWidget(database_edit_, 1, 1);
    grid->addWidget(make_button("按钮库列表", "库..", box), 1, 2);
    grid->addWidget(make_label("表名：", box), 1, 3);
    auto* table_row = new QHBoxLayout;
    table_row->addWidget(table_edit_);
    table_row->addWidget(make_button("按钮表列表", "表..", box));
    grid->addLayout(table_row, 1, 4, 1, 2);
    // How the link is protected; the CA file is what 验证证书 checks the server against.
    grid->addWidget(make_label("加密连接：", box), 2, 0);
    grid->addWidget(make_combo("组合框加密", {"自动", "关闭", "必须", "验证证书"}, box), 2, 1);
    grid->addWidget(make_label("CA 证书：", box), 2, 2);
    auto* ca_row = new QHBoxLayout;
    auto* ca = make_edit("编辑框证书", "", box);
    ca->setToolTip(qtr("“验证证书”用的 CA 证书文件（PEM）；空着则用本机信任的证书机构"));
    ca_row->addWidget(ca);
    auto* pick_ca = make_button("按钮证书", "…", box);
    pick_ca->setAccessibleName(qtr("选择CA证书文件"));
    connect(pick_ca, &QPushButton::clicked, this, &MainWindow::pick_ca_file);
    ca_row->addWidget(pick_ca);
    grid->addLayout(ca_row, 2, 3, 1, 3);
    auto* buttons = new QHBoxLayout;
    connect_button_ = make_button("按钮建立连接", "建立连接", box);
    connect(connect_button_, &QPushButton::clicked, this, &MainWindow::toggle_connection);
    buttons->addWidget(connect_button_);
    buttons->addWidget(make_button("按钮读表字段", "读表字段", box));
    grid->addLayout(buttons, 0, 6, 2, 1);
}

void MainWindow::build_source_group(QGridLayout* grid) {
    QWidget* box = grid->parentWidget();
    folder_edit_ = make_edit("编辑框文章目录", "", box);
    auto* pick = make_button("按钮选择目录", "浏览..", box);
    pick->setToolTip(qtr("左键选择文章目录，右键打开其上级目录"));
    connect(pick, &QPushButton::clicked, this, &MainWindow::pick_article_folder);
    platform::RightClick::install(pick, [this] { show_article_folder(); });

    grid->addWidget(make_label("文章目录：", box), 0, 0);
    grid->addWidget(folder_edit_, 0, 1, 1, 4);
    grid->addWidget(pick, 0, 5);
    grid->addWidget(make_label("文件类型：", box), 1, 0);
    grid->addWidget(make_edit("编辑框文件类型", "*.*", box), 1, 1);
    grid->addWidget(make_label("文件编码：", box), 1, 2);
    grid->addWidget(
        make_combo("组合框文件编码", {"自动识别", "ANSI", "UTF-8", "Unicode", "UnicodeBE"}, box), 1,
        3);
    grid->addWidget(make_check("选择框遍历子目录", "遍历子目录", true, box), 1, 4);
    grid->addWidget(make_check("选择框乱序导入", "乱序导入", false, box), 1, 5);
    auto* lossless = make_check("选择框无损", "保留全部字符（utf8mb4）", false, box);
    lossless->setToolTip(
        qtr("导入导出时保留 GBK 没有的字符（表情、生僻字、€ 等），自动创建的库和表用 utf8mb4"));
    connect(lossless, &QCheckBox::toggled, this, &MainWindow::apply_lossless_mode);
    grid->addWidget(lossless, 0, 6);
}

void MainWindow::apply_lossless_mode() {
    const bool on = unit<QCheckBox>("选择框无损")->isChecked();
    text::lossless_mode = on;
    if (connection_ && !db::set_lossless(connection_.get(), on)) {
        std::string reason;
        db::last_error(connection_.get(), reason);
        platform::ui().message(mapping::no_utf8mb4_text(reason), {}, platform::Icon::Warning, this);
    }
}

QWidget* MainWindow::build_field_group() {
    auto* group = new QGroupBox(qtr("数据字段设置(MySQL.field)"), this);
    auto* layout = new QHBoxLayout(group);

    field_list_ = new QTreeWidget(group);
    field_list_->setObjectName(qtr("超级列表框"));
    QStringList headers;
    for (const std::string& h : mapping::field_list_headers()) headers << platform::to_qstring(h);
    field_list_->setHeaderLabels(headers);
    field_list_->setRootIsDecorated(false);
    field_list_->setUniformRowHeights(true);
    field_list_->setSelectionMode(QAbstractItemView::SingleSelection);
    field_list_->header()->resizeSection(0, 120);
    field_list_->header()->resizeSection(1, 90);
    connect(field_list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        // Only a row the operator chose: focus entering the list makes its first row current
        // without selecting it, and must not overwrite what the editors hold.
        if (item && loading_row_allowed_ && item->isSelected())
            load_field_row(field_list_->indexOfTopLevelItem(item));
    });
    layout->addWidget(field_list_, 3);

    auto* editors = new QVBoxLayout;
    auto* name_row = new QHBoxLayout;
    name_row->addWidget(make_label("字段名：", group));
    field_edit_ = make_edit("编辑框字段名", "", group);
    name_row->addWidget(field_edit_);
    editors->addLayout(name_row);

    auto* source_row = new QHBoxLayout;
    source_row->addWidget(make_label("数据来源：", group));
    source_combo_ = new QComboBox(group);
    source_combo_->setObjectName(qtr("组合框数据来源"));
    for (const std::string& n : mapping::source_names())
        source_combo_->addItem(platform::to_qstring(n));
    source_combo_->setCurrentIndex(0);
    connect(source_combo_, &QComboBox::currentIndexChanged, this, &MainWindow::select_source);
    source_row->addWidget(source_combo_);
    editors->addLayout(source_row);

    pages_ = new QTabWidget(group);
    pages_->setObjectName(qtr("选择夹"));
    // The page follows the source combo; tabs of their own would let the two disagree.
    pages_->tabBar()->hide();
    build_option_pages();
    editors->addWidget(pages_);

    auto* buttons = new QHBoxLayout;
    auto* add = make_button("按钮添加", "添加", group);
    auto* modify = make_button("按钮修改", "修改", group);
    auto* remove = make_button("按钮删除", "删除", group);
    remove->setToolTip(qtr("右击将全部清空"));
    connect(add, &QPushButton::clicked, this, &MainWindow::add_field);
    connect(modify, &QPushButton::clicked, this, &MainWindow::modify_field);
    connect(remove, &QPushButton::clicked, this, &MainWindow::delete_field);
    platform::RightClick::install(remove, [this] { clear_fields(); });
    buttons->addWidget(add);
    buttons->addWidget(modify);
    buttons->addWidget(remove);
    editors->addLayout(buttons);
    editors->addStretch();
    layout->addLayout(editors, 2);
    return group;
}

void MainWindow::build_option_pages() {
    using namespace mapping;
    auto page = [&](Source s, const char* description) {
        auto* p = new QWidget(pages_);
        auto* v = new QVBoxLayout(p);
        if (description) {
            auto* l = make_label(description, p);
            l->setWordWrap(true);
            v->addWidget(l);
        }
        pages_->addTab(p, platform::to_qstring(source_names()[s]));
        return v;
    };
    auto& u = option_units_;

    page(kFileBaseName, "文件名如“123.txt”的前缀部分如“123”")->addStretch();
    page(kFileContent, "也就是文章内容，来自于文章目录中的文件")->addStretch();

    {
        auto* v = page(kPageTitle, "文件内容中的<title>网页标题</title>");
        auto* head = make_edit("编辑框标签头", "<title>");
        auto* tail = make_edit("编辑框标签尾", "</title>");
        auto* row1 = new QHBoxLayout;
        row1->addWidget(make_label("标签头："));
        row1->addWidget(head);
        auto* row2 = new QHBoxLayout;
        row2->addWidget(make_label("标签尾："));
        row2->addWidget(tail);
        v->addLayout(row1);
        v->addLayout(row2);
        v->addStretch();
        u[kPageTitle] = {head, tail};
    }
    {
        auto* v = page(kSummary, "文件内容开头随机数量文字作为内容摘要");
        auto* from = make_edit("编辑框摘要字数1", "100");
        auto* to = make_edit("编辑框摘要字数2", "200");
        v->addLayout(range_row("字数：", from, to));
        v->addStretch();
        u[kSummary] = {from, to};
    }
    {
        auto* v = page(kFileTime, "文件的创建、修改、访问的日期时间");
        QWidget* p = pages_->widget(kFileTime);
        auto* created = make_radio("单选框创建", "创建", false, p);
        auto* modified = make_radio("单选框修改", "修改", true, p);
        auto* accessed = make_radio("单选框访问", "访问", false, p);
        auto* kind = make_combo("组合框类型", {"全部", "日期", "时间"}, p);
        auto* row = new QHBoxLayout;
        row->addWidget(created);
        row->addWidget(modified);
        row->addWidget(accessed);
        row->addWidget(kind);
        row->addStretch();
        v->addLayout(row);
        v->addStretch();
        u[kFileTime] = {created, modified, accessed, kind};
    }
    {
        auto* v = page(kRandomChinese, nullptr);
        QWidget* p = pages_->widget(kRandomChinese);
        auto* most = make_radio("单选框最常用", "最常用", true, p);
        auto* common = make_radio("单选框一般常用", "一般常用", false, p);
        auto* secondary = make_radio("单选框次要常用", "次要常用", false, p);
        auto* traditional = make_check("选择框转为繁体", "转为繁体", false, p);
        auto* from = make_edit("编辑框汉字字数1", "5", p);
        auto* to = make_edit("编辑框汉字字数2", "10", p);
        auto* row = new QHBoxLayout;
        row->addWidget(most);
        row->addWidget(common);
        row->addWidget(secondary);
        row->addWidget(traditional);
        row->addStretch();
        v->addLayout(row);
        v->addLayout(range_row("字数：", from, to));
        v->addStretch();
        u[kRandomChinese] = {most, common, secondary, traditional, from, to};
    }
    {
        auto* v = page(kRandomAlnum, nullptr);
        QWidget* p = pages_->widget(kRandomAlnum);
        auto* digits = make_check("选择框有数字", "数字", true, p);
        auto* lower = make_check("选择框有小字母", "小写字母", true, p);
        auto* upper = make_check("选择框有大字母", "大写字母", false, p);
        auto* full = make_check("选择框转为全角", "转为全角", false, p);
        auto* from = make_edit("编辑框数母字数1", "6", p);
        auto* to = make_edit("编辑框数母字数2", "12", p);
        auto* row = new QHBoxLayout;
        row->addWidget(digits);
        row->addWidget(lower);
        row->addWidget(upper);
        row->addWidget(full);
        row->addStretch();
        v->addLayout(row);
        v->addLayout(range_row("字数：", from, to));
        v->addStretch();
        u[kRandomAlnum] = {digits, lower, upper, full, from, to};
    }
    {
        auto* v = page(kRandomTime, nullptr);
        QWidget* p = pages_->widget(kRandomTime);
        auto* expression = make_edit("编辑框时间表达式", "<年>-<月>-<日> <时>:<分>:<秒>", p);
        auto* help = make_button("按钮问号1", "?", p);
        help->setMaximumWidth(28);
        connect(help, &QPushButton::clicked, this, [this] {
            platform::ui().message(G("表达式可以插入 <年><月><日><时><分><秒> 6个项目，自由引用！"),
                                   {}, platform::Icon::Information, this);
        });
        auto* year_from = make_edit("编辑框年1", "2012", p);
        auto* year_to = make_edit("编辑框年2", "2015", p);
        auto* now = make_check("选择框当前时间", "当前时间", false, p);
        auto* row = new QHBoxLayout;
        row->addWidget(make_label("表达式：", p));
        row->addWidget(expression);
        row->addWidget(help);
        v->addLayout(row);
        auto* years = range_row("年幅度：", year_from, year_to);
        years->insertWidget(years->count() - 1, now);
        v->addLayout(years);
        v->addStretch();
        u[kRandomTime] = {expression, year_from, year_to, now};
    }
    {
        auto* v = page(kRandomPhrase, nullptr);
        QWidget* p = pages_->widget(kRandomPhrase);
        auto* phrases = make_edit("编辑框词组", "词1|词2|词3|词4|词5|词6", p);
        auto* input = make_button("按钮输入词组", "...", p);
        input->setMaximumWidth(32);
        connect(input, &QPushButton::clicked, this, [this, phrases] {
            TextInputRequest request;
            request.initial = platform::from_qstring(phrases->text());
            request.prompt =
                G("请输入将被随机调用的词组列表，可以使用|隔开多个词组，也可以一行一个：");
            request.parent = this;
            TextInputResult r = ShowTextInput(request);
            if (r.accepted) phrases->setText(platform::to_qstring(r.text));
        });
        auto* mode = make_combo("组合框模式", {"不重复随机", "自然随机", "原始顺序"}, p);
        auto* from = make_edit("编辑框数量1", "1", p);
        auto* to = make_edit("编辑框数量2", "3", p);
        auto* row = new QHBoxLayout;
        row->addWidget(make_label("词组：", p));
        row->addWidget(phrases);
        row->addWidget(input);
        v->addLayout(row);
        auto* mode_row = new QHBoxLayout;
        mode_row->addWidget(make_label("模式：", p));
        mode_row->addWidget(mode);
        mode_row->addStretch();
        v->addLayout(mode_row);
        v->addLayout(range_row("数量：", from, to));
        v->addStretch();
        u[kRandomPhrase] = {phrases, mode, from, to};
    }
    page(kParentFolder, "如“C:\\1\\2.txt”的父目录名部分如“1”")->addStretch();
    {
        auto* v = page(kFixedText, "固定的文本：");
        auto* fixed = make_edit("编辑框固定的文本", "", pages_->widget(kFixedText));
        v->addWidget(fixed);
        v->addStretch();
        u[kFixedText] = {fixed};
    }
}

void MainWindow::on_created() {
    restore_field_list(settings_);
    select_source();
    setAcceptDrops(true);
}

void MainWindow::save_state(bool last) {
    if (saved_) return;
    saved_ = last;
    save_field_list(settings_);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A loop of any window is on the stack below this event, and every window goes with
    // this one: ask it to stop, close when it has.
    if (busy_.put_off_close(this, true)) {
        event->ignore();
        return;
    }
    // The manager and create-table windows go with the program, saving their state.
    for (QPointer<QWidget>& w : connection_windows_)
        if (w) w->close();
    save_state();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    event->acceptProposedAction();
    // The program that started the drag waits until the drop event returns: the import
    // starts afterwards.
    QMetaObject::invokeMethod(
        this, [this, paths] { handle_drop(paths); }, Qt::QueuedConnection);
}

void MainWindow::handle_drop(const QStringList& paths) {
    if (!drop_handler_) return;
    for (int i = 0; i < paths.size(); ++i)
        drop_handler_(static_cast<int>(paths.size()), i + 1, paths[i].toStdString());
}

void MainWindow::open_manual() {
    std::vector<std::string> searched;
    const std::string manual = platform::manual_path(&searched);
    if (manual.empty()) {
        std::string places;
        for (const std::string& p : searched) places += "\r\n" + platform::program_path(p);
        platform::ui().message(G("找不到帮助文件，找过这些位置：") + places, {},
                               platform::Icon::Warning, this);
        return;
    }
    platform::ui().open_path(platform::program_path(manual));
}

void MainWindow::pick_article_folder() {
    std::string current = platform::from_qstring(folder_edit_->text());
    std::string chosen = platform::ui().pick_folder(G("请选择一个文件夹"), current, this);
    if (!chosen.empty()) folder_edit_->setText(platform::to_qstring(chosen));
}

void MainWindow::show_server_in_use() {
    connect_button_->setToolTip(
        platform::to_qstring(G("已连接服务器 ") + db::server_in_use(connection_.get()) + G("，") +
                             db::link_security(connection_.get())));
}

void MainWindow::pick_ca_file() {
    QLineEdit* edit = unit<QLineEdit>("编辑框证书");
    const std::vector<std::string> chosen = platform::ui().pick_open_files(
        G("选择验证服务器证书用的 CA 证书文件"),
        G("证书文件(*.pem;*.crt;*.cer)|*.pem;*.crt;*.cer|全部文件(*.*)|*.*"),
        platform::OpenPick::One, platform::from_qstring(edit->text()), this);
    if (!chosen.empty() && !chosen.front().empty())
        edit->setText(platform::to_qstring(chosen.front()));
}

void MainWindow::show_article_folder() {
    platform::ui().open_path(platform::parent_path(platform::from_qstring(folder_edit_->text())));
}

void MainWindow::apply_name_command(NameTarget target, const std::string& name) {
    (target == NameTarget::Database ? database_edit_ : table_edit_)
        ->setText(platform::to_qstring(name));
}

bool MainWindow::ensure_connected() {
    if (!connection_) toggle_connection();
    return connection_ != nullptr;
}

void MainWindow::focus_main(const char* edit_box) {
    if (auto* e = unit<QLineEdit>(edit_box)) e->setFocus();
}

void MainWindow::hand_over_names(const std::string& database, const std::string& table) {
    database_edit_->setText(platform::to_qstring(database));
    table_edit_->setText(platform::to_qstring(table));
    activateWindow();
    raise();
    setFocus();
}

manager::ManagerWindow* MainWindow::open_manager() {
    return manager::open_manager(*this, manager_);
}

manager::CreateTableWindow* MainWindow::open_create_table() {
    return manager::open_create_table(*this, create_table_);
}

void MainWindow::update_units() {
    const bool connected = connection_ != nullptr;
    const platform::Loop loop = busy_.running();
    const bool idle = loop == platform::Loop::None;
    connect_button_->setEnabled(idle);
    for (const char* name : {"按钮库列表", "按钮表列表", "按钮读表字段"})
        unit<QPushButton>(name)->setEnabled(connected && idle);
    // A run's own button stays: it is the stop request.
    unit<QPushButton>("按钮导入")
        ->setEnabled(connected && (idle || loop == platform::Loop::Import));
    unit<QPushButton>("按钮导出")
        ->setEnabled(connected && (idle || loop == platform::Loop::Export));
    unit<QPushButton>("按钮导入配置")->setEnabled(idle);
    // A run, and every loop on the connection, keeps the mode it started in.
    unit<QCheckBox>("选择框无损")->setEnabled(idle);
}

void MainWindow::toggle_connection() {
    const platform::Loop loop = busy_.running();
    if (loop == platform::Loop::Import || loop == platform::Loop::Export) {
        // The run is using the connection.
        platform::ui().message(loop == platform::Loop::Import
                                   ? G("正在导入文章，请先停止导入再断开连接！")
                                   : G("正在导出文章，请先停止导出再断开连接！"),
                               {}, platform::Icon::None, this);
        return;
    }
    if (busy_.refuse(this)) return;
    if (connect_button_->text() == qtr("建立连接")) {
        connect_button_->setEnabled(false);
        connect_button_->setText(qtr("正在连接.."));
        platform::ui().pump();
        db::LoginParameters login;
        db::set_servers(login, platform::from_qstring(unit<QLineEdit>("编辑框服务器")->text()));
        login.user = platform::from_qstring(unit<QLineEdit>("编辑框用户名")->text());
        login.password = platform::from_qstring(unit<QLineEdit>("编辑框密码")->text());
        // The window's own statements give up after short_answer_seconds_; its runs and the
        // commands that change tables wait longer (db::PatientAnswers).
        login.statement_timeout = short_answer_seconds_;
        login.tls.mode = static_cast<db::TlsMode>(unit<QComboBox>("组合框加密")->currentIndex());
        login.tls.ca = platform::native_path(
            text::trim_spaces(platform::from_qstring(unit<QLineEdit>("编辑框证书")->text())));
        std::string error;
        connection_ = db::open_connection(std::move(login), &error);
        connect_button_->setEnabled(true);
        if (connection_) {
            update_units();
            connect_button_->setText(qtr("断开连接"));
            show_server_in_use();
            db::execute_sql(connection_.get(), "set names 'GBK'");
            if (unit<QCheckBox>("选择框无损")->isChecked()) apply_lossless_mode();
            return;
        }
        connect_button_->setText(qtr("建立连接"));
        if (error.rfind(G("加密连接失败："), 0) == 0) {
            // The account and the network are fine: the link could not be protected as asked.
            platform::ui().message(error, connect_failure_caption(), platform::Icon::Error, this);
            return;
        }
        TextInputRequest request;
        request.initial = connect_failure_details();
        request.prompt = connect_failure_hint();
        request.caption = connect_failure_caption();
        request.parent = this;
        request.editable = false;
        ShowTextInput(request);
        return;
    }
    if (connect_button_->text() != qtr("断开连接")) return;  // a login under way
    database_names_cache_.clear();
    db::close_connection(connection_);
    update_units();
    connect_button_->setText(qtr("建立连接"));
    connect_button_->setToolTip({});
    for (QPointer<QWidget>& w : connection_windows_)
        if (w) w->close();
    connection_windows_.clear();
}

}  // namespace qb::app
