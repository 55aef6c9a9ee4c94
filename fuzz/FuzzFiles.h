// Files and settings the file-reader fuzz targets make for each input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "trevanny/ConsoleRegistryNames.h"
#include "winport/RegistryObject.h"
#include "winport/Storage.h"

namespace fuzzfiles {

inline std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

/// Writes the bytes as the whole file at path (replacing it).
inline void WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    if (size) std::fwrite(data, 1, size, out);
    std::fclose(out);
}

/// Creates (or replaces) the stream of that name in root with the bytes.
inline bool WriteStream(IStorage* root, const std::wstring& name, const uint8_t* data, size_t size)
{
    IStream* s = nullptr;
    if (root->CreateStream(name.c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, 0, &s) != S_OK) return false;
    ULONG written = 0;
    if (size) s->Write(data, static_cast<ULONG>(size), &written);
    s->Release();
    return true;
}

/// Stores the console type in this machine's settings and loads them again, when it changes.
inline void UseConsoleType(int type)
{
    static int current = -1;
    if (type == current) return;
    CLocalMachineRegistryObject registry{CString()};
    registry.SetInt("Software\\Vok Dwen Cantle\\Main", "CantleConsoleType", type);
    CConsoleRegistryNames::ResetConsoleSettingsForTesting();
    current = type;
}

}  // namespace fuzzfiles
