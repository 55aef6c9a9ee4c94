// Registered message numbers. The numbers come from a table shared by the programs of one
// runtime folder ("registered-messages", one line per name, appended under an exclusive lock),
// so that a name has the same number everywhere. A program keeps every number it has given
// out; should the table disagree (a new runtime folder in mid-run, a damaged table), the
// program's own numbers win, and messages still arrive correctly because they travel by name.
// A name registered again after the runtime folder changed is written to the new folder's
// table when that table lacks it, so that programs started there later (a server whose frames
// carry a clipboard format by number) take the program's number.
#include <cctype>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#include "messages/WindowInternal.h"
#include "winport/Paths.h"

namespace winport::detail {

namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_map<std::string, UINT> byName;  // folded name
    std::unordered_map<UINT, std::string> byId;
    std::unordered_map<std::string, std::string> tableOf;  // folded name: the runtime folder last settled
};

Registry& registry()
{
    static auto* r = new Registry;
    return *r;
}

std::string folded(const char* name)
{
    std::string out(name);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string readAll(int fd)
{
    std::string text;
    char buffer[8192];
    off_t offset = 0;
    for (;;) {
        ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
        offset += n;
        if (text.size() > (1u << 24)) break;  // far beyond any real table
    }
    return text;
}

/// A number free in both the table and this program, or 0.
UINT freeNumber(const std::unordered_set<UINT>& taken)
{
    UINT highest = WINPORT_FIRST_REGISTERED_MESSAGE - 1;
    for (UINT id : taken) highest = std::max(highest, id);
    if (highest < WINPORT_LAST_REGISTERED_MESSAGE) return highest + 1;
    for (UINT id = WINPORT_FIRST_REGISTERED_MESSAGE; id <= WINPORT_LAST_REGISTERED_MESSAGE; ++id) {
        if (!taken.count(id)) return id;
    }
    return 0;
}

UINT registerName(const char* name)
{
    Registry& r = registry();
    std::string key = folded(name);
    std::string dir = RuntimeDir();
    UINT known = 0;
    if (auto it = r.byName.find(key); it != r.byName.end()) {
        known = it->second;
        if (r.tableOf[key] == dir) return known;
    }

    std::unordered_set<UINT> taken;
    for (const auto& [id, n] : r.byId) taken.insert(id);

    UINT id = known;
    bool inTable = false;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    int fd = ::open((dir + "/registered-messages").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0 && ::flock(fd, LOCK_EX) == 0) {
        std::string text = readAll(fd);
        auto entries = ParseMessageTable(text);
        std::unordered_set<UINT> inTableIds;
        for (const auto& e : entries) {
            inTableIds.insert(e.id);
            if (folded(e.name.c_str()) == key) {
                inTable = true;
                if (id == 0 && !r.byId.count(e.id)) id = e.id;
            }
        }
        taken.insert(inTableIds.begin(), inTableIds.end());
        if (id == 0) id = freeNumber(taken);
        // A number of this program goes into a table that lacks the name, where it is free.
        if (id != 0 && !inTable && (id != known || !inTableIds.count(id))) {
            std::string line = FormatMessageTableLine({id, name});
            if (!text.empty() && text.back() != '\n') line = "\n" + line;  // after a torn line
            ssize_t n = ::pwrite(fd, line.data(), line.size(), static_cast<off_t>(text.size()));
            (void)n;
        }
    } else if (id == 0) {
        id = freeNumber(taken);  // no shared table: numbers of this program only
    }
    if (fd >= 0) ::close(fd);
    if (id != 0) {
        r.byName[key] = id;
        r.byId[id] = name;
        r.tableOf[key] = dir;  // this folder's table is settled for the name
    }
    return id;
}

}  // namespace

std::string RegisteredMessageName(UINT id)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.byId.find(id);
    return it == r.byId.end() ? std::string() : it->second;
}

}  // namespace winport::detail

UINT RegisterWindowMessageA(LPCSTR name)
{
    if (!name || !winport::IsValidMessageName(name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& r = winport::detail::registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    UINT id = winport::detail::registerName(name);
    if (id == 0) SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return id;
}
