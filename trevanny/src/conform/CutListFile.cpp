#include "trevanny/CutListFile.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "conform/EditListBytes.h"
#include "conform/TempEditList.h"
#include "trevanny/EDLReader.h"
#include "trevanny/EDLReelTable.h"
#include "trevanny/TimecodeValue.h"
#include "winport/Paths.h"

namespace {

const char kCutListMagic[] = "VOK_CUTLIST_FILE";
constexpr UINT kMagicSize = 16;
constexpr int kBinaryRecordBytes = 16;
const char kTempEDLName[] = "\\cantle\\edl files\\VOK RESERVED TEMP.edl";

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Characters of a change list, one at a time through the file's buffer.
class ChangeListText {
public:
    explicit ChangeListText(CFile& file) : m_file(file) {}

    bool Get(char& c)
    {
        if (m_file.Read(&c, 1) != 1) return false;
        m_previous = c;
        return true;
    }
    void Unget()
    {
        m_file.Seek(-1, CFile::current);
        m_previous = 0;
    }
    /// To the start of the next line (nothing when already at the start of one); a CR LF pair
    /// is one line end. False at the end of the file.
    bool SkipLine()
    {
        char c;
        if (m_previous == '\n') return true;
        if (m_previous != '\r') {
            do {
                if (!Get(c)) return false;
            } while (c != '\r' && c != '\n');
            if (c == '\n') return true;
        }
        if (!Get(c)) return false;
        if (c != '\n') Unget();
        m_previous = '\n';
        return true;
    }
    /// Up to `count` characters, stopping before a line end.
    void ReadInLine(int count, std::string& out)
    {
        out.clear();
        char c;
        while (static_cast<int>(out.size()) < count && Get(c)) {
            if (c == '\r' || c == '\n') {
                Unget();  // SkipLine takes the line end
                break;
            }
            out += c;
        }
    }
    bool Read(int count, std::string& out)
    {
        out.clear();
        char c;
        while (static_cast<int>(out.size()) < count && Get(c)) out += c;
        return static_cast<int>(out.size()) == count;
    }
    /// Feet, "+", two frame digits -> frames at framesPerFoot.
    bool FeetFrames(int framesPerFoot, int& frames)
    {
        char c;
        do {
            if (!Get(c)) return false;
        } while (!isDigit(c));
        int64_t feet = 0;
        while (isDigit(c)) {
            feet = feet * 10 + (c - '0');
            if (feet > INT_MAX) return false;
            if (!Get(c)) return false;
        }
        char tens, units;
        if (c != '+' || !Get(tens) || !Get(units) || !isDigit(tens) || !isDigit(units)) return false;
        int64_t total = feet * framesPerFoot + (tens - '0') * 10 + (units - '0');
        if (total > INT_MAX) return false;
        frames = static_cast<int>(total);
        return true;
    }
    /// The change text: from the first letter, upper-cased letters, digits and blanks (and "#"
    /// in layout 1) up to the first other character, which is left for the next read.
    bool ChangeText(int layout, CString& text)
    {
        char c;
        do {
            if (!Get(c)) return false;
        } while (!isLetter(c));
        std::string s;
        for (;;) {
            if (isLetter(c) || isDigit(c) || c == ' ' || (layout == 1 && c == '#')) {
                s += upper(c);
            } else {
                Unget();
                break;
            }
            if (!Get(c)) break;
        }
        while (!s.empty() && s.back() == ' ') s.pop_back();
        if (layout == 1 && s.compare(0, 5, "NO CH") != 0) {
            // Further columns follow after three blanks or more.
            size_t run = s.rfind("   ");
            if (run != std::string::npos && run + 3 >= 5) s.resize(run);
            while (!s.empty() && s.back() == ' ') s.pop_back();
        }
        text = CString(s);
        return true;
    }

private:
    CFile& m_file;
    char m_previous = '\n';
};

// Kinds that take material out of the old timeline (a move takes it to be picked up again),
// and kinds that put material in.
bool removesMaterial(int kind)
{
    return kind == CCutListRecord::enDelete || kind == CCutListRecord::enTrimHead || kind == CCutListRecord::enTrimMiddle ||
           kind == CCutListRecord::enTrimTail || kind == CCutListRecord::enMove;
}
bool addsMaterial(int kind)
{
    return kind == CCutListRecord::enInsert || kind == CCutListRecord::enLengthenHead || kind == CCutListRecord::enLengthenTail ||
           kind == CCutListRecord::enInsertFrom || kind == CCutListRecord::enInsertClip;
}


}  // namespace

CCutListFile::CCutListFile() = default;
CCutListFile::~CCutListFile() = default;

CString CCutListFile::TempEDLPath()
{
    char windows[260] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    CString path;
    path.Format("%c:", windows[0] ? windows[0] : 'C');
    return path + kTempEDLName;
}

void CCutListFile::SetLockWaitMs(int ms) { SetTempEditListLockWait(ms); }

void CCutListFile::ReleaseTempEDL() { m_pLock.reset(); }

int CCutListFile::KindFromText(const CString& text)
{
    CString first = text.Left(4);
    CString last = text.Right(4);
    if (first == "NO C") return CCutListRecord::enNoChange;
    if (first == "TRIM") {
        if (last == "HEAD") return CCutListRecord::enTrimHead;
        if (last == "DDLE") return CCutListRecord::enTrimMiddle;
        if (last == "TAIL") return CCutListRecord::enTrimTail;
        return CCutListRecord::enUnknown;
    }
    if (first == "DELE") return CCutListRecord::enDelete;
    if (first == "INSE") return text.GetLength() < 12 ? CCutListRecord::enInsert : CCutListRecord::enInsertFrom;
    if (first == "LENG") {
        if (last == "HEAD") return CCutListRecord::enLengthenHead;
        if (last == "TAIL") return CCutListRecord::enLengthenTail;
        return CCutListRecord::enUnknown;
    }
    if (first == "MOVE") return CCutListRecord::enMove;
    return CCutListRecord::enUnknown;
}

bool CCutListFile::ParseFeetFrames(const CString& text, int framesPerFoot, int& frames)
{
    CMemFile memory(reinterpret_cast<const BYTE*>(text.c_str()), static_cast<UINT>(text.GetLength()));
    return ChangeListText(memory).FeetFrames(framesPerFoot, frames);
}

bool CCutListFile::readBinary(CCutListRecordArray& records)
{
    EditListFieldReader in(m_file, m_file.GetLength());
    int count = 0;
    if (!in.Int32(m_nOldDurationFeet) || !in.Int32(m_nOldDurationFrames) || !in.Int32(count)) {
        m_nStatus = enNotParsed;
        return false;
    }
    if (count < 0 || static_cast<ULONGLONG>(count) > in.Remaining() / kBinaryRecordBytes) {
        m_nStatus = enShort;
        return false;
    }
    for (int i = 0; i < count; ++i) {
        int kind = 0, start = 0, length = 0, reference = 0;
        if (!in.Int32(kind) || !in.Int32(start) || !in.Int32(length) || !in.Int32(reference)) {
            m_nStatus = enShort;
            return false;
        }
        auto record = std::make_unique<CCutListRecord>(kind, start, length);
        record->m_nReference = reference;
        if (kind == CCutListRecord::enInsertClip &&
            (!in.Int32(record->m_nClipSourceStart) || !in.Text(record->m_strClipName))) {
            m_nStatus = enShort;
            return false;
        }
        records.Add(record.release());
    }
    return true;
}

bool CCutListFile::readChangeList(const CString& path, int layout, CCutListRecordArray& records)
{
    m_Settings.Load();
    m_nLayout = layout;
    m_nProgress = 1;
    if (!m_file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary, nullptr)) {
        m_nStatus = enNotOpened;
        return false;
    }
    for (INT_PTR i = 0; i < records.GetSize(); ++i) delete records[i];
    records.RemoveAll();
    m_nChangeCounter = 0;
    m_nStatus = enNotParsed;
    int framesPerFoot = m_Settings.GetEffectiveFramesPerFoot();
    ChangeListText text(m_file);

    m_nProgress = 2;
    std::string word;
    for (bool header = true; header;) {
        char c;
        if (!text.Get(c)) return false;
        if (c == 'O') {
            if (text.Read(11, word) && word == "ld Duration") {
                if (!text.FeetFrames(framesPerFoot, m_nOldDurationFrames)) return false;
                m_nOldDurationFeet = m_nOldDurationFrames / framesPerFoot;
            }
        } else if (c == 'C') {
            header = !(text.Read(8, word) && word == "lip Name");
        }
    }

    m_nProgress = 3;
    for (;;) {
        if (!text.SkipLine()) break;
        char c = 0;
        bool ended = false;
        for (;;) {
            if (!text.Get(c)) {
                ended = true;
                break;
            }
            if (isDigit(c)) break;
            if (c == '(') {
                std::string end;
                text.Read(19, end);
                for (char& e : end) e = upper(e);
                if (end == "END OF CHANGE LIST)") {
                    ended = true;
                    break;
                }
            }
        }
        if (ended) break;
        // The change number: as many characters as "<count>." has; not compared with the count.
        char number[16];
        int width = std::snprintf(number, sizeof number, "%d%c", m_nChangeCounter + 1, '.');
        std::string rest;
        text.Read(width - 1, rest);
        ++m_nChangeCounter;

        int start = 0, length = 0;
        CString change;
        bool parsed = layout == 0
                          ? text.FeetFrames(framesPerFoot, start) && text.ChangeText(0, change) && text.FeetFrames(framesPerFoot, length)
                          : text.FeetFrames(framesPerFoot, start) && text.FeetFrames(framesPerFoot, length) && text.ChangeText(1, change);
        if (!parsed) return false;
        auto record = std::make_unique<CCutListRecord>(KindFromText(change), start, length);
        m_pCurrent = record.get();
        bool more = text.SkipLine();
        if (record->m_nKind == CCutListRecord::enInsert) {
            int from = 0;
            if (layout == 0) {
                int ignored = 0;
                std::string tail;
                if (!more || !text.FeetFrames(framesPerFoot, ignored)) return false;
                text.ReadInLine(10, tail);
                for (char& t : tail) t = upper(t);
                size_t hash = tail.rfind('#');
                if (tail.find("FROM") != std::string::npos && hash != std::string::npos) {
                    from = CTimecodeSettings::ParseNumber(tail.c_str() + hash + 1);
                }
            } else if (change.Find("FROM") >= 0) {
                CString after = change.Mid(change.ReverseFind('M') + 1);
                after.TrimRight();
                from = CTimecodeSettings::ParseNumber(after);
            }
            if (from != 0) {
                record->m_nKind = CCutListRecord::enInsertFrom;
                record->m_nReference = from;
            }
        }
        if (record->m_nKind != CCutListRecord::enNoChange) records.Add(record.release());
        m_pCurrent = nullptr;
        if (!more) break;
    }
    if (records.GetSize() == 0) return false;
    m_nStatus = enReadOk;
    return true;
}

BOOL CCutListFile::Read(const CString& path, CCutListRecordArray& records)
{
    m_pRecords = &records;
    m_bBinary = 0;
    m_nStatus = enReadOk;
    try {
        if (!m_file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary, nullptr)) {
            m_nStatus = enNotOpened;
            return FALSE;
        }
        char magic[kMagicSize];
        if (m_file.Read(magic, kMagicSize) == kMagicSize && std::memcmp(magic, kCutListMagic, kMagicSize) == 0) {
            m_bBinary = 1;
            bool ok = readBinary(records);
            m_file.Abort();
            return ok ? TRUE : FALSE;
        }
        m_file.Abort();
        CString extension = path.Right(4);
        int first = extension.CompareNoCase(".txt") == 0 ? 1 : 0;
        bool ok = readChangeList(path, first, records);
        m_file.Abort();
        if (!ok && m_nStatus != enNotOpened) {
            ok = readChangeList(path, 1 - first, records);
            m_file.Abort();
        }
        return ok ? TRUE : FALSE;
    } catch (CFileException* e) {
        e->Delete();
        m_file.Abort();
        if (m_nStatus == enReadOk) m_nStatus = enNotParsed;
        return FALSE;
    }
}

void CCutListFile::WriteTempEDL(const CString& sourcePath, CCutListRecordArray& records)
{
    CString base = sourcePath.Left(sourcePath.GetLength() >= 4 ? sourcePath.GetLength() - 4 : 0);
    CEDLReelTable reels;
    reels.Add(base, 0, 0);
    int framesPerSec = 0;
    m_Settings.ReadTimecodeFramesPerSec(framesPerSec);
    m_Pairs.RemoveAll();
    m_MovedPieces.RemoveAll();

    int64_t s = 0, d = 0, p = 0;
    for (INT_PTR i = 0; i < records.GetSize(); ++i) {
        const CCutListRecord& r = *records[i];
        int64_t piece = r.m_nStart - s + p;
        if (piece > 0) AppendEditListPair(m_Pairs, s, d, piece, base, -1);
        if (removesMaterial(r.m_nKind)) {
            if (r.m_nKind == CCutListRecord::enMove) {
                CSourceDestItem moved;
                moved.m_nIndex = r.m_nReference;
                int64_t at = s + piece;
                moved.m_nStart = at >= INT_MIN && at <= INT_MAX ? static_cast<int>(at) : 0;
                moved.m_nLength = r.m_nLength;
                m_MovedPieces.Add(moved);
            }
            s += piece + r.m_nLength;
            d += piece;
            p += r.m_nLength;
        } else if (addsMaterial(r.m_nKind)) {
            if (r.m_nKind == CCutListRecord::enInsertFrom && r.m_nLength > 0) {
                AppendEditListPair(m_Pairs, 0, d + piece, r.m_nLength, base, r.m_nReference);
            } else if (r.m_nKind == CCutListRecord::enInsertClip && r.m_nLength > 0) {
                AppendEditListPair(m_Pairs, r.m_nClipSourceStart, d + piece, r.m_nLength, r.m_strClipName, -1);
            }
            if (r.m_nKind == CCutListRecord::enInsertClip) reels.Add(r.m_strClipName, 0, 0);
            s += piece;
            d += piece + r.m_nLength;
            p -= r.m_nLength;
        }
    }
    // The rest of the source up to 24 hours.
    int64_t end = TimelineEndFrames(framesPerSec);
    if (end - s > 0) AppendEditListPair(m_Pairs, s, d, end - s, base, -1);

    // A source picked up by number starts where the last move of that number left.
    std::unordered_map<int, int> movedStart;
    for (INT_PTR i = 0; i < m_MovedPieces.GetSize(); ++i) movedStart[m_MovedPieces[i].m_nIndex] = m_MovedPieces[i].m_nStart;
    for (INT_PTR i = 0; i + 1 < m_Pairs.GetSize(); i += 2) {
        CSourceDestItem& source = m_Pairs[i];
        if (source.m_nIndex < 0) continue;
        auto found = movedStart.find(source.m_nIndex);
        if (found != movedStart.end()) source.m_nStart = found->second;
    }
    for (int i = 0; i < reels.GetSize(); ++i) reels.GetAt(i).m_strText2 = reels.GetAt(i).m_strName;
    for (INT_PTR i = 1; i < m_Pairs.GetSize(); i += 2) {
        CEDLEvent* event = m_Pairs[i].m_pEvent;
        if (event) event->m_nReelIndex = reels.Find(event->m_strReelName);
    }

    // One writer at a time: the lock is kept until the conform has read the list.
    m_pLock.reset();
    auto lock = std::make_unique<TempEditListLock>();
    lock->AcquireOrThrow();
    WriteStoredEditList(TempEDLPath(), m_Settings, reels, m_Pairs);
    m_pLock = std::move(lock);
}

void GetCutListItems(const CString& path, CEDLItemList& list)
{
    CTimecodeValue value;
    CCutListRecordArray records;
    CCutListFile file;
    BOOL read = file.Read(path, records);
    CEDLItemList items;
    if (read) {
        auto convert = [&value](int frames, bool offset) {
            value.SetAddFilmEquivalence(offset ? TRUE : FALSE);
            value.SetFrames(frames);
            int converted = value.GetRoundedFrames();
            value.SetAddFilmEquivalence(FALSE);
            return converted;
        };
        int64_t position = 0;
        for (INT_PTR i = 0; i < records.GetSize(); ++i) {
            const CCutListRecord& r = *records[i];
            int start = convert(r.m_nStart, true);
            if (position < start) {
                items.Add(CEDLItem(CEDLItem::enGap, -1, static_cast<int>(start - position), "", "", ""), 0);
                position = start;
            }
            int length = convert(r.m_nLength, false);
            // A named clip is added material, but gives no item.
            if (removesMaterial(r.m_nKind)) {
                items.Add(CEDLItem(CEDLItem::enRemoved, -1, length, "", "", ""), 0);
            } else if (addsMaterial(r.m_nKind) && r.m_nKind != CCutListRecord::enInsertClip) {
                items.Add(CEDLItem(CEDLItem::enAdded, -1, length, "", "", ""), 0);
            }
            position += length;
        }
    }
    for (INT_PTR i = 0; i < records.GetSize(); ++i) delete records[i];
    for (int i = 0; i < items.GetSize(); ++i) list.Add(items.GetAt(i), 0);
}
