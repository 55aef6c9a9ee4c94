// The kit every client class of the library is written with: a builder of command blocks, a
// bounded reader of reply blocks, and the path numbering and default labels that several
// client classes share.
//
// Writing a client class:
//
//   class CFooKIVObject : public CGenericKIVObject {
//   public:
//       explicit CFooKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
//       CString GetName() override { return "FooKIV"; }
//
//       // Attach: a bare 16-byte block between StopAdvise and StartAdvise(1).
//       void FooAttach() { SendAttachBlock(KivBlock(AttachToFoo, 16).Take(), /*readNow=*/1); }
//
//       // Command: fill the block field by field, then send it and free it.
//       void SetFoo(const CString& name, int value, HWND window)
//       {
//           KivBlock block(SetFooCommand, 60, window);
//           block.PlainName(20, 36, name);  // the field runs to the next field written (56)
//           block.Put32(56, value);
//           SendCommandBlock(block.Take());
//       }
//
//       // A command whose one field is a name.
//       void LoadFoo(const CString& name) { SendCommandBlock(KivNameBlock(LoadFooCommand, 60, 20, 40, name)); }
//
//       // Re-attaching command: sent like an attach, so that the reply it causes is read
//       // before the method returns.
//       void Refresh() { SendAttachBlock(KivBlock(RefreshFooCommand, 16).Take(), /*readNow=*/1); }
//
//       // A class that keeps server state reads its reply through a KivReplyReader.
//       int OnLinkIn(_CommsStructure* reply) override
//       {
//           KivReplyReader in(reply);
//           m_nValue = in.Get32(16);
//           m_strName = in.GetString(20, 36);
//           return 1;
//       }
//   };
//
// Take() hands over a block only when it was made and every write fitted it; a block that
// could not be made, or that a write was refused in, is freed and never sent (SendAttachBlock
// and SendCommandBlock do nothing with NULL). Offsets and widths are the wire layout's numbers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quenby/CommsStructure.h"
#include "winport/CString.h"

/// A zero-filled command block under construction: command at 0, window at 4, size at 8,
/// offset 12 left zero. Every write is checked against the block; a write that would reach
/// outside it is refused (false), changes nothing, and marks the block as not to be sent.
class KivBlock {
public:
    /// size is the whole block, header included; a size below 16 or above the transport's
    /// bound, a command outside the table or a failed allocation makes no block.
    KivBlock(int command, int64_t size, HWND window = nullptr);
    ~KivBlock();
    KivBlock(const KivBlock&) = delete;
    KivBlock& operator=(const KivBlock&) = delete;

    /// The largest block the transport carries.
    static size_t MaxSize();

    bool Made() const { return m_pBytes != nullptr; }
    bool Refused() const { return m_bRefused; }
    size_t Size() const { return m_nSize; }

    bool Put8(size_t offset, uint8_t value);
    bool Put16(size_t offset, uint16_t value);
    bool Put32(size_t offset, int32_t value);
    bool PutBytes(size_t offset, const void* data, size_t count);

    /// Plain copy into a field of `width` bytes: the name cut at width - 1 bytes, then a zero,
    /// the rest of the field zero.
    bool PlainName(size_t offset, size_t width, const char* name);
    /// Bounded copy of n bytes: at most n bytes of the name, the rest of the n bytes zero; a
    /// name of n bytes or more fills them with no zero. One byte per character (Windows-1252).
    bool BoundedName(size_t offset, size_t n, const char* name);
    /// Length copy into a field of `width` bytes: the name's own bytes, cut at width - 1, with
    /// no terminator written (the block's zero fill ends the text).
    bool LengthName(size_t offset, size_t width, const char* name);

    /// The block to send (the caller sends and frees it), or NULL when it was not made or a
    /// write was refused. The builder gives the block up either way.
    HGLOBAL Take();

private:
    bool Fits(size_t offset, size_t count);
    /// The name cut at width - 1 bytes; zeroRest also clears the rest of the field.
    bool CutName(size_t offset, size_t width, const char* name, bool zeroRest);

    HGLOBAL m_hBlock = nullptr;
    uint8_t* m_pBytes = nullptr;  // locked while the builder holds the block
    size_t m_nSize = 0;
    bool m_bRefused = false;
};

/// The most common command: a block whose one field is a name (plain copy into `width` bytes
/// at `offset`). The block to send, or NULL as KivBlock::Take.
HGLOBAL KivNameBlock(int command, int64_t size, size_t offset, size_t width, const char* name, HWND window = nullptr);

/// Reads a reply block in an OnLinkIn override. Every read is bounded by the block's size
/// field (which the base has checked against the bytes received): a field that lies outside
/// the block reads as the fallback (numbers) or empty (text), never beyond it.
class KivReplyReader {
public:
    explicit KivReplyReader(const _CommsStructure* reply);

    size_t Size() const { return m_nSize; }
    int Command() const { return static_cast<int>(Get32(0, -1)); }
    bool Has(size_t offset, size_t count) const { return offset <= m_nSize && count <= m_nSize - offset; }

    uint8_t Get8(size_t offset, uint8_t fallback = 0) const;
    uint16_t Get16(size_t offset, uint16_t fallback = 0) const;
    int32_t Get32(size_t offset, int32_t fallback = 0) const;
    /// Copies count bytes when they all lie in the block; false (nothing copied) otherwise.
    bool GetBytes(size_t offset, void* out, size_t count) const;
    /// The text of a field of `width` bytes: up to its first zero, the field's end or the
    /// block's end, whichever comes first.
    CString GetString(size_t offset, size_t width) const;

private:
    const uint8_t* m_pBytes;
    size_t m_nSize;
};

// ---- path numbering of a mix setup ----

/// The fourteen path kinds: 0 channel, 1 group, 2 main, 3 aux, 4 listen, 5 talkback, 6 sel,
/// 7 track, 8 cue, 9 extern, 10 film, 11 film listen, 12 predub dummy master, 13 star command.
/// Kind 14 (subs) is known to the labels and always has no paths.
constexpr int kKivPathKindCount = 14;

/// The first path number of a kind: the sum of the counts of the kinds numbered before it in
/// the order channel, track, group, main, aux, cue, listen, talkback, sel, extern, film, film
/// listen, predub dummy master, star command. counts[k] is the count of kind k; kinds at or
/// beyond countSize count 0. A kind outside 0 to 13 has offset 0.
int KivKindOffset(const int* counts, int countSize, int kind);
/// The kind whose range holds the path, -1 when none does.
int KivKindOfPath(const int* counts, int countSize, int path);

/// A table of label formats, one printf format (with at most one %d) of up to 9 characters per
/// kind.
using KivLabelFormats = char[kKivPathKindCount][10];

/// The default label of the number-th path (from 1) of a kind. Formats come from `below10` for
/// numbers below 10 and from `from10` otherwise. Kind 1: "MM" for the first mixMinusGroups
/// groups; on console type 4 the others are numbered less mixMinusGroups (the table is still
/// chosen by `number`). Kind 2: "MAIN" for number 1. Kind 5: "TBK ". Kind 14: "S %-2d".
/// Any other kind: empty.
CString KivDefaultLabel(int kind, int number, const KivLabelFormats& below10, const KivLabelFormats& from10,
                        int mixMinusGroups, int consoleType);
