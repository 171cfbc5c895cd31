// Reading programs: line numbering and line ends, comments, words in their
// written forms, and the lines that cannot be read.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "gcode/reader.h"

using namespace gcode;

namespace {

std::vector<block> read_all(const std::string& text)
{
    std::istringstream in(text);
    reader r(in);
    std::vector<block> out;
    for (block b; r.next(b);) out.push_back(b);
    EXPECT_EQ(r.bytes(), text.size());
    EXPECT_EQ(r.lines(), out.size());
    return out;
}

block parse(std::string_view text)
{
    block b;
    parse_block(text, b);
    return b;
}

// The words of a block as "G1X10.5Y-2".
std::string words(const block& b)
{
    std::ostringstream s;
    for (const word& w : b.words) s << w.letter << w.value;
    return s.str();
}

}  // namespace

TEST(reader, numbers_lines_across_line_ends)
{
    auto v = read_all("G0 X1\r\n\nG1 X2\r\nG1 X3");
    ASSERT_EQ(v.size(), 4u);
    for (size_t i = 0; i < v.size(); ++i) EXPECT_EQ(v[i].line, i + 1);
    EXPECT_EQ(words(v[0]), "G0X1");
    EXPECT_TRUE(v[1].blank());
    EXPECT_EQ(v[2].problem, issue::none);
    EXPECT_EQ(words(v[3]), "G1X3");
    EXPECT_EQ(read_all("G0 X1\n").size(), 1u);
    EXPECT_TRUE(read_all("").empty());
}

TEST(reader, words_comments_and_marks)
{
    EXPECT_EQ(words(parse("g1x10")), words(parse("G1 X10")));
    EXPECT_EQ(words(parse("G 1 X 10.5 y-.5 Z+2.")), "G1X10.5Y-0.5Z2");
    EXPECT_EQ(words(parse("N120 G1 X1")), "G1X1");
    EXPECT_EQ(words(parse("n5g0x1\t\f\v")), "G0X1");
    EXPECT_EQ(words(parse("G1 (go; there) X10 ; Y5 (not this)")), "G1X10");
    EXPECT_TRUE(parse("(only a comment)").blank());
    EXPECT_TRUE(parse("; only a comment").blank());
    EXPECT_TRUE(parse("%").percent);
    block del = parse("/G0 X5");
    EXPECT_TRUE(del.block_delete);
    EXPECT_EQ(words(del), "G0X5");
    EXPECT_FALSE(parse("G0 X5").block_delete);

    block dollar = parse("  $J=G91 X1 F100  ");
    EXPECT_EQ(dollar.dollar, "$J=G91 X1 F100");
    EXPECT_TRUE(dollar.words.empty());
    EXPECT_EQ(dollar.problem, issue::none);
}

TEST(reader, lines_that_cannot_be_read)
{
    for (char c : {'\0', '\x7f', '\x01', '\x1b', '\x08'})
        EXPECT_EQ(parse(std::string("G1 X1") + c).problem, issue::not_text) << int(c);
    for (const char* text : {"G1 X", "G1 X1 Y", "G1 X2000000"}) EXPECT_EQ(parse(text).problem, issue::malformed) << text;

    struct {
        const char* text;
        char named;
    } cases[] = {{"G1 X", 'X'}, {"#101=5", '#'}, {"G1 X#1", '#'}, {"G1 X[1+2]", '['}, {"O100 sub", 'O'}, {"o100 call", 'O'}};
    for (const auto& c : cases) {
        block b = parse(c.text);
        EXPECT_NE(b.problem, issue::none) << c.text;
        EXPECT_TRUE(c.named == 'X' || b.problem == issue::unsupported) << c.text;
        bool named = false;
        for (char w : b.bad_word) named = named || std::toupper(static_cast<unsigned char>(w)) == c.named;
        EXPECT_TRUE(named) << c.text << " named as " << b.bad_word;
    }
}

TEST(reader, overlong_lines_are_skipped_and_reading_goes_on)
{
    std::string longest = "G1 X7 (";
    longest += std::string(MAX_LINE_BYTES - longest.size() - 1, 'a') + ")";
    ASSERT_EQ(longest.size(), MAX_LINE_BYTES);  // taken whole
    std::string one_more = "(" + std::string(MAX_LINE_BYTES - 1, 'b') + ")";
    auto v = read_all("G1 X1\n" + longest + "\n" + one_more + "\nG1 X3\n" + std::string(3 * MAX_LINE_BYTES, 'c') +
                      "\r\nG1 X5");
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[1].problem, issue::none);
    EXPECT_EQ(words(v[1]), "G1X7");
    EXPECT_EQ(v[2].problem, issue::too_long);
    EXPECT_EQ(v[4].problem, issue::too_long);
    for (size_t i : {3, 5}) {
        EXPECT_EQ(v[i].line, i + 1);
        EXPECT_EQ(v[i].problem, issue::none);
        EXPECT_EQ(words(v[i]), "G1X" + std::to_string(i));
    }
}

TEST(reader, reads_a_large_program_line_by_line)
{
    std::string text;
    const uint64_t n = 200000;
    for (uint64_t i = 1; i <= n; ++i) text += "N" + std::to_string(i) + " G1 X" + std::to_string(i % 997) + " Y2.5\r\n";
    ASSERT_GT(text.size(), 4u << 20);
    std::istringstream in(text);
    reader r(in);
    uint64_t count = 0, wrong = 0;
    for (block b; r.next(b);) {
        ++count;
        if (b.line != count || b.words.size() != 3 || b.words[1].value != double(count % 997)) ++wrong;
    }
    EXPECT_EQ(count, n);
    EXPECT_EQ(wrong, 0u);
}
