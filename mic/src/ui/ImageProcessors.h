// The image processors: each works on plain arrays of 32-bit pixels (RGBX, rows from the top
// down, no padding). A processor says what size it makes of a source size (CalcDestSize) and
// fills a destination of that size that is already filled with the background (ProcessPixels).
// ProcessPixelChain runs processors in turn the way a bitmap runs them on its own pixels.
#pragma once

#include <vector>

#include "winport/CRect.h"
#include "winport/PixelBuffer.h"
#include "winport/WinTypes.h"

class C32BitImageProcessor {
public:
    explicit C32BitImageProcessor(BOOL bEnableWeighting = FALSE) : m_bWeightingEnabled(bEnableWeighting) {}
    virtual ~C32BitImageProcessor() = default;

    /// The source size, unless a processor changes the size.
    virtual CSize CalcDestSize(CSize sizeSrc);
    /// Copies the source size's pixels into the destination; TRUE.
    virtual BOOL ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest);

    /// The pixel at (x, y) of a width x height picture, interpolated from its right and lower
    /// neighbours: the mean of a horizontal and a vertical linear interpolation. Points beyond
    /// the picture take its nearest edge pixel; no read ever leaves the picture.
    static RGBX SamplePixel(const RGBX* pPixels, int nWidth, int nHeight, double x, double y);

    BOOL IsWeightingEnabled() const { return m_bWeightingEnabled; }

protected:
    BOOL m_bWeightingEnabled;
};

/// Enlarges (interpolating) or shrinks (averaging areas) by one factor.
class CImageResizer : public C32BitImageProcessor {
public:
    explicit CImageResizer(double dFactor);

    /// (ceil(w * f), ceil(h * f)); 0 x 0 for a factor that is refused (see IsFactorUsable).
    CSize CalcDestSize(CSize sizeSrc) override;
    BOOL ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest) override;

    /// A factor is used only when it is finite and above 0; anything else is refused and the
    /// picture is left as it was.
    static bool IsFactorUsable(double dFactor);

protected:
    void Enlarge(const RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest);
    void Shrink(const RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest);

    double m_dFactor;
};

/// Runs the processors over `source` in order and leaves the result in `result`. The
/// destination of each step starts filled with the background: colour -1 (none) or white give
/// all bytes 255, 0 gives all bytes 0, any other colour (blue, green, red, 0). FALSE (and
/// `result` untouched) when a processor fails or a size in the chain is empty or larger than a
/// picture may be. No processors: TRUE with the source unchanged.
BOOL ProcessPixelChain(const winport::PixelBuffer& source, const std::vector<C32BitImageProcessor*>& processors,
                       COLORREF background, winport::PixelBuffer& result);
