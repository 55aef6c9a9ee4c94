#include "mic_ui/EntryBox.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>

#include "app/MicDlg.h"

EntryBox::EntryBox(int id, const QStringList& items, QWidget* parent) : QComboBox(parent)
{
    setObjectName(QString::number(id));
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    addItems(items);
    setPalette(QApplication::palette(this));
    // Only what the operator does reaches the core: a choice from the list, a character typed.
    connect(this, &QComboBox::activated, this, [this](int item) {
        if (chosen) chosen(item);
    });
    connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        if (typed) typed(text.left(lineEdit()->cursorPosition()).toLatin1().constData());
    });
}

QStringList EntryBox::GainItems()
{
    QStringList items;
    for (int i = 0; i < CMicDlg::kGainItems; ++i) items << QString("%1").arg(i * 5, 2, 10, QChar('0'));
    return items;
}

void EntryBox::focusOutEvent(QFocusEvent* event)
{
    // The box has the focus and hands its events to its text; a filter on the text never sees
    // the focus go.
    QComboBox::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason && left) left();
}

void EntryBox::Silence()
{
    chosen = nullptr;
    typed = nullptr;
    left = nullptr;
}

void EntryBox::SilenceAll(QWidget* window)
{
    for (EntryBox* box : window->findChildren<EntryBox*>()) box->Silence();
}
