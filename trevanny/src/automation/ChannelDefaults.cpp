#include "ChannelDefaults.h"

#include <array>

namespace channelstate {

namespace {

using Row = std::array<int16_t, kControls>;
using Block = std::array<Row, kProcesses>;
constexpr int kFamilies = 3;

// Family 0, section 0: the defaults of the strip, by process.
constexpr Block baseBlock()
{
    Block b{};
    const Row band1{5329, 0, 0, 0, 0, 3, 0, 0, 0};
    const Row band2{1233, 0, 0, 0, 0, 2, 0, 0, 0};
    const Row band3{-396, 0, 0, 0, 0, 2, 0, 0, 0};
    const Row band4{-2862, 0, 0, 0, 0, 1, 0, 0, 0};
    b[1] = b[5] = band1;
    b[2] = b[6] = band2;
    b[3] = b[7] = b[20] = band3;
    b[4] = b[8] = band4;
    b[9] = {-2862, 0, 0, 0, 0, 0, 0, 0, 0};
    b[10] = {5329, 0, 0, 1, 0, 0, 0, 0, 0};
    b[11] = b[12] = {0, 640, 0, 100, 100, 80, 0, 0, 0};
    b[13] = {0, -1600, 0, 100, 100, 80, 2400, 0, 0};
    b[14] = {-8192, 0, 1, 0, 0, 0, 0, 0, 0};
    b[15] = b[16] = {0, 0, 0, 0, -32768, -32768, 1, 0, 0};
    b[17] = b[18] = {0, 0, 0, 0, 1, 0, -32768, 0, 0};
    b[19] = {0, -1600, 0, 100, 100, 1920, 2400, 0, 0};
    b[21] = {0, 0, 0, 0, -32768, 0, 0, 0, 0};
    b[22] = {0, -1600, 640, 100, 100, 0, 0, 0, 0};
    b[23] = {0, 0, 0, 1, 0, 0, 0, 0, 0};
    return b;
}

constexpr int kFaderProcess = 14;

// The other blocks differ from the base only in the EQ bands (processes 1 to 8) and the fader.
constexpr Block makeBlock(int family, int section)
{
    Block b = baseBlock();
    if (section == 1) {
        const int16_t level[8] = {6165, 4932, 3699, 2466, 1233, 0, -1233, -2466};
        for (int band = 0; band < 8; ++band) {
            b[1 + band][0] = level[band];
            b[1 + band][3] = 1849;
            b[1 + band][5] = 2;
        }
    } else if (family == 2) {
        const int16_t level[8] = {-2862, -396, 1233, 5329, -2862, -396, 1233, 5329};
        const int16_t shape[8] = {1, 2, 2, 3, 1, 2, 2, 3};
        for (int band = 0; band < 8; ++band) {
            b[1 + band][0] = level[band];
            b[1 + band][5] = shape[band];
        }
    }
    if (section == 3 || section == 9 || section == 10 || section == 11) b[kFaderProcess][0] = 0;
    return b;
}

constexpr auto kDefaults = [] {
    std::array<std::array<Block, kSections>, kFamilies> all{};
    for (int f = 0; f < kFamilies; ++f)
        for (int s = 0; s < kSections; ++s) all[f][s] = makeBlock(f, s);
    return all;
}();

constexpr int16_t kRouteDefaults[kRouteControls] = {0, 0, 0, 1};
constexpr int16_t kSmallDefaults[kSmallProcesses][kControls] = {
    {-8192, 0, 1, 0, 0, 0, 0, 0, 0},
    {-8192, 0, 1, 0, 0, 0, 0, 0, 0},
    {},
    {},
    {0, 0, 0, 0, -32768, 0, 0, 0, 0},
};

}  // namespace

int ConsoleFamily(int consoleType)
{
    if (consoleType == 5 || consoleType == 7) return 1;
    if (consoleType == 2 || consoleType == 4) return 2;
    return 0;
}

int16_t ControlDefault(int family, int section, int process, int control)
{
    if (family < 0 || family >= kFamilies) family = 0;
    if (section < 0 || section >= kSections) section = 0;
    if (process < 0 || process >= kProcesses || control < 0 || control >= kControls) return 0;
    return kDefaults[family][section][process][control];
}

int16_t RouteDefault(int control) { return control >= 0 && control < kRouteControls ? kRouteDefaults[control] : 0; }

int16_t SmallControlDefault(int process, int control)
{
    if (process < 0 || process >= kSmallProcesses || control < 0 || control >= kControls) return 0;
    return kSmallDefaults[process][control];
}

int ChannelSection(const int* pairs, int64_t count, int channel)
{
    for (int64_t k = 0; k + 1 < count; k += 2) {
        const int64_t first = pairs[k];
        if (channel >= first && channel < first + pairs[k + 1]) return static_cast<int>(k / 2);
    }
    return 0;
}

}  // namespace channelstate
