// Arbitrary bytes as a browse filter: name, a zero byte, then the mask. Nothing may crash
// or take more than linear-ish time; the match ignores letter case; and for masks without
// sets the greedy matcher must agree with a plain dynamic-programming matcher.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "opcserver/Namespace.h"

namespace {

enum class TToken { Literal, Any, Star };

struct TReference {
    std::vector<std::pair<TToken, unsigned char>> tokens;
    int starGroups = 0;
};

unsigned char Upper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

// '*' any run (stars and question marks right after it add nothing), '?' one character,
// everything else itself.
TReference Tokens(std::string_view mask) {
    TReference r;
    for (std::size_t i = 0; i < mask.size(); ++i) {
        const auto c = static_cast<unsigned char>(mask[i]);
        if (c == '*') {
            ++r.starGroups;
            r.tokens.push_back({TToken::Star, 0});
            while (i + 1 < mask.size() && (mask[i + 1] == '*' || mask[i + 1] == '?')) ++i;
        } else if (c == '?') {
            r.tokens.push_back({TToken::Any, 0});
        } else {
            r.tokens.push_back({TToken::Literal, Upper(c)});
        }
    }
    return r;
}

bool ReferenceMatch(std::string_view name, const TReference& r) {
    // can[j]: the first i tokens match the first j characters.
    std::vector<char> can(name.size() + 1, 0);
    can[0] = 1;
    for (const auto& [kind, literal] : r.tokens) {
        std::vector<char> next(name.size() + 1, 0);
        for (std::size_t j = 0; j <= name.size(); ++j) {
            if (kind == TToken::Star) {
                next[j] = can[j] || (j > 0 && next[j - 1]);
            } else if (j > 0 && can[j - 1]) {
                next[j] = kind == TToken::Any ||
                          literal == Upper(static_cast<unsigned char>(name[j - 1]));
            }
        }
        can = std::move(next);
    }
    return can[name.size()];
}

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view name = input.substr(0, split);
    const std::string_view mask = split == std::string_view::npos ? "" : input.substr(split + 1);
    bool matched = false;
    try {
        matched = corvane::opc::MatchesMask(name, mask);
    } catch (const corvane::opc::EMaskError&) {
        if (mask.find('[') == std::string_view::npos && Tokens(mask).starGroups <= 30)
            std::abort();  // only sets and too many stars make a mask invalid
        return 0;
    }
    if (corvane::opc::MatchesMask(Lower(name), mask) != matched) std::abort();
    if (mask.find('[') == std::string_view::npos) {
        const TReference reference = Tokens(mask);
        if (reference.starGroups > 30 || ReferenceMatch(name, reference) != matched) std::abort();
    }
    return 0;
}
