#include "winport/RegistryObject.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "winport/Module.h"
#include "winport/Paths.h"

namespace {

/// The text as the C library's atoi reads it (a text that is no number gives 0).
DWORD textToDword(const char* text)
{
    long v = std::strtol(text, nullptr, 10);
    return static_cast<DWORD>(static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long>(v))));
}

/// The name of entry `index` of a key's subkeys or values, whatever its length.
LONG enumName(HKEY key, DWORD index, bool values, CString& out)
{
    std::vector<char> buf(MAX_PATH);
    for (;;) {
        DWORD cch = static_cast<DWORD>(buf.size());
        LONG r = values ? RegEnumValueA(key, index, buf.data(), &cch, nullptr, nullptr, nullptr, nullptr)
                        : RegEnumKeyExA(key, index, buf.data(), &cch, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_MORE_DATA && buf.size() < 65536) {
            buf.resize(buf.size() * 4);
            continue;
        }
        if (r == ERROR_SUCCESS) out = CString(buf.data(), static_cast<int>(cch));
        return r;
    }
}

}  // namespace

CGenericRegistryObject::~CGenericRegistryObject()
{
    if (m_hConnectedRemoteKey) RegCloseKey(m_hConnectedRemoteKey);
}

// ---- primitive workers ----

BOOL CGenericRegistryObject::OpenKey(HKEY hRoot, const CString& key, HKEY& hOut, REGSAM access)
{
    return RegOpenKeyExA(hRoot, key, 0, access, &hOut) == ERROR_SUCCESS;
}

BOOL CGenericRegistryObject::CreateKey(HKEY hRoot, const CString& key, HKEY& hOut)
{
    DWORD disposition = 0;
    return RegCreateKeyExA(hRoot, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &hOut,
                           &disposition) == ERROR_SUCCESS;
}

BOOL CGenericRegistryObject::QueryValueSize(HKEY hKey, const CString& value, DWORD& size)
{
    size = 0;
    return RegQueryValueExA(hKey, value, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
}

BOOL CGenericRegistryObject::QueryValueType(HKEY hKey, const CString& value, DWORD& type)
{
    type = 0xFFFFFFFF;
    return RegQueryValueExA(hKey, value, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS;
}

BOOL CGenericRegistryObject::QueryValue(HKEY hKey, const CString& value, BYTE* data, DWORD& type, DWORD& size)
{
    return RegQueryValueExA(hKey, value, nullptr, &type, data, &size) == ERROR_SUCCESS;
}

BOOL CGenericRegistryObject::SetValue(HKEY hKey, const CString& value, const BYTE* data, DWORD type, DWORD size)
{
    return RegSetValueExA(hKey, value, 0, type, data, size) == ERROR_SUCCESS;
}

// ---- readers ----

BOOL CGenericRegistryObject::GetString(HKEY hRoot, const CString& key, const CString& value, CString& out,
                                       const CString& def)
{
    out = def;
    HKEY h = nullptr;
    if (!OpenKey(hRoot, key, h, KEY_READ)) return FALSE;
    DWORD size = 0, type = 0;
    QueryValueSize(h, value, size);
    QueryValueType(h, value, type);
    BOOL result = TRUE;
    if (size > 0) {
        if (type == REG_SZ || type == REG_BINARY) {
            std::vector<BYTE> buf(static_cast<size_t>(size) + 1, 0);
            DWORD readType = 0, readSize = size;
            if (QueryValue(h, value, buf.data(), readType, readSize)) out = reinterpret_cast<const char*>(buf.data());
        } else {
            result = FALSE;
        }
    }
    RegCloseKey(h);
    return result;
}

BOOL CGenericRegistryObject::GetDword(HKEY hRoot, const CString& key, const CString& value, DWORD& out, DWORD def)
{
    out = def;
    HKEY h = nullptr;
    if (!OpenKey(hRoot, key, h, KEY_READ)) return FALSE;
    DWORD size = 0, type = 0;
    QueryValueSize(h, value, size);
    QueryValueType(h, value, type);
    if (type == REG_SZ) {
        std::vector<BYTE> buf(static_cast<size_t>(size) + 1, 0);
        DWORD readType = 0, readSize = size;
        if (QueryValue(h, value, buf.data(), readType, readSize))
            out = textToDword(reinterpret_cast<const char*>(buf.data()));
    } else if (type == REG_DWORD) {
        BYTE bytes[4] = {0, 0, 0, 0};
        DWORD readType = 0, readSize = sizeof bytes;
        if (QueryValue(h, value, bytes, readType, readSize)) std::memcpy(&out, bytes, sizeof out);
        else out = def;
    }
    RegCloseKey(h);
    return TRUE;
}

BOOL CGenericRegistryObject::GetBinary(HKEY hRoot, const CString& key, const CString& value, BYTE*& data,
                                       DWORD& size)
{
    data = nullptr;
    size = 0;
    HKEY h = nullptr;
    if (!OpenKey(hRoot, key, h, KEY_READ)) return FALSE;
    DWORD querySize = 0;
    QueryValueSize(h, value, querySize);
    if (querySize > 0) {
        data = new BYTE[querySize];
        DWORD type = 0, readSize = querySize;
        if (QueryValue(h, value, data, type, readSize)) {
            size = readSize;
        } else {
            delete[] data;
            data = nullptr;
            size = 0;
        }
    }
    RegCloseKey(h);
    return TRUE;
}

BOOL CGenericRegistryObject::GetString(const CString& key, const CString& value, CString& out, const CString& def)
{
    return GetString(m_hRootKey, key, value, out, def);
}

BOOL CGenericRegistryObject::GetDword(const CString& key, const CString& value, DWORD& out, DWORD def)
{
    return GetDword(m_hRootKey, key, value, out, def);
}

BOOL CGenericRegistryObject::GetInt(const CString& key, const CString& value, int& out, int def)
{
    DWORD v = 0;
    BOOL r = GetDword(key, value, v, static_cast<DWORD>(def));
    out = static_cast<int>(v);
    return r;
}

BOOL CGenericRegistryObject::GetLong(const CString& key, const CString& value, long& out, long def)
{
    DWORD v = 0;
    BOOL r = GetDword(key, value, v, static_cast<DWORD>(def));
    // A stored DWORD is a 32-bit signed long on the system's platform.
    out = (v == static_cast<DWORD>(def)) ? def : static_cast<long>(static_cast<int32_t>(v));
    return r;
}

BOOL CGenericRegistryObject::GetByte(const CString& key, const CString& value, BYTE& out, BYTE def)
{
    DWORD v = 0;
    BOOL r = GetDword(key, value, v, def);
    out = static_cast<BYTE>(v & 0xFF);
    return r;
}

BOOL CGenericRegistryObject::GetBool(const CString& key, const CString& value, BYTE& out, BYTE def)
{
    DWORD v = 0;
    BOOL r = GetDword(key, value, v, static_cast<DWORD>(def & 0xFF));
    out = v != 0 ? 1 : 0;
    return r;
}

BOOL CGenericRegistryObject::GetBool(const CString& key, const CString& value, BOOL& out, BOOL def)
{
    BYTE b = 0;
    BOOL r = GetBool(key, value, b, static_cast<BYTE>(def & 0xFF));
    out = b;
    return r;
}

BOOL CGenericRegistryObject::GetBool(const CString& key, const CString& value, bool& out, bool def)
{
    BYTE b = 0;
    BOOL r = GetBool(key, value, b, def ? 1 : 0);
    out = b != 0;
    return r;
}

BOOL CGenericRegistryObject::GetBinary(const CString& key, const CString& value, BYTE*& data, DWORD& size)
{
    return GetBinary(m_hRootKey, key, value, data, size);
}

BOOL CGenericRegistryObject::GetMultiString(const CString& key, const CString& value, CStringArray& out)
{
    out.RemoveAll();
    HKEY h = nullptr;
    if (!OpenKey(m_hRootKey, key, h, KEY_READ)) return FALSE;
    DWORD size = 0, type = 0;
    QueryValueSize(h, value, size);
    QueryValueType(h, value, type);
    RegCloseKey(h);
    if (type != REG_MULTI_SZ || size == 0) return TRUE;
    BYTE* data = nullptr;
    DWORD got = 0;
    if (!GetBinary(m_hRootKey, key, value, data, got)) return FALSE;
    std::unique_ptr<BYTE[]> owner(data);
    // Strings end at a zero byte; an empty string or the end of the data ends the list.
    DWORD pos = 0;
    while (pos < got) {
        const char* s = reinterpret_cast<const char*>(data + pos);
        DWORD len = 0;
        while (pos + len < got && s[len] != 0) ++len;
        if (len == 0) break;
        out.Add(CString(s, static_cast<int>(len)));
        pos += len + 1;
    }
    return TRUE;
}

BOOL CGenericRegistryObject::GetRect(const CString& key, const CString& prefix, RECT& out, const RECT& def)
{
    static const char* const kSuffixes[] = {".X", ".Y", ".CX", ".CY", ""};
    out = def;
    HKEY h = nullptr;
    if (!OpenKey(m_hRootKey, key, h, KEY_READ)) return FALSE;
    BOOL ok = TRUE;
    for (int i = 0; ok && kSuffixes[i][0]; ++i) {
        CString name = prefix + kSuffixes[i];
        DWORD size = 0, type = 0, v = 0;
        QueryValueSize(h, name, size);
        QueryValueType(h, name, type);
        ok = type == REG_DWORD && size > 0 && GetDword(key, name, v, 0);
        if (!ok) break;
        LONG n = static_cast<LONG>(v);
        switch (i) {
        case 0: out.left = n; break;
        case 1: out.top = n; break;
        case 2: out.right = out.left + n; break;
        case 3: out.bottom = out.top + n; break;
        }
    }
    RegCloseKey(h);
    return ok;
}

// ---- writers ----

BOOL CGenericRegistryObject::SetString(HKEY hRoot, const CString& key, const CString& value, const CString& text)
{
    HKEY h = nullptr;
    if (!CreateKey(hRoot, key, h)) return FALSE;
    BOOL r = SetValue(h, value, reinterpret_cast<const BYTE*>(text.c_str()), REG_SZ,
                      static_cast<DWORD>(text.GetLength()) + 1);
    RegCloseKey(h);
    return r;
}

BOOL CGenericRegistryObject::SetDword(HKEY hRoot, const CString& key, const CString& value, DWORD data)
{
    HKEY h = nullptr;
    if (!CreateKey(hRoot, key, h)) return FALSE;
    BOOL r = SetValue(h, value, reinterpret_cast<const BYTE*>(&data), REG_DWORD, sizeof data);
    RegCloseKey(h);
    return r;
}

BOOL CGenericRegistryObject::SetBinary(HKEY hRoot, const CString& key, const CString& value, const BYTE* data,
                                       DWORD size)
{
    HKEY h = nullptr;
    if (!CreateKey(hRoot, key, h)) return FALSE;
    BOOL r = SetValue(h, value, data, REG_BINARY, size);
    RegCloseKey(h);
    return r;
}

BOOL CGenericRegistryObject::SetString(const CString& key, const CString& value, const CString& text)
{
    return SetString(m_hRootKey, key, value, text);
}

BOOL CGenericRegistryObject::SetDword(const CString& key, const CString& value, DWORD data)
{
    return SetDword(m_hRootKey, key, value, data);
}

BOOL CGenericRegistryObject::SetInt(const CString& key, const CString& value, int data)
{
    return SetDword(key, value, static_cast<DWORD>(data));
}

BOOL CGenericRegistryObject::SetLong(const CString& key, const CString& value, long data)
{
    return SetDword(key, value, static_cast<DWORD>(data));
}

BOOL CGenericRegistryObject::SetByte(const CString& key, const CString& value, BYTE data)
{
    return SetDword(key, value, static_cast<DWORD>(data));
}

BOOL CGenericRegistryObject::SetBool(const CString& key, const CString& value, BYTE data)
{
    return SetDword(key, value, static_cast<DWORD>(data));
}

BOOL CGenericRegistryObject::SetBinary(const CString& key, const CString& value, const BYTE* data, DWORD size)
{
    return SetBinary(m_hRootKey, key, value, data, size);
}

BOOL CGenericRegistryObject::SetRect(const CString& key, const CString& prefix, const RECT& rect)
{
    HKEY h = nullptr;
    if (!CreateKey(m_hRootKey, key, h)) return FALSE;
    const DWORD values[4] = {static_cast<DWORD>(rect.left), static_cast<DWORD>(rect.top),
                             static_cast<DWORD>(rect.right - rect.left), static_cast<DWORD>(rect.bottom - rect.top)};
    static const char* const kSuffixes[] = {".X", ".Y", ".CX", ".CY"};
    // All four are written even when one fails; the result says whether all were.
    BOOL all = TRUE;
    for (int i = 0; i < 4; ++i) {
        if (!SetValue(h, prefix + kSuffixes[i], reinterpret_cast<const BYTE*>(&values[i]), REG_DWORD, sizeof(DWORD)))
            all = FALSE;
    }
    RegCloseKey(h);
    return all;
}

// ---- keys ----

BOOL CGenericRegistryObject::KeyExists(const CString& key)
{
    HKEY h = nullptr;
    if (!OpenKey(m_hRootKey, key, h, KEY_READ)) return FALSE;
    RegCloseKey(h);
    return TRUE;
}

BOOL CGenericRegistryObject::ValueExists(const CString& key, const CString& value)
{
    HKEY h = nullptr;
    if (!OpenKey(m_hRootKey, key, h, KEY_READ)) return FALSE;
    DWORD size = 0;
    BOOL r = RegQueryValueExA(h, value, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
    RegCloseKey(h);
    return r;
}

BOOL CGenericRegistryObject::DeleteValue(const CString& key, const CString& value)
{
    HKEY h = nullptr;
    if (!OpenKey(m_hRootKey, key, h, KEY_SET_VALUE)) return FALSE;
    BOOL r = RegDeleteValueA(h, value) == ERROR_SUCCESS;
    RegCloseKey(h);
    return r;
}

BOOL CGenericRegistryObject::EnumKeys(const CString& key, CStringArray& out)
{
    return EnumNames(key, /*values=*/false, out);
}

BOOL CGenericRegistryObject::EnumValues(const CString& key, CStringArray& out)
{
    return EnumNames(key, /*values=*/true, out);
}

BOOL CGenericRegistryObject::EnumNames(const CString& key, bool values, CStringArray& out)
{
    out.RemoveAll();
    HKEY h = nullptr;
    if (!OpenKey(m_hRootKey, key, h, KEY_READ)) return FALSE;
    for (DWORD i = 0;; ++i) {
        CString name;
        if (enumName(h, i, values, name) != ERROR_SUCCESS) break;
        out.Add(name);
    }
    RegCloseKey(h);
    return out.GetSize() > 0;
}

BOOL CGenericRegistryObject::DeleteKeyTree(const CString& key)
{
    typedef LONG (*DeleteKeyFn)(HKEY, LPCSTR);
    HMODULE lib = LoadLibraryA("shlwapi.dll");
    if (!lib) return FALSE;
    BOOL r = FALSE;
    if (auto fn = reinterpret_cast<DeleteKeyFn>(GetProcAddress(lib, "SHDeleteKeyA")))
        r = fn(m_hRootKey, key) == ERROR_SUCCESS;
    FreeLibrary(lib);
    return r;
}

// ---- change wait ----

BOOL CGenericRegistryObject::WaitForValueChange(HKEY hRoot, const CString& key, const CString& value,
                                                std::stop_token* stop)
{
    HKEY h = nullptr;
    if (!OpenKey(hRoot, key, h, KEY_NOTIFY)) return FALSE;
    BOOL changed = FALSE;
    for (;;) {
        // The stamp is taken before the first snapshot, so that a write between the snapshot
        // and the wait ends the wait instead of being missed.
        int64_t stamp = 0;
        if (winport::RegChangeStamp(h, TRUE, stamp) != ERROR_SUCCESS) break;
        BYTE* before = nullptr;
        DWORD beforeSize = 0;
        if (!GetBinary(hRoot, key, value, before, beforeSize)) break;
        std::unique_ptr<BYTE[]> ownBefore(before);
        std::stop_token never;
        LONG r = winport::RegWaitForChange(h, TRUE, REG_NOTIFY_CHANGE_LAST_SET, stop ? *stop : never, &stamp);
        if (r != ERROR_SUCCESS) break;
        BYTE* after = nullptr;
        DWORD afterSize = 0;
        GetBinary(hRoot, key, value, after, afterSize);
        std::unique_ptr<BYTE[]> ownAfter(after);
        if (beforeSize != afterSize || (beforeSize != 0 && std::memcmp(before, after, beforeSize) != 0)) {
            changed = TRUE;
            break;
        }
    }
    RegCloseKey(h);
    return changed;
}

BOOL CGenericRegistryObject::WaitForValueChange(const CString& key, const CString& value)
{
    return WaitForValueChange(m_hRootKey, key, value, nullptr);
}

BOOL CGenericRegistryObject::WaitForValueChange(const CString& key, const CString& value, std::stop_token stop)
{
    return WaitForValueChange(m_hRootKey, key, value, &stop);
}

// ---- REGEDIT4 export ----

BOOL CGenericRegistryObject::ExportLocalMachineKey(const CString& fileName, const CString& key, const CString& mode)
{
    return ExportToFile(fileName, key, CString(), mode, "HKEY_LOCAL_MACHINE");
}

BOOL CGenericRegistryObject::ExportCurrentUserKey(const CString& fileName, const CString& key, const CString& mode)
{
    return ExportToFile(fileName, key, CString(), mode, "HKEY_CURRENT_USER");
}

BOOL CGenericRegistryObject::ExportLocalMachineValue(const CString& fileName, const CString& key,
                                                     const CString& value, const CString& mode)
{
    return ExportToFile(fileName, key, value, mode, "HKEY_LOCAL_MACHINE");
}

BOOL CGenericRegistryObject::ExportCurrentUserValue(const CString& fileName, const CString& key,
                                                    const CString& value, const CString& mode)
{
    return ExportToFile(fileName, key, value, mode, "HKEY_CURRENT_USER");
}

BOOL CGenericRegistryObject::ExportToFile(const CString& fileName, const CString& key, const CString& value,
                                          const CString& mode, const char* rootLabel)
{
    std::string path = winport::HostPath(fileName);
    FILE* file = std::fopen(path.c_str(), mode);
    if (!file) return FALSE;
    std::fseek(file, 0, SEEK_END);
    if (std::ftell(file) == 0) std::fputs("REGEDIT4\n\n", file);
    ExportKeyBranch(m_hRootKey, rootLabel, key, value, file);
    // A file that could not be written whole is a failure, not a success.
    bool failed = std::ferror(file) != 0;
    if (std::fclose(file) != 0) failed = true;
    return failed ? FALSE : TRUE;
}

void CGenericRegistryObject::ExportKeyBranch(HKEY hParent, const CString& parentPath, const CString& key,
                                             const CString& value, FILE* file)
{
    HKEY h = nullptr;
    if (!OpenKey(hParent, key, h, KEY_READ)) return;
    CString path = parentPath + "\\" + key;
    if (value.IsEmpty()) {
        std::fprintf(file, "[%s]\n", path.c_str());
        for (DWORD i = 0;; ++i) {
            CString name;
            if (enumName(h, i, true, name) != ERROR_SUCCESS) break;
            DWORD type = 0, size = 0;
            if (RegQueryValueExA(h, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) continue;
            std::vector<BYTE> data(size ? size : 1);
            if (RegQueryValueExA(h, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) continue;
            WriteRegValue(name, data.data(), type, size, file);
        }
        std::fputs("\n", file);
        for (DWORD i = 0;; ++i) {
            CString name;
            if (enumName(h, i, false, name) != ERROR_SUCCESS) break;
            ExportKeyBranch(h, path, name, CString(), file);
        }
    } else {
        DWORD type = 0, size = 0;
        if (RegQueryValueExA(h, value, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            std::vector<BYTE> data(size ? size : 1);
            if (RegQueryValueExA(h, value, nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
                std::fprintf(file, "[%s]\n", path.c_str());
                WriteRegValue(value, data.data(), type, size, file);
                std::fputs("\n", file);
            }
        }
    }
    RegCloseKey(h);
}

namespace {

/// Text between double quotes: a backslash or double quote is escaped; control characters
/// (the terminating zero included) are left out; bytes 0x80 to 0xFF stand as they are.
void writeQuoted(const BYTE* data, DWORD size, FILE* file)
{
    std::fputc('"', file);
    for (DWORD i = 0; i < size; ++i) {
        BYTE c = data[i];
        if (c == '\\' || c == '"') {
            std::fputc('\\', file);
            std::fputc(c, file);
        } else if ((c >= 0x20 && c < 0x7F) || c >= 0x80) {
            std::fputc(c, file);
        }
    }
    std::fputc('"', file);
}

}  // namespace

void CGenericRegistryObject::WriteRegValue(const CString& name, const BYTE* data, DWORD type, DWORD size, FILE* file)
{
    if (name.IsEmpty()) {
        std::fputs("@=", file);
    } else {
        writeQuoted(reinterpret_cast<const BYTE*>(name.c_str()), static_cast<DWORD>(name.GetLength()), file);
        std::fputc('=', file);
    }
    if (type == REG_SZ) {
        writeQuoted(data, size, file);
        std::fputc('\n', file);
        return;
    }
    if (type == REG_DWORD && size == 4) {
        DWORD v = 0;
        std::memcpy(&v, data, 4);
        std::fprintf(file, "dword:%08x\n", v);
        return;
    }
    if (type == REG_BINARY) std::fputs("hex:", file);
    else std::fprintf(file, "hex(%x):", type);
    for (DWORD i = 0; i < size; ++i) {
        std::fprintf(file, "%02x", data[i]);
        if (i + 1 < size) {
            std::fputc(',', file);
            if (i != 0 && i % 20 == 0) std::fputs("\\\n", file);
        }
    }
    std::fputc('\n', file);
}

// ---- the three roots ----

CLocalMachineRegistryObject::CLocalMachineRegistryObject(const CString& machine)
{
    SetRootKey(HKEY_LOCAL_MACHINE);
    if (!machine.IsEmpty()) {
        HKEY remote = nullptr;
        if (RegConnectRegistryA(machine, HKEY_LOCAL_MACHINE, &remote) == ERROR_SUCCESS) {
            m_hConnectedRemoteKey = remote;
            SetRootKey(remote);
        }
    }
}

CLocalMachineRegistryObject::~CLocalMachineRegistryObject() = default;

CCurrentUserRegistryObject::CCurrentUserRegistryObject() { SetRootKey(HKEY_CURRENT_USER); }

CCurrentUserRegistryObject::~CCurrentUserRegistryObject() = default;

CRegCU::~CRegCU() = default;
