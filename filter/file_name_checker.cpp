#include "file_name_checker.h"

#include "file_name_checkers.h"

namespace tandem {
namespace {

bool StartsWith(std::wstring_view s, wchar_t c) { return !s.empty() && s.front() == c; }
bool EndsWith(std::wstring_view s, wchar_t c) { return !s.empty() && s.back() == c; }

std::wstring WithBackslash(std::wstring_view text) {
    std::wstring result(text);
    if (!EndsWith(result, L'\\')) result += L'\\';
    return result;
}

}  // namespace

FileNameCheckerPtr MakeFileChecker(std::wstring_view p) {
    if (p.empty()) return std::make_shared<DummyChecker>();
    if (StartsWith(p, L'*')) {
        if (p.size() == 1) return std::make_shared<NoExtChecker>();
        if (EndsWith(p, L'*')) return std::make_shared<BetweenfixChecker>(p.substr(1, p.size() - 2));
        return std::make_shared<PostfixChecker>(p.substr(1));
    }
    if (StartsWith(p, L'\\')) return std::make_shared<UnderRootChecker>(p.substr(1));
    if (EndsWith(p, L'*')) return std::make_shared<PrefixChecker>(p.substr(0, p.size() - 1));
    return std::make_shared<FileNameChecker>(p);
}

FileNameCheckerPtr MakeFolderChecker(std::wstring_view p) {
    if (p.empty()) return std::make_shared<DummyChecker>();
    if (StartsWith(p, L'*')) return std::make_shared<PostfixChecker>(WithBackslash(p.substr(1)));
    if (StartsWith(p, L'\\')) return std::make_shared<UnderRootChecker>(WithBackslash(p.substr(1)));
    if (EndsWith(p, L'*')) return std::make_shared<PrefixChecker>(p.substr(0, p.size() - 1));
    return std::make_shared<FileNameChecker>(WithBackslash(p));
}

}  // namespace tandem
