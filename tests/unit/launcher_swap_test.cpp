// The running launcher's file going aside for a new one and coming back, and
// the switch by which a launcher hands over to its successor.

#include <gtest/gtest.h>
#include <windows.h>

#include "app/handover.h"
#include "install/launcher_swap.h"
#include "support/files.h"
#include "update/file_state.h"

namespace br {
namespace {


struct SwapFolder {
    TempFolder folder{L"swap"};
    std::wstring launcher = folder.file(L"brindle.exe");
    std::wstring aside = folder.file(L"brindle.exe.old");
    std::wstring replacement = folder.file(L"new.part");
};

TEST(LauncherSwap, TheNewFileTakesTheNameAndTheOldOneComesBack) {
    SwapFolder at;
    ASSERT_TRUE(writeWholeFile(at.launcher, "old launcher"));
    ASSERT_TRUE(writeWholeFile(at.aside, "left by an earlier swap"));
    ASSERT_TRUE(writeWholeFile(at.replacement, "new launcher"));

    ASSERT_TRUE(swapInLauncher(at.replacement, at.folder.path()));
    EXPECT_EQ(readWholeFile(at.launcher), "new launcher");
    EXPECT_EQ(readWholeFile(at.aside), "old launcher");
    EXPECT_FALSE(fileExists(at.replacement));

    // The run recorded the new launcher; once it gives the name back, only the other files stay.
    writeStateFile(at.folder.path(), {{"Brindle.EXE", {"ab", 12, 3}}, {"a.txt", {"cd", 1, 2}}});
    ASSERT_TRUE(putLauncherBack(at.folder.path()));
    EXPECT_EQ(readWholeFile(at.launcher), "old launcher");
    EXPECT_FALSE(fileExists(at.aside));
    const StateCache state = readStateFile(at.folder.path());
    EXPECT_EQ(state.size(), 1u);
    EXPECT_EQ(state.count("a.txt"), 1u);
    EXPECT_FALSE(putLauncherBack(at.folder.path())) << "nothing aside to put back";
    EXPECT_EQ(readWholeFile(at.launcher), "old launcher");
}

// Whichever rename fails, the launcher keeps its name and its bytes.
TEST(LauncherSwap, AFailedStepLeavesTheLauncherInPlace) {
    SwapFolder at;
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

TEST(HandOver, OnlyTheSwitchWithAHandleNumberCounts) {
    const struct {
        const wchar_t* argument;
        bool taken;
        uint64_t handle;
    } cases[] = {
        {L"--confirm-start=1234", true, 1234},  {L"--confirm-start=0", false, 0},
        {L"--confirm-start=", false, 0},        {L"--confirm-start", false, 0},
        {L"--confirm-start=12x", false, 0},     {L"--confirm-start=-4", false, 0},
        {L"--Confirm-Start=5", false, 0},       {L"x--confirm-start=5", false, 0},
        {L"--confirm-start=99999999999999999999", false, 0},
    };
    for (const auto& c : cases) {
        uint64_t handle = 0;
        EXPECT_EQ(parseHandOverArgument(c.argument, handle), c.taken) << c.argument;
        if (c.taken) {
            EXPECT_EQ(handle, c.handle) << c.argument;
        }
    }
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
    SetEvent(event.get());
    EXPECT_EQ(handOverEventFrom(line(event.get()).c_str()), nullptr) << "already set";
}

}  // namespace
}  // namespace br
