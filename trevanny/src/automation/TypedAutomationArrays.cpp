#include "trevanny/TypedAutomationArrays.h"

#include "ChannelDefaults.h"

int CPathMap::GetSection(int channel) const { return channelstate::ChannelSection(GetData(), GetSize(), channel); }
