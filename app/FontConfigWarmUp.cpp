#include "FontConfigWarmUp.h"

#include <fontconfig/fontconfig.h>

#include <system_error>

namespace corvane::app {

TFontConfigWarmUp::TFontConfigWarmUp() {
    try {
        // FcInit only builds the process's default configuration, which Qt's font database
        // then finds in place; a failure here is one Qt meets and reports on its own.
        worker_ = std::thread([] { FcInit(); });
    } catch (const std::system_error&) {
        // No thread: the work stays where it was.
    }
}

TFontConfigWarmUp::~TFontConfigWarmUp() {
    Finish();
}

void TFontConfigWarmUp::Finish() {
    if (worker_.joinable()) worker_.join();
}

}  // namespace corvane::app
