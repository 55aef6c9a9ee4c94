// The local registry store: one SQLite database per root, in WAL mode so that readers never
// wait for a writer. Each thread keeps its own connection per database with prepared
// statements, so a read costs a few index lookups and no open. Change waits watch the
// database folder with inotify and re-read the key's change counters when the database
// reports a commit (PRAGMA data_version).
//
// Any number of threads and programs use one store at the same time, and none of their calls
// fails for that: a connection that meets another's lock tries again every millisecond or two
// for up to kLockWait, and so does the set-up of a new connection (which SQLite does not wait
// through by itself: the first connections to a new store all need it alone to make it a WAL
// database). The threads of one program take turns at writing and setting up, so that they
// wait for each other in order and not by polling the file's lock.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sqlite3.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>

#include "registry/RegistryBackend.h"
#include "winport/Paths.h"
#include "winport/Registry.h"
#include "winport/Trace.h"

namespace winport::reg {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLockWait = std::chrono::seconds(10);  // a writer holds the lock for milliseconds at most
constexpr int kWaitRecheckMs = 1000;        // change waits re-read even without a folder event
constexpr int64_t kRootId = 1;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY,"
    " parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " volatile_boot TEXT,"
    " own_seq INTEGER NOT NULL DEFAULT 0,"
    " tree_seq INTEGER NOT NULL DEFAULT 0,"
    " UNIQUE(parent, name));"
    "CREATE TABLE IF NOT EXISTS vals("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " UNIQUE(key, name));"
    "INSERT OR IGNORE INTO keys(id, parent, name) VALUES(1, NULL, '');";

const std::string& bootId()
{
    static const std::string id = [] {
        std::ifstream in("/proc/sys/kernel/random/boot_id");
        std::string s;
        std::getline(in, s);
        return s.empty() ? std::string("unknown") : s;
    }();
    return id;
}

LONG sqliteToWin32(int rc)
{
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW: return ERROR_SUCCESS;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
    case SQLITE_SCHEMA:
    case SQLITE_ERROR: return ERROR_BADDB;
    case SQLITE_CANTOPEN: return ERROR_CANTOPEN;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ERROR_LOCK_VIOLATION;
    case SQLITE_IOERR: return ERROR_CANTWRITE;
    default: return ERROR_BADDB;
    }
}

bool isBusy(int rc) { return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED; }

/// SQLite's busy handler: waits 1 ms at a time, 2 ms after the first ten tries, until kLockWait
/// after the first. (SQLite's own timeout sleeps up to 100 ms between tries, so that a waiter
/// keeps missing a lock that busy writers hold for a millisecond at a time.)
int waitForLock(void* firstTry, int tries)
{
    auto* since = static_cast<Clock::time_point*>(firstTry);
    const auto now = Clock::now();
    if (tries == 0) *since = now;
    else if (now - *since >= kLockWait) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(tries < 10 ? 1 : 2));
    return 1;
}

/// A lock that a thread waits for until a deadline. Made of a mutex and a condition variable
/// rather than std::timed_mutex, whose timed wait ThreadSanitizer does not see (it then reports
/// every unlock as one of a mutex that is not held).
class WriteLock {
public:
    void lock()
    {
        std::unique_lock<std::mutex> guard(m_mutex);
        m_free.wait(guard, [&] { return !m_held; });
        m_held = true;
    }
    bool try_lock()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_held) return false;
        m_held = true;
        return true;
    }
    template <class Clock, class Duration>
    bool try_lock_until(const std::chrono::time_point<Clock, Duration>& deadline)
    {
        std::unique_lock<std::mutex> guard(m_mutex);
        if (!m_free.wait_until(guard, deadline, [&] { return !m_held; })) return false;
        m_held = true;
        return true;
    }
    template <class Rep, class Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& wait)
    {
        return try_lock_until(std::chrono::steady_clock::now() + wait);
    }
    void unlock()
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_held = false;
        }
        m_free.notify_one();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_free;
    bool m_held = false;
};

/// One connection of one thread to one database, with its prepared statements. `writes` is
/// the lock of that database that this program's threads take to write or set up a connection.
class Connection {
public:
    Connection(std::string path, WriteLock& writes) : m_path(std::move(path)), m_writes(writes) {}
    ~Connection() { close(); }

    /// Opens on first use (and again after a failure). ERROR_SUCCESS when usable.
    LONG ensureOpen()
    {
        if (m_db) return ERROR_SUCCESS;
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), ec);
        const auto deadline = Clock::now() + kLockWait;
        std::unique_lock<WriteLock> lock(m_writes, deadline);
        int rc = lock ? SQLITE_OK : SQLITE_BUSY;
        // Another program may be setting the store up, or writing: a set-up that meets its lock
        // starts again after a short, random pause, so that two programs that set up together
        // do not keep meeting.
        thread_local std::minstd_rand pause(std::random_device{}());
        while (lock) {
            rc = setUp();
            if (rc == SQLITE_OK) return ERROR_SUCCESS;
            if (!isBusy(rc) || Clock::now() >= deadline) break;
            close();
            std::this_thread::sleep_for(std::chrono::microseconds(500 + pause() % 1500));
        }
        m_error = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        close();
        if (rc == SQLITE_CANTOPEN) return ERROR_CANTOPEN;
        return sqliteToWin32(rc);
    }

    /// The lock this program's threads take to write to the database.
    WriteLock& writes() { return m_writes; }

    /// SQLite's text for the last failure to open.
    const std::string& openError() const { return m_error; }

    void close()
    {
        for (auto& [sql, stmt] : m_statements) sqlite3_finalize(stmt);
        m_statements.clear();
        if (m_db) sqlite3_close_v2(m_db);
        m_db = nullptr;
    }

    /// A prepared statement for a literal SQL text, reset and cleared for use.
    sqlite3_stmt* statement(const char* sql)
    {
        auto it = m_statements.find(sql);
        if (it != m_statements.end()) {
            sqlite3_reset(it->second);
            sqlite3_clear_bindings(it->second);
            return it->second;
        }
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
            WinportTrace("registry: %s: %s\n", sql, sqlite3_errmsg(m_db));
            return nullptr;
        }
        m_statements.emplace(sql, stmt);
        return stmt;
    }

    sqlite3* db() const { return m_db; }
    const std::string& path() const { return m_path; }

    int exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

    int64_t dataVersion()
    {
        sqlite3_stmt* s = statement("PRAGMA data_version");
        if (!s || sqlite3_step(s) != SQLITE_ROW) return -1;
        int64_t v = sqlite3_column_int64(s, 0);
        sqlite3_reset(s);
        return v;
    }

private:
    /// Opens the database and sets the connection up; an SQLite result.
    int setUp()
    {
        int rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        if (rc != SQLITE_OK) return rc;
        sqlite3_busy_handler(m_db, waitForLock, &m_firstTry);
        sqlite3_extended_result_codes(m_db, 0);
        rc = sqlite3_exec(m_db, "PRAGMA foreign_keys=ON; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                          nullptr, nullptr);
        if (rc == SQLITE_OK) rc = sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) rc = dropStaleVolatileKeys();
        return rc;
    }

    int dropStaleVolatileKeys()
    {
        // Volatile keys last until the machine restarts: drop those of an earlier boot.
        sqlite3_stmt* s = nullptr;
        int rc = sqlite3_prepare_v2(m_db, "SELECT 1 FROM keys WHERE volatile_boot IS NOT NULL AND volatile_boot <> ?1 LIMIT 1",
                                    -1, &s, nullptr);
        if (rc != SQLITE_OK) return rc;
        sqlite3_bind_text(s, 1, bootId().c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(s);
        sqlite3_finalize(s);
        if (rc == SQLITE_DONE) return SQLITE_OK;
        if (rc != SQLITE_ROW) return rc;
        rc = sqlite3_prepare_v2(m_db, "DELETE FROM keys WHERE volatile_boot IS NOT NULL AND volatile_boot <> ?1", -1, &s,
                                nullptr);
        if (rc != SQLITE_OK) return rc;
        sqlite3_bind_text(s, 1, bootId().c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(s);
        sqlite3_finalize(s);
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }

    std::string m_path;
    WriteLock& m_writes;
    sqlite3* m_db = nullptr;
    Clock::time_point m_firstTry;  // of the lock the connection waits for
    std::unordered_map<const char*, sqlite3_stmt*> m_statements;
    std::string m_error;
};

/// The connections of the calling thread, by database path. Freed when the thread ends.
using ConnectionMap = std::map<std::string, std::unique_ptr<Connection>>;

pthread_key_t connectionKey()
{
    static pthread_key_t key = [] {
        pthread_key_t k;
        pthread_key_create(&k, [](void* p) { delete static_cast<ConnectionMap*>(p); });
        return k;
    }();
    return key;
}

Connection& threadConnection(const std::string& path, WriteLock& writes)
{
    auto* map = static_cast<ConnectionMap*>(pthread_getspecific(connectionKey()));
    if (!map) {
        map = new ConnectionMap;
        pthread_setspecific(connectionKey(), map);
    }
    auto& slot = (*map)[path];
    if (!slot) slot = std::make_unique<Connection>(path, writes);
    return *slot;
}

void bindText(sqlite3_stmt* s, int index, const std::string& text)
{
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

std::string columnText(sqlite3_stmt* s, int column)
{
    const unsigned char* t = sqlite3_column_text(s, column);
    int n = sqlite3_column_bytes(s, column);
    return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(n)) : std::string();
}

std::string columnBlob(sqlite3_stmt* s, int column)
{
    const void* b = sqlite3_column_blob(s, column);
    int n = sqlite3_column_bytes(s, column);
    return b ? std::string(static_cast<const char*>(b), static_cast<size_t>(n)) : std::string();
}

/// Runs a statement that returns no rows; resets it.
int runStatement(sqlite3_stmt* s)
{
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

/// A write transaction (BEGIN IMMEDIATE, so that two writers never deadlock on an upgrade),
/// under this program's write lock of the database.
class WriteTransaction {
public:
    explicit WriteTransaction(Connection& c) : m_c(c), m_lock(c.writes(), kLockWait)
    {
        m_rc = m_lock ? c.exec("BEGIN IMMEDIATE") : SQLITE_BUSY;
    }
    ~WriteTransaction()
    {
        if (m_rc == SQLITE_OK && !m_done) m_c.exec("ROLLBACK");
    }
    int begun() const { return m_rc; }
    int commit()
    {
        m_done = true;
        int rc = m_c.exec("COMMIT");
        if (rc != SQLITE_OK) m_c.exec("ROLLBACK");
        return rc;
    }

private:
    Connection& m_c;
    std::unique_lock<WriteLock> m_lock;
    int m_rc;
    bool m_done = false;
};

class SqliteBackend : public Backend {
public:
    explicit SqliteBackend(std::string path) : m_path(std::move(path)) {}

    int64_t rootRef() const override { return kRootId; }

    LONG openKey(int64_t parent, const std::vector<std::string>& path, int64_t& out) override
    {
        Connection* c = nullptr;
        if (LONG e = connect(c)) return e;
        if (LONG e = requireKey(*c, parent)) return e;
        return walk(*c, parent, path, out);
    }

    LONG createKey(int64_t parent, const std::vector<std::string>& path, bool isVolatile, int64_t& out,
                   bool& created) override
    {
        created = false;
        for (const auto& comp : path) {
            if (comp.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
        }
        Connection* c = nullptr;
        if (LONG e = connect(c)) return e;
        // Most creations find the key already there: try without taking the write lock.
        if (LONG e = requireKey(*c, parent)) return e;
        if (walk(*c, parent, path, out) == ERROR_SUCCESS) return ERROR_SUCCESS;

        WriteTransaction tx(*c);
        if (tx.begun() != SQLITE_OK) return sqliteToWin32(tx.begun());
        if (LONG e = requireKey(*c, parent)) return e;
        int64_t cur = parent;
        for (const auto& comp : path) {
            int64_t next = 0;
            LONG e = child(*c, cur, comp, next);
            if (e == ERROR_FILE_NOT_FOUND) {
                // A lasting key below a volatile one would vanish with it at the next restart.
                if (!isVolatile && isVolatileKey(*c, cur)) return ERROR_CHILD_MUST_BE_VOLATILE;
                sqlite3_stmt* s = c->statement("INSERT INTO keys(parent, name, volatile_boot) VALUES(?1, ?2, ?3)");
                if (!s) return ERROR_BADDB;
                sqlite3_bind_int64(s, 1, cur);
                bindText(s, 2, comp);
                if (isVolatile) sqlite3_bind_text(s, 3, bootId().c_str(), -1, SQLITE_STATIC);
                if (int rc = runStatement(s)) return sqliteToWin32(rc);
                next = sqlite3_last_insert_rowid(c->db());
                if (int rc = bump(*c, cur)) return sqliteToWin32(rc);
                created = true;
            } else if (e != ERROR_SUCCESS) {
                return e;
            } else {
                created = false;
            }
            cur = next;
        }
        if (int rc = tx.commit()) {
            created = false;
            return sqliteToWin32(rc);
        }
        out = cur;
        return ERROR_SUCCESS;
    }

    LONG queryValue(int64_t key, const std::string& name, ValueData& out) override
    {
        Connection* c = nullptr;
        if (LONG e = connect(c)) return e;
        sqlite3_stmt* s = c->statement("SELECT type, data FROM vals WHERE key = ?1 AND name = ?2");
        if (!s) return ERROR_BADDB;
        sqlite3_bind_int64(s, 1, key);
        bindText(s, 2, name);
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            out.type = static_cast<DWORD>(sqlite3_column_int64(s, 0));
            out.bytes = columnBlob(s, 1);
            sqlite3_reset(s);
            return ERROR_SUCCESS;
        }
        sqlite3_reset(s);
        if (rc != SQLITE_DONE) return sqliteToWin32(rc);
        return keyGone(*c, key) ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
    }

    LONG setValue(int64_t key, const std::string& name, const ValueData& value) override
    {
        if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
        return writeInKey(key, [&](Connection& c) -> LONG {
            auto bindValue = [&](sqlite3_stmt* s) {
                sqlite3_bind_int64(s, 1, key);
                bindText(s, 2, name);
                sqlite3_bind_int64(s, 3, value.type);
                sqlite3_bind_blob(s, 4, value.bytes.data(), static_cast<int>(value.bytes.size()), SQLITE_STATIC);
            };
            // An existing value keeps its place in the creation order.
            sqlite3_stmt* s = c.statement("UPDATE vals SET type = ?3, data = ?4 WHERE key = ?1 AND name = ?2");
            if (!s) return ERROR_BADDB;
            bindValue(s);
            if (int rc = runStatement(s)) return sqliteToWin32(rc);
            if (sqlite3_changes(c.db()) == 0) {
                s = c.statement("INSERT INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4)");
                if (!s) return ERROR_BADDB;
                bindValue(s);
                if (int rc = runStatement(s)) return sqliteToWin32(rc);
            }
            return sqliteToWin32(bump(c, key));
        });
    }

    LONG deleteValue(int64_t key, const std::string& name) override
    {
        return writeInKey(key, [&](Connection& c) -> LONG {
            sqlite3_stmt* s = c.statement("DELETE FROM vals WHERE key = ?1 AND name = ?2");
            if (!s) return ERROR_BADDB;
            sqlite3_bind_int64(s, 1, key);
            bindText(s, 2, name);
            if (int rc = runStatement(s)) return sqliteToWin32(rc);
            if (sqlite3_changes(c.db()) == 0) return ERROR_FILE_NOT_FOUND;
            return sqliteToWin32(bump(c, key));
        });
    }

    LONG deleteKey(int64_t parent, const std::vector<std::string>& path, bool tree) override
    {
        return writeInKey(parent, [&](Connection& c) -> LONG {
            int64_t key = 0;
            if (LONG e = walk(c, parent, path, key)) return e;
            if (key == kRootId) return ERROR_ACCESS_DENIED;
            if (!tree) {
                sqlite3_stmt* s = c.statement("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
                if (!s) return ERROR_BADDB;
                sqlite3_bind_int64(s, 1, key);
                int rc = sqlite3_step(s);
                sqlite3_reset(s);
                if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;
                if (rc != SQLITE_DONE) return sqliteToWin32(rc);
            }
            int64_t keyParent = 0;
            sqlite3_stmt* s = c.statement("SELECT parent FROM keys WHERE id = ?1");
            if (!s) return ERROR_BADDB;
            sqlite3_bind_int64(s, 1, key);
            if (sqlite3_step(s) == SQLITE_ROW) keyParent = sqlite3_column_int64(s, 0);
            sqlite3_reset(s);
            // The subtree goes with the key (foreign-key cascade); waiters on it see it gone.
            s = c.statement("DELETE FROM keys WHERE id = ?1");
            if (!s) return ERROR_BADDB;
            sqlite3_bind_int64(s, 1, key);
            if (int rc = runStatement(s)) return sqliteToWin32(rc);
            return sqliteToWin32(bump(c, keyParent));
        });
    }

    LONG enumKey(int64_t key, DWORD index, std::string& name) override
    {
        Connection* c = nullptr;
        if (LONG e = connect(c)) return e;
        sqlite3_stmt* s = c->statement("SELECT name FROM keys WHERE parent = ?1 ORDER BY name LIMIT 1 OFFSET ?2");
        if (!s) return ERROR_BADDB;
        sqlite3_bind_int64(s, 1, key);
        sqlite3_bind_int64(s, 2, index);
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) name = columnText(s, 0);
        sqlite3_reset(s);
        if (rc == SQLITE_ROW) return ERROR_SUCCESS;
        if (rc != SQLITE_DONE) return sqliteToWin32(rc);
        return keyGone(*c, key) ? ERROR_KEY_DELETED : ERROR_NO_MORE_ITEMS;
    }

    LONG enumValue(int64_t key, DWORD index, std::string& name, ValueData& value) override
    {
        Connection* c = nullptr;
        if (LONG e = connect(c)) return e;
        sqlite3_stmt* s = c->statement("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
        if (!s) return ERROR_BADDB;
        sqlite3_bind_int64(s, 1, key);
        sqlite3_bind_int64(s, 2, index);
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            name = columnText(s, 0);
            value.type = static_cast<DWORD>(sqlite3_column_int64(s, 1));
            value.bytes = columnBlob(s, 2);
        }
        sqlite3_reset(s);
        if (rc == SQLITE_ROW) return ERROR_SUCCESS;
        if (rc != SQLITE_DONE) return sqliteToWin32(rc);
        return keyGone(*c, key) ? ERROR_KEY_DELETED : ERROR_NO_MORE_ITEMS;
    }

    LONG queryInfo(int64_t key, KeyInfo& info) override
    {
        Connection* c = nullptr;
        if (LONG e = connect(c)) return e;
        if (LONG e = requireKey(*c, key)) return e;
        sqlite3_stmt* s = c->statement("SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0) FROM keys WHERE parent = ?1");
        if (!s) return ERROR_BADDB;
        sqlite3_bind_int64(s, 1, key);
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            info.subKeys = static_cast<DWORD>(sqlite3_column_int64(s, 0));
            info.maxSubKeyLen = static_cast<DWORD>(sqlite3_column_int64(s, 1));
        }
        sqlite3_reset(s);
        if (rc != SQLITE_ROW) return sqliteToWin32(rc);
        s = c->statement("SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0), coalesce(max(length(data)), 0) "
                         "FROM vals WHERE key = ?1");
        if (!s) return ERROR_BADDB;
        sqlite3_bind_int64(s, 1, key);
        rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            info.values = static_cast<DWORD>(sqlite3_column_int64(s, 0));
            info.maxValueNameLen = static_cast<DWORD>(sqlite3_column_int64(s, 1));
            info.maxValueLen = static_cast<DWORD>(sqlite3_column_int64(s, 2));
        }
        sqlite3_reset(s);
        return rc == SQLITE_ROW ? ERROR_SUCCESS : sqliteToWin32(rc);
    }

    LONG changeStamp(int64_t key, bool subtree, int64_t& stamp) override
    {
        Connection* c = nullptr;
        if (LONG e = connect(c)) return e;
        return readSeq(*c, key, subtree, stamp);
    }

    LONG waitForChange(int64_t key, bool subtree, std::stop_token* stop, const int64_t* since) override
    {
        Connection* c = nullptr;
        if (LONG e = connect(c)) return e;
        // Watch the folder first, so that no commit falls between the first reading and the wait.
        int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch >= 0) {
            std::string dir = std::filesystem::path(m_path).parent_path().string();
            if (::inotify_add_watch(watch, dir.c_str(), IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE) < 0) {
                ::close(watch);
                watch = -1;  // fall back to re-reading at intervals
            }
        }
        int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        struct Fds {
            int a, b;
            ~Fds()
            {
                if (a >= 0) ::close(a);
                if (b >= 0) ::close(b);
            }
        } fds{watch, wake};
        if (wake < 0) return ERROR_NOT_ENOUGH_MEMORY;
        std::optional<std::stop_callback<std::function<void()>>> onStop;
        if (stop) {
            onStop.emplace(*stop, std::function<void()>([wake] {
                uint64_t one = 1;
                ssize_t n = ::write(wake, &one, sizeof one);
                (void)n;
            }));
        }

        int64_t start = 0;
        LONG first = readSeq(*c, key, subtree, start);
        if (first == ERROR_KEY_DELETED && since) return ERROR_SUCCESS;
        if (first) return first;
        if (since && *since != start) return ERROR_SUCCESS;
        int64_t version = c->dataVersion();
        for (;;) {
            if (stop && stop->stop_requested()) return ERROR_OPERATION_ABORTED;
            pollfd p[2] = {{wake, POLLIN, 0}, {watch, POLLIN, 0}};
            int n = ::poll(p, watch >= 0 ? 2 : 1, kWaitRecheckMs);
            if (n < 0 && errno != EINTR) return ERROR_INVALID_FUNCTION;
            if (p[0].revents & POLLIN) return ERROR_OPERATION_ABORTED;
            if (watch >= 0 && (p[1].revents & POLLIN)) {
                char buf[4096];
                while (::read(watch, buf, sizeof buf) > 0) {
                }
            }
            int64_t v = c->dataVersion();
            if (v == version && n > 0) continue;  // a folder event without a commit
            version = v;
            int64_t now = 0;
            LONG e = readSeq(*c, key, subtree, now);
            if (e == ERROR_KEY_DELETED) return ERROR_SUCCESS;
            if (e) return e;
            if (now != start) return ERROR_SUCCESS;
        }
    }

private:
    /// Runs `work` in a write transaction on an existing key; commits when it succeeds.
    template <class Work>
    LONG writeInKey(int64_t key, Work work)
    {
        Connection* c = nullptr;
        if (LONG e = connect(c)) return e;
        WriteTransaction tx(*c);
        if (tx.begun() != SQLITE_OK) return sqliteToWin32(tx.begun());
        if (LONG e = requireKey(*c, key)) return e;
        if (LONG e = work(*c)) return e;
        return sqliteToWin32(tx.commit());
    }

    LONG connect(Connection*& out)
    {
        Connection& c = threadConnection(m_path, m_writes);
        if (LONG e = c.ensureOpen()) {
            // Said once: every later call fails the same way, and the program works on.
            if (!m_bToldUnusable.exchange(true))
                std::fprintf(stderr,
                             "registry: the store %s cannot be opened: %s; the program runs on its defaults and "
                             "keeps no settings there\n",
                             m_path.c_str(), c.openError().c_str());
            WinportTrace("registry: cannot open %s: %s\n", m_path.c_str(), c.openError().c_str());
            return e;
        }
        out = &c;
        return ERROR_SUCCESS;
    }

    static bool keyGone(Connection& c, int64_t key) { return requireKey(c, key) == ERROR_KEY_DELETED; }

    static LONG requireKey(Connection& c, int64_t key)
    {
        if (key == kRootId) return ERROR_SUCCESS;
        sqlite3_stmt* s = c.statement("SELECT 1 FROM keys WHERE id = ?1");
        if (!s) return ERROR_BADDB;
        sqlite3_bind_int64(s, 1, key);
        int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc == SQLITE_ROW) return ERROR_SUCCESS;
        return rc == SQLITE_DONE ? ERROR_KEY_DELETED : sqliteToWin32(rc);
    }

    static bool isVolatileKey(Connection& c, int64_t key)
    {
        sqlite3_stmt* s = c.statement("SELECT volatile_boot IS NOT NULL FROM keys WHERE id = ?1");
        if (!s) return false;
        sqlite3_bind_int64(s, 1, key);
        bool result = sqlite3_step(s) == SQLITE_ROW && sqlite3_column_int(s, 0) != 0;
        sqlite3_reset(s);
        return result;
    }

    static LONG child(Connection& c, int64_t parent, const std::string& name, int64_t& out)
    {
        sqlite3_stmt* s = c.statement("SELECT id FROM keys WHERE parent = ?1 AND name = ?2");
        if (!s) return ERROR_BADDB;
        sqlite3_bind_int64(s, 1, parent);
        bindText(s, 2, name);
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) out = sqlite3_column_int64(s, 0);
        sqlite3_reset(s);
        if (rc == SQLITE_ROW) return ERROR_SUCCESS;
        return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : sqliteToWin32(rc);
    }

    static LONG walk(Connection& c, int64_t parent, const std::vector<std::string>& path, int64_t& out)
    {
        int64_t cur = parent;
        for (const auto& comp : path) {
            int64_t next = 0;
            if (LONG e = child(c, cur, comp, next)) return e;
            cur = next;
        }
        out = cur;
        return ERROR_SUCCESS;
    }

    /// Counts a change of `key` itself and of the subtree of each of its ancestors.
    static int bump(Connection& c, int64_t key)
    {
        sqlite3_stmt* s = c.statement(
            "WITH RECURSIVE a(id) AS (SELECT ?1 UNION ALL SELECT k.parent FROM keys k JOIN a ON k.id = a.id "
            "WHERE k.parent IS NOT NULL) "
            "UPDATE keys SET tree_seq = tree_seq + 1, own_seq = own_seq + (id = ?1) WHERE id IN a");
        if (!s) return SQLITE_ERROR;
        sqlite3_bind_int64(s, 1, key);
        return runStatement(s);
    }

    static LONG readSeq(Connection& c, int64_t key, bool subtree, int64_t& out)
    {
        sqlite3_stmt* s = c.statement("SELECT own_seq, tree_seq FROM keys WHERE id = ?1");
        if (!s) return ERROR_BADDB;
        sqlite3_bind_int64(s, 1, key);
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) out = sqlite3_column_int64(s, subtree ? 1 : 0);
        sqlite3_reset(s);
        if (rc == SQLITE_ROW) return ERROR_SUCCESS;
        return rc == SQLITE_DONE ? ERROR_KEY_DELETED : sqliteToWin32(rc);
    }

    std::string m_path;
    WriteLock m_writes;  // this program's threads write to the database one at a time
    std::atomic<bool> m_bToldUnusable{false};
};

}  // namespace

std::vector<std::string> SplitKeyPath(const char* path)
{
    std::vector<std::string> out;
    if (!path) return out;
    std::string cur;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\') {
            if (!cur.empty()) out.push_back(std::move(cur));
            cur.clear();
        } else {
            cur += *p;
        }
    }
    if (!cur.empty()) out.push_back(std::move(cur));
    return out;
}

std::shared_ptr<Backend> LocalBackend(const char* rootName)
{
    static std::mutex mutex;
    // Never freed, so that registry reads keep working from static destructors.
    static auto* backends = new std::map<std::string, std::shared_ptr<Backend>>;
    std::string path = RegistryDir() + "/" + rootName + ".db";
    std::lock_guard<std::mutex> lock(mutex);
    auto& slot = (*backends)[path];
    if (!slot) slot = std::make_shared<SqliteBackend>(path);
    return slot;
}

}  // namespace winport::reg

namespace winport {

std::string RegistryDir()
{
    if (const char* v = std::getenv("WINPORT_REGISTRY_DIR"); v && *v) return v;
    return ConfigDir() + "/registry";
}

}  // namespace winport
