// An owning VARIANT: cleared on destruction, deep-copied on copy.
#pragma once

#include <utility>

#include "../../oleauto.h"

namespace corvane::platform {

class Variant {
  public:
    Variant() { VariantInit(&v_); }
    // Takes a deep copy of `v`.
    explicit Variant(const VARIANT& v) : Variant() { VariantCopy(&v_, &v); }
    Variant(const Variant& o) : Variant(o.v_) {}
    Variant(Variant&& o) noexcept : Variant() { std::swap(v_, o.v_); }
    Variant& operator=(Variant o) noexcept {
        std::swap(v_, o.v_);
        return *this;
    }
    ~Variant() { VariantClear(&v_); }

    // Takes over a VARIANT the caller owns, leaving it VT_EMPTY.
    static Variant Adopt(VARIANT& v) {
        Variant r;
        std::swap(r.v_, v);
        VariantInit(&v);
        return r;
    }
    // Hands the value to a VARIANT owned elsewhere (for example a client's array).
    void DetachTo(VARIANT& out) {
        VariantClear(&out);
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
