// Who may change the install folder. Wine keeps no security descriptors
// (setting one only changes Unix mode bits), so these tests look at what the
// launcher asks Windows to store, through the seams of
// install/folder_ownership.h, and at the order in which the run creates and
// moves files, and hold both against Windows' rules: a new file or folder
// inherits from its folder, a moved file keeps what it had, and a folder's
// new DACL reaches what is below it only through the tree calls.

#include <aclapi.h>
#include <sddl.h>

#include "common/name_case.h"
#include "install/folder_ownership.h"
#include "install/links.h"
#include "support/update_run.h"

namespace br {
namespace {

using namespace test;

// One call that stores security: a folder made with a descriptor, or a tree reset.
struct SecurityCall {
    bool reset = false;
    std::wstring path;
    bool ownerIsAdministrators = false;
    bool protectedDacl = false;
    std::vector<std::pair<std::wstring, ACCESS_ALLOWED_ACE>> entries;  // SDDL SID, entry
    SECURITY_INFORMATION securityInfo = 0;
    BOOL keepExplicit = TRUE;
    std::set<std::wstring> present;  // what the folder held at that moment
};

std::vector<SecurityCall>& calls() {
    static std::vector<SecurityCall> recorded;
    return recorded;
}

void listBelow(const std::wstring& folder, const std::wstring& prefix, std::set<std::wstring>& found) {
    WIN32_FIND_DATAW entry;
    FindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!search) {
        return;
    }
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            found.insert(prefix + name);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                listBelow(folder + L"\\" + name, prefix + name + L"\\", found);
            }
        }
    } while (FindNextFileW(search.get(), &entry));
}

SecurityCall describe(const std::wstring& path, PSID owner, PACL dacl, bool protectedDacl) {
    SecurityCall call;
    call.path = path;
    call.protectedDacl = protectedDacl;
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    call.ownerIsAdministrators = owner != nullptr &&
                                 CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
                                 EqualSid(owner, administrators);
    ACL_SIZE_INFORMATION information{};
    if (dacl != nullptr && GetAclInformation(dacl, &information, sizeof(information), AclSizeInformation)) {
        for (DWORD i = 0; i < information.AceCount; ++i) {
            void* ace = nullptr;
            GetAce(dacl, i, &ace);
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            wchar_t* sid = nullptr;
            ConvertSidToStringSidW(&allowed->SidStart, &sid);
            call.entries.emplace_back(sid == nullptr ? L"" : sid, *allowed);
            LocalFree(sid);
        }
    }
    listBelow(path, L"", call.present);
    return call;
}

BOOL WINAPI recordCreate(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (attributes != nullptr && attributes->lpSecurityDescriptor != nullptr) {
        GetSecurityDescriptorOwner(attributes->lpSecurityDescriptor, &owner, &defaulted);
        GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &dacl, &defaulted);
        GetSecurityDescriptorControl(attributes->lpSecurityDescriptor, &control, &revision);
    }
    calls().push_back(describe(path, owner, dacl, (control & SE_DACL_PROTECTED) != 0));
    return CreateDirectoryW(path, attributes);
}

DWORD WINAPI recordReset(LPWSTR path, SE_OBJECT_TYPE type, SECURITY_INFORMATION info, PSID owner, PSID group,
                         PACL dacl, PACL sacl, BOOL keepExplicit, FN_PROGRESS progress,
                         PROG_INVOKE_SETTING setting, PVOID arguments) {
    SecurityCall call = describe(path, owner, dacl, (info & PROTECTED_DACL_SECURITY_INFORMATION) != 0);
    call.reset = true;
    call.securityInfo = info;
    call.keepExplicit = keepExplicit;
    calls().push_back(call);
    return TreeResetNamedSecurityInfoW(path, type, info, owner, group, dacl, sacl, keepExplicit, progress, setting,
                                       arguments);
}

// Administrators and SYSTEM may do anything, Users read and run; every entry
// reaches files and folders below; nobody else is named.
void expectAdministratorsOnly(const SecurityCall& call) {
    EXPECT_TRUE(call.ownerIsAdministrators);
    EXPECT_TRUE(call.protectedDacl) << "entries from the folder above would still apply";
    const std::map<std::wstring, ACCESS_MASK> wanted = {
        {L"S-1-5-18", FILE_ALL_ACCESS},
        {L"S-1-5-32-544", FILE_ALL_ACCESS},
        {L"S-1-5-32-545", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE},
    };
    std::map<std::wstring, ACCESS_MASK> granted;
    for (const auto& [sid, entry] : call.entries) {
        EXPECT_EQ(entry.Header.AceType, ACCESS_ALLOWED_ACE_TYPE) << wideToUtf8(sid);
        EXPECT_EQ(entry.Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) << wideToUtf8(sid);
        granted[sid] |= entry.Mask;
    }
    EXPECT_EQ(granted, wanted);
}

class OwnershipOnMachine : public UpdateRunTest {
protected:
    void SetUp() override {
        UpdateRunTest::SetUp();
        calls().clear();
        createFolderCall = recordCreate;
        resetTreeCall = recordReset;
        folder = install.file(L"Trò chơi");
        setInstallFolder(folder);
    }
    void TearDown() override {
        createFolderCall = CreateDirectoryW;
        resetTreeCall = TreeResetNamedSecurityInfoW;
        fileAttributes = GetFileAttributesW;
        UpdateRunTest::TearDown();
    }

    // A release with a file in a subfolder that trickles, so that its
    // download can be seen where it waits.
    void publishRelease() {
        serveFile("slow-map.bin", patternBytes(120000));
        publish({{"maps/khu vực.dat", patternBytes(120000), "slow/20/piece/8192/file/slow-map.bin", ""},
                 {"updater.exe", "the start program", "", ""}});
    }

    // The run, watching where the trickling download waits.
    RunRecord runWatchingTheDownload() {
        const std::wstring part = downloadFolder(folder) + utf8ToWide(sha256Of(patternBytes(120000))) + L".part";
        std::atomic<bool> done{false};
        std::thread watcher([&] {
            while (!done && !seenInside) {
                seenInside = fileExists(part);
                Sleep(5);
            }
        });
        RunRecord record = run();
        done = true;
        watcher.join();
        return record;
    }

    // The folder, a file in a subfolder, the launcher, the state file and the
    // download folder, by Windows' rules: what was there at the call gets the
    // folder's entries from a tree reset; what is made afterwards inside the
    // folder (not moved in from elsewhere) inherits them.
    void expectEverythingInherits(const SecurityCall& call) {
        EXPECT_TRUE(seenInside) << "the download did not wait in the install folder's download folder";
        for (const wchar_t* made : {L"brindle.exe", L"brindle.state", L"brindle_update", L"maps\\khu vực.dat"}) {
            EXPECT_TRUE(GetFileAttributesW((folder + L"\\" + made).c_str()) != INVALID_FILE_ATTRIBUTES)
                << wideToUtf8(made);
            EXPECT_TRUE(call.reset || call.present.count(made) == 0)
                << wideToUtf8(made) << " was there before the folder's ACL";
        }
    }

    std::wstring folder;
    std::atomic<bool> seenInside{false};
};

TEST_F(OwnershipOnMachine, ANewFolderIsMadeTheAdministratorsBeforeAnythingIsInIt) {
    publishRelease();
    RunRecord record = runWatchingTheDownload();
    ASSERT_TRUE(record.last.succeeded) << record.last.error;
    ASSERT_EQ(calls().size(), 1u);
    const SecurityCall& made = calls()[0];
    EXPECT_FALSE(made.reset);
    EXPECT_TRUE(sameFileName(made.path, folder));
    expectAdministratorsOnly(made);
    EXPECT_TRUE(made.present.empty());
    expectEverythingInherits(made);
}

TEST_F(OwnershipOnMachine, AnEarlierInstallIsTakenOverWithEverythingBelowIt) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((folder + L"\\old").c_str(), nullptr));
    ASSERT_TRUE(writeWholeFile(folder + L"\\old\\planted.dll", "someone's"));
    writeStateFile(folder, {{"old/a.dat", StateEntry{std::string(64, 'a'), 1, 1}}});
    publishRelease();
    RunRecord record = runWatchingTheDownload();
    ASSERT_TRUE(record.last.succeeded) << record.last.error;

    ASSERT_GE(calls().size(), 1u);
    const SecurityCall& reset = calls()[0];
    EXPECT_TRUE(reset.reset);
    EXPECT_TRUE(sameFileName(reset.path, folder));
    expectAdministratorsOnly(reset);
    EXPECT_EQ(reset.securityInfo & (OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION),
              static_cast<SECURITY_INFORMATION>(OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION));
    EXPECT_FALSE(reset.keepExplicit) << "entries set on files below would stay";
    EXPECT_EQ(reset.present, (std::set<std::wstring>{L"brindle.state", L"old", L"old\\planted.dll"}));
    expectEverythingInherits(reset);

    // A link below would take the reset elsewhere: the tree is left as it is.
    calls().clear();
    static std::wstring linked;
    linked = fileNameKey(folder + L"\\old");
    fileAttributes = [](const wchar_t* path) -> unsigned long {
        const unsigned long attributes = GetFileAttributesW(path);
        return fileNameKey(std::wstring(path)) == linked ? attributes | FILE_ATTRIBUTE_REPARSE_POINT : attributes;
    };
    publish({{"a.txt", "a", "", ""}});
    ASSERT_TRUE(run().last.succeeded);
    EXPECT_TRUE(calls().empty());
}

// Someone's "D:\Games" keeps its permissions, also on the next run, when it
// holds the launcher's state file too.
TEST_F(OwnershipOnMachine, AForeignFolderKeepsItsPermissions) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(writeWholeFile(folder + L"\\của tôi.txt", "a player's own file"));
    publishRelease();
    ASSERT_TRUE(run().last.succeeded);
    ASSERT_TRUE(fileExists(stateFilePath(folder)));
    ASSERT_TRUE(run().last.succeeded);
    EXPECT_TRUE(calls().empty());
    EXPECT_TRUE(isFolder(downloadFolder(folder)));
    EXPECT_EQ(readRawValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"SharedInstallFolder").bytes, wideBytes(folder));
}

}  // namespace
}  // namespace br
