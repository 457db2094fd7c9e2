// Task-memory and argument helpers every interface method uses, the requested-type rule
// and the equality of two values.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "opcda.h"
#include "opcserver/OpcErrors.h"

namespace corvane::opc {

// Raises EOpcError(E_OUTOFMEMORY) when the task allocator has nothing.
void* OpcAlloc(std::size_t bytes);
void* OpcAllocZero(std::size_t bytes);
// A zero-filled array of `count` elements, the size checked for overflow.
template <class T>
T* OpcAllocArray(std::size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw EOpcError(E_OUTOFMEMORY);
    return static_cast<T*>(OpcAllocZero(count * sizeof(T)));
}
// Frees the block if the reference is not empty and empties it.
template <class T>
void OpcFreeAndNil(T*& p) {
    if (p) CoTaskMemFree(const_cast<void*>(static_cast<const void*>(p)));
    p = nullptr;
}
// A task-memory UTF-16 copy (2 x length + 2 bytes) of a string in the system code page.
LPWSTR OpcWideCopy(std::string_view text);
// A client's wide string in the system code page; a null pointer reads as empty.
std::string OpcNarrow(LPCWSTR text);

// Owns a task-memory block until it is handed to the client with release().
struct TaskMemDeleter {
    void operator()(void* p) const { CoTaskMemFree(p); }
};
template <class T>
using TaskMemPtr = std::unique_ptr<T, TaskMemDeleter>;

// E_INVALIDARG when the count is 0 or the array is absent.
void CheckCountAndArray(DWORD count, const void* array);
// E_INVALIDARG when value lies outside low..high.
void CheckRange(long long value, long long low, long long high);
// OPC_E_BADTYPE unless IsAcceptedRequestedType(vt).
void CheckRequestedType(VARTYPE vt);
// VT_EMPTY, I2, I4, R4, R8, DATE, BSTR, BOOL, I1, UI1, UI2, UI4, INT, UINT, or an array
// of one of them.
bool IsAcceptedRequestedType(VARTYPE vt);

// Change detection's equality: same type and equal value; one-dimensional arrays of the
// same shape equal element by element; arrays of more dimensions are never equal.
bool ValuesEqual(const VARIANT& a, const VARIANT& b);

}  // namespace corvane::opc
