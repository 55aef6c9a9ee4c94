// The server's I/O configurations: a save block (85) of port settings is kept under its
// configuration name; a reading of a stored configuration (318) makes the kept block the data
// of the object that asked, so that its re-attach reads it. A save block whose record counts
// (172 to 188) disagree with its size is recorded and not kept:
//
//   ioconfig saved object=N name=NAME records=R
//   ioconfig groups object=N records=R
//   ioconfig mismatch object=N size=S counts=A,B,C,D,E kind=K
//   ioconfig read object=N name=NAME found=0|1
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Simulator.h"
#include "quenby/KIVCommands.h"

namespace kivsim {

namespace {

constexpr size_t kHeader = 492, kRecord = 52, kGroupRoom = 6 * kRecord;
constexpr size_t kNameAt = 16, kNameWidth = 156, kReadNameAt = 573;

int32_t at32(const uint8_t* block, size_t offset)
{
    int32_t v;
    std::memcpy(&v, block + offset, 4);
    return v;
}

std::string textAt(const uint8_t* block, size_t size, size_t offset, size_t width)
{
    if (offset >= size) return {};
    width = std::min(width, size - offset);
    const char* text = reinterpret_cast<const char*>(block + offset);
    return std::string(text, strnlen(text, width));
}

class IOConfigFamily : public Family {
public:
    const char* Name() const override { return "io config"; }
    void OnBlock(Simulator& sim, ServerObject& object, int command, const uint8_t* block, size_t size) override
    {
        if (command == SaveIOConfigCommand) Saved(sim, object, block, size);
        if (command == ReadOfflineIOConfig) {
            const std::string name = textAt(block, size, kReadNameAt, size);
            auto it = m_saved.find(name);
            sim.Record("ioconfig read object=%d name=%s found=%d", object.id, name.c_str(), it != m_saved.end());
            if (it != m_saved.end() && object.kind >= 0) sim.SetData(object.kind, it->second);
        }
    }

private:
    void Saved(Simulator& sim, ServerObject& object, const uint8_t* block, size_t size)
    {
        int32_t counts[5] = {-1, -1, -1, -1, -1};
        int32_t kind = -1;
        if (size >= kHeader) {
            for (int i = 0; i < 5; ++i) counts[i] = at32(block, 172 + 4 * static_cast<size_t>(i));
            kind = at32(block, 488);
        }
        const size_t room = size >= kHeader ? (size - kHeader) / kRecord : 0;
        bool agree = size >= kHeader && (size - kHeader) % kRecord == 0;
        for (int32_t c : counts) agree = agree && c >= 0;
        int64_t ports = 0;
        for (int i = 0; i < 4; ++i) ports += counts[i];
        if (agree && kind == 0) {
            agree = counts[4] == 0 && static_cast<uint64_t>(ports) == room;
        } else if (agree && kind == 1) {
            // Room for six records per group; at least the master of each group is written.
            const size_t groups = (size - kHeader) / kGroupRoom;
            agree = ports == 0 && (size - kHeader) % kGroupRoom == 0 && static_cast<size_t>(counts[4]) <= room &&
                    static_cast<size_t>(counts[4]) >= groups;
        } else {
            agree = false;
        }
        if (!agree) {
            sim.Record("ioconfig mismatch object=%d size=%zu counts=%d,%d,%d,%d,%d kind=%d", object.id, size, counts[0], counts[1],
                       counts[2], counts[3], counts[4], kind);
            return;
        }
        if (kind == 1) {
            sim.Record("ioconfig groups object=%d records=%d", object.id, counts[4]);
            return;
        }
        const std::string name = textAt(block, size, kNameAt, kNameWidth);
        m_saved[name].assign(block, block + size);
        sim.Record("ioconfig saved object=%d name=%s records=%lld", object.id, name.c_str(), static_cast<long long>(ports));
    }

    std::map<std::string, std::vector<uint8_t>> m_saved;
};

}  // namespace

Family& IOConfigSaveFamily()
{
    static IOConfigFamily family;
    return family;
}

}  // namespace kivsim
