#include "arguments.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace tandem::ctl {
namespace {

const OptionDefinition kHelp{L"help", L""};

std::optional<LONG> Integer(std::wstring_view text) {
    const std::string ascii(text.begin(), text.end());
    if (ascii.empty() || std::any_of(text.begin(), text.end(), [](wchar_t c) { return c > 0x7f; })) return {};
    LONG value = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error != std::errc() || end != ascii.data() + ascii.size()) return {};
    return value;
}

const OptionDefinition* FindOption(const CommandDefinition& definition, std::wstring_view name) {
    if (name == kHelp.name) return &kHelp;
    for (const OptionDefinition& option : definition.options)
        if (option.name == name) return &option;
    return nullptr;
}

const CommandDefinition* FindCommand(std::wstring_view name) {
    for (const CommandDefinition& definition : Commands())
        if (definition.name == name) return &definition;
    return nullptr;
}

void CheckPositionals(const ParsedCommand& command) {
    const CommandDefinition& definition = *command.definition;
    const size_t count = command.positionals.size();
    const std::wstring name(definition.name);
    if (count < definition.minPositionals)
        throw UsageError(name + L": missing arguments (usage: tandemctl " + name + L" " +
                         std::wstring(definition.arguments) + L")");
    if (count > definition.maxPositionals)
        throw UsageError(name + L": unexpected argument \"" + command.positionals[definition.maxPositionals] + L"\"");
}

}  // namespace

std::optional<std::wstring> ParsedCommand::Value(std::wstring_view option) const {
    const auto found = options.find(std::wstring(option));
    if (found == options.end()) return {};
    return found->second;
}

std::vector<std::wstring> ParsedCommand::Values(std::wstring_view option) const {
    std::vector<std::wstring> values;
    const auto [first, last] = options.equal_range(std::wstring(option));
    for (auto it = first; it != last; ++it) values.push_back(it->second);
    return values;
}

const std::vector<CommandDefinition>& Commands() {
    static const std::vector<CommandDefinition> commands{
        {L"register", L"APP PATH [--behavior monitor|ignore|once] [--subtree]",
         L"register PATH for the application APP and start watching it", 2, 2,
         {{L"behavior", L"monitor|ignore|once"}, {L"subtree", L""}}},
        {L"unregister", L"APP PATH", L"unregister the folder at PATH", 2, 2, {}},
        {L"update", L"[PATH] [--property ID=VALUE]...",
         L"set default properties of the folder at PATH (all folders without PATH) and have the plug-ins update it",
         0, 1, {{L"property", L"ID=VALUE", true}}},
        {L"refresh", L"PATH [--priority N]", L"have the plug-ins read the folder at PATH again (N: 0 to 4)", 1, 1,
         {{L"priority", L"N"}}},
        {L"list", L"", L"the registered folders: path, owner, behaviour, status, busy", 0, 0, {}},
        {L"status", L"", L"whether the service answers, and how many folders and storages it has", 0, 0, {}},
        {L"storages", L"", L"the storages the service knows", 0, 0, {}},
        {L"add-storage", L"ROOT [--user U]",
         L"add a storage; with --user the password is asked for on the console", 1, 1, {{L"user", L"U"}}},
        {L"remove-storage", L"ROOT", L"remove a storage that has no registered folder", 1, 1, {}},
        {L"watch", L"", L"print every event of the service as it arrives, until Ctrl+C", 0, 0, {}},
        {L"catalog", L"[PATH]", L"the files the catalog plug-in holds (below PATH)", 0, 1, {}},
        {L"props", L"FILE", L"the properties the catalog plug-in holds for FILE: id, VARIANT type, value", 1, 1,
         {}},
        {L"install", L"", L"register the type libraries, the service and the catalog plug-in from this folder", 0,
         0, {}},
        {L"uninstall", L"", L"undo install (the folder and storage lists are kept)", 0, 0, {}},
        {L"plugin", L"add|remove", L"add or remove the catalog plug-in's entry in the service's plug-in list", 1, 1,
         {}},
    };
    return commands;
}

ParsedCommand ParseArguments(std::span<const std::wstring> arguments) {
    ParsedCommand command;
    if (arguments.empty() || arguments[0] == L"--help" || arguments[0] == L"-h" || arguments[0] == L"help") {
        command.help = true;
        if (arguments.size() > 1 && arguments[0] == L"help") {
            command.definition = FindCommand(arguments[1]);
            if (!command.definition) throw UsageError(L"unknown command \"" + arguments[1] + L"\" (see tandemctl --help)");
        }
        return command;
    }
    command.definition = FindCommand(arguments[0]);
    if (!command.definition) throw UsageError(L"unknown command \"" + arguments[0] + L"\" (see tandemctl --help)");
    const std::wstring name(command.definition->name);
    bool optionsEnded = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (optionsEnded || !argument.starts_with(L"--")) {
            command.positionals.push_back(argument);
            continue;
        }
        if (argument == L"--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = argument.find(L'=');
        const std::wstring optionName = argument.substr(2, equals == std::wstring::npos ? equals : equals - 2);
        const OptionDefinition* option = FindOption(*command.definition, optionName);
        if (!option) throw UsageError(name + L": unknown option \"--" + optionName + L"\"");
        if (!option->repeatable && command.Has(optionName))
            throw UsageError(name + L": option \"--" + optionName + L"\" given twice");
        std::wstring value;
        if (option->valueName.empty()) {
            if (equals != std::wstring::npos)
                throw UsageError(name + L": option \"--" + optionName + L"\" takes no value");
        } else if (equals != std::wstring::npos) {
            value = argument.substr(equals + 1);
        } else if (++i < arguments.size()) {
            value = arguments[i];
        } else {
            throw UsageError(name + L": option \"--" + optionName + L"\" needs a value (" +
                             std::wstring(option->valueName) + L")");
        }
        command.options.emplace(optionName, std::move(value));
    }
    command.help = command.Has(L"help");
    if (!command.help) CheckPositionals(command);
    return command;
}

std::wstring GeneralHelp() {
    std::wstring text =
        L"tandemctl: a console client of the tandem content-folder watcher service.\n\n"
        L"usage: tandemctl COMMAND [ARGUMENTS] [--help]\n\ncommands:\n";
    for (const CommandDefinition& definition : Commands()) {
        std::wstring line = L"  " + std::wstring(definition.name);
        line.resize(std::max<size_t>(line.size() + 1, 18), L' ');
        text += line + std::wstring(definition.summary) + L"\n";
    }
    return text + L"\n\"tandemctl COMMAND --help\" tells more of one command.\n";
}

std::wstring CommandHelp(const CommandDefinition& definition) {
    std::wstring text = L"usage: tandemctl " + std::wstring(definition.name);
    if (!definition.arguments.empty()) text += L" " + std::wstring(definition.arguments);
    return text + L"\n\n" + std::wstring(definition.summary) + L".\n";
}

LONG ParseBehavior(std::wstring_view text) {
    if (text == L"ignore") return 0;
    if (text == L"monitor") return 1;
    if (text == L"once") return 2;
    throw UsageError(L"--behavior must be monitor, ignore or once, not \"" + std::wstring(text) + L"\"");
}

LONG ParsePriority(std::wstring_view text) {
    const std::optional<LONG> value = Integer(text);
    if (!value || *value < 0 || *value > 4)
        throw UsageError(L"--priority must be a number from 0 to 4, not \"" + std::wstring(text) + L"\"");
    return *value;
}

std::pair<LONG, std::wstring> ParseProperty(std::wstring_view text) {
    const size_t equals = text.find(L'=');
    const std::optional<LONG> id = equals == std::wstring_view::npos ? std::nullopt : Integer(text.substr(0, equals));
    if (!id) throw UsageError(L"--property must be ID=VALUE with a numeric ID, not \"" + std::wstring(text) + L"\"");
    return {*id, std::wstring(text.substr(equals + 1))};
}

std::wstring_view BehaviorName(LONG behavior) noexcept {
    switch (behavior) {
        case 0: return L"ignore";
        case 1: return L"monitor";
        case 2: return L"once";
        default: return L"?";
    }
}

}  // namespace tandem::ctl
