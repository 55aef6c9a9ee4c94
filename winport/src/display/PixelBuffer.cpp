#include "winport/PixelBuffer.h"

#include <cstring>

namespace winport {

PixelBuffer::PixelBuffer(int width, int height)
{
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return;
    m_width = width;
    m_height = height;
    m_pixels.assign(static_cast<size_t>(width) * height, RGBX{0, 0, 0, 0});
}

COLORREF PixelBuffer::GetPixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return CLR_INVALID;
    return ColourFromRgbx(At(x, y));
}

void PixelBuffer::Fill(RGBX value) { FillPixels(m_pixels.data(), m_width, m_height, value); }

bool PixelBuffer::operator==(const PixelBuffer& o) const
{
    return m_width == o.m_width && m_height == o.m_height &&
           (m_pixels.empty() || std::memcmp(m_pixels.data(), o.m_pixels.data(), m_pixels.size() * sizeof(RGBX)) == 0);
}

void FillPixels(RGBX* pixels, int width, int height, RGBX value)
{
    if (!pixels || width <= 0 || height <= 0) return;
    pixels[0] = value;
    size_t done = 1;
    const size_t row = static_cast<size_t>(width);
    while (done < row) {
        size_t n = done < row - done ? done : row - done;
        std::memcpy(pixels + done, pixels, n * sizeof(RGBX));
        done += n;
    }
    const size_t total = row * static_cast<size_t>(height);
    while (done < total) {
        size_t n = done < total - done ? done : total - done;
        std::memcpy(pixels + done, pixels, n * sizeof(RGBX));
        done += n;
    }
}

namespace {

uint32_t le16(const BYTE* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const BYTE* p) { return le16(p) | le16(p + 2) << 16; }
void put16(std::vector<BYTE>& v, uint32_t x) { v.push_back(BYTE(x)); v.push_back(BYTE(x >> 8)); }
void put32(std::vector<BYTE>& v, uint32_t x) { put16(v, x & 0xffff); put16(v, x >> 16); }

// One colour channel from a masked field, scaled to 0..255.
BYTE fromMask(uint32_t value, uint32_t mask)
{
    if (mask == 0) return 0;
    int shift = 0;
    while (!(mask & 1u)) { mask >>= 1; ++shift; }
    int bits = 0;
    while (bits < 32 && (mask & (1u << bits))) ++bits;
    const uint32_t v = (value >> shift) & mask;
    if (bits >= 8) return BYTE(v >> (bits - 8));
    const uint32_t max = (1u << bits) - 1;
    return BYTE((v * 255 + max / 2) / max);
}

const uint32_t BI_RGB_ = 0, BI_BITFIELDS_ = 3;

}  // namespace

bool ReadBitmapFile(const BYTE* data, size_t size, PixelBuffer& out)
{
    if (!data || size < 14 + 12 || data[0] != 'B' || data[1] != 'M') return false;
    const uint32_t pixelOffset = le32(data + 10);
    const BYTE* info = data + 14;
    const uint32_t infoSize = le32(info);
    if (infoSize < 12 || infoSize > size - 14) return false;

    int64_t width, height;
    uint32_t bits, compression = BI_RGB_, paletteCount = 0;
    size_t paletteEntry;
    if (infoSize == 12) {
        width = le16(info + 4);
        height = static_cast<int16_t>(le16(info + 6));
        bits = le16(info + 10);
        paletteEntry = 3;
    } else if (infoSize >= 40) {
        width = static_cast<int32_t>(le32(info + 4));
        height = static_cast<int32_t>(le32(info + 8));
        bits = le16(info + 14);
        compression = le32(info + 16);
        paletteCount = le32(info + 32);
        paletteEntry = 4;
    } else {
        return false;
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > PixelBuffer::kMaxSide || height > PixelBuffer::kMaxSide) return false;

    // Channel masks: from the header (V4/V5 or 52/56-byte headers), after a 40-byte header
    // with bit fields, or the defaults.
    uint32_t masks[3] = {0, 0, 0};
    size_t paletteStart = 14 + infoSize;
    if (bits == 16) { masks[0] = 0x7c00; masks[1] = 0x03e0; masks[2] = 0x001f; }
    if (bits == 32) { masks[0] = 0xff0000; masks[1] = 0x00ff00; masks[2] = 0x0000ff; }
    if (compression == BI_BITFIELDS_) {
        if (bits != 16 && bits != 32) return false;
        if (infoSize >= 52) {
            for (int i = 0; i < 3; ++i) masks[i] = le32(info + 40 + 4 * i);
        } else {
            if (size < paletteStart + 12) return false;
            for (int i = 0; i < 3; ++i) masks[i] = le32(data + paletteStart + 4 * i);
            paletteStart += 12;
        }
    } else if (compression != BI_RGB_) {
        return false;  // run-length and embedded formats are not read here
    }

    std::vector<RGBX> palette;
    if (bits == 1 || bits == 4 || bits == 8) {
        const uint32_t maxColours = 1u << bits;
        uint32_t count = (paletteCount == 0 || paletteCount > maxColours) ? maxColours : paletteCount;
        // Writers that leave the count at 0 often store only the colours they use: take what
        // lies between the header and the pixels (missing entries are black).
        if (pixelOffset > paletteStart && (pixelOffset - paletteStart) / paletteEntry < count)
            count = static_cast<uint32_t>((pixelOffset - paletteStart) / paletteEntry);
        if (size < paletteStart || (size - paletteStart) / paletteEntry < count) return false;
        palette.resize(maxColours, RGBX{0, 0, 0, 0});
        for (uint32_t i = 0; i < count; ++i) {
            const BYTE* p = data + paletteStart + i * paletteEntry;
            palette[i] = RGBX{p[0], p[1], p[2], 0};
        }
    } else if (bits != 16 && bits != 24 && bits != 32) {
        return false;
    }

    const uint64_t stride = ((uint64_t(width) * bits + 31) / 32) * 4;
    if (pixelOffset > size || (size - pixelOffset) / stride < uint64_t(height)) return false;

    PixelBuffer result(static_cast<int>(width), static_cast<int>(height));
    for (int64_t row = 0; row < height; ++row) {
        const BYTE* src = data + pixelOffset + stride * uint64_t(row);
        const int y = static_cast<int>(topDown ? row : height - 1 - row);
        for (int x = 0; x < width; ++x) {
            RGBX px{0, 0, 0, 0};
            switch (bits) {
            case 1: px = palette[(src[x >> 3] >> (7 - (x & 7))) & 1]; break;
            case 4: px = palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xf]; break;
            case 8: px = palette[src[x]]; break;
            case 24: px = RGBX{src[3 * x], src[3 * x + 1], src[3 * x + 2], 0}; break;
            case 16: {
                const uint32_t v = le16(src + 2 * x);
                px = RGBX{fromMask(v, masks[2]), fromMask(v, masks[1]), fromMask(v, masks[0]), 0};
                break;
            }
            default: {
                const uint32_t v = le32(src + 4 * x);
                px = RGBX{fromMask(v, masks[2]), fromMask(v, masks[1]), fromMask(v, masks[0]), 0};
                break;
            }
            }
            result.At(x, y) = px;
        }
    }
    out = std::move(result);
    return true;
}

std::vector<BYTE> WriteBitmapFile(const PixelBuffer& pixels)
{
    std::vector<BYTE> file;
    const uint32_t imageSize = static_cast<uint32_t>(pixels.Count() * 4);
    file.reserve(54 + imageSize);
    file.push_back('B');
    file.push_back('M');
    put32(file, 54 + imageSize);
    put32(file, 0);
    put32(file, 54);
    put32(file, 40);
    put32(file, static_cast<uint32_t>(pixels.Width()));
    put32(file, static_cast<uint32_t>(pixels.Height()));
    put16(file, 1);
    put16(file, 32);
    put32(file, BI_RGB_);
    put32(file, imageSize);
    put32(file, 2835);  // 72 dots per inch
    put32(file, 2835);
    put32(file, 0);
    put32(file, 0);
    for (int y = pixels.Height() - 1; y >= 0; --y)
        for (int x = 0; x < pixels.Width(); ++x) {
            const RGBX& p = pixels.At(x, y);
            file.insert(file.end(), {p.btBlue, p.btGreen, p.btRed, p.btUnused});
        }
    return file;
}

}  // namespace winport
