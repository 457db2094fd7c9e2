// The bus encoding's reader against arbitrary bytes: it must never crash, leak or read out
// of bounds, and whatever it accepts must encode again to the very bytes it read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "objbase.h"
#include "opcbus/Marshal.h"
#include "opcbus/Wire.h"

using namespace corvane::opcbus;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t selector = data[0];
    TReader r(data + 1, size - 1);
    switch (selector % 4) {
        case 0: {
            VARIANT v;
            VariantInit(&v);
            if (SUCCEEDED(r.Variant(v))) {
                TWriter w;
                if (FAILED(w.Variant(v))) std::abort();
                const std::size_t used = size - 1 - r.Left();
                if (w.Data().size() != used || std::memcmp(w.Data().data(), data + 1, used) != 0)
                    std::abort();
            }
            VariantClear(&v);
            break;
        }
        case 1: {
            TItemDefs defs;
            GetItemDefs(r, selector >> 2, defs);
            break;
        }
        case 2: {
            const DWORD n = selector >> 2;
            if (OPCITEMSTATE* states = GetItemStatesTask(r, n)) {
                for (DWORD i = 0; i < n; ++i) VariantClear(&states[i].vDataValue);
                CoTaskMemFree(states);
            }
            break;
        }
        default: {
            OPCITEMATTRIBUTES a;
            if (GetItemAttributes(r, a)) FreeItemAttributes(a);
            break;
        }
    }
    return 0;
}
