// 32-bit identities for framework objects. Group and item server handles, transaction
// and cancel ids and timer keys are ids from this table, never addresses: a value that
// comes back from a client is only turned into an object by finding it here.
#pragma once

#include <cstdint>
#include <mutex>
#include <type_traits>
#include <typeinfo>
#include <unordered_map>

#include "wtypes.h"

namespace corvane::opc {

// Base of every object that has an identity; the id lives exactly as long as the object.
class TOpcObject {
  public:
    DWORD Identity() const { return identity_; }
    TOpcObject(const TOpcObject&) = delete;
    TOpcObject& operator=(const TOpcObject&) = delete;

  protected:
    TOpcObject();
    virtual ~TOpcObject();

  private:
    DWORD identity_;
};

// The live objects by id. Thread-safe; ids are non-zero and not reused while in use.
class TObjectTable {
  public:
    DWORD Add(TOpcObject* object);
    void Remove(DWORD id);
    std::size_t Count() const;

    // The object with this id if it is a T, else nullptr. A final class is recognised by
    // its exact type, which costs less than a cast search; group items are looked up for
    // every handle of every call.
    template <class T>
    T* Find(DWORD id) const {
        TOpcObject* object = FindObject(id);
        if constexpr (std::is_final_v<T>) {
            return object && typeid(*object) == typeid(T) ? static_cast<T*>(object) : nullptr;
        } else {
            return dynamic_cast<T*>(object);
        }
    }

  private:
    TOpcObject* FindObject(DWORD id) const;

    mutable std::mutex mutex_;
    std::unordered_map<DWORD, TOpcObject*> objects_;
    DWORD next_ = 1;
};

TObjectTable& OpcObjects();

}  // namespace corvane::opc
