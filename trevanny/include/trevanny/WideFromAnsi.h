// Byte text of the system (Windows-1252) to wide text.
#pragma once

/// Converts `text` (a null text counts as empty) into a new block of its length plus one wide
/// characters, ended by a zero, and stores the block in *out. The block is allocated with
/// new[]: the caller frees it with delete[].
void WideFromAnsi(const char* text, wchar_t** out);
