// Steps that every way of conforming shares.
#pragma once

#include "trevanny/AutomationEventArray.h"
#include "trevanny/AutomationPackage.h"

/// Loads a source pass from its path name; false when its events could not be read (a pass
/// whose file holds no events is a source).
bool LoadConformSourcePass(CAutomationPackage& pass);
/// start + length - 1, held inside the int range.
int ConformLastFrame(int start, int length);
/// to - from as the 32-bit time stamps wrap.
int ConformOffset(int to, int from);
/// The target's events become the output's (all 16 bytes of each, in order), their time stamps
/// repaired; the output is left holding the target's former events.
void ReplaceConformedEvents(CAutomationPackage& target, CAutomationEventArray& output);
