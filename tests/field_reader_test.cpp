#include "textin/field_reader.h"

#include <gtest/gtest.h>

#include <variant>
#include <vector>

#include "tests/temp_dir.h"

namespace drusk {
namespace {

using testing::TempDir;

enum class Read { Integer, String, RestOfLine, AtEnd };

struct Step {
    Read read;
    std::variant<int32_t, std::string, bool> expected;
};

// Opens a file holding the bytes and applies the reads in order.
void expectReads(const std::string& bytes, const std::vector<Step>& steps) {
    TempDir dir;
    FieldReader reader;
    ASSERT_EQ(open(reader, dir.write("f.txt", bytes)), 0);
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE("read " + std::to_string(i));
        const Step& step = steps[i];
        switch (step.read) {
            case Read::Integer:
                EXPECT_EQ(readIntegerField(reader), std::get<int32_t>(step.expected));
                break;
            case Read::String:
                EXPECT_EQ(readStringField(reader), std::get<std::string>(step.expected));
                break;
            case Read::RestOfLine:
                EXPECT_EQ(readRestOfLine(reader), std::get<std::string>(step.expected));
                break;
            case Read::AtEnd:
                EXPECT_EQ(atEndOfFile(reader), std::get<bool>(step.expected));
                break;
        }
    }
    close(reader);
}

Step integer(int32_t v) {
    return {Read::Integer, v};
}
Step string(std::string s) {
    return {Read::String, std::move(s)};
}
Step rest(std::string s) {
    return {Read::RestOfLine, std::move(s)};
}
Step atEnd(bool b) {
    return {Read::AtEnd, b};
}

TEST(FieldReader, WorkedExample) {
    const std::string file =
        "1, 2 ,3\r\n"
        "  4 5,,6\r\n"
        "\"7\",  8.5  , &H1F\r\n"
        "Hello, world ,\"a, b\" x\r\n"
        "next line\r\n"
        "9,rest of, line \r\n";
    expectReads(file, {integer(1), integer(2), integer(3), atEnd(false), integer(4), integer(5),
                       integer(0), integer(6), integer(7), integer(8), integer(31), string("Hello"),
                       string("world "), string("a, b"), string("x"), rest("next line"), integer(9),
                       rest("rest of, line "), atEnd(true)});
}

TEST(FieldReader, EmptyFileIsAtEndAndReadsNothing) {
    expectReads("", {atEnd(true), integer(0), string(""), rest(""), atEnd(true)});
}

TEST(FieldReader, LineWithOnlyALineEnd) {
    expectReads("\n\n7\n", {integer(0), string(""), integer(7), atEnd(true)});
}

TEST(FieldReader, FieldBoundaries) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"sign apart from its digits is two fields", "- 7\n", {integer(0), integer(7)}},
        {"closing quote does not end an integer field", "\"12\"34\n", {integer(1234)}},
        {"lone CR ends fields", "1\r2\r", {integer(1), integer(2), atEnd(true)}},
        {"byte-order mark is part of the first field",
         "\xEF\xBB\xBF"
         "6\n",
         {integer(0)}},
        {"waiting byte comes first for rest of line", "5 abc\n", {integer(5), rest("abc")}},
        {"blanks before comma belong to it", "1 , 2\n", {integer(1), integer(2)}},
        {"string keeps inner and trailing blanks", "  world ,x\n", {string("world "), string("x")}},
        {"two quotes do not escape", "\"ab\"\"cd\"\n", {string("ab"), string("cd")}},
        {"quote inside a field is ordinary", "ab\"c,1\"2\n", {string("ab\"c"), integer(1)}},
        {"line end closes quotes", "\"abc\ndef\n", {string("abc"), string("def")}},
        {"tab is a blank", "\t3\t4\n", {integer(3), integer(4)}},
        {"comma after rest of line stays", "1,  a,b\n", {integer(1), rest("  a,b")}},
        {"last line without line end", "1,2", {integer(1), integer(2), atEnd(true)}},
        {"rest of line drops one final CR", "abc\r", {rest("abc"), atEnd(true)}},
        {"NUL ends a string value", std::string("ab\0cd,5\n", 8), {string("ab"), integer(5)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectReads(c.bytes, c.steps);
    }
}

TEST(FieldReader, CtrlZEndsTheText) {
    expectReads(
        "1\n\x1A"
        "2\n",
        {integer(1), atEnd(false), integer(0), atEnd(true), string("")});
    expectReads(
        "ab\x1A"
        "cd\n",
        {rest("ab"), atEnd(true)});
}

TEST(FieldReader, TrailingEmptyLineKeepsEndOfFileFalse) {
    expectReads("1\n\n", {integer(1), atEnd(false), rest(""), atEnd(true)});
    expectReads("1\n  ", {integer(1), atEnd(false), string(""), atEnd(true)});
}

TEST(FieldReader, IntegerFieldLimitCutsTheField) {
    std::string digits(67, '9');
    expectReads(digits + "123\n", {integer(-1), integer(123), atEnd(true)});
}

TEST(FieldReader, StringFieldLimitCutsTheField) {
    std::string text(4096, 'a');
    expectReads(text + "bc,d\n", {string(text), string("bc"), string("d")});
}

TEST(FieldReader, LongFileCrossesBufferBoundaries) {
    std::string bytes;
    for (int i = 0; i < 5000; ++i)
        bytes += std::to_string(i) + ",\r\n";
    TempDir dir;
    FieldReader reader;
    ASSERT_EQ(open(reader, dir.write("long.txt", bytes)), 0);
    for (int i = 0; i < 5000; ++i) {
        ASSERT_EQ(readIntegerField(reader), i);
        ASSERT_EQ(readRestOfLine(reader), "");
    }
    EXPECT_TRUE(atEndOfFile(reader));
    close(reader);
}

TEST(FieldReader, OpenResults) {
    TempDir dir;
    FieldReader reader;
    EXPECT_EQ(open(reader, dir.path() + "/missing.txt"), 2);
    EXPECT_EQ(open(reader, dir.path()), 2);  // a directory cannot be read as text
    std::string first = dir.write("a.txt", "1\n");
    std::string second = dir.write("b.txt", "2\n");
    ASSERT_EQ(open(reader, first), 0);
    EXPECT_EQ(open(reader, second), 1);  // the open file is left alone
    EXPECT_EQ(readIntegerField(reader), 1);
    close(reader);
    ASSERT_EQ(open(reader, second), 0);
    EXPECT_EQ(readIntegerField(reader), 2);
    close(reader);
}

TEST(IntegerFieldValue, KnownAnswers) {
    struct Case {
        std::string field;
        int32_t value;
    };
    const std::vector<Case> cases = {
        {"1e3", 1000},  // the reader turns 1d3 into 1e3
        {"1E3", 1000},
        {"1.5", 2},
        {"2.5e0", 2},
        {"-0.5", 0},
        {"0.5", 0},
        {"3.5", 4},
        {"-2.5", -2},
        {"8.5", 8},
        {"1e10", INT32_MIN},
        {"-1e10", INT32_MIN},
        {"2147483647.4", 2147483647},
        {"2147483647.5", INT32_MIN},
        {"-2147483648.5", INT32_MIN},
        {"0x1.8", 0},
        {"1e", 1},
        {"&H1F", 31},
        {"&h1f", 31},
        {"&17", 15},
        {"&O17", 15},
        {"&B101", 5},
        {"&HFFFFFFFF", -1},
        {"&H100000001", 1},
        {"&", 0},
        {"&Hz", 0},
        {"&HDD", 221},
        {"  12", 12},
        {"4294967295", -1},
        {"4294967296", -1},
        {"-4294967296", -1},
        {"2147483648", INT32_MIN},
        {"-2147483648", INT32_MIN},
        {"12abc", 12},
        {"-7", -7},
        {"+7", 7},
        {"abc", 0},
        {"", 0},
        {std::string(67, '9'), -1},
        {std::string("1\0"
                     "2",
                     3),
         1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(integerFieldValue(c.field), c.value) << "field: " << c.field;
    }
}

TEST(IntegerFieldValue, ExponentLetterDReadsAsE) {
    expectReads("1d3,1D3,&HDD\n", {integer(1000), integer(1000), integer(221)});
}

}  // namespace
}  // namespace drusk
