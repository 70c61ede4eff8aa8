#pragma once

#include <windows.h>
#include <oleauto.h>

#include "unique_resource.h"

namespace tandem {

struct SafeArrayTraits {
    using type = SAFEARRAY*;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type p) noexcept { return p != nullptr; }
    static void close(type p) noexcept { SafeArrayDestroy(p); }
};
using SafeArray = UniqueResource<SafeArrayTraits>;

// Keeps an array's data locked for the holder's lifetime.
class SafeArrayAccess {
public:
    explicit SafeArrayAccess(SAFEARRAY* array);
    SafeArrayAccess(const SafeArrayAccess&) = delete;
    SafeArrayAccess& operator=(const SafeArrayAccess&) = delete;
    ~SafeArrayAccess() { ::SafeArrayUnlock(array_); }

    template <class T>
    T* data() const noexcept {
        return static_cast<T*>(array_->pvData);
    }

private:
    SAFEARRAY* array_;
};

}  // namespace tandem
