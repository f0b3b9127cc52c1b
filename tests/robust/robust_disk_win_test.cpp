// A full disk and a folder without write rights under Save As, the settings files and the exposure
// tiles. A real 1 MB filesystem is mounted for it (the tests run as root, where a read-only folder
// would not stop a write; a read-only mount does). Without the right to mount, these tests skip.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/app_fixture_win.h"
#include "base/app_messages.h"
#include "fusion/prepare_win.h"
#include "robust/robust_watchdog_win.h"
#include "settings/string_table.h"

namespace {

// Runs a Linux command line (through /bin/sh) and returns its exit code, or -1 when it could not start.
int RunLinux(const std::string& script) {
    std::wstring line = L"/bin/sh -c \"" + std::wstring(script.begin(), script.end()) + L"\"";
    // The child gets nothing of this process's output: a Linux child left holding it cuts the test log.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(nul);
    if (!started) {
        std::printf("[disk] cannot start /bin/sh: error %lu\n", GetLastError());
        return -1;
    }
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

// A 1 MB tmpfs, reached from Wine through drive Z:.
class SmallDisk {
public:
    SmallDisk() {
        unix_ = "/tmp/sp-robust-disk-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
        RunLinux("mkdir -p " + unix_ + " && mount -t tmpfs -o size=1m,mode=0777 tmpfs " + unix_ + " && mountpoint -q " +
                 unix_ + " && touch " + unix_ + "/.mounted");
        path_ = L"Z:" + std::wstring(unix_.begin(), unix_.end());
        std::replace(path_.begin(), path_.end(), L'/', L'\\');
        // Wine neither waits for a Linux program nor hands back its exit code: the script leaves a mark.
        for (int i = 0; i < 200 && !mounted_; ++i, Sleep(50))
            mounted_ = FileExists(File(L".mounted"));
        if (!mounted_)
            RunLinux("umount " + unix_ + " ; rmdir " + unix_);
    }
    ~SmallDisk() {
        if (!mounted_)
            return;
        RunLinux("umount " + unix_ + " ; rmdir " + unix_);
        for (int i = 0; i < 200 && GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
            Sleep(50);
    }
    bool mounted() const { return mounted_; }
    const std::wstring& path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

    // Fills the disk, then frees `leave` bytes again.
    void Fill(size_t leave) {
        HANDLE f = CreateFileW(File(L"filler").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        std::vector<uint8_t> block(4096, 0x55);
        DWORD written = 0;
        while (WriteFile(f, block.data(), 4096, &written, nullptr) && written == 4096) {
        }
        LARGE_INTEGER size{};
        GetFileSizeEx(f, &size);
        LARGE_INTEGER end;
        end.QuadPart = std::max<LONGLONG>(0, size.QuadPart - static_cast<LONGLONG>(leave));
        SetFilePointerEx(f, end, nullptr, FILE_BEGIN);
        SetEndOfFile(f);
        CloseHandle(f);
    }
    void Empty() { DeleteFileW(File(L"filler").c_str()); }
    bool ReadOnly(bool readOnly) {
        // A remount is refused while a file is still open for writing; Wine may close a handle a moment late.
        for (int i = 0; i < 200; ++i, Sleep(50)) {
            if (i % 20 == 0)
                RunLinux("mount -o remount," + std::string(readOnly ? "ro" : "rw") + " " + unix_);
            // Opening the mark for writing creates nothing, so a remount landing midway leaves no stray file.
            HANDLE mark =
                CreateFileW(File(L".mounted").c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
            const bool writable = mark != INVALID_HANDLE_VALUE;
            if (writable)
                CloseHandle(mark);
            if (writable != readOnly)
                return true;
        }
        return false;
    }

private:
    std::string unix_;
    std::wstring path_;
    bool mounted_ = false;
};

std::vector<std::wstring> Listed(const std::wstring& folder) {
    std::vector<std::wstring> names = ListFolder(folder);
    names.erase(std::remove(names.begin(), names.end(), L".mounted"), names.end());
    std::sort(names.begin(), names.end());
    return names;
}

class DiskTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        if (!disk.mounted())
            GTEST_SKIP() << "mounting a 1 MB tmpfs is not allowed here: full-disk tests skipped";
    }
    void TearDown() override {
        disk.ReadOnly(false);
        MainWindowTest::TearDown();
    }
    // A picture loaded and marked as processed but not saved.
    void LoadUnsaved(int width, int height) {
        LoadPicture(width, height);
        SendMessageW(window, MSG_RESULT_UNSAVED, 0, 0);
    }
    // Save As through the real command; the fake dialog answers with target.
    void SaveAs(const std::wstring& target, int filterIndex) {
        prompter.fileAnswers.push_back({true, target, filterIndex});
        Command(CmdSaveAs);
    }
    void ExpectSaveRefused(const std::wstring& target, const std::wstring& titleBefore, size_t messagesBefore) {
        ASSERT_EQ(prompter.messages.size(), messagesBefore + 1);
        EXPECT_EQ(prompter.messages.back().text, EnglishString(kStrSaveFailed));
        EXPECT_FALSE(FileExists(target)) << "a half-written file under the chosen name";
        EXPECT_EQ(WindowText(window), titleBefore);
        EXPECT_EQ(gApp.unsavedResult, 1) << "the result must stay unsaved";
    }

    SmallDisk disk;
};

TEST_F(DiskTest, SaveAsOnAFullDiskLeavesNoFileAndTheResultUnsaved) {
    LoadUnsaved(300, 200);  // 180 KB as BMP
    const std::wstring title = WindowText(window);
    for (int format = 1; format <= 5; ++format) {
        SCOPED_TRACE(format);
        disk.Fill(16 * 1024);
        const wchar_t* exts[] = {L"", L".bmp", L".tif", L".png", L".jpg", L".gif"};
        const std::wstring target = disk.File(std::wstring(L"out") + exts[format]);
        const size_t before = prompter.messages.size();
        SaveAs(target, format);
        if (prompter.messages.size() == before && (format == 4 || format == 5)) {
            // JPEG and GIF of this picture may fit in 16 KB: then the file must be whole.
            EXPECT_TRUE(FileExists(target));
            disk.Empty();
            DeleteFileW(target.c_str());
            SendMessageW(window, MSG_RESULT_UNSAVED, 0, 0);
            SetWindowTextW(window, title.c_str());
            continue;
        }
        ExpectSaveRefused(target, title, before);
        EXPECT_EQ(Listed(disk.path()), std::vector<std::wstring>{L"filler"});
        disk.Empty();
    }
    // With room again the same save works.
    SaveAs(disk.File(L"out.bmp"), 1);
    EXPECT_TRUE(FileExists(disk.File(L"out.bmp")));
    EXPECT_EQ(gApp.unsavedResult, 0);
}

TEST_F(DiskTest, SaveAsIntoAReadOnlyFolderIsRefusedAndAnOldFileStays) {
    LoadUnsaved(120, 80);
    const std::wstring target = disk.File(L"old.png");
    ASSERT_TRUE(WriteWholeFile(target, "old picture", 11));
    ASSERT_TRUE(disk.ReadOnly(true));
    const std::wstring title = WindowText(window);
    const size_t before = prompter.messages.size();
    Watchdog watchdog(30000);
    watchdog.Begin(L"save into a read-only folder");
    SaveAs(target, 3);
    watchdog.End();
    ASSERT_EQ(prompter.messages.size(), before + 1);
    EXPECT_EQ(prompter.messages.back().text, EnglishString(kStrSaveFailed));
    EXPECT_EQ(ReadWholeFile(target), (std::vector<uint8_t>{'o', 'l', 'd', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}));
    EXPECT_EQ(WindowText(window), title);
    EXPECT_EQ(gApp.unsavedResult, 1);
    EXPECT_EQ(Listed(disk.path()), std::vector<std::wstring>{L"old.png"});
}

// The settings files live in the program folder: on a full or read-only disk a write fails, and the
// file keeps every value it had.
TEST_F(DiskTest, SettingsWritesOnAFullOrReadOnlyDiskKeepTheFileWhole) {
    SetProgramDirectoryOverride(disk.path());
    // Some settings with room to spare.
    ASSERT_TRUE(WriteSettingsInt(L"jpeg", 70));
    ASSERT_TRUE(WriteSettingsText(L"LOD_0", L"12"));
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(WriteSettingsInt((L"Filler" + std::to_wstring(i)).c_str(), i * 1000));
    ASSERT_TRUE(WriteCrashFlag(true));
    const std::vector<uint8_t> settings = ReadWholeFile(SettingsFilePath());
    const std::vector<uint8_t> localisation = ReadWholeFile(LocalisationFilePath());
    ASSERT_FALSE(settings.empty());

    disk.Fill(0);
    EXPECT_FALSE(WriteSettingsText(L"LOD_1", std::wstring(3000, L'7').c_str())) << "a failed write reported as done";
    EXPECT_EQ(ReadWholeFile(SettingsFilePath()), settings) << "the settings file was cut";
    EXPECT_EQ(ReadSettingsInt(L"Filler39", -1), 39000);
    EXPECT_EQ(ReadSettingsText(L"LOD_0", L""), L"12");
    // The crash flag: either written whole or the file as it was.
    static_cast<void>(WriteCrashFlag(false));  // may fail here; the file must stay whole either way
    const std::vector<uint8_t> after = ReadWholeFile(LocalisationFilePath());
    EXPECT_TRUE(after == localisation || ReadLocalisationInt(L"Crashed Last Time", -1) == 0);
    EXPECT_GE(after.size(), localisation.size() - 1);
    disk.Empty();

    ASSERT_TRUE(WriteCrashFlag(true));
    ASSERT_TRUE(disk.ReadOnly(true));
    EXPECT_FALSE(WriteSettingsInt(L"jpeg", 44));
    EXPECT_EQ(ReadSettingsInt(L"Filler39", -1), 39000);
    EXPECT_FALSE(WriteCrashFlag(false));
    EXPECT_EQ(ReadLocalisationInt(L"Crashed Last Time", -1), 1);
    SetProgramDirectoryOverride(folder.path());
}

// The tiles go beside the program: on a full disk the run stops at the first tile that does not fit,
// tells the user, and never opens the Fusion dialog over an incomplete set.
TEST_F(DiskTest, TilesOnAFullDiskStopTheRunBeforeFusing) {
    LoadPicture(300, 200);  // 180 KB per tile: about five fit in 1 MB
    SetProgramDirectoryOverride(disk.path());
    const size_t before = prompter.messages.size();
    Command(CmdSolvaneUp);
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }, 60000));
    ASSERT_EQ(prompter.messages.size(), before + 1);
    EXPECT_NE(prompter.messages.back().text.find(L"tmpfolder"), std::wstring::npos) << "the message names the folder";
    EXPECT_EQ(exposureCount, 0);
    EXPECT_FALSE(MenuBarGrayed(0));
    EXPECT_TRUE(ButtonEnabled(CmdSolvaneUp));
    // Every file left in the folder is a whole tile.
    for (const std::wstring& name : ListFolder(disk.File(L"tmpfolder"))) {
        EXPECT_EQ(name.substr(0, 5), L"file_") << "a temporary file was left";
        EXPECT_EQ(ReadWholeFile(disk.File(L"tmpfolder\\" + name)).size(), 54u + 300 * 3 * 200);
    }
    // The view and the result show the loaded picture, not a half-made rendering.
    EXPECT_EQ(std::memcmp(gDocument.resultBuffer.data, gDocument.sourceBuffer.data, gDocument.sourceBuffer.size), 0);
    SetProgramDirectoryOverride(folder.path());
}

TEST_F(DiskTest, TilesInAReadOnlyProgramFolderAreRefusedWithAMessage) {
    LoadPicture(64, 48);
    ASSERT_TRUE(disk.ReadOnly(true));
    SetProgramDirectoryOverride(disk.path());
    const size_t before = prompter.messages.size();
    Command(CmdSolvaneDown);
    ASSERT_TRUE(PumpUntil([] { return !JobRunning(); }, 60000));
    ASSERT_EQ(prompter.messages.size(), before + 1);
    EXPECT_NE(prompter.messages.back().text.find(L"tmpfolder"), std::wstring::npos);
    EXPECT_EQ(exposureCount, 0);
    EXPECT_FALSE(MenuBarGrayed(0));
    SetProgramDirectoryOverride(folder.path());
}

}  // namespace
