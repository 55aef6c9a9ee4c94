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

// ---- The filters ---------------------------------------------------------------------------

namespace {

constexpr double kPi = 3.14159265358979323846;

size_t IndexOf(int x, int y, int width) { return static_cast<size_t>(y) * width + x; }

size_t PixelCount(CSize s) { return (s.cx > 0 && s.cy > 0) ? static_cast<size_t>(s.cx) * s.cy : 0; }

BYTE ClampChannel(double v) { return static_cast<BYTE>(std::trunc(std::clamp(v, 0.0, 255.0))); }

// Sine and cosine, exact at the quarter turns, so that a picture turned by 90, 180 or 270
// degrees lands on whole pixels rather than a hair beside them.
void QuarterExactSinCos(double radians, double& s, double& c)
{
    s = std::sin(radians);
    c = std::cos(radians);
    auto snap = [](double v) {
        if (std::fabs(v) < 1e-12) return 0.0;
        if (std::fabs(v - 1.0) < 1e-12) return 1.0;
        if (std::fabs(v + 1.0) < 1e-12) return -1.0;
        return v;
    };
    s = snap(s);
    c = snap(c);
}

// The pixel that the shearer puts at a point of the source: interpolated when
// weighting is on, else the pixel at the truncated point. False when the truncated point is
// outside the source.
bool SampleAt(const RGBX* src, CSize sizeSrc, double x, double y, BOOL weighting, RGBX& out)
{
    if (!std::isfinite(x) || !std::isfinite(y)) return false;
    const double tx = std::trunc(x), ty = std::trunc(y);
    if (tx < 0 || ty < 0 || tx >= sizeSrc.cx || ty >= sizeSrc.cy) return false;
    out = weighting ? C32BitImageProcessor::SamplePixel(src, sizeSrc.cx, sizeSrc.cy, x, y)
                    : src[IndexOf(static_cast<int>(tx), static_cast<int>(ty), sizeSrc.cx)];
    return true;
}

// A size the chain will refuse: larger than any picture may be.
constexpr LONG kTooLarge = PixelBuffer::kMaxSide * 2;

LONG BoundedSide(int64_t n) { return n > PixelBuffer::kMaxSide ? kTooLarge : static_cast<LONG>(n); }

}  // namespace

CImageRotator::CImageRotator(int nDegrees, BOOL bEnableWeighting)
    : C32BitImageProcessor(bEnableWeighting)
{
    int degrees = nDegrees % 360;
    if (degrees < 0) degrees += 360;
    m_dRadians = degrees * kPi / 180.0;
}

CImageRotator::CImageRotator(double dRadians) : C32BitImageProcessor(FALSE)
{
    // Whole turns are no turn at all, so that 0 radians copies the picture as 0 degrees does.
    double r = std::isfinite(dRadians) ? std::fmod(dRadians, 2 * kPi) : 0.0;
    if (r < 0) r += 2 * kPi;
    if (r >= 2 * kPi) r = 0.0;
    m_dRadians = r;
}

CSize CImageRotator::CalcDestSize(CSize sizeSrc)
{
    if (IsNoTurn() || sizeSrc.cx <= 0 || sizeSrc.cy <= 0) return sizeSrc;
    double s, c;
    QuarterExactSinCos(m_dRadians, s, c);
    const double hx = sizeSrc.cx / 2.0, hy = sizeSrc.cy / 2.0;
    const double corners[4][2] = {{-hx, -hy}, {hx, -hy}, {hx, hy}, {-hx, hy}};
    double maxX = 0, maxY = 0;
    for (const auto& p : corners) {
        maxX = std::max(maxX, std::fabs(p[0] * c - p[1] * s));
        maxY = std::max(maxY, std::fabs(p[0] * s + p[1] * c));
    }
    return CSize(BoundedSide(2 * static_cast<int64_t>(maxX) + 2), BoundedSide(2 * static_cast<int64_t>(maxY) + 2));
}

BOOL CImageRotator::ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest)
{
    if (IsNoTurn()) return C32BitImageProcessor::ProcessPixels(pSrcPixels, sizeSrc, pDestPixels, sizeDest);
    if (sizeSrc.cx <= 0 || sizeSrc.cy <= 0) return TRUE;
    double s, c;
    QuarterExactSinCos(m_dRadians, s, c);
    const int cx = (sizeDest.cx + 1) / 2, cy = (sizeDest.cy + 1) / 2;
    const int sx = (sizeSrc.cx + 1) / 2, sy = (sizeSrc.cy + 1) / 2;
    for (int y = 0; y < sizeDest.cy; ++y) {
        double u = (1 - cx) * c + (y - cy) * s;
        double v = (y - cy) * c - (1 - cx) * s;
        for (int x = 0; x < sizeDest.cx; ++x, u += c, v -= s) {
            // The truncated point must fall on the source picture, every column and row of it.
            const double tu = std::trunc(u), tv = std::trunc(v);
            if (!(tu >= -sx && tv >= -sy && tu < sizeSrc.cx - sx && tv < sizeSrc.cy - sy)) continue;
            pDestPixels[IndexOf(x, y, sizeDest.cx)] =
                m_bWeightingEnabled
                    ? SamplePixel(pSrcPixels, sizeSrc.cx, sizeSrc.cy, u + sx, v + sy)
                    : pSrcPixels[IndexOf(static_cast<int>(tu) + sx, static_cast<int>(tv) + sy, sizeSrc.cx)];
        }
    }
    return TRUE;
}

CImageShearer::CImageShearer(int nHorz, int nVert, BOOL bEnableWeighting)
    : C32BitImageProcessor(bEnableWeighting), m_nHorz(nHorz), m_nVert(nVert)
{
}

CSize CImageShearer::CalcDestSize(CSize sizeSrc)
{
    return CSize(BoundedSide(int64_t(sizeSrc.cx) + std::llabs(int64_t(m_nHorz))),
                 BoundedSide(int64_t(sizeSrc.cy) + std::llabs(int64_t(m_nVert))));
}

BOOL CImageShearer::ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest)
{
    if (m_nHorz == 0 && m_nVert == 0)
        return C32BitImageProcessor::ProcessPixels(pSrcPixels, sizeSrc, pDestPixels, sizeDest);
    if (sizeSrc.cx <= 0 || sizeSrc.cy <= 0) return TRUE;
    const double W = sizeDest.cx, H = sizeDest.cy;
    const double sh = m_nHorz, sv = m_nVert;
    for (int y = 0; y < sizeDest.cy; ++y) {
        double xOff = 0.0;
        if (m_nHorz < 0)
            xOff = -sh * y / H;
        else if (m_nHorz > 0)
            xOff = sh * (H - y) / H;
        for (int x = 0; x < sizeDest.cx; ++x) {
            double yOff = 0.0;
            if (m_nVert > 0)
                yOff = sv * x / W;
            else if (m_nVert < 0)
                yOff = -sv * (W - x) / W;
            RGBX pixel;
            if (SampleAt(pSrcPixels, sizeSrc, x - xOff, y - yOff, m_bWeightingEnabled, pixel))
                pDestPixels[IndexOf(x, y, sizeDest.cx)] = pixel;
        }
    }
    return TRUE;
}

BOOL CImageGrayer::ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize /*sizeDest*/)
{
    const size_t n = PixelCount(sizeSrc);
    for (size_t i = 0; i < n; ++i) {
        const RGBX& p = pSrcPixels[i];
        const BYTE grey = static_cast<BYTE>((p.btBlue + 6 * p.btGreen + 3 * p.btRed) / 10);
        pDestPixels[i] = RGBX{grey, grey, grey, 0};
    }
    return TRUE;
}

CImageShader::CImageShader(int nAmount, bool bGrey, COLORREF crColour)
    : m_nAmount(nAmount), m_bGrey(bGrey), m_crColour(crColour)
{
}

BOOL CImageShader::ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize /*sizeDest*/)
{
    const size_t n = PixelCount(sizeSrc);
    const RGBX target = RgbxFromColour(m_crColour);
    // Amounts beyond 0 to 100 overshoot the colour; each channel is kept within 0 to 255.
    auto toward = [&](BYTE ch, BYTE to) { return ClampChannel(ch + std::trunc((to - ch) * m_nAmount / 100.0)); };
    for (size_t i = 0; i < n; ++i) {
        const RGBX& p = pSrcPixels[i];
        if (m_bGrey) {
            const BYTE grey = static_cast<BYTE>((p.btRed + p.btGreen + p.btBlue) / 3);
            pDestPixels[i] = RGBX{grey, grey, grey, 0};
        } else {
            pDestPixels[i] = RGBX{toward(p.btBlue, target.btBlue), toward(p.btGreen, target.btGreen),
                                  toward(p.btRed, target.btRed), 0};
        }
    }
    return TRUE;
}

CImageBlurrer::CImageBlurrer(int nAmount) : m_nAmount(std::clamp(nAmount, 0, 10)) {}

BOOL CImageBlurrer::ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest)
{
    if (m_nAmount == 0) return C32BitImageProcessor::ProcessPixels(pSrcPixels, sizeSrc, pDestPixels, sizeDest);
    const int w = sizeSrc.cx, h = sizeSrc.cy;
    const int centre = (11 - m_nAmount) * 5;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int red = 0, green = 0, blue = 0, weights = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int px = x + dx, py = y + dy;
                    if (px < 0 || py < 0 || px >= w || py >= h) continue;
                    const int weight = (dx == 0 && dy == 0) ? centre : 1;
                    const RGBX& p = pSrcPixels[IndexOf(px, py, w)];
                    red += p.btRed * weight;
                    green += p.btGreen * weight;
                    blue += p.btBlue * weight;
                    weights += weight;
                }
            pDestPixels[IndexOf(x, y, w)] = RGBX{static_cast<BYTE>(std::min(blue / weights, 255)),
                                                 static_cast<BYTE>(std::min(green / weights, 255)),
                                                 static_cast<BYTE>(std::min(red / weights, 255)), 0};
        }
    return TRUE;
}

CImageSharpener::CImageSharpener(int nAmount) : m_nAmount(std::clamp(nAmount, 0, 10)) {}

BOOL CImageSharpener::ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest)
{
    // The border (and so every picture one or two pixels across) is copied unchanged.
    C32BitImageProcessor::ProcessPixels(pSrcPixels, sizeSrc, pDestPixels, sizeDest);
    if (m_nAmount == 0) return TRUE;
    const int w = sizeSrc.cx, h = sizeSrc.cy;
    const double k = (10 - m_nAmount) * 5 + 1;
    const double a = 1.0 / k;
    const double b = 1.0 / ((1.0 + a) * 4.0);
    const double c = b * a;
    const double kernel[3][3] = {{-c, -b, -c}, {-b, 2.0, -b}, {-c, -b, -c}};
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x) {
            double red = 0, green = 0, blue = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const double weight = kernel[dy + 1][dx + 1];
                    const RGBX& p = pSrcPixels[IndexOf(x + dx, y + dy, w)];
                    red += p.btRed * weight;
                    green += p.btGreen * weight;
                    blue += p.btBlue * weight;
                }
            pDestPixels[IndexOf(x, y, w)] = RGBX{ClampChannel(blue), ClampChannel(green), ClampChannel(red), 0};
        }
    return TRUE;
}

BOOL CImageNegator::ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize /*sizeDest*/)
{
    const size_t n = PixelCount(sizeSrc);
    for (size_t i = 0; i < n; ++i) {
        // The reserved byte keeps the background fill.
        pDestPixels[i].btRed = static_cast<BYTE>(255 - pSrcPixels[i].btRed);
        pDestPixels[i].btGreen = static_cast<BYTE>(255 - pSrcPixels[i].btGreen);
        pDestPixels[i].btBlue = static_cast<BYTE>(255 - pSrcPixels[i].btBlue);
    }
    return TRUE;
}

CImageFlipper::CImageFlipper(BOOL bHorz, BOOL bVert) : m_bHorz(bHorz), m_bVert(bVert) {}

BOOL CImageFlipper::ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest)
{
    for (int y = 0; y < sizeSrc.cy; ++y)
        for (int x = 0; x < sizeSrc.cx; ++x) {
            const int dx = m_bHorz ? sizeDest.cx - x - 1 : x;
            const int dy = m_bVert ? sizeDest.cy - y - 1 : y;
            pDestPixels[IndexOf(dx, dy, sizeDest.cx)] = pSrcPixels[IndexOf(x, y, sizeSrc.cx)];
        }
    return TRUE;
}

CColorReplacer::CColorReplacer(COLORREF crFrom, COLORREF crTo) : m_crFrom(crFrom), m_crTo(crTo) {}

BOOL CColorReplacer::ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest)
{
    C32BitImageProcessor::ProcessPixels(pSrcPixels, sizeSrc, pDestPixels, sizeDest);
    if (m_crFrom == m_crTo) return TRUE;
    const RGBX from = RgbxFromColour(m_crFrom), to = RgbxFromColour(m_crTo);
    const size_t n = PixelCount(sizeSrc);
    for (size_t i = 0; i < n; ++i) {
        const RGBX& p = pSrcPixels[i];
        if (p.btRed == from.btRed && p.btGreen == from.btGreen && p.btBlue == from.btBlue) pDestPixels[i] = to;
    }
    return TRUE;
}
