// The automation event: at this time, on this path, this control of this process took this
// value. A plain 16-byte record; arrays of it are stored and sent whole, so its layout is a
// stored format:
//
//   0  u8   process        4  u32  path         12 u8   flags (carried, never interpreted)
//   1  u8   control        8  i32  time         13 u8   reserved: always 0
//   2  i16  value                               14 u16  old value (the value before this event)
//
// Times are in the console's automation time unit.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

#include "trevanny/TemplateSnapAutoEvent.h"
#include "winport/WinTypes.h"

class CAutomationEvent : public CTemplateSnapAutoEvent {
public:
    /// Every field 0; makes sure the event-name tables are ready.
    CAutomationEvent() noexcept
        : CTemplateSnapAutoEvent(0, 0, 0), m_Path(0), m_Time(0), m_Flags(0), m_OldValue(0)
    {
        EnsureNames();
    }
    CAutomationEvent(long time, DWORD path, BYTE process, BYTE control, short value, BYTE flags = 0,
                     WORD oldValue = 0) noexcept
        : CTemplateSnapAutoEvent(process, control, value),
          m_Path(path),
          m_Time(static_cast<int32_t>(time)),
          m_Flags(flags),
          m_OldValue(oldValue)
    {
        EnsureNames();
    }
    // Copies are plain copies of the 16 bytes: byte 13 is 0 in every event, so copying it is
    // the same as leaving it out, and the array can move events as raw memory.

    long GetTime() const { return m_Time; }
    void SetTime(long time) { m_Time = static_cast<int32_t>(time); }
    DWORD GetPath() const { return m_Path; }
    void SetPath(DWORD path) { m_Path = path; }
    BYTE GetProcessNumber() const { return m_Process.m_byte; }
    BYTE GetControlNumber() const { return m_Control.m_byte; }
    BYTE GetFlags() const { return m_Flags; }
    void SetFlags(BYTE flags) { m_Flags = flags; }
    WORD GetOldValue() const { return m_OldValue; }
    void SetOldValue(WORD value) { m_OldValue = value; }
    /// The reserved byte 13 (0 unless raw bytes were written over the event).
    BYTE GetReserved() const { return m_Reserved; }
    /// Clears the reserved byte, for events that came in as raw bytes.
    void ClearReserved() { m_Reserved = 0; }

    /// Same path, process and control.
    bool IsSameControl(const CAutomationEvent& other) const
    {
        return m_Path == other.m_Path && m_Process.m_byte == other.m_Process.m_byte &&
               m_Control.m_byte == other.m_Control.m_byte;
    }

    void DebugMe() const {}

    DWORD m_Path;
    int32_t m_Time;
    BYTE m_Flags;

private:
    BYTE m_Reserved = 0;

public:
    WORD m_OldValue;

private:
    static void EnsureNames()
    {
        // A relaxed load: the names are fixed data, the flag only has to be set once.
        static std::atomic<bool> ready{false};
        if (!ready.load(std::memory_order_relaxed)) {
            InitialiseNames();
            ready.store(true, std::memory_order_relaxed);
        }
    }
};
static_assert(sizeof(CAutomationEvent) == 16);
static_assert(std::is_trivially_copyable_v<CAutomationEvent>);
