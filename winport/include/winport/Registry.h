// The registry: keys below the roots HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, each key holding
// named values with a type and exact bytes. Results are Win32 error codes (ERROR_SUCCESS = 0).
//
// On this machine each root is one SQLite database in the folder WINPORT_REGISTRY_DIR (default
// $XDG_CONFIG_HOME/vokdwen/registry). Key and value names compare case-insensitively (ASCII
// letters folded) and keep the case they were created with. Subkeys enumerate by name ignoring
// case; values enumerate in the order they were created. Several threads and processes may use
// one store at once. Key handles may be used from any thread. Another machine's
// HKEY_LOCAL_MACHINE is reached through RegConnectRegistryA and the registry service (see the
// README: machine names map to host:port in the file named by WINPORT_REGISTRY_MACHINES).
#pragma once

#include <stop_token>
#include <string>

#include "winport/WinTypes.h"

typedef DWORD REGSAM;
typedef LONG LSTATUS;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000003u)))

// Value types.
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

// Access masks.
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_EXECUTE 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

// RegCreateKeyExA options and dispositions.
#define REG_OPTION_NON_VOLATILE 0x0
#define REG_OPTION_VOLATILE 0x1
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

// RegNotifyChangeKeyValue filters.
#define REG_NOTIFY_CHANGE_NAME 0x1
#define REG_NOTIFY_CHANGE_ATTRIBUTES 0x2
#define REG_NOTIFY_CHANGE_LAST_SET 0x4
#define REG_NOTIFY_CHANGE_SECURITY 0x8

/// Opens an existing key below hKey (an empty or null subKey opens hKey again).
/// ERROR_FILE_NOT_FOUND when it does not exist; ERROR_BADDB when the store cannot be read.
LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
/// Opens the key, creating it and any missing parents. *lpdwDisposition (when not null) is
/// REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. A volatile key lasts until the machine
/// restarts; missing parents are made with the same option, and a lasting key cannot be made
/// below a volatile one (ERROR_CHILD_MUST_BE_VOLATILE). Key names longer than 255 characters
/// are refused (ERROR_INVALID_PARAMETER).
LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition);
LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
LONG RegCloseKey(HKEY hKey);
/// Reads a value (null or empty name: the key's default value). With lpData null, *lpcbData
/// receives the size; with a buffer too small, ERROR_MORE_DATA and the size needed.
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData);
/// Writes a value with its type and exactly cbData bytes.
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
/// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED when it has some).
LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
/// Deletes a key with all its subkeys and values.
LONG SHDeleteKeyA(HKEY hKey, LPCSTR pszSubKey);
LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);
/// The name of subkey dwIndex (ERROR_NO_MORE_ITEMS past the last); cchName counts the terminator.
LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName);
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, FILETIME* lpftLastWriteTime);
/// Value dwIndex in creation order. *lpcchValueName is the buffer's size in characters on entry
/// and the name's length without terminator on return; a buffer too small gives ERROR_MORE_DATA.
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
/// Counts and longest names of a key (other outputs may be null).
LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      FILETIME* lpftLastWriteTime);
/// Blocks until something is written below the key (itself and, with bWatchSubtree, every key
/// under it), or the key is deleted. Only the synchronous form is offered (hEvent null and
/// fAsynchronous FALSE); the filter is accepted but every change of names or values wakes the
/// wait. The key needs KEY_NOTIFY access. Not offered on another machine's keys.
LONG RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter, HANDLE hEvent,
                             BOOL fAsynchronous);
/// Connects to HKEY_LOCAL_MACHINE of another machine. A null or empty name, or this machine's
/// own name, gives the local root. ERROR_BAD_NETPATH for a name that is not configured;
/// RPC_S_SERVER_UNAVAILABLE when the machine's registry service cannot be reached.
LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult);
LONG RegFlushKey(HKEY hKey);

namespace winport {

/// A stamp of the changes made so far to the key (and below it, with bWatchSubtree), for a
/// wait that must not miss a change made between reading a value and starting to wait.
LONG RegChangeStamp(HKEY hKey, BOOL bWatchSubtree, int64_t& stamp);
/// The cancellable form of the synchronous change wait: as RegNotifyChangeKeyValue, but
/// returns ERROR_OPERATION_ABORTED as soon as a stop is requested on the token. With `since`
/// (from RegChangeStamp), a change made after that stamp ends the wait at once.
LONG RegWaitForChange(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter, std::stop_token stop,
                      const int64_t* since = nullptr);

/// The folder of the registry databases: WINPORT_REGISTRY_DIR, else ConfigDir()/registry.
std::string RegistryDir();

}  // namespace winport

#ifndef ERROR_CHILD_MUST_BE_VOLATILE
#define ERROR_CHILD_MUST_BE_VOLATILE 1021L
#endif
#ifndef ERROR_OPERATION_ABORTED
#define ERROR_OPERATION_ABORTED 995L
#endif
