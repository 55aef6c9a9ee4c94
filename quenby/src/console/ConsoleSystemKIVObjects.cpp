#include "quenby/ConsoleSystemKIVObjects.h"

#include "quenby/KIVCommands.h"
#include "quenby/KivClientKit.h"
#include "winport/Clock.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

namespace {
constexpr int kBare = kKIVBareCommandSize;

int32_t HwndWord(HWND window) { return static_cast<int32_t>(HandleToUlong(window)); }
}  // namespace

// ---- analogue design ----

void CAnalogDesignKIVObject::ADAttach() { SendAttachBlock(KivBlock(AttachToAnalogueDDesign, kBare).Take(), /*readNow=*/1); }

void CAnalogDesignKIVObject::SendAnalogDesignCmd(const CArray<int, int>& map)
{
    KivBlock block(SetAnalogueMap, kBlockSize);
    // Values beyond the block's room are not sent.
    const INT_PTR count = map.GetSize() < kMaxMapValues ? map.GetSize() : kMaxMapValues;
    for (INT_PTR i = 0; i < count; ++i) block.Put32(232 + 4 * static_cast<size_t>(i), map[i]);
    SendCommandBlock(block.Take());
}

void CAnalogDesignKIVObject::SendAnalogDesignCmd(int value)
{
    KivBlock block(AnalogueDeskDesignCommand, kBlockSize);
    block.Put32(24, value);
    SendCommandBlock(block.Take());
}

void CAnalogDesignKIVObject::SendReassignFiling(int value, CString name)
{
    KivBlock block(ReassignFiling, kBlockSize);
    block.Put32(1452, value);
    block.PlainName(1456, kBlockSize - 1456, name.c_str());
    SendCommandBlock(block.Take());
}

// ---- cue-box configuration ----

namespace {
constexpr size_t kCBFModeOffset = 147816;
}

void CCBFKIVObject::CBFAttach() { SendAttachBlock(KivBlock(AttachToCBF, kBare).Take(), /*readNow=*/1); }

void CCBFKIVObject::SendCBFData(_StructCBFControl& data)
{
    KivBlock block(SetCBFCommand, kBlockSize);
    block.PutBytes(16, data.bytes, sizeof data.bytes);
    block.Put8(kCBFModeOffset, 0);
    SendCommandBlock(block.Take());
}

void CCBFKIVObject::LoadCBFData(CString name, int fromDisk, int a, int b, HWND window, int c)
{
    KivBlock block(SetCBFCommand, kBlockSize);
    if (fromDisk) {
        block.Put8(kCBFModeOffset, 2);
        block.Put32(147812, c);
    } else {
        block.Put8(kCBFModeOffset, 3);
    }
    block.Put32(147804, a);
    block.Put32(147800, b);
    block.PlainName(147196, 147800 - 147196, name.c_str());
    block.Put32(147824, HwndWord(window));
    SendCommandBlock(block.Take());
}

void CCBFKIVObject::LoadCBFDiskData(CString name, int flag)
{
    KivBlock block(SetCBFCommand, kBlockSize);
    block.Put8(kCBFModeOffset, flag ? 4 : 5);
    block.PlainName(147598, kCBFModeOffset - 147598, name.c_str());
    SendCommandBlock(block.Take());
}

void CChannelMapKiv::CMAttach() { SendAttachBlock(KivBlock(AttachToChannelMap, kBare).Take(), /*readNow=*/1); }

// ---- desk setup and size ----

void CDeskSetupKIVObject::DSAttach() { SendAttachBlock(KivBlock(AttachToAnalogDeskSetupCntrl, kBare).Take(), /*readNow=*/1); }

void CDeskSetupKIVObject::GetDeskSetupCmd(const CString& name)
{
    SendCommandBlock(KivNameBlock(GetAnalogDeskSetupCommand, kBlockSize, 16, 276 - 16, name.c_str()));
}

void CDeskSetupKIVObject::SendDeskSetupCmd(int a, int b, int c, const CString& name)
{
    KivBlock block(SendAnalogDeskSetupCommand, kBlockSize);
    block.PlainName(16, 276 - 16, name.c_str());
    block.Put32(280, a);
    block.Put32(284, b);
    block.Put32(288, c);
    SendCommandBlock(block.Take());
}

void CDeskSetupLiveLoadKivObject::LiveLoadAttach()
{
    SendAttachBlock(KivBlock(AttachToDeskSetupLiveLoad, kBare).Take(), /*readNow=*/0);
}

void CDeskSizeKIVObject::DeskSizeAttach() { SendAttachBlock(KivBlock(AttachToDeskSizeControl, kBare).Take(), /*readNow=*/0); }

void CDeskSizeKIVObject::RequestDeskSize(const CString& name)
{
    SendAttachBlock(KivNameBlock(RequestDeskSizeCommand, 224, 20, 200, name.c_str()), /*readNow=*/1);
}

// ---- engineering reports ----

void CEngineeringReportKIVObject::ERAttach(const CString& name, int kind)
{
    // The block is as long as the name: its characters from 20 and a zero after them.
    const size_t length = static_cast<size_t>(name.GetLength());
    KivBlock block(AttachToEngineeringReport, 21 + static_cast<int64_t>(length));
    block.Put32(16, kind);
    block.PutBytes(20, name.c_str(), length);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

// ---- fader allocation and direction ----

void CFaderAllocKivObject::FaderAllocAttach() { SendAttachBlock(KivBlock(AttachToFaderAlloc, kBare).Take(), /*readNow=*/1); }

void CFaderAllocKivObject::FaderAllocGetData() { SendCommandBlock(KivBlock(GetFaderAlloc, kBare).Take()); }

void CFaderAllocKivObject::FaderAllocSetData(_StructFaderAllocControl& data)
{
    // (record offset, length, block offset); record bytes 44 to 47 are not sent.
    static const size_t kParts[5][3] = {{0, 12, 16}, {12, 16, 28}, {28, 8, 44}, {36, 8, 52}, {48, 12, 64}};
    KivBlock block(SetFaderAlloc, kSetBlockSize);
    for (const auto& part : kParts) block.PutBytes(part[2], data.bytes + part[0], part[1]);
    block.Put32(60, 0);
    SendCommandBlock(block.Take());
}

void CFaderAllocKivObject::FaderAllocSetData(int* values)
{
    if (!values) return;
    KivBlock block(SetFaderAlloc, kSetBlockSize);
    block.Put32(60, 1);
    block.PutBytes(64, values, 3 * sizeof(int32_t));
    SendCommandBlock(block.Take());
}

void CFaderDirKivK7Object::FadDirK7Attach() { SendAttachBlock(KivBlock(AttachToFaderDir, kBare).Take(), /*readNow=*/1); }

void CFaderDirKivK7Object::FadDirK7GetData() { SendCommandBlock(KivBlock(GetFaderDir, kBare).Take()); }

void CFaderDirKivK7Object::FadDirK7SetData(int* a, int* b, int* c)
{
    if (!a || !b || !c) return;
    constexpr size_t bytes = kEntries * sizeof(int32_t);
    KivBlock block(SetFaderDir, 1456);
    block.PutBytes(16, a, bytes);
    block.PutBytes(496, b, bytes);
    block.PutBytes(976, c, bytes);
    SendCommandBlock(block.Take());
}

void CFlashUpK7XKIVObject::FlashUpK7XAttach() { SendAttachBlock(KivBlock(AttachToFlashUpK7X, kBare).Take(), /*readNow=*/0); }

// ---- frame rate ----

void CFrameRateKIVObject::FRAttach() { SendAttachBlock(KivBlock(AttachToFrameRate, kBare).Take(), /*readNow=*/1); }

void CFrameRateKIVObject::SetFrameRate(AcceptableFrameRates rate, int a, long b, long c, int d, HWND window)
{
    KivBlock block(SetFrameRateCommand, kBlockSize, window);
    block.Put32(16, a);
    block.Put32(20, rate);
    block.Put32(24, static_cast<int32_t>(b));
    block.Put32(28, static_cast<int32_t>(c));
    block.Put32(32, d);
    SendCommandBlock(block.Take());
}

void CFrameRateKIVObject::PelkMCSDebug_Enable()
{
    KivBlock block(SetFrameRateCommand, kBlockSize);
    block.Put32(36, 1);
    SendCommandBlock(block.Take());
}

// ---- function keys ----

void CFunctionKeysKIVObject::FKAttach() { SendAttachBlock(KivBlock(AttachToFunctionKeys, kBare).Take(), /*readNow=*/0); }

void CFunctionKeysKIVObject::RequestFunctionKey() { SendCommandBlock(KivBlock(RequestFunctionKeyCommand, kBare).Take()); }

void CFunctionKeysKIVObject::CloseConsoleMode(int mode)
{
    KivBlock block(CloseConsoleModeCommand, 24);
    block.Put32(16, mode);
    SendCommandBlock(block.Take());
    Sleep(kCloseConsoleWaitMs);
}

void CFunctionKeysKIVObject::SetVConsoleMode(int mode)
{
    KivBlock block(SetVConsoleModeCommand, 24);
    block.Put32(16, mode);
    SendCommandBlock(block.Take());
}

// ---- generic server commands and the track offset ----

void CGenericKivserverKIVObject::ADAttach()
{
    SendAttachBlock(KivBlock(AttachToGenericKivserverCommand, kBare).Take(), /*readNow=*/1);
}

void CGenericKivserverKIVObject::SendGenericKivserverCmd(int sub, const BYTE* data, int length)
{
    if (length < 0 || (length > 0 && !data)) return;
    KivBlock block(GenericKivserverCommand, 24 + static_cast<int64_t>(length));
    block.Put32(16, sub);
    block.Put32(20, length);
    block.PutBytes(24, data, static_cast<size_t>(length));
    SendCommandBlock(block.Take());
}

void CGenericKivserverKIVObject::SendGenericKivserverCmd(int sub)
{
    KivBlock block(GenericKivserverCommand, 24);
    block.Put32(16, sub);
    SendCommandBlock(block.Take());
}

void CGenericKivserverKIVObject::ClearFennik()
{
    const BYTE zeros[4] = {0, 0, 0, 0};
    SendGenericKivserverCmd(kClearFennikCommand, zeros, sizeof zeros);
}

void CGenericKivserverKIVObject::SendFennickOffset()
{
    bool enabled = false;
    DWORD offset = 0;
    GetFennickOffset(enabled, offset);
    if (!enabled) offset = kNoFennikOffset;
    BYTE data[4];
    std::memcpy(data, &offset, sizeof data);
    SendGenericKivserverCmd(kFennikOffsetCommand, data, sizeof data);
}

void CGenericKivserverKIVObject::SetFennickOffset(bool enabled, DWORD offset)
{
    CLocalMachineRegistryObject registry;
    registry.SetBool(FennikKey, "Enabled", enabled ? 1 : 0);
    registry.SetDword(FennikKey, "Offset", offset);
}

void CGenericKivserverKIVObject::GetFennickOffset(bool& enabled, DWORD& offset)
{
    CLocalMachineRegistryObject registry;
    registry.GetBool(FennikKey, "Enabled", enabled, false);
    registry.GetDword(FennikKey, "Offset", offset, 0);
}

void CGenericKivserverFSKIVObject::ADAttach()
{
    SendAttachBlock(KivBlock(AttachToGenericKivserverFSCommand, kBare).Take(), /*readNow=*/1);
}

void CGenericKivserverFSKIVObject::SendGenericKivserverCmd(int sub, int a, int b, int c, int d)
{
    KivBlock block(GenericKivserverFSCommand, kBlockSize);
    block.Put32(16, sub);
    block.Put32(24, a);
    block.Put32(28, b);
    block.Put32(32, c);
    block.Put32(36, d);
    SendCommandBlock(block.Take());
}

// ---- access keys ----

void CQuarnKeysKIVObject::QKAttach() { SendAttachBlock(KivBlock(AttachToQuarnKeys, kBare).Take(), /*readNow=*/0); }

void CQuarnKeysKIVObject::RequestCurrentAccessKey() { SendCommandBlock(KivBlock(RequestCurrentAccessKeyCommand, kBare).Take()); }

void CSorelAccessKeysKIVObject::SAKAttach() { SendAttachBlock(KivBlock(AttachToSorelAccessKeys, kBare).Take(), /*readNow=*/0); }

// ---- preferences ----

void CSorelPrefsKIVObject::SPAttach() { SendAttachBlock(KivBlock(AttachToSorelPrefs, kBare).Take(), /*readNow=*/1); }

void CSorelPrefsKIVObject::SendWords(int command, HWND window, std::initializer_list<std::pair<int, int32_t>> words)
{
    KivBlock block(command, kBlockSize, window);
    for (const auto& [word, value] : words) block.Put32(4 * static_cast<size_t>(word), value);
    SendCommandBlock(block.Take());
}

void CSorelPrefsKIVObject::SetPrefs(const BYTE* prefs, HWND window)
{
    if (!prefs) return;
    KivBlock block(SetSorelPrefs, kBlockSize, window);
    block.PutBytes(16, prefs, kPrefsSize);
    SendCommandBlock(block.Take());
}

void CSorelPrefsKIVObject::SetPref(int index, BYTE value, HWND window) { SendWords(SetSorelPref, window, {{137, index}, {138, value}}); }

void CSorelPrefsKIVObject::SetSampleRateAndSyncSource(int setRate, long rate, long b, int setSource, SyncSourceType source,
                                                      int d, int e, HWND window)
{
    SendWords(SetSampleRateAndSyncSourceCommand, window,
              {{53, setRate}, {54, static_cast<int32_t>(rate)}, {55, static_cast<int32_t>(b)}, {56, setSource}, {57, source},
               {59, d}, {71, e}});
}

void CSorelPrefsKIVObject::SetSampleRate(long rate, long b, int e, HWND window)
{
    SetSampleRateAndSyncSource(1, rate, b, 0, SyncSourceType{}, 0, e, window);
}

void CSorelPrefsKIVObject::SetSyncSource(SyncSourceType source, int d, HWND window)
{
    SetSampleRateAndSyncSource(0, 0, 0, 1, source, d, 0, window);
}

void CSorelPrefsKIVObject::SetMCSRollBackTime(long t, HWND window)
{
    SendWords(SetMCSRollBackTimeCommand, window, {{60, static_cast<int32_t>(t)}});
}

void CSorelPrefsKIVObject::SetMCSPreRollTime(long t, int f, HWND window)
{
    SendWords(SetMCSPreRollTimeCommand, window, {{61, static_cast<int32_t>(t)}, {62, f}});
}

void CSorelPrefsKIVObject::SetMCSPostRollTime(long t, int f, HWND window)
{
    SendWords(SetMCSPostRollTimeCommand, window, {{63, static_cast<int32_t>(t)}, {64, f}});
}

void CSorelPrefsKIVObject::SetMCSRewindLimitStart(long t, int f, HWND window)
{
    SendWords(SetMCSRewindLimitStartCommand, window, {{65, static_cast<int32_t>(t)}, {66, f}});
}

void CSorelPrefsKIVObject::SetMCSRewindLimitEnd(long t, int f, HWND window)
{
    SendWords(SetMCSRewindLimitEndCommand, window, {{67, static_cast<int32_t>(t)}, {68, f}});
}

void CSorelPrefsKIVObject::SetMcsProtocol(BYTE machine, BYTE protocol, HWND window)
{
    KivBlock block(MCSSetProtocols, kBlockSize, window);
    block.Put8(282, machine);
    block.Put8(276 + static_cast<size_t>(machine), protocol);
    SendCommandBlock(block.Take());
}

void CSorelPrefsKIVObject::SetMcsShuttleSpeeds(BYTE s1, BYTE s2, BYTE s3, BYTE s4, HWND window)
{
    const BYTE speeds[4] = {s1, s2, s3, s4};
    KivBlock block(MCSSetShuttleSpeeds, kBlockSize, window);
    block.PutBytes(288, speeds, sizeof speeds);
    SendCommandBlock(block.Take());
}

void CSorelPrefsKIVObject::PelkMCSDebug_Enable() { SendWords(PelkMCSDebugCommand, nullptr, {}); }

// ---- operating styles ----

void COperatingStylesKIVObject::AMAttach() { SendAttachBlock(KivBlock(AttachToOperatingStyles, kBare).Take(), /*readNow=*/1); }

void COperatingStylesKIVObject::SetMode(BYTE mode, HWND window)
{
    KivBlock block(SetOperatingStylesCommand, 17, window);
    block.Put8(16, mode);
    SendCommandBlock(block.Take());
}

// ---- studio configuration ----

CStudioConfigKIV::CStudioConfigKIV(int enabled) : CGenericKIVObject(enabled) { ReadyMessage(); }

UINT CStudioConfigKIV::ReadyMessage()
{
    static const UINT message = RegisterWindowMessageA("Studio Config Ready");
    return message;
}

void CStudioConfigKIV::SCAttach(HWND window)
{
    m_hWindow = window;
    SendAttachBlock(KivBlock(AttachToStudioConfig, kBare, window).Take(), /*readNow=*/1);
}

void CStudioConfigKIV::Save(const CString& name, HWND window)
{
    SendCommandBlock(KivNameBlock(SaveRackConfigCommand, kBlockSize, 16, kBlockSize - 16, name.c_str(), window));
}

void CStudioConfigKIV::Reload() { SendCommandBlock(KivBlock(ReloadStudioConfigCommand, kBlockSize).Take()); }

int CStudioConfigKIV::OnLinkIn(_CommsStructure*)
{
    PostMessageA(m_hWindow, ReadyMessage(), 0, 0);
    return 1;
}

void CSystemSetupKIVObject::SysAttach() { SendAttachBlock(KivBlock(AttachToSystemSetup, kBare).Take(), /*readNow=*/1); }

// ---- QJ calibration and diagnostics ----

void CQJCalibrationKIVObject::QJCAttach()
{
    SendAttachBlock(KivBlock(AttachToQJCalibrationControl, kBare).Take(), /*readNow=*/0);
}

void CQJCalibrationKIVObject::DoCalibration(enQJRequestCalibrationType type)
{
    KivBlock block(PerformQJCalibrationCommand, kCalibrationBlockSize);
    block.Put32(16016, type);
    SendAttachBlock(block.Take(), /*readNow=*/0);
}

void CQJCalibrationKIVObject::ReLoadCalibration()
{
    SendAttachBlock(KivBlock(ReloadQJCalibrationDataCommand, kBare).Take(), /*readNow=*/0);
}

void CQJCalibrationKIVObject::GetCurrentCalibrationData()
{
    SendAttachBlock(KivBlock(GetCurrentQJCalibrationDataCommand, kBare).Take(), /*readNow=*/0);
}

void CQJDiagnosticsKIVObject::QJDAttach()
{
    SendAttachBlock(KivBlock(AttachToQJDiagnosticsControl, kBare).Take(), /*readNow=*/0);
}

void CQJDiagnosticsKIVObject::SendRequest(const int32_t (&words)[5])
{
    KivBlock block(PerformQJDiagnosticCommand, kBlockSize);
    block.PutBytes(16, words, sizeof words);
    SendCommandBlock(block.Take());
}

void CQJDiagnosticsKIVObject::DoDiagnostic(long code, long a, long b, long c, long d)
{
    int32_t words[5] = {static_cast<int32_t>(code), 0, 0, 0, 0};
    const long further[4] = {a, b, c, d};
    for (int i = 0; i < 4 && further[i] != -1; ++i) words[i + 1] = static_cast<int32_t>(further[i]);
    SendRequest(words);
}

void CQJDiagnosticsKIVObject::SetScanning(bool on) { SendRequest({15, on ? 1 : 0, 0, 0, 0}); }

void CQJDiagnosticsKIVObject::CancelDiagnostic() { SendRequest({-1, 0, 0, 0, 0}); }
