#include "tests/qt/QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

int argc = 1;
char name[] = "qt_tests";
char* argv[] = {name, nullptr};
std::unique_ptr<QApplication> app;

// Ends the application after the last test, before the program's own end.
class AppEnvironment : public ::testing::Environment {
  public:
    void TearDown() override { app.reset(); }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

QApplication& TestApp() {
    if (!app) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    }
    return *app;
}
