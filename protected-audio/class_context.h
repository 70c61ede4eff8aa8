#pragma once

#include <windows.h>

#include <string>

#include "VltLib.h"
#include "com_ptr.h"
#include "format_maps.h"
#include "shared_ptr.h"

namespace tandem::protected_audio {

// What the class object hands every content object: the library main object
// and its settings, shared, and the format maps, copied.
struct LibrarySettings {
    ComPtr<IVltLibrary> library;
    LONG applicationId = 0;
    LONG loadMode = 2;
    std::wstring moduleFolder;  // ends with a backslash
};

struct ClassContext {
    FormatMaps maps;
    SharedPtr<const LibrarySettings> settings;
};

// Reads the settings file, starts the library main object and fills the
// maps. Raises the main object's creation or initialisation failure.
ClassContext StartClass(const std::wstring& modulePath);

// A tag handler for the path, with the interface iid (handler creation).
ComPtr<IUnknown> CreateTagHandler(const ClassContext& context, const std::wstring& path, REFIID iid);

}  // namespace tandem::protected_audio
