#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arguments.h"

using namespace tandem::ctl;

namespace {

ParsedCommand Parse(std::vector<std::wstring> arguments) { return ParseArguments(arguments); }

std::wstring UsageMessage(std::vector<std::wstring> arguments) {
    try {
        Parse(std::move(arguments));
    } catch (const UsageError& error) {
        return error.message();
    }
    return L"(accepted)";
}

}  // namespace

TEST(Arguments, OptionsTakeTheirValueEitherWayAndSwitchesNone) {
    const ParsedCommand a = Parse({L"register", L"Music", L"C:\\My M\u00fcsic", L"--behavior", L"once", L"--subtree"});
    ASSERT_NE(a.definition, nullptr);
    EXPECT_EQ(a.definition->name, L"register");
    EXPECT_EQ(a.positionals, (std::vector<std::wstring>{L"Music", L"C:\\My M\u00fcsic"}));
    EXPECT_EQ(a.Value(L"behavior"), L"once");
    EXPECT_TRUE(a.Has(L"subtree"));

    const ParsedCommand b = Parse({L"update", L"--property=607=0", L"--property", L"12=x", L"D:\\"});
    EXPECT_EQ(b.Values(L"property"), (std::vector<std::wstring>{L"607=0", L"12=x"}));
    EXPECT_EQ(b.positionals, std::vector<std::wstring>{L"D:\\"});

    const ParsedCommand c = Parse({L"catalog", L"--", L"--odd name"});
    EXPECT_EQ(c.positionals, std::vector<std::wstring>{L"--odd name"});
}

TEST(Arguments, HelpIsTakenBeforeTheArgumentsAreChecked) {
    EXPECT_TRUE(Parse({}).help);
    EXPECT_EQ(Parse({L"--help"}).definition, nullptr);
    const ParsedCommand help = Parse({L"register", L"--help"});
    EXPECT_TRUE(help.help);
    EXPECT_EQ(help.definition->name, L"register");
    EXPECT_EQ(Parse({L"help", L"watch"}).definition->name, L"watch");
    for (const CommandDefinition& definition : Commands()) {
        EXPECT_TRUE(Parse({std::wstring(definition.name), L"--help"}).help) << std::wstring(definition.name);
        EXPECT_NE(CommandHelp(definition).find(definition.name), std::wstring::npos);
        EXPECT_NE(GeneralHelp().find(definition.name), std::wstring::npos);
    }
}

TEST(Arguments, EveryMistakeIsNamed) {
    EXPECT_EQ(UsageMessage({L"frobnicate"}), L"unknown command \"frobnicate\" (see tandemctl --help)");
    EXPECT_EQ(UsageMessage({L"help", L"frobnicate"}), L"unknown command \"frobnicate\" (see tandemctl --help)");
    EXPECT_NE(UsageMessage({L"register", L"Music"}).find(L"missing arguments"), std::wstring::npos);
    EXPECT_EQ(UsageMessage({L"list", L"extra"}), L"list: unexpected argument \"extra\"");
    EXPECT_EQ(UsageMessage({L"refresh", L"C:\\", L"--fast"}), L"refresh: unknown option \"--fast\"");
    EXPECT_NE(UsageMessage({L"refresh", L"C:\\", L"--priority"}).find(L"needs a value"), std::wstring::npos);
    EXPECT_EQ(UsageMessage({L"refresh", L"C:\\", L"--priority", L"1", L"--priority", L"2"}),
              L"refresh: option \"--priority\" given twice");
    EXPECT_EQ(UsageMessage({L"register", L"A", L"C:\\", L"--subtree=yes"}),
              L"register: option \"--subtree\" takes no value");
}

TEST(Arguments, ValuesAreCheckedAgainstTheirRange) {
    EXPECT_EQ(ParseBehavior(L"ignore"), 0);
    EXPECT_EQ(ParseBehavior(L"monitor"), 1);
    EXPECT_EQ(ParseBehavior(L"once"), 2);
    EXPECT_THROW(ParseBehavior(L"Monitor"), UsageError);
    EXPECT_EQ(ParsePriority(L"0"), 0);
    EXPECT_EQ(ParsePriority(L"4"), 4);
    for (const wchar_t* bad : {L"5", L"-1", L"2x", L"", L"\u0663"}) EXPECT_THROW(ParsePriority(bad), UsageError) << bad;
    EXPECT_EQ(ParseProperty(L"607=a=b"), (std::pair<LONG, std::wstring>{607, L"a=b"}));
    EXPECT_EQ(ParseProperty(L"1="), (std::pair<LONG, std::wstring>{1, L""}));
    EXPECT_THROW(ParseProperty(L"x=1"), UsageError);
    EXPECT_THROW(ParseProperty(L"607"), UsageError);
}
