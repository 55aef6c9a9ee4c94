// The Qt shell's pop-up menu (the tray's): its items, and the answer once it closes.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>

#include "mic_ui/QtShell.h"

namespace {

std::vector<UINT> openAndClose(QtShell& shell, int choose)
{
    std::vector<UINT> answers;
    shell.TrackPopupMenu(nullptr, {{501, "&Start MIDI"}, {503, "Show MIDI Messages"}, {1, "Exit"}}, MenuCorner::BottomRight,
                         [&answers](UINT id) { answers.push_back(id); });
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    EXPECT_NE(nullptr, menu);
    if (!menu) return answers;
    QStringList texts;
    for (QAction* a : menu->actions()) texts << a->text();
    EXPECT_EQ(QStringList({"&Start MIDI", "Show MIDI Messages", "Exit"}), texts);
    EXPECT_TRUE(answers.empty()) << "nothing before the menu closes";
    if (choose >= 0) menu->actions()[choose]->trigger();
    menu->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return answers;
}

}  // namespace

TEST(QtShellMenu, TheChosenIdComesBackOnceWhenTheMenuCloses)
{
    QtShell shell;
    EXPECT_EQ(std::vector<UINT>({503}), openAndClose(shell, 1));
    EXPECT_EQ(std::vector<UINT>({0}), openAndClose(shell, -1)) << "closed without a choice";
}

TEST(QtShellMenu, SubMenusHoldTheirItemsAndAnswerWithTheirIds)
{
    QtShell shell;
    std::vector<UINT> answers;
    shell.TrackPopupMenu(nullptr, {{0, "PRE 2", {{329, "A (1-4)"}, {330, "B (5-8)"}}}, {326, "Clear"}}, MenuCorner::TopLeft,
                         [&answers](UINT id) { answers.push_back(id); });
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(nullptr, menu);
    ASSERT_EQ(2, menu->actions().size());
    QMenu* sub = menu->actions()[0]->menu();
    ASSERT_NE(nullptr, sub);
    EXPECT_EQ("PRE 2", menu->actions()[0]->text());
    ASSERT_EQ(2, sub->actions().size());
    EXPECT_EQ("B (5-8)", sub->actions()[1]->text());
    sub->actions()[1]->trigger();
    menu->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(std::vector<UINT>({330}), answers);
}
