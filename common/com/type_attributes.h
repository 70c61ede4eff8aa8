#pragma once

#include <windows.h>
#include <oleauto.h>

#include "com_ptr.h"

namespace tandem {

// A type's TYPEATTR, released with the holder.
class TypeAttributes {
public:
    explicit TypeAttributes(ComPtr<ITypeInfo> info);
    TypeAttributes(const TypeAttributes&) = delete;
    TypeAttributes& operator=(const TypeAttributes&) = delete;
    ~TypeAttributes() { info_->ReleaseTypeAttr(attributes_); }

    const TYPEATTR* operator->() const noexcept { return attributes_; }

private:
    ComPtr<ITypeInfo> info_;
    TYPEATTR* attributes_ = nullptr;
};

// A type library's TLIBATTR, released with the holder.
class LibraryAttributes {
public:
    explicit LibraryAttributes(ComPtr<ITypeLib> library);
    LibraryAttributes(const LibraryAttributes&) = delete;
    LibraryAttributes& operator=(const LibraryAttributes&) = delete;
    ~LibraryAttributes() { library_->ReleaseTLibAttr(attributes_); }

    const TLIBATTR* operator->() const noexcept { return attributes_; }

private:
    ComPtr<ITypeLib> library_;
    TLIBATTR* attributes_ = nullptr;
};

}  // namespace tandem
