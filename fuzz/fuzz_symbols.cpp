// Arbitrary bytes as a symbol file, imported from text and from a file. Nothing may
// crash; the table must stay within its room, and every imported item id must be found
// again (the last entry of the same id in any letter case wins).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "SymbolTable.h"
#include "TextFile.h"

using namespace corvane::opcprovider;

namespace {

std::string gFile;

std::string UpperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gFile = "/tmp/corvane-fuzz-symbols." + std::to_string(getpid()) + ".txt";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto lines = corvane::plc::SplitLines(text);
    TSymbolTable table;
    const TImportResult result = table.Import(lines);
    size_t taken = 0;
    while (taken < lines.size() && !lines[taken].empty()) ++taken;
    if (table.TagCount < 0 || table.TagCount > kMaxTags) std::abort();
    if (static_cast<size_t>(table.TagCount) + static_cast<size_t>(result.NotImported) != taken)
        std::abort();
    if (result.Rows.size() != static_cast<size_t>(table.TagCount)) std::abort();
    for (int k = 0; k < table.TagCount; ++k) {
        const TagType& tag = table.Tags[static_cast<size_t>(k)];
        if (table.FindHandle(k + 1) != &tag || tag.ID != k + 1) std::abort();
        if (tag.Access != 0 && tag.Access != kAccessRead && tag.Access != kAccessReadWrite)
            std::abort();
        uint8_t access = 0;
        const int32_t found = table.FindItem(tag.ItemsID, access);
        if (found < k + 1 || found > table.TagCount) std::abort();
        if (UpperAscii(table.Tags[static_cast<size_t>(found - 1)].ItemsID) !=
            UpperAscii(tag.ItemsID))
            std::abort();
    }
    if (table.FindHandle(0) || table.FindHandle(table.TagCount + 1)) std::abort();

    // The same bytes through the file reader give the same table.
    {
        std::ofstream out(gFile, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    TSymbolTable fromFile;
    const TImportResult again = fromFile.ImportFile(gFile);
    if (fromFile.TagCount != table.TagCount || again.NotImported != result.NotImported)
        std::abort();
    return 0;
}
