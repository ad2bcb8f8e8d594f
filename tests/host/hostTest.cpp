#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/processRunner.h"

// vornhost loads the plug-in as the desktop host does and shows it.
TEST(Host, ShowsIdentityPromptsAndEveryMeterValue)
{
    const ProgramRun run = runProgram("vornhost.exe show");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    for (const char *line :
         {"Name      Vorn\r\n", "Version   1.1\r\n", "Type      1\r\n", "  GetValue          Parameter ID (1-285)|\r\n",
          "GetFanRPM          0:0  1:0  2:0  3:0\r\n", "GetDigitalTemp     0: 0.0  1: 0.0",
          "  271:    0    0    0    0    0    0    0    0    0    0    0    0    0    0    0\r\n"})
        EXPECT_NE(run.output.find(line), std::string::npos) << "missing: " << line << "\n" << run.output;
    EXPECT_EQ(run.output.find("Invalid"), std::string::npos) << run.output;
}

TEST(Host, ExplainsAMissingPluginAndAnUnknownCommand)
{
    ProgramRun run = runProgram("vornhost.exe --plugin NoSuchPlugin.dll");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("cannot load NoSuchPlugin.dll"), std::string::npos) << run.output;

    run = runProgram("vornhost.exe --plugin kernel32.dll");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("does not export init"), std::string::npos) << run.output;

    run = runProgram("vornhost.exe frobnicate");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("unknown command"), std::string::npos) << run.output;

    run = runProgram("vornhost.exe --help");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("Usage: vornhost"), std::string::npos) << run.output;
}

namespace {

// The synopses in a usage text ("vornhost watch [--count N] ..."), each
// joined back into one line.
std::vector<std::string> synopses(const std::string &usage)
{
    std::vector<std::string> found;
    for (const std::string &line : linesOf(usage)) {
        if (line.rfind("  vornhost ", 0) == 0)
            found.push_back(line.substr(2));
        else if (!found.empty() && line.rfind("            [", 0) == 0)
            found.back() += " " + line.substr(12);
    }
    return found;
}

std::string commandName(const std::string &synopsis)
{
    const size_t start = std::string("vornhost ").size();
    return synopsis.substr(start, synopsis.find(' ', start) - start);
}

} // namespace

// The usage is written from the parser's own table: every command it names is
// accepted, with its own --help; one it does not name is refused; and the
// README's command list shows the same commands with the same arguments and
// options.
TEST(Host, UsageParserAndReadmeNameTheSameCommands)
{
    const ProgramRun help = runProgram("vornhost.exe --help");
    ASSERT_EQ(help.exitCode, 0) << help.output;
    const std::vector<std::string> commands = synopses(help.output);
    std::set<std::string> names;
    for (const std::string &synopsis : commands)
        names.insert(commandName(synopsis));
    for (const char *name : {"show", "watch", "list-devices", "read-device", "set-fan", "configure"})
        EXPECT_EQ(names.count(name), 1u) << name << " missing from the usage:\n" << help.output;

    for (const std::string &synopsis : commands) {
        const ProgramRun own = runProgram("vornhost.exe " + commandName(synopsis) + " --help");
        EXPECT_EQ(own.exitCode, 0) << own.output;
        const std::vector<std::string> ownSynopsis = synopses(own.output);
        ASSERT_EQ(ownSynopsis.size(), 1u) << own.output;
        EXPECT_EQ(ownSynopsis[0], synopsis);
    }
    const ProgramRun unknown = runProgram("vornhost.exe list-device");
    EXPECT_EQ(unknown.exitCode, 2) << unknown.output;
    const ProgramRun badOption = runProgram("vornhost.exe show --probe");
    EXPECT_EQ(badOption.exitCode, 2) << badOption.output;
    EXPECT_NE(badOption.output.find("vornhost show [--json]"), std::string::npos) << badOption.output;

    std::ifstream readmeFile(VORN_SOURCE_DIR "/README.md");
    ASSERT_TRUE(readmeFile.good());
    std::stringstream readme;
    readme << readmeFile.rdbuf();
    std::set<std::string> listed;
    for (const std::string &line : linesOf(readme.str())) {
        if (line.rfind("| `vornhost ", 0) == 0)
            listed.insert(line.substr(3, line.find('`', 3) - 3));
    }
    EXPECT_EQ(listed, std::set<std::string>(commands.begin(), commands.end()))
        << "README.md's command table and vornhost --help differ";
}
