#include "type_attributes.h"

#include <utility>

#include "error.h"

namespace tandem {

TypeAttributes::TypeAttributes(ComPtr<ITypeInfo> info) : info_(std::move(info)) {
    CheckHr(info_->GetTypeAttr(&attributes_));
}

LibraryAttributes::LibraryAttributes(ComPtr<ITypeLib> library) : library_(std::move(library)) {
    CheckHr(library_->GetLibAttr(&attributes_));
}

}  // namespace tandem
