// ARBORA: the forest-stand simulator in its window.

#include <QApplication>

#include "arbora_program.h"
#include "window_layer.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ARBORA"));

    arbora::WindowLayer layer;
    arbora::ArboraProgram program(layer);
    if (!layer.start([&] { return program.initialSettings(); }, [&] { program.mainProgram(); })) {
        return 1;
    }
    const int status = QApplication::exec();
    layer.shutdown();
    return status;
}
