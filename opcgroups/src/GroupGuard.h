// The single exception boundary of the group's COM methods: a call through a shell is
// refused, anything thrown becomes the call's result.
#pragma once

#include <algorithm>
#include <new>
#include <string>

#include "opcgroups/Group.h"
#include "opcserver/ComBoundary.h"
#include "opcserver/OpcErrors.h"

namespace corvane::opc {

template <class F>
HRESULT TGroupImpl::Guarded(F&& Body) {
    if (!Alive()) return kGroupGone;
    return ComGuard(std::forward<F>(Body));
}

// A group name without leading and trailing blanks and control characters.
inline std::string TrimmedName(const std::string& s) {
    const auto keep = [](unsigned char c) { return c > ' '; };
    const auto first = std::find_if(s.begin(), s.end(), keep);
    const auto last = std::find_if(s.rbegin(), s.rend(), keep).base();
    return first < last ? std::string(first, last) : std::string();
}

// Stores through an out-pointer the client may have left null.
template <class T, class V>
void SetIfGiven(T* Out, V Value) {
    if (Out) *Out = static_cast<T>(Value);
}

}  // namespace corvane::opc
