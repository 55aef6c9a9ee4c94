// The event streams of a compound file ("AutomationData" and "Path Mode") on a file that is
// already open, so that a whole mix pass is written and read through one open of its file.
#pragma once

#include "trevanny/AutomationEventArray.h"
#include "trevanny/AutomationStreams.h"

/// Writes "AutomationData" and, once it is written, "Path Mode". False when "AutomationData"
/// could not be written.
bool WriteEventStreams(AutomationStorage& storage, const CAutomationEventArray& events);
/// Reads the events of an open file into `loaded` (replacing its elements) only when they were
/// read whole. FALSE when "AutomationData" is missing, damaged (storage.SawDamage() tells), or
/// of a path mode this console does not take; `loaded` is then unchanged.
BOOL ReadEventRecords(AutomationStorage& storage, CArray<CAutomationEvent, const CAutomationEvent&>& loaded, int& pathMode);
/// CAutomationEventArray::Load on an open file.
BOOL ReadEventStreams(AutomationStorage& storage, CAutomationEventArray& events, int& pathMode);
