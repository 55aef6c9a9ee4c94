// The store seam behind the registry functions: one backend per root (a local SQLite database,
// or another machine's registry service). Keys are named by opaque 64-bit references that the
// backend hands out; the Win32 surface maps its handles onto them and applies the buffer rules.
#pragma once

#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "winport/WinTypes.h"

namespace winport::reg {

struct ValueData {
    DWORD type = 0;
    std::string bytes;
};

struct KeyInfo {
    DWORD subKeys = 0;
    DWORD maxSubKeyLen = 0;
    DWORD values = 0;
    DWORD maxValueNameLen = 0;
    DWORD maxValueLen = 0;
};

/// Key names longer than this are refused on creation.
constexpr size_t kMaxKeyNameLength = 255;
/// Value names longer than this are refused on writing.
constexpr size_t kMaxValueNameLength = 16383;

/// The components of a key path split at backslashes (empty components are skipped).
std::vector<std::string> SplitKeyPath(const char* path);

class Backend {
public:
    virtual ~Backend() = default;
    virtual int64_t rootRef() const = 0;
    virtual LONG openKey(int64_t parent, const std::vector<std::string>& path, int64_t& out) = 0;
    virtual LONG createKey(int64_t parent, const std::vector<std::string>& path, bool isVolatile, int64_t& out,
                           bool& created) = 0;
    /// Releases a reference handed out by openKey or createKey.
    virtual void closeKey(int64_t key) { (void)key; }
    virtual LONG queryValue(int64_t key, const std::string& name, ValueData& out) = 0;
    virtual LONG setValue(int64_t key, const std::string& name, const ValueData& value) = 0;
    virtual LONG deleteValue(int64_t key, const std::string& name) = 0;
    /// Deletes the key at path below parent: with `tree` all of it, else only a key without subkeys.
    virtual LONG deleteKey(int64_t parent, const std::vector<std::string>& path, bool tree) = 0;
    virtual LONG enumKey(int64_t key, DWORD index, std::string& name) = 0;
    virtual LONG enumValue(int64_t key, DWORD index, std::string& name, ValueData& value) = 0;
    virtual LONG queryInfo(int64_t key, KeyInfo& info) = 0;
    /// The key's change counter (of itself, or of its whole subtree).
    virtual LONG changeStamp(int64_t key, bool subtree, int64_t& stamp) = 0;
    /// Blocks until something is written to the key (or below it, with subtree) after `since`
    /// (null: after the call) or it is deleted; ERROR_OPERATION_ABORTED when a stop is
    /// requested on `stop` (may be null).
    virtual LONG waitForChange(int64_t key, bool subtree, std::stop_token* stop, const int64_t* since) = 0;
};

/// The local store of a root: "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER" in RegistryDir().
/// Backends live for the whole process.
std::shared_ptr<Backend> LocalBackend(const char* rootName);

/// Another machine's HKEY_LOCAL_MACHINE: ERROR_BAD_NETPATH when the name is not configured,
/// RPC_S_SERVER_UNAVAILABLE when its service cannot be reached.
LONG ConnectRemoteBackend(const std::string& machine, std::shared_ptr<Backend>& out);
/// The client side of the service on a connected stream socket (which it takes, success or
/// not): greets the service and gives the backend when the greeting is answered.
LONG RemoteBackendOn(int fd, std::shared_ptr<Backend>& out);

}  // namespace winport::reg
