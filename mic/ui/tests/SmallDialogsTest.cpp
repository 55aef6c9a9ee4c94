#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <fstream>
#include <optional>

#include "TestEnvironment.h"
#include "mic_ui/QtShell.h"
#include "mic_ui/SmallDialogs.h"

namespace {

/// The dialog of this type that QtShell opened (after the event loop has shown it).
template <typename T>
T* Shown()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<T*>(w); d && d->isVisible()) return d;
    return nullptr;
}

}  // namespace

TEST(SmallDialogs, TemplatesTextsAndSizes)
{
    struct Case {
        std::unique_ptr<SmallDialog> dialog;
        int templateId;
        const char* caption;
        QSize pixels;  // the template size in dialog units by the font's 6 x 13 base units
        QStringList texts;
    };
    Case cases[] = {
        {std::make_unique<CAboutDlg>(), 100, "Remote Mic Controller", QSize(348, 73), {}},
        {std::make_unique<CConfirmClose>(), 188, "Please Confirm Action", QSize(216, 72),
         {"Do you want to Close the Application ?"}},
        {std::make_unique<CPortError>(), 218, "Port Error", QSize(380, 167),
         {"Unable to open communication port !", "Check the following :-",
          "1.   Is there another device using the port (e.g. mouse) ?",
          "2.   Are both ports enabled in the system bios ?"}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(c.dialog->TemplateId(), c.templateId);
        EXPECT_EQ(c.dialog->windowTitle(), c.caption);
        EXPECT_EQ(c.dialog->size(), c.pixels);
        if (!c.texts.isEmpty()) {
            EXPECT_EQ(c.dialog->Texts(), c.texts);
        }
        // Every control lies inside the dialog.
        for (QWidget* child : c.dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(QRect(QPoint(0, 0), c.pixels).contains(child->geometry())) << child->objectName().toStdString();
    }
    CAboutDlg about;
    EXPECT_TRUE(about.Texts().contains("Version 2.0"));
    auto* ok = qobject_cast<QPushButton*>(about.Control(IDOK));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "&OK");
    EXPECT_TRUE(ok->isDefault());
}

TEST(SmallDialogs, ConfirmCloseAnswersNoOnEscapeAndYesOnItsButton)
{
    QWidget owner;
    owner.show();
    QtShell shell(&owner);
    struct Case {
        const char* how;
        std::function<void(CConfirmClose&)> act;
        int expected;
    };
    const Case cases[] = {
        {"Escape", [](CConfirmClose& d) { QTest::keyClick(&d, Qt::Key_Escape); }, IDCANCEL},
        {"&No", [](CConfirmClose& d) { QTest::mouseClick(d.Control(IDCANCEL), Qt::LeftButton); }, IDCANCEL},
        {"&Yes", [](CConfirmClose& d) { QTest::mouseClick(d.Control(IDOK), Qt::LeftButton); }, IDOK},
        {"Enter", [](CConfirmClose& d) { QTest::keyClick(d.Control(IDOK), Qt::Key_Return); }, IDOK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        std::optional<int> answer;
        shell.Open(new CConfirmClose(&owner), [&](int a) { answer = a; });
        CConfirmClose* dialog = Shown<CConfirmClose>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(qobject_cast<QPushButton*>(dialog->Control(IDCANCEL))->text(), "&No");
        EXPECT_FALSE(answer.has_value());  // nothing answers before the operator
        EXPECT_EQ(shell.OpenDialogs(), 1);
        c.act(*dialog);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(*answer, c.expected);
        EXPECT_EQ(shell.OpenDialogs(), 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST(QtShell, MessageBoxAnswersThroughItsCallback)
{
    QWidget owner;
    owner.show();
    QtShell shell(&owner);
    std::optional<int> answer;
    shell.MessageBox(nullptr, "Overwrite?", "mic", MB_YESNO | MB_ICONQUESTION, [&](int a) { answer = a; });
    QMessageBox* box = Shown<QMessageBox>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "mic");
    EXPECT_FALSE(answer.has_value());
    box->button(QMessageBox::No)->click();
    EXPECT_EQ(answer, IDNO);
}

TEST(QtShell, NameFiltersFromThePlatformsFilterText)
{
    EXPECT_EQ(NameFiltersOf("Mic pre-amp files (*.mic)|*.mic|"), QStringList{"Mic pre-amp files (*.mic)"});
    EXPECT_EQ(NameFiltersOf("Setups|*.mic;*.old|All Files (*.*)|*.*||"),
              (QStringList{"Setups (*.mic *.old)", "All Files (*.*)"}));
    EXPECT_TRUE(NameFiltersOf("").isEmpty());
    EXPECT_TRUE(NameFiltersOf("no pattern|").isEmpty());
}

TEST(QtShell, FileDialogGivesTheChosenPathOrCancels)
{
    TestEnvironment env;
    const std::string dir = env.Path("setups");
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/studio.mic") << "x";
    QWidget owner;
    owner.show();
    QtShell shell(&owner);

    FileDialogRequest request;
    request.open = true;
    request.defaultExtension = "mic";
    request.fileName = (dir + "/studio.mic").c_str();
    request.filter = "Mic pre-amp files (*.mic)|*.mic|";
    std::optional<std::pair<bool, std::string>> result;
    shell.FileDialog(nullptr, request, [&](bool ok, const CString& path) { result = {ok, path.c_str()}; });
    QFileDialog* dialog = Shown<QFileDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->nameFilters(), QStringList{"Mic pre-amp files (*.mic)"});
    static_cast<QDialog*>(dialog)->accept();  // Open in the folder the request named
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->first);
    EXPECT_EQ(result->second, dir + "/studio.mic");

    result.reset();
    request.open = false;
    shell.FileDialog(nullptr, request, [&](bool ok, const CString& path) { result = {ok, path.c_str()}; });
    dialog = Shown<QFileDialog>();
    ASSERT_NE(dialog, nullptr);
    static_cast<QDialog*>(dialog)->reject();
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->first);
    EXPECT_EQ(shell.OpenDialogs(), 0);
}
