// The windowing layer on its own: the mouse wait across threads, closing while the main
// program thread waits, the Save and Print copies of the text window, and the frame on
// a screen too small for it (the tests' screen is 800 by 600) and under a window
// manager's decorations.

#include "window_layer.h"

#include <QFileDialog>
#include <QImage>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QScreen>
#include <QScrollBar>
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
        // A press is seen only while someone waits. The clicks are delivered before
        // mouseClick returns, so a left click the wait took would show at once.
        QTRY_VERIFY(layer.waitsForMouseEvent());
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(layer.waitsForMouseEvent());
        QCOMPARE(returned.load(), 0);

        QTest::mouseClick(viewport, Qt::RightButton, Qt::ShiftModifier, QPoint(30, 40));
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

    void saveOffersBitmapFilesAndWritesTheWindowEvenMinimised() {
        WindowLayer layer;
        layer.setTextWindowConfig({800, 600, "Command Window"});
        layer.frame()->show();
        for (int i = 0; i < 10; ++i)
            layer.appendLine(QString(60, QChar('#')));
        const QSize normalSize = layer.textView()->viewport()->size();
        layer.textWindow()->showMinimized();
        QVERIFY(!layer.textView()->isVisible());

        QStringList errors;
        layer.setErrorReporter([&](const QString&, const QString& text) { errors << text; });
        QTemporaryDir dir;
        QStringList filters;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            filters = dialog->nameFilters();
            dialog->selectFile(dir.filePath("window"));  // the suffix comes from the filter
            static_cast<QDialog*>(dialog)->accept();
        });
        layer.save();
        QCOMPARE(filters, QStringList({"Bitmap Files(*.bmp)", "All Files(*.*)"}));
        QCOMPARE(errors, QStringList());

        const QImage image(dir.filePath("window.bmp"), "BMP");
        QCOMPARE(image.size(), normalSize);
        bool dark = false;
        for (int y = 0; y < image.height() && !dark; ++y) {
            for (int x = 0; x < image.width() && !dark; ++x)
                dark = qGray(image.pixel(x, y)) < 128;
        }
        QVERIFY2(dark, "no text in the image");
    }

    void frameFitsTheScreenAndTheWorkspaceScrollsToTheTextWindow() {
        WindowLayer layer;
        layer.start(
            [&] {
                layer.setFrameGeometry(0, 0, 800, 1076);
                return true;
            },
            [] {});
        layer.setTextWindowConfig({800, 600, "Command Window"});
        const QRect available = layer.frame()->screen()->availableGeometry();
        QVERIFY2(available.contains(layer.frame()->frameGeometry()),
                 qPrintable(QDebug::toString(layer.frame()->frameGeometry())));

        // Scrolled to its ends, the workspace shows the text window's far corner.
        auto* area = qobject_cast<QMdiArea*>(layer.frame()->centralWidget());
        QVERIFY(area);
        QTRY_VERIFY(area->horizontalScrollBar()->isVisible());
        QTRY_VERIFY(area->verticalScrollBar()->isVisible());
        area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
        const QRect window = layer.textWindow()->geometry();
        QVERIFY2(area->viewport()->rect().contains(window.bottomRight()),
                 qPrintable(QDebug::toString(window)));
    }

    // The window manager's decorations, known only once it has taken the frame over,
    // are outside the inside size: the fit leaves room for them.
    void frameFitLeavesRoomForTheDecorations_data() {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QMargins>("decorations");
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<QSize>("inside");
        QTest::addColumn<QPoint>("fittedPosition");
        QTest::addColumn<QSize>("fittedInside");
        const QSize asked(1076, 800);
        QTest::newRow("1024x768, 25 px title bar")
            << QRect(0, 0, 1024, 768) << QMargins(0, 25, 0, 0) << QPoint(0, 0) << asked
            << QPoint(0, 0) << QSize(1024, 743);
        QTest::newRow("1024x768, title bar and 4 px borders")
            << QRect(0, 0, 1024, 768) << QMargins(4, 25, 4, 4) << QPoint(0, 0) << asked
            << QPoint(0, 0) << QSize(1016, 739);
        QTest::newRow("1024x768, no decorations")
            << QRect(0, 0, 1024, 768) << QMargins() << QPoint(0, 0) << asked << QPoint(0, 0)
            << QSize(1024, 768);
        QTest::newRow("panel above: moved below it")
            << QRect(0, 32, 1920, 1048) << QMargins(0, 25, 0, 0) << QPoint(0, 0) << asked
            << QPoint(0, 32) << asked;
        QTest::newRow("fits: kept where asked")
            << QRect(0, 0, 1920, 1080) << QMargins(0, 25, 0, 0) << QPoint(100, 50) << asked
            << QPoint(100, 50) << asked;
        QTest::newRow("sticks out right and below: moved back")
            << QRect(0, 0, 1920, 1080) << QMargins(0, 25, 0, 0) << QPoint(1000, 400) << asked
            << QPoint(844, 255) << asked;
        QTest::newRow("second screen to the right")
            << QRect(1920, 0, 1024, 768) << QMargins(0, 25, 0, 0) << QPoint(0, 0) << asked
            << QPoint(1920, 0) << QSize(1024, 743);
        QTest::newRow("decorations larger than the screen")
            << QRect(0, 0, 40, 30) << QMargins(30, 30, 30, 30) << QPoint(0, 0) << asked
            << QPoint(0, 0) << QSize(0, 0);
    }

    void frameFitLeavesRoomForTheDecorations() {
        QFETCH(QRect, available);
        QFETCH(QMargins, decorations);
        QFETCH(QPoint, position);
        QFETCH(QSize, inside);
        QFETCH(QPoint, fittedPosition);
        QFETCH(QSize, fittedInside);
        const FrameFit fit = fitFrame(available, decorations, position, inside);
        QCOMPARE(fit.position, fittedPosition);
        QCOMPARE(fit.inside, fittedInside);
        const QRect outer(fit.position, fit.inside.grownBy(decorations));
        if (!fit.inside.isEmpty()) QVERIFY(available.contains(outer));
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
