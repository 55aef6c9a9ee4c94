#include "trevanny/PellimaxConformClient.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <unordered_map>

#include "trevanny/ConsoleRegistryNames.h"
#include "trevanny/TimecodeValue.h"
#include "winport/FastLock.h"
#include "winport/RegistryObject.h"
#include "winport/Trace.h"

const char* const CPellimaxConformClient::s_szDefaultServerName = "localhost";

namespace {

const char kSwitchKey[] = "Software\\VOKDWEN\\Pellimax";
const char kFeatureKey[] = "SOFTWARE\\VOKDWEN\\PELLIMAX\\Feature Settings";
const char kPreferenceKey[] = "Software\\VokSettings\\KIVSERVER\\PrefereceArea\\";
const char kLibraryName[] = "TyvRemoteClient.dll";

// The one lock around every call into the library, from every client object of the process.
CFastCriticalSection& libraryLock()
{
    static CFastCriticalSection section;
    return section;
}

// Looks an entry point up; a missing one is traced once per process. Caller holds libraryLock.
template <class PFN>
PFN lookUp(HMODULE module, const char* name)
{
    FARPROC proc = GetProcAddress(module, name);
    if (!proc) {
        static std::set<std::string> reported;
        if (reported.insert(name).second) TRACE("%s has no entry point %s\n", kLibraryName, name);
    }
    return reinterpret_cast<PFN>(proc);
}

}  // namespace

int CPellimaxConformClient::RateCodeFor(int timecodeRate, int& dropFrame)
{
    dropFrame = 0;
    switch (timecodeRate) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 4;
    case 4: dropFrame = 1; return 4;
    case 5:
    case 6: return 3;
    default: return 0;
    }
}

CPellimaxConformClient::CPellimaxConformClient(CSourceDestItemArray& sources, CSourceDestItemArray& destinations)
{
    CCurrentUserRegistryObject user;
    int enabled = 0;
    user.GetInt(kSwitchKey, "AutoConform", enabled, 0);
    if (!enabled) return;
    if (!bind()) return;
    sendEntries(sources, destinations);
}

CPellimaxConformClient::~CPellimaxConformClient()
{
    if (!m_hModule || m_nClient == 0) return;
    CFastSingleLock lock(&libraryLock(), TRUE);
    m_pfnDestroyProjectClient(m_nClient);
}

bool CPellimaxConformClient::bind()
{
    CFastSingleLock lock(&libraryLock(), TRUE);
    CLocalMachineRegistryObject machine{CString()};
    if (machine.ValueExists(kSwitchKey, "ServerName")) {
        machine.GetString(kSwitchKey, "ServerName", m_strServerName, s_szDefaultServerName);
    } else {
        m_strServerName = s_szDefaultServerName;
        machine.SetString(kSwitchKey, "ServerName", m_strServerName);
        machine.GetInt(kFeatureKey, "Trim", m_nTrim, 0);
        machine.GetInt(kFeatureKey, "Edit", m_nEdit, 0);
    }
    HMODULE module = LoadLibraryA(kLibraryName);
    if (!module) return false;
    m_pfnCreateControlClient = lookUp<PFN_TyvUnused>(module, "fnCreateTyvControlClient");
    m_pfnDestroyControlClient = lookUp<PFN_TyvUnused>(module, "fnDestroyTyvControlClient");
    m_pfnCreateMeteringClient = lookUp<PFN_TyvUnused>(module, "fnCreateTyvMeteringClient");
    m_pfnDestroyMeteringClient = lookUp<PFN_TyvUnused>(module, "fnDestroyTyvMeteringClient");
    m_pfnCreateProjectClient = lookUp<PFN_TyvCreateProjectClient>(module, "fnCreateTyvProjectClient");
    m_pfnDestroyProjectClient = lookUp<PFN_TyvDestroyProjectClient>(module, "fnDestroyTyvProjectClient");
    m_pfnCreateThinEditClient = lookUp<PFN_TyvUnused>(module, "fnCreateTyvThinEditClient");
    m_pfnDestroyThinEditClient = lookUp<PFN_TyvUnused>(module, "fnDestroyTyvThinEditClient");
    m_pfnCreateFullEditClient = lookUp<PFN_TyvUnused>(module, "fnCreateTyvFullEditClient");
    m_pfnInitiateReconform = lookUp<PFN_TyvInitiateReconform>(module, "fnInitiateReconform");
    m_pfnInitiateReconformCopy = m_pfnInitiateReconform;
    m_pfnAddConformEntry = lookUp<PFN_TyvAddConformEntry>(module, "fnAddConformEntry");
    m_pfnDoTheConform = lookUp<PFN_TyvDoTheConform>(module, "fnDoTheConform");
    // A library without an entry point that is called counts as no library at all.
    if (!m_pfnCreateProjectClient || !m_pfnDestroyProjectClient || !m_pfnInitiateReconform || !m_pfnAddConformEntry ||
        !m_pfnDoTheConform) {
        return false;
    }
    m_hModule = module;
    m_nCreateResult = m_pfnCreateProjectClient(&m_nClient, m_strServerName, &m_message);
    // Without a project client nothing more is called.
    if (m_nClient == 0) return true;
    setSampleRate();
    setFrameRate();
    return true;
}

void CPellimaxConformClient::setSampleRate()
{
    CFastSingleLock lock(&libraryLock(), TRUE);
    CCurrentUserRegistryObject user;
    user.GetInt(kPreferenceKey, "SampleRatePref", m_nSampleRate, 48000);
    std::printf("Set Pellimax Sample Rate %d", m_nSampleRate);
    std::fflush(stdout);
    m_pfnSetSystemSampleRate = lookUp<PFN_TyvSetSystemSampleRate>(m_hModule, "fnSetSystemSampleRate");
    if (!m_pfnSetSystemSampleRate) return;
    CString rate;
    rate.Format("%d", m_nSampleRate);
    m_pfnSetSystemSampleRate(m_nClient, rate, &m_message);
}

void CPellimaxConformClient::setFrameRate()
{
    CFastSingleLock lock(&libraryLock(), TRUE);
    m_Settings.Load();
    int dropFrame = 0;
    int rateCode = RateCodeFor(m_Settings.m_nTimecodeRate, dropFrame);
    std::printf("Set Pellimax Frame Rate = %d, Drop frames = %d\n", rateCode, dropFrame);
    std::fflush(stdout);
    m_pfnSetSystemFrameRate = lookUp<PFN_TyvSetSystemFrameRate>(m_hModule, "fnSetSystemFrameRate");
    if (!m_pfnSetSystemFrameRate) return;
    CString code;
    code.Format("%d", rateCode);
    m_pfnSetSystemFrameRate(m_nClient, code, dropFrame, &m_message);
}

long long CPellimaxConformClient::toFrames(long long units) const
{
    // Quarter frames on the small consoles; elsewhere hundredths of a second of the sample clock.
    if (CConsoleRegistryNames::IsSmallConsole()) return static_cast<long long>(static_cast<unsigned long long>(units) >> 2);
    CTimecodeValue value(m_Settings, FALSE);
    return std::llround(static_cast<double>(units) * value.GetFrameRate() / value.GetUnitsPerSecond());
}

void CPellimaxConformClient::sendEntries(const CSourceDestItemArray& sources, const CSourceDestItemArray& destinations)
{
    CFastSingleLock lock(&libraryLock(), TRUE);
    m_Settings.Load();
    if (m_nClient == 0) return;
    m_pfnInitiateReconform(m_nClient);
    std::unordered_map<int, INT_PTR> partner;
    for (INT_PTR i = destinations.GetSize() - 1; i >= 0; --i) partner[destinations[i].m_nPairingKey] = i;
    auto range = [](const CSourceDestItem& item, long long& in, long long& out) {
        long long start = item.m_nStart, length = item.m_nLength;
        if (start < 0 || length < 0 || start + length > INT_MAX) return false;
        in = start;
        out = start + length;
        return true;
    };
    int added = 0;
    for (INT_PTR i = 0; i < sources.GetSize(); ++i) {
        auto found = partner.find(sources[i].m_nPairingKey);
        if (found == partner.end()) continue;
        long long sourceIn, sourceOut, destinationIn, destinationOut;
        if (!range(sources[i], sourceIn, sourceOut) || !range(destinations[found->second], destinationIn, destinationOut)) continue;
        m_pfnAddConformEntry(m_nClient, -1, static_cast<int>(toFrames(sourceIn)), static_cast<int>(toFrames(sourceOut)),
                             static_cast<int>(toFrames(destinationIn)), static_cast<int>(toFrames(destinationOut)), &m_message);
        ++added;
    }
    if (added > 0) m_pfnDoTheConform(m_nClient, &m_message);
}
