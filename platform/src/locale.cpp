// Locale ids from the process environment. The user default follows LC_ALL,
// LC_MESSAGES, then LANG; the system default follows LANG. Unset, "C", "POSIX" and
// unknown names mean English (United States).
#include <cstdlib>
#include <string>

#include "winbase.h"

namespace {

struct LocaleName {
    const char* name;
    LCID lcid;
};

// Full names first, then language-only fallbacks.
constexpr LocaleName kLocales[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"de_DE", 0x0407},
    {"de_AT", 0x0C07}, {"de_CH", 0x0807}, {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C},
    {"fr_CH", 0x100C}, {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"it_IT", 0x0410}, {"nl_NL", 0x0413},
    {"nl_BE", 0x0813}, {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"pl_PL", 0x0415}, {"cs_CZ", 0x0405},
    {"sk_SK", 0x041B}, {"hu_HU", 0x040E}, {"ru_RU", 0x0419}, {"uk_UA", 0x0422}, {"sv_SE", 0x041D},
    {"da_DK", 0x0406}, {"nb_NO", 0x0414}, {"fi_FI", 0x040B}, {"tr_TR", 0x041F}, {"el_GR", 0x0408},
    {"ja_JP", 0x0411}, {"ko_KR", 0x0412}, {"zh_CN", 0x0804}, {"zh_TW", 0x0404}, {"vi_VN", 0x042A},
    {"th_TH", 0x041E}, {"en", 0x0409},    {"de", 0x0407},    {"fr", 0x040C},    {"es", 0x0C0A},
    {"it", 0x0410},    {"nl", 0x0413},    {"pt", 0x0816},    {"pl", 0x0415},    {"cs", 0x0405},
    {"ru", 0x0419},    {"sv", 0x041D},    {"ja", 0x0411},    {"zh", 0x0804},    {"vi", 0x042A},
};

constexpr LCID kFallback = 0x0409;

LCID FromName(const char* value) {
    if (!value || !*value) return 0;
    std::string name(value);
    name = name.substr(0, name.find_first_of(".@"));
    if (name == "C" || name == "POSIX") return kFallback;
    for (const auto& l : kLocales)
        if (name == l.name) return l.lcid;
    const std::string language = name.substr(0, name.find('_'));
    for (const auto& l : kLocales)
        if (language == l.name) return l.lcid;
    return kFallback;
}

LCID FromEnvironment(std::initializer_list<const char*> variables) {
    for (const char* var : variables) {
        const LCID lcid = FromName(std::getenv(var));
        if (lcid) return lcid;
    }
    return kFallback;
}

}  // namespace

LCID GetUserDefaultLCID() {
    return FromEnvironment({"LC_ALL", "LC_MESSAGES", "LANG"});
}
LCID GetSystemDefaultLCID() {
    return FromEnvironment({"LANG"});
}
LANGID GetUserDefaultLangID() {
    return LANGIDFROMLCID(GetUserDefaultLCID());
}
LANGID GetSystemDefaultLangID() {
    return LANGIDFROMLCID(GetSystemDefaultLCID());
}
