// Event value texts both ways: (console type, process, control, text) through the typed-text
// reader and (console type, process, control, value) through the display text. Results must
// never touch undefined behaviour (the sanitizer builds replay the corpus).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzFiles.h"
#include "trevanny/TemplateSnapAutoEvent.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5) return 0;
    fuzzfiles::UseConsole(data[0] % 10);
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
