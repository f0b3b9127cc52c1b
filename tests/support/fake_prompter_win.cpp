// Test prompter and temporary folders.
#include "support/fake_prompter_win.h"

#include <cstdint>
#include <cwchar>

int FakePrompter::ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    messages.push_back({owner, text ? text : L"", caption ? caption : L"", caption == nullptr, type});
    if (messageReplies.empty())
        return defaultReply;
    int reply = messageReplies.front();
    messageReplies.pop_front();
    return reply;
}

BOOL FakePrompter::Answer(OPENFILENAMEW& ofn, bool save) {
    RecordedFileDialog r{};
    r.save = save;
    r.owner = ofn.hwndOwner;
    r.initialFile = ofn.lpstrFile ? ofn.lpstrFile : L"";
    r.title = ofn.lpstrTitle ? ofn.lpstrTitle : L"";
    r.defaultExtension = ofn.lpstrDefExt ? ofn.lpstrDefExt : L"";
    if (ofn.lpstrFilter) {
        for (const wchar_t* p = ofn.lpstrFilter; *p; p += std::wcslen(p) + 1) {
            r.filter += p;
            r.filter += L'|';
        }
    }
    r.filterIndex = ofn.nFilterIndex;
    r.flags = ofn.Flags;
    r.maxFile = ofn.nMaxFile;
    r.hasHook = ofn.lpfnHook != nullptr;
    r.templateName = ofn.lpTemplateName;
    dialogs.push_back(r);
    if (whileDialogOpen)
        whileDialogOpen(ofn);

    if (fileAnswers.empty())
        return FALSE;
    FileDialogAnswer a = fileAnswers.front();
    fileAnswers.pop_front();
    if (!a.accept)
        return FALSE;
    if (a.path.size() >= ofn.nMaxFile)
        return FALSE;
    std::wcscpy(ofn.lpstrFile, a.path.c_str());
    if (a.filterIndex)
        ofn.nFilterIndex = static_cast<DWORD>(a.filterIndex);
    return TRUE;
}

namespace {

void RemoveTree(const std::wstring& folder) {
    for (const std::wstring& name : ListFolder(folder)) {
        std::wstring full = folder + L"\\" + name;
        DWORD attributes = GetFileAttributesW(full.c_str());
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            RemoveTree(full);
        } else {
            DeleteFileW(full.c_str());
        }
    }
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        path_ = std::wstring(base) + L"sp-files-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(counter++);
        if (CreateDirectoryW(path_.c_str(), nullptr))
            break;
    }
}

TempFolder::~TempFolder() {
    RemoveTree(path_);
}

std::vector<std::wstring> ListFolder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::wcscmp(data.cFileName, L".") && std::wcscmp(data.cFileName, L".."))
            names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<uint8_t> ReadWholeFile(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        bytes.resize(read);
    }
    CloseHandle(file);
    return bytes;
}

bool WriteWholeFile(const std::wstring& path, const void* data, size_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    return ok && written == size;
}
