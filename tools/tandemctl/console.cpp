#include "console.h"

#include <olectl.h>

#include <cstdio>
#include <map>

#include "unique_resource.h"

namespace tandem::ctl {
namespace {

// Codes the platform's message tables do not always carry.
const std::map<HRESULT, const wchar_t*>& KnownCodes() {
    static const std::map<HRESULT, const wchar_t*> codes{
        {REGDB_E_CLASSNOTREG, L"Class not registered: the service is not installed (try tandemctl install)"},
        {CO_E_SERVER_EXEC_FAILURE, L"The service could not be started"},
        {TYPE_E_LIBNOTREGISTERED, L"Library not registered"},
        {HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), L"The RPC server is unavailable: the service is not there"},
        {RPC_E_DISCONNECTED, L"The object invoked has disconnected from its clients: the service stopped"},
        {CONNECT_E_NOCONNECTION, L"No such connection"},
        {CONNECT_E_ADVISELIMIT, L"No more connections are taken"},
        {CONNECT_E_CANNOTCONNECT, L"The sink does not implement the event interface"},
        {E_INVALIDARG, L"One or more arguments are invalid"},
        {E_ACCESSDENIED, L"Access is denied"},
        {E_UNEXPECTED, L"Catastrophic failure"},
        {E_NOINTERFACE, L"No such interface supported"},
        {E_ABORT, L"Operation aborted"},
    };
    return codes;
}

std::wstring SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || !buffer) return {};
    std::wstring text(buffer, length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.'))
        text.pop_back();
    return text;
}

void Write(DWORD stream, std::wstring_view line) {
    const HANDLE handle = GetStdHandle(stream);
    std::wstring text(line);
    text += L"\n";
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr,
                        nullptr);
    WriteFile(handle, narrow.data(), static_cast<DWORD>(narrow.size()), &written, nullptr);
}

// Restores the console's echo however the read ends.
class EchoOff {
public:
    EchoOff(HANDLE input, DWORD mode) : input_(input), mode_(mode) {
        SetConsoleMode(input_, mode_ & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    ~EchoOff() { SetConsoleMode(input_, mode_); }

private:
    HANDLE input_;
    DWORD mode_;
};

std::wstring ReadPipedLine(HANDLE input) {
    std::string line;
    char c = 0;
    DWORD read = 0;
    while (ReadFile(input, &c, 1, &read, nullptr) && read == 1 && c != '\n') line += c;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const int size = MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), wide.data(), size);
    SecureZeroMemory(line.data(), line.size());
    return wide;
}

}  // namespace

std::wstring DescribeHr(HRESULT hr) {
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    std::wstring meaning;
    if (const auto known = KnownCodes().find(hr); known != KnownCodes().end()) meaning = known->second;
    if (meaning.empty() && HRESULT_FACILITY(hr) == FACILITY_WIN32) meaning = SystemMessage(HRESULT_CODE(hr));
    if (meaning.empty()) meaning = SystemMessage(static_cast<DWORD>(hr));
    if (meaning.empty()) meaning = L"unknown error";
    return std::wstring(code) + L" (" + meaning + L")";
}

void Out(std::wstring_view line) { Write(STD_OUTPUT_HANDLE, line); }
void Err(std::wstring_view line) { Write(STD_ERROR_HANDLE, line); }

std::wstring ReadPassword(std::wstring_view prompt) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(input, &mode)) return ReadPipedLine(input);
    Write(STD_ERROR_HANDLE, prompt);
    std::wstring password;
    {
        const EchoOff echo(input, mode);
        wchar_t buffer[256];
        DWORD read = 0;
        while (ReadConsoleW(input, buffer, 256, &read, nullptr) && read > 0) {
            password.append(buffer, read);
            SecureZeroMemory(buffer, sizeof(buffer));
            if (password.find(L'\n') != std::wstring::npos) break;
        }
    }
    while (!password.empty() && (password.back() == L'\n' || password.back() == L'\r')) password.pop_back();
    return password;
}

}  // namespace tandem::ctl
