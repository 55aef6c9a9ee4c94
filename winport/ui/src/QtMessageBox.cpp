#include "winport_ui/QtMessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QSocketNotifier>
#include <QThread>
#include <cstdio>
#include <memory>

#include "winport/Clock.h"
#include "winport/CodePage.h"

namespace winport {

namespace {

struct ButtonAnswer {
    QMessageBox::StandardButton button;
    int answer;
};

/// The buttons of each MB_ type, left to right.
std::vector<ButtonAnswer> buttonsOf(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
        return {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL: return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO: return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL: return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default: return {{QMessageBox::Ok, IDOK}};
    }
}

/// The answer a box gives when it is closed without a button.
int escapeAnswer(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL: return IDCANCEL;
    case MB_YESNO: return IDNO;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDOK;
    }
}

}  // namespace

QString QStringFromAnsi(const char* text)
{
    if (!text) return QString();
    return QString::fromStdWString(WideFromCp1252(text));
}

QMessageBox* CreateMessageBox(QWidget* parent, const char* text, const char* caption, UINT type)
{
    auto* box = new QMessageBox(parent);
    box->setWindowTitle(QStringFromAnsi(caption));
    box->setText(QStringFromAnsi(text));
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND: box->setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box->setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box->setIcon(QMessageBox::Warning); break;
    case MB_ICONASTERISK: box->setIcon(QMessageBox::Information); break;
    default: break;
    }
    const auto buttons = buttonsOf(type);
    for (const auto& b : buttons) box->addButton(b.button);
    const size_t def = (type & MB_DEFMASK) >> 8;
    box->setDefaultButton(buttons[def < buttons.size() ? def : 0].button);
    const int esc = escapeAnswer(type);
    for (const auto& b : buttons)
        if (b.answer == esc) box->setEscapeButton(b.button);
    return box;
}

int MessageBoxAnswer(const QMessageBox& box, UINT type)
{
    QAbstractButton* clicked = box.clickedButton();
    if (clicked) {
        const QMessageBox::StandardButton chosen = box.standardButton(clicked);
        for (const auto& b : buttonsOf(type))
            if (b.button == chosen) return b.answer;
    }
    return escapeAnswer(type);
}

MessageBoxHook InstallQtMessageBoxHook()
{
    return SetMessageBoxHook([](HWND, const char* text, const char* caption, UINT type) {
        if (!qApp || QThread::currentThread() != qApp->thread()) {
            std::fprintf(stderr, "%s: %s\n", caption, text);
            return DefaultMessageBoxAnswer(type);
        }
        // A program asked to close (SIGTERM, another program's close request) does not stay
        // in a box nobody may answer: the box goes as if closed without a button.
        if (ProgramCloseRequested()) return escapeAnswer(type);
        QMessageBox* box = CreateMessageBox(nullptr, text, caption, type);
        if (type & (MB_SYSTEMMODAL | MB_TOPMOST)) box->setWindowFlag(Qt::WindowStaysOnTopHint);
        std::unique_ptr<QSocketNotifier> close;
        if (ProgramCloseDescriptor() >= 0) {
            close = std::make_unique<QSocketNotifier>(ProgramCloseDescriptor(), QSocketNotifier::Read);
            QObject::connect(close.get(), &QSocketNotifier::activated, box, [box, n = close.get()] {
                n->setEnabled(false);
                box->done(QDialog::Rejected);
            });
        }
        box->exec();
        const int answer = MessageBoxAnswer(*box, type);
        close.reset();
        delete box;
        return answer;
    });
}

}  // namespace winport
