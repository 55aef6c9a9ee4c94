// What the event texts read of the console and the operator's preferences.
#pragma once

/// The loaded console type (loading the console settings on first use).
int CurrentConsoleType();
/// The sample rate preference of the current user ("SampleRatePref"), 48000 when missing.
int ReadSampleRatePreference();
