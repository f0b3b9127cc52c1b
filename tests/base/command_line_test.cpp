// Quoting of process command lines: whatever is built splits back into the same arguments.
#include "base/command_line.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(QuoteArgument(L"plain"), L"plain");
    EXPECT_EQ(QuoteArgument(L"a&b%c^d"), L"a&b%c^d");  // no shell reads it
    EXPECT_EQ(QuoteArgument(L""), L"\"\"");
    EXPECT_EQ(QuoteArgument(L"C:\\my pics\\x.jpg"), L"\"C:\\my pics\\x.jpg\"");
    EXPECT_EQ(QuoteArgument(L"C:\\my dir\\"), L"\"C:\\my dir\\\\\"");
    EXPECT_EQ(QuoteArgument(L"say \"hi\""), L"\"say \\\"hi\\\"\"");
    EXPECT_EQ(QuoteArgument(L"a\\\"b"), L"\"a\\\\\\\"b\"");
    EXPECT_EQ(QuoteArgument(L"C:\\no\\space\\"), L"C:\\no\\space\\");
}

TEST(CommandLine, RoundTripsAwkwardArguments) {
    const std::vector<std::wstring> args = {
        L"exiftool",
        L"C:\\my pictures & 100% ^done\\holiday & 50%.jpg",
        L"trailing\\",
        L"spaced trailing\\\\",
        L"quote\"inside",
        L"\\\"",
        L"",
        L"tab\there",
        L"a & mkdir injected & b.jpg",
        L"%PATH%",
        L"^&|<>()",
    };
    EXPECT_EQ(SplitCommandLine(BuildCommandLine(args)), args);
}

TEST(CommandLine, SplitsLikeTheCRuntime) {
    EXPECT_EQ(SplitCommandLine(L"a  \"b c\"\td"), (std::vector<std::wstring>{L"a", L"b c", L"d"}));
    EXPECT_EQ(SplitCommandLine(L"a\\\\\\\"b"), (std::vector<std::wstring>{L"a\\\"b"}));
    EXPECT_EQ(SplitCommandLine(L"a\\\\b"), (std::vector<std::wstring>{L"a\\\\b"}));
    EXPECT_EQ(SplitCommandLine(L"\"a\"\"b\""), (std::vector<std::wstring>{L"a\"b"}));
    EXPECT_TRUE(SplitCommandLine(L"   ").empty());
}

}  // namespace
