// The configuration's shape check at its edges: the deepest nesting it lets
// through, the first level it refuses and where it says that level opens.
#include <gtest/gtest.h>

#include <string>

#include "host/fans/jsonShape.h"

namespace {

std::string nested(int levels, const std::string &inside = "1")
{
    std::string text;
    for (int i = 0; i < levels; ++i)
        text += i % 2 == 0 ? "[" : "{\"k\":";
    text += inside;
    for (int i = levels - 1; i >= 0; --i)
        text += i % 2 == 0 ? "]" : "}";
    return text;
}

} // namespace

TEST(JsonShape, TakesTheDeepestNestingAllowedAndRefusesOneLevelMore)
{
    // 32 levels, as docs/control.md promises, not kDeepestJson: the test
    // holds the number itself.
    EXPECT_FALSE(checkJsonShape(nested(32)).has_value());

    const auto tooDeep = checkJsonShape(nested(33));
    ASSERT_TRUE(tooDeep.has_value());
    // The 33rd bracket opens after 16 "[" and 16 "{"k":" (5 characters each).
    const int column = 16 * 1 + 16 * 5 + 1;
    EXPECT_EQ(tooDeep->message, "at line 1, column " + std::to_string(column) + ": nested deeper than 32 levels");
}

TEST(JsonShape, CountsOnlyBracketsOutsideStringsAndNamesTheLine)
{
    // Brackets inside a string, escaped quotes among them, are text.
    const std::string text = "{\"a\": \"[[[{\\\"[[\",\n\"b\": " + nested(32) + "}";
    const auto problem = checkJsonShape(text);
    ASSERT_TRUE(problem.has_value());
    // Inside "b" (one level), nested's 32nd bracket is the 33rd: it opens
    // after "b": and 16 "[" and 15 "{"k":".
    const int column = 5 + 16 * 1 + 15 * 5 + 1;
    EXPECT_EQ(problem->message, "at line 2, column " + std::to_string(column) + ": nested deeper than 32 levels");
    EXPECT_FALSE(checkJsonShape("{\"a\": \"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[\"}").has_value());
}

TEST(JsonShape, SaysWhereANumberOverflows)
{
    const auto problem = checkJsonShape("{\n  \"x\": 1e999}");
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->message.rfind("at line 2, column ", 0), 0u) << problem->message;
    EXPECT_NE(problem->message.find("1e999"), std::string::npos) << problem->message;
}
