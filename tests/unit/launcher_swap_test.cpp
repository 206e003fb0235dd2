// The running launcher's file when a swap cannot be made, and the switch by
// which a launcher hands over to its successor (the whole hand-over runs in
// e2e/test_new_launcher.py).

#include <gtest/gtest.h>
#include <windows.h>

#include "app/handover.h"
#include "install/launcher_swap.h"
#include "support/files.h"

namespace br {
namespace {

// Whichever rename fails, the launcher keeps its name and its bytes.
TEST(LauncherSwap, AFailedStepLeavesTheLauncherInPlace) {
    struct {
        TempFolder folder{L"swap"};
        std::wstring launcher = folder.file(L"brindle.exe");
        std::wstring aside = folder.file(L"brindle.exe.old");
        std::wstring replacement = folder.file(L"new.part");
    } at;
    ASSERT_TRUE(writeWholeFile(at.launcher, "old launcher"));
    EXPECT_FALSE(swapInLauncher(at.replacement, at.folder.path())) << "no replacement";
    EXPECT_EQ(readWholeFile(at.launcher), "old launcher");
    EXPECT_FALSE(fileExists(at.aside));

    // Something still runs the launcher that an earlier swap put aside.
    ASSERT_TRUE(writeWholeFile(at.aside, "still running"));
    ASSERT_TRUE(writeWholeFile(at.replacement, "new launcher"));
    {
        UniqueHandle held(CreateFileW(at.aside.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
        ASSERT_TRUE(held);
        EXPECT_FALSE(swapInLauncher(at.replacement, at.folder.path()));
        EXPECT_EQ(readWholeFile(at.launcher), "old launcher");
        removeAsideLauncher(at.folder.path());
        EXPECT_TRUE(fileExists(at.aside)) << "removed while in use";
    }
    removeAsideLauncher(at.folder.path());
    EXPECT_FALSE(fileExists(at.aside));
}

// A number on the command line is taken only for an inheritable event that
// is not yet set: whoever starts the program cannot make it set something else.
TEST(HandOver, TheEventMustBeInheritableAndUnset) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    UniqueHandle event(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
    UniqueHandle own(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event && own);
    auto line = [](HANDLE h) {
        return L"\"C:\\Brindle\\brindle.exe\" --confirm-start=" + std::to_wstring(reinterpret_cast<uintptr_t>(h));
    };
    EXPECT_EQ(handOverEventFrom(line(event.get()).c_str()), event.get());
    EXPECT_EQ(handOverEventFrom(line(own.get()).c_str()), nullptr) << "not inherited";
    EXPECT_EQ(handOverEventFrom(L"\"C:\\Brindle\\brindle.exe\""), nullptr);
    uint64_t number = 0;
    for (const wchar_t* argument : {L"--confirm-start=0", L"--confirm-start=12x", L"--confirm-start=-4",
                                    L"--Confirm-Start=5", L"--confirm-start=99999999999999999999"}) {
        EXPECT_FALSE(parseHandOverArgument(argument, number)) << argument;
    }
    SetEvent(event.get());
    EXPECT_EQ(handOverEventFrom(line(event.get()).c_str()), nullptr) << "already set";
}

}  // namespace
}  // namespace br
