#include "registry_sandbox.h"

#include <objbase.h>

#include "../error.h"
#include "../strings.h"

namespace tandem::test {

namespace {

const wchar_t kSandboxParent[] = L"Software\\Tandem Test Sandboxes";

// The real per-user root, whatever is redirected at the moment.
HKEY RealCurrentUser() {
    static RegKey key = [] {
        RegKey k;
        CheckWin32(RegOpenCurrentUser(KEY_ALL_ACCESS, k.put()));
        return k;
    }();
    return key.get();
}

}  // namespace

RegistrySandbox::RegistrySandbox(std::vector<HKEY> roots) : roots_(std::move(roots)), name_(NewGuidId()) {
    base_ = CreateKey(RealCurrentUser(), std::wstring(kSandboxParent) + L"\\" + name_, KEY_ALL_ACCESS);
    for (size_t i = 0; i < roots_.size(); ++i) {
        redirects_.push_back(CreateKey(base_.get(), std::to_wstring(i), KEY_ALL_ACCESS));
        CheckWin32(RegOverridePredefKey(roots_[i], redirects_.back().get()));
    }
}

RegistrySandbox::~RegistrySandbox() {
    for (HKEY root : roots_) RegOverridePredefKey(root, nullptr);
    redirects_.clear();
    base_.reset();
    RegDeleteTreeW(RealCurrentUser(), (std::wstring(kSandboxParent) + L"\\" + name_).c_str());
}

}  // namespace tandem::test
