#include "SymbolTable.h"

#include "TextFile.h"

namespace corvane::opcprovider {

std::array<std::string, kSymbolWords> SplitSymbolLine(std::string_view line) {
    std::array<std::string, kSymbolWords> words;
    words.fill(kMissingWord);
    size_t stored = 0;
    std::string current;
    auto store = [&] {
        if (stored < words.size()) words[stored++] = current;  // surplus words are ignored
        current.clear();
    };
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i] == '\t' ? ' ' : line[i];
        if (c == ' ') {
            current.clear();
            continue;
        }
        current += c;
        const bool blankFollows =
            i + 1 < line.size() && (line[i + 1] == ' ' || line[i + 1] == '\t');
        if (blankFollows) store();
    }
    if (!current.empty()) store();
    return words;
}

std::string TSymbolTable::LookupKey(std::string_view itemId) {
    std::string key(itemId);
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return key;
}

int32_t TSymbolTable::FindItem(std::string_view itemId, uint8_t& access) const {
    const auto found = index_.find(LookupKey(itemId));
    if (found == index_.end()) return -1;
    access = Tags[static_cast<size_t>(found->second - 1)].Access;
    return found->second;
}

const TagType* TSymbolTable::FindHandle(int32_t handle) const {
    if (handle < 1 || handle > TagCount) return nullptr;
    return &Tags[static_cast<size_t>(handle - 1)];
}

std::optional<std::string> TSymbolTable::FindAddress(std::string_view itemId) const {
    uint8_t access = 0;
    const TagType* tag = FindHandle(FindItem(itemId, access));
    if (!tag) return std::nullopt;
    return tag->Address;
}

std::string TSymbolTable::NotImportedText(int count) {
    return std::to_string(count) + (count == 1 ? " symbol line was" : " symbol lines were") +
           " not imported: the symbol table holds " + std::to_string(kMaxTags) + " symbols.";
}

TImportResult TSymbolTable::Import(const std::vector<std::string>& lines) {
    TImportResult result;
    int k = 0;
    for (const std::string& line : lines) {
        if (line.empty()) break;
        if (k == kMaxTags) {
            ++result.NotImported;
            continue;
        }
        const auto words = SplitSymbolLine(line);
        ++k;
        result.Rows.push_back({k, words[0], words[1], words[2]});
        TagType& tag = Tags[static_cast<size_t>(k - 1)];
        tag.ID = k;
        tag.ItemsID = words[0];
        tag.Address = words[1];
        if (words[2] == "R/W" || words[2] == kMissingWord)
            LastAccess = kAccessReadWrite;
        else if (words[2] == "R")
            LastAccess = kAccessRead;
        tag.Access = LastAccess;
    }
    TagCount = k;
    index_.clear();
    for (int n = 0; n < TagCount; ++n)
        index_[LookupKey(Tags[static_cast<size_t>(n)].ItemsID)] = n + 1;  // later entries win
    return result;
}

TImportResult TSymbolTable::ImportFile(const std::filesystem::path& file) {
    return Import(plc::SplitLines(plc::ReadWholeFile(file, {kMaxSymbolFileBytes, "symbol files"})));
}

}  // namespace corvane::opcprovider
