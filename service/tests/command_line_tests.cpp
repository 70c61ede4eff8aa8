#include <windows.h>

#include <gtest/gtest.h>

#include "command_line.h"

using namespace tandem;

TEST(CommandLine, SwitchesFollowADashOrSlashInAnyCase) {
    EXPECT_EQ(ParseCommandLine(L"/RegServer"), ModuleAction::RegServer);
    EXPECT_EQ(ParseCommandLine(L" -regserverperuser"), ModuleAction::RegServerPerUser);
    EXPECT_EQ(ParseCommandLine(L"/SERVICE"), ModuleAction::Service);
    EXPECT_EQ(ParseCommandLine(L"-UnregServer"), ModuleAction::UnregServer);
    EXPECT_EQ(ParseCommandLine(L"/unRegServerPerUser"), ModuleAction::UnregServerPerUser);
}

TEST(CommandLine, FirstRecognisedSwitchWins) {
    EXPECT_EQ(ParseCommandLine(L"/Embedding -Service /UnregServer"), ModuleAction::Service);
    EXPECT_EQ(ParseCommandLine(L"/Unknown\t/UnregServer -Service"), ModuleAction::UnregServer);
}

TEST(CommandLine, WithoutARecognisedSwitchTheProcessRuns) {
    EXPECT_EQ(ParseCommandLine(L""), ModuleAction::Run);
    EXPECT_EQ(ParseCommandLine(L"RegServer"), ModuleAction::Run);
    EXPECT_EQ(ParseCommandLine(L"/RegServers /Serv -"), ModuleAction::Run);
    EXPECT_EQ(ParseCommandLine(L"/Embedding"), ModuleAction::Run);
}

TEST(CommandLine, TheProgramNameIsNoPartOfTheArguments) {
    EXPECT_EQ(ArgumentsOf(L"\"C:\\a -Service\\tandem.exe\" /RegServer"), L" /RegServer");
    EXPECT_EQ(ParseCommandLine(ArgumentsOf(L"\"C:\\a -Service\\tandem.exe\"")), ModuleAction::Run);
    EXPECT_EQ(ArgumentsOf(L"C:\\x/Service\\tandem.exe -Service"), L" -Service");
    EXPECT_EQ(ArgumentsOf(L"tandem.exe"), L"");
    EXPECT_EQ(ArgumentsOf(L"\"unterminated"), L"");
}
