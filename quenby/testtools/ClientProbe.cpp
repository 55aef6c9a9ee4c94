// A second client process for the server tests.
//   kiv_client_probe retries      prints "retries N": the retry limit this process reads
//   kiv_client_probe attach KIND  attaches an object to KIND, prints "ready PID", waits for one
//                                 pushed reply ("got SIZE HASH"), sends a 460,000-byte block of
//                                 command 281 and prints "sent"
//   kiv_client_probe rovell R C   maps router stream R to console stream C (the whole map goes
//                                 to the server) and prints "sent"
//   kiv_client_probe route S R C IO A SLOT PATH LEG
//                                 sends one I/O route (system, rack, card, io, assigned, slot,
//                                 path, leg) and prints "sent"
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "KivTestClient.h"
#include "quenby/IORoutingKIVObject.h"
#include "quenby/RovellRoutingKIVObject.h"

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "retries") {
        try {
            KivTestClient probe;
        } catch (int) {
            // no server: the limit has been read all the same
        }
        std::printf("retries %d\n", CGenericKIVObject::MaxRetries());
        return 0;
    }
    if (mode == "attach" && argc == 3) {
        KivTestClient client;
        client.Attach(std::atoi(argv[2]), 0);
        std::printf("ready %d\n", static_cast<int>(::getpid()));
        std::fflush(stdout);
        if (!client.WaitForReplies(1)) return 3;
        auto reply = client.Replies().front();
        std::printf("got %zu %016llx\n", reply.size(), static_cast<unsigned long long>(KivBlockHash(reply.data(), reply.size())));
        client.Send(GenericKivserverCommand, 460000, KivTestPattern(460000 - 16, 0x5A));
        std::printf("sent\n");
        return 0;
    }
    if (mode == "rovell" && argc == 4) {
        CRovellRoutingKIVObject routing;
        routing.MapStream(static_cast<WORD>(std::atoi(argv[2])), static_cast<WORD>(std::atoi(argv[3])), 1);
        std::printf("sent\n");
        return 0;
    }
    if (mode == "route" && argc == 10) {
        CIORoutingKIVObject routing;
        auto byte = [&](int i) { return static_cast<BYTE>(std::atoi(argv[i])); };
        routing.SetIORoute(byte(2), byte(3), byte(4), byte(5), byte(6), std::atoi(argv[7]), std::atoi(argv[8]), byte(9));
        std::printf("sent\n");
        return 0;
    }
    std::fprintf(stderr, "usage: kiv_client_probe retries | attach KIND | rovell R C | route S R C IO A SLOT PATH LEG\n");
    return 2;
}
