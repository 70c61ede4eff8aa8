#include "registry_script_parser.h"

#include <array>
#include <utility>

#include "strings.h"

namespace tandem {

namespace {

// Far deeper than any real registration; keeps hostile nesting off the stack.
constexpr int kMaxDepth = 64;

struct RootName {
    const wchar_t* shortName;
    const wchar_t* longName;
    ScriptRoot root;
};

constexpr std::array<RootName, 3> kRoots{{
    {L"HKCR", L"HKEY_CLASSES_ROOT", ScriptRoot::ClassesRoot},
    {L"HKLM", L"HKEY_LOCAL_MACHINE", ScriptRoot::LocalMachine},
    {L"HKCU", L"HKEY_CURRENT_USER", ScriptRoot::CurrentUser},
}};

int DigitValue(wchar_t c, int base) noexcept {
    int value = -1;
    if (c >= L'0' && c <= L'9') value = c - L'0';
    else if (c >= L'a' && c <= L'f') value = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F') value = c - L'A' + 10;
    return value < base ? value : -1;
}

}  // namespace

DWORD ParseScriptNumber(std::wstring_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) ThrowScriptSyntax();
    unsigned long long value = 0;
    for (wchar_t c : text) {
        int digit = DigitValue(c, base);
        if (digit < 0) ThrowScriptSyntax();
        value = value * base + digit;
        if (value > MAXDWORD) ThrowScriptSyntax();
    }
    return static_cast<DWORD>(value);
}

ScriptParser::ScriptParser(std::wstring_view text, const ScriptReplacements& replacements)
    : lexer_(text), replacements_(replacements) {
    Advance();
}

std::vector<ScriptRootBlock> ScriptParser::Parse() {
    std::vector<ScriptRootBlock> blocks;
    while (current_.kind != ScriptToken::Kind::End) {
        ScriptRoot root = ParseRoot();
        blocks.push_back({root, ParseKeysOfRoot()});
    }
    return blocks;
}

void ScriptParser::Advance() { current_ = lexer_.Next(); }

void ScriptParser::Expect(std::wstring_view word) {
    if (!current_.IsWord(word)) ThrowScriptSyntax();
    Advance();
}

bool ScriptParser::AtStructure() const noexcept {
    return current_.IsWord(L"{") || current_.IsWord(L"}") || current_.IsWord(L"=");
}

ScriptRoot ScriptParser::ParseRoot() {
    for (const RootName& name : kRoots) {
        if (current_.IsWord(name.shortName) || current_.IsWord(name.longName)) {
            Advance();
            return name.root;
        }
    }
    ThrowScriptSyntax();
}

std::vector<ScriptKey> ScriptParser::ParseKeysOfRoot() {
    Expect(L"{");
    std::vector<ScriptKey> keys;
    while (!current_.IsWord(L"}")) keys.push_back(ParseKey(1));
    Advance();
    return keys;
}

ScriptKey ScriptParser::ParseKey(int depth) {
    if (depth > kMaxDepth) ThrowScriptSyntax();
    ScriptKey key;
    if (current_.IsWord(L"NoRemove")) {
        key.modifier = KeyModifier::NoRemove;
        Advance();
    } else if (current_.IsWord(L"ForceRemove")) {
        key.modifier = KeyModifier::ForceRemove;
        Advance();
    }
    key.name = ParseName();
    if (current_.IsWord(L"=")) {
        Advance();
        key.defaultValue = ParseData();
    }
    if (current_.IsWord(L"{")) {
        Advance();
        ParseKeyBody(key, depth);
    }
    return key;
}

void ScriptParser::ParseKeyBody(ScriptKey& key, int depth) {
    while (!current_.IsWord(L"}")) {
        if (current_.IsWord(L"val")) {
            Advance();
            key.values.push_back(ParseNamedValue());
        } else {
            key.subkeys.push_back(ParseKey(depth + 1));
        }
    }
    Advance();
}

ScriptValue ScriptParser::ParseNamedValue() {
    std::wstring name = ParseName();
    Expect(L"=");
    return {std::move(name), ParseData()};
}

ScriptData ScriptParser::ParseData() {
    if (current_.IsWord(L"s")) {
        Advance();
        return ParseQuoted();
    }
    if (current_.IsWord(L"d")) {
        Advance();
        return ParseScriptNumber(ParseQuoted());
    }
    ThrowScriptSyntax();
}

// An empty name would address the parent key itself or its default value. A
// bare val is always the keyword, even where no value may stand.
std::wstring ScriptParser::ParseName() {
    if (current_.kind == ScriptToken::Kind::End || AtStructure() || current_.IsWord(L"val")) ThrowScriptSyntax();
    std::wstring name = ExpandReplacements(current_.text, replacements_);
    if (name.empty()) ThrowScriptSyntax();
    Advance();
    return name;
}

std::wstring ScriptParser::ParseQuoted() {
    if (current_.kind != ScriptToken::Kind::Quoted) ThrowScriptSyntax();
    std::wstring text = ExpandReplacements(current_.text, replacements_);
    Advance();
    return text;
}

}  // namespace tandem
