// Decisions of the save dialog that need no window: suggested name, format rows, JPEG quality steps.
#pragma once

#include <cstdint>
#include <string>

struct SaveFormatRow {
    const wchar_t* pattern;    // filter description and pattern, "*.jpg"
    const wchar_t* extension;  // ".jpg"
    const wchar_t* mimeType;   // "image/jpeg"
};

constexpr int kSaveFormatCount = 5;
constexpr int kJpegFormat = 4;  // one-based filter index of "*.jpg"
constexpr int32_t kMinJpegQuality = 10;
constexpr int32_t kMaxJpegQuality = 100;
constexpr int32_t kDefaultJpegQuality = 85;

// Row 1..5 (bmp, tif, png, jpg, gif); null outside.
[[nodiscard]] const SaveFormatRow* SaveFormatAt(int filterIndex);

// The dialog's filter list: description and pattern of each row, double-NUL terminated.
std::wstring SaveFilterList();

// 1..5 for ".bmp" ... ".gif" (case of A-Z ignored), 0 otherwise.
[[nodiscard]] int FormatIndexOfExtension(const std::wstring& extension);

struct SuggestedSave {
    std::wstring fileName;  // "<name>-Solvane", or empty when the loaded name has no extension
    int filterIndex = 0;    // 1..5 when the loaded extension is one of ours, else 0
};
// From the loaded path: the name part after the last backslash, its extension from the last full stop.
SuggestedSave SuggestSaveName(const std::wstring& sourcePath);

struct ResolvedSave {
    std::wstring path;    // the name to write
    int formatIndex = 0;  // 1..5; 0 = no usable format
};
// The format from the chosen name's last four characters, else from the dialog's filter index
// with that row's extension appended.
[[nodiscard]] ResolvedSave ResolveSaveName(const std::wstring& chosen, int filterIndex);

int32_t ClampJpegQuality(int32_t quality);

// Trackbar scroll codes (the same numbers as TB_LINEUP ... TB_THUMBTRACK).
enum QualityScrollCode {
    kScrollLineUp = 0,
    kScrollLineDown = 1,
    kScrollPageUp = 2,
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
};
// The quality after a scroll message: current is the trackbar's position, thumb the message's
// signed high word. The result is limited to 10..100.
int32_t QualityAfterScroll(int code, int32_t current, int32_t thumb);

#include <vector>

// The metadata copy's arguments (program name first): exiftool -overwrite_original
// -tagsfromfile SOURCE -all:all -icc_profile TARGET.
std::vector<std::wstring> ExiftoolArguments(const std::wstring& source, const std::wstring& target);

// Where the metadata copy looks for exiftool, in order: each folder in turn, and in each folder the
// extensions of PATHEXT that name programs or batch files (".COM;.EXE;.BAT;.CMD" when it is empty).
struct ToolCandidate {
    std::wstring path;
    bool batch = false;  // .bat or .cmd: run through the command interpreter
};
std::vector<ToolCandidate> ExiftoolCandidates(const std::vector<std::wstring>& folders, const std::wstring& pathext);

// The folders of a PATH value, in order, without quotes and empty entries.
std::vector<std::wstring> SplitSearchPath(const std::wstring& path);

// True when the command interpreter takes this text literally inside double quotes (no '%', '!', '"'
// and no control characters): only such names are handed to a batch file.
bool SafeForBatch(const std::wstring& text);
