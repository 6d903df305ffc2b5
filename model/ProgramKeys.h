// The twelve program keys: each names a definition file that Alt+1 ... Alt+´
// (or its button) loads. The current key is the one loaded last.
#pragma once
#include <array>
#include <string>
#include <string_view>

inline constexpr int kProgramKeys = 12;

extern std::array<std::string, kProgramKeys> ProgramKeyTexts;  // code page 850, at most 255
extern int CurrentProgramKey;                                  // 0..11

// Sets key `index` (0..11) from a path: the key keeps the file name with its
// extension (an empty path empties it). The screens show the buttons anew.
void SetProgramKey(int index, std::string_view path);
void ClearProgramKeys();
// What a program-key button shows: the file name without its extension.
std::string ProgramKeyCaption(int index);
// F12: makes the next assigned key after the current one current (at most
// twelve steps, wrapping) and returns it; -1 when no key is assigned.
int StepToNextProgramKey();
