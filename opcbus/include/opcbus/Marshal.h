// Encodings of the OPC structures on top of the Wire values, shared by the server's
// stubs and the client's proxies so that both sides read exactly what the other wrote.
// Decoders that fill caller-owned OPC results allocate with the task allocator, as the
// in-process server would; on failure they free what they made and fail the reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "opcbus/Wire.h"
#include "opcda.h"

namespace corvane::opcbus {

// 32-bit values (handles, HRESULTs, property ids) with their count.
void PutDwords(TWriter& w, const DWORD* values, DWORD count);
// Exactly `count` values are expected; nullptr for count 0 or failure.
DWORD* GetDwordsTask(TReader& r, DWORD count);
std::vector<DWORD> GetDwords(TReader& r, DWORD count);
inline HRESULT* GetHResultsTask(TReader& r, DWORD count) {
    return reinterpret_cast<HRESULT*>(GetDwordsTask(r, count));
}
inline void PutHResults(TWriter& w, const HRESULT* values, DWORD count) {
    PutDwords(w, reinterpret_cast<const DWORD*>(values), count);
}

// Item definitions as a server receives them: the strings and blobs live here.
struct TItemDefs {
    std::vector<OPCITEMDEF> Defs;
    std::vector<std::u16string> Strings;
    std::vector<std::vector<BYTE>> Blobs;
};
void PutItemDefs(TWriter& w, const OPCITEMDEF* defs, DWORD count);
bool GetItemDefs(TReader& r, DWORD count, TItemDefs& out);

void PutItemResults(TWriter& w, const OPCITEMRESULT* results, DWORD count);
OPCITEMRESULT* GetItemResultsTask(TReader& r, DWORD count);

void PutItemStates(TWriter& w, const OPCITEMSTATE* states, DWORD count);
OPCITEMSTATE* GetItemStatesTask(TReader& r, DWORD count);

// VARIANTs, all or nothing: S_OK or the first failure.
HRESULT PutVariants(TWriter& w, const VARIANT* values, DWORD count);
VARIANT* GetVariantsTask(TReader& r, DWORD count);
// Owning array for a server's inputs.
struct TVariants {
    std::vector<VARIANT> Values;
    TVariants() = default;
    TVariants(const TVariants&) = delete;
    TVariants& operator=(const TVariants&) = delete;
    ~TVariants();
};
bool GetVariants(TReader& r, DWORD count, TVariants& out);

void PutItemAttributes(TWriter& w, const OPCITEMATTRIBUTES& a);
bool GetItemAttributes(TReader& r, OPCITEMATTRIBUTES& a);
void FreeItemAttributes(OPCITEMATTRIBUTES& a);

void PutStatus(TWriter& w, const OPCSERVERSTATUS& s);
OPCSERVERSTATUS* GetStatusTask(TReader& r);

// A task-memory array of task-memory strings.
void PutStrings(TWriter& w, const LPWSTR* strings, DWORD count);
LPWSTR* GetStringsTask(TReader& r, DWORD count);

}  // namespace corvane::opcbus
