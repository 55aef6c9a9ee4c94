// Server blocks after the frame decoder: any bytes the server pushes as a reply reach the
// client objects that read replies (the mic-line, client-monitor and console-setup objects,
// the router and studio-configuration objects, and mic's mic-line and client-monitor
// receptacles) exactly as a delivered data change does. Each either reads the block within its
// size field or leaves it; the receptacles' messages are taken as the main dialog takes them.
//
// The objects need a server to be made: a small one on a thread of this process answers the
// connection of each object and nothing more (no call reaches it while blocks are read).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "FuzzFiles.h"
#include "app/ClientMonitorReceptacle.h"
#include "app/MicLineInterface.h"
#include "quenby/ConsoleSystemKIVObjects.h"
#include "quenby/CurrentConsoleSetupKIVObject.h"
#include "quenby/MicLineKIVObject.h"
#include "quenby/RovellRoutingKIVObject.h"
#include "winport/MessageLoop.h"
#include "winport/ServerFrames.h"
#include "winport/Window.h"

using namespace winport::frames;

namespace {

// Answers every request of one connection with success (an advise gets connection 1).
void serveConnection(int fd)
{
    FrameReader reader;
    uint8_t buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        reader.Feed(buffer, static_cast<size_t>(n));
        while (auto frame = reader.Next()) {
            BodyWriter reply;
            reply.I32(S_OK);
            if (frame->kind == FrameKind::DAdvise) reply.U32(1);
            const std::vector<uint8_t> out = Encode(FrameKind::Reply, frame->callId, reply.Out());
            if (::write(fd, out.data(), out.size()) != static_cast<ssize_t>(out.size())) break;
        }
        if (reader.Failed()) break;
    }
    ::close(fd);
}

struct Objects {
    HWND owner = nullptr;
    CMicLineKIVObject* micLine = nullptr;
    CClientMonitorKIVObject* clientMonitor = nullptr;
    CCurrentConsoleSetupKIVObject* consoleSetup = nullptr;
    CRovellRoutingKIVObject* router = nullptr;
    CStudioConfigKIV* studio = nullptr;
    CMicLineInterface* micLineReceptacle = nullptr;
    CClientMonitorReceptacle* closeReceptacle = nullptr;
    std::vector<CGenericKIVObject*> all;
};

Objects& objects()
{
    static Objects* made = [] {
        auto* o = new Objects;
        const std::string socketPath = fuzzfiles::Environment().Path("kiv.sock");
        ::setenv("KIVSERVER_SOCKET", socketPath.c_str(), 1);

        const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
        if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener, 16) != 0) {
            std::abort();
        }
        std::thread([listener] {
            for (;;) {
                const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0) continue;
                std::thread(serveConnection, fd).detach();
            }
        }).detach();

        o->owner = winport::CreateMessageWindow("ServerBlocksOwner", [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        o->micLine = new CMicLineKIVObject(TRUE);
        o->clientMonitor = new CClientMonitorKIVObject(TRUE);
        o->consoleSetup = new CCurrentConsoleSetupKIVObject(TRUE);
        o->router = new CRovellRoutingKIVObject(TRUE);
        o->studio = new CStudioConfigKIV(TRUE);
        o->micLineReceptacle = new CMicLineInterface(o->owner);
        o->closeReceptacle = new CClientMonitorReceptacle(o->owner);
        o->all = {o->micLine, o->clientMonitor, o->consoleSetup, o->router, o->studio, o->micLineReceptacle,
                  o->closeReceptacle};
        return o;
    }();
    return *made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Objects& o = objects();
    for (CGenericKIVObject* object : o.all) {
        // The delivery hands over a block of the bytes received; the receiver frees it.
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
        if (!block) return 0;
        if (size) {
            std::memcpy(GlobalLock(block), data, size);
            GlobalUnlock(block);
        }
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = block;
        object->OnDataChange(nullptr, &medium);
    }
    // What the main dialog does with the receptacles' messages: it takes the newest record.
    MicLineRecord record;
    (void)o.micLineReceptacle->TakeRecord(record);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    return 0;
}
