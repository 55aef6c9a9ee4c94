// The set-up the fuzz targets share: one private folder for the run (the registry, data root,
// runtime and settings folders of the platform layer point into it), the input as a file or a
// stream there, and the console the settings describe.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "../testsupport/TestEnvironment.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "winport/RegistryObject.h"
#include "winport/Storage.h"

namespace fuzzfiles {

/// The run's private folder, made on the first call and removed at exit. It lies in memory
/// where the system offers a memory file system: the targets that save write and flush files
/// on every run, and a disk's flush would take most of a run.
inline const TestEnvironment& Environment()
{
    static TestEnvironment env(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp");
    return env;
}

inline std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

/// Writes the prefix and then the bytes as the whole file at path (replacing it), making its
/// folder when there is none. A file that cannot be written ends the run.
inline void WriteFile(const std::string& path, const uint8_t* data, size_t size, std::string_view prefix = {})
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
        out = std::fopen(path.c_str(), "wb");
    }
    if (!out) {
        std::perror(path.c_str());
        std::abort();
    }
    if (!prefix.empty()) std::fwrite(prefix.data(), 1, prefix.size(), out);
    if (size) std::fwrite(data, 1, size, out);
    std::fclose(out);
}

/// Writes the input as the file of that name (a path below the run's folder) and gives its path.
inline std::string InputFile(const std::string& name, const uint8_t* data, size_t size, std::string_view prefix = {})
{
    std::string path = Environment().Path(name);
    WriteFile(path, data, size, prefix);
    return path;
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

/// Stores the console type (and the path mode, unless it is negative) in the run's settings and
/// loads them again, when they change. Gives whether they changed.
inline bool UseConsole(int type, int pathMode = -1)
{
    static int currentType = -1;
    static int currentMode = -1;
    if (type == currentType && pathMode == currentMode) return false;
    Environment();
    CLocalMachineRegistryObject registry{CString()};
    registry.SetInt("Software\\Vok Dwen Cantle\\Main", "CantleConsoleType", type);
    if (pathMode >= 0) registry.SetInt("SOFTWARE\\Vok Dwen Cantle\\Main", "Max Paths Mode", pathMode);
    CConsoleRegistryNames::ResetConsoleSettingsForTesting();
    currentType = type;
    currentMode = pathMode;
    return true;
}

}  // namespace fuzzfiles
