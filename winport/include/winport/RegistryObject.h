// The registry objects through which every part of the system keeps its settings. An object is
// bound to one root key (this machine's HKEY_LOCAL_MACHINE, another machine's, or
// HKEY_CURRENT_USER); each operation opens the named key below the root, does its work and
// closes the key again. Readers store the caller's default first, so a missing value is not an
// error: their result says whether the key could be opened.
//
// Objects are not shared between threads; each thread constructs its own.
#pragma once

#include <cstdio>
#include <stop_token>

#include "winport/Collections.h"
#include "winport/CString.h"
#include "winport/Registry.h"
#include "winport/WinTypes.h"

class CGenericRegistryObject {
public:
    CGenericRegistryObject() = default;
    virtual ~CGenericRegistryObject();
    CGenericRegistryObject(const CGenericRegistryObject&) = delete;
    CGenericRegistryObject& operator=(const CGenericRegistryObject&) = delete;

    void SetRootKey(HKEY hRootKey) { m_hRootKey = hRootKey; }
    HKEY GetRootKey() const { return m_hRootKey; }

    // Readers: the default first, then the stored value where it can be read.
    BOOL GetString(const CString& key, const CString& value, CString& out, const CString& def);
    BOOL GetDword(const CString& key, const CString& value, DWORD& out, DWORD def);
    BOOL GetInt(const CString& key, const CString& value, int& out, int def);
    BOOL GetLong(const CString& key, const CString& value, long& out, long def);
    BOOL GetByte(const CString& key, const CString& value, BYTE& out, BYTE def);
    BOOL GetBool(const CString& key, const CString& value, BYTE& out, BYTE def);
    /// As the one-byte form, for callers that keep the flag in a BOOL.
    BOOL GetBool(const CString& key, const CString& value, BOOL& out, BOOL def);
    BOOL GetBool(const CString& key, const CString& value, bool& out, bool def);
    /// data = new BYTE[size] holding the value (any type); the caller delete[]s it.
    BOOL GetBinary(const CString& key, const CString& value, BYTE*& data, DWORD& size);
    BOOL GetMultiString(const CString& key, const CString& value, CStringArray& out);
    /// The four values prefix".X", ".Y", ".CX", ".CY" (left, top, width, height).
    BOOL GetRect(const CString& key, const CString& prefix, RECT& out, const RECT& def);

    // Writers: create the key when it is missing, then write.
    BOOL SetString(const CString& key, const CString& value, const CString& text);
    BOOL SetDword(const CString& key, const CString& value, DWORD data);
    BOOL SetInt(const CString& key, const CString& value, int data);
    BOOL SetLong(const CString& key, const CString& value, long data);
    BOOL SetByte(const CString& key, const CString& value, BYTE data);
    BOOL SetBool(const CString& key, const CString& value, BYTE data);
    BOOL SetBinary(const CString& key, const CString& value, const BYTE* data, DWORD size);
    /// TRUE only when all four values were written.
    BOOL SetRect(const CString& key, const CString& prefix, const RECT& rect);

    BOOL KeyExists(const CString& key);
    BOOL ValueExists(const CString& key, const CString& value);
    BOOL DeleteValue(const CString& key, const CString& value);
    /// TRUE when at least one subkey name was found.
    BOOL EnumKeys(const CString& key, CStringArray& out);
    /// TRUE when at least one value name was found; names of any length are listed whole.
    BOOL EnumValues(const CString& key, CStringArray& out);
    BOOL DeleteKeyTree(const CString& key);

    /// Blocks until the value changes (a write to another value of the key, or below it, is
    /// waited through). FALSE when the wait could not be set up.
    BOOL WaitForValueChange(const CString& key, const CString& value);
    /// As above; returns FALSE as soon as a stop is requested on the token.
    BOOL WaitForValueChange(const CString& key, const CString& value, std::stop_token stop);

    // Export of a key branch, or one value, to a REGEDIT4 text file opened with `mode`
    // ("w", "a" ...). The header "REGEDIT4" is written only into an empty file.
    BOOL ExportLocalMachineKey(const CString& fileName, const CString& key, const CString& mode);
    BOOL ExportCurrentUserKey(const CString& fileName, const CString& key, const CString& mode);
    BOOL ExportLocalMachineValue(const CString& fileName, const CString& key, const CString& value,
                                 const CString& mode);
    BOOL ExportCurrentUserValue(const CString& fileName, const CString& key, const CString& value,
                                const CString& mode);

protected:
    // Workers with the root key (or an open key) as explicit first argument.
    BOOL OpenKey(HKEY hRoot, const CString& key, HKEY& hOut, REGSAM access);
    BOOL CreateKey(HKEY hRoot, const CString& key, HKEY& hOut);
    BOOL QueryValueSize(HKEY hKey, const CString& value, DWORD& size);
    BOOL QueryValueType(HKEY hKey, const CString& value, DWORD& type);
    BOOL QueryValue(HKEY hKey, const CString& value, BYTE* data, DWORD& type, DWORD& size);
    BOOL SetValue(HKEY hKey, const CString& value, const BYTE* data, DWORD type, DWORD size);

    BOOL GetString(HKEY hRoot, const CString& key, const CString& value, CString& out, const CString& def);
    BOOL GetDword(HKEY hRoot, const CString& key, const CString& value, DWORD& out, DWORD def);
    BOOL GetBinary(HKEY hRoot, const CString& key, const CString& value, BYTE*& data, DWORD& size);
    BOOL SetDword(HKEY hRoot, const CString& key, const CString& value, DWORD data);
    BOOL SetString(HKEY hRoot, const CString& key, const CString& value, const CString& text);
    BOOL SetBinary(HKEY hRoot, const CString& key, const CString& value, const BYTE* data, DWORD size);
    BOOL WaitForValueChange(HKEY hRoot, const CString& key, const CString& value, std::stop_token* stop);
    /// The names of a key's subkeys or values, whatever their length.
    BOOL EnumNames(const CString& key, bool values, CStringArray& out);

    BOOL ExportToFile(const CString& fileName, const CString& key, const CString& value, const CString& mode,
                      const char* rootLabel);
    void ExportKeyBranch(HKEY hParent, const CString& parentPath, const CString& key, const CString& value,
                         FILE* file);
    void WriteRegValue(const CString& name, const BYTE* data, DWORD type, DWORD size, FILE* file);

    HKEY m_hRootKey = nullptr;
    HKEY m_hConnectedRemoteKey = nullptr;
};

class CLocalMachineRegistryObject : public CGenericRegistryObject {
public:
    /// An empty name means this machine; another machine that cannot be reached leaves the
    /// object on this machine's HKEY_LOCAL_MACHINE, silently.
    explicit CLocalMachineRegistryObject(const CString& machine = CString());
    ~CLocalMachineRegistryObject() override;
};

class CCurrentUserRegistryObject : public CGenericRegistryObject {
public:
    CCurrentUserRegistryObject();
    ~CCurrentUserRegistryObject() override;
};

class CRegCU : public CCurrentUserRegistryObject {
public:
    CRegCU() = default;
    ~CRegCU() override;
};
