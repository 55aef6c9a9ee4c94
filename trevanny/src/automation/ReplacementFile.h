// A file that a save builds beside the one it replaces and moves into place only when all of it
// was written, so that a save that fails (or is killed) leaves the previous file as it was and
// readers only ever see a whole file.
#pragma once

#include <string>

#include "winport/CString.h"

class ReplacementFile {
public:
    /// Makes an empty temporary file in the folder of `path` (a path of the system, mapped below
    /// the data root), with the permissions of the file it replaces, or those a new file gets.
    explicit ReplacementFile(const CString& path);
    /// Removes the temporary file unless it was installed.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    /// False when no temporary file could be made.
    bool Made() const { return !m_temp.empty(); }
    /// The temporary file, as a host path (the storage and file classes take it as it is).
    CString TempPath() const { return CString(m_temp.c_str()); }
    /// True when a file of the name existed when the temporary was made.
    bool ReplacesExisting() const { return m_replaces; }
    /// Copies the bytes of the file being replaced into the temporary one (for a save that
    /// rewrites only part of it). False when they could not all be copied.
    bool CopyExisting();
    /// Moves the temporary file, made durable first, over the name. False when it could not.
    bool Install();

private:
    std::string m_path;
    std::string m_temp;
    bool m_replaces = false;
};
