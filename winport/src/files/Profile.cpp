// Profile files: a line-keeping INI reader and writer. Lines that are neither section headers
// nor "key=value" entries (comments, blank lines) stay where they are when a file is rewritten.
#include "winport/Profile.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "winport/Paths.h"
#include "winport/ReplacementFile.h"

namespace {

std::mutex& profileMutex()
{
    static auto* m = new std::mutex;
    return *m;
}

std::string trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

bool sameName(const std::string& a, const char* b) { return WinportCompareNoCase(a.c_str(), b) == 0; }

/// One profile file as lines (without line ends).
struct IniFile {
    std::vector<std::string> lines;
    bool crlf = false;

    void load(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        bool first = true;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
                if (first) crlf = true;
            }
            first = false;
            lines.push_back(line);
        }
    }

    /// The section's name when the line is a header "[name]".
    static bool header(const std::string& line, std::string& name)
    {
        std::string t = trim(line);
        if (t.size() < 2 || t[0] != '[') return false;
        size_t close = t.find(']');
        if (close == std::string::npos) return false;
        name = trim(t.substr(1, close - 1));
        return true;
    }

    /// The key of an entry line "key=value".
    static bool entry(const std::string& line, std::string& key, std::string& value)
    {
        size_t eq = line.find('=');
        if (eq == std::string::npos) return false;
        std::string t = trim(line);
        if (!t.empty() && t[0] == ';') return false;
        key = trim(line.substr(0, eq));
        value = trim(line.substr(eq + 1));
        return true;
    }

    /// Index of the section's header line, or -1.
    long findSection(const char* section) const
    {
        std::string name;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (header(lines[i], name) && sameName(name, section)) return static_cast<long>(i);
        }
        return -1;
    }

    /// One past the last line of the section whose header is at `head`.
    size_t sectionEnd(long head) const
    {
        std::string name;
        size_t i = static_cast<size_t>(head) + 1;
        while (i < lines.size() && !header(lines[i], name)) ++i;
        return i;
    }

    long findKey(long head, const char* key) const
    {
        std::string k, v;
        for (size_t i = static_cast<size_t>(head) + 1, end = sectionEnd(head); i < end; ++i) {
            if (entry(lines[i], k, v) && sameName(k, key)) return static_cast<long>(i);
        }
        return -1;
    }

    bool get(const char* section, const char* key, std::string& out) const
    {
        long head = findSection(section);
        if (head < 0) return false;
        long at = findKey(head, key);
        if (at < 0) return false;
        std::string k;
        entry(lines[static_cast<size_t>(at)], k, out);
        return true;
    }

    std::vector<std::string> sectionNames() const
    {
        std::vector<std::string> out;
        std::string name;
        for (const auto& l : lines) {
            if (header(l, name)) out.push_back(name);
        }
        return out;
    }

    std::vector<std::string> keyNames(const char* section) const
    {
        std::vector<std::string> out;
        long head = findSection(section);
        if (head < 0) return out;
        std::string k, v;
        for (size_t i = static_cast<size_t>(head) + 1, end = sectionEnd(head); i < end; ++i) {
            if (entry(lines[i], k, v)) out.push_back(k);
        }
        return out;
    }

    void set(const char* section, const char* key, const char* value)
    {
        long head = findSection(section);
        if (!key) {  // delete the section
            if (head >= 0) lines.erase(lines.begin() + head, lines.begin() + static_cast<long>(sectionEnd(head)));
            return;
        }
        if (head < 0) {
            if (!value) return;
            if (!lines.empty() && !trim(lines.back()).empty()) lines.emplace_back();
            lines.push_back(std::string("[") + section + "]");
            lines.push_back(std::string(key) + "=" + value);
            return;
        }
        long at = findKey(head, key);
        if (!value) {
            if (at >= 0) lines.erase(lines.begin() + at);
            return;
        }
        if (at >= 0) {
            std::string k, v;
            entry(lines[static_cast<size_t>(at)], k, v);
            lines[static_cast<size_t>(at)] = k + "=" + value;
            return;
        }
        // After the section's last non-blank line.
        size_t end = sectionEnd(head);
        while (end > static_cast<size_t>(head) + 1 && trim(lines[end - 1]).empty()) --end;
        lines.insert(lines.begin() + static_cast<long>(end), std::string(key) + "=" + value);
    }

    bool save(const std::string& path) const
    {
        if (!winport::EnsureParentDir(path)) return false;
        const char* eol = crlf ? "\r\n" : "\n";
        // Lines are written whole, zero bytes included, so that a rewrite keeps every byte.
        std::string text;
        for (const auto& l : lines) {
            text += l;
            text += eol;
        }
        return winport::ReplaceFileWith(path, text.data(), text.size());
    }
};

/// Copies a value into the caller's buffer; returns the characters copied.
DWORD copyValue(const std::string& value, LPSTR out, DWORD size)
{
    if (!out || size == 0) return 0;
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(out, value.data(), n);
    out[n] = 0;
    return static_cast<DWORD>(n);
}

/// Copies names as a list of zero-terminated strings ending with an extra zero.
DWORD copyList(const std::vector<std::string>& names, LPSTR out, DWORD size)
{
    if (!out || size == 0) return 0;
    if (size == 1) {
        out[0] = 0;
        return 0;
    }
    size_t pos = 0;
    for (const auto& n : names) {
        if (pos + n.size() + 1 > size - 1) {
            // Cut: as much of this name as fits, then the two terminators.
            size_t room = pos + 2 <= size ? size - 2 - pos : 0;
            std::memcpy(out + pos, n.data(), room);
            out[size - 2] = 0;
            out[size - 1] = 0;
            return size - 2;
        }
        std::memcpy(out + pos, n.c_str(), n.size() + 1);
        pos += n.size() + 1;
    }
    out[pos] = 0;
    return static_cast<DWORD>(pos);
}

std::string& applicationProfileName()
{
    static auto* name = new std::string;
    return *name;
}

std::string executableBaseName()
{
    char path[4096] = {};
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    std::string s = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string("program");
    s = s.substr(s.find_last_of('/') + 1);
    size_t dot = s.find_last_of('.');
    if (dot != std::string::npos && dot > 0) s.erase(dot);
    return s;
}

}  // namespace

namespace winport {

std::string ProfileDir()
{
    if (const char* v = std::getenv("WINPORT_PROFILE_DIR"); v && *v) return v;
    return HostPath("C:\\WINDOWS");
}

std::string ProfilePath(const char* fileName)
{
    std::string name = fileName ? fileName : "";
    if (name.find_first_of("\\/:") != std::string::npos) return HostPath(name.c_str());
    std::string dir = ProfileDir();
    // An existing file is found whatever the case of its name.
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (WinportCompareNoCase(e->d_name, name.c_str()) == 0) {
                name = e->d_name;
                break;
            }
        }
        ::closedir(d);
    }
    return dir + "/" + name;
}

void SetProfileName(const char* fileName)
{
    std::lock_guard<std::mutex> lock(profileMutex());
    applicationProfileName() = fileName ? fileName : "";
}

CString GetProfileName()
{
    std::lock_guard<std::mutex> lock(profileMutex());
    if (applicationProfileName().empty()) applicationProfileName() = executableBaseName() + ".ini";
    return CString(applicationProfileName());
}

UINT GetProfileInt(const char* section, const char* entry, int nDefault)
{
    return GetPrivateProfileIntA(section, entry, nDefault, GetProfileName());
}

BOOL WriteProfileInt(const char* section, const char* entry, int nValue)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", nValue);
    return WritePrivateProfileStringA(section, entry, text, GetProfileName());
}

CString GetProfileString(const char* section, const char* entry, const char* lpszDefault)
{
    std::string path = ProfilePath(GetProfileName());
    std::lock_guard<std::mutex> lock(profileMutex());
    IniFile ini;
    ini.load(path);
    std::string value;
    if (section && entry && ini.get(section, entry, value)) return CString(value);
    return CString(lpszDefault ? lpszDefault : "");
}

BOOL WriteProfileString(const char* section, const char* entry, const char* lpszValue)
{
    return WritePrivateProfileStringA(section, entry, lpszValue, GetProfileName());
}

}  // namespace winport

DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                               DWORD nSize, LPCSTR lpFileName)
{
    std::string path = winport::ProfilePath(lpFileName);
    std::lock_guard<std::mutex> lock(profileMutex());
    IniFile ini;
    ini.load(path);
    if (!lpAppName) return copyList(ini.sectionNames(), lpReturnedString, nSize);
    if (!lpKeyName) return copyList(ini.keyNames(lpAppName), lpReturnedString, nSize);
    std::string value;
    if (!ini.get(lpAppName, lpKeyName, value)) value = lpDefault ? lpDefault : "";
    return copyValue(value, lpReturnedString, nSize);
}

UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName)
{
    if (!lpAppName || !lpKeyName) return static_cast<UINT>(nDefault);
    std::string path = winport::ProfilePath(lpFileName);
    std::string value;
    {
        std::lock_guard<std::mutex> lock(profileMutex());
        IniFile ini;
        ini.load(path);
        if (!ini.get(lpAppName, lpKeyName, value)) return static_cast<UINT>(nDefault);
    }
    const char* p = value.c_str();
    bool negative = false;
    if (*p == '-' || *p == '+') negative = *p++ == '-';
    uint32_t v = 0;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        for (p += 2; std::isxdigit(static_cast<unsigned char>(*p)); ++p)
            v = v * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(*p)) ? *p - '0' : (*p | 0x20) - 'a' + 10);
    } else {
        for (; *p >= '0' && *p <= '9'; ++p) v = v * 10 + static_cast<uint32_t>(*p - '0');
    }
    return negative ? 0u - v : v;
}

BOOL WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName)
{
    if (!lpAppName || !lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string path = winport::ProfilePath(lpFileName);
    std::lock_guard<std::mutex> lock(profileMutex());
    IniFile ini;
    ini.load(path);
    ini.set(lpAppName, lpKeyName, lpString);
    if (!ini.save(path)) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}
