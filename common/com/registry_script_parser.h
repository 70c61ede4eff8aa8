#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "registry_script.h"
#include "registry_script_lexer.h"

namespace tandem {

enum class ScriptRoot { ClassesRoot, LocalMachine, CurrentUser };
enum class KeyModifier { None, NoRemove, ForceRemove };

// REG_SZ text or a REG_DWORD number.
using ScriptData = std::variant<std::wstring, DWORD>;

struct ScriptValue {
    std::wstring name;
    ScriptData data;
};

struct ScriptKey {
    std::wstring name;
    KeyModifier modifier = KeyModifier::None;
    std::optional<ScriptData> defaultValue;
    std::vector<ScriptValue> values;
    std::vector<ScriptKey> subkeys;
};

struct ScriptRootBlock {
    ScriptRoot root;
    std::vector<ScriptKey> keys;
};

// The whole script, replacements made; raises TANDEM_E_REGISTRY_SCRIPT.
class ScriptParser {
public:
    ScriptParser(std::wstring_view text, const ScriptReplacements& replacements);

    std::vector<ScriptRootBlock> Parse();

private:
    void Advance();
    void Expect(std::wstring_view word);
    bool AtStructure() const noexcept;
    ScriptRoot ParseRoot();
    std::vector<ScriptKey> ParseKeysOfRoot();
    ScriptKey ParseKey(int depth);
    void ParseKeyBody(ScriptKey& key, int depth);
    ScriptValue ParseNamedValue();
    ScriptData ParseData();
    std::wstring ParseName();
    std::wstring ParseQuoted();

    ScriptLexer lexer_;
    const ScriptReplacements& replacements_;
    ScriptToken current_;
};

// A d value: decimal, or hexadecimal after 0x; at most 32 bits.
DWORD ParseScriptNumber(std::wstring_view text);

}  // namespace tandem
