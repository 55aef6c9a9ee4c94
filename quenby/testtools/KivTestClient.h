// A client object for tests of the server connection: it attaches to any kind, keeps a copy
// of every reply that reaches OnLinkIn, and exposes the base's block helpers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "quenby/GenericKIVObject.h"

class KivTestClient : public CGenericKIVObject {
public:
    explicit KivTestClient(int enabled = 1) : CGenericKIVObject(enabled) {}
    // No message loop delivers to this object: end the subscription before the members go.
    ~KivTestClient() override { StopAdvise(); }

    CString GetName() override { return "TestKIV"; }

    int OnLinkIn(_CommsStructure* block) override
    {
        std::vector<uint8_t> copy(reinterpret_cast<uint8_t*>(block), reinterpret_cast<uint8_t*>(block) + block->nSize);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_replies.push_back(std::move(copy));
        m_cv.notify_all();
        return 1;
    }

    /// Sends a bare attach command of this kind between StopAdvise and StartAdvise(readNow).
    void Attach(int command, int readNow) { SendAttachBlock(KIVAllocCommandBlock(command, kKIVBareCommandSize), readNow); }
    /// Sends a block of this command and size, its body filled by fill (from byte 16).
    void Send(int command, int size, const std::vector<uint8_t>& body = {})
    {
        HGLOBAL block = KIVAllocCommandBlock(command, size);
        if (block && !body.empty()) {
            std::memcpy(static_cast<uint8_t*>(GlobalLock(block)) + 16, body.data(), body.size());
            GlobalUnlock(block);
        }
        SendCommandBlock(block);
    }

    bool WaitForReplies(size_t count, int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_replies.size() >= count; });
    }
    std::vector<std::vector<uint8_t>> Replies()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_replies;
    }
    int Suspended() const { return m_nSuspended.load(); }
    DWORD Connection() const { return m_dwConnection; }
    bool HasServerObject() const { return m_pDataObject != nullptr; }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::vector<uint8_t>> m_replies;
};

/// The 64-bit FNV-1a hash the server simulator records of each block.
inline uint64_t KivBlockHash(const uint8_t* p, size_t n)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

/// A body that shows any shifted, dropped or repeated byte.
inline std::vector<uint8_t> KivTestPattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
    return v;
}
