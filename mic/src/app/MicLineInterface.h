// The server's mic-line data to mic: a mic-line client object that keeps the newest record of
// the console's mic lines and tells the main dialog, with one posted "ButtonFromCantle", that
// a record has come.
#pragma once

#include "base/ProgramConstants.h"
#include "quenby/MicLineKIVObject.h"
#include "winport/FastLock.h"

/// Posted (0, 0) to the main dialog when a mic-line record has come.
extern CRegisteredMessage g_msgButtonFromCantle;  // "ButtonFromCantle"

/// The server's record of the console's mic lines: entry i (4 bytes) is mic line i + 1.
struct MicLineRecord {
    static constexpr int kLines = 120;
    static constexpr int kEntrySize = 4;
    static constexpr int kSize = kLines * kEntrySize;
    // Bytes of an entry.
    static constexpr int kPhantOff = 0;  // 0: phantom power on, any other value off
    static constexpr int kPad = 1;       // non-zero: Pad on
    static constexpr int kGain = 2;      // gain step, counted as 3 to 13
    static constexpr int kSelected = 3;  // non-zero while the line is selected at the console

    BYTE bytes[kSize] = {};

    const BYTE* Entry(int line) const { return bytes + line * kEntrySize; }
};

class CMicLineInterface : public CMicLineKIVObject {
public:
    /// Connects (enabled) and notifies owner, if any, of each record.
    explicit CMicLineInterface(HWND owner = nullptr);
    ~CMicLineInterface() override;

    /// Keeps the record of a reply (bytes 16 to 495; a shorter block is ignored) and posts
    /// "ButtonFromCantle" to the owner unless one is still waiting to be taken. Runs on
    /// whichever thread delivers the reply.
    int OnLinkIn(_CommsStructure* block) override;
    CString GetName() override { return "MicLineKIV"; }

    /// The lock that guards the record.
    CFastCriticalSection* GetLock() { return &m_lock; }
    /// Copies the newest record under the lock; the next record that comes is announced again.
    /// FALSE, and nothing copied, while no record has come.
    BOOL TakeRecord(MicLineRecord& record);

private:
    HWND m_hOwner;
    CFastCriticalSection m_lock;
    MicLineRecord m_record;
    bool m_bReceived = false;
    /// A "ButtonFromCantle" waits in the owner's queue.
    bool m_bAnnounced = false;
};
