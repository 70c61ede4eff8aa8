#pragma once

#include <windows.h>

#include <utility>

namespace tandem {

// Sole owner of a platform resource described by Traits:
//   using type; static type invalid(); static bool valid(type); static void close(type);
template <class Traits>
class UniqueResource {
public:
    using type = typename Traits::type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(type value) noexcept : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return Traits::valid(value_); }

    type release() noexcept { return std::exchange(value_, Traits::invalid()); }

    void reset(type value = Traits::invalid()) noexcept {
        type old = std::exchange(value_, value);
        if (Traits::valid(old)) Traits::close(old);
    }

    // For out-parameters: releases what is held and hands out the slot.
    type* put() noexcept {
        reset();
        return &value_;
    }

private:
    type value_ = Traits::invalid();
};

struct HandleTraits {
    using type = HANDLE;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { CloseHandle(h); }
};
using UniqueHandle = UniqueResource<HandleTraits>;

struct FindFileTraits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool valid(type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { FindClose(h); }
};
using UniqueFindHandle = UniqueResource<FindFileTraits>;

struct ChangeNotificationTraits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool valid(type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { FindCloseChangeNotification(h); }
};
using UniqueChangeNotification = UniqueResource<ChangeNotificationTraits>;

struct ModuleTraits {
    using type = HMODULE;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type h) noexcept { return h != nullptr; }
    static void close(type h) noexcept { FreeLibrary(h); }
};
using UniqueModule = UniqueResource<ModuleTraits>;

struct ServiceHandleTraits {
    using type = SC_HANDLE;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type h) noexcept { return h != nullptr; }
    static void close(type h) noexcept { CloseServiceHandle(h); }
};
using UniqueServiceHandle = UniqueResource<ServiceHandleTraits>;

}  // namespace tandem
