#pragma once

#include <windows.h>
#include <objbase.h>

#include <type_traits>

#include "com_ptr.h"

namespace tandem {

// Makes an object agile: it aggregates the free-threaded marshaler, so
// interface pointers to it cross apartments of the process unmarshalled.
// A class derives from it and lists it in its InterfaceTable.
class FreeThreadedMarshaler {
public:
    using IsInterfaceEntry = void;

    template <class T>
    static void ConstructEntry(T& object, IUnknown* controlling) {
        static_assert(std::is_base_of_v<FreeThreadedMarshaler, T>);
        static_cast<FreeThreadedMarshaler&>(object).Aggregate(controlling);
    }

    template <class T>
    static bool QueryEntry(T& object, REFIID iid, void** out) noexcept {
        return static_cast<FreeThreadedMarshaler&>(object).QueryMarshal(iid, out);
    }

protected:
    FreeThreadedMarshaler() = default;
    ~FreeThreadedMarshaler() = default;

private:
    void Aggregate(IUnknown* controlling);
    bool QueryMarshal(REFIID iid, void** out) const noexcept;

    ComPtr<IUnknown> marshaler_;
};

}  // namespace tandem
