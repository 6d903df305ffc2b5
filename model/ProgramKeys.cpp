#include "model/ProgramKeys.h"

#include "platform/FileSystem.h"

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
}

std::string ProgramKeyCaption(int index) {
    if (index < 0 || index >= kProgramKeys) return {};
    const std::string& text = ProgramKeyTexts[index];
    const std::size_t dot = text.rfind('.');
    return dot == std::string::npos ? text : text.substr(0, dot);
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
