// The remote conform client: hands a conform's (source, destination) ranges to the outside
// conform system through its library "TyvRemoteClient.dll" (TyvRemoteClient.h), when the
// current user's "AutoConform" switch is on. Construction does the whole exchange: bind the
// library and create a project client on the configured server, send the sample and frame
// rates, send one entry per source that has a destination with its pairing key, and run the
// conform; destruction destroys the project client. The library is never unloaded.
//
// Every call into the library, from any client object of the process, runs under one
// process-wide lock: a bind with its rates, a send of entries and a destruction are each whole.
#pragma once

#include "trevanny/SourceDestItem.h"
#include "trevanny/TimecodeSettings.h"
#include "trevanny/TyvRemoteClient.h"
#include "winport/CString.h"
#include "winport/Module.h"

class CPellimaxConformClient {
public:
    /// Written as "ServerName" when the value is missing.
    static const char* const s_szDefaultServerName;  // "localhost"

    /// The arrays are only read. Positions are in the automation time unit (quarter frames on
    /// console types 1 and 6, hundredths of a second otherwise) and reach the library in frames;
    /// a pair with a negative start or length, or an end beyond the int range, is not sent.
    CPellimaxConformClient(CSourceDestItemArray& sources, CSourceDestItemArray& destinations);
    ~CPellimaxConformClient();
    CPellimaxConformClient(const CPellimaxConformClient&) = delete;
    CPellimaxConformClient& operator=(const CPellimaxConformClient&) = delete;

    /// True when the library was loaded with every entry point that is called.
    bool IsBound() const { return m_hModule != nullptr; }
    int GetProjectClient() const { return m_nClient; }
    const CString& GetServerName() const { return m_strServerName; }
    int GetTrim() const { return m_nTrim; }
    int GetEdit() const { return m_nEdit; }
    /// The library's rate code and drop-frame flag for a timecode rate.
    static int RateCodeFor(int timecodeRate, int& dropFrame);

private:
    bool bind();
    void setSampleRate();
    void setFrameRate();
    void sendEntries(const CSourceDestItemArray& sources, const CSourceDestItemArray& destinations);
    // A position in the automation time unit -> frames.
    long long toFrames(long long units) const;

    HMODULE m_hModule = nullptr;
    TyvMessage m_message{};
    CString m_strServerName;
    int m_nClient = 0;
    int m_nSampleRate = 48000;
    int m_nTrim = 0;
    int m_nEdit = 0;
    PFN_TyvUnused m_pfnCreateControlClient = nullptr;
    PFN_TyvUnused m_pfnDestroyControlClient = nullptr;
    PFN_TyvUnused m_pfnCreateMeteringClient = nullptr;
    PFN_TyvUnused m_pfnDestroyMeteringClient = nullptr;
    PFN_TyvCreateProjectClient m_pfnCreateProjectClient = nullptr;
    PFN_TyvDestroyProjectClient m_pfnDestroyProjectClient = nullptr;
    PFN_TyvUnused m_pfnCreateThinEditClient = nullptr;
    PFN_TyvUnused m_pfnDestroyThinEditClient = nullptr;
    PFN_TyvUnused m_pfnCreateFullEditClient = nullptr;
    PFN_TyvInitiateReconform m_pfnInitiateReconform = nullptr;
    PFN_TyvAddConformEntry m_pfnAddConformEntry = nullptr;
    PFN_TyvDoTheConform m_pfnDoTheConform = nullptr;
    PFN_TyvInitiateReconform m_pfnInitiateReconformCopy = nullptr;
    int m_nCreateResult = 0;
    PFN_TyvSetSystemFrameRate m_pfnSetSystemFrameRate = nullptr;
    PFN_TyvSetSystemSampleRate m_pfnSetSystemSampleRate = nullptr;
    CTimecodeSettings m_Settings;
};
