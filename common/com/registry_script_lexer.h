#pragma once

#include <string>
#include <string_view>

#include "registry_script.h"

namespace tandem {

struct ScriptToken {
    enum class Kind { Word, Quoted, End };
    Kind kind = Kind::End;
    std::wstring text;  // quoted text with '' already turned into '

    bool IsWord(std::wstring_view word) const noexcept;  // keywords ignore case
};

// Splits a script into whitespace-separated words and 'quoted' strings.
class ScriptLexer {
public:
    explicit ScriptLexer(std::wstring_view text) noexcept : text_(text) {}

    ScriptToken Next();

private:
    void SkipSpace() noexcept;
    ScriptToken ReadQuoted();
    ScriptToken ReadWord();

    std::wstring_view text_;
    size_t pos_ = 0;
};

// text with every %NAME% replaced; unknown names are a syntax error.
std::wstring ExpandReplacements(std::wstring_view text, const ScriptReplacements& replacements);

[[noreturn]] void ThrowScriptSyntax();

}  // namespace tandem
