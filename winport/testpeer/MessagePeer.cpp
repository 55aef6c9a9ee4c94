// A second program for the tests of the messages between programs. It is driven by its
// command line and reports on standard output, one line per event:
//   register NAME...                 "id NAME HEX" for each name
//   serve [--no-read] NAME... -- CLASS...
//                                    "ready HANDLE..." then "msg HANDLE WHAT W L" per message,
//                                    WHAT being a NAME given or the number in hex; ends on WM_CLOSE
//                                    or when standard input closes
//   post HANDLE NAME|HEX W L         "posted 1" or "posted 0 ERROR"
//   broadcast NAME|HEX W L           "posted 1"
//   instance LOCK CLASS WAKENAME     first copy: "first HANDLE", then "wake N" per wake-up;
//                                    second copy: "second posted 1|0" and it ends
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "winport/InstanceLock.h"
#include "winport/Window.h"

namespace {

std::map<UINT, std::string> g_names;

void say(const std::string& line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string hex(unsigned long v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%lX", v);
    return b;
}

UINT messageOf(const char* text)
{
    char* end = nullptr;
    unsigned long v = std::strtoul(text, &end, 16);
    if (*text && !*end) return static_cast<UINT>(v);
    UINT id = RegisterWindowMessageA(text);
    g_names[id] = text;
    return id;
}

std::string describe(UINT msg)
{
    auto it = g_names.find(msg);
    return it != g_names.end() ? it->second : hex(msg);
}

/// Closes the given windows when standard input ends (the test has finished with us).
void closeOnEndOfInput(std::vector<HWND> windows)
{
    std::thread([windows] {
        char c;
        while (::read(0, &c, 1) > 0) {
        }
        for (HWND w : windows) PostMessageA(w, WM_CLOSE, 0, 0);
    }).detach();
}

int serve(int argc, char** argv)
{
    bool read = true;
    int i = 2;
    if (i < argc && std::strcmp(argv[i], "--no-read") == 0) {
        read = false;
        ++i;
    }
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) messageOf(argv[i]);
    std::vector<HWND> windows;
    int open = 0;
    for (++i; i < argc; ++i) {
        HWND w = winport::CreateMessageWindow(argv[i], [&open](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
            if (msg == WM_CREATE) return 0;
            if (msg == WM_DESTROY) {
                if (--open == 0) PostQuitMessage(0);
                return 0;
            }
            say("msg " + hex(HandleToUlong(hwnd)) + " " + describe(msg) + " " + std::to_string(wp) + " " +
                std::to_string(lp));
            return DefWindowProcA(hwnd, msg, wp, lp);
        });
        if (!w) return 2;
        ++open;
        windows.push_back(w);
    }
    std::string ready = "ready";
    for (HWND w : windows) ready += " " + hex(HandleToUlong(w));
    say(ready);
    if (!read) {
        char c;
        while (::read(0, &c, 1) > 0) {
        }
        return 0;
    }
    closeOnEndOfInput(windows);
    return winport::MessageLoop::Current().Run();
}

int instance(int argc, char** argv)
{
    if (argc < 5) return 2;
    winport::InstanceLock lock(argv[2]);
    UINT wake = messageOf(argv[4]);
    if (!lock.IsHeld()) {
        HWND first = FindWindowA(argv[3], nullptr);
        BOOL posted = first ? PostMessageA(first, wake, 0, 0) : FALSE;
        say(std::string("second posted ") + (posted ? "1" : "0"));
        return 0;
    }
    int wakes = 0;
    HWND w = winport::CreateMessageWindow(argv[3], [&](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        if (msg == wake) say("wake " + std::to_string(++wakes));
        if (msg == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcA(hwnd, msg, wp, lp);
    });
    say("first " + hex(HandleToUlong(w)));
    closeOnEndOfInput({w});
    return winport::MessageLoop::Current().Run();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    std::string cmd = argv[1];
    if (cmd == "register") {
        for (int i = 2; i < argc; ++i) say(std::string("id ") + argv[i] + " " + hex(RegisterWindowMessageA(argv[i])));
        return 0;
    }
    if (cmd == "serve") return serve(argc, argv);
    if (cmd == "instance") return instance(argc, argv);
    if ((cmd == "post" && argc == 6) || (cmd == "broadcast" && argc == 5)) {
        int a = cmd == "post" ? 3 : 2;
        HWND target = cmd == "post" ? UlongToHwnd(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 16))) : HWND_BROADCAST;
        BOOL ok = PostMessageA(target, messageOf(argv[a]), std::strtoull(argv[a + 1], nullptr, 10),
                               std::strtoll(argv[a + 2], nullptr, 10));
        say(ok ? "posted 1" : "posted 0 " + std::to_string(GetLastError()));
        return 0;
    }
    return 2;
}
