#include "mic_ui/SmallDialogs.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>

#include "mic_ui/DialogUnits.h"
#include "ui/ThemeHelper.h"
#include "winport_ui/Canvas.h"
#include "winport_ui/QtScreenService.h"
#include "winport_ui/QtMessageBox.h"

namespace {


/// A microphone on the dialog colour.
QImage DrawProgramIcon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size / 32.0;
    p.setPen(Qt::NoPen);
    p.setBrush(ToQColor(kDialogBackground));
    p.drawRoundedRect(QRectF(0, 0, size, size), 5 * s, 5 * s);
    p.setBrush(QColor(255, 176, 0));
    p.drawRoundedRect(QRectF(11 * s, 4 * s, 10 * s, 15 * s), 5 * s, 5 * s);
    QPen pen(ToQColor(kDialogText), 2 * s);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath cradle;
    cradle.moveTo(8 * s, 14 * s);
    cradle.cubicTo(8 * s, 25 * s, 24 * s, 25 * s, 24 * s, 14 * s);
    p.drawPath(cradle);
    p.drawLine(QPointF(16 * s, 22 * s), QPointF(16 * s, 27 * s));
    p.drawLine(QPointF(11 * s, 28 * s), QPointF(21 * s, 28 * s));
    return img;
}

}  // namespace

QIcon ProgramIcon()
{
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 32, 48}) i.addPixmap(QPixmap::fromImage(DrawProgramIcon(size)));
        return i;
    }();
    return icon;
}

void ApplyDialogLook(QWidget* dialog, int widthDu, int heightDu)
{
    dialog->setFixedSize(DialogUnits::Size(widthDu, heightDu));
    dialog->setFont(DialogFont());
    dialog->setWindowIcon(ProgramIcon());
    QPalette pal = dialog->palette();
    pal.setColor(QPalette::Window, ToQColor(kDialogBackground));
    pal.setColor(QPalette::WindowText, ToQColor(kDialogText));
    dialog->setPalette(pal);
    dialog->setAutoFillBackground(true);
}

SmallDialog::SmallDialog(int templateId, const char* caption, int widthDu, int heightDu, QWidget* parent)
    : QDialog(parent), m_nTemplateId(templateId)
{
    setWindowTitle(winport::QStringFromAnsi(caption));
    ApplyDialogLook(this, widthDu, heightDu);
}

QWidget* SmallDialog::Control(int id) const { return findChild<QWidget*>(QString::number(id)); }

QStringList SmallDialog::Texts() const
{
    QList<QLabel*> labels = findChildren<QLabel*>();
    std::sort(labels.begin(), labels.end(), [](QLabel* a, QLabel* b) { return a->y() < b->y(); });
    QStringList texts;
    for (QLabel* l : labels)
        if (!l->text().isEmpty()) texts << l->text();
    return texts;
}

QLabel* SmallDialog::AddStatic(int id, const char* text, int x, int y, int w, int h)
{
    auto* label = new QLabel(winport::QStringFromAnsi(text), this);
    label->setObjectName(QString::number(id));
    label->setGeometry(DialogUnits::Rect(x, y, w, h));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* SmallDialog::AddIcon(int id, int x, int y)
{
    auto* label = new QLabel(this);
    label->setObjectName(QString::number(id));
    label->setPixmap(ProgramIcon().pixmap(32, 32));
    label->setGeometry(QRect(DialogUnits::X(x), DialogUnits::Y(y), 32, 32));
    return label;
}

void SmallDialog::RemoveThemes(std::initializer_list<int> ids)
{
    auto screens = std::dynamic_pointer_cast<winport::QtScreenService>(winport::GetScreenService());
    CThemeHelper theme;
    if (!screens || !theme.IsActive()) return;
    for (int id : ids)
        if (QWidget* control = Control(id)) theme.RemoveWindowTheme(screens->HandleOf(control));
}

QPushButton* SmallDialog::AddButton(int id, const char* text, int x, int y, int w, int h, bool isDefault)
{
    auto* button = new QPushButton(winport::QStringFromAnsi(text), this);
    button->setObjectName(QString::number(id));
    button->setGeometry(DialogUnits::Rect(x, y, w, h));
    button->setDefault(isDefault);
    button->setAutoDefault(isDefault);
    // The framework's buttons keep the platform's look on the coloured dialog.
    button->setPalette(QApplication::palette(button));
    connect(button, &QPushButton::clicked, this, [this, id] { done(id); });
    if (isDefault) button->setFocus();
    return button;
}

CAboutDlg::CAboutDlg(QWidget* parent) : SmallDialog(100, "Remote Mic Controller", 232, 45, parent)
{
    AddIcon(128, 11, 14);
    AddStatic(-1, "Version 2.0", 40, 10, 119, 8);
    AddStatic(-1, "Remote control of the mic pre-amplifier racks", 40, 25, 130, 8);
    AddButton(IDOK, "&OK", 175, 7, 50, 14, true);
}

CConfirmClose::CConfirmClose(QWidget* parent) : SmallDialog(188, "Please Confirm Action", 144, 44, parent)
{
    QLabel* text = AddStatic(-1, "Do you want to Close the Application ?", 7, 7, 130, 8);
    text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    AddButton(IDOK, "&Yes", 14, 22, 50, 14, true);
    AddButton(IDCANCEL, "&No", 80, 22, 50, 14, false);
}

CPortError::CPortError(QWidget* parent) : SmallDialog(218, "Port Error", 253, 103, parent)
{
    AddStatic(-1, "Unable to open communication port !", 14, 10, 225, 8);
    AddStatic(-1, "Check the following :-", 14, 28, 225, 8);
    AddStatic(-1, "1.   Is there another device using the port (e.g. mouse) ?", 24, 44, 215, 8);
    AddStatic(-1, "2.   Are both ports enabled in the system bios ?", 24, 58, 215, 8);
    AddButton(IDOK, "&OK", 101, 80, 50, 14, true);
}
