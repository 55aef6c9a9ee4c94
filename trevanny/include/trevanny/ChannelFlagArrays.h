// The channel flag arrays of a mix pass and their stream files. For every path a mix pass keeps
// eight state flags per control and per route ("Ends", "Virgins", "Armed", "Mode",
// "TouchNotMode", "Touch", "Meta" and the link flag), one record per path, record i for path i:
//
//   class                 console types    record
//   CCtrlFlagArray        2, 3, 4, 5, 7    36 words, word p for control process p (144 bytes)
//   CRteFlagArray         2, 3, 4, 5, 7    48 words, one per route process (192 bytes)
//   CSmallCtrlFlagArray   1, 6             5 words, one per process (20 bytes)
//   CSmallRteFlagArray    1, 6             1 word (4 bytes)
// The bits of a process word belong to that process's controls.
//
// Stream files: an array is stored in the compound file's stream named by the flag name
// directly followed by "CtlData" (control flags) or "RteData" (route flags), beside "File
// Version" and "Time And Date" (AutomationStreams.h). The data stream holds the records raw,
// as they lie in memory (little-endian words). Files of version 1.1 and 1.2 hold it compressed:
// u32 uncompressed length, then zlib data.
//
// Loading (every Load below): FALSE, with the array as it was, for a file that cannot be
// opened, a missing data stream, or compressed data that is damaged or does not inflate to
// exactly its stated length. The array takes the stream's whole records (a partial record at the
// end is dropped). A raw stream without one whole record leaves the array as it was (TRUE); a
// compressed stream whose stated length holds no whole record, with compressed data after it,
// empties the array (TRUE). Progress: notification 15 with 0 when the file is open, 50 before
// raw data is read, then the percentage at every count / 30 records.
//
// Saving (every Save below): writes the data stream (replacing one of the same name), then "File
// Version" 1.4 and "Time And Date"; the file's other streams stay. FALSE when the file cannot be
// opened or created (nothing written) or the data stream cannot be written.
#pragma once

#include <cstring>

#include "trevanny/AutomationNotifications.h"
#include "trevanny/AutomationStreams.h"
#include "trevanny/TypedAutomationArrays.h"
#include "winport/WinTypes.h"

/// A flag record of WORDS 32-bit words.
template <int WORDS>
struct FlagRecord {
    DWORD words[WORDS];
};
using CtrlFlagRecord = FlagRecord<36>;
using RteFlagRecord = FlagRecord<48>;
using SmallCtrlFlagRecord = FlagRecord<5>;
/// The control flag record of older passes: processes 0 to 30.
using OldCtrlFlagRecord = FlagRecord<31>;
static_assert(sizeof(CtrlFlagRecord) == 144 && sizeof(RteFlagRecord) == 192 && sizeof(SmallCtrlFlagRecord) == 20 &&
              sizeof(OldCtrlFlagRecord) == 124);

/// The eight flags, by their index k in a mix pass.
constexpr int kChannelFlagCount = 8;
/// Control flag names, k = 0 to 7.
inline constexpr const char* kCtrlFlagNames[kChannelFlagCount] = {"Ends",         "Virgins", "Armed", "Mode",
                                                                  "TouchNotMode", "Touch",   "Meta",  "LinkControls"};
/// Route flag names, k = 0 to 7.
inline constexpr const char* kRteFlagNames[kChannelFlagCount] = {"Ends",         "Virgins", "Armed", "Mode",
                                                                 "TouchNotMode", "Touch",   "Meta",  "LinkRoutes"};
/// The word a flag takes where a pass has no stored value: "Mode" holds nine 2-bit fields of
/// value 1, the link flags are all set in their low 16 bits, the others are clear.
inline constexpr DWORD kChannelFlagDefaultWords[kChannelFlagCount] = {0, 0, 0, 0x15555, 0, 0, 0, 0xFFFF};
/// The ids under which flag k is stored in an indexed pass file (and read back by the extract
/// reader from either file kind).
inline constexpr int kCtrlFlagItemIds[kChannelFlagCount] = {2, 4, 6, 9, 15, 11, 13, 21};
inline constexpr int kRteFlagItemIds[kChannelFlagCount] = {3, 5, 7, 10, 16, 12, 14, 22};
/// Suffixes of the flag streams.
#define CTRL_FLAG_STREAM_SUFFIX "CtlData"
#define RTE_FLAG_STREAM_SUFFIX "RteData"

class CCtrlFlagArray : public CTypedAutomationArray<CtrlFlagRecord> {
public:
    CCtrlFlagArray(const CString& name, int recordSize) : CTypedAutomationArray(name, recordSize) {}
    ~CCtrlFlagArray() override;
};

class CSmallCtrlFlagArray : public CTypedAutomationArray<SmallCtrlFlagRecord> {
public:
    CSmallCtrlFlagArray(const CString& name, int recordSize) : CTypedAutomationArray(name, recordSize) {}
    ~CSmallCtrlFlagArray() override;
};

class CRteFlagArray : public CTypedAutomationArray<RteFlagRecord> {
public:
    CRteFlagArray(const CString& name, int recordSize) : CTypedAutomationArray(name, recordSize) {}
    ~CRteFlagArray() override;
};

class CSmallRteFlagArray : public CTypedAutomationArray<DWORD> {
public:
    CSmallRteFlagArray(const CString& name, int recordSize) : CTypedAutomationArray(name, recordSize) {}
    ~CSmallRteFlagArray() override;
};

// The classes a mix pass creates its flag arrays from; they add nothing.
class CPackageCtrlFlagArray : public CCtrlFlagArray {
public:
    using CCtrlFlagArray::CCtrlFlagArray;
    ~CPackageCtrlFlagArray() override;
};
class CPackageSmallCtrlFlagArray : public CSmallCtrlFlagArray {
public:
    using CSmallCtrlFlagArray::CSmallCtrlFlagArray;
    ~CPackageSmallCtrlFlagArray() override;
};
class CPackageRteFlagArray : public CRteFlagArray {
public:
    using CRteFlagArray::CRteFlagArray;
    ~CPackageRteFlagArray() override;
};
class CPackageSmallRteFlagArray : public CSmallRteFlagArray {
public:
    using CSmallRteFlagArray::CSmallRteFlagArray;
    ~CPackageSmallRteFlagArray() override;
};

/// An array of the older 124-byte control flag records.
typedef CArray<OldCtrlFlagRecord, const OldCtrlFlagRecord&> COldCtrlFlagArray;

BOOL LoadCtrlFlagStream(const CString& path, const CString& stream, CCtrlFlagArray& a);
BOOL SaveCtrlFlagStream(const CString& path, const CString& stream, const CCtrlFlagArray& a);
BOOL LoadSmallCtrlFlagStream(const CString& path, const CString& stream, CSmallCtrlFlagArray& a);
BOOL SaveSmallCtrlFlagStream(const CString& path, const CString& stream, const CSmallCtrlFlagArray& a);
BOOL LoadRteFlagStream(const CString& path, const CString& stream, CRteFlagArray& a);
BOOL SaveRteFlagStream(const CString& path, const CString& stream, const CRteFlagArray& a);
BOOL LoadSmallRteFlagStream(const CString& path, const CString& stream, CSmallRteFlagArray& a);
BOOL SaveSmallRteFlagStream(const CString& path, const CString& stream, const CSmallRteFlagArray& a);
/// The control flags of older passes (124-byte records); there is no writer of them.
BOOL LoadOldCtrlFlagStream(const CString& path, const CString& stream, COldCtrlFlagArray& a);

/// The reader behind every Load above, for records of any size (the older layouts of the
/// conversions among them).
template <class T, class ARG>
BOOL LoadFlagRecords(AutomationStorage& storage, const CString& stream, CArray<T, ARG>& a);
template <class T, class ARG>
BOOL LoadFlagRecordStream(const CString& path, const CString& stream, CArray<T, ARG>& a)
{
    AutomationStorage storage;
    if (!storage.OpenForReading(path)) return FALSE;
    return LoadFlagRecords(storage, stream, a);
}
/// The same on a file already open.
template <class T, class ARG>
BOOL LoadFlagRecords(AutomationStorage& storage, const CString& stream, CArray<T, ARG>& a)
{
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
