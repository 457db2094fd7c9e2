// The one rule by which exceptions become COM results, for every COM method of every
// object: nothing thrown may cross the boundary to a client.
#pragma once

#include "opcserver/OpcErrors.h"

namespace corvane::opc {

// The result for the exception being handled; call it only inside a catch block. An
// EOpcError gives its code (E_FAIL for a success code), an allocation failure
// E_OUTOFMEMORY, anything else (a controller's conversion error, say) E_FAIL.
HRESULT CurrentExceptionResult() noexcept;

// Runs the body of a COM method; whatever it throws becomes its result.
template <class Body>
HRESULT ComGuard(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return CurrentExceptionResult();
    }
}

}  // namespace corvane::opc
