#pragma once

#include <windows.h>
#include <oaidl.h>

#include <map>
#include <string>

#include "com_ptr.h"
#include "shared_ptr.h"

namespace tandem {

// Under HKEY_LOCAL_MACHINE; the service only reads it.
inline constexpr wchar_t kProductKey[] = L"SOFTWARE\\Marlo Corporation\\Tandem Content Folder Watcher";
inline constexpr wchar_t kPluginSubKey[] = L"Plugin";

// The identifier of the TandemProperty record in the plug-in type library.
inline constexpr GUID kTandemPropertyRecordId = {
    0x1ACDFC2A, 0xC0D9, 0x4431, {0x97, 0xEE, 0x64, 0x71, 0x4C, 0xF5, 0xF5, 0x8E}};

// Plug-in name to class. Names compare by UTF-16 unit, case-sensitively:
// this order is the order every plug-in call follows.
using PluginClassMap = std::map<std::wstring, CLSID>;

// The plug-ins registered when the service started. Read-only once loaded.
class PluginManager {
public:
    // The process-wide snapshot, read on first use. A failed read is raised
    // and not remembered; a published snapshot is never re-read.
    static SharedPtr<const PluginManager> Instance();

    // Reads the registry now.
    PluginManager();

    IRecordInfo* PropertyRecord() const noexcept { return propertyRecord_.get(); }
    const PluginClassMap& Classes() const noexcept { return classes_; }

private:
    ComPtr<IRecordInfo> propertyRecord_;
    PluginClassMap classes_;
};

}  // namespace tandem
