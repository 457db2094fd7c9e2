// Wildcard masks of browse filters: '*' any run, '?' one character, '[...]' one of a set
// of characters and ranges ('!' right after '[' negates), everything else itself;
// letter case ignored; the mask must cover the whole name.
#include <string>
#include <vector>

#include "opcserver/Namespace.h"

namespace corvane::opc {
namespace {

constexpr int kMaxStars = 30;

unsigned char Upper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

struct Piece {
    enum class Kind { Literal, Any, Star, Set };
    explicit Piece(Kind k, unsigned char c = 0) : kind(k), literal(c) {}
    Kind kind;
    unsigned char literal;
    bool negate = false;
    std::vector<std::pair<unsigned char, unsigned char>> ranges;
};

[[noreturn]] void Invalid(std::string_view mask, std::size_t position) {
    throw EMaskError("'" + std::string(mask) + "' is an invalid mask at (" +
                     std::to_string(position + 1) + ")");
}

std::vector<Piece> Compile(std::string_view mask) {
    std::vector<Piece> pieces;
    int stars = 0;
    for (std::size_t i = 0; i < mask.size(); ++i) {
        const auto c = static_cast<unsigned char>(mask[i]);
        if (c == '*') {
            if (++stars > kMaxStars) Invalid(mask, i);
            pieces.emplace_back(Piece::Kind::Star);
            // Further stars, and question marks right after a star, add nothing.
            while (i + 1 < mask.size() && (mask[i + 1] == '*' || mask[i + 1] == '?')) ++i;
        } else if (c == '?') {
            pieces.emplace_back(Piece::Kind::Any);
        } else if (c == '[') {
            Piece set(Piece::Kind::Set);
            std::size_t j = i + 1;
            if (j < mask.size() && mask[j] == '!') set.negate = true, ++j;
            const std::size_t setStart = j;
            for (; j < mask.size() && mask[j] != ']'; ++j) {
                const auto first = Upper(static_cast<unsigned char>(mask[j]));
                // A hyphen opening the set is a range without its first character; one
                // elsewhere that starts no range stands for itself.
                if (mask[j] == '-' && j == setStart) Invalid(mask, j);
                if (j + 2 < mask.size() && mask[j + 1] == '-' && mask[j + 2] != ']') {
                    set.ranges.push_back({first, Upper(static_cast<unsigned char>(mask[j + 2]))});
                    j += 2;
                } else {
                    set.ranges.push_back({first, first});
                }
            }
            if (j >= mask.size()) Invalid(mask, j);
            if (set.ranges.empty()) Invalid(mask, j);
            pieces.push_back(std::move(set));
            i = j;
        } else {
            pieces.emplace_back(Piece::Kind::Literal, Upper(c));
        }
    }
    return pieces;
}

bool InSet(const Piece& set, unsigned char c) {
    bool in = false;
    for (const auto& [lo, hi] : set.ranges)
        if (c >= lo && c <= hi) in = true;
    return in != set.negate;
}

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
    const std::vector<Piece> pieces = Compile(mask);
    // Greedy match with one backtracking point per star: linear in practice.
    std::size_t p = 0, n = 0, starPiece = std::string::npos, starName = 0;
    while (n < name.size()) {
        const auto c = Upper(static_cast<unsigned char>(name[n]));
        if (p < pieces.size() && pieces[p].kind == Piece::Kind::Star) {
            starPiece = p++;
            starName = n;
            continue;
        }
        if (p < pieces.size() &&
            ((pieces[p].kind == Piece::Kind::Any) ||
             (pieces[p].kind == Piece::Kind::Literal && pieces[p].literal == c) ||
             (pieces[p].kind == Piece::Kind::Set && InSet(pieces[p], c)))) {
            ++p, ++n;
            continue;
        }
        if (starPiece == std::string::npos) return false;
        p = starPiece + 1;
        n = ++starName;
    }
    while (p < pieces.size() && pieces[p].kind == Piece::Kind::Star) ++p;
    return p == pieces.size();
}

}  // namespace corvane::opc
