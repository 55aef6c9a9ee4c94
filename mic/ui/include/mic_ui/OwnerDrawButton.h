// The push-button behaviour that the owner-drawn buttons share: a press with the left button
// captures the button, the pressed look follows the mouse while captured, and a release inside
// clicks; the space key presses and, on its release, clicks; a release without a press on the
// button is swallowed. The mouse resting on the button sets the hover state. A click reaches
// the owner as commandClicked(id). Painting goes through PaintTo on an image of the button.
#pragma once

#include <QImage>
#include <QWidget>

class OwnerDrawButton : public QWidget {
    Q_OBJECT
public:
    int GetId() const { return m_nId; }
    bool IsPressed() const { return m_bPressed; }
    bool IsHover() const { return m_bHover; }
    int GetPaintCount() const { return m_nPaints; }

    /// The button as it paints now, over its erase colour or over the colour given.
    QImage Render() const { return Render(EraseColour()); }
    QImage Render(const QColor& erase) const;

signals:
    void commandClicked(int id);

protected:
    OwnerDrawButton(int id, QWidget* parent);

    /// Paints the whole button into `image` (the size of the button), which holds the erased
    /// background; FALSE when nothing at all should be shown.
    virtual bool PaintTo(QImage& image) const = 0;
    /// The colour the button is erased with before it paints.
    virtual QColor EraseColour() const;

    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void keyReleaseEvent(QKeyEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void changeEvent(QEvent*) override;

    int m_nId;
    bool m_bCaptured = false;
    bool m_bPressed = false;
    bool m_bHover = false;
    int m_nPaints = 0;
};
