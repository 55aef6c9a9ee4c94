#include "winport_ui/QtMessagePump.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <algorithm>

#include "winport/Clock.h"

namespace winport {

namespace {

/// Another clock than the system's may move without telling: look again this often.
constexpr int kForeignClockPollMs = 10;

bool systemClock() { return dynamic_cast<SystemClock*>(&CurrentClock()) != nullptr; }

}  // namespace

QtMessagePump::QtMessagePump(QObject* parent)
    : QObject(parent),
      m_loop(MessageLoop::Current()),
      m_notifier(m_loop.WaitDescriptor(), QSocketNotifier::Read)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_notifier, &QSocketNotifier::activated, this, [this] { Pump(); });
    connect(&m_timer, &QTimer::timeout, this, [this] { Pump(); });
    // Timers set by handlers that Qt called (a click reaching a dialog core) are armed before
    // Qt waits again.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { arm(); });
    arm();
}

QtMessagePump::~QtMessagePump() = default;

size_t QtMessagePump::Pump()
{
    size_t count = m_loop.RunUntilIdle();
    if (takeQuit()) {
        emit quitPosted(m_nQuitCode);
        if (m_pRunning) m_pRunning->exit(m_nQuitCode);
    }
    arm();
    return count;
}

bool QtMessagePump::takeQuit()
{
    if (!m_loop.QuitPending()) return false;
    MSG msg{};
    // As in a platform loop, messages still queued are retrieved before the quit.
    for (size_t n = 0; n < 1000000 && m_loop.Peek(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
        if (msg.message == WM_QUIT) {
            m_nQuitCode = static_cast<int>(msg.wParam);
            m_bQuit = true;
            return true;
        }
        DispatchMessageA(&msg);
    }
    return false;
}

void QtMessagePump::arm()
{
    // Messages left over (a handler that posts without end stops a pass) are taken next turn.
    int64_t left = m_loop.PendingCount() > 0 ? 0 : m_loop.MillisecondsToNextTimer();
    int interval = left < 0 ? -1 : static_cast<int>(std::min<int64_t>(left, 24 * 3600 * 1000));
    if (!systemClock() && (interval < 0 || interval > kForeignClockPollMs)) interval = kForeignClockPollMs;
    m_nArmed = interval;
    if (interval < 0)
        m_timer.stop();
    else
        m_timer.start(interval);
}

int QtMessagePump::RunUntilQuit()
{
    m_bQuit = false;
    Pump();
    if (m_bQuit) return m_nQuitCode;
    QEventLoop loop;
    QEventLoop* outer = m_pRunning;
    m_pRunning = &loop;
    int code = loop.exec();
    m_pRunning = outer;
    return code;
}

}  // namespace winport
