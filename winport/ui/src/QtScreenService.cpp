#include "winport_ui/QtScreenService.h"

#include <QGuiApplication>
#include <QScreen>

namespace winport {

namespace {
RECT toRect(const QRect& r, const QPoint& origin)
{
    return RECT{r.x() - origin.x(), r.y() - origin.y(), r.x() - origin.x() + r.width(), r.y() - origin.y() + r.height()};
}
}  // namespace

std::shared_ptr<QtScreenService> QtScreenService::Install()
{
    auto service = std::make_shared<QtScreenService>();
    SetScreenService(service);
    return service;
}

void QtScreenService::Attach(HWND hWnd, QWidget* widget)
{
    if (hWnd) m_widgets[hWnd] = widget;
}

void QtScreenService::Detach(HWND hWnd) { m_widgets.erase(hWnd); }

HWND QtScreenService::HandleOf(QWidget* widget) const
{
    if (!widget) return nullptr;
    for (const auto& [h, w] : m_widgets)
        if (w == widget) return h;
    HWND h = reinterpret_cast<HWND>(m_nextHandle++);
    m_widgets[h] = widget;
    return h;
}

QWidget* QtScreenService::WidgetOf(HWND hWnd) const
{
    auto it = m_widgets.find(hWnd);
    return it == m_widgets.end() ? nullptr : it->second.data();
}

QPoint QtScreenService::origin() const
{
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->geometry().topLeft() : QPoint(0, 0);
}

std::vector<MonitorDesc> QtScreenService::monitors() const
{
    std::vector<MonitorDesc> list;
    if (!qGuiApp) return list;
    const QPoint o = origin();
    QScreen* primary = QGuiApplication::primaryScreen();
    for (QScreen* s : QGuiApplication::screens()) {
        MonitorDesc m;
        m.monitor = toRect(s->geometry(), o);
        m.work = toRect(s->availableGeometry(), o);
        m.primary = (s == primary);
        list.push_back(m);
    }
    return list;
}

bool QtScreenService::windowRect(HWND window, RECT& out) const
{
    QWidget* w = WidgetOf(window);
    if (!w) return false;
    const QPoint o = origin();
    if (w->isWindow()) {
        out = toRect(w->frameGeometry(), o);
    } else {
        out = toRect(QRect(w->mapToGlobal(QPoint(0, 0)), w->size()), o);
    }
    return true;
}

bool QtScreenService::placeWindow(HWND window, int x, int y, int cx, int cy, UINT flags)
{
    QWidget* w = WidgetOf(window);
    if (!w) return false;
    if (!(flags & SWP_NOSIZE)) {
        // The size given is the outer size; the frame's margins come off for the client part.
        const QSize margins = w->isWindow() ? w->frameGeometry().size() - w->size() : QSize(0, 0);
        w->resize(std::max(0, cx - margins.width()), std::max(0, cy - margins.height()));
    }
    if (!(flags & SWP_NOMOVE)) {
        QPoint p(x, y);
        if (w->isWindow()) p += origin();
        w->move(p);  // a top-level window's frame goes to p, a control's to p in its parent
    }
    if (flags & SWP_SHOWWINDOW) w->show();
    if (flags & SWP_HIDEWINDOW) w->hide();
    return true;
}

std::vector<QWidget*> QtScreenService::childWidgets(QWidget* parent) const
{
    std::vector<QWidget*> list;
    const QObjectList& children = parent->children();
    // Qt keeps children bottom first; the z-order walk starts at the top.
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        QWidget* w = qobject_cast<QWidget*>(*it);
        if (w && !w->isWindow()) list.push_back(w);
    }
    return list;
}

HWND QtScreenService::firstChild(HWND window) const
{
    QWidget* w = WidgetOf(window);
    if (!w) return nullptr;
    auto list = childWidgets(w);
    return list.empty() ? nullptr : HandleOf(list.front());
}

HWND QtScreenService::nextSibling(HWND window) const
{
    QWidget* w = WidgetOf(window);
    if (!w || !w->parentWidget() || w->isWindow()) return nullptr;
    auto list = childWidgets(w->parentWidget());
    for (size_t i = 0; i + 1 < list.size(); ++i)
        if (list[i] == w) return HandleOf(list[i + 1]);
    return nullptr;
}

}  // namespace winport
