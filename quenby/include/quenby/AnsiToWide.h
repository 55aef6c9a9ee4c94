// Byte text of the system (Windows-1252) to wide text, for the client objects.
#pragma once

/// Converts the whole text (without its terminator) into a new zero-terminated block of wide
/// characters, allocated with new[], and stores it in *out; the caller frees it with delete[].
/// A null text counts as empty.
void AnsiToWide(const char* text, wchar_t** out);
