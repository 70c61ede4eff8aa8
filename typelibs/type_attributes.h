#pragma once

#include <windows.h>
#include <oleauto.h>

#include "error.h"

namespace tandem::typelibs {

// Scoped views of the descriptions a type library lends out and wants back.
template <class Owner, class Attr, HRESULT (STDMETHODCALLTYPE Owner::*Get)(Attr**),
          void (STDMETHODCALLTYPE Owner::*Release)(Attr*)>
class LentAttributes {
public:
    explicit LentAttributes(Owner* owner) : owner_(owner) { CheckHr((owner->*Get)(&attr_)); }
    LentAttributes(const LentAttributes&) = delete;
    LentAttributes& operator=(const LentAttributes&) = delete;
    ~LentAttributes() { (owner_->*Release)(attr_); }
    const Attr* operator->() const noexcept { return attr_; }
    const Attr& operator*() const noexcept { return *attr_; }

private:
    Owner* owner_;
    Attr* attr_ = nullptr;
};

using TypeAttr = LentAttributes<ITypeInfo, TYPEATTR, &ITypeInfo::GetTypeAttr, &ITypeInfo::ReleaseTypeAttr>;
using LibAttr = LentAttributes<ITypeLib, TLIBATTR, &ITypeLib::GetLibAttr, &ITypeLib::ReleaseTLibAttr>;

class FuncDesc {
public:
    FuncDesc(ITypeInfo* type, UINT index) : type_(type) { CheckHr(type->GetFuncDesc(index, &desc_)); }
    FuncDesc(const FuncDesc&) = delete;
    FuncDesc& operator=(const FuncDesc&) = delete;
    ~FuncDesc() { type_->ReleaseFuncDesc(desc_); }
    const FUNCDESC* operator->() const noexcept { return desc_; }
    const FUNCDESC& operator*() const noexcept { return *desc_; }

private:
    ITypeInfo* type_;
    FUNCDESC* desc_ = nullptr;
};

class VarDesc {
public:
    VarDesc(ITypeInfo* type, UINT index) : type_(type) { CheckHr(type->GetVarDesc(index, &desc_)); }
    VarDesc(const VarDesc&) = delete;
    VarDesc& operator=(const VarDesc&) = delete;
    ~VarDesc() { type_->ReleaseVarDesc(desc_); }
    const VARDESC* operator->() const noexcept { return desc_; }
    const VARDESC& operator*() const noexcept { return *desc_; }

private:
    ITypeInfo* type_;
    VARDESC* desc_ = nullptr;
};

}  // namespace tandem::typelibs
