// The control language: one command per line, one answer line ("ok ..." or "error ...").
//
//   busy N [dadvise|dunadvise|getdata|setdata]  the next N such calls answer busy (0xF0000003)
//   fail N OP CODE      the next N calls of OP (as for busy) answer CODE (e.g. 0x80004005)
//   booting MS          DAdvise answers "booting" (0xF0000005) for the next MS milliseconds
//   bootcount N         the next N DAdvise calls answer "booting"
//   nodata N            the next N DAdvise calls answer "no data" (0xF0000004)
//   set KIND SIZE [BODY] the data of objects of KIND: a block of SIZE bytes with the header
//                       (command KIND, window 0, size SIZE) and BODY from byte 16
//   setraw KIND BYTES   exactly these bytes become the data of KIND (no header is built)
//   clear KIND          no data for KIND
//   push KIND SIZE [BODY] as set, and the block is pushed to every advised object of KIND;
//                       answers "ok N" with the number of subscriptions reached
//   pushraw KIND BYTES  pushes exactly these bytes (no header is built, nothing is kept)
//   on CMD REACTION     when a block of command CMD arrives, act for the kind of the object
//                       that sent it (nothing for an object that has not attached yet; one
//                       reaction per command, replacing an earlier one):
//     on CMD set SIZE [BODY] [after MS]   as set
//     on CMD push SIZE [BODY] [after MS]  as push
//     on CMD pushraw BYTES [after MS]     as pushraw
//     on CMD echo [after MS]              the received block becomes the kind's data and is
//                                         pushed to its subscriptions
//   off CMD             the command's scripted answer is removed
//   drop                closes every object's connection ("ok N")
//   status              "ok objects=N advised=M"
//   exit                ends the server
//
// BODY and BYTES are hexadecimal, or @FILE for the bytes of a file (up to the transport's
// block bound).
#include <cerrno>
#include <cstring>
#include <map>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "Simulator.h"
#include "quenby/KivServerClass.h"

namespace kivsim {

namespace {

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < line.size()) {
        size_t start = line.find_first_not_of(" \t\r", pos);
        if (start == std::string::npos) break;
        size_t end = line.find_first_of(" \t\r", start);
        if (end == std::string::npos) end = line.size();
        out.push_back(line.substr(start, end - start));
        pos = end;
    }
    return out;
}

bool toLong(const std::string& s, long& v)
{
    char* end = nullptr;
    errno = 0;
    v = std::strtol(s.c_str(), &end, 0);
    return !s.empty() && *end == 0 && errno == 0;
}

bool unhex(const std::string& s, std::vector<uint8_t>& out)
{
    if (s.size() % 2) return false;
    auto val = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < s.size(); i += 2) {
        int hi = val(s[i]), lo = val(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

// Hexadecimal bytes, or @FILE: the bytes of the file.
bool bytesOf(const std::string& word, std::vector<uint8_t>& out, std::string& error)
{
    out.clear();
    if (word.size() > 1 && word[0] == '@') {
        std::ifstream in(word.substr(1), std::ios::binary);
        if (!in) {
            error = "cannot read " + word.substr(1);
            return false;
        }
        out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else if (!unhex(word, out)) {
        error = "bad hex";
        return false;
    }
    if (out.size() > winport::frames::kMaxBlockBytes) {
        error = "more than " + std::to_string(winport::frames::kMaxBlockBytes) + " bytes";
        return false;
    }
    return true;
}

// A block of SIZE bytes with its header and an optional body: w[0] is SIZE.
bool buildBlock(int kind, const std::vector<std::string>& w, std::vector<uint8_t>& block, std::string& error)
{
    long size = 0;
    if (w.empty() || w.size() > 2 || !toLong(w[0], size)) {
        error = "expected SIZE [BODY]";
        return false;
    }
    std::vector<uint8_t> body;
    if (w.size() == 2 && !bytesOf(w[1], body, error)) return false;
    if (size < 16 || static_cast<size_t>(size) > winport::frames::kMaxBlockBytes ||
        body.size() > static_cast<size_t>(size - 16)) {
        error = "size must be 16 to " + std::to_string(winport::frames::kMaxBlockBytes) + " and hold the body";
        return false;
    }
    block.assign(static_cast<size_t>(size), 0);
    const int32_t header[4] = {kind, 0, static_cast<int32_t>(size), 0};
    std::memcpy(block.data(), header, sizeof header);
    if (!body.empty()) std::memcpy(block.data() + 16, body.data(), body.size());
    return true;
}

// "on CMD ...": the reaction, with its optional "after MS" at the end.
std::string parseReaction(const std::vector<std::string>& w, int& command, Reaction& reaction)
{
    long n = 0;
    if (w.size() < 3 || !toLong(w[1], n)) return "usage: on CMD set|push|pushraw|echo ... [after MS]";
    command = static_cast<int>(n);
    std::vector<std::string> rest(w.begin() + 2, w.end());
    if (rest.size() >= 3 && rest[rest.size() - 2] == "after") {
        long ms = 0;
        if (!toLong(rest.back(), ms) || ms < 0) return "bad delay";
        reaction.delayMs = static_cast<uint64_t>(ms);
        rest.resize(rest.size() - 2);
    }
    const std::string& what = rest[0];
    std::vector<std::string> args(rest.begin() + 1, rest.end());
    std::string error;
    if (what == "echo" && args.empty()) {
        reaction.what = Reaction::Kind::Echo;
    } else if (what == "set" || what == "push") {
        reaction.what = what == "set" ? Reaction::Kind::Set : Reaction::Kind::Push;
        if (!buildBlock(command, args, reaction.block, error)) return error;
    } else if (what == "pushraw" && args.size() == 1) {
        reaction.what = Reaction::Kind::PushRaw;
        if (!bytesOf(args[0], reaction.block, error)) return error;
    } else {
        return "unknown reaction " + what;
    }
    return "";
}

}  // namespace

std::string Simulator::Control(const std::string& line)
{
    auto w = words(line);
    if (w.empty()) return "error empty command";
    const std::string& cmd = w[0];
    long n = 0;
    std::string error;
    bool busy = cmd == "busy" && (w.size() == 2 || w.size() == 3);
    bool fail = cmd == "fail" && w.size() == 4;
    if ((busy || fail) && toLong(w[1], n) && n >= 0) {
        std::string op = w.size() >= 3 ? w[2] : "dadvise";
        static const std::map<std::string, Op> ops = {
            {"dadvise", Op::DAdvise}, {"dunadvise", Op::DUnadvise}, {"getdata", Op::GetData}, {"setdata", Op::SetData}};
        auto it = ops.find(op);
        if (it == ops.end()) return "error unknown call " + op;
        int32_t code = KIV_E_NOTREADY;
        if (fail) code = static_cast<int32_t>(std::strtoul(w[3].c_str(), nullptr, 0));
        Script(it->second, static_cast<int>(n), code);
        return "ok";
    }
    if (cmd == "booting" && w.size() == 2 && toLong(w[1], n) && n >= 0) {
        BootFor(static_cast<uint64_t>(n));
        return "ok";
    }
    if (cmd == "bootcount" && w.size() == 2 && toLong(w[1], n) && n >= 0) {
        BootCount(static_cast<int>(n));
        return "ok";
    }
    if (cmd == "nodata" && w.size() == 2 && toLong(w[1], n) && n >= 0) {
        NoData(static_cast<int>(n));
        return "ok";
    }
    if ((cmd == "set" || cmd == "push") && w.size() >= 3 && toLong(w[1], n)) {
        std::vector<uint8_t> block;
        if (!buildBlock(static_cast<int>(n), {w.begin() + 2, w.end()}, block, error)) return "error " + error;
        SetData(static_cast<int>(n), block);
        if (cmd == "set") return "ok";
        return "ok " + std::to_string(PushToKind(static_cast<int>(n), block));
    }
    if ((cmd == "setraw" || cmd == "pushraw") && w.size() == 3 && toLong(w[1], n)) {
        std::vector<uint8_t> block;
        if (!bytesOf(w[2], block, error)) return "error " + error;
        if (cmd == "setraw") {
            SetData(static_cast<int>(n), block);
            return "ok";
        }
        return "ok " + std::to_string(PushToKind(static_cast<int>(n), block));
    }
    if (cmd == "clear" && w.size() == 2 && toLong(w[1], n)) {
        ClearData(static_cast<int>(n));
        return "ok";
    }
    if (cmd == "on") {
        int command = 0;
        Reaction reaction;
        error = parseReaction(w, command, reaction);
        if (!error.empty()) return "error " + error;
        OnCommand(command, std::move(reaction));
        return "ok";
    }
    if (cmd == "off" && w.size() == 2 && toLong(w[1], n)) {
        OffCommand(static_cast<int>(n));
        return "ok";
    }
    if (cmd == "drop" && w.size() == 1) return "ok " + std::to_string(DropAll());
    if (cmd == "status" && w.size() == 1) {
        size_t objects = 0, advised = 0;
        CountObjects(objects, advised);
        return "ok objects=" + std::to_string(objects) + " advised=" + std::to_string(advised);
    }
    if (cmd == "exit" && w.size() == 1) {
        Exit();
        return "ok";
    }
    return "error unknown or malformed command: " + cmd;
}

}  // namespace kivsim
