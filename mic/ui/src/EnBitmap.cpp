#include "mic_ui/EnBitmap.h"

#include <QFile>
#include <QPainter>
#include <cstring>

#include "mic_ui/PictureStore.h"
#include "winport/Paths.h"

using winport::PixelBuffer;

CEnBitmap::CEnBitmap(COLORREF crBkgnd) : m_crBkgnd(crBkgnd) {}
CEnBitmap::~CEnBitmap() = default;

void CEnBitmap::DeleteObject() { m_image = QImage(); }

int CEnBitmap::GetFileType(LPCSTR szImagePath)
{
    CString path(szImagePath ? szImagePath : "");
    path.MakeUpper();
    struct Ext { const char* text; int type; };
    const Ext exts[] = {{".BMP", FT_BMP}, {".ICO", FT_ICO}, {".JPG", FT_JPG}, {".JPEG", FT_JPG}, {".GIF", FT_GIF}};
    for (const Ext& e : exts)
        if (path.Find(e.text) > 0) return e.type;
    return FT_UNKNOWN;
}

PixelBuffer CEnBitmap::ToPixels(const QImage& image)
{
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    PixelBuffer out(img.width(), img.height());
    for (int y = 0; y < out.Height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < out.Width(); ++x)
            out.At(x, y) = RGBX{BYTE(qBlue(line[x])), BYTE(qGreen(line[x])), BYTE(qRed(line[x])), 0};
    }
    return out;
}

QImage CEnBitmap::FromPixels(const PixelBuffer& pixels)
{
    QImage img(pixels.Width(), pixels.Height(), QImage::Format_RGB32);
    for (int y = 0; y < pixels.Height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < pixels.Width(); ++x) {
            const RGBX& p = pixels.At(x, y);
            line[x] = qRgb(p.btRed, p.btGreen, p.btBlue);
        }
    }
    return img;
}

QImage CEnBitmap::DecodePicture(const BYTE* data, size_t size, COLORREF crBack)
{
    if (!data || size == 0 || size > (256u << 20)) return QImage();
    QImage decoded;
    PixelBuffer pixels;
    if (winport::ReadBitmapFile(data, size, pixels)) {
        decoded = FromPixels(pixels);
    } else if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        return QImage();  // a damaged bitmap file is not handed to another decoder
    } else {
        // Qt's decoders, limited to the formats a picture may have here.
        const char* formats[] = {"ICO", "JPG", "GIF"};
        for (const char* f : formats) {
            if (decoded.loadFromData(data, static_cast<int>(size), f)) break;
        }
        if (decoded.isNull()) return QImage();
    }
    if (decoded.width() > PixelBuffer::kMaxSide || decoded.height() > PixelBuffer::kMaxSide) return QImage();
    QImage result(decoded.size(), QImage::Format_RGB32);
    result.fill(crBack == CLR_INVALID ? Qt::black : QColor(GetRValue(crBack), GetGValue(crBack), GetBValue(crBack)));
    QPainter painter(&result);
    painter.drawImage(0, 0, decoded);
    return result;
}

BOOL CEnBitmap::LoadImageFromMemory(const BYTE* data, size_t size, COLORREF crBack)
{
    if (HasBitmap()) return FALSE;
    QImage img = DecodePicture(data, size, crBack == CLR_INVALID ? m_crBkgnd : crBack);
    if (img.isNull()) return FALSE;
    m_image = std::move(img);
    return TRUE;
}

BOOL CEnBitmap::LoadImage(UINT uIDRes, LPCSTR /*szResourceType*/, HMODULE /*hInst*/, COLORREF crBack)
{
    if (HasBitmap()) return FALSE;
    const std::vector<BYTE>& bytes = PictureStore::Bytes(uIDRes);
    if (bytes.empty()) return FALSE;
    return LoadImageFromMemory(bytes.data(), bytes.size(), crBack);
}

BOOL CEnBitmap::LoadImage(LPCSTR szImagePath, COLORREF crBack)
{
    if (HasBitmap() || GetFileType(szImagePath) == FT_UNKNOWN) return FALSE;
    QFile file(QString::fromStdString(winport::HostPath(szImagePath)));
    if (!file.open(QIODevice::ReadOnly) || file.size() > (256 << 20)) return FALSE;
    const QByteArray bytes = file.readAll();
    return LoadImageFromMemory(reinterpret_cast<const BYTE*>(bytes.constData()), static_cast<size_t>(bytes.size()), crBack);
}

BOOL CEnBitmap::ResizeImage(double dFactor)
{
    CImageResizer resizer(dFactor);
    return ProcessImage(&resizer);
}

BOOL CEnBitmap::RotateImage(int nDegrees, BOOL bEnableWeighting)
{
    CImageRotator processor(nDegrees, bEnableWeighting);
    return ProcessImage(&processor);
}

BOOL CEnBitmap::ShearImage(int nHorz, int nVert, BOOL bEnableWeighting)
{
    CImageShearer processor(nHorz, nVert, bEnableWeighting);
    return ProcessImage(&processor);
}

BOOL CEnBitmap::GrayImage()
{
    CImageGrayer processor;
    return ProcessImage(&processor);
}

BOOL CEnBitmap::ShadeImage(int nAmount, bool bGrey, COLORREF crColour)
{
    CImageShader processor(nAmount, bGrey, crColour);
    return ProcessImage(&processor);
}

BOOL CEnBitmap::BlurImage(int nAmount)
{
    CImageBlurrer processor(nAmount);
    return ProcessImage(&processor);
}

BOOL CEnBitmap::SharpenImage(int nAmount)
{
    CImageSharpener processor(nAmount);
    return ProcessImage(&processor);
}

BOOL CEnBitmap::NegateImage()
{
    CImageNegator processor;
    return ProcessImage(&processor);
}

BOOL CEnBitmap::FlipImage(BOOL bHorz, BOOL bVert)
{
    CImageFlipper processor(bHorz, bVert);
    return ProcessImage(&processor);
}

BOOL CEnBitmap::ReplaceColour(COLORREF crFrom, COLORREF crTo)
{
    CColorReplacer processor(crFrom, crTo);
    return ProcessImage(&processor);
}

BOOL CEnBitmap::ProcessImage(C32BitImageProcessor* pProcessor)
{
    return ProcessImage(std::vector<C32BitImageProcessor*>{pProcessor});
}

BOOL CEnBitmap::ProcessImage(const std::vector<C32BitImageProcessor*>& processors)
{
    if (!HasBitmap()) return FALSE;
    if (processors.empty()) return TRUE;
    PixelBuffer result;
    if (!ProcessPixelChain(ToPixels(m_image), processors, m_crBkgnd, result)) return FALSE;
    m_image = FromPixels(result);
    return TRUE;
}

BOOL CEnBitmap::CopyImage(const CEnBitmap& other)
{
    if (!other.HasBitmap()) return FALSE;
    m_image = other.m_image.copy();
    return TRUE;
}

COLORREF CEnBitmap::GetTopLeftColour() const
{
    if (!HasBitmap()) return 0;
    const QRgb v = m_image.pixel(0, 0);
    return RGB(qRed(v), qGreen(v), qBlue(v));
}

BOOL CEnBitmap::CachePixels()
{
    if (!HasBitmap()) return FALSE;
    const PixelBuffer p = ToPixels(m_image);
    m_cache.assign(p.Data(), p.Data() + p.Count());
    m_bCached = true;
    return TRUE;
}

BOOL CEnBitmap::FreeCache()
{
    const bool had = m_bCached;
    m_cache.clear();
    m_bCached = false;
    return had;
}
