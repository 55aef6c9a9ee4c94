#include "winport_ui/QtScreenService.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QListView>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <cstring>

#include "winport_ui/Canvas.h"

namespace winport {

namespace {
RECT toRect(const QRect& r, const QPoint& origin)
{
    return RECT{r.x() - origin.x(), r.y() - origin.y(), r.x() - origin.x() + r.width(), r.y() - origin.y() + r.height()};
}
const char* const kFontProperty = "winportLogFont";
const char* const kSelectionHeightProperty = "winportSelectionHeight";
const char* const kItemHeightProperty = "winportItemHeight";

// Items of one fixed height.
class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), m_height(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), m_height);
    }

private:
    int m_height;
};

QAbstractItemView* ItemViewOf(QWidget* w)
{
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->view();
    if (auto* list = qobject_cast<QListView*>(w)) return list;
    return nullptr;
}

}  // namespace

int PixelSizeOfFontHeight(LONG lfHeight) { return std::max(1, static_cast<int>(lfHeight < 0 ? -lfHeight : lfHeight)); }

QFont FontOfDescription(const LOGFONT& lf)
{
    QFont font = DialogFont();
    const QString face = QString::fromLatin1(lf.lfFaceName, static_cast<int>(strnlen(lf.lfFaceName, LF_FACESIZE)));
    if (!face.isEmpty() && QFontDatabase::hasFamily(face)) font.setFamily(face);
    if (lf.lfHeight != 0) font.setPixelSize(PixelSizeOfFontHeight(lf.lfHeight));
    font.setWeight(lf.lfWeight >= FW_BOLD ? QFont::Bold : lf.lfWeight >= FW_MEDIUM ? QFont::Medium : QFont::Normal);
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    return font;
}

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

int QtScreenService::controlId(HWND window) const
{
    QWidget* w = WidgetOf(window);
    return w ? w->property(kControlIdProperty).toInt() : 0;
}

bool QtScreenService::isChild(HWND window) const
{
    QWidget* w = WidgetOf(window);
    return w && !w->isWindow();
}

bool QtScreenService::clientOrigin(HWND window, POINT& out) const
{
    QWidget* w = WidgetOf(window);
    if (!w) return false;
    const QPoint p = w->mapToGlobal(QPoint(0, 0)) - origin();
    out = POINT{p.x(), p.y()};
    return true;
}

ControlKind QtScreenService::controlKind(HWND window) const
{
    QWidget* w = WidgetOf(window);
    if (!w) return ControlKind::Other;
    if (qobject_cast<QComboBox*>(w)) return ControlKind::ComboBox;
    if (qobject_cast<QListView*>(w)) return ControlKind::ListBox;
    if (qobject_cast<QTabWidget*>(w) || qobject_cast<QTabBar*>(w)) return ControlKind::TabControl;
    return ControlKind::Other;
}

HWND QtScreenService::tabControl(HWND window) const
{
    QWidget* w = WidgetOf(window);
    if (!w) return nullptr;
    for (QWidget* child : childWidgets(w))
        if (qobject_cast<QTabWidget*>(child) || qobject_cast<QTabBar*>(child)) return HandleOf(child);
    return nullptr;
}

bool QtScreenService::tabRows(HWND window, int& rows, int& tabHeight) const
{
    QWidget* w = WidgetOf(window);
    QTabBar* bar = qobject_cast<QTabBar*>(w);
    if (auto* tabs = qobject_cast<QTabWidget*>(w)) bar = tabs->tabBar();
    if (!bar) return false;
    rows = 1;  // Qt's tab bars keep their tabs on one row
    tabHeight = bar->count() > 0 ? bar->tabRect(0).height() : 0;
    return true;
}

bool QtScreenService::setItemHeight(HWND window, int index, int height)
{
    QWidget* w = WidgetOf(window);
    QAbstractItemView* view = ItemViewOf(w);
    if (!view) return false;
    if (index == -1) {
        if (!qobject_cast<QComboBox*>(w)) return false;
        w->setProperty(kSelectionHeightProperty, height);
        return true;
    }
    w->setProperty(kItemHeightProperty, height);
    view->setItemDelegate(new FixedHeightDelegate(std::max(0, height), view));
    return true;
}

int QtScreenService::itemHeight(HWND window, int index) const
{
    QWidget* w = WidgetOf(window);
    if (!ItemViewOf(w)) return -1;
    const QVariant v = w->property(index == -1 ? kSelectionHeightProperty : kItemHeightProperty);
    return v.isValid() ? v.toInt() : -1;
}

bool QtScreenService::font(HWND window, LOGFONT& out) const
{
    QWidget* w = WidgetOf(window);
    if (!w) return false;
    const QByteArray stored = w->property(kFontProperty).toByteArray();
    if (stored.size() == static_cast<int>(sizeof(LOGFONT))) {
        std::memcpy(&out, stored.constData(), sizeof(LOGFONT));
        return true;
    }
    // The font it inherited, described.
    const QFont f = w->font();
    out = LOGFONT{};
    out.lfHeight = f.pixelSize() > 0 ? f.pixelSize() : static_cast<LONG>(f.pointSizeF() * 96.0 / 72.0 + 0.5);
    out.lfWeight = f.weight() >= QFont::Bold ? FW_BOLD : f.weight() >= QFont::Medium ? FW_MEDIUM : FW_NORMAL;
    out.lfItalic = f.italic() ? 1 : 0;
    SetFaceName(out, f.family().toLatin1().constData());
    return true;
}

bool QtScreenService::setFont(HWND window, const LOGFONT& lf)
{
    QWidget* w = WidgetOf(window);
    if (!w) return false;
    w->setProperty(kFontProperty, QByteArray(reinterpret_cast<const char*>(&lf), sizeof(LOGFONT)));
    w->setFont(FontOfDescription(lf));
    return true;
}

void QtScreenService::redraw(HWND window, bool /*children*/)
{
    // A widget's update repaints its children with it.
    if (QWidget* w = WidgetOf(window)) w->update();
}

}  // namespace winport
