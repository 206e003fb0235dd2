// The file-name comparison against the platform's own: every UTF-16 unit
// upper-cases as the file system's table does, and the launcher knows its own
// file in any letter case, Vietnamese letters included.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/name_case.h"
#include "install/install_paths.h"
#include "support/files.h"

namespace br {
namespace {

TEST(FileNameCase, EveryUnitUpperCasesAsTheFileSystemDoes) {
    using Upcase = WCHAR(WINAPI*)(WCHAR);
    auto upcase = reinterpret_cast<Upcase>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlUpcaseUnicodeChar")));
    ASSERT_NE(upcase, nullptr);
    int differing = 0;
    for (unsigned unit = 1; unit < 0x10000; ++unit) {
        const wchar_t c = static_cast<wchar_t>(unit);
        const wchar_t ours = static_cast<wchar_t>(fileNameUpper(unit));
        const wchar_t system = upcase(c);
        if (ours != system && ++differing <= 20) {
            ADD_FAILURE() << std::hex << "U+" << unit << ": ours U+" << static_cast<unsigned>(ours) << ", the system's U+"
                          << static_cast<unsigned>(system);
        }
        if (ours != c) {
            EXPECT_EQ(CompareStringOrdinal(&c, 1, &ours, 1, TRUE), CSTR_EQUAL) << std::hex << unit;
        }
    }
    EXPECT_EQ(differing, 0);
}

const wchar_t kOwnPathQuestion[] = L"BRINDLE_TEST_OWN_PATH";

// A copy of this program started with kOwnPathQuestion set answers whether
// isOwnExecutable takes that path for its own file (exit code 10 for yes, 11
// for no) and ends before any test runs.
class AnswerOwnPathQuestion : public ::testing::Environment {
public:
    void SetUp() override {
        wchar_t path[MAX_PATH];
        DWORD length = GetEnvironmentVariableW(kOwnPathQuestion, path, MAX_PATH);
        if (length != 0 && length < MAX_PATH) {
            ExitProcess(isOwnExecutable(path) ? 10 : 11);
        }
    }
};
::testing::Environment* const answerOwnPathQuestion = ::testing::AddGlobalTestEnvironment(new AnswerOwnPathQuestion);

DWORD askCopy(const std::wstring& copy, const std::wstring& question) {
    SetEnvironmentVariableW(kOwnPathQuestion, question.c_str());
    // Global environments are set up only when some test is to run.
    std::wstring commandLine = L"\"" + copy + L"\" --gtest_filter=OwnExecutable.*";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    BOOL created = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &started);
    SetEnvironmentVariableW(kOwnPathQuestion, nullptr);
    if (!created) {
        return 0;
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.get(), &code)) {
        TerminateProcess(process.get(), 1);
        return 0;
    }
    return code;
}

TEST(OwnExecutable, VietnameseLetterCaseNamesTheSameFile) {
    TempFolder folder(L"Đường Đua");
    const std::wstring copy = folder.file(L"Trò Chơi Ấn Độ.exe");
    ASSERT_TRUE(CopyFileW(runningProgramPath().c_str(), copy.c_str(), FALSE));

    std::wstring otherCase = copy;
    otherCase.replace(otherCase.find(L"Đường Đua"), 9, L"đƯỜNG đUA");
    otherCase.replace(otherCase.find(L"Trò Chơi Ấn Độ.exe"), 18, L"trò chơi ấn độ.EXE");
    EXPECT_EQ(askCopy(copy, copy), 10u);
    EXPECT_EQ(askCopy(copy, otherCase), 10u) << "Vietnamese letters in another case count as another file";

    // Other letters are other files.
    std::wstring otherLetter = copy;
    otherLetter.replace(otherLetter.find(L"Ấn"), 2, L"An");
    EXPECT_EQ(askCopy(copy, otherLetter), 11u);
}

}  // namespace
}  // namespace br
