// The ".mic" setup-file reader over any content: the version test, a whole load and a
// one-rack load, each from the bytes as a file of that length would give them.
#include <cstddef>
#include <cstdint>

#include "base/RackSetup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int version = CRackSetup::ImageVersion(data, size);
    CRackSetup whole;
    whole.LoadImage(version < 0 ? 1 : version, data, size, -1);
    // Whatever loaded, the record keeps its invariants and writes a sound image.
    for (int r = 0; r < CRackSetup::kRacks; ++r) {
        for (int c = 0; c < CRackSetup::kChannels; ++c) {
            const char* label = whole.GetLabel(r, c);
            size_t n = 0;
            while (n < CRackSetup::kLabelSize && label[n]) ++n;
            if (n >= CRackSetup::kLabelSize) __builtin_trap();
            int line = whole.GetChannelMicLine(r, c);
            if (line < 0 || line > CRackSetup::kMaxMicLine) __builtin_trap();
        }
    }
    BYTE image[CRackSetup::kSavedSize];
    whole.WriteImage(image);
    CRackSetup oneRack;
    oneRack.LoadImage(version, data, size, size > 0 ? data[0] % CRackSetup::kRacks : 0);
    return 0;
}
