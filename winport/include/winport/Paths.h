// Windows paths of the system ("c:\cantle\...", the Windows directory) and the folders this
// layer keeps its state in. Drive letters map below the data root (WINPORT_DATA_ROOT).
#pragma once

#include <string>

#include "winport/CString.h"

namespace winport {

/// The data root: WINPORT_DATA_ROOT, else $XDG_DATA_HOME/vokdwen, else ~/.local/share/vokdwen.
std::string DataRoot();
/// The runtime folder for sockets and locks: $XDG_RUNTIME_DIR/vokdwen (or /tmp/vokdwen-<uid>).
std::string RuntimeDir();
/// The configuration folder: $XDG_CONFIG_HOME/vokdwen (or ~/.config/vokdwen).
std::string ConfigDir();

/// Maps a Windows path to a host path: "X:\a\b" becomes <root>/x/a/b; backslashes become '/';
/// a relative path stays relative; a POSIX absolute path is kept. Existing folders and files
/// are found case-insensitively; a component that does not exist keeps its case.
std::string HostPath(const char* windowsPath);
/// Creates every folder of a path's parent (no error when they exist).
bool EnsureParentDir(const std::string& hostPath);
/// Why no file can be written in a folder (the folder is created when it is missing, and a
/// file is made in it and removed again); empty when one can.
std::string FolderWriteError(const std::string& folder);

}  // namespace winport

/// The Windows directory: "C:\WINDOWS" (below the data root on this machine).
UINT GetWindowsDirectoryA(char* buffer, UINT size);
UINT GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();
BOOL DeleteFileA(const char* path);
/// Creates the last folder of a path (not its parents). FALSE with ERROR_ALREADY_EXISTS when
/// something of that name exists, ERROR_PATH_NOT_FOUND when its parent is missing.
BOOL CreateDirectoryA(const char* path, void* securityAttributes);
/// INVALID_FILE_ATTRIBUTES (0xFFFFFFFF) when the path does not exist.
DWORD GetFileAttributesA(const char* path);
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define FILE_ATTRIBUTE_READONLY 0x1
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_NORMAL 0x80

#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256
/// Splits a path into drive ("C:"), folder (with its last separator), file name and extension
/// (from the last '.' of the name); '\\' and '/' both separate. Any output may be null; each is
/// cut to its _MAX_ size.
void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);
