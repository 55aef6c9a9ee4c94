// The (process, control, value) triple with which every automation event begins, and the words
// for it: control names, value display texts, and typed text back to a value.
#pragma once

#include "winport/CString.h"
#include "winport/WinTypes.h"

/// One byte of an event (its process or its control number) as a value object.
struct CEventByte {
    BYTE m_byte;
};
static_assert(sizeof(CEventByte) == 1);

/// The byte that a process or control value object holds.
inline BYTE GetEventByte(CEventByte b) { return b.m_byte; }
/// Constructs the process value object in place; it sets nothing.
inline void InitEventByte(CEventByte* b) { (void)b; }
/// Constructs the control value object in place; it sets nothing.
inline void InitControlByte(CEventByte* b) { (void)b; }

/// The value scale of the loaded console type: 4 on console types 1 to 7, else 1.
int GetValueScale();

class CTemplateSnapAutoEvent {
public:
    /// Leaves the fields as they are (the record is plain data).
    CTemplateSnapAutoEvent() = default;
    CTemplateSnapAutoEvent(BYTE process, BYTE control, short value)
        : m_Process{process}, m_Control{control}, m_Value(value)
    {
    }

    /// Makes sure the name tables are ready (they are fixed data; this sets a flag).
    static void InitialiseNames();
    static bool NamesInitialised();

    CEventByte GetProcess() const { return m_Process; }
    CEventByte GetControl() const { return m_Control; }
    short GetValue() const { return m_Value; }
    void SetValue(short value) { m_Value = value; }
    void SetProcess(BYTE process) { m_Process.m_byte = process; }
    void SetControl(BYTE control) { m_Control.m_byte = control; }

    /// The control's name on the loaded console type; "Unknown Event" outside the tables.
    CString GetEventName() const;
    /// The value's display text. units 0 leaves out the unit words; wholeHertz non-zero shows
    /// frequencies in whole hertz.
    void GetText(CString& text, int units, int wholeHertz) const;
    /// The value that a typed text stands for, limited to the control's range. Throws
    /// CNotSupportedException* for a control that takes no typed text.
    short GetValueFromText(const CString& text) const;
    /// True for the events whose times are shown with quarter frames (small consoles' switches).
    bool ShowsQuarterFrames() const;

    CEventByte m_Process;
    CEventByte m_Control;
    short m_Value;
};
static_assert(sizeof(CTemplateSnapAutoEvent) == 4);

/// Rewrites a 16-byte event record in place between layout 1 (time first) and layout 101 (the
/// current event record). Any other pair of layouts, or a size below 16, leaves it unchanged.
void ConvertRecordLayout(void* record, int fromLayout, int toLayout, unsigned size);
