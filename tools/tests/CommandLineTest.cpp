// Every tool's command line, run for real: good options, each option with a value of the wrong
// type and one out of range, an unknown option and --help, with the exit code and the first
// words of what the tool says.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "TestEnvironment.h"
#include "ToolRun.h"

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
        const std::string& text = c.code == 0 ? run.Output() : run.Errors();
        EXPECT_EQ(0u, text.rfind(c.says, 0)) << text;
    }
}

}  // namespace

TEST(ToolCommandLines, PreSim)
{
    TestEnvironment env;
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
                          {{"--bogus"}, 2, "pre-sim: The following argument was not expected: --bogus"},
                          {{"--help"}, 0, "Usage: pre-sim"},
                      });
}
