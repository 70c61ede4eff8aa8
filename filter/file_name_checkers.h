#pragma once

#include <string>
#include <string_view>

#include "file_name_checker.h"

namespace tandem {

class DummyChecker final : public FileNameCheckerBase {
public:
    bool IsMatch(std::wstring_view, std::wstring_view) const override { return false; }
};

// Base of the checkers that compare against one pattern text.
class TextChecker : public FileNameCheckerBase {
public:
    explicit TextChecker(std::wstring_view text) : text_(text) {}

protected:
    const std::wstring& text() const noexcept { return text_; }

private:
    std::wstring text_;
};

class UnderRootChecker final : public TextChecker {
public:
    using TextChecker::TextChecker;
    bool IsMatch(std::wstring_view relativePath, std::wstring_view name) const override;
};

class PrefixChecker final : public TextChecker {
public:
    using TextChecker::TextChecker;
    bool IsMatch(std::wstring_view relativePath, std::wstring_view name) const override;
};

class PostfixChecker final : public TextChecker {
public:
    using TextChecker::TextChecker;
    bool IsMatch(std::wstring_view relativePath, std::wstring_view name) const override;
};

// Searches the extension part of the name (from its last dot), or the whole
// name when it has no dot.
class BetweenfixChecker final : public TextChecker {
public:
    using TextChecker::TextChecker;
    bool IsMatch(std::wstring_view relativePath, std::wstring_view name) const override;
};

class FileNameChecker final : public TextChecker {
public:
    using TextChecker::TextChecker;
    bool IsMatch(std::wstring_view relativePath, std::wstring_view name) const override;
};

class NoExtChecker final : public FileNameCheckerBase {
public:
    bool IsMatch(std::wstring_view relativePath, std::wstring_view name) const override;
};

}  // namespace tandem
