// regtool: reads and writes the registry store from the command line, as a person or a test
// would from a second process.
//
//   regtool get    HKLM|HKCU KEY NAME                 prints the value ("sz:", "dword:", "hex:")
//   regtool set    HKLM|HKCU KEY NAME sz|dword|hex VALUE
//   regtool delete HKLM|HKCU KEY [NAME]               a value, or the key with all below it
//   regtool wait   HKLM|HKCU KEY NAME                 returns when the value changes
//   regtool export HKLM|HKCU KEY FILE                 appends the branch to a REGEDIT4 file
//
// The exit code is 0 on success, 2 on a wrong command line (a value that is not of its type
// is refused before anything is stored), 1 on a failure, with a message on standard error that
// names the key, value or file, or the store's file when the store itself cannot be used.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "toolcli/CommandLine.h"
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

struct Root {
    std::unique_ptr<CGenericRegistryObject> object;
    std::string name;  // HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER
};

/// A failed command: when the root's store itself is unusable, names its file and the error;
/// otherwise names what failed.
int failure(const Root& root, const std::string& what, LONG code = ERROR_SUCCESS)
{
    HKEY h = nullptr;
    const LONG store = RegOpenKeyExA(root.object->GetRootKey(), "", 0, KEY_READ, &h);
    if (store == ERROR_SUCCESS) RegCloseKey(h);
    if (store != ERROR_SUCCESS) {
        std::fprintf(stderr, "regtool: %s/%s.db: %s (error %ld)\n", winport::RegistryDir().c_str(), root.name.c_str(),
                     errorText(store), static_cast<long>(store));
    } else {
        std::fprintf(stderr, "regtool: %s: %s\n", what.c_str(), code == ERROR_SUCCESS ? "failed" : errorText(code));
    }
    return toolcli::kFailure;
}

CLI::Validator rootName()
{
    return CLI::Validator(
        [](std::string& text) -> std::string {
            for (const char* name : {"HKLM", "HKCU", "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"}) {
                if (text == name) return {};
            }
            return text + " is not a root (HKLM, HKCU, HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER)";
        },
        "HKLM|HKCU", "root");
}

Root openRoot(const std::string& name)
{
    if (name == "HKLM" || name == "HKEY_LOCAL_MACHINE") return {std::make_unique<CLocalMachineRegistryObject>(), "HKEY_LOCAL_MACHINE"};
    return {std::make_unique<CCurrentUserRegistryObject>(), "HKEY_CURRENT_USER"};
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
    CLI::App app("Reads and writes the registry store (WINPORT_REGISTRY_DIR).", "regtool");
    // One command; a word that is none is named as unexpected.
    app.require_subcommand(0, 1);
    app.callback([&] {
        if (app.get_subcommands().empty()) throw CLI::RequiredError("A command (get, set, delete, wait or export)");
    });
    std::string rootText, key, name, type, value, file;
    bool hasName = false;
    // The root and the key, which every command takes first.
    auto rootAndKey = [&](CLI::App* command) {
        command->add_option("ROOT", rootText, "the root")->required()->check(rootName());
        command->add_option("KEY", key, "the key's path, parts separated by backslashes")->required();
    };
    CLI::App* get = app.add_subcommand("get", "prints a value: sz:TEXT, dword:NUMBER or hex(TYPE):BYTES");
    rootAndKey(get);
    get->add_option("NAME", name, "the value's name")->required();
    CLI::App* set = app.add_subcommand("set", "stores a value (the key is made when it is not there)");
    rootAndKey(set);
    set->add_option("NAME", name, "the value's name")->required();
    set->add_option("TYPE", type, "sz (text), dword (0 to 4294967295, decimal or 0x hex) or hex (bytes, e.g. 01,ff)")
        ->required()
        ->check(CLI::IsMember({"sz", "dword", "hex"}));
    set->add_option("VALUE", value, "the value, of its type")->required();
    CLI::App* remove = app.add_subcommand("delete", "deletes a value, or the key with everything below it");
    rootAndKey(remove);
    remove->add_option("NAME", name, "the value's name (none: the key)");
    CLI::App* wait = app.add_subcommand("wait", "prints \"waiting\", then \"changed\" once the value changes");
    rootAndKey(wait);
    wait->add_option("NAME", name, "the value's name")->required();
    CLI::App* exportCommand = app.add_subcommand("export", "appends the key's branch to a REGEDIT4 file");
    rootAndKey(exportCommand);
    exportCommand->add_option("FILE", file, "the file")->required();
    app.footer("Usage of each command (regtool COMMAND --help for more):\n"
               "  regtool get    HKLM|HKCU KEY NAME\n"
               "  regtool set    HKLM|HKCU KEY NAME sz|dword|hex VALUE\n"
               "  regtool delete HKLM|HKCU KEY [NAME]\n"
               "  regtool wait   HKLM|HKCU KEY NAME\n"
               "  regtool export HKLM|HKCU KEY FILE");

    // A value is checked against its type before anything is stored.
    DWORD dword = 0;
    std::vector<BYTE> bytes;
    set->callback([&] {
        long long v = 0;
        if (type == "dword" && !toolcli::ParseNumber(value, 0, 0xFFFFFFFFLL, v)) {
            throw CLI::ValidationError("VALUE", value + " is not a dword (a whole number from 0 to 4294967295)");
        }
        dword = static_cast<DWORD>(v);
        if (type == "hex" && !parseHex(value, bytes)) {
            throw CLI::ValidationError("VALUE", value + " is not hex bytes (pairs of hex digits, e.g. 01,ff)");
        }
    });
    if (std::optional<int> exit = toolcli::Parse(app, argc, argv)) return *exit;
    hasName = remove->count("NAME") > 0;

    const Root root = openRoot(rootText);
    CGenericRegistryObject& reg = *root.object;
    const std::string keyPath = root.name + "\\" + key;
    const std::string valuePath = keyPath + ", value \"" + name + "\"";

    if (*get) {
        HKEY h = nullptr;
        if (LONG r = RegOpenKeyExA(reg.GetRootKey(), key.c_str(), 0, KEY_READ, &h); r != ERROR_SUCCESS) return failure(root, keyPath, r);
        DWORD valueType = 0, size = 0;
        LONG r = RegQueryValueExA(h, name.c_str(), nullptr, &valueType, nullptr, &size);
        std::vector<BYTE> data(size + 1, 0);
        if (r == ERROR_SUCCESS) r = RegQueryValueExA(h, name.c_str(), nullptr, &valueType, data.data(), &size);
        RegCloseKey(h);
        if (r != ERROR_SUCCESS) return failure(root, valuePath, r);
        if (valueType == REG_SZ) {
            std::printf("sz:%s\n", reinterpret_cast<const char*>(data.data()));
        } else if (valueType == REG_DWORD && size == 4) {
            DWORD v = 0;
            std::memcpy(&v, data.data(), 4);
            std::printf("dword:%u\n", v);
        } else {
            std::printf("hex(%u):", valueType);
            for (DWORD i = 0; i < size; ++i) std::printf("%s%02x", i ? "," : "", data[i]);
            std::printf("\n");
        }
        return 0;
    }
    if (*set) {
        BOOL ok = FALSE;
        if (type == "sz") ok = reg.SetString(key.c_str(), name.c_str(), value.c_str());
        else if (type == "dword") ok = reg.SetDword(key.c_str(), name.c_str(), dword);
        else ok = reg.SetBinary(key.c_str(), name.c_str(), bytes.data(), static_cast<DWORD>(bytes.size()));
        return ok ? 0 : failure(root, "writing " + valuePath);
    }
    if (*remove) {
        const BOOL ok = hasName ? reg.DeleteValue(key.c_str(), name.c_str()) : reg.DeleteKeyTree(key.c_str());
        return ok ? 0 : failure(root, "deleting " + (hasName ? valuePath : keyPath));
    }
    if (*wait) {
        std::printf("waiting\n");
        std::fflush(stdout);
        if (!reg.WaitForValueChange(key.c_str(), name.c_str())) return failure(root, "waiting for " + valuePath);
        std::printf("changed\n");
        return 0;
    }
    // export: only a key that is there, from a store that can be read; nothing is written otherwise.
    HKEY h = nullptr;
    if (LONG r = RegOpenKeyExA(reg.GetRootKey(), key.c_str(), 0, KEY_READ, &h); r != ERROR_SUCCESS) return failure(root, keyPath, r);
    RegCloseKey(h);
    const BOOL ok = root.name == "HKEY_LOCAL_MACHINE" ? reg.ExportLocalMachineKey(file.c_str(), key.c_str(), "a")
                                                     : reg.ExportCurrentUserKey(file.c_str(), key.c_str(), "a");
    if (!ok) {
        std::fprintf(stderr, "regtool: %s: cannot be written\n", file.c_str());
        return toolcli::kFailure;
    }
    return 0;
}
