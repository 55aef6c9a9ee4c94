// Every tool's command line, run for real: good options, each option with a value of the wrong
// type and one out of range, an unknown option and --help, with the exit code and the first
// words of what the tool says.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FileContents.h"
#include "TestEnvironment.h"
#include "ToolRun.h"
#include "toolcli/CommandLine.h"

namespace {

struct Case {
    std::vector<std::string> args;
    int code;
    /// How the tool's output begins: standard output when the code is 0, else standard error.
    std::string says;
    /// A server: it is ended by SIGTERM once it has said its first line.
    bool serves = false;
};

void checkCommandLines(const std::string& program, const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        std::string shown = program;
        for (const std::string& a : c.args) shown += " " + a;
        SCOPED_TRACE(shown);
        ToolRun run(program, c.args);
        ASSERT_TRUE(run.Started());
        if (c.serves) {
            EXPECT_NE("", run.Line());
            run.Signal(SIGTERM);
        }
        EXPECT_EQ(c.code, run.Finish());
        // The line that says it may follow lines of a library's own (JACK's).
        const std::string& text = c.code == 0 ? run.Output() : run.Errors();
        EXPECT_TRUE(text.rfind(c.says, 0) == 0 || text.find("\n" + c.says) != std::string::npos) << text;
    }
}

}  // namespace

// The numbers every tool takes: decimal or 0x hex, nothing around them, within the range, and
// no overflow at the limits of a long long.
TEST(ToolCommandLines, Numbers)
{
    struct Row {
        const char* text;
        long long low, high;
        bool ok;
        long long value;
    };
    const Row rows[] = {
        {"16", 0, 16, true, 16},
        {"010", 0, 16, true, 10},  // decimal, not octal
        {"0x0F", 0, 15, true, 15},
        {"-0x10", -16, 0, true, -16},
        {"-0", 0, 1, true, 0},
        {"17", 0, 16, false, 0},
        {"-1", 0, 16, false, 0},
        {"-9223372036854775808", LLONG_MIN, LLONG_MAX, true, LLONG_MIN},
        {"-9223372036854775809", LLONG_MIN, LLONG_MAX, false, 0},
        {"9223372036854775808", LLONG_MIN, LLONG_MAX, false, 0},
        {"18446744073709551617", 0, LLONG_MAX, false, 0},
        {"4294967295", 0, 0xFFFFFFFFLL, true, 0xFFFFFFFFLL},
        {"", 0, 16, false, 0},
        {"-", -1, 16, false, 0},
        {"0x", 0, 16, false, 0},
        {"+3", 0, 16, false, 0},
        {" 3", 0, 16, false, 0},
        {"3 ", 0, 16, false, 0},
        {"3x", 0, 16, false, 0},
        {"0x1g", 0, 16, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        long long value = 0;
        EXPECT_EQ(row.ok, toolcli::ParseNumber(row.text, row.low, row.high, value));
        if (row.ok) {
            EXPECT_EQ(row.value, value);
        }
    }
    struct DecimalRow {
        const char* text;
        bool ok;
    };
    for (const DecimalRow& row : {DecimalRow{"20.5", true}, DecimalRow{"60000", true}, DecimalRow{"60000.1", false},
                                  DecimalRow{"-0.1", false}, DecimalRow{"+1", false}, DecimalRow{"1e3", false},
                                  DecimalRow{"nan", false}, DecimalRow{"inf", false}, DecimalRow{"", false},
                                  DecimalRow{"2,5", false}}) {
        SCOPED_TRACE(row.text);
        double value = 0;
        EXPECT_EQ(row.ok, toolcli::ParseDecimal(row.text, 0, 60000, value));
    }
}

TEST(ToolCommandLines, PreSim)
{
    TestEnvironment env;
    // An earlier run's link is replaced; a file at the link's path is refused and kept.
    std::filesystem::create_symlink("/dev/pts/no-such-terminal", env.Path("com1"));
    const std::string file = env.Path("notes.txt");
    std::ofstream(file) << "kept";
    checkCommandLines("tools/pre-sim/pre-sim",
                      {
                          {{"--units", "3", "--link", env.Path("com1"), "--fault", "1:late:20", "--fault", "2:silent",
                            "--levels", "0:1,2,3,255", "--level-bytes", "5", "--panel", "2", "--echo", "--quiet", "--commands"},
                           0,
                           "pty /dev/pts/",
                           true},
                          {{"--units", "abc"}, 2, "pre-sim: --units: abc is not a whole number"},
                          {{"--units", "17"}, 2, "pre-sim: --units: 17 is not a whole number from 0 to 16"},
                          {{"--units"}, 2, "pre-sim: --units:"},
                          {{"--fault", "1:slow"}, 2, "pre-sim: --fault: fault slow is not a fault kind"},
                          {{"--fault", "x:silent"}, 2, "pre-sim: --fault: unit x is not"},
                          {{"--fault", "16:silent"}, 2, "pre-sim: --fault: unit 16 is not"},
                          {{"--fault", "1:late:soon"}, 2, "pre-sim: --fault: delay soon is not"},
                          {{"--fault", "1:late:60001"}, 2, "pre-sim: --fault: delay 60001 is not"},
                          {{"--fault", "1"}, 2, "pre-sim: --fault: 1 is not UNIT:KIND[:MS]"},
                          {{"--levels", "0:1,2,3,x"}, 2, "pre-sim: --levels: level x is not a byte"},
                          {{"--levels", "0:1,2,3,256"}, 2, "pre-sim: --levels: level 256 is not a byte"},
                          {{"--levels", "0:1,2,3"}, 2, "pre-sim: --levels: four levels are needed"},
                          {{"--levels", "16:1,2,3,4"}, 2, "pre-sim: --levels: unit 16 is not"},
                          {{"--level-bytes", "six"}, 2, "pre-sim: --level-bytes: six is not"},
                          {{"--level-bytes", "7"}, 2, "pre-sim: --level-bytes: 7 is not"},
                          {{"--panel", "x"}, 2, "pre-sim: --panel: x is not"},
                          {{"--panel", "16"}, 2, "pre-sim: --panel: 16 is not"},
                          {{"--link", file}, 1, "pre-sim: " + file + " is there and is not a symbolic link"},
                          {{"--link", env.Path("no/folder/com1")}, 1, "pre-sim: cannot link " + env.Path("no/folder/com1")},
                          {{"--bogus"}, 2, "pre-sim: The following argument was not expected: --bogus"},
                          {{"--units", "3", "extra", "--bogus"}, 2, "pre-sim: The following arguments were not expected: extra --bogus"},
                          {{"--help"}, 0, "Usage: pre-sim"},
                      });
    EXPECT_FALSE(std::filesystem::is_symlink(env.Path("com1"))) << "the link outlives pre-sim";
    EXPECT_EQ("kept", FileText(file));
}

TEST(ToolCommandLines, Regtool)
{
    TestEnvironment env;
    const std::string key = "Software\\Tools";
    checkCommandLines("tools/regtool/regtool",
                      {
                          {{"set", "HKCU", key, "Count", "dword", "0x10"}, 0, ""},
                          {{"get", "HKCU", key, "Count"}, 0, "dword:16"},
                          {{"set", "HKCU", key, "Count", "dword", "abc"}, 2, "regtool: VALUE: abc is not a dword"},
                          {{"set", "HKCU", key, "Count", "dword", "4294967296"}, 2, "regtool: VALUE: 4294967296 is not a dword"},
                          {{"set", "HKCU", key, "Count", "dword", "-1"}, 2, "regtool: VALUE: -1 is not a dword"},
                          {{"set", "HKCU", key, "Bytes", "hex", "0g"}, 2, "regtool: VALUE: 0g is not hex bytes"},
                          {{"set", "HKCU", key, "Count", "qword", "1"}, 2, "regtool: TYPE: qword"},
                          {{"get", "HKXX", key, "Count"}, 2, "regtool: ROOT: HKXX is not a root"},
                          {{"get", "HKCU", key}, 2, "regtool: NAME is required"},
                          {{"get", "HKCU", key, "Count", "extra"}, 2, "regtool: The following argument was not expected: extra"},
                          {{"frob", "HKCU", key}, 2, "regtool: The following arguments were not expected"},
                          {{}, 2, "regtool: A command (get, set, delete, wait or export) is required"},
                          {{"get", "--bogus", "HKCU", key, "Count"}, 2, "regtool: The following argument was not expected: --bogus"},
                          {{"set", "--bogus"}, 2, "regtool: The following argument was not expected: --bogus"},
                          {{"get", "HKCU", key, "Missing"}, 1, "regtool: HKEY_CURRENT_USER\\Software\\Tools, value \"Missing\": not found"},
                          {{"--help"}, 0, "Usage: regtool"},
                          {{"set", "--help"}, 0, "Usage: regtool set [OPTIONS] ROOT KEY NAME TYPE VALUE"},
                      });
}

// A value that is not of its type stores nothing; an export of a key that is not there, or from a
// store that is not a registry database, fails, names what failed and writes no file.
TEST(ToolCommandLines, RegtoolStoresAndWritesNothingWhenItFails)
{
    TestEnvironment env;
    const std::string file = env.Path("out.reg");
    auto run = [](std::vector<std::string> args, std::string* errors = nullptr) {
        ToolRun tool("tools/regtool/regtool", args);
        const int code = tool.Finish();
        if (errors) *errors = tool.Errors();
        return code;
    };
    ASSERT_EQ(0, run({"set", "HKCU", "Software\\Tools", "Kept", "dword", "1"}));
    EXPECT_EQ(2, run({"set", "HKCU", "Software\\Tools", "Count", "dword", "abc"}));
    EXPECT_EQ(2, run({"set", "HKCU", "Software\\Tools", "Count", "hex", "1"}));
    EXPECT_EQ(1, run({"get", "HKCU", "Software\\Tools", "Count"})) << "a refused value was stored";

    std::string errors;
    EXPECT_EQ(1, run({"export", "HKCU", "Software\\None", file}, &errors));
    EXPECT_EQ("regtool: HKEY_CURRENT_USER\\Software\\None: not found\n", errors);
    EXPECT_FALSE(std::filesystem::exists(file));

    TestEnvironment damaged;
    const std::string db = damaged.Path("registry") + "/HKEY_CURRENT_USER.db";
    std::ofstream(db, std::ios::binary) << std::string(8192, 'x');
    EXPECT_EQ(1, run({"export", "HKCU", "Software\\Tools", file}, &errors));
    EXPECT_NE(std::string::npos, errors.find("regtool: " + db + ": damaged")) << errors;
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(ToolCommandLines, Regserver)
{
    TestEnvironment env;
    // A port that another socket listens on cannot be served.
    int taken = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(0, ::bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, ::listen(taken, 1));
    ASSERT_EQ(0, ::getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length));
    const std::string busy = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    // A store whose folder is a file cannot be served.
    const std::string file = env.Path("file");
    std::ofstream(file) << "not a folder";
    std::vector<Case> cases = {
        {{"--listen", "127.0.0.1:0", "--registry-dir", env.Path("served")}, 0, "regserver: listening on 127.0.0.1:", true},
        {{"--listen", "127.0.0.1:http"}, 2, "regserver: --listen: port http is not a whole number"},
        {{"--listen", "127.0.0.1:99999"}, 2, "regserver: --listen: port 99999 is not a whole number from 0 to 65535"},
        {{"--listen", "7341"}, 2, "regserver: --listen: 7341 is not HOST:PORT"},
        {{"--registry-dir"}, 2, "regserver: --registry-dir:"},
        {{"--listen", busy}, 1, "regserver: cannot listen on " + busy},
        {{"--listen", "127.0.0.1:0", "--registry-dir", file}, 1, "regserver: cannot serve " + file + "/HKEY_LOCAL_MACHINE.db"},
        {{"--bogus"}, 2, "regserver: The following argument was not expected: --bogus"},
        {{"--help"}, 0, "Usage: regserver"},
    };
    // An IPv6 address is said as --listen takes it, where this machine has IPv6 loopback.
    int v6 = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 loopback6{};
    loopback6.sin6_family = AF_INET6;
    loopback6.sin6_addr = in6addr_loopback;
    if (v6 >= 0 && ::bind(v6, reinterpret_cast<sockaddr*>(&loopback6), sizeof loopback6) == 0) {
        cases.push_back({{"--listen", "[::1]:0", "--registry-dir", env.Path("served")}, 0, "regserver: listening on [::1]:", true});
    }
    if (v6 >= 0) ::close(v6);
    checkCommandLines("tools/regserver/regserver", cases);
    ::close(taken);
}

TEST(ToolCommandLines, KivserverSim)
{
    TestEnvironment env;
    const std::string tooLong = env.Path(std::string(110, 's'));
    const std::string file = env.Path("notes.txt");
    std::ofstream(file) << "kept";
    checkCommandLines("tools/kivserver-sim/kivserver-sim",
                      {
                          {{"--socket", env.Path("kiv.sock"), "--record", env.Path("record"), "--blocks", env.Path("blocks")},
                           0,
                           "kivserver-sim: serving on " + env.Path("kiv.sock"),
                           true},
                          {{"--socket", tooLong}, 2, "kivserver-sim: --socket: the socket path " + tooLong + " is longer"},
                          {{"--control", tooLong}, 2, "kivserver-sim: --control: the socket path"},
                          {{"--socket"}, 2, "kivserver-sim: --socket:"},
                          {{"--send", "status", "--record", env.Path("record")}, 2, "kivserver-sim: --record excludes --send"},
                          {{"--send", "status", "--socket", env.Path("none.sock")}, 1, "kivserver-sim: no server at " + env.Path("none.sock.ctl")},
                          {{"--record", env.Path("no/folder/record")}, 1, "kivserver-sim: cannot write " + env.Path("no/folder/record")},
                          {{"--socket", file}, 1, "kivserver-sim: cannot listen on " + file + ": it is there and is not a socket"},
                          {{"--bogus"}, 2, "kivserver-sim: The following argument was not expected: --bogus"},
                          {{"--help"}, 0, "Usage: kivserver-sim"},
                      });
    EXPECT_EQ("kept", FileText(file));
}

TEST(ToolCommandLines, MidiSim)
{
    TestEnvironment env;
    std::vector<std::string> nine;
    for (int ch = 0; ch < 10; ++ch) nine.insert(nine.end(), {"--heartbeat", std::to_string(ch)});
    checkCommandLines("tools/midi-sim/midi-sim",
                      {
                          // Good options: the job itself fails on a server that is not there.
                          {{"--server", "tools-test-none", "--name", "sim", "--heartbeat", "3", "--heartbeat", "0x0F", "--period", "250",
                            "--quiet", "--commands"},
                           1,
                           "midi-sim: no JACK server \"tools-test-none\" answers"},
                          {{"--heartbeat", "x"}, 2, "midi-sim: --heartbeat: x is not a whole number"},
                          {{"--heartbeat", "16"}, 2, "midi-sim: --heartbeat: 16 is not a whole number from 0 to 15"},
                          {nine, 2, "midi-sim: --heartbeat: at most nine channels"},
                          {{"--period", "soon"}, 2, "midi-sim: --period: soon is not a whole number"},
                          {{"--period", "0"}, 2, "midi-sim: --period: 0 is not a whole number from 1 to 600000"},
                          {{"--name", std::string(200, 'n')}, 2, "midi-sim: --name:"},
                          {{"--bogus"}, 2, "midi-sim: The following argument was not expected: --bogus"},
                          {{"--help"}, 0, "Usage: midi-sim"},
                      });
}

TEST(ToolCommandLines, ConformClientRun)
{
    checkCommandLines("tools/tyv-remote/conform-client-run",
                      {
                          {{"--threads", "2", "src:1:0:10", "dst:1:0:10"}, 0, "\ndone"},
                          {{"--send-remote", "C:\\pass.aut", "0:100", "1:50"}, 0, "\ndone"},
                          {{"--threads", "many"}, 2, "conform-client-run: --threads: many is not a whole number"},
                          {{"--threads", "65"}, 2, "conform-client-run: --threads: 65 is not a whole number from 1 to 64"},
                          {{"src:x:0:10"}, 2, "conform-client-run: ITEMS: src:x:0:10 is not src:KEY:START:LENGTH"},
                          {{"src:1:0:99999999999"}, 2, "conform-client-run: ITEMS: src:1:0:99999999999 is not"},
                          {{"--send-remote", "P", "1:x"}, 2, "conform-client-run: ITEMS: 1:x is not KIND:LENGTH"},
                          {{"--conform", "pass"}, 2, "conform-client-run: --conform:"},
                          {{"--bogus"}, 2, "conform-client-run: The following argument was not expected: --bogus"},
                          {{"--help"}, 0, "Usage: conform-client-run"},
                      });
}
