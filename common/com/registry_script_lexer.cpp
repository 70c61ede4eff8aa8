#include "registry_script_lexer.h"

#include <cwctype>

#include "error.h"
#include "strings.h"

namespace tandem {

bool ScriptToken::IsWord(std::wstring_view word) const noexcept {
    return kind == Kind::Word && EqualsNoCase(text, word);
}

void ThrowScriptSyntax() { ThrowHr(TANDEM_E_REGISTRY_SCRIPT); }

ScriptToken ScriptLexer::Next() {
    SkipSpace();
    if (pos_ == text_.size()) return {};
    return text_[pos_] == L'\'' ? ReadQuoted() : ReadWord();
}

void ScriptLexer::SkipSpace() noexcept {
    while (pos_ < text_.size() && std::iswspace(text_[pos_])) ++pos_;
}

ScriptToken ScriptLexer::ReadQuoted() {
    ScriptToken token{ScriptToken::Kind::Quoted, {}};
    for (++pos_; pos_ < text_.size(); ++pos_) {
        if (text_[pos_] != L'\'') {
            token.text += text_[pos_];
        } else if (pos_ + 1 < text_.size() && text_[pos_ + 1] == L'\'') {
            token.text += L'\'';
            ++pos_;
        } else {
            ++pos_;
            return token;
        }
    }
    ThrowScriptSyntax();
}

ScriptToken ScriptLexer::ReadWord() {
    size_t start = pos_;
    while (pos_ < text_.size() && !std::iswspace(text_[pos_])) {
        // A quote inside a bare word is a missing space or a stray quote.
        if (text_[pos_] == L'\'') ThrowScriptSyntax();
        ++pos_;
    }
    return {ScriptToken::Kind::Word, std::wstring(text_.substr(start, pos_ - start))};
}

namespace {

const std::wstring& Replacement(std::wstring_view name, const ScriptReplacements& replacements) {
    for (const auto& [key, value] : replacements) {
        if (key == name) return value;
    }
    ThrowScriptSyntax();
}

}  // namespace

std::wstring ExpandReplacements(std::wstring_view text, const ScriptReplacements& replacements) {
    std::wstring result;
    size_t pos = 0;
    for (size_t open; (open = text.find(L'%', pos)) != std::wstring_view::npos;) {
        size_t close = text.find(L'%', open + 1);
        if (close == std::wstring_view::npos) ThrowScriptSyntax();
        result += text.substr(pos, open - pos);
        std::wstring_view name = text.substr(open + 1, close - open - 1);
        result += name.empty() ? L"%" : Replacement(name, replacements);
        pos = close + 1;
    }
    result += text.substr(pos);
    return result;
}

}  // namespace tandem
