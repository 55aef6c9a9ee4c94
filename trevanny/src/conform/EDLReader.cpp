#include "trevanny/EDLReader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "conform/EditListBytes.h"
#include "trevanny/TimecodeValue.h"

const char* const CEDLReader::s_szTypeNames[kTypeCount] = {"UNKNOWN", "GENERIC", "VOK", "CMX340",
                                                           "CMX3400", "SONY_BVE9000", "GVG", "AVID"};

namespace {

const char kNewMagic[] = "VOK HDRNEW";
const char kOldMagic[] = "VOK HEADER";
constexpr UINT kMagicSize = 10;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

void trim(std::string& s)
{
    size_t end = s.size();
    while (end > 0 && isBlank(s[end - 1])) --end;
    size_t begin = 0;
    while (begin < end && isBlank(s[begin])) ++begin;
    s.assign(s, begin, end - begin);
}

bool contains(const std::string& s, std::string_view part) { return s.find(part) != std::string::npos; }
bool contains(const std::string& s, char c) { return s.find(c) != std::string::npos; }

void removeAll(std::string& s, char c) { s.erase(std::remove(s.begin(), s.end(), c), s.end()); }

// Cuts a line into tokens at a separator, calling `take` with each: "*" and character 15 are
// dropped first, the text is trimmed, and each token is cut before the next separator, the run
// of separators after it skipped. A blank separator also takes tabs.
template <class Take>
void split(std::string_view line, char separator, std::string& scratch, Take&& take)
{
    scratch.clear();
    for (char c : line) {
        if (c != '*' && c != 15) scratch += c;
    }
    trim(scratch);
    auto isSeparator = [separator](char c) { return c == separator || (separator == ' ' && c == '\t'); };
    size_t at = 0;
    while (at < scratch.size()) {
        size_t cut = at;
        while (cut < scratch.size() && !isSeparator(scratch[cut])) ++cut;
        take(std::string_view(scratch).substr(at, cut - at));
        while (cut < scratch.size() && isSeparator(scratch[cut])) ++cut;
        at = cut;
    }
}

int number(std::string_view text)
{
    char digits[32];
    size_t n = std::min(text.size(), sizeof digits - 1);
    if (n < text.size()) return CTimecodeSettings::ParseNumber(std::string(text).c_str());
    std::memcpy(digits, text.data(), n);
    digits[n] = 0;
    return CTimecodeSettings::ParseNumber(digits);
}

// One timecode token -> hours, minutes, seconds, frames: after ";", "," and "." became ":", the
// last part is the frames, the two before it seconds and minutes, the first the hours (with
// four parts or more); missing fields are 0. A token of fewer than four characters sets only
// the hours, to -1.
void parseTimecode(std::string_view token, int out[4])
{
    if (token.size() < 4) {
        out[0] = -1;
        return;
    }
    std::string text(token);
    std::replace_if(text.begin(), text.end(), [](char c) { return c == ';' || c == ',' || c == '.'; }, ':');
    std::string scratch;
    std::string_view first, last[3];
    size_t k = 0;
    split(text, ':', scratch, [&](std::string_view part) {
        if (k == 0) first = part;
        last[k % 3] = part;
        ++k;
    });
    // last[(k - 1) % 3] is part k-1, and so on back.
    out[3] = k > 0 ? number(last[(k - 1) % 3]) : 0;
    out[2] = k > 1 ? number(last[(k - 2) % 3]) : 0;
    out[1] = k > 2 ? number(last[(k - 3) % 3]) : 0;
    out[0] = k > 3 ? number(first) : 0;
}

}  // namespace

CEDLReader::CEDLReader(const CString& path, int edlType) : m_nEDLType(edlType), m_strPath(path) {}

CEDLReader::~CEDLReader() { m_file.Abort(); }

bool CEDLReader::Open(UINT openFlags, CFileException* error)
{
    m_bDamaged = false;
    m_bOldHeader = 0;
    if (!m_file.Open(m_strPath, openFlags, error)) return false;
    try {
        m_nFileLength = m_file.GetLength();
    } catch (CFileException* e) {
        e->Delete();
        m_nFileLength = 0;
    }
    return true;
}

void CEDLReader::Close() { m_file.Abort(); }

bool CEDLReader::tryHeaderMagic()
{
    char magic[kMagicSize];
    if (m_file.Read(magic, kMagicSize) != kMagicSize) return false;
    if (std::memcmp(magic, kNewMagic, kMagicSize) == 0) m_bOldHeader = 0;
    else if (std::memcmp(magic, kOldMagic, kMagicSize) == 0) m_bOldHeader = 1;
    else return false;
    return true;
}

// Type 6 reads up to a carriage return, taking a line feed after it. A last line without one is
// a line too. False when nothing was left to read.
bool CEDLReader::readCarriageReturnLine()
{
    std::string text;
    bool any = false;
    char c = 0;
    while (m_file.Read(&c, 1) == 1) {
        any = true;
        if (c == '\r') {
            m_bCarriageReturn = 1;
            char next = 0;
            if (m_file.Read(&next, 1) == 1 && next != '\n') m_file.Seek(-1, CFile::current);
            break;
        }
        text += c;
    }
    removeAll(text, '\r');
    removeAll(text, '\n');
    m_strLine = CString(text);
    return any;
}

int CEDLReader::readLine()
{
    m_nLineStart = m_file.GetPosition();
    if (m_nLineStart == 0) {
        if (tryHeaderMagic()) {
            m_nEDLType = enGeneric;
            return enHeaderBlock;
        }
        m_file.Seek(0, CFile::begin);
    }
    bool read = m_nEDLType == enGVG ? readCarriageReturnLine() : m_file.ReadString(m_strLine) != FALSE;
    if (!read) m_strLine.Empty();
    m_strLine.Trim();
    // Nothing read also ends the file, should it have shrunk since it was opened.
    if (m_nLineStart >= m_nFileLength || !read) return enEndOfFile;
    if (m_strLine.IsEmpty()) return enEmptyLine;
    const std::string& line = m_strLine.str();
    if (std::count(line.begin(), line.end(), ':') > 4) return enEventLine;
    return enOtherLine;
}

bool CEDLReader::readHeaderBlock(CTimecodeSettings& settings, CEDLReelTable& reels)
{
    EditListFieldReader in(m_file, m_nFileLength);
    int v[8];
    for (int& x : v) {
        if (!in.Int32(x)) return false;
    }
    if (!reels.Read(m_file)) return false;
    settings.m_nTimecodeRate = v[0];
    settings.m_nSampleRate = v[1];
    settings.m_nFramesPerSec = v[2];
    settings.m_nFramesPerFoot = v[3];
    settings.m_nFilmEquivalence = v[4];
    settings.m_nFeetAndFrames = v[5];
    settings.m_nCodeConvert = v[6];
    settings.m_nFFConvert = v[7];
    return true;
}

int CEDLReader::ReadHeader(CTimecodeSettings& settings, CEDLReelTable& reels)
{
    m_bCarriageReturn = 0;
    try {
        for (;;) {
            switch (readLine()) {
            case enHeaderBlock:
                if (!readHeaderBlock(settings, reels)) m_bDamaged = true;
                return 1;
            case enEventLine:
                m_file.Seek(static_cast<LONGLONG>(m_nLineStart), CFile::begin);
                return 5;
            case enEndOfFile:
                return 16;
            default:
                break;
            }
        }
    } catch (CFileException* e) {
        e->Delete();
        m_bDamaged = true;
        return 16;
    }
}

int CEDLReader::readStoredEvent(CSourceDestItem& source, CSourceDestItem& destination)
{
    EditListFieldReader in(m_file, m_nFileLength);
    if (in.Remaining() == 0) return 0;
    int sourceStart = 0, destinationStart = 0, length = 0, transition = 0, mask = 0, reelIndex = -1;
    BYTE video = 0;
    CString note1, reel, note2;
    bool whole = in.Int32(sourceStart) && in.Int32(destinationStart) && in.Int32(length) && in.Int32(transition) &&
                 in.Byte(video) && in.Int32(mask) && (!m_bOldHeader || in.Text(note1)) && in.Text(reel) &&
                 in.Text(note2) && (m_bOldHeader || in.Int32(reelIndex));
    if (!whole) {
        m_bDamaged = true;
        return 0;
    }
    CEDLEvent* event = destination.m_pEvent;
    event->m_nTransition = transition & 0xFF;
    event->m_bVideo = video;
    event->m_dwTrackMask = static_cast<DWORD>(mask);
    event->m_strNote1 = note1;
    event->m_strReelName = reel.IsEmpty() ? CString("...") : reel;
    event->m_nReelIndex = m_bOldHeader ? -1 : reelIndex;
    source.m_nStart = sourceStart;
    destination.m_nStart = destinationStart;
    destination.m_nLength = length;
    source.m_nLength = length;
    return 1;
}

int CEDLReader::ReadNextEvent(int timecodes[12], CSourceDestItem& source, CSourceDestItem& destination)
{
    for (int i = 0; i < 12; ++i) timecodes[i] = i % 4 == 0 ? -1 : 0;
    // The caller has freed the previous event (or holds it elsewhere): it is not ours to delete.
    destination.m_pEvent = new CEDLEvent;
    if (m_bDamaged || !m_file.IsOpen()) return 0;
    try {
        if (m_nEDLType == enGeneric) return readStoredEvent(source, destination);
        for (;;) {
            switch (readLine()) {
            case enEventLine:
                parseEventLine(timecodes, source, destination);
                return 1;
            case enEndOfFile:
                return 0;
            case enHeaderBlock: {
                // A stored file read without ReadHeader: its header block is passed over.
                CTimecodeSettings settings;
                CEDLReelTable reels;
                if (!readHeaderBlock(settings, reels)) {
                    m_bDamaged = true;
                    return 0;
                }
                return readStoredEvent(source, destination);
            }
            default:
                break;
            }
        }
    } catch (CFileException* e) {
        e->Delete();
        m_bDamaged = true;
        return 0;
    }
}

void CEDLReader::ParseTimecode(const CString& token, int out[4]) { parseTimecode(token.str(), out); }

bool CEDLReader::ParseTrackCode(const CString& code, int edlType, CEDLEvent* event)
{
    if (!event) return false;
    std::string text = code.str();
    removeAll(text, '/');
    if (contains(text, 'V')) {
        event->m_bVideo = 1;
        removeAll(text, 'V');
    }
    DWORD& mask = event->m_dwTrackMask;
    if (!text.empty()) {
        switch (edlType) {
        case enVok:
        case enCMX340:
            if (contains(text, "NONE")) {
                text.clear();
                break;
            }
            if (contains(text, "AA")) {
                mask |= 3;
                removeAll(text, 'A');
            }
            if (contains(text, "A2")) {
                mask |= 1;  // the first audio track, as stored lists have always had it
                removeAll(text, '2');
                removeAll(text, 'A');
            }
            if (contains(text, 'A') && !contains(text, "AUD")) {
                mask |= 1;
                removeAll(text, 'A');
            }
            if (contains(text, 'B')) {
                mask |= 1;
                event->m_bVideo = 1;
                removeAll(text, 'B');
            }
            if (contains(text, "AUD")) {
                removeAll(text, 'A');
                removeAll(text, 'U');
                removeAll(text, 'D');
                if (contains(text, '3')) {
                    mask |= 4;
                    removeAll(text, '3');
                }
                if (contains(text, '4')) {
                    mask |= 8;
                    removeAll(text, '4');
                }
            }
            break;
        case enCMX3400:
        case enGVG:
            removeAll(text, 'A');
            for (char digit = '1'; digit <= '8'; ++digit) {
                if (contains(text, digit)) {
                    mask |= DWORD(1) << (digit - '1');
                    removeAll(text, digit);
                }
            }
            removeAll(text, 'B');
            trim(text);
            if (text == "UD") text.clear();
            break;
        case enSonyBVE9000: {
            removeAll(text, 'A');
            static const struct {
                char digit;
                DWORD bits;
            } kDigits[] = {{'1', 1}, {'2', 2}, {'3', 4}, {'4', 8}};
            for (const auto& d : kDigits) {
                if (contains(text, d.digit)) {
                    mask |= d.bits;
                    removeAll(text, d.digit);
                }
            }
            break;
        }
        default:
            break;
        }
    }
    trim(text);
    return text.empty() || CString(text).CompareNoCase("none") == 0;
}

void CEDLReader::parseEventLine(int timecodes[12], CSourceDestItem& source, CSourceDestItem& destination)
{
    std::vector<std::string>& tokens = m_tokens;
    size_t count = 0;
    split(m_strLine.str(), ' ', m_scratch, [&](std::string_view token) {
        if (count == tokens.size()) tokens.emplace_back();
        tokens[count++].assign(token);
    });
    tokens.resize(count);
    if (!tokens.empty() && !contains(tokens.back(), ':')) {
        // A trailing track code without ":" belongs to the track column.
        std::string extra = tokens.back();
        if (contains(extra, "A3") || contains(extra, "A4")) {
            if (tokens.size() > 2 && (contains(tokens[2], 'V') || contains(tokens[2], 'A'))) {
                tokens[2] += extra;
            } else {
                tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(2, tokens.size())), extra);
            }
        }
        tokens.pop_back();
    }
    source.m_nEventNumber = 0;
    if (tokens.size() < 4) return;
    size_t n = tokens.size() - 1;
    parseTimecode(tokens[n - 3], timecodes);
    parseTimecode(tokens[n - 1], timecodes + 4);
    parseTimecode(tokens[n], timecodes + 8);

    const std::string& first = tokens[0];
    size_t zeros = first.find_first_not_of('0');
    source.m_nEventNumber = zeros == std::string::npos ? 0 : number(std::string_view(first).substr(zeros));

    CEDLEvent* event = destination.m_pEvent;
    if (!ParseTrackCode(CString(tokens[2]), m_nEDLType, event)) return;
    switch (tokens[3][0]) {
    case 'C': event->m_nTransition = CEDLEvent::enCut; break;
    case 'D': event->m_nTransition = CEDLEvent::enDissolve; break;
    case 'K': event->m_nTransition = CEDLEvent::enKey; break;
    default: break;
    }
    event->m_strReelName = CString(tokens[1]);
}

void CEDLReader::WriteHeader(const CTimecodeSettings& settings, const CEDLReelTable& reels)
{
    EditListFieldWriter out;
    out.Bytes(kNewMagic, kMagicSize);
    for (int v : {settings.m_nTimecodeRate, settings.m_nSampleRate, settings.m_nFramesPerSec, settings.m_nFramesPerFoot,
                  settings.m_nFilmEquivalence, settings.m_nFeetAndFrames, settings.m_nCodeConvert, settings.m_nFFConvert}) {
        out.Int32(v);
    }
    out.WriteTo(m_file);
    reels.Write(m_file);
}

void CEDLReader::WriteStoredEvent(const CSourceDestItem& source, const CSourceDestItem& destination)
{
    static const CEDLEvent kEmpty;
    const CEDLEvent& event = destination.m_pEvent ? *destination.m_pEvent : kEmpty;
    EditListFieldWriter out;
    out.Int32(source.m_nStart);
    out.Int32(destination.m_nStart);
    out.Int32(destination.m_nLength);
    out.Int32(event.m_nTransition);
    out.Byte(event.m_bVideo);
    out.Int32(static_cast<int>(event.m_dwTrackMask));
    out.Text(event.m_strReelName);
    out.Text(event.m_strNote2);
    out.Int32(event.m_nReelIndex);
    out.WriteTo(m_file);
}

void GetSourceDestItems(const CString& path, CSourceDestItemArray& items, bool raw)
{
    std::vector<CSourceDestItem> pairs;
    {
        CEDLReader reader(path, CEDLReader::enGeneric);
        if (!reader.Open(CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary, nullptr)) return;
        CTimecodeSettings settings;
        CEDLReelTable reels;
        if (reader.ReadHeader(settings, reels) != CEDLReader::enHeaderBlock) return;
        int timecodes[12];
        CSourceDestItem source, destination;
        for (;;) {
            delete destination.m_pEvent;
            if (!reader.ReadNextEvent(timecodes, source, destination)) break;
            pairs.push_back(source);
            pairs.push_back(destination);
        }
        if (reader.IsDamaged()) return;
    }
    if (!raw) {
        CTimecodeValue value;
        auto normalise = [&value](int frames) {
            value.SetFrames(frames);
            return value.GetRoundedFrames();
        };
        for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
            CSourceDestItem& source = pairs[i];
            CSourceDestItem& destination = pairs[i + 1];
            source.m_nStart = normalise(source.m_nStart);
            destination.m_nStart = normalise(destination.m_nStart);
            destination.m_nLength = normalise(destination.m_nLength);
            source.m_nLength = destination.m_nLength;
        }
    }
    INT_PTR first = items.GetSize();
    items.SetSize(first + static_cast<INT_PTR>(pairs.size()));
    for (size_t i = 0; i < pairs.size(); ++i) items[first + static_cast<INT_PTR>(i)] = std::move(pairs[i]);
}
