// ARBORA: the forest-stand simulator in its window.

#include <QApplication>
#include <QIcon>

#include "arbora_program.h"
#include "window_layer.h"

int main(int argc, char* argv[]) {
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
