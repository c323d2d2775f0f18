#include "persist/config_store.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <functional>

#include "test_util.h"

namespace qb::persist {
namespace {

using test::G;
using test::read_file;
using test::TempDir;
using test::write_file;

// Runs body in a child process as an unprivileged user (root may write anything, so the
// permission cases would not show) and gives its exit status: 0 when every check passed,
// else the number of the first that failed.
int as_unprivileged(const std::function<int()>& body) {
    pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (geteuid() == 0 && ::setuid(65534) != 0) _exit(100);
        _exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

TEST(ConfigStore, WritesProduceTheExactFileBytes) {
    TempDir dir;
    const std::string path = dir.file("a.ini");
    {
        ConfigStore store;
        ASSERT_TRUE(store.open_file(path));
        store.set_section("s");
        EXPECT_TRUE(store.write_number("a", 1));
        EXPECT_TRUE(store.write_number("b", 2));
        // Newest key first, CR LF between lines, none at the end.
        EXPECT_EQ(read_file(path), "[s]\r\nb=2\r\na=1");
        store.set_section(G("主界面"));
        EXPECT_TRUE(store.write_text(G("编辑框库名"), G("库")));
        EXPECT_TRUE(store.write_bool(G("选择框1"), true));
        EXPECT_TRUE(store.write_bool(G("选择框2"), false));
        EXPECT_TRUE(store.write_number("n", 2.5));
        store.set_section("s");
        EXPECT_TRUE(store.write_text("a", "one\r\ntwo"));  // replaced in place
        EXPECT_EQ(store.buffer(), read_file(path));
    }
    EXPECT_EQ(read_file(path), "[s]\r\nb=2\r\na=one" + G("┊*┊") + "two\r\n[" + G("主界面") +
                                   "]\r\nn=2.5\r\n" + G("选择框2=假") + "\r\n" + G("选择框1=真") +
                                   "\r\n" + G("编辑框库名=库"));

    ConfigStore again;
    ASSERT_TRUE(again.open_file(path));
    again.set_section("s");
    EXPECT_EQ(again.read_text("a", "x"), "one\r\ntwo");
    EXPECT_EQ(again.read_number("b", 0), 2);
    again.set_section(G("主界面"));
    EXPECT_EQ(again.read_number("n", 0), 2.5);
    EXPECT_TRUE(again.read_bool(G("选择框1"), false));
    EXPECT_FALSE(again.read_bool(G("选择框2"), true));
    EXPECT_TRUE(again.read_bool("missing", true));
    EXPECT_EQ(again.read_text(G("编辑框库名"), ""), G("库"));

    // In the lossless mode the file stays GBK: a character GBK lacks is written as "?".
    const qb::text::LosslessText lossless(true);
    again.set_section("s");
    EXPECT_TRUE(again.write_text("e", qb::text::utf8_to_gbk("中😀")));
    EXPECT_NE(read_file(path).find("\r\ne=" + G("中?")), std::string::npos);
}

TEST(ConfigStore, HeadersEntriesAndDefaultsFollowTheFormat) {
    TempDir dir;
    const std::string path = dir.file("b.ini");
    // A bracketed name inside a value is no header; key a exists only in section t.
    write_file(path, "[s]\r\nv=[t]\r\nempty=\r\nb=anything\r\n[t]\r\na=in t");
    ConfigStore store;
    ASSERT_TRUE(store.open_file(path));
    store.set_section("s");
    EXPECT_EQ(store.read_text("a", "default"), "default");
    EXPECT_EQ(store.read_text("empty", "default"), "");
    EXPECT_EQ(store.read_text("v", ""), "[t]");
    EXPECT_FALSE(store.read_bool("b", true));  // any word but 真 is false
    EXPECT_EQ(store.read_text("missing", "x" + G("┊*┊") + "y"), "x\r\ny");
    store.set_section("nosuch");
    EXPECT_EQ(store.read_text("a", "d"), "d");
    store.set_section("t");
    EXPECT_EQ(store.read_text("a", ""), "in t");

    store.set_section("s");
    ASSERT_TRUE(store.write_text("a", "in s"));
    EXPECT_EQ(read_file(path), "[s]\r\na=in s\r\nv=[t]\r\nempty=\r\nb=anything\r\n[t]\r\na=in t");
    store.set_section("t");
    EXPECT_EQ(store.read_text("a", ""), "in t");
    // "[t]" written as a value is not a section either.
    store.set_section("u");
    ASSERT_TRUE(store.write_text("k", "[s]"));
    store.set_section("s");
    EXPECT_EQ(store.read_text("a", ""), "in s");
}

TEST(ConfigStore, DamagedFilesGiveDefaultsWithoutCrashing) {
    TempDir dir;
    const std::string garbage_path = dir.file("garbage.ini");
    std::string garbage;
    for (int i = 0; i < 200000; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
    garbage += "\r\r\n=\n[s\r\nk\r\n[s]x=1\r[s]";
    write_file(garbage_path, garbage);
    ConfigStore store;
    ASSERT_TRUE(store.open_file(garbage_path));
    store.set_section("s");
    EXPECT_EQ(store.read_text("k", "d"), "d");
    EXPECT_TRUE(store.write_text("k", "v"));
    EXPECT_EQ(store.read_text("k", "d"), "v");
    // Neither "[s]x=1" nor "[s]" after a lone CR is a header line: a new section is appended
    // and every old byte stays.
    const std::string expected = garbage + "\r\n[s]\r\nk=v";
    EXPECT_TRUE(read_file(garbage_path) == expected);
    EXPECT_TRUE(store.buffer() == expected);

    // A file far too large to be settings is left alone.
    const std::string huge_path = dir.file("huge.ini");
    write_file(huge_path, std::string(ConfigStore::kMaxFileSize + 1, 'x'));
    ConfigStore huge;
    EXPECT_FALSE(huge.open_file(huge_path));
    huge.set_section("s");
    EXPECT_EQ(huge.read_text("k", "d"), "d");
    huge.write_text("k", "v");
    EXPECT_EQ(std::filesystem::file_size(huge_path), ConfigStore::kMaxFileSize + 1);
}

TEST(ConfigStore, ReadOnlyAndLockedFilesKeepTheirBytes) {
    TempDir dir;
    const std::string path = dir.file("locked.ini");
    ConfigStore first;
    ASSERT_TRUE(first.open_file(path));
    first.set_section("s");
    first.write_text("k", "first");

    // A second instance reads what is there but cannot write the file.
    ConfigStore second;
    EXPECT_FALSE(second.open_file(path));
    second.set_section("s");
    EXPECT_EQ(second.read_text("k", ""), "first");
    second.write_text("k", "second");
    EXPECT_EQ(second.read_text("k", ""), "second");
    EXPECT_EQ(read_file(path), "[s]\r\nk=first");
    // The lock survives the file being replaced by a write.
    first.write_text("k", "again");
    ConfigStore third;
    EXPECT_FALSE(third.open_file(path));
    first.close_file();
    EXPECT_TRUE(third.open_file(path));
    third.close_file();

    // A read-only file.
    ::chmod(path.c_str(), 0444);
    EXPECT_EQ(as_unprivileged([&] {
                  ConfigStore ro;
                  if (ro.open_file(path)) return 11;
                  ro.set_section("s");
                  if (ro.read_text("k", "") != "again") return 12;
                  ro.write_text("k", "changed");
                  if (ro.read_text("k", "") != "changed") return 13;
                  if (ro.error().rfind(G("无法写入文件："), 0) != 0) return 14;
                  return read_file(path) == "[s]\r\nk=again" ? 0 : 15;
              }),
              0);
}

TEST(ConfigStore, FailuresGiveTheirReasonAndAFolderWithoutNewFilesIsWrittenInPlace) {
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const std::string folder = dir.file("fixed");
    std::filesystem::create_directories(folder + "/inibin");
    const std::string kept = folder + "/kept.ini", side = folder + "/inibin/s-k.ibn";
    write_file(kept, "[s]\r\nk=old value that is longer");
    write_file(side, "old side bytes");
    ::chmod(kept.c_str(), 0666);
    ::chmod(side.c_str(), 0666);
    ::chmod((folder + "/inibin").c_str(), 0555);
    ::chmod(folder.c_str(), 0555);
    const std::string unreadable = dir.file("secret.ini");
    write_file(unreadable, "[s]\r\nk=v");
    ::chmod(unreadable.c_str(), 0600);
    EXPECT_EQ(as_unprivileged([&] {
                  // The folder takes no new file, so no replacement: the file itself is
                  // rewritten and cut to the new length, side files too.
                  ConfigStore store;
                  if (!store.open_file(kept)) return 1;
                  store.set_section("s");
                  if (!store.write_text("k", "new")) return 2;
                  if (read_file(kept) != "[s]\r\nk=new") return 3;
                  if (!store.write_bytes("k", "side")) return 4;
                  if (read_file(side) != "side" || !store.error().empty()) return 5;
                  // A new file there cannot be made: told, with the reason.
                  ConfigStore fresh;
                  if (fresh.open_file(folder + "/new.ini")) return 6;
                  if (fresh.error().rfind(G("无法写入文件："), 0) != 0) return 7;
                  if (std::filesystem::exists(folder + "/new.ini")) return 8;
                  // An unreadable file is not loaded, so nobody takes defaults for its contents.
                  ConfigStore closed;
                  if (closed.open_file(unreadable) || closed.loaded()) return 9;
                  if (closed.error().rfind(G("无法读取文件："), 0) != 0) return 10;
                  return 0;
              }),
              0);
    ::chmod(folder.c_str(), 0755);
    ::chmod((folder + "/inibin").c_str(), 0755);
    EXPECT_EQ(read_file(kept), "[s]\r\nk=new");

    // A batch of writes reaches the file once, at its end.
    ConfigStore store;
    ASSERT_TRUE(store.open_file(kept));
    store.set_section("s");
    {
        ConfigStore::Batch once(store);
        for (int i = 0; i < 100; ++i) store.write_number("n" + std::to_string(i), i);
        {
            ConfigStore::Batch inner(store);
            store.write_text("k", "batched");
        }
        EXPECT_EQ(read_file(kept), "[s]\r\nk=new");
    }
    EXPECT_EQ(read_file(kept), store.buffer());
    EXPECT_NE(store.buffer().find("\r\nk=batched"), std::string::npos);

    // A folder in the file's place cannot be read as one.
    ConfigStore folder_store;
    EXPECT_FALSE(folder_store.open_file(folder));
    EXPECT_FALSE(folder_store.loaded());
    EXPECT_FALSE(folder_store.error().empty());
}

// A settings file that is a link stays one (the file it names is written, with its owner
// and mode), a FIFO is refused at once, LF line ends read as CR LF, nothing the program
// starts inherits the file, and a second store on the program's own file says what it is.
TEST(ConfigStore, LinksPipesLineEndsAndTheProgramsOwnFile) {
    TempDir dir;
    const std::string real = dir.file("real.ini"), sym = dir.file("sym.ini"),
                      hard = dir.file("hard.ini");
    write_file(real, G("[主界面]\r\n甲=1"));
    ::chmod(real.c_str(), 0640);
    std::filesystem::create_symlink(real, sym);
    std::filesystem::create_hard_link(real, hard);
    {
        ConfigStore store;
        ASSERT_TRUE(store.open_file(sym));
        store.set_section(G("主界面"));
        EXPECT_TRUE(store.write_text(G("乙"), "2"));
        EXPECT_TRUE(store.write_bytes(G("丙"), "side"));
        // No descriptor of the file survives an exec.
        for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
            const int fd = std::stoi(e.path().filename().string());
            std::error_code ec;
            if (std::filesystem::read_symlink(e.path(), ec).string() == real) {
                EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
            }
        }
        ConfigStore second;
        EXPECT_FALSE(second.open_file(hard));
        EXPECT_EQ(second.error(), G("这是本程序自己的设置文件，正在用它保存窗口状态"));
    }
    EXPECT_TRUE(std::filesystem::is_symlink(sym));
    EXPECT_EQ(read_file(real), G("[主界面]\r\n乙=2\r\n甲=1"));
    EXPECT_EQ(read_file(hard), read_file(real));  // still one file
    struct stat st;
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(read_file(dir.file("inibin/") + G("主界面-丙.ibn")), "side");

    const std::string fifo = dir.file("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ConfigStore piped;
    EXPECT_FALSE(piped.open_file(fifo));  // returns, and says why
    EXPECT_FALSE(piped.loaded());
    EXPECT_FALSE(piped.error().empty());

    const std::string lf = dir.file("lf.ini");
    write_file(lf, G("[主界面]\n甲=1\n乙=2\n"));
    ConfigStore edited;
    edited.open_file(lf);
    EXPECT_TRUE(edited.has_section(G("主界面")));
    EXPECT_FALSE(edited.has_section(G("新建表")));
    edited.set_section(G("主界面"));
    EXPECT_EQ(edited.read_text(G("乙"), ""), "2");
    edited.write_text(G("甲"), "3");
    EXPECT_EQ(read_file(lf), G("[主界面]\r\n甲=3\r\n乙=2\r\n"));
}

TEST(ConfigStore, NewFileIsPrivate) {
    TempDir dir;
    const std::string path = dir.file("p.ini");
    ConfigStore store;
    ASSERT_TRUE(store.open_file(path));
    store.set_section("s");
    store.write_text(G("编辑框密码"), "secret");
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(ConfigStore, SideFilesHoldRawBytes) {
    TempDir dir;
    const std::string path = dir.file("c.ini");
    ConfigStore store;
    store.set_name_encoder([](const std::string& gbk) { return qb::text::gbk_to_utf8(gbk); });
    ASSERT_TRUE(store.open_file(path));
    store.set_section(G("主界面"));
    const std::string bytes("a\0b\r\n\xff", 6);
    EXPECT_EQ(store.read_bytes(G("列表框1"), "dflt"), "dflt");
    EXPECT_TRUE(store.write_bytes(G("列表框1"), bytes));
    EXPECT_EQ(read_file(dir.file("inibin/主界面-列表框1.ibn")), bytes);
    EXPECT_EQ(store.read_bytes(G("列表框1"), "dflt"), bytes);
    EXPECT_TRUE(store.write_bytes(G("列表框1"), "short"));
    EXPECT_EQ(store.read_bytes(G("列表框1"), "dflt"), "short");
    // An empty side file reads as the default.
    EXPECT_TRUE(store.write_bytes(G("列表框1"), ""));
    EXPECT_EQ(store.read_bytes(G("列表框1"), "dflt"), "dflt");
}

TEST(ConfigStore, WritesIssuedDuringAWriteRunAfterItInOrder) {
    TempDir dir;
    const std::string path = dir.file("q.ini");
    ConfigStore store;
    ASSERT_TRUE(store.open_file(path));
    store.set_section("s");
    int pumps = 0;
    std::vector<bool> nested_results;
    store.set_pump([&] {
        // An event handler writing while the first write is under way.
        if (++pumps == 1) {
            EXPECT_TRUE(store.busy());
            nested_results.push_back(store.write_text("second", "2"));
            nested_results.push_back(store.write_text("third", "3"));
        }
    });
    EXPECT_TRUE(store.write_text("first", "1"));
    EXPECT_FALSE(store.busy());
    EXPECT_EQ(nested_results, (std::vector<bool>{false, false}));
    // Each new key goes first under the header, so the order of the lines shows the order
    // in which the writes were performed.
    EXPECT_EQ(read_file(path), "[s]\r\nthird=3\r\nsecond=2\r\nfirst=1");
}

TEST(ConfigStore, TheAppendGuardGivesUpWithItsMessage) {
    TempDir dir;
    ConfigStore store;
    ASSERT_TRUE(store.open_file(dir.file("g.ini")));
    store.set_section("s");
    std::vector<std::string> alerts;
    std::string dump;
    store.set_alert([&](const std::string& message, const std::string& buffer) {
        alerts.push_back(message);
        dump = buffer;
    });
    // A handler that closes the store at every step takes away each header just appended.
    store.set_pump([&store] { store.close_file(); });
    EXPECT_FALSE(store.write_text("k", "v"));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], G("配置模块出现意外，可能导致无法正常保存！详情请咨询Tarvo。"));
    EXPECT_EQ(dump, "");
}

TEST(ConfigStore, NumbersAreDecimalText) {
    EXPECT_EQ(ConfigStore::number_text(4), "4");
    EXPECT_EQ(ConfigStore::number_text(-1), "-1");
    EXPECT_EQ(ConfigStore::number_text(0.5), "0.5");
    TempDir dir;
    ConfigStore store;
    ASSERT_TRUE(store.open_file(dir.file("n.ini")));
    store.set_section("s");
    store.write_text("word", "abc");
    EXPECT_EQ(store.read_number("word", 7), 0);
    EXPECT_EQ(store.read_number("missing", 7), 7);
}

}  // namespace
}  // namespace qb::persist
