#pragma once

#include <objbase.h>

#include <memory>

namespace tandem {

struct TaskMemFree {
    void operator()(void* p) const noexcept { CoTaskMemFree(p); }
};

// Memory the platform allocated with CoTaskMemAlloc.
template <class T>
using TaskMemPtr = std::unique_ptr<T, TaskMemFree>;

}  // namespace tandem
