// A prompter for tests: answers message boxes and file dialogs from queues and records every call.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/prompt_win.h"

struct RecordedMessage {
    HWND owner;
    std::wstring text;
    std::wstring caption;  // empty for the system's default caption (null)
    bool defaultCaption;
    UINT type;
};

struct FileDialogAnswer {
    bool accept = false;  // false: the user cancels
    std::wstring path;    // written into lpstrFile
    int filterIndex = 0;  // written into nFilterIndex when not 0
};

struct RecordedFileDialog {
    bool save;
    HWND owner;
    std::wstring initialFile;
    std::wstring title;
    std::wstring defaultExtension;
    std::wstring filter;  // NULs shown as '|'
    DWORD filterIndex;
    DWORD flags;
    DWORD maxFile;
    bool hasHook;
    LPCWSTR templateName;
};

class FakePrompter : public Prompter {
public:
    std::vector<RecordedMessage> messages;
    std::deque<int> messageReplies;  // replies in order; then defaultReply
    int defaultReply = IDOK;
    std::vector<RecordedFileDialog> dialogs;
    std::deque<FileDialogAnswer> fileAnswers;  // empty queue: cancel
    // Runs while a file dialog is "open" (e.g. to play the user moving the quality slider).
    std::function<void(OPENFILENAMEW&)> whileDialogOpen;

    int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) override;
    BOOL ShowOpenDialog(OPENFILENAMEW& ofn) override { return Answer(ofn, false); }
    BOOL ShowSaveDialog(OPENFILENAMEW& ofn) override { return Answer(ofn, true); }

private:
    BOOL Answer(OPENFILENAMEW& ofn, bool save);
};

// A fresh empty folder under the temporary folder, removed with its contents at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Every file name in a folder (no "." and "..").
std::vector<std::wstring> ListFolder(const std::wstring& folder);
bool FileExists(const std::wstring& path);
std::vector<uint8_t> ReadWholeFile(const std::wstring& path);
bool WriteWholeFile(const std::wstring& path, const void* data, size_t size);
