// Filing paths as they come from the server or the operator: any text must parse to defined
// fields, and every part must be a piece of the text it came from.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "quenby/FilingPath.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The text up to its first zero, as a C string would be.
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.c_str();
    CFilingPath path{CString(text.c_str())};
    CStringArray folders;
    int n = path.SplitDirectory(folders);
    if (n != folders.GetSize()) std::abort();
    for (INT_PTR i = 0; i < folders.GetSize(); ++i) {
        if (folders[i].IsEmpty() || folders[i].Find('\\') >= 0) std::abort();
    }
    // The splitter's parts are cut at 255 bytes.
    const CString* parts[] = {&path.GetDrive(), &path.GetDirectory(), &path.GetFileName(), &path.GetExtension()};
    for (const CString* part : parts) {
        if (part->GetLength() > 255) std::abort();
    }
    for (int level = 0; level <= 5; ++level) {
        CString name = path.GetPassLevel(level);
        if (name.Find('\\') >= 0) std::abort();
        if (!path.IsValid() && !name.IsEmpty()) std::abort();
    }
    CString ext = path.GetExtensionWithoutDot();
    CString joined = path.GetDriveAndDirectory();
    (void)ext;
    (void)joined;
    if (path.GetFullPath() != CString(text.c_str())) std::abort();
    return 0;
}
