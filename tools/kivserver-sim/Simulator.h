// The server simulator's protocol core: server objects on the local-server socket, the control
// socket, the record, scripted answers and the families of server objects it models.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include "winport/ServerFrames.h"

namespace kivsim {

struct Peer {
    int fd = -1;
    std::string out;  // bytes waiting to be written
    bool wantWrite = false;
};

struct ServerObject : Peer {
    int id = 0;
    pid_t pid = 0;
    bool connected = false;
    int kind = -1;  // the attach command the object answers to, -1 before its first attach
    winport::frames::FrameReader reader;
    std::map<uint32_t, uint32_t> advises;  // connection -> aspect
    // When set, GetData answers this object's own data (none when empty), not its kind's.
    bool ownData = false;
    std::vector<uint8_t> data;
};

struct ControlPeer : Peer {
    std::string in;
};

enum class Op { DAdvise, DUnadvise, GetData, SetData, Count };

/// What a scripted answer does when a block of its command arrives.
struct Reaction {
    enum class Kind { Set, Push, PushRaw, Echo } what = Kind::Set;
    std::vector<uint8_t> block;  // the block to set or push (unused for an echo)
    uint64_t delayMs = 0;
};

/// A block to set or push later, for one kind.
struct PendingAction {
    uint64_t dueMs = 0;
    int kind = -1;
    bool keep = true;  // becomes the kind's data
    bool push = false; // goes to the kind's subscriptions
    std::vector<uint8_t> block;
};

class Simulator {
public:
    Simulator(std::string socketPath, std::string controlPath, FILE* record, std::string blocksDir);
    int Run();

    // ---- used by the control language and the families ----

    /// Runs one control line and returns its answer ("ok ..." or "error ...").
    std::string Control(const std::string& line);
    void Record(const char* format, ...) __attribute__((format(printf, 2, 3)));
    /// Makes the block the data of its kind (what GetData answers).
    void SetData(int kind, std::vector<uint8_t> block) { m_data[kind] = std::move(block); }
    void ClearData(int kind) { m_data.erase(kind); }
    /// The data of a kind, or NULL when it has none.
    const std::vector<uint8_t>* Data(int kind) const
    {
        auto it = m_data.find(kind);
        return it == m_data.end() ? nullptr : &it->second;
    }
    /// Pushes the block to every subscription of objects of the kind (only those of the client
    /// process onlyPid when it is not 0); the number reached.
    int PushToKind(int kind, const std::vector<uint8_t>& block, pid_t onlyPid = 0);
    /// Closes every object's connection; the number closed.
    int DropAll();
    void CountObjects(size_t& objects, size_t& advised) const;
    void Script(Op op, int count, int32_t code) { m_scripted[static_cast<int>(op)] = {count, code}; }
    void BootFor(uint64_t ms);
    void BootCount(int n) { m_bootCount = n; }
    void NoData(int n) { m_noData = n; }
    void OnCommand(int command, Reaction reaction) { m_reactions[command] = std::move(reaction); }
    void OffCommand(int command) { m_reactions.erase(command); }
    void Exit() { m_exit = true; }

private:
    void Watch(int fd, uint64_t tag, uint32_t events, bool modify = false);
    void Dispatch(uint32_t events, uint64_t tag);
    void AcceptObjects();
    void AcceptControl();
    void CloseObject(int id);
    void ReadObject(int id);
    void ReadControl(int id);
    bool Scripted(Op op, int32_t& hr);
    void Handle(ServerObject& object, winport::frames::Frame& frame);
    void Received(ServerObject& object, uint32_t aspect, const uint8_t* block, size_t size);
    void Send(ServerObject& object, winport::frames::FrameKind kind, uint32_t callId, const std::vector<uint8_t>& body);
    void Flush(Peer& peer, uint64_t tag);
    void Perform(PendingAction& action);
    void RunDueActions();
    int MillisecondsToNextAction() const;

    struct ScriptedAnswer {
        int count = 0;
        int32_t code = 0;
    };

    std::string m_socketPath, m_controlPath;
    FILE* m_record;
    std::string m_blocksDir;
    uint64_t m_blockCount = 0;
    unsigned m_format = 0;
    int m_epoll = -1, m_listen = -1, m_controlListen = -1, m_signals = -1;
    bool m_exit = false;
    int m_nextObject = 0, m_nextControl = 0;
    uint32_t m_nextConnection = 0;
    std::map<int, std::unique_ptr<ServerObject>> m_objects;
    std::map<int, std::unique_ptr<ControlPeer>> m_controls;
    std::map<int, std::vector<uint8_t>> m_data;  // kind -> block
    std::map<int, Reaction> m_reactions;         // command -> scripted answer
    std::vector<PendingAction> m_pending;
    ScriptedAnswer m_scripted[static_cast<int>(Op::Count)];
    int m_noData = 0;
    int m_bootCount = 0;
    uint64_t m_bootingUntil = 0;
};

/// A family of server objects the simulator models: what an object of the family does with a
/// block it receives, before any scripted answer.
class Family {
public:
    virtual ~Family() = default;
    virtual const char* Name() const = 0;
    /// Called with every well-formed block (at least a header, a known command).
    virtual void OnBlock(Simulator& sim, ServerObject& object, int command, const uint8_t* block, size_t size) = 0;
};

/// The families, in the order they see each block.
const std::vector<Family*>& Families();
/// The families modelled in files of their own.
Family& RouterLinkFamily();
Family& StudioConfigFamily();
Family& MixSetupFamily();
Family& IOConfigSaveFamily();
Family& IORoutingFamily();

uint64_t NowMs();

}  // namespace kivsim
