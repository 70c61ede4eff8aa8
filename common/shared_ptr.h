#pragma once

#include <memory>
#include <utility>

namespace tandem {

// Shared ownership with a separately allocated, interlocked count: tasks,
// folders, storages, plug-in sets, file information and singletons.
template <class T>
using SharedPtr = std::shared_ptr<T>;

template <class T, class... Args>
SharedPtr<T> MakeShared(Args&&... args) {
    return std::make_shared<T>(std::forward<Args>(args)...);
}

}  // namespace tandem
