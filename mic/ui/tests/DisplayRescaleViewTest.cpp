#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <string>

#include "TestEnvironment.h"
#include "mic_ui/ColourButton.h"
#include "ui/DisplayLayout.h"
#include "winport/RegistryObject.h"
#include "winport_ui/QtScreenService.h"

namespace {

std::string RectOf(const QWidget* w)
{
    return std::to_string(w->x()) + "," + std::to_string(w->y()) + "," + std::to_string(w->x() + w->width()) + "," +
           std::to_string(w->y() + w->height());
}

}  // namespace

// A dialog laid out for 640 x 480, on the 1280 x 1024 screen of the test display (right of the
// 1920 x 1080 primary): factors 2.0 and 1024 / 480.
TEST(DisplayRescaleView, DialogOfThreeControlsOnA1280x1024Screen)
{
    TestEnvironment env;
    CDisplayLayout::ForgetLoadedColours();
    CLocalMachineRegistryObject machine;
    machine.SetBool("Software\\Vok Dwen Cantle\\Main", "CantlePlus", 1);
    auto service = winport::QtScreenService::Install();

    QDialog dialog(nullptr, Qt::FramelessWindowHint);  // its window rectangle is its client area
    dialog.setGeometry(1920 + 100, 100, 320, 240);
    auto* button = new QPushButton("OK", &dialog);
    button->setGeometry(10, 10, 80, 20);
    auto* combo = new QComboBox(&dialog);
    combo->addItems({"one", "two"});
    combo->setGeometry(10, 40, 100, 20);
    auto* list = new QListWidget(&dialog);
    list->addItems({"a", "b", "c"});
    list->setGeometry(120, 10, 180, 190);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const HWND hDialog = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5001));
    service->Attach(hDialog, &dialog);

    CFont font;
    {
        CDisplayLayout layout(hDialog);
        EXPECT_DOUBLE_EQ(layout.GetHorzScale(0, FALSE), 2.0);
        EXPECT_DOUBLE_EQ(layout.GetVertScale(0, FALSE), 1024 / 480.0);
        layout.ReScaleScreen(FALSE, 10, &font, FALSE, FALSE, FALSE, FALSE);
    }
    QCoreApplication::processEvents();

    EXPECT_EQ(dialog.size(), QSize(640, 512));
    EXPECT_EQ(dialog.frameGeometry().topLeft(), QPoint((1920 - 640) / 2, (1080 - 512) / 2));  // centred on the home screen
    // Scaled in client coordinates, then centred in the window by (10, 32); the combo box grows
    // by its height times the vertical factor.
    EXPECT_EQ(RectOf(button), "30,53,190,96");
    EXPECT_EQ(RectOf(combo), "30,117,230,251");
    EXPECT_EQ(RectOf(list), "250,53,610,458");

    LOGFONT lf{};
    ASSERT_TRUE(font.GetLogFont(&lf));
    EXPECT_EQ(lf.lfHeight, 25);  // 8 x 2.133 x 1.5
    for (QWidget* w : {static_cast<QWidget*>(button), static_cast<QWidget*>(combo), static_cast<QWidget*>(list)})
        EXPECT_EQ(w->font().pixelSize(), 25);
    EXPECT_EQ(list->sizeHintForRow(0), 29);           // 25 + 2 x 2.133
    EXPECT_EQ(combo->view()->sizeHintForRow(0), 25);

    // A colour button's scaled font follows the screen it stands on: now the primary screen,
    // factors 3.0 and 1080 / 480.
    CColourButton colour(7, "Go", &dialog);
    colour.setGeometry(10, 10, 40, 20);
    colour.SetFontSize(0, TRUE, TRUE);
    EXPECT_EQ(colour.GetFontHeight(), 27);
    EXPECT_EQ(colour.GetFontWidth(), 15);

    service->Detach(hDialog);
    winport::SetScreenService(nullptr);
    CDisplayLayout::ForgetLoadedColours();
}
