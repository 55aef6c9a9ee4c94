// Bitmap files from outside: the reader must refuse what does not hold, never read past the
// bytes given and never allocate more than the picture's real size allows.
#include <cstddef>
#include <cstdint>

#include "winport/PixelBuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    winport::PixelBuffer pixels;
    if (winport::ReadBitmapFile(data, size, pixels)) {
        // A picture that was read has as many pixels as its sides say.
        if (pixels.Count() != static_cast<size_t>(pixels.Width()) * pixels.Height()) __builtin_trap();
        unsigned sum = 0;
        for (size_t i = 0; i < pixels.Count(); ++i) sum += pixels.Data()[i].btRed;
        if (sum == 0xFFFFFFFFu) __builtin_trap();  // keeps the reads
    }
    return 0;
}
