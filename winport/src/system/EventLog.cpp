#include "winport/EventLog.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>

#include "winport/CString.h"
#include "winport/Registry.h"
#include "winport/Trace.h"

namespace {

const char kSourcesKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

struct EventSource {
    std::string name;
};

struct Sources {
    std::mutex mutex;
    std::set<EventSource*> live;
};

Sources& sources()
{
    static auto* s = new Sources;  // never freed: usable from static destructors
    return *s;
}

struct MessageTables {
    std::mutex mutex;
    std::map<std::string, std::map<DWORD, std::string>> byModule;  // module name in lower case
};

MessageTables& messageTables()
{
    static auto* t = new MessageTables;
    return *t;
}

std::string lower(std::string s)
{
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

/// The file name part of a module path ("C:\x\ardo.dll" -> "ardo.dll").
std::string moduleFileName(const std::string& path)
{
    size_t sep = path.find_last_of("\\/");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

/// The message text of the source, when its message file has a registered table.
bool findMessage(const char* source, DWORD id, std::string& text)
{
    HKEY key = nullptr;
    std::string path = std::string(kSourcesKey) + source;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char file[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    DWORD type = 0;
    LONG r = RegQueryValueExA(key, "EventMessageFile", nullptr, &type, reinterpret_cast<BYTE*>(file), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    file[size < MAX_PATH ? size : MAX_PATH] = 0;
    // The value may name several message files separated by semicolons.
    std::string files(file);
    MessageTables& t = messageTables();
    std::lock_guard<std::mutex> lock(t.mutex);
    size_t start = 0;
    while (start <= files.size()) {
        size_t end = files.find(';', start);
        if (end == std::string::npos) end = files.size();
        auto table = t.byModule.find(lower(moduleFileName(files.substr(start, end - start))));
        if (table != t.byModule.end()) {
            auto m = table->second.find(id);
            if (m != table->second.end()) {
                text = m->second;
                return true;
            }
        }
        start = end + 1;
    }
    return false;
}

/// Windows-1252 text as UTF-8 (the five unassigned bytes become U+FFFD).
std::string toUtf8(const std::string& text)
{
    static const uint16_t k80[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                     0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        uint32_t u = c < 0x80 ? c : (c < 0xA0 ? k80[c - 0x80] : c);
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

/// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
void cutUtf8(std::string& s, size_t limit)
{
    if (s.size() <= limit) return;
    size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    s.resize(n);
}

int severity(WORD type)
{
    switch (type) {
    case EVENTLOG_ERROR_TYPE: return 3;
    case EVENTLOG_WARNING_TYPE:
    case EVENTLOG_AUDIT_FAILURE: return 4;
    default: return 6;
    }
}

/// The source as a syslog tag: blanks, colons and brackets would end the tag early.
std::string tagOf(const std::string& source)
{
    std::string tag;
    for (unsigned char c : source) {
        bool plain = c > 0x20 && c < 0x7F && c != ':' && c != '[' && c != ']';
        tag += plain ? static_cast<char>(c) : '_';
    }
    return tag;
}

bool sendDatagram(const std::string& datagram)
{
    std::string path = winport::EventLogSocketPath();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (ok) {
        ssize_t n;
        do {
            n = ::send(fd, datagram.data(), datagram.size(), MSG_NOSIGNAL);
        } while (n < 0 && errno == EINTR);
        ok = n == static_cast<ssize_t>(datagram.size());
    }
    int err = errno;
    ::close(fd);
    if (!ok) {
        WinportTrace("event log: cannot send to %s: %s\n", path.c_str(), std::strerror(err));
        SetLastError(err == ENOENT || err == ECONNREFUSED ? ERROR_FILE_NOT_FOUND : ERROR_WRITE_FAULT);
    }
    return ok;
}

}  // namespace

namespace winport {

void RegisterMessageTable(const char* moduleName, const std::map<DWORD, std::string>& messages)
{
    if (!moduleName) return;
    MessageTables& t = messageTables();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.byModule[lower(moduleName)] = messages;
}

std::string FormatEventText(const char* source, DWORD id, WORD numStrings, LPCSTR* strings)
{
    auto insertion = [&](unsigned n) -> std::string {
        if (n == 0 || n > numStrings || !strings || !strings[n - 1]) return {};
        return strings[n - 1];
    };
    std::string message;
    std::string out;
    if (source && findMessage(source, id, message)) {
        // One pass over the message: an insertion string is copied as it stands, so marks
        // inside it ("%1") are not expanded again.
        for (size_t i = 0; i < message.size(); ++i) {
            char c = message[i];
            if (c != '%' || i + 1 >= message.size()) {
                out += c;
                continue;
            }
            char next = message[i + 1];
            if (next == '%') {
                out += '%';
                ++i;
            } else if (next >= '1' && next <= '9') {
                unsigned n = static_cast<unsigned>(next - '0');
                ++i;
                if (i + 1 < message.size() && message[i + 1] >= '0' && message[i + 1] <= '9') {
                    n = n * 10 + static_cast<unsigned>(message[i + 1] - '0');
                    ++i;
                }
                out += insertion(n);
            } else {
                out += c;
            }
        }
    } else {
        for (unsigned n = 1; n <= numStrings; ++n) {
            if (n > 1) out += ' ';
            out += insertion(n);
        }
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

std::string EventLogSocketPath()
{
    if (const char* v = std::getenv("ARDO_LOG_SOCKET"); v && *v) return v;
    return "/dev/log";
}

}  // namespace winport

HANDLE RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName)
{
    if (lpUNCServerName && *lpUNCServerName) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (!lpSourceName || !*lpSourceName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* s = new EventSource{lpSourceName};
    Sources& all = sources();
    std::lock_guard<std::mutex> lock(all.mutex);
    all.live.insert(s);
    return s;
}

BOOL DeregisterEventSource(HANDLE hEventLog)
{
    auto* s = static_cast<EventSource*>(hEventLog);
    Sources& all = sources();
    std::lock_guard<std::mutex> lock(all.mutex);
    if (!all.live.erase(s)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete s;
    return TRUE;
}

BOOL ReportEventA(HANDLE hEventLog, WORD wType, WORD, DWORD dwEventID, PSID, WORD wNumStrings, DWORD, LPCSTR* lpStrings,
                  LPVOID)
{
    std::string source;
    {
        Sources& all = sources();
        std::lock_guard<std::mutex> lock(all.mutex);
        auto* s = static_cast<EventSource*>(hEventLog);
        if (!all.live.count(s)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        source = s->name;
    }
    if (wNumStrings && !lpStrings) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string text = toUtf8(winport::FormatEventText(source.c_str(), dwEventID, wNumStrings, lpStrings));

    // "<PRI>Mmm dd hh:mm:ss TAG[PID]: TEXT" in the C locale.
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::string datagram = WinportFormat("<%d>%s %2d %02d:%02d:%02d %s[%d]: ", 1 * 8 + severity(wType),
                                         kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min,
                                         local.tm_sec, toUtf8(tagOf(source)).c_str(), static_cast<int>(::getpid()));
    if (datagram.size() >= winport::kEventLogMaxDatagram) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cutUtf8(text, winport::kEventLogMaxDatagram - datagram.size());
    datagram += text;
    return sendDatagram(datagram) ? TRUE : FALSE;
}
