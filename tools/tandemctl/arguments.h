#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tandem::ctl {

struct OptionDefinition {
    std::wstring_view name;  // without the leading "--"
    std::wstring_view valueName;  // empty for a switch
    bool repeatable = false;
};

struct CommandDefinition {
    std::wstring_view name;
    std::wstring_view arguments;  // as the usage line shows them
    std::wstring_view summary;
    size_t minPositionals = 0;
    size_t maxPositionals = 0;
    std::vector<OptionDefinition> options;
};

// A bad command line, with the message a person reads.
class UsageError {
public:
    explicit UsageError(std::wstring message) : message_(std::move(message)) {}
    const std::wstring& message() const noexcept { return message_; }

private:
    std::wstring message_;
};

struct ParsedCommand {
    const CommandDefinition* definition = nullptr;  // null: no command, general help
    bool help = false;
    std::vector<std::wstring> positionals;
    std::multimap<std::wstring, std::wstring> options;

    bool Has(std::wstring_view option) const { return options.contains(std::wstring(option)); }
    std::optional<std::wstring> Value(std::wstring_view option) const;
    std::vector<std::wstring> Values(std::wstring_view option) const;
};

const std::vector<CommandDefinition>& Commands();

// The command line without the program's name. "--name value" and
// "--name=value" both work; "--" ends the options. Raises UsageError.
ParsedCommand ParseArguments(std::span<const std::wstring> arguments);

std::wstring GeneralHelp();
std::wstring CommandHelp(const CommandDefinition& definition);

// Option values, checked; each raises UsageError.
LONG ParseBehavior(std::wstring_view text);
LONG ParsePriority(std::wstring_view text);
std::pair<LONG, std::wstring> ParseProperty(std::wstring_view text);

std::wstring_view BehaviorName(LONG behavior) noexcept;

}  // namespace tandem::ctl
