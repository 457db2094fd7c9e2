#pragma once
// The symbol table of the item provider: a flat list of named PLC bits, each an OPC item,
// and the symbol-file import that fills it.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane::opcprovider {

inline constexpr int kMaxTags = 1000;
inline constexpr int kSymbolWords = 6;
inline constexpr const char* kMissingWord = "unknow";
// At most 1000 symbol lines are used; 4 MiB is far more than they can fill.
inline constexpr std::uintmax_t kMaxSymbolFileBytes = 4 * 1024 * 1024;

// Access rights as the OPC server core reads them: bit 0 readable, bit 1 writeable.
inline constexpr uint8_t kAccessRead = 1;
inline constexpr uint8_t kAccessReadWrite = 3;

// One symbol: item id, 1-based handle, bit address, access rights.
struct TagType {
    std::string ItemsID;
    int32_t ID = 0;
    std::string Address;
    uint8_t Access = 0;
};

// Splits a symbol line into six words at blanks and tabs; missing words are "unknow".
std::array<std::string, kSymbolWords> SplitSymbolLine(std::string_view line);

// One imported line as the Import Symbols list shows it: ID, then words 1 to 3 as read.
struct TImportRow {
    int ID = 0;
    std::string ItemsID, Address, AccessWord;
};

struct TImportResult {
    std::vector<TImportRow> Rows;
    int NotImported = 0;  // symbol lines beyond the table's room
};

// `Tags` and `TagCount` with their lookups. Entries from TagCount on are ignored however
// much an earlier import left in them. Handles are positions (entry k has ID k + 1).
//
// Item-id lookup keeps the result of a linear scan (letters A-Z compared without case,
// every other character exactly, the last matching entry wins) through an index rebuilt
// by every import.
class TSymbolTable {
  public:
    std::array<TagType, kMaxTags> Tags;
    int TagCount = 0;
    // Access decoded for the latest line with a recognised access word, kept across
    // imports for the whole run.
    uint8_t LastAccess = 0;

    // Handle of `itemId` and its access rights, or -1 (access untouched).
    int32_t FindItem(std::string_view itemId, uint8_t& access) const;
    // The entry with this handle, or nullptr.
    const TagType* FindHandle(int32_t handle) const;
    // The address text of `itemId` by the same lookup, or nullopt: how an imported program's
    // symbolic operands are resolved.
    std::optional<std::string> FindAddress(std::string_view itemId) const;

    // Imports symbol lines up to the first empty one, from entry 0 on; at most kMaxTags.
    TImportResult Import(const std::vector<std::string>& lines);
    // The same from a file; throws plc::EInOutError when it cannot be read (nothing changes).
    TImportResult ImportFile(const std::filesystem::path& file);

    // Text of the message shown when a file had more symbol lines than the table holds.
    static std::string NotImportedText(int count);

  private:
    static std::string LookupKey(std::string_view itemId);
    std::unordered_map<std::string, int32_t> index_;  // key -> last matching handle
};

}  // namespace corvane::opcprovider
