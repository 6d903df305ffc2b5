// Runs the station in its Qt window: creates the application, the window
// system and the window, makes the station's form through `makeForm`, shows
// the window maximised and runs the event loop until the process ends.
#pragma once
#include <functional>
#include <memory>

class HostEvents;
class QIcon;
class WindowSystem;

using FormFactory = std::function<std::unique_ptr<HostEvents>(WindowSystem&)>;

int RunQtHost(int& argc, char** argv, const FormFactory& makeForm);

// The station's icon (a text screen with a keyed field), compiled into the program.
QIcon StationIcon();
