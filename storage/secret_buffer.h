#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

namespace tandem {

// Memory from LocalAlloc holding secret material (DPAPI output): overwritten
// with zeros before it is freed.
class LocalSecret {
public:
    LocalSecret() noexcept = default;
    LocalSecret(void* data, size_t bytes) noexcept : data_(data), bytes_(bytes) {}
    LocalSecret(const LocalSecret&) = delete;
    LocalSecret& operator=(const LocalSecret&) = delete;
    ~LocalSecret() {
        if (!data_) return;
        SecureZeroMemory(data_, bytes_);
        LocalFree(data_);
    }

    void* data() const noexcept { return data_; }
    size_t size() const noexcept { return bytes_; }

private:
    void* data_ = nullptr;
    size_t bytes_ = 0;
};

// A growable buffer of secret material, zeroed when destroyed.
template <class T>
class SecretVector {
public:
    SecretVector() = default;
    explicit SecretVector(std::vector<T> items) noexcept : items_(std::move(items)) {}
    SecretVector(const SecretVector&) = delete;
    SecretVector& operator=(const SecretVector&) = delete;
    ~SecretVector() { Wipe(); }

    void Wipe() noexcept {
        if (!items_.empty()) SecureZeroMemory(items_.data(), items_.size() * sizeof(T));
    }
    std::vector<T>& get() noexcept { return items_; }
    const std::vector<T>& get() const noexcept { return items_; }

private:
    std::vector<T> items_;
};

}  // namespace tandem
