// What the mix-setup tests share: replies written from the block layout by hand (numbers, not
// the code's constants), a fixture with its own console settings and a running server, and a
// window that counts "MSU Created".
#pragma once

#include <gtest/gtest.h>

#include <poll.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "../testtools/KivClientTestKit.h"
#include "../testtools/KivTestClient.h"
#include "quenby/MixSetupExKIVObject.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "winport/MessageLoop.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

/// A whole mix-setup block (568260 bytes). Tables that hold paths start as none: channel map,
/// stems, predubs and process variants -1, every link naming its own path; process lists end
/// at once (21).
class MixSetupReply {
public:
    explicit MixSetupReply(int32_t command = 22)
    {
        I32(0, command).I32(8, 568260);
        for (size_t at = 412500; at < 427860; at += 4) I32(at, -1);   // channel map
        for (int p = 0; p < 2000; ++p)
            for (int slot = 0; slot < 11; ++slot) I32(427860 + 44 * p + 4 * slot, 21);
        for (size_t at = 519860; at < 520292; at += 4) I32(at, -1);   // stems
        for (int p = 0; p < 2000; ++p) I32(520292 + 4 * p, p);        // links
        for (size_t at = 528300; at < 532524; at += 4) I32(at, -1);   // predubs
        for (size_t at = 549480; at < 565480; at += 4) I32(at, -1);   // process variants
    }
    MixSetupReply& I32(size_t at, int32_t v) { return Put(at, &v, 4); }
    MixSetupReply& I16(size_t at, int16_t v) { return Put(at, &v, 2); }
    MixSetupReply& U8(size_t at, uint8_t v) { return Put(at, &v, 1); }
    MixSetupReply& Text(size_t at, const std::string& text) { return Put(at, text.data(), text.size()); }
    MixSetupReply& Count(int kind, int32_t n) { return I32(412424 + 4 * static_cast<size_t>(kind), n); }
    MixSetupReply& Names(int path, const std::string& shortName, const std::string& longName)
    {
        std::memset(bytes.data() + 16 + 5 * path, 0, 5);
        std::memset(bytes.data() + 10016 + 201 * path, 0, 201);
        return Text(16 + 5 * static_cast<size_t>(path), shortName).Text(10016 + 201 * static_cast<size_t>(path), longName);
    }
    MixSetupReply& ProcList(int path, std::initializer_list<int32_t> types)
    {
        int slot = 0;
        for (int32_t t : types) I32(427860 + 44 * static_cast<size_t>(path) + 4 * static_cast<size_t>(slot++), t);
        return *this;
    }
    MixSetupReply& Put(size_t at, const void* data, size_t n)
    {
        if (at + n <= bytes.size()) std::memcpy(bytes.data() + at, data, n);
        else ADD_FAILURE() << "field at " << at << " lies outside the block";
        return *this;
    }
    _CommsStructure* Block() { return reinterpret_cast<_CommsStructure*>(bytes.data()); }
    /// The block's bytes in a file, for the server's pushraw.
    std::string File(const std::string& path) const
    {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::vector<uint8_t> bytes = std::vector<uint8_t>(568260, 0);
};

/// A test with a private registry, the server running, and the console type at its default (3)
/// unless the test sets another.
class MixSetupTest : public KivServerTest {
protected:
    void SetUp() override
    {
        CConsoleRegistryNames::ResetConsoleSettingsForTesting();
        StartServer();
    }
    void TearDown() override { CConsoleRegistryNames::ResetConsoleSettingsForTesting(); }

    static void UseConsoleType(int type)
    {
        CLocalMachineRegistryObject registry{CString()};
        ASSERT_TRUE(registry.SetInt("Software\\Vok Dwen Cantle\\Main", "CantleConsoleType", type));
        CConsoleRegistryNames::ResetConsoleSettingsForTesting();
        ASSERT_EQ(type, CConsoleRegistryNames::GetConsoleType());
    }

    /// Stores a whole setup in the server under the name written at 412016, as a save would.
    void StoreInServer(MixSetupReply reply, const std::string& name)
    {
        reply.I32(0, 57);
        std::memset(reply.bytes.data() + 412016, 0, 201);
        reply.Text(412016, name);
        KivTestClient client;
        client.Send(57, 568260, std::vector<uint8_t>(reply.bytes.begin() + 16, reply.bytes.end()));
    }
};

/// A window of this thread that counts the "MSU Created" posts it is given.
class CreatedWindow {
public:
    CreatedWindow()
    {
        const UINT created = RegisterWindowMessageA("MSU Created");
        m_hwnd = winport::CreateMessageWindow("MixSetupTestWindow", [this, created](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == created && w == 0 && l == 0) ++m_posts;
            return 0;
        });
    }
    ~CreatedWindow() { DestroyWindow(m_hwnd); }
    HWND Handle() const { return m_hwnd; }
    int Posts() const { return m_posts; }
    /// Runs the thread's loop until `wanted` posts came (pushes are delivered by it too).
    bool PumpUntil(int wanted)
    {
        winport::MessageLoop& loop = winport::MessageLoop::Current();
        for (int i = 0; i < 400 && m_posts < wanted; ++i) {
            pollfd p{loop.WaitDescriptor(), POLLIN, 0};
            ::poll(&p, 1, 50);
            loop.RunUntilIdle();
        }
        return m_posts >= wanted;
    }

private:
    HWND m_hwnd = nullptr;
    int m_posts = 0;
};
