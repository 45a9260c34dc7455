#include "imagelist.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Outcome {
    std::optional<CImageList> list;
    std::string problem;
};

Outcome Read(const std::string& text) {
    std::FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    EXPECT_EQ(std::fwrite(text.data(), 1, text.size(), file), text.size());
    std::rewind(file);
    Outcome outcome;
    outcome.list = ReadImageList(file, outcome.problem);
    std::fclose(file);
    return outcome;
}

std::string Names(int count) {
    std::string names;
    for (int i = 0; i < count; ++i)
        names += " n" + std::to_string(i) + ".bmp";
    return names;
}

std::string ProblemOf(const std::string& text) {
    const Outcome outcome = Read(text);
    EXPECT_FALSE(outcome.list) << text;
    return outcome.problem;
}

TEST(ImageList, ReadsCountDirectoryAndNames) {
    const Outcome outcome = Read("2 D:\\images a.bmp\tb.bmp");
    ASSERT_TRUE(outcome.list) << outcome.problem;
    EXPECT_EQ(outcome.list->count, 2);
    EXPECT_EQ(outcome.list->directory, "D:\\images");
    EXPECT_EQ(outcome.list->names, (std::vector<std::string>{"a.bmp", "b.bmp"}));
}

TEST(ImageList, LineEndsDoNotMatter) {
    for (const char* text :
         {"2\n/home/me/images\na.bmp\nb.bmp\n", "2\r\n/home/me/images\r\na.bmp\r\nb.bmp\r\n"}) {
        const Outcome outcome = Read(text);
        ASSERT_TRUE(outcome.list) << outcome.problem;
        EXPECT_EQ(outcome.list->directory, "/home/me/images");
        EXPECT_EQ(outcome.list->names, (std::vector<std::string>{"a.bmp", "b.bmp"}));
    }
}

TEST(ImageList, CountTakesAtMostThreeCharacters) {
    struct Case {
        std::string text;
        int count;
        std::string directory;
    };
    const Case cases[] = {
        {"1000" + Names(100), 100, "0"},      {"127images" + Names(127), 127, "images"},
        {"+5 dir" + Names(5), 5, "dir"},      {"  \r\n 2dir" + Names(2), 2, "dir"},
        {"999 dir" + Names(999), 999, "dir"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = Read(c.text);
        ASSERT_TRUE(outcome.list) << c.text.substr(0, 12) << ": " << outcome.problem;
        EXPECT_EQ(outcome.list->count, c.count);
        EXPECT_EQ(outcome.list->names.size(), std::size_t(c.count));
        EXPECT_EQ(outcome.list->directory, c.directory);
    }
}

TEST(ImageList, RefusesMissingOrNonPositiveCounts) {
    for (const char* text : {"", "  \n", "abc dir a", "+ 5 dir a", "-x dir a", "+-1 dir a"})
        EXPECT_EQ(ProblemOf(text), "不是以图像数开头") << text;
    for (const char* text : {"0 dir a", "-1 dir a", "-99 dir a", "000 dir a"})
        EXPECT_EQ(ProblemOf(text), "的图像数小于 1") << text;
}

TEST(ImageList, RefusesMissingFields) {
    EXPECT_EQ(ProblemOf("2"), "没有文件夹");
    EXPECT_EQ(ProblemOf("2 dir"), "列出的图像少于它的图像数");
    EXPECT_EQ(ProblemOf("3 dir a.bmp\r\nb.bmp\r\n"), "列出的图像少于它的图像数");
}

TEST(ImageList, FieldLengthLimits) {
    const std::string longestDirectory(119, 'd');
    const std::string longestName(99, 'n');
    const Outcome outcome = Read("1 " + longestDirectory + " " + longestName);
    ASSERT_TRUE(outcome.list) << outcome.problem;
    EXPECT_EQ(outcome.list->directory, longestDirectory);
    EXPECT_EQ(outcome.list->names[0], longestName);

    EXPECT_EQ(ProblemOf("1 " + longestDirectory + "d a"), "的文件夹超过 119 个字节");
    EXPECT_EQ(ProblemOf("2 dir a " + longestName + "n"), "中有名称超过 99 个字节");
}

TEST(ImageList, IgnoresWhatFollowsTheLastName) {
    const Outcome outcome = Read("1 dir a.bmp b.bmp " + std::string(5000, 'x') + "\n\x01\xff");
    ASSERT_TRUE(outcome.list) << outcome.problem;
    EXPECT_EQ(outcome.list->names, std::vector<std::string>{"a.bmp"});
}

TEST(ImageList, RefusesZeroBytesInsideFields) {
    EXPECT_EQ(ProblemOf(std::string("1 dir a\0b.bmp", 13)), "含有零字节");
    EXPECT_EQ(ProblemOf(std::string("1 d\0ir a.bmp", 12)), "含有零字节");
}

TEST(ImageList, ReportsAStreamThatCannotBeRead) {
    std::FILE* file = std::fopen("/dev/null", "w");
    ASSERT_NE(file, nullptr);
    std::string problem;
    EXPECT_FALSE(ReadImageList(file, problem));
    EXPECT_EQ(problem, "无法读取");
    std::fclose(file);
}

} // namespace
