#include "ui/ImageProcessors.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using winport::PixelBuffer;

CSize C32BitImageProcessor::CalcDestSize(CSize sizeSrc) { return sizeSrc; }

BOOL C32BitImageProcessor::ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize /*sizeDest*/)
{
    if (sizeSrc.cx > 0 && sizeSrc.cy > 0)
        std::memcpy(pDestPixels, pSrcPixels, static_cast<size_t>(sizeSrc.cx) * sizeSrc.cy * sizeof(RGBX));
    return TRUE;
}

RGBX C32BitImageProcessor::SamplePixel(const RGBX* pPixels, int nWidth, int nHeight, double x, double y)
{
    auto at = [&](int px, int py) -> const RGBX& {
        px = std::clamp(px, 0, nWidth - 1);
        py = std::clamp(py, 0, nHeight - 1);
        return pPixels[static_cast<size_t>(py) * nWidth + px];
    };
    // Truncation toward zero, kept within the picture (a point that repeated additions carried
    // onto the far edge still reads the last pixel).
    if (!std::isfinite(x)) x = 0.0;
    if (!std::isfinite(y)) y = 0.0;
    const double tx = std::trunc(std::clamp(x, -1.0, double(nWidth)));
    const double ty = std::trunc(std::clamp(y, -1.0, double(nHeight)));
    const int x0 = static_cast<int>(tx), y0 = static_cast<int>(ty);
    if (x < 0 || y < 0) return at(std::max(x0, 0), std::max(y0, 0));

    const double fx = std::clamp(x - tx, 0.0, 1.0), fy = std::clamp(y - ty, 0.0, 1.0);
    const RGBX& a = at(x0, y0);
    const RGBX& b = at(std::min(x0 + 1, nWidth - 1), y0);
    const RGBX& d = at(x0, std::min(y0 + 1, nHeight - 1));
    auto mix = [&](BYTE ca, BYTE cb, BYTE cd) {
        return static_cast<BYTE>(std::trunc((ca * (1 - fx) + cb * fx + ca * (1 - fy) + cd * fy) / 2));
    };
    return RGBX{mix(a.btBlue, b.btBlue, d.btBlue), mix(a.btGreen, b.btGreen, d.btGreen),
                mix(a.btRed, b.btRed, d.btRed), 0};
}

CImageResizer::CImageResizer(double dFactor)
    : C32BitImageProcessor(dFactor > 1.0), m_dFactor(dFactor)
{
}

bool CImageResizer::IsFactorUsable(double dFactor) { return std::isfinite(dFactor) && dFactor > 0.0; }

CSize CImageResizer::CalcDestSize(CSize sizeSrc)
{
    if (!IsFactorUsable(m_dFactor)) return CSize(0, 0);
    auto scaled = [&](LONG n) -> LONG {
        const double p = n * m_dFactor;
        if (!(p < double(PixelBuffer::kMaxSide) * 2)) return PixelBuffer::kMaxSide * 2;  // too large: refused later
        LONG whole = static_cast<LONG>(p);
        return (p - whole > 0) ? whole + 1 : whole;
    };
    return CSize(scaled(sizeSrc.cx), scaled(sizeSrc.cy));
}

BOOL CImageResizer::ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest)
{
    if (!IsFactorUsable(m_dFactor)) return FALSE;
    if (sizeSrc.cx <= 0 || sizeSrc.cy <= 0 || sizeDest.cx <= 0 || sizeDest.cy <= 0) return TRUE;
    if (m_dFactor == 1.0) return C32BitImageProcessor::ProcessPixels(pSrcPixels, sizeSrc, pDestPixels, sizeDest);
    if (m_dFactor > 1.0)
        Enlarge(pSrcPixels, sizeSrc, pDestPixels, sizeDest);
    else
        Shrink(pSrcPixels, sizeSrc, pDestPixels, sizeDest);
    return TRUE;
}

void CImageResizer::Enlarge(const RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest)
{
    const double step = 1.0 / m_dFactor;
    double xs = 0.0;
    for (int x = 0; x < sizeDest.cx; ++x, xs += step) {
        double ys = 0.0;
        for (int y = 0; y < sizeDest.cy; ++y, ys += step)
            pDestPixels[static_cast<size_t>(y) * sizeDest.cx + x] = SamplePixel(pSrcPixels, sizeSrc.cx, sizeSrc.cy, xs, ys);
    }
}

void CImageResizer::Shrink(const RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest)
{
    const double step = 1.0 / m_dFactor;
    int xEnd = -1;
    double xPos = -step / 2;
    for (int x = 0; x < sizeDest.cx; ++x) {
        const int xStart = xEnd + 1;
        xPos += step;
        xEnd = static_cast<int>(std::min<double>(std::trunc(xPos) + 1, sizeSrc.cx - 1));
        int yEnd = -1;
        double yPos = -step / 2;
        for (int y = 0; y < sizeDest.cy; ++y) {
            const int yStart = yEnd + 1;
            yPos += step;
            yEnd = static_cast<int>(std::min<double>(std::trunc(yPos) + 1, sizeSrc.cy - 1));
            if (xStart > xEnd || yStart > yEnd) continue;  // nothing left: keeps the background
            uint64_t red = 0, green = 0, blue = 0, count = 0;
            for (int sy = yStart; sy <= yEnd; ++sy)
                for (int sx = xStart; sx <= xEnd; ++sx) {
                    const RGBX& p = pSrcPixels[static_cast<size_t>(sy) * sizeSrc.cx + sx];
                    red += p.btRed;
                    green += p.btGreen;
                    blue += p.btBlue;
                    ++count;
                }
            RGBX& d = pDestPixels[static_cast<size_t>(y) * sizeDest.cx + x];
            d.btRed = static_cast<BYTE>(red / count);
            d.btGreen = static_cast<BYTE>(green / count);
            d.btBlue = static_cast<BYTE>(blue / count);
        }
    }
}

namespace {

RGBX BackgroundFill(COLORREF background)
{
    if (background == CLR_INVALID || background == RGB(255, 255, 255)) return RGBX{255, 255, 255, 255};
    if (background == 0) return RGBX{0, 0, 0, 0};
    return RgbxFromColour(background);
}

bool UsableSize(CSize s)
{
    return s.cx > 0 && s.cy > 0 && s.cx <= PixelBuffer::kMaxSide && s.cy <= PixelBuffer::kMaxSide;
}

}  // namespace

BOOL ProcessPixelChain(const PixelBuffer& source, const std::vector<C32BitImageProcessor*>& processors,
                       COLORREF background, PixelBuffer& result)
{
    if (source.Empty()) return FALSE;
    if (processors.empty()) {
        result = source;
        return TRUE;
    }
    // The working size: the largest width and height met along the chain.
    CSize size(source.Width(), source.Height()), working = size;
    for (C32BitImageProcessor* p : processors) {
        if (!p) return FALSE;
        size = p->CalcDestSize(size);
        if (!UsableSize(size)) return FALSE;
        working.cx = std::max(working.cx, size.cx);
        working.cy = std::max(working.cy, size.cy);
    }
    const RGBX fill = BackgroundFill(background);
    const size_t workingCount = static_cast<size_t>(working.cx) * working.cy;
    std::vector<RGBX> src(source.Data(), source.Data() + source.Count());
    std::vector<RGBX> dest(workingCount);
    winport::FillPixels(dest.data(), working.cx, working.cy, fill);

    CSize sizeSrc(source.Width(), source.Height()), sizeDest;
    bool first = true;
    for (C32BitImageProcessor* p : processors) {
        if (!first) {
            // The previous result is the next source.
            src.assign(dest.begin(), dest.begin() + static_cast<ptrdiff_t>(sizeDest.cx) * sizeDest.cy);
            sizeSrc = sizeDest;
            winport::FillPixels(dest.data(), working.cx, working.cy, fill);
        }
        first = false;
        sizeDest = p->CalcDestSize(sizeSrc);
        if (!p->ProcessPixels(src.data(), sizeSrc, dest.data(), sizeDest)) return FALSE;
    }
    PixelBuffer out(sizeDest.cx, sizeDest.cy);
    if (out.Empty()) return FALSE;
    std::memcpy(out.Data(), dest.data(), out.Count() * sizeof(RGBX));
    result = std::move(out);
    return TRUE;
}
