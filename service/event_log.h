#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tandem {

// The service's few information events, under the service's name; echoed to
// standard output when the process is not a service.
class EventLog {
public:
    static constexpr size_t kMaxMessage = 255;

    EventLog(std::wstring source, bool echo) : source_(std::move(source)), echo_(echo) {}

    void SetEcho(bool echo) noexcept { echo_ = echo; }
    void Report(std::wstring_view message) const noexcept;

private:
    std::wstring source_;
    bool echo_;
};

}  // namespace tandem
