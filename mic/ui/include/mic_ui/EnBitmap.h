// CEnBitmap: a bitmap that loads BMP, ICO, JPEG and GIF pictures from a file, from memory or
// from the program's picture store, and transforms its own pixels through image processors.
#pragma once

#include <QImage>
#include <vector>

#include "ui/ImageProcessors.h"
#include "winport/CString.h"
#include "winport/PixelBuffer.h"
#include "winport/WinTypes.h"

#define RT_BITMAP (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(2)))

enum EnImageType { FT_BMP = 0, FT_ICO = 1, FT_JPG = 2, FT_GIF = 3, FT_UNKNOWN = 4 };

class CEnBitmap {
public:
    explicit CEnBitmap(COLORREF crBkgnd = RGB(255, 255, 255));
    ~CEnBitmap();

    /// From the picture store; FALSE when a bitmap is held already or the id is unknown.
    BOOL LoadImage(UINT uIDRes, LPCSTR szResourceType = RT_BITMAP, HMODULE hInst = nullptr,
                   COLORREF crBack = CLR_INVALID);
    BOOL LoadImage(LPCSTR szImagePath, COLORREF crBack = CLR_INVALID);
    /// From the bytes of a picture file of any of the four types.
    BOOL LoadImageFromMemory(const BYTE* data, size_t size, COLORREF crBack = CLR_INVALID);

    BOOL ResizeImage(double dFactor);
    // Filter shortcuts: each runs one processor over the bitmap (see ui/ImageProcessors.h).
    BOOL RotateImage(int nDegrees, BOOL bEnableWeighting = TRUE);
    BOOL ShearImage(int nHorz, int nVert, BOOL bEnableWeighting = TRUE);
    BOOL GrayImage();
    BOOL ShadeImage(int nAmount, bool bGrey, COLORREF crColour);
    BOOL BlurImage(int nAmount = 5);
    BOOL SharpenImage(int nAmount = 5);
    BOOL NegateImage();
    BOOL FlipImage(BOOL bHorz, BOOL bVert = FALSE);
    BOOL ReplaceColour(COLORREF crFrom, COLORREF crTo);

    BOOL ProcessImage(C32BitImageProcessor* pProcessor);
    BOOL ProcessImage(const std::vector<C32BitImageProcessor*>& processors);
    BOOL CopyImage(const CEnBitmap& other);
    COLORREF GetTopLeftColour() const;
    BOOL CachePixels();
    BOOL FreeCache();

    BOOL HasBitmap() const { return !m_image.isNull(); }
    void DeleteObject();
    const QImage& Image() const { return m_image; }
    SIZE GetSize() const { return SIZE{m_image.width(), m_image.height()}; }

    static int GetFileType(LPCSTR szImagePath);
    /// Decodes a picture held in memory (our reader for bitmap files, Qt's decoders for the
    /// others) onto a background (CLR_INVALID: transparent parts stay as decoded).
    static QImage DecodePicture(const BYTE* data, size_t size, COLORREF crBack);
    static winport::PixelBuffer ToPixels(const QImage& image);
    static QImage FromPixels(const winport::PixelBuffer& pixels);

private:
    QImage m_image;  // 32-bit RGB
    std::vector<RGBX> m_cache;
    bool m_bCached = false;
    COLORREF m_crBkgnd;
};
