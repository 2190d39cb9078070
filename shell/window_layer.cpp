#include "window_layer.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QImageWriter>
#include <QLayout>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QWindow>
#include <algorithm>
#include <map>
#include <utility>

namespace arbora {

// The Qt objects of the layer. Also the context of the work queued from the main
// program thread, so that no queued work runs once the windows are gone, and the
// event filter that turns mouse events in the text window into mouse-wait events.
class WindowLayer::Widgets : public QObject {
  public:
    explicit Widgets(WindowLayer& layer) : layer_(layer) {}
    // The frame's last events come while it is destroyed, and no longer concern the fit.
    ~Widgets() override {
        if (frame) frame->removeEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override;
    void fitFrameToScreen();
    void fitAgainOnceDecorated();
    QImage drawingAreaImage();

    std::unique_ptr<QMainWindow> frame;
    QPoint framePosition;          // where the frame was asked to go
    QSize frameSize;               // the inside size asked for, before fitting it to the screen
    bool fittedDecorated = false;  // the last fit knew the window manager's decorations
    QMdiArea* area = nullptr;
    QMdiSubWindow* textWindow = nullptr;
    QPlainTextEdit* text = nullptr;
    QWidget* viewport = nullptr;  // the text window's drawing area
    std::map<int, QMenu*> menus;  // by menu number
    QString aboutText;
    QColor background = Qt::white;
    int linesShown = 0;  // since the last clear
    std::thread::id uiThread = std::this_thread::get_id();

  private:
    WindowLayer& layer_;
};

namespace {

unsigned maskBitOf(const QEvent& event) {
    if (event.type() == QEvent::MouseMove) return mouseMove;
    const auto button = static_cast<const QMouseEvent&>(event).button();
    const bool left = button == Qt::LeftButton;
    const bool right = button == Qt::RightButton;
    if (!left && !right) return 0;
    switch (event.type()) {
        case QEvent::MouseButtonPress:
            return left ? leftButtonDown : rightButtonDown;
        case QEvent::MouseButtonRelease:
            return left ? leftButtonUp : rightButtonUp;
        case QEvent::MouseButtonDblClick:
            return left ? leftButtonDoubleClick : rightButtonDoubleClick;
        default:
            return 0;
    }
}

// The reports line up their columns only when every character has the same advance.
bool hasEqualAdvances(const QFont& font) {
    const QFontMetrics metrics(font);
    const int blank = metrics.horizontalAdvance(QLatin1Char(' '));
    for (const char c : {'i', 'W', '0', '.'}) {
        if (metrics.horizontalAdvance(QLatin1Char(c)) != blank) return false;
    }
    return true;
}

// The system's fixed font, unless its characters differ in advance (the "monospace"
// that fontconfig resolves to need not be monospaced for every character); then the
// first installed of the common monospaced families, at the same size.
QFont textWindowFont() {
    const QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (hasEqualAdvances(system)) return system;
    for (const char* family : {"DejaVu Sans Mono", "Noto Sans Mono", "Liberation Mono"}) {
        if (!QFontDatabase::hasFamily(QString::fromLatin1(family))) continue;
        QFont font = system;
        font.setFamilies({QString::fromLatin1(family)});
        if (hasEqualAdvances(font)) return font;
    }
    return system;
}

}  // namespace

FrameFit fitFrame(const QRect& available, const QMargins& decorations, const QPoint& position,
                  const QSize& inside) {
    const QSize fitted =
        inside.boundedTo(available.size().shrunkBy(decorations)).expandedTo(QSize(0, 0));
    const QSize outer = fitted.grownBy(decorations);
    const auto into = [](int asked, int areaStart, int areaLength, int length) {
        return std::max(areaStart, std::min(asked, areaStart + areaLength - length));
    };
    return {QPoint(into(position.x(), available.x(), available.width(), outer.width()),
                   into(position.y(), available.y(), available.height(), outer.height())),
            fitted};
}

// The frame gets the inside size asked for where the screen allows; on a smaller
// screen (or a scaled one) it is made smaller, so that the whole frame, window
// decorations included as far as they are known, fits the screen's available area.
// The workspace then scrolls to the parts of the text window it cannot show.
void WindowLayer::Widgets::fitFrameToScreen() {
    QMargins decorations;
    if (const QWindow* window = frame->windowHandle()) decorations = window->frameMargins();
    fittedDecorated = !decorations.isNull();
    const FrameFit fit =
        fitFrame(frame->screen()->availableGeometry(), decorations, framePosition, frameSize);
    frame->move(fit.position);
    frame->resize(fit.inside);
}

// A window manager adds its decorations some time after the frame is shown (when it
// takes the window over), and only then are their sizes known: the frame is fitted
// again then, once. Later changes (the forester moving, resizing or maximising the
// frame) are the forester's.
void WindowLayer::Widgets::fitAgainOnceDecorated() {
    if (fittedDecorated || !frameSize.isValid() || !frame->isVisible()) return;
    const QWindow* window = frame->windowHandle();
    if (!window || window->frameMargins().isNull()) return;
    if (frame->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) return;
    fitFrameToScreen();
}

// The text window's drawing area as the forester sees it. A minimised text window hides
// its drawing area, which keeps the size it had when last shown, and that is the size
// drawn. Drawing a hidden widget first lays out its hidden ancestors as if shown, which
// would squeeze the drawing area into the minimised window's title bar: the text
// window's layout is held still meanwhile.
QImage WindowLayer::Widgets::drawingAreaImage() {
    QLayout* layout = viewport->isVisible() ? nullptr : textWindow->layout();
    if (layout) layout->setEnabled(false);
    const QImage image = viewport->grab().toImage();
    if (layout) layout->setEnabled(true);
    return image;
}

bool WindowLayer::Widgets::eventFilter(QObject* watched, QEvent* event) {
    // Only pointers are compared here: while the frame is being destroyed, the
    // watched objects may already be gone.
    switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
            if (watched == frame.get()) fitAgainOnceDecorated();
            break;
        case QEvent::Close:
            if (watched != textWindow) break;
            // The text window lives as long as the frame: the reports need it.
            event->ignore();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove: {
            if (watched != viewport) break;
            const auto& mouse = static_cast<const QMouseEvent&>(*event);
            if (const unsigned bit = maskBitOf(*event)) {
                const QPoint at = mouse.position().toPoint();
                layer_.mouseEventSeen({bit, mouse.modifiers(), at.x(), at.y()});
            }
            // The right button belongs to the main program's wait; it changes nothing
            // in the text.
            return mouse.button() == Qt::RightButton;
        }
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

WindowLayer::WindowLayer() : widgets_(std::make_unique<Widgets>(*this)) {
    auto& w = *widgets_;
    w.frame = std::make_unique<QMainWindow>();
    w.frame->setWindowTitle(QGuiApplication::applicationDisplayName());
    w.frame->menuBar();  // the empty menu bar that initialSettings fills
    w.frame->installEventFilter(widgets_.get());

    w.area = new QMdiArea(w.frame.get());
    // A frame smaller than the text window (a small or scaled screen, a frame made
    // smaller) scrolls, so that the text window's scroll bar and buttons stay in reach.
    w.area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    w.area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    w.frame->setCentralWidget(w.area);

    w.text = new QPlainTextEdit;
    w.text->setReadOnly(true);
    // Read-only text shows its cursor only when it can be moved by keyboard.
    w.text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    w.text->setLineWrapMode(QPlainTextEdit::NoWrap);
    w.text->setFont(textWindowFont());
    w.text->setContextMenuPolicy(Qt::NoContextMenu);
    w.text->setCursorWidth(0);
    w.viewport = w.text->viewport();
    w.viewport->installEventFilter(widgets_.get());

    w.textWindow =
        w.area->addSubWindow(w.text, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                         Qt::WindowMinMaxButtonsHint);
    w.textWindow->installEventFilter(widgets_.get());
    w.textWindow->hide();  // shown once the main program has configured it

    QObject::connect(qApp, &QCoreApplication::aboutToQuit, widgets_.get(),
                     [this] { beginClosing(); });
}

WindowLayer::~WindowLayer() {
    shutdown();
}

bool WindowLayer::start(const std::function<bool()>& initialSettings,
                        std::function<void()> mainProgram) {
    if (!initialSettings()) return false;
    widgets_->frame->show();
    // Shown, the frame may know its decorations: fit it again with them.
    if (widgets_->frameSize.isValid()) widgets_->fitFrameToScreen();
    mainProgramThread_ = std::thread(std::move(mainProgram));
    return true;
}

void WindowLayer::shutdown() {
    beginClosing();
    if (mainProgramThread_.joinable()) mainProgramThread_.join();
}

void WindowLayer::beginClosing() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
}

void WindowLayer::onUiThread(const std::function<void()>& work) {
    if (std::this_thread::get_id() == widgets_->uiThread) {
        work();
        return;
    }
    // Queued to the user-interface thread. The wait ends when the work is done, or
    // when the program is closing and the work has not begun: a quitting event loop
    // that will never run it cannot hold this thread. Work given up that way never
    // runs later, as it refers to this caller's values.
    struct Call {
        bool begun = false;
        bool done = false;
        bool givenUp = false;
    };
    auto call = std::make_shared<Call>();
    {
        std::lock_guard lock(mutex_);
        if (closing_) return;
    }
    QMetaObject::invokeMethod(
        widgets_.get(),
        [this, &work, call] {
            {
                std::lock_guard lock(mutex_);
                if (call->givenUp) return;
                call->begun = true;
            }
            work();
            {
                std::lock_guard lock(mutex_);
                call->done = true;
            }
            changed_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return call->done || (closing_ && !call->begun); });
    call->givenUp = !call->done;
}

void WindowLayer::setFrameGeometry(int x, int y, int height, int width) {
    onUiThread([&] {
        widgets_->framePosition = QPoint(x, y);
        widgets_->frameSize = QSize(width, height);
        widgets_->fitFrameToScreen();
    });
}

void WindowLayer::appendMenuItem(int menuNumber, bool enabled, const QString& label,
                                 MenuAction action) {
    onUiThread([&] {
        auto& menus = widgets_->menus;
        QMenuBar* bar = widgets_->frame->menuBar();
        const auto found = menus.find(menuNumber);
        if (found == menus.end()) {
            auto* menu = new QMenu(label, bar);
            menu->menuAction()->setEnabled(enabled);
            const auto next = menus.upper_bound(menuNumber);
            if (next == menus.end()) {
                bar->addMenu(menu);
            } else {
                bar->insertMenu(next->second->menuAction(), menu);
            }
            menus.emplace(menuNumber, menu);
            return;
        }
        QAction* item = found->second->addAction(label);
        item->setEnabled(enabled);
        QObject::connect(
            item, &QAction::triggered, widgets_.get(),
            [this, action = std::move(action)](bool checked) { runMenuAction(action, checked); });
    });
}

void WindowLayer::runMenuAction(const MenuAction& action, bool checked) {
    if (const auto* handler = std::get_if<MenuHandler>(&action)) {
        (*handler)(checked);
    } else if (const auto* command = std::get_if<StandardCommand>(&action)) {
        switch (*command) {
            case StandardCommand::save:
                save();
                break;
            case StandardCommand::print:
                print();
                break;
            case StandardCommand::exit:
                exit();
                break;
            case StandardCommand::about:
                about();
                break;
        }
    }
}

void WindowLayer::setTextWindowConfig(const TextWindowConfig& config) {
    onUiThread([&] {
        auto& w = *widgets_;
        w.textWindow->setWindowTitle(config.title);
        w.textWindow->resize(config.width, config.height);
        w.textWindow->move(0, 0);
        w.textWindow->show();
        w.area->setActiveSubWindow(w.textWindow);
        w.text->setFocus();
    });
}

void WindowLayer::setAboutText(const QString& text) {
    onUiThread([&] { widgets_->aboutText = text; });
}

void WindowLayer::showTextCursor(bool on) {
    onUiThread([&] { widgets_->text->setCursorWidth(on ? 1 : 0); });
}

void WindowLayer::setTextColour(const QColor& colour) {
    onUiThread([&] {
        QPalette palette = widgets_->text->palette();
        palette.setColor(QPalette::Text, colour);
        widgets_->text->setPalette(palette);
    });
}

void WindowLayer::setBackgroundColour(const QColor& colour) {
    onUiThread([&] { widgets_->background = colour; });
}

void WindowLayer::clearWindow() {
    onUiThread([&] {
        QPalette palette = widgets_->text->palette();
        palette.setColor(QPalette::Base, widgets_->background);
        widgets_->text->setPalette(palette);
        widgets_->text->clear();
        widgets_->linesShown = 0;
    });
}

std::optional<MouseEvent> WindowLayer::waitForMouseEvent(unsigned mask) {
    std::unique_lock lock(mutex_);
    caught_.reset();
    waitMask_ = mask;
    changed_.wait(lock, [&] { return closing_ || caught_.has_value(); });
    waitMask_ = 0;
    if (closing_) return std::nullopt;
    return std::exchange(caught_, std::nullopt);
}

bool WindowLayer::waitsForMouseEvent() {
    std::lock_guard lock(mutex_);
    return waitMask_ != 0 && !caught_;
}

void WindowLayer::mouseEventSeen(const MouseEvent& event) {
    {
        std::lock_guard lock(mutex_);
        if (closing_ || (waitMask_ & event.event) == 0 || caught_) return;
        caught_ = event;
    }
    changed_.notify_all();
}

void WindowLayer::appendLine(const QString& line) {
    onUiThread([&] {
        // Every line gets a block of its own, an empty first line too (which
        // appendPlainText would merge into the empty document).
        auto& w = *widgets_;
        QTextCursor cursor(w.text->document());
        cursor.movePosition(QTextCursor::End);
        if (w.linesShown++ > 0) cursor.insertBlock();
        cursor.insertText(line);
        // The text cursor follows the newest line, and the window scrolls to it.
        w.text->moveCursor(QTextCursor::End);
        w.text->horizontalScrollBar()->setValue(0);
    });
}

void WindowLayer::showError(const QString& title, const QString& text) {
    onUiThread([&] {
        if (reporter_) {
            reporter_(title, text);
            return;
        }
        QWidget* parent = QApplication::activeModalWidget();
        QMessageBox::warning(parent ? parent : widgets_->frame.get(), title, text);
    });
}

void WindowLayer::setErrorReporter(ErrorReporter reporter) {
    onUiThread([&] { reporter_ = std::move(reporter); });
}

void WindowLayer::save() {
    QFileDialog dialog(widgets_->frame.get(), QStringLiteral("Save"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(
        {QStringLiteral("Bitmap Files(*.bmp)"), QStringLiteral("All Files(*.*)")});
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString fileName = dialog.selectedFiles().constFirst();
    if (const auto problem = saveTextWindowImage(fileName)) {
        showError(QStringLiteral("Save"), QStringLiteral("Cannot save the image to \"%1\": %2")
                                              .arg(QDir::toNativeSeparators(fileName), *problem));
    }
}

std::optional<QString> WindowLayer::saveTextWindowImage(const QString& fileName) {
    // 24 bits a pixel: the text window is black on white.
    const QImage image = widgets_->drawingAreaImage().convertToFormat(QImage::Format_RGB888);
    QImageWriter writer(fileName, "bmp");
    if (!writer.write(image)) return writer.errorString();
    return std::nullopt;
}

void WindowLayer::print() {
    QPrinter printer;
    // Printing to a file proposes a PDF beside the report files, in the current
    // directory. Naming the file makes the printer a PDF writer; the printer chosen
    // before (the default one, when there is one) stays the dialog's first choice.
    const QPrinter::OutputFormat format = printer.outputFormat();
    printer.setOutputFileName(QDir::current().filePath(QStringLiteral("Command Window.pdf")));
    printer.setOutputFormat(format);
    QPrintDialog dialog(&printer, widgets_->frame.get());
    if (dialog.exec() != QDialog::Accepted) return;
    printTextWindow(printer);
}

void WindowLayer::printTextWindow(QPrinter& printer) {
    widgets_->text->print(&printer);
    if (printer.printerState() == QPrinter::Error) {
        showError(QStringLiteral("Print"), QStringLiteral("The text window could not be printed."));
    }
}

void WindowLayer::exit() {
    widgets_->frame->close();
}

void WindowLayer::about() {
    // The About text joins its lines with blank, carriage return, blank.
    const QStringList lines = widgets_->aboutText.split(QStringLiteral(" \r "));
    QMessageBox::about(widgets_->frame.get(),
                       QStringLiteral("About %1").arg(QGuiApplication::applicationDisplayName()),
                       lines.join(QLatin1Char('\n')));
}

QMainWindow* WindowLayer::frame() const {
    return widgets_->frame.get();
}
QMdiSubWindow* WindowLayer::textWindow() const {
    return widgets_->textWindow;
}
QPlainTextEdit* WindowLayer::textView() const {
    return widgets_->text;
}

}  // namespace arbora
