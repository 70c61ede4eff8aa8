#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "TandemPlugin.h"
#include "com/class_object_registration.h"
#include "plugin_progress.h"
#include "shared_ptr.h"

namespace tandem::test {

// Every call the test plug-ins and progress objects see, in order, as
// "name.Method(arguments)".
using Journal = std::vector<std::wstring>;

// How one test plug-in class behaves: its journal name and the result of
// Open and of every other call.
struct PluginBehaviour {
    std::wstring name;
    HRESULT openResult = S_OK;
    HRESULT callResult = S_OK;
};

// Registers an in-process class object whose instances log to journal,
// revoked with the holder.
ClassObjectRegistration RegisterTestPlugin(REFCLSID clsid, PluginBehaviour behaviour, SharedPtr<Journal> journal);

// Test plug-ins and notifiers alive.
LONG LiveTestObjects();

// Logs "notifier" when asked for its notifier and "step" for each step.
class JournalProgress : public PluginProgress {
public:
    explicit JournalProgress(SharedPtr<Journal> journal);
    ComPtr<ITandemProgressNotifier> Notifier() override;
    void Step() override;

private:
    SharedPtr<Journal> journal_;
};

}  // namespace tandem::test
