#pragma once

#include "TandemPlugin.h"
#include "com_ptr.h"

namespace tandem {

// What the long-running plug-in calls report their progress through.
class PluginProgress {
public:
    virtual ~PluginProgress() = default;
    // The notifier handed to the next plug-in; may be null.
    virtual ComPtr<ITandemProgressNotifier> Notifier() = 0;
    // One plug-in has finished.
    virtual void Step() = 0;
};

}  // namespace tandem
