#include "Messages.h"

namespace corvane::plc {
namespace {
TMessageService* gService = nullptr;
}

TMessageService* SetMessageService(TMessageService* service) {
    TMessageService* previous = gService;
    gService = service;
    return previous;
}

TMessageService* GetMessageService() {
    return gService;
}

void ShowMessage(std::string_view text) {
    if (gService) gService->ShowMessage(text);
}

void ShowError(std::string_view text) {
    if (gService) gService->ShowError(text);
}

bool RunEvent(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        ShowError(e.what());
        return false;
    }
}

}  // namespace corvane::plc
