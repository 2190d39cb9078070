// The windowing layer on its own: the mouse wait across threads, closing while the main
// program thread waits, and the Save and Print copies of the text window.

#include "window_layer.h"

#include <QImage>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

using namespace arbora;

class WindowLayerTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void mouseWaitWakesOnlyForItsEventsAndEndsOnShutdown() {
        WindowLayer layer;
        layer.setTextWindowConfig({400, 300, "Command Window"});
        layer.frame()->show();
        QWidget* viewport = layer.textView()->viewport();

        std::optional<MouseEvent> first;
        std::optional<MouseEvent> second;
        std::atomic<int> returned = 0;
        std::thread waiter([&] {
            first = layer.waitForMouseEvent(rightButtonDown);
            ++returned;
            second = layer.waitForMouseEvent(rightButtonDown);
            ++returned;
        });
        QTest::qWait(50);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::qWait(50);
        QCOMPARE(returned.load(), 0);

        // A press is seen only while someone waits, so press until the wait ends.
        for (int tries = 0; returned == 0 && tries < 200; ++tries) {
            QTest::mouseClick(viewport, Qt::RightButton, Qt::ShiftModifier, QPoint(30, 40));
            QTest::qWait(10);
        }
        QTRY_COMPARE(returned.load(), 1);
        QVERIFY(first.has_value());
        QCOMPARE(first->event, unsigned(rightButtonDown));
        QCOMPARE(first->keys, Qt::ShiftModifier);
        QCOMPARE(QPoint(first->x, first->y), QPoint(30, 40));

        layer.shutdown();
        waiter.join();
        QCOMPARE(returned.load(), 2);
        QVERIFY(!second.has_value());
    }

    void shutdownWhileTheMainProgramWaitsForTheWindowDoesNotHang() {
        // The main program thread queues work that the user-interface thread never
        // gets to run: closing must still end that thread, and the work must not run
        // afterwards with the caller gone.
        auto layer = std::make_unique<WindowLayer>();
        std::atomic<bool> finished = false;
        layer->start([] { return true; },
                     [&] {
                         for (int i = 0; i < 3; ++i) {
                             layer->setTextWindowConfig({800, 600, "Command Window"});
                         }
                         while (layer->waitForMouseEvent(rightButtonDown)) {
                         }
                         finished = true;
                     });
        layer->shutdown();
        QVERIFY(finished);
        QCoreApplication::processEvents();
        QVERIFY(!layer->textWindow()->isVisible());
    }

    void saveWritesABitmapOfTheDrawingArea() {
        WindowLayer layer;
        layer.setTextWindowConfig({800, 600, "Command Window"});
        layer.setTextColour(Qt::black);
        layer.setBackgroundColour(Qt::white);
        layer.clearWindow();
        layer.frame()->show();
        for (int i = 0; i < 10; ++i)
            layer.appendLine(QString(60, QChar('#')));

        QTemporaryDir dir;
        const QString path = dir.filePath("window.bmp");
        QCOMPARE(layer.saveTextWindowImage(path), std::nullopt);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(2), QByteArray("BM"));

        const QImage image(path, "BMP");
        QCOMPARE(image.size(), layer.textView()->viewport()->size());
        int dark = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                dark += qGray(image.pixel(x, y)) < 128;
        }
        QVERIFY2(dark > 0, "no text in the image");
        QCOMPARE(image.pixelColor(image.width() - 2, image.height() - 2), QColor(Qt::white));

        QVERIFY(layer.saveTextWindowImage(dir.filePath("missing/window.bmp")).has_value());
    }

    void printWritesTheTextToThePrinter() {
        WindowLayer layer;
        layer.appendLine("  Pinus tabulaeformis:");
        QTemporaryDir dir;
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("window.pdf"));
        layer.printTextWindow(printer);
        QFile file(printer.outputFileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(4), QByteArray("%PDF"));
        QVERIFY(file.size() > 500);
    }
};

QTEST_MAIN(WindowLayerTest)
#include "window_layer_test.moc"
