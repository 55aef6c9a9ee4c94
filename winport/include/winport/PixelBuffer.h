// A picture as a plain array of 32-bit pixels, the form that pixel algorithms work on: each
// pixel is 4 bytes in memory order blue, green, red, reserved; rows run from the top row
// down with no padding, so the pixel at column x, row y is element y * width + x.
//
// Also the device-independent bitmap file (".bmp") reader and writer of this layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "winport/WinTypes.h"

/// One pixel of a 32-bit top-down bitmap.
struct RGBX {
    BYTE btBlue;
    BYTE btGreen;
    BYTE btRed;
    BYTE btUnused;
};
static_assert(sizeof(RGBX) == 4);

inline RGBX RgbxFromColour(COLORREF c) { return RGBX{GetBValue(c), GetGValue(c), GetRValue(c), 0}; }
inline COLORREF ColourFromRgbx(RGBX p) { return RGB(p.btRed, p.btGreen, p.btBlue); }

namespace winport {

class PixelBuffer {
public:
    /// Largest side accepted, so that width * height * 4 always fits the memory of a machine.
    static constexpr int kMaxSide = 16384;

    PixelBuffer() = default;
    /// All bytes 0. A size that is negative or above kMaxSide gives an empty buffer.
    PixelBuffer(int width, int height);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool Empty() const { return m_pixels.empty(); }
    RGBX* Data() { return m_pixels.data(); }
    const RGBX* Data() const { return m_pixels.data(); }
    size_t Count() const { return m_pixels.size(); }

    RGBX& At(int x, int y) { return m_pixels[static_cast<size_t>(y) * m_width + x]; }
    const RGBX& At(int x, int y) const { return m_pixels[static_cast<size_t>(y) * m_width + x]; }
    COLORREF GetPixel(int x, int y) const;  // CLR_INVALID outside

    /// Fills every pixel with one value: the first pixel, then the filled part of the first row
    /// doubled onto itself until the row is full, then the filled rows doubled the same way.
    void Fill(RGBX value);

    bool operator==(const PixelBuffer& o) const;

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<RGBX> m_pixels;
};

/// Fills count pixels at `pixels` (rows of `width`) by the doubling rule above.
void FillPixels(RGBX* pixels, int width, int height, RGBX value);

/// Reads a bitmap file held in memory: the 14-byte file header, an information header of 12
/// (core), 40, 52, 56, 108 or 124 bytes, 1, 4, 8, 16, 24 or 32 bits per pixel, uncompressed
/// or with bit fields, bottom-up or top-down (run-length encoded files are refused). Every size,
/// count and offset is checked against the bytes given; anything that does not hold gives
/// false and leaves `out` untouched. Pixels come out with 0 in the reserved byte.
bool ReadBitmapFile(const BYTE* data, size_t size, PixelBuffer& out);
/// A 32-bit bottom-up bitmap file of the pixels (the reserved bytes written as they are).
std::vector<BYTE> WriteBitmapFile(const PixelBuffer& pixels);

}  // namespace winport

#ifndef CLR_INVALID
#define CLR_INVALID 0xFFFFFFFFu
#endif
