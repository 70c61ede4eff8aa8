#include "plugin_object_services.h"

#include "error.h"
#include "plugin_manager.h"
#include "progress_notifier.h"

namespace tandem {

ComPtr<IRecordInfo> LoadPropertyRecordInfo() {
    ComPtr<ITypeInfo> info;
    CheckHr(ProgressNotifierLibrary().Library()->GetTypeInfoOfGuid(kTandemPropertyRecordId, info.put()));
    ComPtr<IRecordInfo> record;
    CheckHr(GetRecordInfoFromTypeInfo(info.get(), record.put()));
    return record;
}

PluginObjectServicesPtr MakePluginObjectServices(ContentSource& source, FolderInfoManager& folders,
                                                 ExclusionList fileExclusions) {
    return MakeShared<const PluginObjectServices>(
        PluginObjectServices{source, folders, std::move(fileExclusions), LoadPropertyRecordInfo()});
}

bool PassesCategories(const RegisteredFolder* folder, LONG category) {
    return !folder || folder->AllowsCategory(category);
}

}  // namespace tandem
