#include "quenby/FilingPath.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "winport/Paths.h"

namespace {

constexpr char kSlashStandIn = 7;  // keeps '/' from being taken for a separator
const std::string kUsers = "users";
const std::string kPasses = "automation passes";

void restoreSlashes(CString& part)
{
    std::string s = static_cast<const char*>(part);
    std::replace(s.begin(), s.end(), kSlashStandIn, '/');
    part = CString(s);
}

// The text from `start` up to the next backslash; empty when no backslash follows.
std::string folderAt(const std::string& text, size_t start, size_t& next)
{
    next = std::string::npos;
    if (start >= text.size()) return {};
    size_t end = text.find('\\', start);
    if (end == std::string::npos) return {};
    next = end + 1;
    return text.substr(start, end - start);
}

}  // namespace

CFilingPath::CFilingPath(const CString& text)
{
    const std::string full = static_cast<const char*>(text);
    if (full.empty()) return;
    m_byValid = 1;
    m_strFullPath = text;

    std::string copy = full;
    bool slashes = copy.find('/') != std::string::npos;
    std::replace(copy.begin(), copy.end(), '/', kSlashStandIn);
    char drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
    _splitpath(copy.c_str(), drive, dir, fname, ext);
    m_strDrive = drive;
    m_strDirectory = dir;
    m_strFileName = fname;
    m_strExtension = ext;
    if (slashes) {
        restoreSlashes(m_strDirectory);
        restoreSlashes(m_strFileName);
        restoreSlashes(m_strExtension);
    }

    if (copy.size() > 2 && copy[0] == '\\' && copy[1] == '\\') {
        size_t end = full.find('\\', 2);
        m_strMachine = CString(full.substr(2, end == std::string::npos ? std::string::npos : end - 2));
    }

    std::string lower = full;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    size_t users = lower.find(kUsers);
    size_t userStart = users == std::string::npos ? 0 : users + kUsers.size() + 1;
    if (users == std::string::npos) m_byValid = 0;
    else if (userStart < full.size()) m_strUser = CString(full.substr(userStart));

    size_t passes = lower.find(kPasses);
    if (passes == std::string::npos) {
        m_byValid = 0;
        int cut = m_strUser.GetLength() > 1 ? m_strUser.Find('\\', 1) : -1;
        if (cut > 0) m_strUser = m_strUser.Left(cut);
    }
    size_t backslashes = static_cast<size_t>(std::count(full.begin(), full.end(), '\\'));
    if (backslashes < 3) m_byValid = 0;
    if (!m_byValid) return;

    // The user is the folder between "users\" and "\automation passes".
    if (userStart == 0 || passes <= userStart + 1) {
        m_byValid = 0;
        return;
    }
    m_strUser = CString(full.substr(userStart, passes - 1 - userStart));
    size_t next = 0;
    std::string level = folderAt(full, passes + kPasses.size() + 1, next);
    m_strPassLevel[0] = CString(level);
    for (int i = 1; i < 4 && backslashes > static_cast<size_t>(4 + i) && next != std::string::npos; ++i) {
        level = folderAt(full, next, next);
        m_strPassLevel[i] = CString(level);
    }
}

CString CFilingPath::GetPassLevel(int level) const
{
    return level >= 1 && level <= 4 ? m_strPassLevel[level - 1] : CString();
}

int CFilingPath::SplitDirectory(CStringArray& out) const
{
    out.RemoveAll();
    const std::string dir = static_cast<const char*>(m_strDirectory);
    size_t start = 0;
    while (start <= dir.size()) {
        size_t end = dir.find('\\', start);
        if (end == std::string::npos) end = dir.size();
        if (end > start) out.Add(CString(dir.substr(start, end - start)));
        start = end + 1;
    }
    return static_cast<int>(out.GetSize());
}

int CFilingPath::SplitExistingDirectory(CStringArray& out) const
{
    CStringArray names;
    SplitDirectory(names);
    out.RemoveAll();
    CString kept = "\\";
    for (INT_PTR i = 0; i < names.GetSize(); ++i) {
        CString candidate = kept + names[i];
        const DWORD attributes = GetFileAttributesA(candidate);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) break;
        out.Add(names[i]);
        kept = candidate + "\\";
    }
    return static_cast<int>(out.GetSize());
}

CString CFilingPath::GetExtensionWithoutDot() const
{
    return m_strExtension.IsEmpty() ? CString() : m_strExtension.Mid(1);
}
