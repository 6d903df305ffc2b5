#include "host/qt/QtHost.h"

#include <QApplication>
#include <QIcon>
#include <QScreen>

#include "host/HostEvents.h"
#include "host/qt/QtWindowSystem.h"
#include "host/qt/StationWindow.h"

// The icon is compiled into a static library; its resources must be
// registered by name, from outside any namespace.
static void LoadResources() {
    Q_INIT_RESOURCE(kelbrin);
}

QIcon StationIcon() {
    LoadResources();
    return QIcon(QStringLiteral(":/kelbrin/kelbrin.png"));
}

int RunQtHost(int& argc, char** argv, const FormFactory& makeForm) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelbrin"));
    QApplication::setApplicationVersion(QStringLiteral("4.9"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kelbrin"));
    QApplication::setWindowIcon(StationIcon());
    // The station ends the process itself (Stop, close, end of session).
    QApplication::setQuitOnLastWindowClosed(false);

    QtWindowSystem windowSystem;
    std::unique_ptr<HostEvents> form = makeForm(windowSystem);
    StationWindow window(*form, windowSystem);
    windowSystem.Attach(&window);

    // Without a window manager a request to maximise is not answered: take
    // the screen's free area first, then ask.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        window.setGeometry(screen->availableGeometry());
    }
    window.showMaximized();
    const int result = QApplication::exec();
    windowSystem.Attach(nullptr);
    return result;
}
