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

/// Turns the picture about its centre by an angle (clockwise on the screen for a positive angle).
/// The destination is large enough for the turned corners; pixels that no source pixel reaches
/// keep the background.
class CImageRotator : public C32BitImageProcessor {
public:
    /// Whole degrees, brought into 0 to 359.
    explicit CImageRotator(int nDegrees, BOOL bEnableWeighting = TRUE);
    /// Radians, brought into 0 to 2 pi (a whole number of turns is no turn); no weighting.
    explicit CImageRotator(double dRadians);

    CSize CalcDestSize(CSize sizeSrc) override;
    BOOL ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest) override;

protected:
    bool IsNoTurn() const { return m_dRadians == 0.0; }
    double m_dRadians;
};

/// Slants the picture by sx pixels across its height and sy pixels across its width.
class CImageShearer : public C32BitImageProcessor {
public:
    CImageShearer(int nHorz, int nVert, BOOL bEnableWeighting = FALSE);

    /// (width + |sx|, height + |sy|), computed without overflow: a size beyond a picture's
    /// largest side is refused by the chain.
    CSize CalcDestSize(CSize sizeSrc) override;
    BOOL ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest) override;

protected:
    int m_nHorz;
    int m_nVert;
};

/// Grey = (blue + 6 green + 3 red) / 10.
class CImageGrayer : public C32BitImageProcessor {
public:
    CImageGrayer() = default;
    BOOL ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest) override;
};

/// Moves each channel toward a colour by a percentage (the result kept within 0 to 255), or,
/// with the grey flag, makes each pixel the mean of its channels.
class CImageShader : public C32BitImageProcessor {
public:
    CImageShader(int nAmount, bool bGrey, COLORREF crColour);
    BOOL ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest) override;

protected:
    int m_nAmount;
    bool m_bGrey;
    COLORREF m_crColour;
};

/// A 3 x 3 weighted mean; the amount (0 to 10) lightens the centre's weight.
class CImageBlurrer : public C32BitImageProcessor {
public:
    explicit CImageBlurrer(int nAmount = 5);
    BOOL ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest) override;

protected:
    int m_nAmount;
};

/// A 3 x 3 sharpening kernel whose weights add up to 1; the border is copied.
class CImageSharpener : public C32BitImageProcessor {
public:
    explicit CImageSharpener(int nAmount = 5);
    BOOL ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest) override;

protected:
    int m_nAmount;
};

/// Each channel becomes 255 minus itself.
class CImageNegator : public C32BitImageProcessor {
public:
    CImageNegator() = default;
    BOOL ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest) override;
};

/// Mirrors left to right and/or top to bottom.
class CImageFlipper : public C32BitImageProcessor {
public:
    CImageFlipper(BOOL bHorz, BOOL bVert = FALSE);
    BOOL ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest) override;

protected:
    BOOL m_bHorz;
    BOOL m_bVert;
};

/// Every pixel of one colour becomes another colour.
class CColorReplacer : public C32BitImageProcessor {
public:
    CColorReplacer(COLORREF crFrom, COLORREF crTo);
    BOOL ProcessPixels(RGBX* pSrcPixels, CSize sizeSrc, RGBX* pDestPixels, CSize sizeDest) override;

protected:
    COLORREF m_crFrom;
    COLORREF m_crTo;
};

/// Runs the processors over `source` in order and leaves the result in `result`. The
/// destination of each step starts filled with the background: colour -1 (none) or white give
/// all bytes 255, 0 gives all bytes 0, any other colour (blue, green, red, 0). FALSE (and
/// `result` untouched) when a processor fails or a size in the chain is empty or larger than a
/// picture may be. No processors: TRUE with the source unchanged.
BOOL ProcessPixelChain(const winport::PixelBuffer& source, const std::vector<C32BitImageProcessor*>& processors,
                       COLORREF background, winport::PixelBuffer& result);
