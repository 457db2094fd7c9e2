// The single exception boundary of the group's COM methods.
#pragma once

#include <new>

#include "opcgroups/Group.h"
#include "opcserver/OpcErrors.h"

namespace corvane::opc {

template <class F>
HRESULT TGroupImpl::Guarded(F&& Body) {
    if (!Alive()) return kGroupGone;
    try {
        return Body();
    } catch (const EOpcError& e) {
        return OpcResultOf(e);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// Stores through an out-pointer the client may have left null.
template <class T, class V>
void SetIfGiven(T* Out, V Value) {
    if (Out) *Out = static_cast<T>(Value);
}

}  // namespace corvane::opc
