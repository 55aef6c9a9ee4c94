// Client objects of the server's console, preference and system objects: one class per server
// object, each with its attach and the commands it sends. Most keep no data of their own; a
// program derives from them to read the replies.
//
// Every command block is built field by field; a name longer than its field is cut to it, and an
// argument that cannot make a valid block (a missing array, a negative length) sends nothing.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>

#include "quenby/GenericKIVObject.h"
#include "winport/CString.h"
#include "winport/Collections.h"

/// Opaque argument types of the commands: the values travel as 32-bit numbers.
enum AcceptableFrameRates : int32_t {};
enum SyncSourceType : int32_t {};
enum enQJRequestCalibrationType : int32_t {};
enum enLiveLoadCommand : int32_t {};

/// The cue-box configuration record sent whole by SendCBFData.
struct _StructCBFControl {
    BYTE bytes[147812];
};
static_assert(sizeof(_StructCBFControl) == 147812);

/// The fader allocation record; FaderAllocSetData sends its bytes 0 to 43 and 48 to 59.
struct _StructFaderAllocControl {
    BYTE bytes[60];
};
static_assert(sizeof(_StructFaderAllocControl) == 60);

class CAnalogDesignKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 1716;
    /// The map's room: 32-bit words from 232 to the block's end.
    static constexpr int kMaxMapValues = (kBlockSize - 232) / 4;

    explicit CAnalogDesignKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "AnalogDesignKIVObject"; }

    /// Attach (268), read at once.
    void ADAttach();
    /// The analogue map (269): at most 371 values, from 232.
    void SendAnalogDesignCmd(const CArray<int, int>& map);
    /// A design command (277), the value at 24.
    void SendAnalogDesignCmd(int value);
    /// Reassigns filing (325): value at 1452, name at 1456 (at most 259 characters).
    void SendReassignFiling(int value, CString name);
};

class CCBFKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 147828;

    explicit CCBFKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "CBFKIV"; }

    /// Attach (296), read at once.
    void CBFAttach();
    /// The record from 16, its byte at 147816 set to 0 (command 300).
    void SendCBFData(_StructCBFControl& data);
    /// Load (300): mode byte 2 (with c at 147812) from disk, else 3; a at 147804, b at 147800,
    /// the name at 147196 (at most 603 characters), the window at 147824.
    void LoadCBFData(CString name, int fromDisk, int a, int b, HWND window, int c);
    /// Load from disk (300): mode byte 4 when flag is nonzero, else 5; the name at 147598 (at
    /// most 217 characters).
    void LoadCBFDiskData(CString name, int flag);
};

class CChannelMapKiv : public CGenericKIVObject {
public:
    explicit CChannelMapKiv(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "CChannelMapKIV"; }
    /// Attach (220), read at once.
    void CMAttach();
};

class CDeskSetupKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 292;

    explicit CDeskSetupKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "DeskSetupKIVObject"; }

    /// Attach (265), read at once.
    void DSAttach();
    /// Asks for a desk setup (267): name at 16 (at most 259 characters).
    void GetDeskSetupCmd(const CString& name);
    /// Sends a desk setup (266): name at 16, a at 280, b at 284, c at 288.
    void SendDeskSetupCmd(int a, int b, int c, const CString& name);
};

class CDeskSetupLiveLoadKivObject : public CGenericKIVObject {
public:
    explicit CDeskSetupLiveLoadKivObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "CDeskSetupLiveLoadKivObject"; }
    /// Attach (321), not read at once.
    void LiveLoadAttach();
    /// Sends nothing: the server takes live-load commands from the console itself.
    void SendLiveLoadCommand(enLiveLoadCommand) {}
};

class CDeskSizeKIVObject : public CGenericKIVObject {
public:
    explicit CDeskSizeKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "DeskSizeKIVObject"; }

    /// Attach (187), not read at once.
    void DeskSizeAttach();
    /// Asks for the desk size of a setup (188, re-attaching, read at once): name at 20 (at most
    /// 199 characters).
    void RequestDeskSize(const CString& name);
    /// The desk size the program's reply handler stored.
    int GetSize() const { return m_nDeskSize; }

protected:
    int m_nDeskSize = 0;
};

class CEngineeringReportKIVObject : public CGenericKIVObject {
public:
    explicit CEngineeringReportKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "EngineeringReportKIV"; }
    /// Attach (37), read at once: 21 + the name's length bytes, kind at 16, the name from 20.
    void ERAttach(const CString& name, int kind);
};

class CFullEngineeringReportKIVObject : public CEngineeringReportKIVObject {
public:
    explicit CFullEngineeringReportKIVObject(int enabled = 1) : CEngineeringReportKIVObject(enabled) {}
    using CEngineeringReportKIVObject::ERAttach;
    /// The full report: kind 1.
    void ERAttach(const CString& name) { CEngineeringReportKIVObject::ERAttach(name, 1); }
};

class CFaderAllocKivObject : public CGenericKIVObject {
public:
    static constexpr int kSetBlockSize = 76;

    explicit CFaderAllocKivObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "FaderAllocKiv"; }

    /// Attach (301), read at once.
    void FaderAllocAttach();
    /// Asks for the allocation (303).
    void FaderAllocGetData();
    /// The record (302): its bytes 0-11, 12-27, 28-35, 36-43 and 48-59 at 16, 28, 44, 52 and
    /// 64; 0 at 60.
    void FaderAllocSetData(_StructFaderAllocControl& data);
    /// Three values (302): 1 at 60, the values at 64. A null pointer sends nothing.
    void FaderAllocSetData(int* values);
};

class CFaderDirKivK7Object : public CGenericKIVObject {
public:
    static constexpr int kEntries = 120;

    explicit CFaderDirKivK7Object(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "FaderDirKivK7"; }

    /// Attach (270), read at once.
    void FadDirK7Attach();
    /// Asks for the directory (272).
    void FadDirK7GetData();
    /// Three arrays of 120 values at 16, 496 and 976 (271). A null array sends nothing.
    void FadDirK7SetData(int* a, int* b, int* c);
};

class CFlashUpK7XKIVObject : public CGenericKIVObject {
public:
    explicit CFlashUpK7XKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "FlashUpK7XKIV"; }
    /// Attach (278), not read at once.
    void FlashUpK7XAttach();
};

class CFrameRateKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 296;

    explicit CFrameRateKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "FrameRateKIV"; }

    /// Attach (72), read at once.
    void FRAttach();
    /// (73) window at 4, a at 16, rate at 20, b at 24, c at 28, d at 32.
    void SetFrameRate(AcceptableFrameRates rate, int a, long b, long c, int d, HWND window);
    /// (73) 1 at 36.
    void PelkMCSDebug_Enable();
};

class CFunctionKeysKIVObject : public CGenericKIVObject {
public:
    /// How long CloseConsoleMode waits after sending, on the process's clock.
    static constexpr DWORD kCloseConsoleWaitMs = 1000;

    explicit CFunctionKeysKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "FunctionKeysKIV"; }

    /// Attach (167), not read at once.
    void FKAttach();
    /// (182) a bare block.
    void RequestFunctionKey();
    /// (214) mode at 16; returns after a 1000 ms wait, so that the console has left the mode.
    void CloseConsoleMode(int mode);
    /// (251) mode at 16.
    void SetVConsoleMode(int mode);
};

class CGenericKivserverKIVObject : public CGenericKIVObject {
public:
    /// Where the track offset is kept, below this PC's HKEY_LOCAL_MACHINE.
    static constexpr char FennikKey[] = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Fennik";
    /// Sub-commands of the track offset.
    static constexpr int kClearFennikCommand = 15, kFennikOffsetCommand = 16;
    /// The offset sent while the track offset is not enabled.
    static constexpr DWORD kNoFennikOffset = 0xFFFFFFFF;

    explicit CGenericKivserverKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "GenericKivserverKIVObject"; }

    /// Attach (279), read at once.
    void ADAttach();
    /// (281) sub-command at 16, length at 20, the data from 24; 24 + length bytes. A negative
    /// length, or no data with a positive length, sends nothing.
    void SendGenericKivserverCmd(int sub, const BYTE* data, int length);
    /// (281) sub-command at 16 alone.
    void SendGenericKivserverCmd(int sub);

    /// Sub-command 15 with four zero bytes.
    void ClearFennik();
    /// Sub-command 16 with the stored offset, or 0xFFFFFFFF when it is not enabled.
    void SendFennickOffset();
    void SetFennickOffset(bool enabled, DWORD offset);
    /// Missing values read as 0.
    void GetFennickOffset(bool& enabled, DWORD& offset);
};

class CGenericKivserverFSKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 4040;

    explicit CGenericKivserverFSKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "GenericKivserverFSKIVObject"; }

    /// Attach (280), read at once.
    void ADAttach();
    /// (282) sub-command at 16, a to d at 24, 28, 32, 36.
    void SendGenericKivserverCmd(int sub, int a, int b, int c, int d);
};

class CQuarnKeysKIVObject : public CGenericKIVObject {
public:
    explicit CQuarnKeysKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "QuarnKeysKIV"; }
    /// Attach (48), not read at once.
    void QKAttach();
    /// (181) a bare block.
    void RequestCurrentAccessKey();
};

class CSorelAccessKeysKIVObject : public CGenericKIVObject {
public:
    explicit CSorelAccessKeysKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "SorelAccessKeyKIV"; }
    /// Attach (128), not read at once.
    void SAKAttach();
};

/// The preference object. Every command is a 556-byte block with the window at 4; word k is the
/// 32-bit word at byte 4k.
class CSorelPrefsKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 556;
    static constexpr int kPrefsSize = 193;

    explicit CSorelPrefsKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "SorelPrefsKIV"; }

    /// Attach (52), read at once.
    void SPAttach();
    /// (53) 193 bytes of preferences from 16; a null record sends nothing.
    void SetPrefs(const BYTE* prefs, HWND window);
    /// (298) index at 548, value at 552.
    void SetPref(int index, BYTE value, HWND window);
    /// (61) words 53 to 57, d in word 59, e in word 71.
    void SetSampleRateAndSyncSource(int setRate, long rate, long b, int setSource, SyncSourceType source, int d, int e,
                                    HWND window);
    void SetSampleRate(long rate, long b, int e, HWND window);
    void SetSyncSource(SyncSourceType source, int d, HWND window);
    /// (163) word 60.
    void SetMCSRollBackTime(long t, HWND window);
    /// (164) words 61, 62.
    void SetMCSPreRollTime(long t, int f, HWND window);
    /// (191) words 63, 64.
    void SetMCSPostRollTime(long t, int f, HWND window);
    /// (218) words 65, 66.
    void SetMCSRewindLimitStart(long t, int f, HWND window);
    /// (219) words 67, 68.
    void SetMCSRewindLimitEnd(long t, int f, HWND window);
    /// (252) machine at 282, protocol at 276 + machine (machine 6's protocol takes the place of
    /// the machine byte, as the server reads it).
    void SetMcsProtocol(BYTE machine, BYTE protocol, HWND window);
    /// (310) the four speeds at 288 to 291.
    void SetMcsShuttleSpeeds(BYTE s1, BYTE s2, BYTE s3, BYTE s4, HWND window);
    /// (297) no window, no body.
    void PelkMCSDebug_Enable();

private:
    void SendWords(int command, HWND window, std::initializer_list<std::pair<int, int32_t>> words);
};

class COperatingStylesKIVObject : public CGenericKIVObject {
public:
    explicit COperatingStylesKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "OperatingStylesKIV"; }
    /// Attach (49), read at once.
    void AMAttach();
    /// (50) 17 bytes: window at 4, mode at 16.
    void SetMode(BYTE mode, HWND window);
};

class CStudioConfigKIV : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 217;

    explicit CStudioConfigKIV(int enabled = 1);
    /// Ends the subscription first, so that no reply reaches a half-destroyed object.
    ~CStudioConfigKIV() override { StopAdvise(); }
    CString GetName() override { return "CStudioConfigKIV"; }

    /// Attach (221), read at once; the window is kept and travels at 4.
    void SCAttach(HWND window);
    /// (213) window at 4, name at 16 (at most 200 characters).
    void Save(const CString& name, HWND window);
    /// (222) a 217-byte block.
    void Reload();
    /// Posts "Studio Config Ready" (0, 0) to the window given to SCAttach.
    int OnLinkIn(_CommsStructure* reply) override;

    /// The number of the registered message "Studio Config Ready".
    static UINT ReadyMessage();

private:
    HWND m_hWindow = nullptr;
};

class CSystemSetupKIVObject : public CGenericKIVObject {
public:
    explicit CSystemSetupKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "SystemSetupKIV"; }
    /// Attach (155), read at once.
    void SysAttach();
};

class CQJCalibrationKIVObject : public CGenericKIVObject {
public:
    static constexpr int kCalibrationBlockSize = 16020;

    explicit CQJCalibrationKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "QJCalibrationKIVObject"; }

    /// Attach (173), not read at once. The commands re-attach the same way.
    void QJCAttach();
    /// (176) the type at 16016.
    void DoCalibration(enQJRequestCalibrationType type);
    /// (177) a bare block.
    void ReLoadCalibration();
    /// (175) a bare block.
    void GetCurrentCalibrationData();
};

class CQJDiagnosticsKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 240;

    explicit CQJDiagnosticsKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "QJDiagnosticsKIVObject"; }

    /// Attach (174), not read at once.
    void QJDAttach();
    /// (178) the code, then the further words in order up to the first -1 (the rest stay 0).
    void DoDiagnostic(long code, long a = -1, long b = -1, long c = -1, long d = -1);
    /// (178) 15, on.
    void SetScanning(bool on);
    /// (178) -1.
    void CancelDiagnostic();

private:
    void SendRequest(const int32_t (&words)[5]);
};
