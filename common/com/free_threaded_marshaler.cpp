#include "free_threaded_marshaler.h"

#include "error.h"

namespace tandem {

void FreeThreadedMarshaler::Aggregate(IUnknown* controlling) {
    CheckHr(CoCreateFreeThreadedMarshaler(controlling, marshaler_.put()));
}

// The marshaler's IMarshal counts on the controlling unknown, as aggregation
// requires, so it is handed out as it comes.
bool FreeThreadedMarshaler::QueryMarshal(REFIID iid, void** out) const noexcept {
    return IsEqualIID(iid, IID_IMarshal) && marshaler_ && SUCCEEDED(marshaler_->QueryInterface(iid, out));
}

}  // namespace tandem
