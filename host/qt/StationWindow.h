// The station's window: Start and Stop, the twelve program-key buttons, the
// three areas of the 80 x 25 screen (status line, main area, legend line) and
// the information bar under them, centred in the window and grown with it in
// steps.
//
// Operator input goes to the station through the window's InputQueue, in
// order; Stop and closing the window act at once.
#pragma once
#include <QFont>
#include <QString>
#include <QWidget>
#include <array>

#include "host/qt/InputQueue.h"
#include "host/qt/ScreenView.h"

class HostEvents;
class QLabel;
class QPushButton;
class QVBoxLayout;
class QHBoxLayout;
class RichEdit;

inline constexpr const char* kStationCaption = "Kelbrin 4.9";

// The screen's size factor for a window `windowWidth` pixels wide: the design
// size up to 861 pixels, then one step of about 1/13 for every 61.5 pixels.
double StepScale(int windowWidth);

// A message box text as shown: CR LF as line breaks, tabs expanded to the next
// multiple of eight columns (the box uses a fixed-pitch font, so tables line up).
QString PlainMessageText(const QString& text);

class StationWindow : public QWidget, private ScreenView::Input {
    Q_OBJECT

  public:
    StationWindow(HostEvents& form, WindowSystem& windowSystem, QWidget* parent = nullptr);

    ScreenView& StatusView() const { return *status_; }
    ScreenView& MainView() const { return *main_; }
    ScreenView& LegendView() const { return *legend_; }
    QPushButton& StartButton() const { return *start_; }
    QPushButton& StopButton() const { return *stop_; }
    QPushButton& ProgramKeyButton(int index) const { return *programKeys_.at(index); }
    QLabel& InfoBar() const { return *info_; }
    InputQueue& Queue() { return queue_; }

    // Repaints what the station changed in its screen models since the last call.
    void SyncScreens();
    void FocusControl(RichEdit& control);
    void SetProgramKeyCaption(int index, const QString& caption);
    // The information bar's text; empty leaves the bar empty at its height.
    void ShowInfo(const QString& text);
    void ShowMessage(const QString& caption, const QString& text);

    // What a press on Start or Stop does, with any mouse button.
    void PressStart();
    void PressStop();

    // The screen's size factor (1 = design size). The font follows it as far
    // as the window has room for all 25 rows.
    void SetScreenScale(double factor);
    double ScreenScale() const { return scale_; }
    int FontPixelSize() const { return fontPixels_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    void ApplyScale();
    void ShowInfoCut();
    QSize RequiredSize(int pixels) const;

    void ScreenKeyPress(QKeyEvent* event) override;
    void ScreenMousePress(ScreenView& view, QMouseEvent* event) override;
    void ScreenMouseRelease(ScreenView& view, QMouseEvent* event) override;
    void ScreenMouseMove(ScreenView& view, QMouseEvent* event) override;

    HostEvents& form_;
    WindowSystem& windowSystem_;
    InputQueue queue_;

    QWidget* column_ = nullptr;
    QVBoxLayout* columnLayout_ = nullptr;
    QWidget* buttonRow_ = nullptr;
    QHBoxLayout* buttonLayout_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    std::array<QPushButton*, 12> programKeys_{};
    ScreenView* status_ = nullptr;
    ScreenView* main_ = nullptr;
    ScreenView* legend_ = nullptr;
    QLabel* info_ = nullptr;
    QString infoText_;

    QString family_;
    double scale_ = 1.0;
    int fontPixels_ = 0;
    bool startPressed_ = false;
    bool useKeycodes_ = false;
    bool leftDragOnMain_ = false;
    QPoint lastDragCell_;
};
