// ARBORA: the forest-stand simulator in its window.

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstring>

#include "arbora_program.h"
#include "window_layer.h"

namespace {

// Qt opens X11 or Wayland unless told otherwise; with neither display named it can only
// abort. A platform chosen in the environment or on the command line is Qt's to try.
bool displayToOpen(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0) return true;
    }
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(name)) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!displayToOpen(argc, argv)) {
        std::fputs(
            "arbora: there is no display to open the window on (neither DISPLAY nor\n"
            "WAYLAND_DISPLAY is set). Without a display, the runner arbora-report writes the\n"
            "same reports and projects inventories, for example:\n"
            "  arbora-report site-index-table --species 3\n"
            "  arbora-report inventory /usr/share/doc/arbora/examples/stands.csv --report "
            "estate.html\n"
            "arbora-report --help lists its commands and options.\n",
            stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ARBORA"));
    // The desktop entry and icon installed under this name go with the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("net.arbora.Arbora"));
    const QIcon icon(QStringLiteral(":/icons/net.arbora.Arbora.svg"));
    if (icon.pixmap(64, 64).isNull()) {
        qWarning("arbora: the window icon cannot be drawn; is the Qt SVG plugin installed?");
    }
    QApplication::setWindowIcon(icon);

    arbora::WindowLayer layer;
    arbora::ArboraProgram program(layer);
    if (!layer.start([&] { return program.initialSettings(); }, [&] { program.mainProgram(); })) {
        return 1;
    }
    const int status = QApplication::exec();
    layer.shutdown();
    return status;
}
