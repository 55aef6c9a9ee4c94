// The mix-setup block: the reply to the mix-setup attach and the create and save commands all
// carry the whole mix setup at these byte offsets from the block's start (p is a path number).
#pragma once

#include <cstddef>

#include "trevanny/SharedConstants.h"

namespace MixSetupBlock {

constexpr size_t kSize = 568260;       // create, save and reply blocks
constexpr size_t kAttachSize = 460000; // attach and process-list reload blocks
constexpr int kKinds = 14;
constexpr int kBanks = 6;
constexpr int kLayers = 4;
constexpr int kStrips = 160;
constexpr int kProcSlots = 11;
constexpr int kStems = 12;
constexpr int kStemValues = 9;  // values 1 to 8 hold track numbers
constexpr int kPreDubs = 132;
constexpr int kPreDubSlots = 8;
constexpr int kExternals = 7;
constexpr int kFoldDowns = 4;
constexpr int kFoldSize = 9;
constexpr int kCreateListValues = 14;
constexpr size_t kShortNameWidth = 5;
constexpr size_t kLongNameWidth = 201;
constexpr size_t kMSUNameWidth = 201;
constexpr size_t kBankNameWidth = 29;
constexpr size_t kFoldNameWidth = 9;
constexpr size_t kLayerNamesWidth = 96;

constexpr size_t kShortNames = 16;          // + 5 p
constexpr size_t kLongNames = 10016;        // + 201 p
constexpr size_t kName = 412016;
constexpr size_t kDefaultName = 412217;
constexpr size_t kCounts = 412424;          // + 4 k
constexpr size_t kAuxLayout = 412480;       // 4 x int32
constexpr size_t kCreateValue = 412496;
constexpr size_t kChannelMap = 412500;      // [bank][layer][strip] int32
constexpr size_t kProcLists = 427860;       // + 44 p, 11 x int32
constexpr size_t kSurround = 515860;        // + 2 p, uint16
constexpr size_t kStemTable = 519860;       // [stem][9] int32
constexpr size_t kLinks = 520292;           // + 4 p
constexpr size_t kNumFaders = 528292;
constexpr size_t kReadOnly = 528296;
constexpr size_t kPreDubTable = 528300;     // [predub][8] int32
constexpr size_t kExternalBreakdown = 533188;
constexpr size_t kSoloInhibit = 533216;     // + p
constexpr size_t kDisabled = 535216;        // + p
constexpr size_t kAutomated = 537216;       // + p
constexpr size_t kCreateList = 539228;      // 14 x int32, written by create only
constexpr size_t kFilmIndex = 539288;
constexpr size_t kAllocation = 539292;      // + 4 p
constexpr size_t kPriority = 547292;        // + p
constexpr size_t kBankNames = 549292;       // 6 x 29 bytes
constexpr size_t kDeskSetupType = 549468;
constexpr size_t kMixMinusOutputs = 549472;
constexpr size_t kFilmPanLaw = 549476;
constexpr size_t kVariants = 549480;        // + 8 p, 2 x int32
constexpr size_t kFoldGains = 565480;       // [fold][9][9] int16
constexpr size_t kFoldNames = 566128;       // 4 x 9 bytes
constexpr size_t kLayerNames = 566164;      // [bank][layer] 4 characters
constexpr size_t kEngines = 566260;         // + p

// The attach block: the name at 16 (200 bytes), the mode at 447916.
constexpr size_t kAttachName = 16;
constexpr size_t kAttachNameBytes = 200;
constexpr size_t kAttachMode = 447916;

static_assert(kLongNames == kShortNames + kShortNameWidth * kConsolePaths);
static_assert(kName == kLongNames + kLongNameWidth * kConsolePaths);
static_assert(kChannelMap + 4 * kBanks * kLayers * kStrips == kProcLists);
static_assert(kProcLists + 4 * kProcSlots * kConsolePaths == kSurround);
static_assert(kSurround + 2 * kConsolePaths == kStemTable);
static_assert(kStemTable + 4 * kStems * kStemValues == kLinks);
static_assert(kLinks + 4 * kConsolePaths == kNumFaders);
static_assert(kPreDubTable + 4 * kPreDubs * kPreDubSlots <= kExternalBreakdown);
static_assert(kAllocation + 4 * kConsolePaths == kPriority);
static_assert(kVariants + 8 * kConsolePaths == kFoldGains);
static_assert(kFoldGains + 2 * kFoldDowns * kFoldSize * kFoldSize == kFoldNames);
static_assert(kEngines + kConsolePaths == kSize);

}  // namespace MixSetupBlock
