#include "event_forwarders.h"

#include "com_ptr.h"
#include "error.h"
#include "tn_registered_folder.h"
#include "tn_storage_info.h"
#include "variant.h"

namespace tandem {

namespace {

constexpr DISPID kOnStorageEvent = 1;
constexpr DISPID kOnStatusChange = 2;
constexpr DISPID kOnStatusChangeEx = 1;
constexpr DISPID kOnOperationProgress = 2;
constexpr DISPID kOnOperationAbort = 3;

Variant DispatchArgument(IDispatch* object) noexcept {
    Variant value;
    V_VT(value.ptr()) = VT_DISPATCH;
    V_DISPATCH(value.ptr()) = object;
    object->AddRef();
    return value;
}

Variant BoolArgument(bool value) noexcept {
    Variant result;
    V_VT(result.ptr()) = VT_BOOL;
    V_BOOL(result.ptr()) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return result;
}

Variant FloatArgument(float value) noexcept {
    Variant result;
    V_VT(result.ptr()) = VT_R4;
    V_R4(result.ptr()) = value;
    return result;
}

std::wstring WithoutTrailingBackslash(std::wstring path) {
    if (path.ends_with(L'\\')) path.pop_back();
    return path;
}

ComPtr<IDispatch> FolderObject(AutomationContext& context, const SharedPtr<RegisteredFolder>& folder) {
    return ComPtr<IDispatch>(static_cast<ITnRegisteredFolder*>(MakeRegisteredFolderObject(context, folder).get()));
}

// The events of one folder operation, all carrying the same folder object.
class OperationEvents final : public ProgressEvents {
public:
    OperationEvents(EventListenerManager& listeners, ComPtr<IDispatch> folder) noexcept
        : listeners_(listeners), folder_(std::move(folder)) {}

    void OnOperationProgress(TnFolderOperationTypes operation, float percentage) override {
        CatchHr([&] {
            listeners_.Fire(kOnOperationProgress, {Variant::FromLong(operation), DispatchArgument(folder_.get()),
                                                   FloatArgument(percentage)});
        });
    }

    void OnOperationAbort(TnFolderOperationTypes operation) override {
        CatchHr([&] {
            listeners_.Fire(kOnOperationAbort, {Variant::FromLong(operation), DispatchArgument(folder_.get())});
        });
    }

private:
    EventListenerManager& listeners_;
    const ComPtr<IDispatch> folder_;
};

}  // namespace

void StorageEventForwarder::OnStorageEvent(TnStorageEventTypes type, const SharedPtr<StorageInfo>& storage) {
    CatchHr([&] {
        const ComPtr<ITnStorageInfo> object = MakeStorageInfoObject(storage);
        context_.StorageManagerEvents().Fire(kOnStorageEvent,
                                             {Variant::FromLong(type), DispatchArgument(object.get())});
    });
}

void FolderListEventForwarder::OnStatusChange(const std::wstring& folder, LONG reason, LONG param) {
    CatchHr([&] {
        context_.FolderWatcherEvents().Fire(kOnStatusChange,
                                            {Variant::FromString(WithoutTrailingBackslash(folder)),
                                             Variant::FromLong(reason), Variant::FromLong(param)});
    });
}

void FolderStatusEventForwarder::OnFolderBusy(const SharedPtr<RegisteredFolder>& folder, bool busy) {
    Fire(tnFolderStatusType_Busy, folder, busy);
}

void FolderStatusEventForwarder::OnFolderMonitoring(const SharedPtr<RegisteredFolder>& folder, bool monitoring) {
    Fire(tnFolderStatusType_Monitoring, folder, monitoring);
}

void FolderStatusEventForwarder::Fire(TnFolderStatusTypes type, const SharedPtr<RegisteredFolder>& folder,
                                      bool newValue) {
    CatchHr([&] {
        const ComPtr<IDispatch> object = FolderObject(context_, folder);
        context_.RegisteredFolderEvents().Fire(kOnStatusChangeEx,
                                               {Variant::FromLong(type), DispatchArgument(object.get()),
                                                BoolArgument(!newValue), BoolArgument(newValue)});
    });
}

SharedPtr<ProgressEvents> FolderProgressEventForwarder::ForFolder(const SharedPtr<RegisteredFolder>& folder) {
    try {
        return MakeShared<OperationEvents>(context_.RegisteredFolderEvents(), FolderObject(context_, folder));
    } catch (...) {
        return nullptr;
    }
}

}  // namespace tandem
