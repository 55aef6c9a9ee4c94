// Events on eventfd: the descriptor's counter is 1 exactly while the event is signalled, so poll
// sees the state and a wait can mix events with any other descriptor.
#include "winport/Events.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

struct WaitObject {
    enum class Kind { Event, Descriptor };

    WaitObject(Kind k, int descriptor, short events) : kind(k), fd(descriptor), pollEvents(events) {}
    ~WaitObject()
    {
        if (kind == Kind::Event && fd >= 0) ::close(fd);
    }
    WaitObject(const WaitObject&) = delete;
    WaitObject& operator=(const WaitObject&) = delete;

    const Kind kind;
    const int fd;
    const short pollEvents;
    bool manualReset = false;
    std::string name;

    std::mutex mutex;       // guards signalled together with the descriptor's counter
    bool signalled = false;

    // caller holds mutex
    void setLocked()
    {
        if (signalled) return;
        uint64_t one = 1;
        ssize_t n;
        do {
            n = ::write(fd, &one, sizeof one);
        } while (n < 0 && errno == EINTR);
        signalled = true;
    }
    // caller holds mutex
    void resetLocked()
    {
        if (!signalled) return;
        uint64_t value = 0;
        ssize_t n;
        do {
            n = ::read(fd, &value, sizeof value);
        } while (n < 0 && errno == EINTR);
        signalled = false;
    }
    // Descriptor handles: whether poll reports the awaited condition now (a hang-up or error
    // counts, so that a wait on a dead socket ends).
    bool descriptorReady() const
    {
        pollfd p{fd, pollEvents, 0};
        int r;
        do {
            r = ::poll(&p, 1, 0);
        } while (r < 0 && errno == EINTR);
        return r > 0 && (p.revents & (pollEvents | POLLERR | POLLHUP | POLLNVAL)) != 0;
    }
    // Takes the object if it is signalled: an auto-reset event is reset.
    bool tryTake()
    {
        if (kind == Kind::Descriptor) return descriptorReady();
        std::lock_guard lock(mutex);
        if (!signalled) return false;
        if (!manualReset) resetLocked();
        return true;
    }
};

using ObjectPtr = std::shared_ptr<WaitObject>;

class HandleTable {
public:
    HANDLE add(ObjectPtr object)
    {
        std::lock_guard lock(m_mutex);
        return addLocked(std::move(object));
    }

    ObjectPtr find(HANDLE h)
    {
        std::lock_guard lock(m_mutex);
        auto it = m_handles.find(HandleToUlong(h));
        if (it == m_handles.end() || reinterpret_cast<uintptr_t>(h) != it->first) return nullptr;
        return it->second;
    }

    // A new handle to the named event, or to a new event made by make() when none is open.
    HANDLE openOrCreate(const std::string& name, bool create, const std::function<ObjectPtr()>& make, bool& existed)
    {
        std::lock_guard lock(m_mutex);
        existed = false;
        auto it = m_names.find(name);
        if (it != m_names.end()) {
            if (ObjectPtr object = it->second.lock()) {
                existed = true;
                return addLocked(std::move(object));
            }
        }
        if (!create) return nullptr;
        ObjectPtr object = make();
        if (!object) return nullptr;
        object->name = name;
        m_names[name] = object;
        return addLocked(std::move(object));
    }

    bool close(HANDLE h)
    {
        ObjectPtr object;
        {
            std::lock_guard lock(m_mutex);
            auto it = m_handles.find(HandleToUlong(h));
            if (it == m_handles.end() || reinterpret_cast<uintptr_t>(h) != it->first) return false;
            object = std::move(it->second);
            m_handles.erase(it);
        }
        std::string name = object->name;
        object.reset();  // the last handle closes the descriptor, outside the table's lock
        if (!name.empty()) {
            std::lock_guard lock(m_mutex);
            auto it = m_names.find(name);
            if (it != m_names.end() && it->second.expired()) m_names.erase(it);
        }
        return true;
    }

    int count()
    {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(m_handles.size());
    }

private:
    // caller holds m_mutex
    HANDLE addLocked(ObjectPtr object)
    {
        // Handle values step by 4 from 0x10000, as kernel handles do, and are not reused soon.
        uint32_t value;
        do {
            m_next += 4;
            if (m_next < 0x10000 || m_next > 0x7FFFFFF0u) m_next = 0x10000;
            value = m_next;
        } while (m_handles.count(value) != 0);
        m_handles.emplace(value, std::move(object));
        return UlongToHandle(value);
    }

    std::mutex m_mutex;
    uint32_t m_next = 0x10000;
    std::unordered_map<uint32_t, ObjectPtr> m_handles;
    std::unordered_map<std::string, std::weak_ptr<WaitObject>> m_names;
};

HandleTable& table()
{
    static HandleTable* instance = new HandleTable;  // lives for the whole process
    return *instance;
}

ObjectPtr makeEvent(BOOL manualReset, BOOL initialState)
{
    int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) return nullptr;
    auto object = std::make_shared<WaitObject>(WaitObject::Kind::Event, fd, static_cast<short>(POLLIN));
    object->manualReset = manualReset != FALSE;
    if (initialState) {
        std::lock_guard lock(object->mutex);
        object->setLocked();
    }
    return object;
}

using SteadyClock = std::chrono::steady_clock;

// Milliseconds left before the deadline for poll (-1: no limit).
int remainingMs(DWORD timeout, SteadyClock::time_point deadline)
{
    if (timeout == INFINITE) return -1;
    // Rounded up, so that a wait never ends before its time.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<long long>(left, 0x7FFFFFFF));
}

// Waits until one of the objects may have changed, or the time is up. False when the time is up.
bool pollObjects(const std::vector<WaitObject*>& objects, DWORD timeout, SteadyClock::time_point deadline)
{
    std::vector<pollfd> fds;
    fds.reserve(objects.size());
    for (WaitObject* o : objects) fds.push_back(pollfd{o->fd, o->pollEvents, 0});
    for (;;) {
        int ms = remainingMs(timeout, deadline);
        int r = ::poll(fds.data(), fds.size(), ms);
        if (r > 0) return true;
        if (r == 0) return ms != 0 && remainingMs(timeout, deadline) != 0;
        if (errno != EINTR) return false;
    }
}

bool lookUp(DWORD count, const HANDLE* handles, std::vector<ObjectPtr>& objects)
{
    objects.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        ObjectPtr o = table().find(handles[i]);
        if (!o) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        objects.push_back(std::move(o));
    }
    return true;
}

DWORD waitAny(const std::vector<ObjectPtr>& objects, DWORD timeout)
{
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout == INFINITE ? 0 : timeout);
    std::vector<WaitObject*> raw;
    for (const ObjectPtr& o : objects) raw.push_back(o.get());
    for (;;) {
        for (size_t i = 0; i < objects.size(); ++i) {
            if (objects[i]->tryTake()) return WAIT_OBJECT_0 + static_cast<DWORD>(i);
        }
        if (!pollObjects(raw, timeout, deadline)) {
            // One last look: an object signalled right at the deadline still counts.
            for (size_t i = 0; i < objects.size(); ++i) {
                if (objects[i]->tryTake()) return WAIT_OBJECT_0 + static_cast<DWORD>(i);
            }
            return WAIT_TIMEOUT;
        }
    }
}

// Takes every object at once, or none.
bool tryTakeAll(std::vector<WaitObject*>& events, const std::vector<WaitObject*>& descriptors,
                std::vector<WaitObject*>& notReady)
{
    notReady.clear();
    for (WaitObject* d : descriptors) {
        if (!d->descriptorReady()) notReady.push_back(d);
    }
    // Events are locked in address order, so two waits for all never lock against each other.
    for (WaitObject* e : events) e->mutex.lock();
    for (WaitObject* e : events) {
        if (!e->signalled) notReady.push_back(e);
    }
    bool all = notReady.empty();
    if (all) {
        for (WaitObject* e : events) {
            if (!e->manualReset) e->resetLocked();
        }
    }
    for (auto it = events.rbegin(); it != events.rend(); ++it) (*it)->mutex.unlock();
    return all;
}

DWORD waitAll(const std::vector<ObjectPtr>& objects, DWORD timeout)
{
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout == INFINITE ? 0 : timeout);
    std::vector<WaitObject*> events, descriptors, notReady;
    for (const ObjectPtr& o : objects) (o->kind == WaitObject::Kind::Event ? events : descriptors).push_back(o.get());
    std::sort(events.begin(), events.end());
    for (;;) {
        if (tryTakeAll(events, descriptors, notReady)) return WAIT_OBJECT_0;
        if (!pollObjects(notReady, timeout, deadline)) {
            return tryTakeAll(events, descriptors, notReady) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
        }
    }
}

}  // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName)
{
    if (lpName == nullptr || lpName[0] == '\0') {
        ObjectPtr object = makeEvent(bManualReset, bInitialState);
        if (!object) {
            SetLastError(ERROR_TOO_MANY_OPEN_FILES);
            return nullptr;
        }
        SetLastError(ERROR_SUCCESS);
        return table().add(std::move(object));
    }
    bool existed = false;
    HANDLE h = table().openOrCreate(
        lpName, true, [&] { return makeEvent(bManualReset, bInitialState); }, existed);
    if (!h) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

HANDLE OpenEventA(DWORD, BOOL, LPCSTR lpName)
{
    if (lpName == nullptr || lpName[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool existed = false;
    HANDLE h = table().openOrCreate(lpName, false, nullptr, existed);
    if (!h) SetLastError(ERROR_FILE_NOT_FOUND);
    return h;
}

namespace {

template <typename F>
BOOL onEvent(HANDLE h, F&& f)
{
    ObjectPtr o = table().find(h);
    if (!o || o->kind != WaitObject::Kind::Event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(o->mutex);
    f(*o);
    return TRUE;
}

}  // namespace

BOOL SetEvent(HANDLE hEvent)
{
    return onEvent(hEvent, [](WaitObject& o) { o.setLocked(); });
}

BOOL ResetEvent(HANDLE hEvent)
{
    return onEvent(hEvent, [](WaitObject& o) { o.resetLocked(); });
}

BOOL CloseHandle(HANDLE hObject)
{
    if (!table().close(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds)
{
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<ObjectPtr> objects;
    if (!lookUp(nCount, lpHandles, objects)) return WAIT_FAILED;
    if (!bWaitAll) return waitAny(objects, dwMilliseconds);
    // Waiting for all of them needs each object once.
    std::vector<WaitObject*> seen;
    for (const ObjectPtr& o : objects) seen.push_back(o.get());
    std::sort(seen.begin(), seen.end());
    if (std::adjacent_find(seen.begin(), seen.end()) != seen.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    return waitAll(objects, dwMilliseconds);
}

namespace winport {

int EventDescriptor(HANDLE event)
{
    ObjectPtr o = table().find(event);
    return (o && o->kind == WaitObject::Kind::Event) ? o->fd : -1;
}

HANDLE CreateDescriptorHandle(int fd, short pollEvents)
{
    if (fd < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return table().add(std::make_shared<WaitObject>(WaitObject::Kind::Descriptor, fd, pollEvents));
}

int OpenWaitHandleCount()
{
    return table().count();
}

}  // namespace winport
