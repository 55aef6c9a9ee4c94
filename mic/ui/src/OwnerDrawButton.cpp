#include "mic_ui/OwnerDrawButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "winport/SysColours.h"
#include "winport_ui/Canvas.h"
#include "winport_ui/QtScreenService.h"

OwnerDrawButton::OwnerDrawButton(int id, QWidget* parent) : QWidget(parent), m_nId(id)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setProperty(winport::kControlIdProperty, id);  // the control's identifier for the screen service
}

QColor OwnerDrawButton::EraseColour() const { return ToQColor(GetSysColor(COLOR_BTNFACE)); }

QImage OwnerDrawButton::Render(const QColor& erase) const
{
    QImage image(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
    image.fill(erase);
    PaintTo(image);
    return image;
}

void OwnerDrawButton::paintEvent(QPaintEvent*)
{
    ++m_nPaints;
    QImage image(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
    image.fill(EraseColour());
    if (!PaintTo(image)) return;
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

void OwnerDrawButton::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || m_bCaptured) return;
    m_bPressed = true;
    m_bCaptured = true;
    update();
}

void OwnerDrawButton::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_bCaptured) return;
    const bool inside = rect().contains(e->position().toPoint());
    if (inside != m_bPressed) {
        m_bPressed = inside;
        update();
    }
}

void OwnerDrawButton::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !m_bCaptured) return;  // no press on this button: swallowed
    m_bPressed = false;
    m_bCaptured = false;
    update();
    if (rect().contains(e->position().toPoint())) emit commandClicked(m_nId);
}

void OwnerDrawButton::keyPressEvent(QKeyEvent* e)
{
    if (e->key() != Qt::Key_Space) return QWidget::keyPressEvent(e);
    if (e->isAutoRepeat()) return;
    m_bCaptured = true;
    m_bPressed = true;
    update();
}

void OwnerDrawButton::keyReleaseEvent(QKeyEvent* e)
{
    if (e->key() != Qt::Key_Space) return QWidget::keyReleaseEvent(e);
    if (e->isAutoRepeat()) return;
    const bool wasDown = m_bCaptured;
    m_bCaptured = false;
    m_bPressed = false;
    update();
    if (wasDown) emit commandClicked(m_nId);  // a push button clicks on the space key's release
}

void OwnerDrawButton::enterEvent(QEnterEvent*)
{
    m_bHover = true;
    update();
}

void OwnerDrawButton::leaveEvent(QEvent*)
{
    m_bHover = false;
    update();
}

void OwnerDrawButton::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::EnabledChange || e->type() == QEvent::WindowTitleChange) update();
    QWidget::changeEvent(e);
}
