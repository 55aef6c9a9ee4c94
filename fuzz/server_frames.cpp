// The client's decoder of the local-server connection: any bytes from a server, cut into reads
// of any size, give whole frames or a clean failure, and every frame body parses within bounds.
#include <cstddef>
#include <cstdint>

#include "winport/ServerFrames.h"

using namespace winport::frames;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    // The first byte sets the size of the reads the bytes arrive in.
    size_t chunk = 1 + data[0] % 64;
    FrameReader reader;
    for (size_t pos = 1; pos < size && !reader.Failed(); pos += chunk) {
        size_t n = pos + chunk <= size ? chunk : size - pos;
        reader.Feed(data + pos, n);
        while (auto frame = reader.Next()) {
            if (auto reply = ParseReply(frame->body)) {
                BodyReader r(reply->rest, reply->restSize);
                uint32_t connection = 0;
                (void)r.U32(connection);
            }
            if (auto change = ParseDataChange(frame->body)) {
                volatile uint8_t sum = 0;
                for (size_t i = 0; i < change->blockSize; i += 4096) sum = sum + change->block[i];
            }
            BodyReader request(frame->body);
            WireFormat format;
            uint32_t word = 0;
            (void)request.Format(format);
            (void)request.U32(word);
        }
    }
    return 0;
}
