// Font descriptions and font objects: a CFont holds the description it was made from, which is
// what a control is given. Heights are cell heights in pixels (a negative height, a character
// height, is taken by its size); the screen service maps a height to the size it draws with.
#pragma once

#include "winport/WinTypes.h"

#define LF_FACESIZE 32
#define FW_NORMAL 400
#define FW_MEDIUM 500
#define FW_BOLD 700

struct LOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    char lfFaceName[LF_FACESIZE];
};
typedef LOGFONTA LOGFONT;

/// Copies a face name into a description, cut to fit its field.
void SetFaceName(LOGFONT& lf, const char* face);

class CFont {
public:
    CFont() = default;
    BOOL CreateFontIndirect(const LOGFONT* lf);
    /// A font of `pointTenths` tenths of a point on a 96 pixels-per-inch screen, as a cell height.
    BOOL CreatePointFont(int pointTenths, const char* face);
    BOOL DeleteObject();
    /// FALSE when no font is held.
    BOOL GetLogFont(LOGFONT* lf) const;
    BOOL IsHeld() const { return m_bHeld; }

private:
    LOGFONT m_lf{};
    BOOL m_bHeld = FALSE;
};
