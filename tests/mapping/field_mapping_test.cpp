#include "mapping/field_mapping.h"

#include <gtest/gtest.h>

#include "test_util.h"
#include "text/gbk.h"

namespace qb::mapping {
namespace {

using test::G;

TEST(FieldMapping, SourcesInIndexOrder) {
    ASSERT_EQ(source_names().size(), 11u);
    EXPECT_EQ(source_index(G("文件主名")), 0);
    EXPECT_EQ(source_index(G("网页标题")), 2);
    EXPECT_EQ(source_index(G("随机词组")), 8);
    EXPECT_EQ(source_index(G("固定文本")), 10);
    EXPECT_EQ(source_index(G("请设置")), -1);
    EXPECT_EQ(source_index(""), -1);
}

TEST(FieldMapping, OptionsTextJoinsValuesInOrder) {
    const std::string sep = G("┊?┊");
    EXPECT_EQ(build_options_text(kPageTitle, {"<title>", "</title>"}),
              "<title>" + sep + "</title>");
    EXPECT_EQ(build_options_text(kFileTime, {G("假"), G("真"), G("假"), "2"}),
              G("假") + sep + G("真") + sep + G("假") + sep + "2");
    EXPECT_EQ(build_options_text(kFileBaseName, {"x"}), G("无"));
    EXPECT_EQ(build_options_text(kFileContent, {}), G("无"));
    EXPECT_EQ(build_options_text(kParentFolder, {}), G("无"));
    EXPECT_EQ(build_options_text(kFixedText, {"a" + sep + "b"}), "a" + sep + "b");
    EXPECT_EQ(build_options_text(11, {"a"}), "");
    EXPECT_EQ(build_options_text(-1, {"a"}), "");
}

TEST(FieldMapping, SplitOptionsKeepsAtMostAHundredParts) {
    const std::string sep = G("┊?┊");
    std::vector<std::string> values;
    for (int i = 0; i < 150; ++i) values.push_back(std::to_string(i));
    auto parts = split_options(text::join(values, sep));
    ASSERT_EQ(parts.size(), 100u);
    EXPECT_EQ(parts[99], "99");
    EXPECT_EQ(option_at(parts, 100), "");
    EXPECT_EQ(option_at(split_options(""), 0), "");
    // A separator made of GBK characters is not found across character boundaries.
    auto fixed = split_options(G("乗┊?┊亅"));
    EXPECT_EQ(fixed, (std::vector<std::string>{G("乗"), G("亅")}));
}

TEST(FieldMapping, TruthTextsAndDefaultRows) {
    EXPECT_TRUE(is_true_text(G("真")));
    EXPECT_FALSE(is_true_text(G("假")));
    EXPECT_FALSE(is_true_text("true"));
    EXPECT_FALSE(is_true_text(""));
    auto rows = default_field_rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].field, G("标题"));
    EXPECT_EQ(rows[0].source, G("文件主名"));
    EXPECT_EQ(rows[1].field, G("内容"));
    EXPECT_EQ(rows[1].source, G("文件内容"));
    EXPECT_EQ(rows[2].field, "title");
    EXPECT_EQ(rows[3].field, "content");
    EXPECT_EQ(rows[3].source, G("文件内容"));
    EXPECT_EQ(rows[3].options, "");
}

}  // namespace
}  // namespace qb::mapping
