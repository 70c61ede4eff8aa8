#pragma once

#include <functional>
#include <memory>

namespace tandem {

class StorageInfo;

// The machinery that connects a storage and serves its folders (its command
// thread). Start runs it unless it runs already; Stop ends it and waits.
class StorageWorker {
public:
    virtual ~StorageWorker() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsRunning() const = 0;
};

// Builds the worker of a storage; an empty factory leaves storages without one.
using StorageWorkerFactory = std::function<std::unique_ptr<StorageWorker>(StorageInfo&)>;

}  // namespace tandem
