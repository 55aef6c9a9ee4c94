// Qt's event loop drives the platform's message loop of the calling thread: a socket notifier
// watches the loop's wake-up descriptor (posts from any thread, messages from other programs,
// new timers) and a single-shot Qt timer is armed for the next timer deadline. Each time
// either fires, every message that is ready is dispatched. A WM_QUIT ends RunUntilQuit.
//
// Modal Qt loops (a message box, say) keep dispatching the platform's messages, as modal loops
// do on the platform the system was written for.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include "winport/MessageLoop.h"

class QEventLoop;

namespace winport {

class QtMessagePump : public QObject {
    Q_OBJECT
public:
    /// Attaches to the calling thread's message loop (and Qt's event dispatcher of that thread).
    explicit QtMessagePump(QObject* parent = nullptr);
    ~QtMessagePump() override;

    /// Runs Qt's event loop until WM_QUIT reaches the platform's loop; the quit's code. A quit
    /// already pending returns at once (after dispatching what came before it).
    int RunUntilQuit();
    /// Dispatches what is ready now and arms the timer for the next deadline. Returns the
    /// number of messages dispatched.
    size_t Pump();
    /// The interval the timer was last armed with (-1: no timer runs).
    int ArmedInterval() const { return m_nArmed; }

signals:
    /// WM_QUIT was taken from the platform's loop.
    void quitPosted(int code);

private:
    void arm();
    bool takeQuit();

    MessageLoop& m_loop;
    QSocketNotifier m_notifier;
    QTimer m_timer;
    QEventLoop* m_pRunning = nullptr;
    int m_nArmed = -1;
    int m_nQuitCode = 0;
    bool m_bQuit = false;
};

}  // namespace winport
