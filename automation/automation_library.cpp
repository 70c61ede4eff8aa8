#include "automation_library.h"

#include <windows.h>

#include "module_path.h"

namespace tandem {

namespace {

std::wstring ServiceClassLibraryPath() {
    if (FindResourceW(nullptr, MAKEINTRESOURCEW(1), L"TYPELIB")) return ModuleFileName(nullptr);
    return ModuleDirectory(nullptr) + L"MarloTandem.tlb";
}

}  // namespace

TypeLibrary& WatcherLibrary() {
    static TypeLibrary library(ModuleDirectory(nullptr) + L"MarloZephFw.dll");
    return library;
}

TypeLibrary& ServiceClassLibrary() {
    static TypeLibrary library(ServiceClassLibraryPath());
    WatcherLibrary().Library();
    return library;
}

}  // namespace tandem
