#include "trevanny/ChannelFlagArrays.h"

#include <cstring>

#include "trevanny/AutomationStreams.h"
#include "trevanny/automation/AutomationNotifications.h"

namespace {

// One reader for every record size (see the header for the rules).
template <class T, class ARG>
BOOL loadRecords(const CString& path, const CString& stream, CArray<T, ARG>& a)
{
    AutomationStorage storage;
    if (!storage.OpenForReading(path)) return FALSE;
    PostAutomationNotification(kAutomationLoadNotification, 0);
    const AutomationFileVersion version = storage.ReadFileVersion();
    AutomationBytes bytes;
    size_t count = 0;
    if (storage.ReadDataStream(stream, version, sizeof(T), bytes, count) != AutomationStorage::Read) return FALSE;
    if (count == 0) {
        // A compressed stream whose length holds no record, followed by data, stands for an
        // empty array; a stream with nothing in it changes nothing.
        BYTE head[5];
        if (version.IsCompressed() && storage.ReadStreamHead(stream, head, sizeof head) == sizeof head) a.RemoveAll();
        return TRUE;
    }
    a.SetSize(static_cast<INT_PTR>(count));
    std::memcpy(static_cast<void*>(a.GetData()), bytes.data(), count * sizeof(T));
    AutomationLoadProgress(count).All();
    return TRUE;
}

}  // namespace

CCtrlFlagArray::~CCtrlFlagArray() = default;
CSmallCtrlFlagArray::~CSmallCtrlFlagArray() = default;
CRteFlagArray::~CRteFlagArray() = default;
CSmallRteFlagArray::~CSmallRteFlagArray() = default;
CPackageCtrlFlagArray::~CPackageCtrlFlagArray() = default;
CPackageSmallCtrlFlagArray::~CPackageSmallCtrlFlagArray() = default;
CPackageRteFlagArray::~CPackageRteFlagArray() = default;
CPackageSmallRteFlagArray::~CPackageSmallRteFlagArray() = default;

BOOL LoadCtrlFlagStream(const CString& path, const CString& stream, CCtrlFlagArray& a) { return loadRecords(path, stream, a); }
BOOL SaveCtrlFlagStream(const CString& path, const CString& stream, const CCtrlFlagArray& a)
{
    return SaveArrayStream(path, stream, a);
}
BOOL LoadSmallCtrlFlagStream(const CString& path, const CString& stream, CSmallCtrlFlagArray& a)
{
    return loadRecords(path, stream, a);
}
BOOL SaveSmallCtrlFlagStream(const CString& path, const CString& stream, const CSmallCtrlFlagArray& a)
{
    return SaveArrayStream(path, stream, a);
}
BOOL LoadRteFlagStream(const CString& path, const CString& stream, CRteFlagArray& a) { return loadRecords(path, stream, a); }
BOOL SaveRteFlagStream(const CString& path, const CString& stream, const CRteFlagArray& a)
{
    return SaveArrayStream(path, stream, a);
}
BOOL LoadSmallRteFlagStream(const CString& path, const CString& stream, CSmallRteFlagArray& a)
{
    return loadRecords(path, stream, a);
}
BOOL SaveSmallRteFlagStream(const CString& path, const CString& stream, const CSmallRteFlagArray& a)
{
    return SaveArrayStream(path, stream, a);
}
BOOL LoadOldCtrlFlagStream(const CString& path, const CString& stream, COldCtrlFlagArray& a)
{
    return loadRecords(path, stream, a);
}
