// An owning VARIANT: cleared on destruction, deep-copied on copy.
#pragma once

#include <cstddef>
#include <utility>

#include "../../oleauto.h"

namespace corvane::platform {

// Bytes of a value held in a VARIANT's own bytes (integers, reals, currency, dates,
// booleans, error codes); 0 for every other type.
constexpr std::size_t ScalarSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            return 8;
        default:
            return 0;
    }
}

class Variant {
  public:
    Variant() { VariantInit(&v_); }
    // Takes a deep copy of `v`.
    explicit Variant(const VARIANT& v) : Variant() {
        if (IsPlain(v.vt))
            v_ = v;
        else
            VariantCopy(&v_, &v);
    }
    Variant(const Variant& o) : Variant(o.v_) {}
    Variant(Variant&& o) noexcept : Variant() { std::swap(v_, o.v_); }
    Variant& operator=(Variant o) noexcept {
        std::swap(v_, o.v_);
        return *this;
    }
    ~Variant() {
        if (!IsPlain(v_.vt)) VariantClear(&v_);
    }

    // A value held in its own bytes: copying and clearing it need no call into the
    // runtime. Polling copies values like these thousands of times a second.
    static constexpr bool IsPlain(VARTYPE vt) {
        return vt == VT_EMPTY || vt == VT_NULL || ScalarSize(vt) != 0;
    }

    // Takes over a VARIANT the caller owns, leaving it VT_EMPTY.
    static Variant Adopt(VARIANT& v) {
        Variant r;
        std::swap(r.v_, v);
        VariantInit(&v);
        return r;
    }
    // Hands the value to a VARIANT owned elsewhere (for example a client's array).
    void DetachTo(VARIANT& out) {
        if (!IsPlain(out.vt)) VariantClear(&out);
        out = v_;
        VariantInit(&v_);
    }

    VARIANT& Get() { return v_; }
    const VARIANT& Get() const { return v_; }
    VARIANT* operator->() { return &v_; }
    const VARIANT* operator->() const { return &v_; }
    VARTYPE Type() const { return v_.vt; }

  private:
    VARIANT v_;
};

}  // namespace corvane::platform
