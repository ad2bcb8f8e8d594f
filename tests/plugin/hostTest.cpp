#include <gtest/gtest.h>

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
