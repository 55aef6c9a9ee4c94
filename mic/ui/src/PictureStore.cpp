#include "mic_ui/PictureStore.h"

#include <QBitmap>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <map>
#include <mutex>

#include "mic_ui/EnBitmap.h"
#include "winport/PixelBuffer.h"

namespace {

QColor Q(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

// A face on the black buttons' mask colour: a rounded plate with a centred caption.
QImage Plate(int w, int h, QColor face, QColor ink, const QString& text, COLORREF mask = PictureStore::kBlackButtonMask)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Q(mask));
    QPainter p(&img);
    p.setPen(QColor(20, 20, 20));
    p.setBrush(face);
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1.0, h - 1.0), 3, 3);
    QFont font("DejaVu Sans");
    font.setPixelSize(std::max(8, h * 11 / 20));
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    p.setPen(ink);
    p.drawText(QRect(0, 0, w, h), Qt::AlignCenter, text);
    return img;
}

QImage TrayStrip()
{
    QImage img(48, 16, QImage::Format_RGB32);
    img.fill(Q(PictureStore::kTrayMask));
    QPainter p(&img);
    const QColor dots[3] = {QColor(150, 150, 150), QColor(40, 200, 40), QColor(230, 60, 40)};  // idle, in, out
    for (int i = 0; i < 3; ++i) {
        p.setPen(QColor(20, 20, 20));
        p.setBrush(dots[i]);
        p.drawRect(16 * i + 2, 2, 11, 11);
        p.setPen(Qt::white);
        p.drawText(QRect(16 * i + 2, 2, 12, 12), Qt::AlignCenter, "M");
    }
    return img;
}

// A gain step of the enlarged read-out: the gain in dB beside a bar of eleven segments, one lit
// for each step from the lowest (3, 20 dB) up to this one.
QImage GainSteps(int step)
{
    constexpr int kSegments = 11;
    QImage img = Plate(144, 40, QColor(0, 0, 0), QColor(255, 176, 0), QString());
    QPainter p(&img);
    QFont font("DejaVu Sans");
    font.setPixelSize(20);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    p.setPen(QColor(255, 176, 0));
    p.drawText(QRect(4, 0, 56, 40), Qt::AlignCenter, QString("%1").arg(step * 5 + 5));
    p.setPen(Qt::NoPen);
    for (int i = 0; i < kSegments; ++i) {
        p.setBrush(i <= step - 3 ? QColor(0, 230, 0) : QColor(30, 60, 30));
        p.drawRect(62 + 7 * i, 8, 5, 24);
    }
    return img;
}

QImage Render(UINT id)
{
    const QColor onFace(255, 176, 0), offFace(64, 64, 64), ink(255, 255, 255), dark(0, 0, 0);
    switch (id) {
    case 134: case 584: return Plate(40, 20, onFace, dark, "ON");    // switch on
    case 135: case 585: return Plate(40, 20, offFace, ink, "OFF");   // switch off
    // The mini view's smaller switches, in the same faces.
    case 642: return Plate(34, 16, onFace, dark, "ON");
    case 641: return Plate(34, 16, offFace, ink, "OFF");
    case 145: return Plate(28, 20, QColor(40, 200, 60), dark, "SEL");          // selected, responding
    case 146: return Plate(28, 20, QColor(200, 40, 40), ink, "SEL");           // selected, silent
    case 147: return Plate(28, 20, QColor(30, 110, 40), ink, "ON");            // responding
    case 149: return Plate(28, 20, QColor(70, 70, 70), ink, "--");             // not responding
    case 214: return Plate(40, 16, QColor(0, 0, 0), ink, "");                  // blank read-out
    case 215: return Plate(48, 16, QColor(255, 176, 0), dark, "BUSY");         // link status: busy
    case 216: return Plate(48, 16, QColor(40, 200, 60), dark, "LINKED");       // the rack answers
    case 217: return Plate(48, 16, QColor(200, 40, 40), ink, "NO UNIT");
    case 653: return Plate(40, 20, QColor(0, 168, 107), ink, "MIC");           // Dir: mic input
    case 654: return Plate(40, 20, QColor(40, 95, 149), ink, "LINE");          // Dir: line input
    case 572: return TrayStrip();
    default: break;
    }
    if (id >= 246 && id <= 262)  // rack numbers: rack r shows 247 + r
        return Plate(32, 24, QColor(29, 68, 107), ink, id == 246 ? QString() : QString::number(id - 246));
    if (id >= 626 && id <= 640)  // gain read-outs, 0 to 70 dB in 5 dB steps
        return Plate(40, 16, QColor(0, 0, 0), QColor(0, 230, 0), QString("%1dB").arg((id - 626) * 5, 2, 10, QChar('0')));
    if (id >= 407 && id <= 416) return Plate(16, 24, QColor(29, 68, 107), ink, QString::number(id - 407));  // digits
    if (id >= 428 && id <= 437) return Plate(16, 24, QColor(120, 60, 0), ink, QString::number(id - 428));  // line digits
    if (id >= 461 && id <= 471) return Plate(40, 16, QColor(0, 0, 0), QColor(255, 176, 0), "MIC");  // mic-input gain labels
    if (id >= 588 && id <= 592) return Plate(40, 16, QColor(0, 0, 0), QColor(120, 180, 255), "LINE");  // line-input gain labels
    // The enlarged read-out: large digits of a neighbouring line, of the changed channel's line
    // and of an active channel; gain steps 3 to 13; Phant, Pad, the input and Phase.
    if (id >= 440 && id <= 449) return Plate(32, 48, QColor(29, 68, 107), ink, QString::number(id - 440));
    if (id >= 477 && id <= 486) return Plate(32, 48, onFace, dark, QString::number(id - 477));
    if (id >= 487 && id <= 496) return Plate(32, 48, QColor(0, 168, 107), ink, QString::number(id - 487));
    if (id >= 450 && id <= 460) return GainSteps(static_cast<int>(id) - 450 + 3);
    switch (id) {
    case 363: return Plate(72, 32, onFace, dark, "PHANT");
    case 364: return Plate(72, 32, offFace, ink, "PHANT");
    case 365: return Plate(72, 32, onFace, dark, "PAD");
    case 366: return Plate(72, 32, offFace, ink, "PAD");
    case 367: return Plate(72, 32, QColor(0, 168, 107), ink, "MIC");
    case 368: return Plate(72, 32, QColor(120, 60, 0), ink, "LINE");
    case 373: return Plate(72, 32, onFace, dark, "PHASE");
    case 374: return Plate(72, 32, offFace, ink, "PHASE");
    default: break;
    }
    // The PRE setup's rows: the label, and the numbers 1 to 9 beside it.
    if (id == 565) return Plate(64, 30, QColor(70, 70, 70), ink, "PRE");
    if (id >= 556 && id <= 564) return Plate(20, 30, QColor(29, 68, 107), ink, QString::number(id - 555));
    if (id >= 171 && id <= 186) return Plate(32, 20, QColor(29, 68, 107), ink, QString::number(id - 170));  // racks
    return QImage();
}

}  // namespace

namespace PictureStore {

const std::vector<BYTE>& Bytes(UINT id)
{
    static std::mutex mutex;
    static std::map<UINT, std::vector<BYTE>> cache;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(id);
    if (it != cache.end()) return it->second;
    const QImage img = Render(id);
    std::vector<BYTE> bytes;
    if (!img.isNull()) bytes = winport::WriteBitmapFile(CEnBitmap::ToPixels(img));
    return cache.emplace(id, std::move(bytes)).first->second;
}

bool Has(UINT id) { return !Bytes(id).empty(); }

QPixmap Pixmap(UINT id)
{
    static std::map<UINT, QPixmap> cache;
    auto it = cache.find(id);
    if (it != cache.end()) return it->second;
    QPixmap pixmap;
    const auto& bytes = Bytes(id);
    if (!bytes.empty()) {
        const QImage image = CEnBitmap::DecodePicture(bytes.data(), bytes.size(), CLR_INVALID);
        pixmap = QPixmap::fromImage(image);
        pixmap.setMask(QBitmap::fromImage(image.createMaskFromColor(Q(kBlackButtonMask).rgb(), Qt::MaskInColor)));
    }
    return cache.emplace(id, pixmap).first->second;
}

}  // namespace PictureStore
