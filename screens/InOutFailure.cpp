#include "screens/InOutFailure.h"

#include <cstdio>

#include "console/ConsoleScreen.h"
#include "platform/CodePage.h"
#include "platform/WindowSystem.h"

namespace {

void ShowBox(const std::string& text) {
    if (WindowSystem* host = BoundWindowSystem()) {
        host->MessageBox(kWindowCaption, text);
    } else {
        std::fprintf(stderr, "%s: %s\n", kWindowCaption, text.c_str());
    }
}

}  // namespace

void ReportInOutError(int code) {
    ShowBox(InOutErrorText(code));
}

void ReportInOutError(int code, std::string_view oemName) {
    ShowBox(InOutErrorText(code, oemName));
}
