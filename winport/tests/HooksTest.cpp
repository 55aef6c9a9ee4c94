#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestEnvironment.h"
#include "winport/Hooks.h"
#include "winport/InstanceLock.h"

namespace {

TEST(Hooks, MessageBoxGoesThroughTheHookAndExitBecomesAnException)
{
    struct Box {
        std::string text, caption;
        UINT type;
    };
    std::vector<Box> boxes;
    auto previousBox = winport::SetMessageBoxHook([&](HWND, const char* text, const char* caption, UINT type) {
        boxes.push_back({text, caption, type});
        return IDRETRY;
    });
    auto previousExit = winport::SetExitHook([](int code) { throw winport::ExitRequested(code); });

    EXPECT_EQ(MessageBoxA(nullptr, "KIVServer is no longer responding !", "Severe Error", MB_ICONHAND | MB_SYSTEMMODAL),
              IDRETRY);
    EXPECT_EQ(AfxMessageBox("Class Not Registered"), IDRETRY);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Severe Error");
    EXPECT_EQ(boxes[0].type, MB_ICONHAND | MB_SYSTEMMODAL);
    EXPECT_EQ(boxes[1].text, "Class Not Registered");
    EXPECT_EQ(boxes[1].type, MB_OK);
    EXPECT_FALSE(boxes[1].caption.empty());  // the program's name

    try {
        ExitProcess(static_cast<UINT>(-1));
        FAIL() << "ExitProcess returned";
    } catch (const winport::ExitRequested& e) {
        EXPECT_EQ(e.Code(), -1);
    }
    EXPECT_THROW(winport::ImmediateExit(3), winport::ExitRequested);

    winport::SetMessageBoxHook(previousBox);
    winport::SetExitHook(previousExit);
}

TEST(Hooks, DefaultAnswerIsTheDefaultButtonOfTheBox)
{
    struct Case {
        UINT type;
        int answer;
    };
    const Case cases[] = {
        {MB_OK, IDOK},
        {MB_OKCANCEL, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
        {MB_RETRYCANCEL, IDRETRY},
        {0x0F, IDOK},  // unknown button set
    };
    for (const auto& c : cases) EXPECT_EQ(winport::DefaultMessageBoxAnswer(c.type), c.answer) << c.type;
    EXPECT_EQ(MessageBoxA(nullptr, "shown on standard error", "Test", MB_YESNO | MB_DEFBUTTON2), IDNO);
}

TEST(InstanceLock, OnlyOneHolderAtATimeAndReleaseFreesIt)
{
    TestEnvironment env;
    {
        winport::InstanceLock first("micMutex");
        EXPECT_TRUE(first.IsHeld());
        winport::InstanceLock second("micMutex");
        EXPECT_FALSE(second.IsHeld());
        EXPECT_TRUE(second.HeldElsewhere());
        winport::InstanceLock other("otherMutex");  // another program's name
        EXPECT_TRUE(other.IsHeld());
        first.Release();
        winport::InstanceLock third("micMutex");
        EXPECT_TRUE(third.IsHeld());
    }
    winport::InstanceLock again("micMutex");
    EXPECT_TRUE(again.IsHeld());
    winport::InstanceLock bad("../escape");
    EXPECT_FALSE(bad.IsHeld());
    EXPECT_FALSE(bad.HeldElsewhere());
}

}  // namespace
