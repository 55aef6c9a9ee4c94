#include "trevanny/ServerLinkConfig.h"

#include "winport/RegistryObject.h"

namespace {

const char kServerKey[] = "SOFTWARE\\VOKDWEN\\KIVSERVER";
const char kTransputerDelayKey[] = "SOFTWARE\\Vok Dwen\\TransputerDelay";

// Defaults of the per-link values: links 0 and 1 are the console's own links.
int defaultLinkType(int link) { return link < 2 ? 0 : 1; }
BYTE defaultLinkLoopback(int link) { return link < 2 ? 0 : 1; }
int defaultLinkNumber(int link) { return link; }

CString linkValueName(const char* format, int link)
{
    CString name;
    name.Format(format, link);
    return name;
}

}  // namespace

CServerLinkConfig::CServerLinkConfig()
{
    for (int i = 0; i < kLinkCount; ++i) {
        m_nLinkType[i] = defaultLinkType(i);
        m_nLinkNumber[i] = defaultLinkNumber(i);
        m_bLinkLoopback[i] = defaultLinkLoopback(i);
    }
    m_nQuillomLinkType = 0;
    m_nTimeout = 213;
    m_nTransputerDelay = 20;
    m_bQuillomReboot = 0;
    m_bQuillomEnable = 0;
    m_bMerrowinEnable = 0;
    m_bPontrelEnable = 0;
    m_bUnused = 0;
    m_bSharedMemComms = 1;
    m_bPontrelLoopback = 0;
}

CServerLinkConfig CServerLinkConfig::Read()
{
    CLocalMachineRegistryObject registry(CString{});
    const CString key(kServerKey);

    int debugMachine = 0;
    registry.GetInt(key, "DebugMachine", debugMachine, 0);
    registry.GetInt(key, "QuillomLinkType", m_nQuillomLinkType, 0);
    registry.GetBool(key, "QuillomReboot", m_bQuillomReboot, 0);
    registry.GetBool(key, "QuillomEnable", m_bQuillomEnable, 0);
    registry.GetBool(key, "MerrowinEnable", m_bMerrowinEnable, 0);
    registry.GetBool(key, "PontrelEnable", m_bPontrelEnable, 0);
    registry.GetInt(key, "Timeout", m_nTimeout, 213);
    registry.GetBool(key, "SharedMemComms", m_bSharedMemComms, 1);
    registry.GetBool(key, "PontrelLoopback", m_bPontrelLoopback, 0);
    if (debugMachine == 0) m_bPontrelLoopback = 0;
    registry.GetInt(kTransputerDelayKey, "Value", m_nTransputerDelay, 20);

    int version = 0;
    registry.GetInt(key, "Version", version, 0);
    int firstLink = 0;
    if (version == 0) {
        // The old form names links 1 (the card link) and 0 (the FSS link) by their own values
        // and has no link 2.
        registry.GetInt(key, "CardLinkType", m_nLinkType[1], 0);
        registry.GetBool(key, "AutoLoopbackMode", m_bLinkLoopback[1], 0);
        registry.GetInt(key, "AutoLinkNo", m_nLinkNumber[1], 1);
        registry.GetInt(key, "CardFSSLinkType", m_nLinkType[0], 0);
        registry.GetBool(key, "FSSLoopbackMode", m_bLinkLoopback[0], 0);
        registry.GetInt(key, "FSSLinkNo", m_nLinkNumber[0], 0);
        firstLink = 3;
    }
    for (int i = firstLink; i < kLinkCount; ++i) {
        registry.GetInt(key, linkValueName("Link Type %d", i), m_nLinkType[i], defaultLinkType(i));
        registry.GetBool(key, linkValueName("Link Loopback %d", i), m_bLinkLoopback[i], defaultLinkLoopback(i));
        registry.GetInt(key, linkValueName("Link Number %d", i), m_nLinkNumber[i], defaultLinkNumber(i));
    }
    if (version == 0) {
        // Once "Version" is 1 the old names are no longer read: carry links 0 and 1 over to
        // their per-link names first, so that the next reading finds the same links.
        for (int i = 0; i < 2; ++i) {
            registry.SetInt(key, linkValueName("Link Type %d", i), m_nLinkType[i]);
            registry.SetBool(key, linkValueName("Link Loopback %d", i), m_bLinkLoopback[i]);
            registry.SetInt(key, linkValueName("Link Number %d", i), m_nLinkNumber[i]);
        }
    }
    registry.SetInt(key, "Version", 1);
    return *this;
}
