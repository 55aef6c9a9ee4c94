#include "quenby/IOConfigKIVObject.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "quenby/KIVCommands.h"
#include "quenby/KivClientKit.h"

namespace {

// Record fields.
constexpr size_t kTextWidth = 5;  // four characters and their zero
constexpr size_t kNameAt = 32, kName2At = 37, kScribbleAt = 42, kSystemAt = 48;

void put32(uint8_t* p, int32_t v) { std::memcpy(p, &v, 4); }
int32_t get32(const uint8_t* p)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void putText(uint8_t* p, const CString& text)
{
    std::memset(p, 0, kTextWidth);
    std::memcpy(p, text.c_str(), std::min<size_t>(text.GetLength(), kTextWidth - 1));
}

CString getText(const uint8_t* p)
{
    const char* text = reinterpret_cast<const char*>(p);
    return CString(text, static_cast<int>(strnlen(text, kTextWidth)));
}

void putKey(uint8_t* record, IOPortKey key, int system)
{
    std::memset(record, 0, kIOConfigRecordSize);
    put32(record, IOKeyRack(key));
    put32(record + 4, IOKeyCard(key));
    put32(record + 8, IOKeyIO(key));
    put32(record + kSystemAt, system);
}

IOPortKey getKey(const uint8_t* record, int version)
{
    const int system = version >= 2 ? get32(record + kSystemAt) : 0;
    return MakeIOPortKey(get32(record), get32(record + 4), get32(record + 8), system);
}

int saturate(double v)
{
    if (!(v == v)) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

bool validSystem(int system) { return system >= 0 && system < CIOConfigKIVObject::kSystems; }

StructIOSearch partnerOf(const StructIOSearch& port)
{
    StructIOSearch partner = port;
    partner.io = (port.io & 1) ? port.io - 1 : port.io + 1;
    return partner;
}

// The port's display text up to its zero, within its field.
CString portText(const StructIOSearch& port) { return CString(port.name, static_cast<int>(strnlen(port.name, sizeof port.name))); }

}  // namespace

IOPortKey MakeIOPortKey(int rack, int card, int io, int system)
{
    return static_cast<IOPortKey>(rack & 0xFF) | static_cast<IOPortKey>(card & 0xFF) << 8 |
           static_cast<IOPortKey>(io & 0xFF) << 16 | static_cast<IOPortKey>(system & 0xFF) << 24;
}

IOPortKey MakeIOPortKey(const StructIOSearch& port) { return MakeIOPortKey(port.rack, port.card, port.io, port.system); }

size_t IOConfigRecordSize(int version)
{
    switch (version) {
    case 0: return 40;
    case 1: return 48;
    case 2: return 52;
    default: return 0;
    }
}

void EncodeIOPortRecord(uint8_t* record, IOPortKey key, const IOPortSettings& s)
{
    putKey(record, key, IOKeySystem(key));
    put32(record + 12, s.delay);
    put32(record + 16, s.dither);
    put32(record + 20, s.number);
    put32(record + 24, s.relay);
    put32(record + 28, s.stereo);
    putText(record + kNameAt, s.name);
    putText(record + kName2At, s.name2);
    putText(record + kScribbleAt, s.scribble);
}

void EncodeIOConverterRecord(uint8_t* record, IOPortKey key, const IOConverterSettings& s)
{
    putKey(record, key, IOKeySystem(key));
    put32(record + 12, s.mode);
    put32(record + 20, s.state);
}

IOPortKey DecodeIOPortRecord(const uint8_t* record, int version, IOPortSettings& s)
{
    s = IOPortSettings{};
    s.delay = get32(record + 12);
    s.dither = get32(record + 16);
    s.number = get32(record + 20);
    s.relay = get32(record + 24);
    s.stereo = get32(record + 28);
    s.name = getText(record + kNameAt);
    if (version >= 1) {
        s.name2 = getText(record + kName2At);
        s.scribble = getText(record + kScribbleAt);
    }
    return getKey(record, version);
}

IOPortKey DecodeIOConverterRecord(const uint8_t* record, int version, IOConverterSettings& s)
{
    s.mode = get32(record + 12);
    s.state = get32(record + 20);
    return getKey(record, version);
}

// ---- construction and commands ----

CIOConfigKIVObject::CIOConfigKIVObject(int enabled) : CGenericKIVObject(enabled) {}

void CIOConfigKIVObject::IOConfigAttach(const CString& name)
{
    SendAttachBlock(KivNameBlock(AttachToIOConfig, kSaveHeaderSize, 16, kSaveHeaderSize - 16, name), /*readNow=*/1);
}

void CIOConfigKIVObject::SendSaveBlock(const CString& name, const int32_t counts[5], int n, int kind, const uint8_t* records,
                                       size_t recordCount)
{
    KivBlock block(SaveIOConfigCommand, kSaveHeaderSize + static_cast<int64_t>(kIOConfigRecordSize * recordCount));
    block.PlainName(16, kMaxConfigNameLength + 1, name);
    for (int i = 0; i < 5; ++i) block.Put32(172 + 4 * static_cast<size_t>(i), counts[i]);
    block.Put32(192, m_eInputDelayUnits);
    block.Put32(196, m_eOutputDelayUnits);
    block.Put32(480, n);
    block.Put32(488, kind);
    block.PutBytes(kSaveHeaderSize, records, kIOConfigRecordSize * recordCount);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CIOConfigKIVObject::Save(CString& name, int n)
{
    const int32_t counts[5] = {static_cast<int32_t>(m_mapInputs.size()), static_cast<int32_t>(m_mapOutputs.size()),
                               static_cast<int32_t>(m_mapInputSRC.size()), static_cast<int32_t>(m_mapOutputSRC.size()), 0};
    std::vector<uint8_t> records(kIOConfigRecordSize * (m_mapInputs.size() + m_mapOutputs.size() + m_mapInputSRC.size() + m_mapOutputSRC.size()));
    uint8_t* at = records.data();
    for (const IOPortMap* map : {&m_mapInputs, &m_mapOutputs})
        for (const auto& [key, settings] : *map) EncodeIOPortRecord(std::exchange(at, at + kIOConfigRecordSize), key, settings);
    for (const IOConverterMap* map : {&m_mapInputSRC, &m_mapOutputSRC})
        for (const auto& [key, settings] : *map) EncodeIOConverterRecord(std::exchange(at, at + kIOConfigRecordSize), key, settings);
    SendSaveBlock(name, counts, n, 0, records.data(), records.size() / kIOConfigRecordSize);
}

void CIOConfigKIVObject::SaveGroupedPorts()
{
    // Room for a master and five members per group; the count says how many were written.
    std::vector<uint8_t> records(kIOConfigRecordSize * (kMaxGroupMembers + 1) * m_mapGroups.size());
    size_t written = 0;
    for (const auto& [master, group] : m_mapGroups) {
        uint8_t* record = records.data() + kIOConfigRecordSize * written++;
        const int count = std::clamp(group.count, 0, kMaxGroupMembers);
        putKey(record, master, IOKeySystem(master));
        put32(record + 12, count);
        for (int i = 0; i < count; ++i) putKey(records.data() + kIOConfigRecordSize * written++, group.members[i], IOKeySystem(master));
    }
    const int32_t counts[5] = {0, 0, 0, 0, static_cast<int32_t>(written)};
    SendSaveBlock(CString(), counts, 0, 1, records.data(), records.size() / kIOConfigRecordSize);
}

void CIOConfigKIVObject::SetDefault(const CString& name)
{
    m_strDefault = name;
    SendCommandBlock(KivNameBlock(SetDefaultIOConfigCommand, kSaveHeaderSize, 16, kSaveHeaderSize - 16, name));
}

void CIOConfigKIVObject::SetCurrent(const CString& name, int a, int b, int c, HWND window)
{
    m_strCurrent = name;
    KivBlock block(LoadIOConfigCommand, kSaveHeaderSize, window);
    block.PlainName(16, 200, name);
    block.Put32(216, b);
    block.Put32(480, a);
    block.Put32(484, c);
    SendCommandBlock(block.Take());
}

void CIOConfigKIVObject::LoadInMemory(const CString& name, int c) { SetCurrent(name, 0, 0, c, UlongToHwnd(65535)); }

void CIOConfigKIVObject::QuickSetDelay(const StructIOSearch& port, int value, int bInput)
{
    SetDelay(port, value, bInput);
    KivBlock block(SetDelayCommand, 44);
    block.Put32(16, port.rack);
    block.Put32(20, port.card);
    block.Put32(24, port.io);
    block.Put32(28, port.system);
    block.Put32(32, m_eInputDelayUnits);
    block.Put32(36, ConvertDelayFromUnits(value, bInput));
    block.Put32(40, bInput);
    SendCommandBlock(block.Take());
}

void CIOConfigKIVObject::SetRelays(const CArray<_StructRelayPort, _StructRelayPort>& relays)
{
    const INT_PTR count = relays.GetSize();
    if (count <= 0) return;
    KivBlock block(SetMachineManagerRelaysCommand, 20 + static_cast<int64_t>(sizeof(_StructRelayPort)) * count);
    block.Put32(16, static_cast<int32_t>(count));
    block.PutBytes(20, relays.GetData(), sizeof(_StructRelayPort) * static_cast<size_t>(count));
    SendCommandBlock(block.Take());
}

void CIOConfigKIVObject::SetTQConfig() { SendCommandBlock(KivBlock(SetTessaractConfig, 44).Take()); }

void COfflineIOConfigKIVObject::OfflineIOConfigAttach() { SendAttachBlock(KivBlock(AttachToOfflineIOConfig, 16).Take(), /*readNow=*/1); }

void COfflineIOConfigKIVObject::InterrogateIOConfig(CString name)
{
    constexpr int kSize = 30812, kNameAt = 573;
    SendAttachBlock(KivNameBlock(ReadOfflineIOConfig, kSize, kNameAt, kSize - kNameAt, name), /*readNow=*/1);
}

// ---- hardware ----

void CIOConfigKIVObject::GetQuadMADIs(int counts[4]) const { std::memcpy(counts, m_nQuadMADIs, sizeof m_nQuadMADIs); }

int CIOConfigKIVObject::GetThisQuadMADI(int system) const { return validSystem(system) ? m_nQuadMADIs[system] : 0; }

int CIOConfigKIVObject::GetRemoteRelays(int system) const
{
    if (!validSystem(system)) return 0;
    int64_t units = 0;
    for (const auto& link : m_nRemoteUnits[system])
        for (int n : link) units += n;
    return saturate(8.0 * static_cast<double>(units));
}

// ---- the cache ----

const IOPortSettings* CIOConfigKIVObject::Find(const StructIOSearch& port, int bInput) const
{
    const IOPortMap& map = GetPorts(bInput);
    auto it = map.find(MakeIOPortKey(port));
    return it == map.end() ? nullptr : &it->second;
}

void CIOConfigKIVObject::SetName(const StructIOSearch& port, const CString& name, int bInput) { Ports(bInput)[MakeIOPortKey(port)].name = name; }
void CIOConfigKIVObject::SetName2(const StructIOSearch& port, const CString& name, int bInput) { Ports(bInput)[MakeIOPortKey(port)].name2 = name; }
void CIOConfigKIVObject::SetScribble(const StructIOSearch& port, const CString& text, int bInput) { Ports(bInput)[MakeIOPortKey(port)].scribble = text; }
void CIOConfigKIVObject::SetNumber(const StructIOSearch& port, int number, int bInput) { Ports(bInput)[MakeIOPortKey(port)].number = number; }
void CIOConfigKIVObject::SetRelay(const StructIOSearch& port, int relay, int bInput) { Ports(bInput)[MakeIOPortKey(port)].relay = relay; }
void CIOConfigKIVObject::SetDither(const StructIOSearch& port, int dither, int bInput) { Ports(bInput)[MakeIOPortKey(port)].dither = dither; }

void CIOConfigKIVObject::SetDelay(const StructIOSearch& port, int value, int bInput)
{
    Ports(bInput)[MakeIOPortKey(port)].delay = value < 0 ? -1 : ConvertDelayFromUnits(value, bInput);
}

void CIOConfigKIVObject::SetStereo(const StructIOSearch& port, int stereo, int bInput)
{
    StructIOSearch a = port;
    if (stereo) a.io &= ~1;
    IOPortMap& map = Ports(bInput);
    map[MakeIOPortKey(a)].stereo = stereo;
    if (stereo) map.erase(MakeIOPortKey(partnerOf(a)));
}

void CIOConfigKIVObject::SetSRCMode(const StructIOSearch& port, int mode, int bInput) { Converters(bInput)[MakeIOPortKey(port)].mode = mode; }
void CIOConfigKIVObject::SetSRCState(const StructIOSearch& port, int state, int bInput) { Converters(bInput)[MakeIOPortKey(port)].state = state; }

int CIOConfigKIVObject::GetName(const StructIOSearch& port, CString& out, int bInput) const
{
    const IOPortSettings* s = Find(port, bInput);
    if (!s || s->name.IsEmpty()) return 0;
    out = s->name;
    return 1;
}

int CIOConfigKIVObject::GetName2(const StructIOSearch& port, CString& out, int bInput) const
{
    const IOPortSettings* s = Find(port, bInput);
    if (!s || s->name2.IsEmpty()) return 0;
    out = s->name2;
    return 1;
}

int CIOConfigKIVObject::GetScribble(const StructIOSearch& port, CString& out, int bInput) const
{
    const IOPortSettings* s = Find(port, bInput);
    if (!s || s->scribble.IsEmpty()) return 0;
    out = s->scribble;
    return 1;
}

int CIOConfigKIVObject::GetNames(const StructIOSearch& port, CString& name, CString& name2, int bInput) const
{
    const int first = GetName(port, name, bInput);
    const int second = GetName2(port, name2, bInput);
    return first || second;
}

int CIOConfigKIVObject::GetNumber(const StructIOSearch& port, int& out, int bInput) const
{
    const IOPortSettings* s = Find(port, bInput);
    if (!s || s->number < 0) return 0;
    out = s->number;
    return 1;
}

int CIOConfigKIVObject::GetRelay(const StructIOSearch& port, int& out, int bInput) const
{
    const IOPortSettings* s = Find(port, bInput);
    if (!s || s->relay < 0) return 0;
    out = s->relay;
    return 1;
}

int CIOConfigKIVObject::GetDither(const StructIOSearch& port, int& out, int bInput) const
{
    const IOPortSettings* s = Find(port, bInput);
    if (!s || s->dither < 0) return 0;
    out = s->dither;
    return 1;
}

int CIOConfigKIVObject::GetDelay(const StructIOSearch& port, int& out, int bInput) const
{
    const IOPortSettings* s = Find(port, bInput);
    if (!s) return 0;
    out = std::max(s->delay, 0);
    if (out > 0) out = ConvertDelayFromSamples(out, bInput);
    return out >= 0;
}

int CIOConfigKIVObject::GetStereo(const StructIOSearch& port, int& out, int bInput) const
{
    const IOPortSettings* s = Find(port, bInput);
    out = s ? s->stereo : 0;
    return out;
}

int CIOConfigKIVObject::GetSRCMode(const StructIOSearch& port, int& out, int bInput) const
{
    const IOConverterMap& map = GetConverters(bInput);
    auto it = map.find(MakeIOPortKey(port));
    out = it == map.end() ? 0 : it->second.mode;
    return it != map.end();
}

int CIOConfigKIVObject::GetSRCState(const StructIOSearch& port, int& out, int bInput) const
{
    const IOConverterMap& map = GetConverters(bInput);
    auto it = map.find(MakeIOPortKey(port));
    out = it == map.end() ? 0 : it->second.state;
    return it != map.end();
}

void CIOConfigKIVObject::GetAll(const StructIOSearch& port, CString& name, int& number, int& delay, int& dither, int& relay,
                                int bInput) const
{
    name.Empty();
    number = delay = dither = relay = -1;
    GetName(port, name, bInput);
    GetNumber(port, number, bInput);
    GetDelay(port, delay, bInput);
    GetDither(port, dither, bInput);
    GetRelay(port, relay, bInput);
}

void CIOConfigKIVObject::Clear(const StructIOSearch& port, int bInput) { Ports(bInput).erase(MakeIOPortKey(port)); }

void CIOConfigKIVObject::ClearSRC(const StructIOSearch& port, int bInput) { Converters(bInput).erase(MakeIOPortKey(port)); }

void CIOConfigKIVObject::Clear()
{
    m_mapInputs.clear();
    m_mapOutputs.clear();
    m_mapInputSRC.clear();
    m_mapOutputSRC.clear();
    m_mapGroups.clear();
    m_mapMembership.clear();
}

// ---- delays ----

double CIOConfigKIVObject::FrameRate() const
{
    switch (m_nFrameRateCode) {
    case 1:
    case 3: return 30000.0 / 1001.0;
    case 2: return 24.0;
    case 4: return 30.0;
    case 5: return 24000.0 / 1001.0;
    default: return 25.0;
    }
}

int CIOConfigKIVObject::ConvertDelayFromSamples(int samples, int bInput) const
{
    if (m_nSampleRate <= 0) return 0;
    const double fs = m_nSampleRate;
    // The same time in samples at the current rate, as the single-precision value it is kept in.
    const double s = static_cast<float>(samples / 48000.0 * fs);
    switch (Units(bInput)) {
    case enDelayMilliseconds: return saturate(s / fs * 1000.0);
    case enDelayMetres: return saturate(s / fs * 330.0);
    case enDelayTenthFrames: return saturate(s / fs * 10.0 * FrameRate());
    default: return saturate(s);
    }
}

int CIOConfigKIVObject::ConvertDelayFromUnits(int value, int bInput) const
{
    if (m_nSampleRate <= 0) return 0;
    const double fs = m_nSampleRate;
    double t = value;
    switch (Units(bInput)) {
    case enDelayMilliseconds: t = fs / 1000.0 * value; break;
    case enDelayMetres: t = value / 330.0 * fs; break;
    case enDelayTenthFrames: t = value / 10.0 / FrameRate() * fs; break;
    default: break;
    }
    return saturate(std::floor(t / fs * 48000.0 + 0.5));
}

int64_t CIOConfigKIVObject::LinkRemainder(int system, int madi, int bInput, const IOPortKey* skip) const
{
    const int shift = std::clamp(m_nDelayShift, 0, 31);
    int64_t room = (m_nMADI[system][madi] > 0 ? kMADILinkDelay : kLinkDelay) >> shift;
    for (const auto& [key, s] : GetPorts(bInput)) {
        if (IOKeyRack(key) / 4 != madi || IOKeySystem(key) != system || (skip && key == *skip)) continue;
        room -= std::max<int64_t>(s.stereo ? 2 * static_cast<int64_t>(s.delay) : s.delay, 0);
    }
    return room;
}

int CIOConfigKIVObject::GetMaxDelay(int system, int madi, int bInput) const
{
    if (!validSystem(system) || madi < 0 || madi >= kMADILinks) return 0;
    return ConvertDelayFromSamples(saturate(static_cast<double>(LinkRemainder(system, madi, bInput, nullptr))), bInput);
}

int CIOConfigKIVObject::GetMaxDelay(StructIOSearch port, int bInput) const
{
    const int madi = port.rack / 4;
    if (!validSystem(port.system) || port.rack < 0 || madi >= kMADILinks) return 0;
    const IOPortKey key = MakeIOPortKey(port);
    return ConvertDelayFromSamples(saturate(static_cast<double>(LinkRemainder(port.system, madi, bInput, &key))), bInput);
}

int CIOConfigKIVObject::GetMaxDelay(int system, int bInput) const
{
    if (!validSystem(system)) return 0;
    int64_t total = 0;
    const int links = std::clamp(m_nQuadMADIs[system], 0, static_cast<int>(kMADILinks));
    for (int madi = 0; madi < links; ++madi) total += GetMaxDelay(system, madi, bInput);
    return saturate(static_cast<double>(total));
}

// ---- display names ----

void CIOConfigKIVObject::GetSplitUserName(const StructIOSearch& port, CString& name, CString& name2, CString& number, int bPair,
                                          int bInput) const
{
    name = "NoPort";
    name2.Empty();
    number.Empty();
    const bool odd = port.io & 1;
    const StructIOSearch partner = partnerOf(port);
    int stereo = 0;
    GetStereo(odd ? partner : port, stereo, bInput);
    const CString text = portText(port);

    CString first, second;
    if (GetNames(port, first, second, bInput)) {
        name = first;
        name2 = second;
        if (name.IsEmpty()) {
            for (int i = 0; i < std::min(5, text.GetLength()); ++i)
                if (text[i] != ' ') name += text[i];
        }
        int own = 0;
        if (!GetNumber(port, own, bInput)) own = std::atoi(text.Mid(std::min(5, text.GetLength())).c_str());
        int other = own;
        GetNumber(partner, other, bInput);
        CString otherName = name;
        GetName(partner, otherName, bInput);
        if (otherName != name || other != own) {
            if (bPair) number.Format("%d %d", own, other);
            else number.Format("%d", own);
        } else {
            number.Format("%d %s", own, bPair ? (odd ? "BA" : "AB") : (odd ? "B" : "A"));
        }
        return;
    }
    if (stereo && odd && GetNames(partner, first, second, bInput)) {
        name = first;
        name2 = second;
        int own = 0;
        if (!GetNumber(partner, own, bInput)) own = std::atoi(text.Mid(std::min(5, text.GetLength())).c_str());
        number.Format(bPair ? "%d BA" : "%d B", own);
        return;
    }
    // A port without a text keeps "NoPort".
    if (text.IsEmpty()) return;
    name = text.Left(5);
    number = text.Mid(std::min(6, text.GetLength()));
}

void CIOConfigKIVObject::GetFullUserName(const StructIOSearch& port, CString& out, int bPair, int bInput) const
{
    CString name, name2, number;
    GetSplitUserName(port, name, name2, number, bPair, bInput);
    out = name2.IsEmpty() ? name + " " + number : name + name2;
}

// ---- relays and groups ----

int CIOConfigKIVObject::IsRelayInUse(int relay, StructIOSearch& port, int& bInput) const
{
    if (relay < 0) return 0;
    for (int input : {1, 0}) {
        for (const auto& [key, s] : GetPorts(input)) {
            if (s.relay != relay) continue;
            port.rack = IOKeyRack(key);
            port.card = IOKeyCard(key);
            port.io = IOKeyIO(key);
            port.system = IOKeySystem(key);
            bInput = input;
            return 1;
        }
    }
    return 0;
}

int CIOConfigKIVObject::GetPortGroup(const StructIOSearch& port, _structGroupedPorts& out) const
{
    auto it = m_mapGroups.find(MakeIOPortKey(port));
    if (it == m_mapGroups.end()) return 0;
    out = it->second;
    return 1;
}

int CIOConfigKIVObject::IsGroupMaster(const StructIOSearch& port) const { return m_mapGroups.count(MakeIOPortKey(port)) != 0; }

int CIOConfigKIVObject::IsPortGrouped(const StructIOSearch& port) const
{
    return IsGroupMaster(port) || m_mapMembership.count(MakeIOPortKey(port)) != 0;
}

int CIOConfigKIVObject::AddPortToGroup(const StructIOSearch& port)
{
    if (IsPortGrouped(port)) return 0;
    m_mapGroups[MakeIOPortKey(port)] = _structGroupedPorts{};
    return 1;
}

int CIOConfigKIVObject::AddPortToGroup(const StructIOSearch& master, const StructIOSearch& member)
{
    const IOPortKey masterKey = MakeIOPortKey(master), memberKey = MakeIOPortKey(member);
    if (memberKey == masterKey || IsPortGrouped(member)) return 0;
    if (!IsGroupMaster(master) && !AddPortToGroup(master)) return 0;
    const int masterRack = IOKeyRack(masterKey), memberRack = IOKeyRack(memberKey);
    if (IOKeySystem(memberKey) != IOKeySystem(masterKey) || memberRack / 4 != masterRack / 4) return 0;
    _structGroupedPorts& group = m_mapGroups[masterKey];
    if (group.count < 0 || group.count >= kMaxGroupMembers) return 0;
    group.members[group.count++] = memberKey;
    m_mapMembership[memberKey] = masterKey;
    return 1;
}

void CIOConfigKIVObject::ClearGroup(const StructIOSearch& master)
{
    auto it = m_mapGroups.find(MakeIOPortKey(master));
    if (it == m_mapGroups.end()) return;
    for (int i = 0; i < std::clamp(it->second.count, 0, kMaxGroupMembers); ++i) m_mapMembership.erase(it->second.members[i]);
    m_mapGroups.erase(it);
}

int CIOConfigKIVObject::RemovePortFromGroup(const StructIOSearch& port)
{
    const IOPortKey key = MakeIOPortKey(port);
    if (m_mapGroups.count(key)) {
        ClearGroup(port);
        return 1;
    }
    auto member = m_mapMembership.find(key);
    if (member == m_mapMembership.end()) return 0;
    auto group = m_mapGroups.find(member->second);
    if (group == m_mapGroups.end()) return 0;
    _structGroupedPorts& g = group->second;
    const int count = std::clamp(g.count, 0, kMaxGroupMembers);
    auto end = g.members + count;
    auto found = std::find(g.members, end, key);
    if (found == end) return 0;
    std::copy(found + 1, end, found);
    g.count = count - 1;
    g.members[g.count] = 0;
    if (g.count == 0) m_mapGroups.erase(group);
    m_mapMembership.erase(member);
    return 1;
}
