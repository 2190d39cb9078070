#pragma once

#include <QColor>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <Qt>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>

class QMainWindow;
class QMdiSubWindow;
class QObject;
class QPlainTextEdit;
class QPrinter;
class QWidget;

// ARBORA's windowing layer: one frame window with a menu bar, one text window inside it
// that shows report lines, the standard Save, Print, Exit and About commands, and a
// blocking wait for mouse events in the text window. It runs the menu commands on the
// user-interface thread and the main program on a thread of its own.
namespace arbora {

// The mouse events a wait can ask for, as bits of its event mask.
enum MouseEventMask : unsigned {
    leftButtonDown = 1u << 0,
    leftButtonUp = 1u << 1,
    leftButtonDoubleClick = 1u << 2,
    rightButtonDown = 1u << 3,
    rightButtonUp = 1u << 4,
    rightButtonDoubleClick = 1u << 5,
    mouseMove = 1u << 6,
};

// One event that ended a mouse wait: its mask bit, the keys held, and where it
// happened in the text window's drawing area.
struct MouseEvent {
    unsigned event = 0;
    Qt::KeyboardModifiers keys;
    int x = 0;
    int y = 0;
};

// What a menu item does when chosen.
enum class StandardCommand { save, print, exit, about };
using MenuHandler = std::function<void(bool checked)>;
using MenuAction = std::variant<std::monostate, MenuHandler, StandardCommand>;

struct TextWindowConfig {
    int width = 0;  // pixels
    int height = 0;
    QString title;
};

// Shows an error to the forester; replaceable so that tests can catch the messages.
using ErrorReporter = std::function<void(const QString& title, const QString& text)>;

// Where the frame goes and how large its inside is, on a screen whose available area
// is given and under a window manager whose decorations add the given margins: the
// inside size asked for, made smaller where the area cannot hold it with the
// decorations around it, and the outer edge moved back into the area where the frame
// would stick out.
struct FrameFit {
    QPoint position;  // of the outer edge, decorations included
    QSize inside;
};
FrameFit fitFrame(const QRect& available, const QMargins& decorations, const QPoint& position,
                  const QSize& inside);

class WindowLayer {
  public:
    // Creates the frame window, not yet shown, with an empty menu bar and the text
    // window. Needs a QApplication; call on the user-interface thread.
    WindowLayer();
    ~WindowLayer();  // ends and joins the main program thread if it still runs
    WindowLayer(const WindowLayer&) = delete;
    WindowLayer& operator=(const WindowLayer&) = delete;

    // Start-up: calls initialSettings (which sizes the frame and builds the menu bar),
    // shows the frame and starts the main program thread. Returns false, starting
    // nothing, when initialSettings does.
    bool start(const std::function<bool()>& initialSettings, std::function<void()> mainProgram);
    // Ends the program's waits: every wait and every call waiting for the
    // user-interface thread returns at once, and later ones return without effect.
    // Then joins the main program thread. Called on the user-interface thread once its
    // event loop has ended; also called when the application is about to quit.
    void shutdown();

    // The operations below may be called on either thread; from the main program
    // thread they are carried out on the user-interface thread, and the call returns
    // once they are done (or at once when the program is closing).

    // Places the frame (x, y of its outer edge) and sizes its inside, menu bar included;
    // on a screen too small for that size, the frame is made to fit the screen.
    void setFrameGeometry(int x, int y, int height, int width);
    // The first item appended to a menu number becomes that menu's title on the bar
    // (menus stand in the order of their numbers); later items form its drop-down
    // list. A "&" marks the access key. A title's action is never run.
    void appendMenuItem(int menuNumber, bool enabled, const QString& label, MenuAction action);
    void setTextWindowConfig(const TextWindowConfig& config);
    void setAboutText(const QString& text);
    void showTextCursor(bool on);
    void setTextColour(const QColor& colour);
    void setBackgroundColour(const QColor& colour);
    void clearWindow();
    // Blocks the calling thread (never the user-interface thread) until one of the
    // events in mask happens in the text window. Events that happen while nobody
    // waits are not kept. Returns nothing when the program is closing.
    std::optional<MouseEvent> waitForMouseEvent(unsigned mask);
    // Whether a thread waits for mouse events now and has caught none yet.
    bool waitsForMouseEvent();

    // Appends one line at the end of the text window; the lines already there stay.
    void appendLine(const QString& line);
    void showError(const QString& title, const QString& text);
    void setErrorReporter(ErrorReporter reporter);

    // The standard commands, on the user-interface thread.
    void save();   // asks for a file name, then saveTextWindowImage
    void print();  // the print dialog, which proposes a PDF file, then printTextWindow
    void exit();   // closes the frame, which ends the program
    void about();  // the About text in an about box, one line per joined part
    // Writes an image of the text window's drawing area to fileName as a BMP file; a
    // minimised text window is drawn at the size it had when last shown. Returns the
    // reason when it cannot.
    std::optional<QString> saveTextWindowImage(const QString& fileName);
    void printTextWindow(QPrinter& printer);

    QMainWindow* frame() const;
    QMdiSubWindow* textWindow() const;
    QPlainTextEdit* textView() const;

  private:
    class Widgets;
    void onUiThread(const std::function<void()>& work);
    void runMenuAction(const MenuAction& action, bool checked);
    void mouseEventSeen(const MouseEvent& event);
    void beginClosing();

    std::mutex mutex_;
    std::condition_variable changed_;
    bool closing_ = false;
    unsigned waitMask_ = 0;  // the events the main program thread waits for, or 0
    std::optional<MouseEvent> caught_;
    ErrorReporter reporter_;  // user-interface thread only
    std::thread mainProgramThread_;
    std::unique_ptr<Widgets> widgets_;  // destroyed first: no queued work runs after it
};

}  // namespace arbora
