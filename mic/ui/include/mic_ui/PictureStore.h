// The program's pictures, found by their resource ids: the channel switches, rack buttons and
// rack numbers, gain read-outs and labels, rack states, the digits, the enlarged read-out's
// digits, gain steps and switches, the MIDI setups' rack and row pictures and the tray's
// animation strip. Each is drawn here once, on first use, and kept as the bytes of a bitmap
// file, so that it loads the way a picture file does. Parts that a button shows transparent are
// filled with that button's mask colour.
#pragma once

#include <QPixmap>
#include <vector>

#include "winport/WinTypes.h"

namespace PictureStore {

/// Mask colours: the black bitmap buttons' (red 192, green 192, blue 0) and the tray strip's.
constexpr COLORREF kBlackButtonMask = 0x0000C0C0;
constexpr COLORREF kTrayMask = 0x00808000;

/// The bitmap file of the picture; empty for an id the program has no picture for.
const std::vector<BYTE>& Bytes(UINT id);
bool Has(UINT id);
/// The picture with its mask colour (the black buttons') transparent, made once per id;
/// null for an id the program has no picture for. User-interface thread only.
QPixmap Pixmap(UINT id);

}  // namespace PictureStore
