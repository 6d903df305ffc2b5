#include "core/ProgramKeys.h"

#include "console/ConsoleScreen.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/WindowSystem.h"

std::array<std::string, kProgramKeys> ProgramKeyTexts;
int CurrentProgramKey = 11;

void SetProgramKey(int index, std::string_view path) {
    if (index < 0 || index >= kProgramKeys) return;
    // The whole file name is kept: cutting it to eight characters would name a
    // file that does not exist on a system with long names.
    const std::size_t cut = NameStart(path);
    std::string text(path.substr(cut));
    if (text.size() > 255) text.resize(255);
    ProgramKeyTexts[index] = text;
    const std::size_t dot = text.rfind('.');
    const std::string caption = dot == std::string::npos ? text : text.substr(0, dot);
    if (WindowSystem* host = BoundWindowSystem())
        host->SetProgramKeyCaption(index, OemToUtf8(caption));
}

void ClearProgramKeys() {
    for (int i = 0; i < kProgramKeys; ++i) SetProgramKey(i, "");
}

int StepToNextProgramKey() {
    int index = CurrentProgramKey;
    for (int step = 0; step < kProgramKeys; ++step) {
        index = (index + 1) % kProgramKeys;
        if (!ProgramKeyTexts[index].empty()) break;
    }
    CurrentProgramKey = index;
    return ProgramKeyTexts[index].empty() ? -1 : index;
}
