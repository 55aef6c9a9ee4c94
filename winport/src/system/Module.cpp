#include "winport/Module.h"

#include <dlfcn.h>

#include <cstring>
#include <string>

#include "winport/CString.h"
#include "winport/Registry.h"

namespace {

struct BuiltinExport {
    const char* name;
    FARPROC proc;
};

struct BuiltinModule {
    const char* name;
    const BuiltinExport* exports;
};

const BuiltinExport kShlwapiExports[] = {
    {"SHDeleteKeyA", reinterpret_cast<FARPROC>(&SHDeleteKeyA)},
    {nullptr, nullptr},
};

const BuiltinModule kBuiltins[] = {
    {"shlwapi.dll", kShlwapiExports},
    {"shlwapi", kShlwapiExports},
};

const BuiltinModule* builtin(HMODULE h)
{
    for (const auto& m : kBuiltins) {
        if (reinterpret_cast<const void*>(&m) == static_cast<const void*>(h)) return &m;
    }
    return nullptr;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR name)
{
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    for (const auto& m : kBuiltins) {
        if (WinportCompareNoCase(m.name, name) == 0)
            return reinterpret_cast<HMODULE>(const_cast<BuiltinModule*>(&m));
    }
    void* h = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        std::string s(name);
        size_t slash = s.find_last_of("/\\");
        std::string base = slash == std::string::npos ? s : s.substr(slash + 1);
        if (base.size() > 4 && WinportCompareNoCase(base.c_str() + base.size() - 4, ".dll") == 0) {
            std::string so = "lib" + base.substr(0, base.size() - 4) + ".so";
            h = ::dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL);
        }
    }
    if (!h) SetLastError(126);  // ERROR_MOD_NOT_FOUND
    return static_cast<HMODULE>(h);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName)
{
    if (!module || !procName) return nullptr;
    if (const BuiltinModule* m = builtin(module)) {
        for (const BuiltinExport* e = m->exports; e->name; ++e) {
            if (std::strcmp(e->name, procName) == 0) return e->proc;
        }
        SetLastError(127);  // ERROR_PROC_NOT_FOUND
        return nullptr;
    }
    void* p = ::dlsym(module, procName);
    if (!p) SetLastError(127);
    return reinterpret_cast<FARPROC>(p);
}

BOOL FreeLibrary(HMODULE module)
{
    if (!module) return FALSE;
    if (builtin(module)) return TRUE;
    return ::dlclose(module) == 0 ? TRUE : FALSE;
}
