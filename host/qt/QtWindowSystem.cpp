#include "host/qt/QtWindowSystem.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QEventLoop>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/qt/StationWindow.h"

void QtWindowSystem::Pump() {
    if (window_ != nullptr) {
        window_->Queue().Drain();
        window_->SyncScreens();
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (window_ != nullptr) {
        window_->Queue().Drain();
        window_->SyncScreens();
    }
}

void QtWindowSystem::WaitForEvents() {
    if (window_ == nullptr) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return;
    }
    window_->SyncScreens();
    // Input that already waits goes on without sleeping; otherwise sleep in
    // Qt's event wait until the operator (or anything else) does something.
    if (!window_->Queue().ReadyForWait()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    window_->Queue().DrainForWait();
    window_->SyncScreens();
}

void QtWindowSystem::Focus(RichEdit& control) {
    if (window_ != nullptr) window_->FocusControl(control);
}

std::string QtWindowSystem::ClipboardText() {
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard).toStdString();
}

void QtWindowSystem::SetClipboardText(const std::string& utf8) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(utf8), QClipboard::Clipboard);
}

void QtWindowSystem::SetProgramKeyCaption(int index, const std::string& utf8) {
    if (window_ != nullptr) window_->SetProgramKeyCaption(index, QString::fromStdString(utf8));
}

void QtWindowSystem::ShowInfo(const std::string& utf8) {
    if (window_ != nullptr) window_->ShowInfo(QString::fromStdString(utf8));
}

void QtWindowSystem::Beep() {
    QApplication::beep();
}

void QtWindowSystem::MessageBox(const std::string& caption, const std::string& text) {
    if (window_ != nullptr) {
        window_->ShowMessage(QString::fromStdString(caption), QString::fromStdString(text));
    }
}

void QtWindowSystem::EndProcess(int exitCode) {
    // The station ends from deep inside nested event handling, with the
    // application object still on the stack: running destructors from here
    // would tear Qt down under its own feet. Its files are written through
    // unbuffered descriptors and closed by then; only C streams need a flush.
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

int QtWindowSystem::WindowWidth() {
    return window_ != nullptr ? window_->frameGeometry().width() : 0;
}

int QtWindowSystem::MainControlWidth() {
    return static_cast<int>(std::lround(kDesignMainWidth * scale_));
}

void QtWindowSystem::Scale(double ratio) {
    if (!(ratio > 0.0)) return;
    scale_ *= ratio;
    if (window_ != nullptr) window_->SetScreenScale(scale_);
}
