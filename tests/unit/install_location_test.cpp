// Install folder, settings and path rules, against the prefix's real registry
// and file system where they touch Windows.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <thread>

#include "common/text_encoding.h"
#include "install/download_folder.h"
#include "install/folder_dialog.h"
#include "install/install_paths.h"
#include "install/run_folder.h"
#include "install/settings.h"
#include "install/stored_folder.h"
#include "support/files.h"
#include "support/registry.h"

namespace br {
namespace {


// ---- path rules over plain strings ----------------------------------------------

TEST(InstallPaths, ChosenFolderEndsInTheProductFolder) {
    EXPECT_EQ(normaliseChosenFolder(L"D:\\Games"), L"D:\\Games\\Brindle");
    EXPECT_EQ(normaliseChosenFolder(L"D:\\Games\\brindle\\"), L"D:\\Games\\brindle");
    EXPECT_EQ(normaliseChosenFolder(L"D:\\Games\\BRINDLE/\\/"), L"D:\\Games\\BRINDLE");
    EXPECT_EQ(normaliseChosenFolder(L"D:\\Games\\Brindle2"), L"D:\\Games\\Brindle2\\Brindle");
    EXPECT_EQ(normaliseChosenFolder(L"D:/Games/Brindle"), L"D:/Games/Brindle");
    EXPECT_EQ(normaliseChosenFolder(L"D:\\Games/x"), L"D:\\Games/x\\Brindle");
    EXPECT_EQ(normaliseChosenFolder(L"D:\\"), L"D:\\Brindle");
    EXPECT_EQ(normaliseChosenFolder(L"Brindle"), L"Brindle");
    EXPECT_EQ(normaliseChosenFolder(L"D:\\Trò chơi"), L"D:\\Trò chơi\\Brindle");
    EXPECT_EQ(normaliseChosenFolder(L"\\\\"), L"C:\\Brindle");
    EXPECT_EQ(normaliseChosenFolder(L""), L"C:\\Brindle");
}

TEST(InstallPaths, ManifestPathsResolveInsideTheBase) {
    const std::wstring base = L"C:\\Brindle";
    EXPECT_EQ(resolveInstallPath(base, "bin/x64/a.dll"), L"C:\\Brindle\\bin\\x64\\a.dll");
    EXPECT_EQ(resolveInstallPath(base, "/a.dll"), L"C:\\Brindle\\a.dll");
    EXPECT_EQ(resolveInstallPath(base, "\\\\a.dll"), L"C:\\Brindle\\a.dll");
    EXPECT_EQ(resolveInstallPath(base, "/\\/a\\b.dll"), L"C:\\Brindle\\a\\b.dll");
    EXPECT_EQ(resolveInstallPath(base, "bản đồ/ảnh.png"), L"C:\\Brindle\\bản đồ\\ảnh.png");
    EXPECT_EQ(resolveInstallPath(base, ""), L"C:\\Brindle\\");
    EXPECT_EQ(resolveInstallPath(base, "///"), L"C:\\Brindle\\");

    for (const char* climbing : {"../a.dll", "x/../a.dll", "a..dll", "..", "/..", "x\\..\\..\\a.dll", "a/b..", "./a.dll"}) {
        EXPECT_EQ(resolveInstallPath(base, climbing), L"") << climbing;
    }
}

TEST(InstallPaths, ParentFoldersOutermostFirst) {
    EXPECT_EQ(parentFoldersToCreate(L"C:\\Brindle\\maps\\a\\file.dat"),
              (std::vector<std::wstring>{L"C:\\", L"C:\\Brindle\\", L"C:\\Brindle\\maps\\", L"C:\\Brindle\\maps\\a"}));
    EXPECT_EQ(parentFoldersToCreate(L"C:\\file.dat"), (std::vector<std::wstring>{L"C:"}));
    // "/" is an ordinary character to this walk.
    EXPECT_EQ(parentFoldersToCreate(L"C:\\a/b\\c.txt"), (std::vector<std::wstring>{L"C:\\", L"C:\\a/b"}));
    EXPECT_TRUE(parentFoldersToCreate(L"file.dat").empty());
    EXPECT_TRUE(parentFoldersToCreate(L"C:/Brindle/file.dat").empty());
}

TEST(ParentFolders, CreatedOneLevelAtATimeDownToTheFile) {
    const std::wstring root = makeTempFolder(L"parents");
    const std::wstring file = root + L"\\maps\\bản đồ\\a\\file.dat";
    createParentDirectories(file);
    EXPECT_TRUE(isFolder(root + L"\\maps\\bản đồ\\a"));
    EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
    // Existing folders are no obstacle.
    createParentDirectories(root + L"\\maps\\b\\file.dat");
    EXPECT_TRUE(isFolder(root + L"\\maps\\b"));
    removeTree(root);
}

// ---- the folder of this run ---------------------------------------------------------

TEST(InstallFolder, DefaultUntilANonEmptyFolderIsSet) {
    chosenInstallFolder.clear();
    EXPECT_EQ(installFolder(), L"C:\\Brindle");
    setInstallFolder(L"");
    EXPECT_EQ(installFolder(), L"C:\\Brindle");

    setInstallFolder(L"E:\\Trò chơi\\");  // kept exactly as given
    EXPECT_EQ(installFolder(), L"E:\\Trò chơi\\");
    setInstallFolder(L"");
    EXPECT_EQ(installFolder(), L"E:\\Trò chơi\\");
    setInstallFolder(L"F:\\Other");
    EXPECT_EQ(installFolder(), L"F:\\Other");
    chosenInstallFolder.clear();
}

// ---- absolute paths and the running executable ---------------------------------------

std::wstring folderOf(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring withAsciiCase(std::wstring text, bool upper) {
    for (wchar_t& c : text) {
        if (upper && c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        } else if (!upper && c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

TEST(OwnExecutable, AbsolutePathsOnlyFitTheBuffer) {
    EXPECT_EQ(fullPath(L"C:\\a\\..\\b\\.\\c.txt"), L"C:\\b\\c.txt");
    EXPECT_EQ(fullPath(L"C:/a/b"), L"C:\\a\\b");
    const std::wstring tooLong = L"C:\\" + std::wstring(300, L'x');
    EXPECT_EQ(fullPath(tooLong), tooLong);
    const std::wstring fitsExactly = L"C:\\" + std::wstring(256, L'x');  // 259 units
    EXPECT_EQ(fullPath(fitsExactly), fitsExactly);
    const std::wstring oneTooMany = L"C:\\a\\..\\" + std::wstring(257, L'x');  // resolves to 260 units
    EXPECT_EQ(fullPath(oneTooMany), oneTooMany);
}

TEST(OwnExecutable, RecognisedInAnyLetterCaseAndRelative) {
    const std::wstring own = runningExecutablePath();
    ASSERT_GT(own.size(), 17u);
    EXPECT_EQ(withAsciiCase(own.substr(own.size() - 17), false), L"brindle_tests.exe");

    EXPECT_TRUE(isOwnExecutable(own));
    EXPECT_TRUE(isOwnExecutable(withAsciiCase(own, true)));
    EXPECT_TRUE(isOwnExecutable(withAsciiCase(own, false)));
    EXPECT_TRUE(isOwnExecutable(folderOf(own) + L"\\sub\\..\\BRINDLE_TESTS.EXE"));

    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folderOf(own).c_str()));
    EXPECT_TRUE(isOwnExecutable(L"Brindle_Tests.exe"));
    EXPECT_TRUE(isOwnExecutable(L".\\x\\..\\brindle_tests.exe"));
    EXPECT_FALSE(isOwnExecutable(L"brindle.exe"));
    SetCurrentDirectoryW(previous);

    EXPECT_FALSE(isOwnExecutable(own + L"x"));
    EXPECT_FALSE(isOwnExecutable(folderOf(own) + L"\\brindle.exe"));
    EXPECT_FALSE(isOwnExecutable(L""));
}

TEST(DownloadFolder, InsideTheInstallFolderTheSameEveryTime) {
    TempFolder install;
    const std::wstring first = prepareTempFolder(install.path());
    EXPECT_EQ(first, install.path() + L"\\brindle_update\\");
    EXPECT_TRUE(isFolder(first));
    EXPECT_EQ(prepareTempFolder(install.path()), first);
    // Something else under its name is no download folder.
    TempFolder other;
    ASSERT_TRUE(writeWholeFile(other.file(L"brindle_update"), "a file"));
    EXPECT_EQ(prepareTempFolder(other.path()), L"");
}

// ---- settings in the registry -----------------------------------------------------------

// Changes state the whole prefix shares: tests/CMakeLists.txt lists the suite
// among those that run one at a time and never beside a started launcher.
class SettingsOnMachine : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear() {
        test::clearSettingsKey();
        test::clearUninstallKey();
    }
};

TEST_F(SettingsOnMachine, MissingKeyOrValueReadsEmpty) {
    EXPECT_EQ(readSetting(L"brindle_path"), L"");
    EXPECT_FALSE(hasStoredInstallFolder());
    EXPECT_EQ(storedOrDefaultInstallFolder(), L"C:\\Brindle");

    test::writeRawSetting(L"rage_path", REG_SZ, test::wideBytes(L"D:\\x"));
    EXPECT_EQ(readSetting(L"brindle_path"), L"");
    EXPECT_FALSE(hasStoredInstallFolder());
}

TEST_F(SettingsOnMachine, WrittenAsTerminatedStringsAndReadBack) {
    const std::wstring folder = L"D:\\Trò chơi\\Brindle";
    EXPECT_EQ(writeSetting(L"brindle_path", folder), ERROR_SUCCESS);

    test::RawValue raw = test::readRawValue(HKEY_CURRENT_USER, kSettingsKey, L"brindle_path");
    ASSERT_TRUE(raw.found);
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw.bytes, test::wideBytes(folder));

    EXPECT_EQ(readSetting(L"brindle_path"), folder);
    EXPECT_EQ(storedOrDefaultInstallFolder(), folder);

    // An empty value counts as no stored folder.
    EXPECT_EQ(writeSetting(L"brindle_path", L""), ERROR_SUCCESS);
    EXPECT_EQ(test::readRawValue(HKEY_CURRENT_USER, kSettingsKey, L"brindle_path").bytes,
              test::wideBytes(L""));
    EXPECT_FALSE(hasStoredInstallFolder());
    EXPECT_EQ(storedOrDefaultInstallFolder(), L"C:\\Brindle");
}

// The setting is written by any program of the user: only a plain absolute
// folder on a drive counts as a stored install folder.
TEST(StoredFolder, OnlyAPlainAbsoluteFolderOnADriveIsUsed) {
    for (const wchar_t* usable : {L"C:\\Brindle", L"D:\\Trò chơi\\Brindle", L"e:\\Games x\\Brindle", L"C:\\a\\"}) {
        EXPECT_TRUE(isUsableStoredFolder(usable)) << wideToUtf8(usable);
    }
    for (const wchar_t* refused :
         {L"", L"C:", L"C:\\", L"C:Brindle", L"Brindle", L"Games\\Brindle", L"\\Brindle",
          L"\\\\server\\share\\Brindle", L"\\\\?\\C:\\Brindle", L"\\\\.\\C:\\Brindle", L"//server/share/x",
          L"C:/Brindle", L"C:\\a\\..\\Brindle", L"C:\\a\\.\\Brindle", L"C:\\Brindle.", L"C:\\Brindle ",
          L"C:\\\\Brindle", L"C:\\\"Brindle\"", L"C:\\Bri\nndle", L"C:\\Brindle:stream", L"C:\\Br*ndle",
          L"1:\\Brindle"}) {
        EXPECT_FALSE(isUsableStoredFolder(refused)) << wideToUtf8(refused);
    }
    EXPECT_FALSE(isUsableStoredFolder(L"C:\\" + std::wstring(300, L'x')));
}

// Any program of the user can write "brindle_path"; a start takes it as its
// folder only when the uninstall entry, which only administrators write,
// names the same folder. Otherwise it only fills the install prompt.
TEST_F(SettingsOnMachine, TheStoredFolderNeedsTheAdministratorsRecord) {
    const std::wstring folder = L"D:\\Trò chơi\\Brindle";
    writeSetting(L"brindle_path", folder);
    EXPECT_FALSE(hasStoredInstallFolder());
    EXPECT_EQ(storedOrDefaultInstallFolder(), folder);
    writeMachineText(L"InstallLocation", L"D:\\Other");
    EXPECT_FALSE(hasStoredInstallFolder());
    writeMachineText(L"InstallLocation", L"d:\\trò chơi\\brindle\\");
    EXPECT_TRUE(hasStoredInstallFolder());
    writeSetting(L"brindle_path", L"D:\\Trò chơi\\.\\Brindle");
    EXPECT_FALSE(hasStoredInstallFolder()) << "only a usable setting counts";
}

TEST_F(SettingsOnMachine, OnlyStringTypesWithinTheBufferAreRead) {
    test::writeRawSetting(L"brindle_path", REG_EXPAND_SZ, test::wideBytes(L"D:\\%USERNAME%\\Brindle"));
    EXPECT_EQ(readSetting(L"brindle_path"), L"D:\\%USERNAME%\\Brindle");
    EXPECT_EQ(storedInstallFolder(), L"D:\\%USERNAME%\\Brindle");
    // Read literally, an expandable value that is no folder on a drive is no stored folder.
    test::writeRawSetting(L"brindle_path", REG_EXPAND_SZ, test::wideBytes(L"%TEMP%\\Brindle"));
    EXPECT_EQ(readSetting(L"brindle_path"), L"%TEMP%\\Brindle");
    EXPECT_EQ(storedInstallFolder(), L"");

    const DWORD number = 1;
    test::writeRawSetting(L"brindle_path", REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4));
    EXPECT_EQ(readSetting(L"brindle_path"), L"");
    EXPECT_FALSE(hasStoredInstallFolder());

    test::writeRawSetting(L"brindle_path", REG_MULTI_SZ, test::wideBytes(L"D:\\x", 2));
    EXPECT_EQ(readSetting(L"brindle_path"), L"");

    // 2048 bytes fit: 1023 units and the NUL. One unit more does not.
    const std::wstring longest = L"D:\\" + std::wstring(1020, L'y');
    test::writeRawSetting(L"brindle_path", REG_SZ, test::wideBytes(longest));
    EXPECT_EQ(readSetting(L"brindle_path"), longest);
    test::writeRawSetting(L"brindle_path", REG_SZ, test::wideBytes(longest + L"y"));
    EXPECT_EQ(readSetting(L"brindle_path"), L"");
    EXPECT_FALSE(hasStoredInstallFolder());
}

TEST_F(SettingsOnMachine, TrailingNulsAreDropped) {
    test::writeRawSetting(L"brindle_path", REG_SZ, test::wideBytes(L"D:\\a", 3));
    EXPECT_EQ(readSetting(L"brindle_path"), L"D:\\a");
    test::writeRawSetting(L"brindle_path", REG_SZ, test::wideBytes(L"D:\\b", 0));
    EXPECT_EQ(readSetting(L"brindle_path"), L"D:\\b");
    test::writeRawSetting(L"brindle_path", REG_SZ, test::wideBytes(L"", 4));
    EXPECT_EQ(readSetting(L"brindle_path"), L"");
    EXPECT_FALSE(hasStoredInstallFolder());
}

// ---- the folder dialog ----------------------------------------------------------------------

// The dialog is modal on the calling thread; a second thread finds it, checks
// its title text and answers it the way a user would.
class FolderDialogOnMachine : public ::testing::Test {
protected:
    struct WindowSearch {
        std::wstring className;
        std::wstring text;
        HWND found = nullptr;
    };

    static BOOL CALLBACK matchWindow(HWND window, LPARAM context) {
        WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
        wchar_t buffer[128] = {};
        if (!search->className.empty() && (GetClassNameW(window, buffer, 128), search->className != buffer)) {
            return TRUE;
        }
        if (!search->text.empty() && (GetWindowTextW(window, buffer, 128), search->text != buffer)) {
            return TRUE;
        }
        search->found = window;
        return FALSE;
    }

    static HWND findChild(HWND parent, const std::wstring& className, const std::wstring& text) {
        WindowSearch search{className, text};
        EnumChildWindows(parent, matchWindow, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    static std::wstring selectedTreeItem(HWND tree) {
        wchar_t text[MAX_PATH] = {};
        TVITEMW item = {};
        item.mask = TVIF_TEXT;
        item.hItem = TreeView_GetSelection(tree);
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        if (item.hItem != nullptr) {
            SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        return text;
    }

    // Answers the dialog from another thread: picks `folder` (none: cancels).
    void answerDialog(const std::wstring& folder) {
        const DWORD ownerThread = GetCurrentThreadId();
        answerer = std::thread([this, ownerThread, folder] {
            WindowSearch dialog{L"#32770", L""};
            for (int tries = 0; tries < 300 && dialog.found == nullptr; ++tries) {
                Sleep(100);
                EnumThreadWindows(ownerThread, matchWindow, reinterpret_cast<LPARAM>(&dialog));
            }
            if (dialog.found == nullptr) {
                return;
            }
            // The dialog's window comes before its children: on a busy machine a little before.
            for (int tries = 0; tries < 50 && !titleShown; ++tries) {
                titleShown = findChild(dialog.found, L"", L"Chọn nơi cài đặt Brindle") != nullptr;
                if (!titleShown) {
                    Sleep(100);
                }
            }
            if (folder.empty()) {
                PostMessageW(dialog.found, WM_COMMAND, IDCANCEL, 0);
                answered = true;
                return;
            }
            // The tree fills in the background; select until the selection holds.
            const std::wstring leaf = folder.substr(folder.find_last_of(L'\\') + 1);
            HWND tree = findChild(dialog.found, WC_TREEVIEWW, L"");
            for (int tries = 0; tries < 100 && tree != nullptr && selectedTreeItem(tree) != leaf; ++tries) {
                SendMessageW(dialog.found, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
                Sleep(100);
            }
            PostMessageW(dialog.found, WM_COMMAND, IDOK, 0);
            answered = true;
        });
    }

    void TearDown() override {
        if (answerer.joinable()) {
            answerer.join();
        }
    }

    std::thread answerer;
    std::atomic<bool> titleShown{false};
    std::atomic<bool> answered{false};
};

TEST_F(FolderDialogOnMachine, CancelGivesNothingAPickedFolderGetsTheProductFolder) {
    answerDialog(L"");
    EXPECT_EQ(chooseInstallFolder(), L"");
    answerer.join();
    ASSERT_TRUE(answered) << "no folder dialog appeared";
    EXPECT_TRUE(titleShown);

    const std::wstring picked = makeTempFolder(L"dialog");
    answered = false;
    answerDialog(picked);
    const std::wstring chosen = chooseInstallFolder();
    answerer.join();
    ASSERT_TRUE(answered) << "no folder dialog appeared";
    EXPECT_EQ(withAsciiCase(chosen, false), withAsciiCase(picked + L"\\Brindle", false));
    removeTree(picked);
}

}  // namespace
}  // namespace br
