// What the shipped brindle.exe carries: icon, manifest and version block,
// read back the way Windows reads them.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "install/registration.h"

namespace {

std::wstring launcherPath() {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"brindle.exe";
}

class ProgramFile : public ::testing::Test {
protected:
    void SetUp() override {
        module = LoadLibraryExW(launcherPath().c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << "cannot open brindle.exe next to the test program";
    }
    void TearDown() override {
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }
    std::string resourceBytes(LPCWSTR type, int id) {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
        if (found == nullptr) {
            return std::string();
        }
        HGLOBAL loaded = LoadResource(module, found);
        const char* data = static_cast<const char*>(LockResource(loaded));
        return data == nullptr ? std::string() : std::string(data, SizeofResource(module, found));
    }
    HMODULE module = nullptr;
};

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST_F(ProgramFile, IconGroupOneHoldsSevenTrueColourSizes) {
    std::string group = resourceBytes(RT_GROUP_ICON, 1);
    ASSERT_GE(group.size(), 6u);
    WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
    ASSERT_EQ(count, 7);
    ASSERT_EQ(group.size(), 6 + count * sizeof(IconGroupEntry));
    std::vector<int> sizes;
    for (int i = 0; i < count; ++i) {
        const IconGroupEntry* entry = reinterpret_cast<const IconGroupEntry*>(group.data() + 6) + i;
        EXPECT_EQ(entry->bitCount, 32) << "image " << i;
        sizes.push_back(entry->width == 0 ? 256 : entry->width);
        EXPECT_FALSE(resourceBytes(RT_ICON, entry->id).empty()) << "image " << i << " missing";
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 64, 128, 256}));
}

TEST_F(ProgramFile, ManifestAsksForAdministratorAndNothingElse) {
    std::string manifest = resourceBytes(RT_MANIFEST, 1);
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_EQ(manifest.find("dpiAware"), std::string::npos);
    EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos);
}

TEST(ProgramVersion, VersionBlockNamesTheProduct) {
    std::wstring path = launcherPath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    // What registration writes as "DisplayVersion" (the second build's own: e2e/test_new_launcher.py).
    EXPECT_EQ(br::versionTextOf(block.data(), block.size()), "1.0.0.0");

    const std::pair<const wchar_t*, const wchar_t*> expected[] = {
        {L"Comments", L"Official BRINDLEHUB launcher and updater"},
        {L"CompanyName", L"BRINDLEHUB"},
        {L"FileDescription", L"BRINDLEHUB Launcher and Updater"},
        {L"FileVersion", L"1.0.0.0"},
        {L"InternalName", L"brindle"},
        {L"OriginalFilename", L"brindle.exe"},
        {L"ProductName", L"BRINDLEHUB"},
        {L"ProductVersion", L"1.0.0.0"},
    };
    for (const auto& [key, value] : expected) {
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        wchar_t* text = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            << "missing " << std::string(query.begin(), query.end());
        EXPECT_STREQ(text, value);
    }
}

// uninstall.exe carries the launcher's icon, the same request for
// administrator rights and a version block of its own.
TEST_F(ProgramFile, TheUninstallerCarriesTheSameIconAndManifest) {
    std::wstring uninstaller = launcherPath();
    uninstaller.replace(uninstaller.size() - 11, 11, L"uninstall.exe");
    HMODULE other = LoadLibraryExW(uninstaller.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(other, nullptr) << "cannot open uninstall.exe next to the test program";
    auto bytesOf = [&](HMODULE from, LPCWSTR type, int id) {
        HRSRC found = FindResourceW(from, MAKEINTRESOURCEW(id), type);
        const char* data = found == nullptr ? nullptr : static_cast<const char*>(LockResource(LoadResource(from, found)));
        return data == nullptr ? std::string() : std::string(data, SizeofResource(from, found));
    };
    const std::string group = bytesOf(other, RT_GROUP_ICON, 1);
    EXPECT_FALSE(group.empty());
    EXPECT_EQ(group, resourceBytes(RT_GROUP_ICON, 1));
    for (int image = 1; image <= 7; ++image) {
        EXPECT_EQ(bytesOf(other, RT_ICON, image), resourceBytes(RT_ICON, image)) << "icon image " << image;
    }
    EXPECT_EQ(bytesOf(other, RT_MANIFEST, 1), resourceBytes(RT_MANIFEST, 1));
    FreeLibrary(other);

    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeW(uninstaller.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoW(uninstaller.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    for (const auto& [key, value] : {std::pair<const wchar_t*, const wchar_t*>{L"OriginalFilename", L"uninstall.exe"},
                                     {L"FileDescription", L"BRINDLEHUB Uninstaller"},
                                     {L"FileVersion", L"1.0.0.0"},
                                     {L"ProductName", L"BRINDLEHUB"}}) {
        wchar_t* text = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), (std::wstring(L"\\StringFileInfo\\040904B0\\") + key).c_str(),
                                   reinterpret_cast<void**>(&text), &length));
        EXPECT_STREQ(text, value);
    }
}

}  // namespace
