// Replacing a file whole: the new content is written to a temporary file beside the one it
// replaces, made durable, and renamed over it only when all of it was written. A save that
// fails (or is killed) leaves the previous file as it was, and readers only ever see a whole
// file, old or new.
//
// The temporary of "<folder>/<name>" is "<folder>/.<name>.<pid>-<n>.new" (pid: the writing
// process, n: counting up within it). A writer that is killed leaves its temporary; the next
// replacement of the same file removes the temporaries of writers that no longer run, and
// leaves those of running writers alone (a compound file created at a temporary is built beside
// it as ".<temporary>.XXXXXX" first: that one goes with it).
//
// Paths are host paths (winport::HostPath maps a path of the system to one). One object serves
// one thread; objects for different files, or in different processes, are independent.
#pragma once

#include <cstddef>
#include <string>

namespace winport {

class ReplacementFile {
public:
    /// Removes the stale temporaries of `path`, then makes an empty temporary beside it, with
    /// the permissions of the file it replaces (or those a new file gets). The folder must
    /// exist.
    explicit ReplacementFile(const std::string& path);
    /// Removes the temporary unless it was installed.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    /// False when no temporary could be made (the replacement then cannot happen).
    bool Made() const { return !m_temp.empty(); }
    /// The temporary file, to be written by the caller (closed again before Install).
    const std::string& TempPath() const { return m_temp; }
    /// True when a regular file of the name existed when the temporary was made.
    bool ReplacesExisting() const { return m_replaces; }
    /// Writes `size` bytes as the whole content of the temporary. False when they could not
    /// all be written.
    bool Write(const void* data, size_t size);
    /// Copies the bytes of the file being replaced into the temporary (for a save that rewrites
    /// only part of it). False when they could not all be copied.
    bool CopyExisting();
    /// Makes the temporary durable and renames it over the file, then makes the rename durable.
    /// False, with the previous file untouched, when it could not.
    bool Install();

private:
    std::string m_path;
    std::string m_temp;
    bool m_replaces = false;
};

/// Replaces the file at `path` with `size` bytes through a ReplacementFile. False, with the
/// previous file untouched, when it could not.
bool ReplaceFileWith(const std::string& path, const void* data, size_t size);

/// Removes the temporaries of `path` left by writers that no longer run.
void RemoveStaleReplacements(const std::string& path);

}  // namespace winport
