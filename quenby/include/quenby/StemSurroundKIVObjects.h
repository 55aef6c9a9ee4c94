// Client objects that carry fixed control records to the server: stem contents, the stem mixer,
// the stem monitor, the K7X surround unit, the surround template stack and the Luskar I/O unit.
// The records are copied into their blocks as they stand; their fields are the server's.
#pragma once

#include <cstdint>

#include "quenby/GenericKIVObject.h"
#include "winport/CString.h"

struct _StructStemMixerControl {
    BYTE bytes[4100];
};
struct _StructStemMonControl {
    BYTE bytes[6164];
};
struct _StructSurroundK7XControl {
    BYTE bytes[1676];
};
struct _StructLuskarControl {
    BYTE bytes[10512];
};
static_assert(sizeof(_StructStemMixerControl) == 4100);
static_assert(sizeof(_StructStemMonControl) == 6164);
static_assert(sizeof(_StructSurroundK7XControl) == 1676);
static_assert(sizeof(_StructLuskarControl) == 10512);

class CStemContentsKIVObject : public CGenericKIVObject {
public:
    static constexpr int kContentsSize = 384;

    explicit CStemContentsKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "StemContentsKIV"; }

    /// Attach (145), read at once.
    void StemAttach();
    /// (146, 404 bytes) the contents at 16, the value at 400.
    void ApplyStemContents();

protected:
    BYTE m_abyStemContents[kContentsSize] = {};
    int32_t m_nStemValue = 0;
};

class CStemMixerKivObject : public CGenericKIVObject {
public:
    explicit CStemMixerKivObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    ~CStemMixerKivObject() override = default;
    CString GetName() override { return "StemMixer"; }

    /// Attach (304), read at once.
    void StemMixerAttach();
    /// (306) a bare block.
    void StemMixerGetData();
    /// (305) the record at 16.
    void StemMixerSetData(_StructStemMixerControl& data);
};

class CStemMonKivObject : public CGenericKIVObject {
public:
    explicit CStemMonKivObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    ~CStemMonKivObject() override = default;
    CString GetName() override { return "StemMon"; }

    /// Attach (307), read at once.
    void StemMonAttach();
    /// (309) a bare block.
    void GetDataStemMonData();
    /// (308) the record at 16.
    void SetDataStemMonData(_StructStemMonControl& data);
};

class CSurroundK7XKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 1692;

    explicit CSurroundK7XKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    ~CSurroundK7XKIVObject() override = default;
    CString GetName() override { return "SurroundK7XKIV"; }

    /// Attach (283), read at once.
    void SurroundK7XAttach();
    /// (284) the record at 16, which carries its own kind at 16.
    void SendSurroundK7XData(_StructSurroundK7XControl data);
    /// (284) a load by name: 2 (flag nonzero) or 3 at 16, the name at 1278 (at most 401
    /// characters), b at 1680, a at 1684.
    void LoadData(CString name, int bFlag, int a, int b);
};

class CSurroundStackKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 972;
    /// The template name field at 20 runs to 39: 18 characters and a zero.
    static constexpr int kNameWidth = 39 - 20;

    explicit CSurroundStackKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "SurroundStackKIV"; }

    /// Attach (129), read at once.
    void SuStAttach();
    /// (130) no body.
    void LoadTemplate();
    /// (131) the old name at 20, the new one at 39.
    void RenameTemplate(CString& oldName, CString& newName);
    /// (132) the name at 20.
    void DeleteTemplate(CString& name);
    /// (133) the name at 20.
    void ViewTemplate(CString& name);
};

class CLuskarKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 10528;
    /// The byte that says what the block is: 0 a control record, 2 or 3 a load by name.
    static constexpr size_t kKindOffset = 10096;

    explicit CLuskarKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    ~CLuskarKIVObject() override = default;
    CString GetName() override { return "LuskarKIV"; }

    /// Attach (285), read at once.
    void LuskarAttach();
    /// (286) the record at 16, then 0 at 10096 whatever the record held there.
    void SendLuskarData(_StructLuskarControl& data);
    /// (286) 2 (flag nonzero) or 3 at 10096, the name at 10114 (at most 401 characters), b at
    /// 10516, a at 10520.
    void LoadLuskarData(CString name, int bFlag, int a, int b);
};
