#include "winport/Fonts.h"

#include <cstring>

void SetFaceName(LOGFONT& lf, const char* face)
{
    std::memset(lf.lfFaceName, 0, sizeof(lf.lfFaceName));
    if (face) std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
}

BOOL CFont::CreateFontIndirect(const LOGFONT* lf)
{
    if (!lf || m_bHeld) return FALSE;
    m_lf = *lf;
    m_lf.lfFaceName[LF_FACESIZE - 1] = '\0';
    m_bHeld = TRUE;
    return TRUE;
}

BOOL CFont::CreatePointFont(int pointTenths, const char* face)
{
    LOGFONT lf{};
    // 96 pixels to the inch, 72 points to the inch, rounded to the nearest pixel.
    lf.lfHeight = (pointTenths * 96 + 360) / 720;
    lf.lfWeight = FW_NORMAL;
    SetFaceName(lf, face);
    return CreateFontIndirect(&lf);
}

BOOL CFont::DeleteObject()
{
    if (!m_bHeld) return FALSE;
    m_bHeld = FALSE;
    m_lf = LOGFONT{};
    return TRUE;
}

BOOL CFont::GetLogFont(LOGFONT* lf) const
{
    if (!m_bHeld || !lf) return FALSE;
    *lf = m_lf;
    return TRUE;
}
