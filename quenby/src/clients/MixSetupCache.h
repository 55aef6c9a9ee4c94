// The cached mix setup of CMixSetupExKIVObject: every table of the mix-setup block and the
// client's own fields. Private to the mix-setup object's sources.
#pragma once

#include <cstdint>
#include <vector>

#include "quenby/MixSetupBlock.h"
#include "trevanny/SharedConstants.h"
#include "winport/WinTypes.h"

struct MixSetupCache {
    static constexpr int P = kConsolePaths;
    static constexpr int kLinkGroups = 100;
    static constexpr int kProcessTypes = 47;

    char shortNames[P][MixSetupBlock::kShortNameWidth];  // always zero-ended
    char longNames[P][MixSetupBlock::kLongNameWidth];
    int counts[MixSetupBlock::kKinds];
    int auxLayout[4];
    int channelMap[MixSetupBlock::kBanks][MixSetupBlock::kLayers][MixSetupBlock::kStrips];
    BYTE procLists[P][MixSetupBlock::kProcSlots];
    WORD surround[P];
    int stems[MixSetupBlock::kStems][MixSetupBlock::kStemValues];
    std::vector<int> linkGroups[kLinkGroups];
    int numFaders;
    int readOnly;
    int preDubs[MixSetupBlock::kPreDubs][MixSetupBlock::kPreDubSlots];
    int externalBreakdown[MixSetupBlock::kExternals];
    BYTE soloInhibit[P];
    BYTE disabled[P];
    BYTE automated[P];
    int filmIndex;
    int filmPanLaw;
    BYTE priority[P];
    char bankNames[MixSetupBlock::kBanks][MixSetupBlock::kBankNameWidth];
    int deskSetupType;
    int mixMinusOutputs;
    int variants[P][2];
    short foldGains[MixSetupBlock::kFoldDowns][MixSetupBlock::kFoldSize][MixSetupBlock::kFoldSize];
    char foldNames[MixSetupBlock::kFoldDowns][MixSetupBlock::kFoldNameWidth];
    char layerNames[MixSetupBlock::kLayerNamesWidth];
    BYTE engines[P];

    // Not in the block.
    BYTE preDubZones[3];
    int masters[3][2];
    int partitions[3][2];
    BYTE defaultLists[15][MixSetupBlock::kProcSlots];  // per kind, 14 is the channels' beyond the faders
};
