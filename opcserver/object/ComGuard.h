// The single exception handler of every COM method of the server object.
#pragma once

#include <new>

#include "opcserver/OpcErrors.h"

namespace corvane::opc::detail {

// Runs the body of a COM method. An EOpcError becomes its code (E_FAIL for a success
// code); no other exception may cross the COM boundary either, so those become
// E_OUTOFMEMORY or E_FAIL.
template <class Body>
HRESULT ComGuard(Body&& body) noexcept {
    try {
        return body();
    } catch (const EOpcError& e) {
        return OpcResultOf(e);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace corvane::opc::detail
