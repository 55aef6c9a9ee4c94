#include "trevanny/ChannelFlagArrays.h"

CCtrlFlagArray::~CCtrlFlagArray() = default;
CSmallCtrlFlagArray::~CSmallCtrlFlagArray() = default;
CRteFlagArray::~CRteFlagArray() = default;
CSmallRteFlagArray::~CSmallRteFlagArray() = default;
CPackageCtrlFlagArray::~CPackageCtrlFlagArray() = default;
CPackageSmallCtrlFlagArray::~CPackageSmallCtrlFlagArray() = default;
CPackageRteFlagArray::~CPackageRteFlagArray() = default;
CPackageSmallRteFlagArray::~CPackageSmallRteFlagArray() = default;

BOOL LoadCtrlFlagStream(const CString& path, const CString& stream, CCtrlFlagArray& a) { return LoadFlagRecordStream(path, stream, a); }
BOOL SaveCtrlFlagStream(const CString& path, const CString& stream, const CCtrlFlagArray& a)
{
    return SaveArrayStream(path, stream, a);
}
BOOL LoadSmallCtrlFlagStream(const CString& path, const CString& stream, CSmallCtrlFlagArray& a)
{
    return LoadFlagRecordStream(path, stream, a);
}
BOOL SaveSmallCtrlFlagStream(const CString& path, const CString& stream, const CSmallCtrlFlagArray& a)
{
    return SaveArrayStream(path, stream, a);
}
BOOL LoadRteFlagStream(const CString& path, const CString& stream, CRteFlagArray& a) { return LoadFlagRecordStream(path, stream, a); }
BOOL SaveRteFlagStream(const CString& path, const CString& stream, const CRteFlagArray& a)
{
    return SaveArrayStream(path, stream, a);
}
BOOL LoadSmallRteFlagStream(const CString& path, const CString& stream, CSmallRteFlagArray& a)
{
    return LoadFlagRecordStream(path, stream, a);
}
BOOL SaveSmallRteFlagStream(const CString& path, const CString& stream, const CSmallRteFlagArray& a)
{
    return SaveArrayStream(path, stream, a);
}
BOOL LoadOldCtrlFlagStream(const CString& path, const CString& stream, COldCtrlFlagArray& a)
{
    return LoadFlagRecordStream(path, stream, a);
}
