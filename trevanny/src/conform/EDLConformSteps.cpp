// The conform of an event array to an item list: the remote conform of the first edit, the
// captures and piece files of the source walk, and the rebuild of both walks.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "conform/ConformSteps.h"
#include "trevanny/AutomationEventArray.h"
#include "trevanny/AutomationPackage.h"
#include "trevanny/AutxFile.h"
#include "trevanny/ChannelStateTable.h"
#include "trevanny/ConformEngine.h"
#include "trevanny/EDLItemList.h"
#include "trevanny/PellimaxConformClient.h"
#include "trevanny/ServerLinkConfig.h"
#include "trevanny/TimecodeSettings.h"
#include "winport/Paths.h"
#include "winport/SystemMessages.h"

namespace {

// The link type under which pieces are kept as indexed files.
constexpr int kIndexedCardLink = 4;

const char kPieceExtension[] = ".aut";

typedef CArray<CAutomationEvent, const CAutomationEvent&> EventElements;

// The text of the last piece that could not be saved, for the whole process.
std::mutex g_lastErrorMutex;
CString g_lastConformError;

// A position moved on by an item's length (a negative length counts as 0), held in the int range.
int advance(int position, int length) { return static_cast<int>(std::min<int64_t>(int64_t{position} + std::max(length, 0), INT_MAX)); }

int lengthOf(const CEDLItem& item) { return std::max(item.m_nLength, 0); }

// A folder or piece name that keeps the piece inside its folder: no ".." part, no drive colon,
// no control character, and (for a piece name) no path separator.
bool safeName(const CString& text, bool separatorsAllowed)
{
    const char* p = text;
    size_t partStart = 0;
    const size_t n = std::strlen(p);
    for (size_t i = 0; i <= n; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        const bool separator = c == '\\' || c == '/';
        if (i == n || separator) {
            if (i - partStart == 2 && p[partStart] == '.' && p[partStart + 1] == '.') return false;
            if (separator && !separatorsAllowed) return false;
            partStart = i + 1;
            continue;
        }
        if (c < 0x20 || c == 0x7F || c == ':') return false;
    }
    return true;
}

// The system's text of an error code, or "error N" when it has none.
CString systemText(DWORD code)
{
    char* text = nullptr;
    CString result;
    if (FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, NULL) != 0 &&
        text) {
        result = text;
    } else {
        result.Format("error %lu", static_cast<unsigned long>(code));
    }
    if (text) LocalFree(text);
    return result;
}

// Notifications 28 (item number) and 27 (percent of the items) before item i.
void postItem(const CAutomationEventArray& events, int i, int count)
{
    if (events.GetStatusWnd() != NULL) PostConformItem(i + 1, i, count);
}

// Lays the stretch of `len` from the source table's position onto the output at its position:
// the state difference first, then the stretch's events, re-timed by the difference of the
// two positions. Both tables end at the stretch's end.
void copyStretch(CChannelStateTable& output, CChannelStateTable& source, int len)
{
    const int offset = ConformOffset(output.GetPlayToTime(), source.GetPlayToTime());
    output.ApplyFrom(source);
    const int first = source.GetLastEvent() + 1;
    source.PlayTo(ConformLastFrame(source.GetPlayToTime(), len), false);
    if (source.GetLastEvent() >= first) output.CopyEventRange(source, first, source.GetLastEvent(), offset, false);
}

// The events of a piece file: item 1 of an indexed file, else the compound file's events. A
// file that cannot be read gives no events.
void readPiece(const CString& path, CAutomationEventArray& piece)
{
    if (IsAutxFile(path)) {
        CAutxFile file;
        if (file.OpenForReading(path)) file.ReadRecords(1, static_cast<EventElements&>(piece));
        return;
    }
    int pathMode = 0;
    piece.Load(path, pathMode);
}

}  // namespace

void CAutomationEventArray::EDLConform(const CEDLItemList&, int, const CPathMap&) {}

void CAutomationEventArray::SendRemoteConform(const CEDLItemList& items, const CString& packagePath)
{
    CTimecodeSettings settings;
    int framesPerSec = 0;
    settings.ReadTimecodeFramesPerSec(framesPerSec);
    const int64_t day = FramesIn24Hours(framesPerSec);

    CSourceDestItemArray sources, destinations;
    auto pair = [&](int64_t source, int64_t destination, int64_t length, int key) {
        for (int64_t v : {source, destination, length})
            if (v < INT_MIN || v > INT_MAX) return;
        CSourceDestItem from, to;
        from.m_nStart = static_cast<int>(source);
        to.m_nStart = static_cast<int>(destination);
        from.m_nLength = to.m_nLength = static_cast<int>(length);
        from.m_nPairingKey = to.m_nPairingKey = key;
        to.SetEvent(new CEDLEvent);
        to.m_pEvent->m_strReelName = packagePath;
        sources.Add(std::move(from));
        destinations.Add(std::move(to));
    };
    const int n = items.GetSize();
    const CEDLItem first = items.GetAt(0);
    const CEDLItem second = items.GetAt(1);
    const int64_t l0 = first.m_nLength;
    const int64_t l1 = second.m_nLength;
    if (n >= 1 && first.m_nKind == CEDLItem::enRemoved) pair(l0, 0, day - l0, 0);
    if (n >= 2 && second.m_nKind == CEDLItem::enRemoved) {
        pair(0, 0, l0, 0);
        pair(l0 + l1, l0, day - (l0 + l1), 1);
    }
    if (n >= 1 && first.m_nKind == CEDLItem::enAdded) pair(0, l0, day - l0, 0);
    if (n >= 2 && second.m_nKind == CEDLItem::enAdded) {
        pair(0, 0, l0, 0);
        pair(l0, l0 + l1, day - (l0 + l1), 1);
    }
    // The client does its whole exchange as it is made (when its switch is on).
    CPellimaxConformClient client(sources, destinations);
}

DWORD CAutomationEventArray::CaptureAndSavePieces(const CEDLItemList& items, const CString& root, const CString& folder,
                                                  int firstRouteProcess, int timeBase, const CPathMap* sections,
                                                  const CAutomationPackage* package, CCapturedRangeArray& captured)
{
    CChannelStateTable source(this, firstRouteProcess, sections, timeBase, nullptr);
    const CString pieceFolder = root + folder + "\\";
    int position = items.m_nStart;
    DWORD error = 0;
    const int count = items.GetSize();
    for (int i = 0; i < count && error == 0; ++i) {
        postItem(*this, i, count);
        const CEDLItem item = items.GetAt(i);
        const int len = lengthOf(item);
        switch (item.m_nKind) {
        case 0:
        case 1: break;
        case 3:
        case 4: {
            source.PlayTo(position, false);
            CCapturedSourceRange range;
            range.m_nPair = i + 1;
            range.m_pSnapshot = CChannelStateTable::NewBlock();
            source.CopyTo(range.m_pSnapshot.get());
            range.m_nFirstEvent = source.GetLastEvent() + 1;
            range.m_nSourceStart = source.GetPlayToTime();
            range.m_nLastFrame = ConformLastFrame(range.m_nSourceStart, len);
            source.PlayTo(range.m_nLastFrame, false);
            range.m_nLastEvent = source.GetLastEvent();
            captured.push_back(std::move(range));
            break;
        }
        case 6:
        case 7: {
            source.PlayTo(position, false);
            if (!safeName(item.m_strText3, /*separatorsAllowed=*/false)) {
                error = ERROR_INVALID_NAME;
                break;
            }
            // The stretch from time 0, starting with the state that held at its start.
            CAutomationEventArray stretch;
            {
                CChannelStateTable piece(&stretch, firstRouteProcess, sections, timeBase, nullptr);
                piece.PlayTo(0, false);
                copyStretch(piece, source, len);
            }
            CAutomationPackage copy(package);
            static_cast<EventElements&>(copy).Copy(stretch);
            CreateDirectoryA(pieceFolder, NULL);
            copy.SetPathName(pieceFolder + item.m_strText3 + kPieceExtension);
            copy.SetMixPassValues(0xFFFFFFFFu, 0xFFFFFFFFu);
            copy.ApplyOldValues();
            const BOOL indexed = CServerLinkConfig().Read().GetCardLinkType() == kIndexedCardLink ? TRUE : FALSE;
            try {
                if (!copy.Save(indexed)) error = copy.m_nError ? static_cast<DWORD>(copy.m_nError) : ERROR_ACCESS_DENIED;
            } catch (CFileException* e) {
                error = e->m_lOsError ? static_cast<DWORD>(e->m_lOsError) : ERROR_ACCESS_DENIED;
                e->Delete();
            }
            break;
        }
        default: continue;  // kinds 2, 5 and 8 take no source time
        }
        position = advance(position, len);
    }
    return error;
}

bool CAutomationEventArray::RebuildFromItems(const CEDLItemList& items, const CString& root, const CString& folder,
                                             int firstRouteProcess, int timeBase, const CPathMap* sections,
                                             CCapturedRangeArray& captured)
{
    // The snapshots go on every way out.
    struct Release {
        CCapturedRangeArray& ranges;
        ~Release() { ranges.clear(); }
    } release{captured};

    CAutomationEventArray rebuilt;
    CChannelStateTable source(this, firstRouteProcess, sections, timeBase, nullptr);
    CChannelStateTable output(&rebuilt, firstRouteProcess, sections, timeBase, nullptr);
    int s = items.m_nStart;
    int d = items.m_nStart;
    // The output starts from the console defaults brought to the array's state at time 0.
    source.PlayTo(0, false);
    output.PlayTo(0, false);
    output.ApplyFrom(source);

    const int count = items.GetSize();
    for (int i = 0; i < count; ++i) {
        postItem(*this, i, count);
        const CEDLItem item = items.GetAt(i);
        const int len = lengthOf(item);
        switch (item.m_nKind) {
        case 0:
        case 7:
            source.PlayTo(s, false);
            output.PlayTo(d, false);
            copyStretch(output, source, len);
            s = advance(s, len);
            d = advance(d, len);
            break;
        case 1:
        case 3:
        case 6: s = advance(s, len); break;
        case 2: d = advance(d, len); break;
        case 4:
        case 5: {
            output.PlayTo(d, false);
            // The range its reference names; a kind-4 item whose reference names none pastes
            // the range it captured itself.
            auto named = [&captured](int number) {
                return std::find_if(captured.begin(), captured.end(), [number](const CCapturedSourceRange& r) { return r.m_nPair == number; });
            };
            auto range = named(item.m_nReference);
            if (range == captured.end() && item.m_nKind == 4) range = named(i + 1);
            if (range != captured.end()) {
                output.ApplyValues(range->m_pSnapshot.get());
                if (range->m_nLastEvent >= range->m_nFirstEvent)
                    output.CopyEventRange(source, range->m_nFirstEvent, range->m_nLastEvent,
                                          ConformOffset(output.GetPlayToTime(), range->m_nSourceStart), false);
            }
            d = advance(d, len);
            if (item.m_nKind == 4) s = advance(s, len);
            break;
        }
        case 8: {
            const CString& folderName = item.m_strText2.IsEmpty() ? folder : item.m_strText2;
            const CString path = root + folderName + "\\" + item.m_strText3 + kPieceExtension;
            const DWORD attributes = GetFileAttributesA(path);
            if (!safeName(folderName, /*separatorsAllowed=*/true) || !safeName(item.m_strText3, /*separatorsAllowed=*/false) ||
                attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
                return false;
            CAutomationEventArray piece;
            readPiece(path, piece);
            CChannelStateTable inserted(&piece, firstRouteProcess, sections, timeBase, nullptr);
            inserted.PlayTo(0, false);
            output.PlayTo(d, false);
            copyStretch(output, inserted, len);
            d = advance(d, len);
            break;
        }
        default: break;
        }
    }

    // The tail: every source event after the source position follows the destination position.
    source.PlayTo(s, false);
    const int first = source.GetLastEvent() + 1;
    if (first <= GetSize() - 1) {
        output.PlayTo(d, false);
        const int offset = ConformOffset(output.GetPlayToTime(), source.GetPlayToTime());
        output.ApplyFrom(source);
        output.CopyEventRange(source, first, static_cast<int>(GetSize() - 1), offset, false);
    }
    static_cast<EventElements&>(*this).Copy(rebuilt);
    Sort(SortByTime);
    return true;
}

int CAutomationEventArray::EDLConform(const CEDLItemList& items, const CString& root, const CString& folder,
                                      const CAutomationPackage* package, CString& message)
{
    const int firstRouteProcess = ConformFirstRouteProcess(package);
    // Taken before duplicates merge; 0 on the small consoles.
    const int timeBase = ChannelTimeBase();
    BuildControlIndex();
    static const CPathMap noSections("PathMap");
    const CPathMap* sections = package ? &package->m_PathMap : &noSections;
    const CString packagePath = package ? package->m_strPathName : CString();

    CCapturedRangeArray captured;
    SendRemoteConform(items, packagePath);
    const DWORD error = CaptureAndSavePieces(items, root, folder, firstRouteProcess, timeBase, sections, package, captured);
    if (error != 0) {
        const CString text = systemText(error);
        std::lock_guard<std::mutex> lock(g_lastErrorMutex);
        g_lastConformError = text;
        message.Format("Conform could not save the automation :\n %s", static_cast<const char*>(g_lastConformError));
        return FALSE;
    }
    if (!RebuildFromItems(items, root, folder, firstRouteProcess, timeBase, sections, captured)) {
        message = "Conform failed to load the automation !\n ";
        return FALSE;
    }
    return TRUE;
}
