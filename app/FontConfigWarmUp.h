#pragma once
// Reads the system's font configuration on a helper thread while start-up does other work.

#include <thread>

namespace corvane::app {

// Loading fontconfig's configuration and caches is the largest single cost of the first
// text measurement, which the main window needs before it can be shown (the menu bar's
// height, the faceplate labels' sizes). Nothing of it depends on the rest of start-up, so
// it runs beside the registry update, the display connection and the COM set-up. Finish()
// waits for it; it must be called before the first font is used, so that the GUI thread
// never meets fontconfig half initialised. Without a thread (none could be started) the
// GUI thread simply does the work itself later, as it would anyway.
class TFontConfigWarmUp {
  public:
    TFontConfigWarmUp();
    ~TFontConfigWarmUp();
    TFontConfigWarmUp(const TFontConfigWarmUp&) = delete;
    TFontConfigWarmUp& operator=(const TFontConfigWarmUp&) = delete;

    void Finish();

  private:
    std::thread worker_;
};

}  // namespace corvane::app
