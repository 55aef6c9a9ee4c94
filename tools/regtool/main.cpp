// regtool: reads and writes the registry store from the command line, as a person or a test
// would from a second process.
//
//   regtool get    HKLM|HKCU KEY NAME                 prints the value ("sz:", "dword:", "hex:")
//   regtool set    HKLM|HKCU KEY NAME sz|dword|hex VALUE
//   regtool delete HKLM|HKCU KEY [NAME]               a value, or the key with all below it
//   regtool wait   HKLM|HKCU KEY NAME                 returns when the value changes
//   regtool export HKLM|HKCU KEY FILE                 appends the branch to a REGEDIT4 file
//
// The exit code is 0 on success, 1 on failure (with a message on standard error that names the
// store's file when the store itself cannot be used), 2 on a wrong command line.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "winport/Registry.h"
#include "winport/RegistryObject.h"

namespace {

const char* errorText(LONG code)
{
    switch (code) {
    case ERROR_BADDB: return "damaged, or not a registry database";
    case ERROR_CANTOPEN: return "cannot be opened";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_DISK_FULL: return "disk full";
    case ERROR_FILE_NOT_FOUND: return "not found";
    default: return "failed";
    }
}

/// A failed command: when the root's store itself is unusable, names its file and the error;
/// otherwise says what failed.
int failure(CGenericRegistryObject& reg, const char* what, LONG code = ERROR_SUCCESS)
{
    const bool localMachine = dynamic_cast<CLocalMachineRegistryObject*>(&reg) != nullptr;
    HKEY h = nullptr;
    const LONG store = RegOpenKeyExA(reg.GetRootKey(), "", 0, KEY_READ, &h);
    if (store == ERROR_SUCCESS) RegCloseKey(h);
    if (store != ERROR_SUCCESS) {
        std::fprintf(stderr, "regtool: %s/%s.db: %s (error %ld)\n", winport::RegistryDir().c_str(),
                     localMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER", errorText(store), static_cast<long>(store));
    } else {
        std::fprintf(stderr, "regtool: %s: %s\n", what, code == ERROR_SUCCESS ? "failed" : errorText(code));
    }
    return 1;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: regtool get|set|delete|wait|export HKLM|HKCU KEY [NAME [TYPE VALUE] | FILE]\n");
    return 2;
}

std::unique_ptr<CGenericRegistryObject> rootObject(const std::string& root)
{
    if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE") return std::make_unique<CLocalMachineRegistryObject>();
    if (root == "HKCU" || root == "HKEY_CURRENT_USER") return std::make_unique<CCurrentUserRegistryObject>();
    return nullptr;
}

bool parseHex(const std::string& text, std::vector<BYTE>& out)
{
    std::string digits;
    for (char c : text) {
        if (c == ',' || c == ' ') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits += c;
    }
    if (digits.size() % 2) return false;
    for (size_t i = 0; i < digits.size(); i += 2) out.push_back(static_cast<BYTE>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) return usage();
    std::string cmd = argv[1];
    auto reg = rootObject(argv[2]);
    if (!reg) return usage();
    CString key = argv[3];
    bool isLocalMachine = dynamic_cast<CLocalMachineRegistryObject*>(reg.get()) != nullptr;

    if (cmd == "get" && argc == 5) {
        HKEY h = nullptr;
        if (LONG r = RegOpenKeyExA(reg->GetRootKey(), key, 0, KEY_READ, &h); r != ERROR_SUCCESS) return failure(*reg, "the key", r);
        DWORD type = 0, size = 0;
        LONG r = RegQueryValueExA(h, argv[4], nullptr, &type, nullptr, &size);
        std::vector<BYTE> data(size + 1, 0);
        if (r == ERROR_SUCCESS) r = RegQueryValueExA(h, argv[4], nullptr, &type, data.data(), &size);
        RegCloseKey(h);
        if (r != ERROR_SUCCESS) return failure(*reg, "the value", r);
        if (type == REG_SZ) {
            std::printf("sz:%s\n", reinterpret_cast<const char*>(data.data()));
        } else if (type == REG_DWORD && size == 4) {
            DWORD v = 0;
            std::memcpy(&v, data.data(), 4);
            std::printf("dword:%u\n", v);
        } else {
            std::printf("hex(%u):", type);
            for (DWORD i = 0; i < size; ++i) std::printf("%s%02x", i ? "," : "", data[i]);
            std::printf("\n");
        }
        return 0;
    }
    if (cmd == "set" && argc == 7) {
        std::string type = argv[5];
        BOOL ok = FALSE;
        if (type == "sz") {
            ok = reg->SetString(key, argv[4], argv[6]);
        } else if (type == "dword") {
            ok = reg->SetDword(key, argv[4], static_cast<DWORD>(std::strtoul(argv[6], nullptr, 0)));
        } else if (type == "hex") {
            std::vector<BYTE> bytes;
            if (!parseHex(argv[6], bytes)) return usage();
            ok = reg->SetBinary(key, argv[4], bytes.data(), static_cast<DWORD>(bytes.size()));
        } else {
            return usage();
        }
        return ok ? 0 : failure(*reg, "writing the value");
    }
    if (cmd == "delete" && (argc == 4 || argc == 5)) {
        return (argc == 5 ? reg->DeleteValue(key, argv[4]) : reg->DeleteKeyTree(key)) ? 0 : failure(*reg, "deleting");
    }
    if (cmd == "wait" && argc == 5) {
        std::printf("waiting\n");
        std::fflush(stdout);
        if (!reg->WaitForValueChange(key, argv[4])) return failure(*reg, "waiting");
        std::printf("changed\n");
        return 0;
    }
    if (cmd == "export" && argc == 5) {
        BOOL ok = isLocalMachine ? reg->ExportLocalMachineKey(argv[4], key, "a") : reg->ExportCurrentUserKey(argv[4], key, "a");
        return ok ? 0 : failure(*reg, "exporting");
    }
    return usage();
}
