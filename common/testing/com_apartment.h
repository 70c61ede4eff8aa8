#pragma once

#include <windows.h>
#include <objbase.h>

#include "../error.h"

namespace tandem::test {

// The multithreaded apartment, as the service's threads join it.
class ComApartment {
public:
    ComApartment() { CheckHr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() { CoUninitialize(); }
};

}  // namespace tandem::test
