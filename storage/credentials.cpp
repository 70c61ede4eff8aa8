#include "credentials.h"

#include <initializer_list>

#include <wincrypt.h>

#include "error.h"
#include "secret_buffer.h"

namespace tandem {

namespace {

bool IsUncRoot(const std::wstring& root) { return root.size() >= 2 && root[0] == L'\\' && root[1] == L'\\'; }

std::wstring RemoteNameOf(const std::wstring& root, NetworkConnections& network) {
    if (IsUncRoot(root)) return root.substr(0, root.size() - (root.back() == L'\\' ? 1 : 0));
    std::wstring remote;
    CheckWin32(static_cast<LONG>(network.GetConnection(root, remote)));
    return remote;
}

// The unprotected token: three NUL-terminated strings and the description,
// which names the local device. Both buffers are wiped when this goes.
class OpenToken {
public:
    explicit OpenToken(const std::vector<BYTE>& token) {
        DATA_BLOB in = {static_cast<DWORD>(token.size()), const_cast<BYTE*>(token.data())};
        DATA_BLOB out = {};
        wchar_t* description = nullptr;
        if (!CryptUnprotectData(&in, &description, nullptr, nullptr, nullptr, 0, &out)) ThrowLastError();
        plain_ = std::make_unique<LocalSecret>(out.pbData, out.cbData);
        description_ = std::make_unique<LocalSecret>(
            description, description ? (wcslen(description) + 1) * sizeof(wchar_t) : 0);
        localName_ = description ? description : L"";
        Split();
    }

    const wchar_t* remote() const noexcept { return fields_[0]; }
    const wchar_t* user() const noexcept { return fields_[1]; }
    const wchar_t* password() const noexcept { return fields_[2]; }
    const wchar_t* localName() const noexcept { return localName_; }

private:
    void Split() {
        const auto* text = static_cast<const wchar_t*>(plain_->data());
        size_t units = plain_->size() / sizeof(wchar_t);
        size_t start = 0;
        for (const wchar_t*& field : fields_) {
            size_t end = start;
            while (end < units && text[end] != L'\0') ++end;
            if (end >= units) ThrowHr(E_UNEXPECTED);
            field = text + start;
            start = end + 1;
        }
    }

    std::unique_ptr<LocalSecret> plain_;
    std::unique_ptr<LocalSecret> description_;
    const wchar_t* fields_[3] = {};
    const wchar_t* localName_ = L"";
};

}  // namespace

std::unique_ptr<Credentials> Credentials::Create(const std::wstring& root, const std::wstring& userId,
                                                 const std::wstring& password, NetworkConnections& network) {
    std::wstring remote = RemoteNameOf(root, network);
    SecretVector<wchar_t> plain;
    // Reserved whole: a growing vector would free unwiped copies of the secret.
    plain.get().reserve(remote.size() + userId.size() + password.size() + 3);
    for (const std::wstring* part : std::initializer_list<const std::wstring*>{&remote, &userId, &password}) {
        plain.get().insert(plain.get().end(), part->begin(), part->end());
        plain.get().push_back(L'\0');
    }
    DATA_BLOB in = {static_cast<DWORD>(plain.get().size() * sizeof(wchar_t) & ~DWORD{1}),
                    reinterpret_cast<BYTE*>(plain.get().data())};
    DATA_BLOB out = {};
    const wchar_t* description = IsUncRoot(root) ? L"" : root.c_str();
    if (!CryptProtectData(&in, description, nullptr, nullptr, nullptr, 0, &out)) ThrowLastError();
    plain.Wipe();
    LocalSecret blob(out.pbData, out.cbData);
    const BYTE* bytes = static_cast<const BYTE*>(blob.data());
    return std::make_unique<Credentials>(std::vector<BYTE>(bytes, bytes + blob.size()), network);
}

Credentials::Credentials(std::vector<BYTE> token, NetworkConnections& network) noexcept
    : token_(std::move(token)), network_(network) {}

Credentials::~Credentials() {
    CatchHr([this] { DisconnectShare(); });
    if (!token_.empty()) SecureZeroMemory(token_.data(), token_.size());
}

void Credentials::ConnectShare() {
    if (IsConnected()) return;
    OpenToken open(token_);
    DWORD result = ERROR_SUCCESS;
    if (*open.localName() != L'\0') {
        result = network_.AddConnection(open.localName(), open.remote(), open.user(), open.password());
        if (result == ERROR_ALREADY_ASSIGNED)
            result = network_.AddConnection(nullptr, open.remote(), open.user(), open.password());
    } else {
        result = network_.AddConnection(nullptr, open.remote(), open.user(), open.password());
    }
    CheckWin32(static_cast<LONG>(result));
    connected_.exchange(1);
}

void Credentials::DisconnectShare() {
    if (!IsConnected()) return;
    OpenToken open(token_);
    network_.CancelConnection(open.remote());
    connected_.exchange(0);
}

bool Credentials::Matches(std::wstring_view userId, std::wstring_view password) const {
    OpenToken open(token_);
    return userId == open.user() && password == open.password();
}

}  // namespace tandem
