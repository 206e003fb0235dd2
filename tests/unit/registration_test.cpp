// Registration of the install folder, against the prefix's real registry,
// desktop folder and file system. The running launcher here is this test program.

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "install/install_paths.h"
#include "install/run_folder.h"
#include "install/settings.h"
#include "install/registration.h"
#include "support/files.h"
#include "support/registry.h"

namespace br {
namespace {


const wchar_t kRegisterIntoVariable[] = L"BRINDLE_TEST_REGISTER_INTO";

// One run's registration, as the worker makes it; the folder is let go at once.
bool registerHere() {
    UniqueHandle held;
    return registerInstallation(held);
}

// A copy of this program started with kRegisterIntoVariable set registers that
// folder, as the update worker would, and ends before any test runs. The
// end-to-end tests use it to register from an installed copy.
class RegisterFromCopy : public ::testing::Environment {
public:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        DWORD length = GetEnvironmentVariableW(kRegisterIntoVariable, folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            return;
        }
        setInstallFolder(folder);
        setShortcutWanted(false);
        registerHere();
        ExitProcess(0);
    }
};
::testing::Environment* const registerFromCopy = ::testing::AddGlobalTestEnvironment(new RegisterFromCopy);

std::wstring desktopFolder() {
    PWSTR desktop = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &desktop))) {
        folder = desktop;
    }
    CoTaskMemFree(desktop);
    return folder;
}

struct Shortcut {
    bool loaded = false;
    std::wstring path;
    std::wstring workingDirectory;
    std::wstring description;
    std::wstring arguments;
    std::wstring iconLocation;
    int showCommand = 0;
    WORD hotkey = 0xFFFF;
};

Shortcut readShortcut(const std::wstring& linkPath) {
    Shortcut shortcut;
    ComApartment com(COINIT_APARTMENTTHREADED);
    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.putVoid())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.putVoid())) ||
        FAILED(file->Load(linkPath.c_str(), STGM_READ))) {
        return shortcut;
    }
    shortcut.loaded = true;
    wchar_t text[MAX_PATH] = {};
    link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    shortcut.path = text;
    text[0] = L'\0';
    link->GetWorkingDirectory(text, MAX_PATH);
    shortcut.workingDirectory = text;
    text[0] = L'\0';
    link->GetDescription(text, MAX_PATH);
    shortcut.description = text;
    text[0] = L'\0';
    link->GetArguments(text, MAX_PATH);
    shortcut.arguments = text;
    text[0] = L'\0';
    int iconIndex = 0;
    link->GetIconLocation(text, MAX_PATH, &iconIndex);
    shortcut.iconLocation = text;
    link->GetShowCmd(&shortcut.showCommand);
    link->GetHotkey(&shortcut.hotkey);
    return shortcut;
}

std::wstring upperAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return text;
}

// Changes state the whole prefix shares: tests/CMakeLists.txt lists the suite
// among those that run one at a time and never beside a started launcher.
class RegistrationOnMachine : public ::testing::Test {
protected:
    void SetUp() override {
        clearAll();
        root = makeTempFolder(L"registration");
        ownBytes = readWholeFile(runningExecutablePath());
        ASSERT_FALSE(ownBytes.empty());
        desktopLink = desktopFolder() + L"\\Brindle.lnk";
        ASSERT_GT(desktopLink.size(), 12u);
        removeTree(desktopLink);
    }

    void TearDown() override {
        clearAll();
        removeTree(desktopLink);
        removeTree(root);
    }

    static void clearAll() {
        test::clearSettingsKey();
        test::clearUninstallKey();
        chosenInstallFolder.clear();
        setShortcutWanted(true);
    }

    std::wstring root;
    std::string ownBytes;
    std::wstring desktopLink;
};

TEST_F(RegistrationOnMachine, FirstRunStoresFolderAndLanguageLaterRunsOnlyTheFolder) {
    const std::wstring first = root + L"\\Trò chơi";
    setInstallFolder(first);
    setShortcutWanted(false);
    registerHere();

    EXPECT_TRUE(isFolder(first));
    for (const wchar_t* name : {L"brindle_path", L"rage_path"}) {
        test::RawValue value = test::readRawValue(HKEY_CURRENT_USER, kSettingsKey, name);
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << name;
        EXPECT_EQ(value.bytes, test::wideBytes(first)) << name;
    }
    test::RawValue lang = test::readRawValue(HKEY_CURRENT_USER, kSettingsKey, L"lang");
    EXPECT_EQ(lang.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(lang.bytes, test::wideBytes(L"vi"));
    EXPECT_EQ(lang.bytes.size(), 6u);

    // The user (or the client) changes the language; a later run leaves it.
    writeSetting(L"lang", L"en");
    const std::wstring second = root + L"\\Other";
    setInstallFolder(second);
    registerHere();
    EXPECT_EQ(readSetting(L"brindle_path"), second);
    EXPECT_EQ(readSetting(L"rage_path"), second);
    EXPECT_EQ(readSetting(L"lang"), L"en");
}

TEST_F(RegistrationOnMachine, RunWithoutPromptTakesTheStoredFolder) {
    const std::wstring stored = root + L"\\Stored";
    writeSetting(L"brindle_path", stored);
    setShortcutWanted(false);
    registerHere();

    EXPECT_EQ(installFolder(), stored);
    EXPECT_EQ(readSetting(L"rage_path"), stored);
    EXPECT_EQ(readWholeFile(stored + L"\\brindle.exe"), ownBytes);
    // An earlier run had registered: the language is not this run's to set.
    EXPECT_FALSE(test::readRawValue(HKEY_CURRENT_USER, kSettingsKey, L"lang").found);
}

TEST_F(RegistrationOnMachine, RunWithoutPromptOrStoredFolderTakesTheDefault) {
    const std::wstring defaultFolder = L"C:\\Brindle";
    const bool folderExisted = isFolder(defaultFolder);
    const bool copyExisted = fileExists(defaultFolder + L"\\brindle.exe");
    setShortcutWanted(false);
    registerHere();

    EXPECT_EQ(installFolder(), defaultFolder);
    EXPECT_EQ(readSetting(L"brindle_path"), defaultFolder);
    EXPECT_EQ(readSetting(L"lang"), L"vi");
    EXPECT_EQ(readWholeFile(defaultFolder + L"\\brindle.exe"), ownBytes);

    if (!folderExisted) {
        removeTree(defaultFolder);
    } else if (!copyExisted) {
        DeleteFileW((defaultFolder + L"\\brindle.exe").c_str());
    }
}

TEST_F(RegistrationOnMachine, CopyFromElsewhereReplacesTheInstalledCopy) {
    const std::wstring folder = root + L"\\Brindle";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(writeWholeFile(folder + L"\\brindle.exe", "an older launcher"));
    setInstallFolder(folder);
    setShortcutWanted(false);
    registerHere();
    EXPECT_EQ(readWholeFile(folder + L"\\brindle.exe"), ownBytes);
}

// The folder is made with its parents before anything else, so that it has
// its permissions before anything is put in it.
TEST_F(RegistrationOnMachine, MissingParentsAreMadeWithTheFolder) {
    const std::wstring folder = root + L"\\missing\\Brindle";
    setInstallFolder(folder);
    setShortcutWanted(false);
    EXPECT_TRUE(registerHere());

    EXPECT_TRUE(isFolder(folder));
    EXPECT_EQ(readSetting(L"brindle_path"), folder);
    EXPECT_EQ(readSetting(L"rage_path"), folder);
    EXPECT_EQ(test::readRawValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation").bytes,
              test::wideBytes(folder));
    EXPECT_EQ(readWholeFile(folder + L"\\brindle.exe"), ownBytes);
}

TEST_F(RegistrationOnMachine, UninstallEntryNamesTheInstalledCopy) {
    const std::wstring folder = L"D:\\Trò chơi\\Brindle";
    setInstallFolder(folder);
    writeUninstallEntry();

    const struct {
        const wchar_t* name;
        std::wstring text;
    } texts[] = {
        {L"DisplayName", L"Brindle"},
        {L"DisplayVersion", L"1.0.0.0"},
        {L"Publisher", L"BRINDLEHUB"},
        {L"InstallLocation", folder},
        {L"DisplayIcon", folder + L"\\brindle.exe"},
        {L"UninstallString", L"\"" + folder + L"\\uninstall.exe\""},
    };
    for (const auto& expected : texts) {
        test::RawValue value = test::readRawValue(HKEY_LOCAL_MACHINE, kUninstallKey, expected.name);
        EXPECT_TRUE(value.found) << expected.name;
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << expected.name;
        EXPECT_EQ(value.bytes, test::wideBytes(expected.text)) << expected.name;
    }
    const DWORD one = 1;
    for (const wchar_t* name : {L"NoModify", L"NoRepair"}) {
        test::RawValue value = test::readRawValue(HKEY_LOCAL_MACHINE, kUninstallKey, name);
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD)) << name;
        EXPECT_EQ(value.bytes, std::string(reinterpret_cast<const char*>(&one), 4)) << name;
    }
}

TEST_F(RegistrationOnMachine, ShortcutPointsAtTheInstalledCopy) {
    const std::wstring folder = root + L"\\Brindle";
    setInstallFolder(folder);
    registerHere();

    ASSERT_TRUE(fileExists(desktopLink));
    Shortcut shortcut = readShortcut(desktopLink);
    ASSERT_TRUE(shortcut.loaded);
    EXPECT_EQ(upperAscii(shortcut.path), upperAscii(folder + L"\\brindle.exe"));
    EXPECT_EQ(upperAscii(shortcut.workingDirectory), upperAscii(folder));
    EXPECT_EQ(shortcut.description, L"Brindle");
    EXPECT_EQ(shortcut.arguments, L"");
    EXPECT_EQ(shortcut.iconLocation, L"");
    EXPECT_EQ(shortcut.showCommand, SW_SHOWNORMAL);
    EXPECT_EQ(shortcut.hotkey, 0);
}

TEST_F(RegistrationOnMachine, AnythingNamedLikeTheShortcutIsLeftAlone) {
    const std::wstring target = root + L"\\brindle.exe";
    ASSERT_TRUE(writeWholeFile(target, ownBytes));

    ASSERT_TRUE(writeWholeFile(desktopLink, "the user's own shortcut"));
    createDesktopShortcut(target);
    EXPECT_EQ(readWholeFile(desktopLink), "the user's own shortcut");

    removeTree(desktopLink);
    ASSERT_TRUE(CreateDirectoryW(desktopLink.c_str(), nullptr));
    createDesktopShortcut(target);
    EXPECT_TRUE(isFolder(desktopLink));

    removeTree(desktopLink);
    createDesktopShortcut(target);
    EXPECT_TRUE(readShortcut(desktopLink).loaded);
}

TEST_F(RegistrationOnMachine, ShortcutOnlyWhenWanted) {
    setInstallFolder(root + L"\\Brindle");
    setShortcutWanted(false);
    registerHere();
    EXPECT_EQ(GetFileAttributesW(desktopLink.c_str()), INVALID_FILE_ATTRIBUTES);

    // A later start without the prompt wants it again and makes the missing one.
    setShortcutWanted(true);
    registerHere();
    EXPECT_TRUE(readShortcut(desktopLink).loaded);
}

}  // namespace
}  // namespace br
