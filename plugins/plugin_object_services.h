#pragma once

#include <windows.h>
#include <oaidl.h>

#include "com_ptr.h"
#include "content_source.h"
#include "exclusion_list.h"
#include "folder_info_manager.h"
#include "registered_folder.h"
#include "shared_ptr.h"

namespace tandem {

// What the objects handed to plug-ins read files and folders through. The
// source and the folder manager are process-wide and outlive every object.
struct PluginObjectServices {
    ContentSource& source;
    FolderInfoManager& folders;
    ExclusionList fileExclusions;
    ComPtr<IRecordInfo> propertyRecord;
};
using PluginObjectServicesPtr = SharedPtr<const PluginObjectServices>;

// The TandemProperty record of the plug-in type library beside the program.
ComPtr<IRecordInfo> LoadPropertyRecordInfo();

PluginObjectServicesPtr MakePluginObjectServices(ContentSource& source, FolderInfoManager& folders,
                                                 ExclusionList fileExclusions);

// Keeps the protected-audio content source registered for its scope.
class ProtectedAudioScope {
public:
    explicit ProtectedAudioScope(ContentSource& source) noexcept : source_(source) { source_.AcquireProtectedAudio(); }
    ProtectedAudioScope(const ProtectedAudioScope&) = delete;
    ProtectedAudioScope& operator=(const ProtectedAudioScope&) = delete;
    ~ProtectedAudioScope() { source_.ReleaseProtectedAudio(); }

private:
    ContentSource& source_;
};

// A content passes when the folder restricts no categories or lists its
// category; no folder restricts nothing.
bool PassesCategories(const RegisteredFolder* folder, LONG category);

}  // namespace tandem
