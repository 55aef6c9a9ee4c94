// The screen service on Qt: monitors from QGuiApplication's screens (geometry and available
// geometry), windows from the widgets that the program attaches under their window handles.
// Coordinates are turned into the platform's virtual-screen coordinates, in which the primary
// screen's top-left corner is (0, 0).
#pragma once

#include <QFont>
#include <QPointer>
#include <QWidget>
#include <map>

#include "winport/Screens.h"

namespace winport {

/// The widget property that holds a control's identifier (an int).
inline constexpr const char* kControlIdProperty = "winportControlId";

/// The one mapping of a font description's height (a cell height) to the pixel size that Qt
/// draws with: the cell height is the pixel size.
int PixelSizeOfFontHeight(LONG lfHeight);
/// The Qt font of a description; a face that is not installed falls back to the dialog font's.
QFont FontOfDescription(const LOGFONT& lf);

class QtScreenService : public ScreenService {
public:
    /// Creates the service and installs it as the process-wide screen service.
    static std::shared_ptr<QtScreenService> Install();

    /// Ties a handle to a widget (a top-level window or a control). Widgets met while walking
    /// children get handles of their own on demand.
    void Attach(HWND hWnd, QWidget* widget);
    void Detach(HWND hWnd);
    /// The widget's handle, made on first use.
    HWND HandleOf(QWidget* widget) const;
    QWidget* WidgetOf(HWND hWnd) const;

    std::vector<MonitorDesc> monitors() const override;
    bool windowRect(HWND window, RECT& out) const override;
    bool placeWindow(HWND window, int x, int y, int cx, int cy, UINT flags) override;
    HWND firstChild(HWND window) const override;
    HWND nextSibling(HWND window) const override;

    int controlId(HWND window) const override;
    bool isChild(HWND window) const override;
    bool clientOrigin(HWND window, POINT& out) const override;
    ControlKind controlKind(HWND window) const override;
    HWND tabControl(HWND window) const override;
    bool tabRows(HWND window, int& rows, int& tabHeight) const override;
    bool setItemHeight(HWND window, int index, int height) override;
    int itemHeight(HWND window, int index) const override;
    bool font(HWND window, LOGFONT& out) const override;
    bool setFont(HWND window, const LOGFONT& lf) override;
    void redraw(HWND window, bool children) override;

private:
    QPoint origin() const;  // the primary screen's top-left corner in Qt's coordinates
    std::vector<QWidget*> childWidgets(QWidget* parent) const;

    mutable std::map<HWND, QPointer<QWidget>> m_widgets;
    mutable uintptr_t m_nextHandle = 0x7f000001;  // handles made here, apart from the message loop's
};

}  // namespace winport
