#include "host/qt/StationWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "console/ConsoleScreen.h"
#include "host/HostEvents.h"
#include "host/qt/KeyMapping.h"

namespace {

// The design of the screen at size factor 1: font height in pixels, and the
// buttons above the screen in design pixels.
constexpr int kDesignFontPixels = 16;
constexpr int kSmallestFontPixels = 6;
constexpr int kBandTop = 5;
constexpr int kButtonHeight = 25;
constexpr int kStartStopWidth = 57;
constexpr int kButtonGap = 4;
constexpr int kButtonFontPixels = 12;
constexpr int kGapBelowButtons = 8;
constexpr int kBandBottom = 8;
constexpr int kMainRows = 23;

const QColor kMainGround(0x00, 0x00, 0xCC);  // the station's 0xCC0000
const QColor kLineGround(0xC0, 0xC0, 0xC0);  // silver
// The information bar belongs to the window, not to the screen: the window's
// own light grey, a shade darker so the bar shows as one, and a soft dark ink.
const QColor kInfoGround(0xE2, 0xE2, 0xE2);
const QColor kInfoInk(0x33, 0x33, 0x33);

QString FixedFamily() {
    if (QFontDatabase::families().contains(QStringLiteral("DejaVu Sans Mono"))) {
        return QStringLiteral("DejaVu Sans Mono");
    }
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

QFont ScreenFont(const QString& family, int pixels, bool bold) {
    QFont font(family);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setKerning(false);
    return font;
}

CellMetrics MetricsFor(const QFont& regular, const QFont& bold) {
    const QFontMetricsF exact(regular);
    const QFontMetrics normal(regular);
    const QFontMetrics heavy(bold);
    CellMetrics metrics;
    metrics.width =
        std::max(1, static_cast<int>(std::lround(exact.horizontalAdvance(QLatin1Char('M')))));
    metrics.height = std::max(normal.height(), heavy.height());
    metrics.ascent = std::max(normal.ascent(), heavy.ascent());
    metrics.underlineHeight = std::max(1, normal.lineWidth());
    metrics.underlineTop = std::min(metrics.ascent + std::max(1, normal.underlinePos()),
                                    metrics.height - metrics.underlineHeight);
    return metrics;
}

QMargins PaddingFor(const CellMetrics& metrics) {
    const int horizontal = std::max(2, metrics.width / 2);
    const int vertical = std::max(1, metrics.height / 8);
    return QMargins(horizontal, vertical, horizontal, vertical);
}

int Scaled(int designPixels, double factor) {
    return std::max(1, static_cast<int>(std::lround(designPixels * factor)));
}

bool ToStationButton(Qt::MouseButton button, MouseButton& out) {
    switch (button) {
        case Qt::LeftButton:
            out = MouseButton::Left;
            return true;
        case Qt::RightButton:
            out = MouseButton::Right;
            return true;
        case Qt::MiddleButton:
            out = MouseButton::Middle;
            return true;
        default:
            return false;
    }
}

}  // namespace

double StepScale(int windowWidth) {
    // n = trunc(W * 13 * 0.00125), in integers so that 800 gives exactly 13.
    const long n = static_cast<long>(windowWidth) * 13 / 800;
    if (n == 13) return 1.0;
    return (static_cast<double>(n) * 1000000.0 + 499999.0) / 13000000.0;
}

QString PlainMessageText(const QString& text) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QString out;
    int column = 0;
    for (const QChar ch : lines) {
        if (ch == QLatin1Char('\t')) {
            do {
                out += QLatin1Char(' ');
                ++column;
            } while (column % 8 != 0);
        } else {
            out += ch;
            column = ch == QLatin1Char('\n') ? 0 : column + 1;
        }
    }
    return out;
}

StationWindow::StationWindow(HostEvents& form, WindowSystem& windowSystem, QWidget* parent)
    : QWidget(parent), form_(form), windowSystem_(windowSystem), queue_(form, windowSystem) {
    setWindowTitle(QString::fromLatin1(kStationCaption));
    family_ = FixedFamily();
    const QString platform = QGuiApplication::platformName();
    useKeycodes_ =
        platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));

    column_ = new QWidget(this);
    column_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    columnLayout_ = new QVBoxLayout(column_);
    columnLayout_->setSpacing(0);

    buttonRow_ = new QWidget(column_);
    buttonLayout_ = new QHBoxLayout(buttonRow_);
    buttonLayout_->setContentsMargins(0, 0, 0, 0);
    start_ = new QPushButton(QStringLiteral("Start"), buttonRow_);
    stop_ = new QPushButton(QStringLiteral("Stop"), buttonRow_);
    buttonLayout_->addWidget(start_);
    buttonLayout_->addWidget(stop_);
    for (int i = 0; i < static_cast<int>(programKeys_.size()); ++i) {
        auto* button = new QPushButton(buttonRow_);
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        buttonLayout_->addWidget(button, 1);
        programKeys_[i] = button;
        connect(button, &QPushButton::clicked, this, [this, i] {
            HostInput input;
            input.kind = HostInput::Kind::ProgramKey;
            input.n = i + 1;
            queue_.Push(input);
            SyncScreens();
        });
    }
    for (QPushButton* button : {start_, stop_}) {
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    // The buttons never take the keyboard: every key belongs to the station.
    for (QPushButton* button : buttonRow_->findChildren<QPushButton*>()) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
    }
    // Start and Stop act when a mouse button goes down on them, whichever it
    // is; the program keys are ordinary buttons (a left click).
    start_->installEventFilter(this);
    stop_->installEventFilter(this);

    status_ = new ScreenView(form.StatusControl(), 1, kLineGround, column_);
    main_ = new ScreenView(form.MainAreaControl(), kMainRows, kMainGround, column_);
    legend_ = new ScreenView(form.LegendControl(), 1, kLineGround, column_);
    info_ = new QLabel(column_);
    info_->setObjectName(QStringLiteral("info"));
    info_->setTextFormat(Qt::PlainText);
    info_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    info_->setAutoFillBackground(true);
    QPalette infoColors = info_->palette();
    infoColors.setColor(QPalette::Window, kInfoGround);
    infoColors.setColor(QPalette::WindowText, kInfoInk);
    info_->setPalette(infoColors);
    columnLayout_->addWidget(buttonRow_);
    columnLayout_->addWidget(status_);
    columnLayout_->addWidget(main_);
    columnLayout_->addWidget(legend_);
    columnLayout_->addWidget(info_);
    for (ScreenView* view : {status_, main_, legend_}) view->SetInput(this);
    // The layout's empty cells are the plain ground: the form's labels and
    // field edges stand on a calm screen.
    main_->SetGroundGlyph(kFillerGlyph);

    // The screen stays centred: stretch on all four sides, and the window may
    // become smaller than the screen (the font then shrinks to fit).
    auto* outer = new QGridLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSizeConstraint(QLayout::SetNoConstraint);
    outer->addWidget(column_, 1, 1);
    outer->setRowStretch(0, 1);
    outer->setRowStretch(2, 1);
    outer->setColumnStretch(0, 1);
    outer->setColumnStretch(2, 1);

    setFocusPolicy(Qt::StrongFocus);
    ApplyScale();
    main_->setFocus();
}

void StationWindow::SyncScreens() {
    for (ScreenView* view : {status_, main_, legend_}) view->Sync();
}

void StationWindow::FocusControl(RichEdit& control) {
    for (ScreenView* view : {status_, main_, legend_}) {
        view->Model().SetFocused(&view->Model() == &control);
        if (&view->Model() == &control) view->setFocus(Qt::OtherFocusReason);
    }
}

void StationWindow::SetProgramKeyCaption(int index, const QString& caption) {
    if (index < 0 || index >= static_cast<int>(programKeys_.size())) return;
    QString shown = caption;
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));  // no mnemonic may take a key
    programKeys_[index]->setText(shown);
    programKeys_[index]->setToolTip(caption);
}

void StationWindow::ShowInfo(const QString& text) {
    if (text == infoText_) return;
    infoText_ = text;
    ShowInfoCut();
}

// A text wider than the screen is cut at its right edge, marked with an
// ellipsis as the terminal marks it.
void StationWindow::ShowInfoCut() {
    const QFontMetrics metrics(info_->font());
    info_->setText(metrics.elidedText(infoText_, Qt::ElideRight, info_->contentsRect().width()));
    info_->setToolTip(info_->text() != infoText_ ? infoText_ : QString());
}

void StationWindow::ShowMessage(const QString& caption, const QString& text) {
    // A dialog of our own rather than QMessageBox: that one wraps any text
    // wider than about 500 pixels, which breaks tables such as the overview
    // of field types.
    QDialog box(this);
    box.setWindowTitle(caption);
    auto* layout = new QVBoxLayout(&box);
    auto* label = new QLabel(PlainMessageText(text), &box);
    label->setObjectName(QStringLiteral("message"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Fixed pitch so that tabbed tables line up; grown with the screen so
    // that the text stays readable beside it.
    const int pixels = std::max(QFontInfo(QApplication::font()).pixelSize(), fontPixels_ * 3 / 4);
    label->setFont(ScreenFont(family_, pixels, false));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    layout->addWidget(label);
    layout->addWidget(buttons);
    box.exec();
}

void StationWindow::SetScreenScale(double factor) {
    if (!(factor > 0.0)) return;
    scale_ = factor;
    ApplyScale();
}

QSize StationWindow::RequiredSize(int pixels) const {
    const CellMetrics metrics =
        MetricsFor(ScreenFont(family_, pixels, false), ScreenFont(family_, pixels, true));
    const QMargins padding = PaddingFor(metrics);
    const double factor = pixels / static_cast<double>(kDesignFontPixels);
    const QSize line = status_->SizeFor(metrics, padding);
    const QSize area = main_->SizeFor(metrics, padding);
    const int height = Scaled(kBandTop, factor) + Scaled(kButtonHeight, factor) +
                       Scaled(kGapBelowButtons, factor) + 3 * line.height() + area.height() +
                       Scaled(kBandBottom, factor);
    return QSize(area.width(), height);
}

void StationWindow::ApplyScale() {
    const int wanted =
        std::max(kSmallestFontPixels, static_cast<int>(std::lround(kDesignFontPixels * scale_)));
    int pixels = wanted;
    while (pixels > kSmallestFontPixels) {
        const QSize need = RequiredSize(pixels);
        if (need.width() <= width() && need.height() <= height()) break;
        --pixels;
    }
    if (pixels == fontPixels_) return;
    fontPixels_ = pixels;

    const double factor = pixels / static_cast<double>(kDesignFontPixels);
    const QFont regular = ScreenFont(family_, pixels, false);
    const QFont bold = ScreenFont(family_, pixels, true);
    const CellMetrics metrics = MetricsFor(regular, bold);
    const QMargins padding = PaddingFor(metrics);
    main_->SetCellFont(bold, metrics, padding);
    status_->SetCellFont(bold, metrics, padding);
    legend_->SetCellFont(bold, metrics, padding);
    // One screen row high, in the screen's font and with its margin, so the
    // text starts in the screen's first column and grows with it; the plain
    // weight sets it apart from the screen's bold.
    info_->setFont(regular);
    info_->setContentsMargins(padding);
    info_->setFixedSize(legend_->size());
    ShowInfoCut();

    columnLayout_->setContentsMargins(0, Scaled(kBandTop, factor), 0, Scaled(kBandBottom, factor));
    buttonLayout_->setContentsMargins(0, 0, 0, Scaled(kGapBelowButtons, factor));
    buttonLayout_->setSpacing(Scaled(kButtonGap, factor));
    const int buttonHeight = Scaled(kButtonHeight, factor);
    buttonRow_->setFixedSize(main_->width(), buttonHeight + Scaled(kGapBelowButtons, factor));

    QFont startFont = QApplication::font();
    startFont.setPixelSize(Scaled(kButtonFontPixels, factor));
    startFont.setBold(true);
    for (QPushButton* button : {start_, stop_}) {
        button->setFont(startFont);
        button->setFixedSize(Scaled(kStartStopWidth, factor), buttonHeight);
    }
    QFont keyFont = ScreenFont(family_, Scaled(kButtonFontPixels, factor), false);
    for (QPushButton* button : programKeys_) {
        button->setFont(keyFont);
        button->setFixedHeight(buttonHeight);
        button->setMinimumWidth(1);
    }
    column_->adjustSize();
}

void StationWindow::PressStart() {
    const bool first = !startPressed_;
    if (first) {
        startPressed_ = true;
        // Keys typed from now on belong to the session; they wait until it reads.
        queue_.Hold();
    }
    // The session runs nested inside this call for as long as it lives, so it
    // starts from a queued call: the button's own click handling ends first.
    QTimer::singleShot(0, this, [this, first] {
        CallStation(windowSystem_, [this] { form_.StartDown(); });
        if (first) {
            // The session was abandoned; what waits goes to the window's handlers.
            queue_.Release();
            queue_.Drain();
        }
        SyncScreens();
    });
}

void StationWindow::PressStop() {
    CallStation(windowSystem_, [this] { form_.StopDown(); });
    SyncScreens();
}

bool StationWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == start_ || watched == stop_) && (event->type() == QEvent::MouseButtonPress ||
                                                    event->type() == QEvent::MouseButtonDblClick)) {
        MouseButton button;
        if (!ToStationButton(static_cast<QMouseEvent*>(event)->button(), button)) return true;
        if (watched == start_) {
            PressStart();
        } else {
            PressStop();
        }
        // Taken here: the button's own press handling would wait for a release
        // that may come after the station ended or showed a box.
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void StationWindow::closeEvent(QCloseEvent* event) {
    CallStation(windowSystem_, [this] { form_.FormClose(); });
    // Closing saves and ends the process; getting here means it was abandoned.
    event->ignore();
    SyncScreens();
}

void StationWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Once started, the screen follows the window in the station's own steps.
    if (startPressed_) scale_ = StepScale(frameGeometry().width());
    ApplyScale();
}

void StationWindow::keyPressEvent(QKeyEvent* event) {
    ScreenKeyPress(event);
}

bool StationWindow::focusNextPrevChild(bool) {
    return false;
}

void StationWindow::ScreenKeyPress(QKeyEvent* event) {
    event->accept();
    const KeyStroke stroke = MapKey(event->key(), event->modifiers(), event->text(),
                                    useKeycodes_ ? event->nativeScanCode() : 0);
    if (!stroke.valid) return;
    HostInput input;
    // A character that comes without a key the platform can name goes in as
    // a character of its own.
    const bool keyless = event->key() == 0 || event->key() == Qt::Key_unknown;
    input.kind =
        keyless && stroke.character != 0 ? HostInput::Kind::Character : HostInput::Kind::Key;
    input.virtualKey = stroke.virtualKey;
    input.shift = stroke.shift;
    input.character = stroke.character;
    input.autoRepeat = event->isAutoRepeat();
    queue_.Push(input);
    SyncScreens();
}

void StationWindow::ScreenMousePress(ScreenView& view, QMouseEvent* event) {
    MouseButton button;
    // The status and legend lines take no press of their own.
    if (&view != main_ || !ToStationButton(event->button(), button)) return;
    const QPoint cell = view.CellAt(event->position().toPoint());
    if (button == MouseButton::Left) {
        leftDragOnMain_ = true;
        lastDragCell_ = cell;
    }
    HostInput input;
    input.kind = HostInput::Kind::Press;
    input.x = cell.x() + 1;
    input.y = cell.y() + 2;
    input.button = button;
    queue_.Push(input);
    SyncScreens();
}

void StationWindow::ScreenMouseRelease(ScreenView&, QMouseEvent* event) {
    MouseButton button;
    if (!ToStationButton(event->button(), button)) return;
    if (button == MouseButton::Left) leftDragOnMain_ = false;
    HostInput input;
    input.kind = HostInput::Kind::Release;
    input.button = button;
    queue_.Push(input);
    SyncScreens();
}

void StationWindow::ScreenMouseMove(ScreenView& view, QMouseEvent* event) {
    if (&view != main_ || !leftDragOnMain_ || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint cell = view.CellAt(event->position().toPoint());
    if (cell == lastDragCell_) return;
    lastDragCell_ = cell;
    HostInput input;
    input.kind = HostInput::Kind::Drag;
    input.x = cell.x() + 1;
    input.y = cell.y() + 2;
    queue_.Push(input);
    SyncScreens();
}
