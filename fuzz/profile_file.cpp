// The profile-file reader: any file content gives section and key lists, values and numbers
// within the caller's buffers, and a rewrite that reads back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzFiles.h"
#include "winport/Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A bare file name lives in the Windows folder below the run's data root.
    fuzzfiles::InputFile("data/c/WINDOWS/fuzz.ini", data, size);
    char sections[512];
    DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", sections, sizeof sections, "fuzz.ini");
    if (n >= sizeof sections) std::abort();
    for (const char* s = sections; *s && s < sections + n; s += std::strlen(s) + 1) {
        char keys[256];
        DWORD k = GetPrivateProfileStringA(s, nullptr, "", keys, sizeof keys, "fuzz.ini");
        if (k >= sizeof keys) std::abort();
        for (const char* key = keys; *key && key < keys + k; key += std::strlen(key) + 1) {
            char value[16];
            if (GetPrivateProfileStringA(s, key, "d", value, sizeof value, "fuzz.ini") >= sizeof value) std::abort();
            (void)GetPrivateProfileIntA(s, key, -1, "fuzz.ini");
        }
    }
    if (WritePrivateProfileStringA("Settings", "Console Type", "1", "fuzz.ini") &&
        GetPrivateProfileIntA("Settings", "Console Type", 0, "fuzz.ini") != 1)
        std::abort();
    return 0;
}
