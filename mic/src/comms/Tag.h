// The interface of a tag that a link may put in front of the bytes it sends. The framework
// declares it; a device that tags its bytes in its own way implements it.
#pragma once

#include "winport/WinTypes.h"

class CTag {
public:
    virtual ~CTag() = default;
    /// Whether the tag is in use; in use unless an implementation says otherwise.
    virtual BOOL IsActive() { return TRUE; }
    /// The byte sent in front of each data byte.
    virtual BYTE GetTagByte() const = 0;
    /// TRUE when a received byte is this tag.
    virtual BOOL IsTag(BYTE byte) const = 0;
    /// Starts the tag afresh; nothing to do unless an implementation keeps state.
    virtual void Reset() {}
};
