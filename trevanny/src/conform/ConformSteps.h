// Steps that every way of conforming shares.
#pragma once

#include "trevanny/AutomationEventArray.h"
#include "trevanny/AutomationPackage.h"

/// The notifications a conform posts before each item: the item's number, and the percent of
/// the items done.
constexpr WPARAM kConformItemNotification = 28;
constexpr WPARAM kConformPercentNotification = 27;
/// The route process of a pass that names none of its own.
constexpr int kDefaultFirstRouteProcess = 2000;

/// The first route process a package names, or kDefaultFirstRouteProcess (also for no package).
int ConformFirstRouteProcess(const CAutomationPackage* package);
/// Notification kConformItemNotification with `item`, then kConformPercentNotification with
/// done of count (a count below 1 counts as 1).
void PostConformItem(int item, int done, int count);

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
