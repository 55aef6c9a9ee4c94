// Event value texts both ways: (console type, process, control, text) through the typed-text
// reader and (console type, process, control, value) through the display text. Results must
// never touch undefined behaviour (the sanitizer builds replay the corpus).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "trevanny/ConsoleRegistryNames.h"
#include "trevanny/TemplateSnapAutoEvent.h"
#include "winport/RegistryObject.h"

namespace {

void useConsoleType(int type)
{
    static int current = -1000;
    static bool ready = false;
    if (!ready) {
        // A private registry for the run.
        char pattern[] = "/tmp/event-text-fuzz-XXXXXX";
        if (const char* dir = ::mkdtemp(pattern)) ::setenv("WINPORT_REGISTRY_DIR", dir, 1);
        ready = true;
    }
    if (type == current) return;
    CLocalMachineRegistryObject registry{CString()};
    registry.SetInt("Software\\Vok Dwen Cantle\\Main", "CantleConsoleType", type);
    CConsoleRegistryNames::ResetConsoleSettingsForTesting();
    current = type;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5) return 0;
    useConsoleType(data[0] % 10);
    CTemplateSnapAutoEvent e(data[1], data[2], static_cast<short>(data[3] | (data[4] << 8)));
    CString text;
    e.GetText(text, data[1] & 1, data[2] & 1);
    (void)e.GetEventName();
    (void)e.ShowsQuarterFrames();
    std::string typed(reinterpret_cast<const char*>(data + 5), size - 5);
    try {
        // The value of a typed text shows a text that reads back as the same value.
        short v = e.GetValueFromText(CString(typed.c_str()));
        CTemplateSnapAutoEvent back(data[1], data[2], v);
        back.GetText(text, 1, 0);
        (void)back.GetValueFromText(text);
    } catch (CNotSupportedException* ex) {
        ex->Delete();
    }
    return 0;
}
