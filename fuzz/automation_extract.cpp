// Fuzz target for the reader of older mix passes. The input's first six bytes choose the file
// kind and version (byte 0: bit 0 indexed, bits 1 to 3 the minor version of a compound file),
// the snapshot version (byte 1), the console type (byte 2, 1 to 8), the buffer's channels (bytes
// 3 and 4, up to 2100), the flag (byte 5, low 3 bits) and bytes cut from the buffer's end (byte 5,
// bits 3 and 4); the rest is the stored content of the flag's control and route items and of the
// two parameter items. The four reads must stay inside their buffers (exactly sized, so that the
// address sanitizer sees any overrun) and never fail loudly.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "trevanny/AutomationExtract.h"
#include "trevanny/AutxFile.h"
#include "trevanny/ChannelFlagArrays.h"
#include "winport/Storage.h"

namespace {

void writeStream(IStorage* root, const std::string& name, const uint8_t* data, size_t size)
{
    fuzzfiles::WriteStream(root, fuzzfiles::Wide(name), data, size);
}

void makeFile(const std::string& path, bool indexed, int minor, int flag, const uint8_t* data, size_t size)
{
    std::remove(path.c_str());
    const int ids[] = {kCtrlFlagItemIds[flag], kRteFlagItemIds[flag], 17, 18};
    if (indexed) {
        CAutxFile file;
        if (!file.Open(path.c_str())) return;
        for (int id : ids) file.AddEntry(id, data, static_cast<unsigned>(size));
        file.Close();
        return;
    }
    IStorage* root = nullptr;
    if (StgCreateDocfile(fuzzfiles::Wide(path).c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, &root) != S_OK) return;
    uint8_t version[40] = {1, static_cast<uint8_t>(minor)};
    writeStream(root, "File Version", version, sizeof version);
    writeStream(root, std::string(kCtrlFlagNames[flag]) + "CtlData", data, size);
    writeStream(root, std::string(kRteFlagNames[flag]) + "RteData", data, size);
    writeStream(root, "ISSCCtrlParms", data, size);
    writeStream(root, "ISSCRteParms", data, size);
    root->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6) return 0;
    const std::string path = fuzzfiles::Environment().Path("old.aut");
    const bool indexed = data[0] & 1;
    const int minor = (data[0] >> 1) & 7;
    const int sv = data[1] % 41;
    const int type = data[2] % 8 + 1;
    const int channels = (data[3] | data[4] << 8) % 2101;
    const int flag = data[5] & 7;
    const int cut = (data[5] >> 3) & 3;
    fuzzfiles::UseConsole(type);
    makeFile(path, indexed, minor, flag, data + 6, size - 6);

    CAutomationExtract reader(path.c_str());
    const size_t processes = static_cast<size_t>(GetCtrlProcessCount());
    const size_t routes = static_cast<size_t>(GetRteProcessCount());
    auto bytesOf = [cut](size_t n) { return static_cast<int>(n > static_cast<size_t>(cut) ? n - cut : 0); };
    {
        const size_t n = channels * processes;
        std::unique_ptr<DWORD[]> flags(new DWORD[n]);
        reader.GetControlFlags(sv, flags.get(), bytesOf(n * 4), kCtrlFlagItemIds[flag], 0x15555);
    }
    {
        const size_t n = channels * routes;
        std::unique_ptr<DWORD[]> flags(new DWORD[n]);
        reader.GetRouteFlags(sv, flags.get(), bytesOf(n * 4), kRteFlagItemIds[flag], 0xFFFF);
    }
    {
        const size_t n = channels * processes * 9;
        std::unique_ptr<WORD[]> parms(new WORD[n]);
        reader.GetControlParms(sv, parms.get(), bytesOf(n * 2));
    }
    {
        const size_t n = channels * routes * 4;
        std::unique_ptr<WORD[]> parms(new WORD[n]);
        reader.GetRouteParms(sv, parms.get(), bytesOf(n * 2));
    }
    return 0;
}
