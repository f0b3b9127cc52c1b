// Suggested save names, format choice and quality steps.
#include "imaging/save_format.h"

#include <gtest/gtest.h>

namespace {

TEST(SaveFormat, SuggestionFollowsTheLoadedName) {
    SuggestedSave s = SuggestSaveName(L"C:\\photos\\beach.JPG");
    EXPECT_EQ(s.fileName, L"beach-Solvane");
    EXPECT_EQ(s.filterIndex, 4);
    EXPECT_EQ(SuggestSaveName(L"C:\\a.b\\tree.Tif").filterIndex, 2);
    EXPECT_EQ(SuggestSaveName(L"C:\\a\\x.tar.png").fileName, L"x.tar-Solvane");
    SuggestedSave unknown = SuggestSaveName(L"C:\\a\\scan.webp");
    EXPECT_EQ(unknown.fileName, L"scan-Solvane");
    EXPECT_EQ(unknown.filterIndex, 0);
    SuggestedSave none = SuggestSaveName(L"C:\\dir.d\\README");
    EXPECT_EQ(none.fileName, L"");
    EXPECT_EQ(none.filterIndex, 0);
    EXPECT_EQ(SuggestSaveName(L"").fileName, L"");
    // Only A-Z fold: a dotted capital I is not an i.
    EXPECT_EQ(FormatIndexOfExtension(L".G\u0130F"), 0);
    EXPECT_EQ(FormatIndexOfExtension(L".GIF"), 5);
    EXPECT_EQ(FormatIndexOfExtension(L".gifs"), 0);
}

TEST(SaveFormat, TypedExtensionWinsOverTheFilter) {
    ResolvedSave r = ResolveSaveName(L"C:\\out", 3);
    EXPECT_EQ(r.path, L"C:\\out.png");
    EXPECT_EQ(r.formatIndex, 3);
    r = ResolveSaveName(L"C:\\out.tif", 3);
    EXPECT_EQ(r.path, L"C:\\out.tif");
    EXPECT_EQ(r.formatIndex, 2);
    r = ResolveSaveName(L"C:\\out.JPG", 1);
    EXPECT_EQ(r.formatIndex, 4);
    r = ResolveSaveName(L"C:\\out.jpeg", 4);  // not one of the five: the filter's extension is added
    EXPECT_EQ(r.path, L"C:\\out.jpeg.jpg");
    EXPECT_EQ(ResolveSaveName(L"gif", 5).path, L"gif.gif");  // shorter than four: no extension
    EXPECT_EQ(ResolveSaveName(L"C:\\out", 0).formatIndex, 0);
    EXPECT_EQ(ResolveSaveName(L"", 3).formatIndex, 0);
    EXPECT_EQ(SaveFilterList(),
              std::wstring(L"*.bmp\0*.bmp\0*.tif\0*.tif\0*.png\0*.png\0*.jpg\0*.jpg\0*.gif\0*.gif\0\0", 61));
}

TEST(SaveFormat, QualityScrollStaysWithinRange) {
    EXPECT_EQ(QualityAfterScroll(kScrollLineDown, 100, 0), 100);
    EXPECT_EQ(QualityAfterScroll(kScrollLineUp, 10, 0), 10);
    EXPECT_EQ(QualityAfterScroll(kScrollPageDown, 50, 0), 51);
    EXPECT_EQ(QualityAfterScroll(kScrollThumbTrack, 50, -5), 10);
    EXPECT_EQ(QualityAfterScroll(kScrollThumbPosition, 50, 77), 77);
    EXPECT_EQ(QualityAfterScroll(8, 64, 99), 64);  // end of tracking
    EXPECT_EQ(ClampJpegQuality(5), 10);
    EXPECT_EQ(ClampJpegQuality(500), 100);
}

TEST(SaveFormat, ExiftoolKeepsItsOptionsAndTakesPathsAsSingleArguments) {
    auto args = ExiftoolArguments(L"C:\\my pics\\a & b.jpg", L"C:\\out 100%.jpg");
    EXPECT_EQ(args, (std::vector<std::wstring>{L"exiftool", L"-overwrite_original", L"-tagsfromfile",
                                               L"C:\\my pics\\a & b.jpg", L"-all:all", L"-icc_profile",
                                               L"C:\\out 100%.jpg"}));
}

}  // namespace

TEST(SaveFormat, ExiftoolIsLookedForByPathextFolderByFolder) {
    const std::vector<std::wstring> folders = SplitSearchPath(L"C:\\a;;\"C:\\b c\\\";C:\\d\\");
    EXPECT_EQ(folders, (std::vector<std::wstring>{L"C:\\a", L"C:\\b c", L"C:\\d"}));
    const std::vector<ToolCandidate> c = ExiftoolCandidates({L"C:\\a", L"C:\\b"}, L".EXE;.js;.cmd");
    ASSERT_EQ(c.size(), 4u);  // scripts of other hosts are not programs to start
    EXPECT_EQ(c[0].path, L"C:\\a\\exiftool.EXE");
    EXPECT_FALSE(c[0].batch);
    EXPECT_EQ(c[1].path, L"C:\\a\\exiftool.cmd");
    EXPECT_TRUE(c[1].batch);
    EXPECT_EQ(c[2].path, L"C:\\b\\exiftool.EXE");
    EXPECT_EQ(ExiftoolCandidates({L"C:\\a"}, L"").size(), 4u);  // .COM .EXE .BAT .CMD
    EXPECT_TRUE(SafeForBatch(L"C:\\my pictures & more (2)\\~sp1-0.tmp"));
    for (const wchar_t* bad : {L"100%", L"wow!", L"a\"b", L"a\nb"})
        EXPECT_FALSE(SafeForBatch(bad)) << bad;
}
