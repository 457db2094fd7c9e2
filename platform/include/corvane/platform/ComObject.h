// Helpers for implementing and holding COM objects in C++.
#pragma once

#include <atomic>
#include <utility>

#include "../../unknwn.h"

namespace corvane::platform {

// Reference-counted base of COM implementation classes (Derived is the implementing
// class): starts at 0 so that the first QueryInterface/AddRef by the creator takes
// ownership; deletes the object at 0.
template <class Derived>
class ComRefCount {
  public:
    ComRefCount() = default;
    ComRefCount(const ComRefCount&) = delete;
    ComRefCount& operator=(const ComRefCount&) = delete;

    ULONG AddRefImpl() { return ++refs_; }
    ULONG ReleaseImpl() {
        const ULONG left = --refs_;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }
    ULONG RefCount() const { return refs_; }

  protected:
    ~ComRefCount() = default;

  private:
    std::atomic<ULONG> refs_{0};
};

// Owning interface pointer: AddRef on copy, Release on destruction.
template <class T>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~ComPtr() { Reset(); }
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    // Takes over a reference the caller already owns.
    static ComPtr Adopt(T* p) {
        ComPtr r;
        r.p_ = p;
        return r;
    }
    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    T* Detach() { return std::exchange(p_, nullptr); }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Receives an out-parameter; releases what was held first.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  private:
    T* p_ = nullptr;
};

}  // namespace corvane::platform
