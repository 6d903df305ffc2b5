// The window with a small stand-in station instead of the real one: for
// looking at the window (screenshots) without a working directory.
//
//   kelbrin_qt_demo [--start]
//
// --start presses Start as soon as the window shows.
#include <QApplication>
#include <QTimer>
#include <cstring>
#include <memory>

#include "host/qt/QtHost.h"
#include "host/qt/StationWindow.h"
#include "tests/qt/demo/EchoStation.h"

int main(int argc, char** argv) {
    bool autoStart = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--start") == 0) autoStart = true;
    }
    return RunQtHost(argc, argv, [autoStart](WindowSystem& windowSystem) {
        if (autoStart) {
            // Runs once the event loop is up and the window shows.
            QTimer::singleShot(300, [] {
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    if (auto* window = qobject_cast<StationWindow*>(widget)) {
                        window->PressStart();
                    }
                }
            });
        }
        return std::make_unique<EchoStation>(windowSystem);
    });
}
