// ARBORA in its window, driven through the menu bar: the menus, the reports and their
// files, the settings dialogs, the About box, right clicks and closing. Each test runs
// in an empty temporary directory, where the reports write their files.

#include "arbora_program.h"

#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>

#include "report/screen_text.h"

using namespace arbora;

namespace {

QString describe(const StandSettings& s) {
    return QString::asprintf(
        "species %d, site class %d, stand age %d, simulating age %d, density %d, "
        "diameter %.17g, height %.17g, volume %.17g",
        s.species, s.siteClass, s.standAge, s.simulatingAge, s.standDensity, s.averageDiameter,
        s.averageHeight, s.standVolume);
}

enum class Close { ok, returnKey, cancel, escape, closeBox };

void closeDialog(SettingsDialog& dialog, Close how) {
    switch (how) {
        case Close::ok:
            QTest::mouseClick(dialog.findChild<QPushButton*>("okButton"), Qt::LeftButton);
            break;
        case Close::returnKey:  // in an edit field: the default button answers
            QTest::keyClick(dialog.findChildren<QLineEdit*>().constFirst(), Qt::Key_Return);
            break;
        case Close::cancel:
            QTest::mouseClick(dialog.findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
            break;
        case Close::escape:
            QTest::keyClick(&dialog, Qt::Key_Escape);
            break;
        case Close::closeBox:
            dialog.close();
            break;
    }
}

struct DialogCase {
    const char* name;
    const char* menuLabel;
    std::vector<std::pair<int, const char*>> edits;
    Close close;
    StandSettings expected;
};

const std::vector<std::pair<int, const char*>> everyStandField = {
    {1001, "2"}, {1002, "-5"},   {1003, "7.26"}, {1004, "1.5E1"},
    {1005, "0"}, {1006, "150."}, {1007, "+60"}};

// clang-format off
const DialogCase dialogCases[] = {
    {"species 7, OK", "&Tree species", {{1000, "7"}}, Close::ok, {.species = 7}},
    {"species \"2 3\", Return", "&Tree species", {{1000, "2 3"}}, Close::returnKey, {.species = 2}},
    {"species 3, Escape", "&Tree species", {{1000, "3"}}, Close::escape, {}},
    {"every stand field, OK", "&Stand condition", everyStandField, Close::ok,
     {.standVolume = 150.0, .averageHeight = 15.0, .averageDiameter = 7.26, .standDensity = 0,
      .simulatingAge = 60, .standAge = -5, .siteClass = 2}},
    {"every stand field, Cancel", "&Stand condition", everyStandField, Close::cancel, {}},
    {"every stand field, close box", "&Stand condition", everyStandField, Close::closeBox, {}},
};
// clang-format on

}  // namespace

class ArboraProgramTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString previousDir_;
    std::unique_ptr<WindowLayer> layer_;
    std::unique_ptr<ArboraProgram> program_;
    std::atomic<bool> mainProgramEnded_ = false;
    QStringList errors_;

    QAction* menuItem(const QString& label) const {
        for (QAction* title : layer_->frame()->menuBar()->actions()) {
            for (QAction* item : title->menu()->actions()) {
                if (item->text() == label) return item;
            }
        }
        return nullptr;
    }

    QStringList windowLines() const {
        const QString text = layer_->textView()->toPlainText();
        return text.isEmpty() ? QStringList() : text.split('\n');
    }

    static QStringList filesHere() { return QDir().entryList(QDir::Files); }

    // Chooses a dialog's menu item and, once the dialog shows, hands it to act, which
    // must close it.
    bool withDialog(const QString& label, const std::function<void(SettingsDialog&)>& act) {
        bool shown = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<SettingsDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            shown = true;
            act(*dialog);
            if (dialog->isVisible()) {
                shown = false;  // act failed; do not leave the test hanging
                dialog->reject();
            }
        });
        menuItem(label)->trigger();
        return shown;
    }

  private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        previousDir_ = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir_->path()));
        layer_ = std::make_unique<WindowLayer>();
        program_ = std::make_unique<ArboraProgram>(*layer_);
        layer_->setErrorReporter(
            [this](const QString& title, const QString& text) { errors_ << title + ": " + text; });
        mainProgramEnded_ = false;
        // Clearing the window is the last step of the main program's set-up.
        QPalette palette = layer_->textView()->palette();
        palette.setColor(QPalette::Base, Qt::red);
        layer_->textView()->setPalette(palette);

        QVERIFY(layer_->start([this] { return program_->initialSettings(); },
                              [this] {
                                  program_->mainProgram();
                                  mainProgramEnded_ = true;
                              }));
        QTRY_COMPARE(layer_->textView()->palette().color(QPalette::Base), QColor(Qt::white));
    }

    void cleanup() {
        layer_->shutdown();
        QVERIFY(mainProgramEnded_);
        program_.reset();
        layer_.reset();
        QDir::setCurrent(previousDir_);
        dir_.reset();
        errors_.clear();
    }

    void framesAndTextWindowAreSetUp() {
        QCOMPARE(layer_->frame()->pos(), QPoint(0, 0));
        QCOMPARE(layer_->frame()->size(), QSize(1076, 800));
        QMdiSubWindow* window = layer_->textWindow();
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), "Command Window");
        QCOMPARE(window->size(), QSize(800, 600));
        QPlainTextEdit* text = layer_->textView();
        // The report columns line up only if every character has the same advance.
        const QFontMetrics metrics(text->font());
        for (const QString character : {"i", "W", "0", "."})
            QCOMPARE(metrics.horizontalAdvance(character), metrics.horizontalAdvance(" "));
        QCOMPARE(text->palette().color(QPalette::Text), QColor(Qt::black));
        QCOMPARE(text->cursorWidth(), 1);
        QVERIFY(windowLines().isEmpty());
    }

    void menuBarHoldsTheMenusAndItemsInOrder() {
        const QList<QPair<QString, QStringList>> expected = {
            {"&File", {"&Save", "&Print", "&Exit"}},
            {"&Settings", {"&Tree species", "&Stand condition", "&Finance"}},
            {"&Tables",
             {"&Normal stand yield table", "&Site index table", "&Standard volume table",
              "&Merchantable volume table", "&Biomass table"}},
            {"&Simulation", {"&Growth and yield", "&Biomass and carbon"}},
            {"&About", {"&About ARBORA"}},
        };
        QList<QPair<QString, QStringList>> actual;
        for (QAction* title : layer_->frame()->menuBar()->actions()) {
            QStringList items;
            for (QAction* item : title->menu()->actions()) {
                items << item->text();
                QVERIFY(item->isEnabled());
            }
            actual.append({title->text(), items});
        }
        QCOMPARE(actual, expected);
    }

    void financeAndTitlesDoNothing() {
        bool dialogShown = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                dialogShown = true;
                modal->close();
            }
        });
        watch.start(5);
        menuItem("&Finance")->trigger();
        for (QAction* title : layer_->frame()->menuBar()->actions()) {
            title->trigger();
        }
        // The actions run before trigger returns, a modal dialog's loop with them; only
        // events they may have posted are left, and those run here.
        QCoreApplication::processEvents();
        QVERIFY(!dialogShown);
        QVERIFY(windowLines().isEmpty());
        QVERIFY(filesHere().isEmpty());
        QVERIFY(errors_.isEmpty());
    }

    void reportAppendsItsLinesAndWritesItsFile_data() {
        QTest::addColumn<QString>("label");
        for (const ReportCommand& command : reportCommands()) {
            QTest::newRow(std::string(command.name).c_str())
                << QString::fromLatin1(command.menuLabel.data(), command.menuLabel.size());
        }
    }

    void reportAppendsItsLinesAndWritesItsFile() {
        QFETCH(QString, label);
        // Right clicks only wake the main program thread; the menus still answer.
        for (int i = 0; i < 20; ++i) {
            QTest::mouseClick(layer_->textView()->viewport(), Qt::RightButton, {}, QPoint(50, 50));
        }
        menuItem(label)->trigger();
        QVERIFY(errors_.isEmpty());
        const QStringList shown = windowLines();
        QVERIFY(!shown.isEmpty());

        const QStringList files = filesHere();
        QCOMPARE(files.size(), 1);
        QFile file(files[0]);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.endsWith("\r\n"));
        QList<QByteArray> records = bytes.split('\n');
        records.removeLast();
        // Every file line is on the screen too, in the same order.
        qsizetype at = 0;
        for (const QByteArray& record : records) {
            QVERIFY(record.endsWith('\r'));
            const std::string line = record.chopped(1).toStdString();
            at = shown.indexOf(QString::fromUtf8(screenTextUtf8(line)), at);
            QVERIFY2(at >= 0, record.constData());
            ++at;
        }

        // A second run appends its lines below the first run's and rewrites the file.
        menuItem(label)->trigger();
        QCOMPARE(windowLines(), shown + shown);
        QVERIFY(file.seek(0));
        QCOMPARE(file.readAll(), bytes);
        file.close();

        // A directory in the file's place cannot be opened as the report file: the
        // forester is told, and the lines on the screen stay.
        QVERIFY(file.remove());
        QVERIFY(QDir().mkdir(files[0]));
        menuItem(label)->trigger();
        QCOMPARE(errors_.size(), 1);
        QVERIFY2(errors_[0].contains(files[0]), qPrintable(errors_[0]));
        QCOMPARE(windowLines().mid(0, 2 * shown.size()), shown + shown);
        QVERIFY(QDir().rmdir(files[0]));
        menuItem(label)->trigger();
        QCOMPARE(errors_.size(), 1);
        QVERIFY(QFileInfo(files[0]).isFile());
    }

    void dialogStoresOnlyOnOk_data() {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(std::size(dialogCases)); ++row) {
            QTest::newRow(dialogCases[row].name) << row;
        }
    }

    void dialogStoresOnlyOnOk() {
        QFETCH(int, row);
        const DialogCase& c = dialogCases[row];
        QVERIFY(withDialog(c.menuLabel, [&](SettingsDialog& dialog) {
            for (const auto& [id, text] : c.edits) {
                dialog.setFieldText(id, text);
            }
            closeDialog(dialog, c.close);
        }));
        QCOMPARE(describe(program_->settings()), describe(c.expected));
        QVERIFY(errors_.isEmpty());
    }

    void dialogShowsStoredValuesWithTheirLayout() {
        const auto texts = [](SettingsDialog& dialog, std::initializer_list<int> ids) {
            QStringList shown;
            for (int id : ids) {
                shown << dialog.fieldText(id);
            }
            return shown;
        };
        const auto standIds = {1001, 1002, 1007, 1005, 1003, 1004, 1006};
        QStringList shown;
        QVERIFY(withDialog("&Tree species", [&](SettingsDialog& dialog) {
            shown = texts(dialog, {1000});
            closeDialog(dialog, Close::cancel);
        }));
        QCOMPARE(shown, QStringList({"    1"}));

        QVERIFY(withDialog("&Stand condition", [&](SettingsDialog& dialog) {
            shown = texts(dialog, standIds);
            dialog.setFieldText(1003, "7.26");
            closeDialog(dialog, Close::ok);
        }));
        QCOMPARE(shown,
                 QStringList({"    1", "   20", "   50", " 2000", "  12.0", "  12.0", " 150.0"}));
        QCOMPARE(program_->settings().averageDiameter, 7.26);

        // Shown with one decimal; an edit cancelled leaves nothing behind.
        QVERIFY(withDialog("&Stand condition", [&](SettingsDialog& dialog) {
            shown = texts(dialog, {1003});
            dialog.setFieldText(1002, "99");
            closeDialog(dialog, Close::cancel);
        }));
        QCOMPARE(shown, QStringList({"   7.3"}));

        // OK without editing now stores the value as shown.
        QVERIFY(withDialog("&Stand condition", [&](SettingsDialog& dialog) {
            shown = texts(dialog, {1002, 1003});
            closeDialog(dialog, Close::ok);
        }));
        QCOMPARE(shown, QStringList({"   20", "   7.3"}));
        QCOMPARE(program_->settings().averageDiameter, 7.3);
    }

    void unreadableFieldKeepsTheDialogOpenAndStoresNothing_data() {
        QTest::addColumn<QString>("menuLabel");
        QTest::addColumn<int>("badField");
        QTest::addColumn<QString>("badText");
        QTest::addColumn<QString>("fieldLabel");
        QTest::newRow("blank species") << "&Tree species" << 1000 << "   "
                                       << "Tree species";
        QTest::newRow("letters as stand age") << "&Stand condition" << 1002 << "abc"
                                              << "Stand age";
    }

    void unreadableFieldKeepsTheDialogOpenAndStoresNothing() {
        QFETCH(QString, menuLabel);
        QFETCH(int, badField);
        QFETCH(QString, badText);
        QFETCH(QString, fieldLabel);
        bool stayedOpen = false;
        QString textAfter;
        bool badFieldFocused = false;
        QString selectedAfter;
        QVERIFY(withDialog(menuLabel, [&](SettingsDialog& dialog) {
            for (const auto& [id, text] : everyStandField) {
                dialog.setFieldText(id, text);  // fields the dialog lacks are passed over
            }
            dialog.setFieldText(badField, badText);  // cursor at the start, nothing selected
            closeDialog(dialog, Close::ok);
            stayedOpen = dialog.isVisible();
            textAfter = dialog.fieldText(badField);
            // The keyboard is back in the wrong field, its text selected to type over.
            badFieldFocused = dialog.focusWidget() == dialog.field(badField);
            selectedAfter = dialog.field(badField)->selectedText();
            closeDialog(dialog, Close::cancel);
        }));
        QVERIFY(stayedOpen);
        QCOMPARE(textAfter, badText);
        QVERIFY(badFieldFocused);
        QCOMPARE(selectedAfter, badText);
        QCOMPARE(errors_.size(), 1);
        QVERIFY2(errors_[0].contains(fieldLabel + ":"), qPrintable(errors_[0]));
        QCOMPARE(describe(program_->settings()), describe(StandSettings()));
    }

    void dialogOpensInItsFirstFieldWithItsTextSelected_data() {
        QTest::addColumn<QString>("menuLabel");
        QTest::addColumn<int>("firstField");
        QTest::addColumn<QString>("fieldLabel");
        QTest::newRow("Tree species") << "&Tree species" << 1000 << "Tree species";
        QTest::newRow("Stand condition") << "&Stand condition" << 1001 << "Site class";
    }

    void dialogOpensInItsFirstFieldWithItsTextSelected() {
        QFETCH(QString, menuLabel);
        QFETCH(int, firstField);
        QFETCH(QString, fieldLabel);
        bool focused = false;
        bool selected = false;
        QString typed;
        bool stayedOpen = false;
        QVERIFY(withDialog(menuLabel, [&](SettingsDialog& dialog) {
            QLineEdit* field = dialog.field(firstField);
            focused = dialog.focusWidget() == field;
            selected = !field->text().isEmpty() && field->selectedText() == field->text();
            // A full-width digit typed in replaces the selected text.
            QKeyEvent key(QEvent::KeyPress, Qt::Key_3, Qt::NoModifier, QString("３"));
            QApplication::sendEvent(field, &key);
            typed = field->text();
            QTest::keyClick(field, Qt::Key_Return);
            stayedOpen = dialog.isVisible();
            closeDialog(dialog, Close::cancel);
        }));
        QVERIFY(focused);
        QVERIFY(selected);
        QCOMPARE(typed, QString("３"));
        QVERIFY(stayedOpen);
        // The message quotes the text as typed.
        QCOMPARE(errors_.size(), 1);
        QVERIFY2(errors_[0].contains(fieldLabel + ":") && errors_[0].contains("\"３\""),
                 qPrintable(errors_[0]));
    }

    void printProposesAPdfInTheCurrentDirectory() {
        QString proposed;
        QTimer::singleShot(0, this, [&] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                if (auto* name = dialog->findChild<QLineEdit*>("filename")) proposed = name->text();
                dialog->close();
            }
        });
        menuItem("&Print")->trigger();
        QCOMPARE(proposed, QDir::current().filePath("Command Window.pdf"));
    }

    void aboutShowsFourLines() {
        QVERIFY(aboutText().startsWith("ARBORA \r Tavelund \r ARBORA ZIVI \r "));
        QStringList lines;
        QTimer::singleShot(0, this, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                lines = box->text().split('\n');
                box->accept();
            }
        });
        menuItem("&About ARBORA")->trigger();
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.mid(0, 3), QStringList({"ARBORA", "Tavelund", "ARBORA ZIVI"}));
    }

    void exitOrCloseEndsTheProgram_data() {
        QTest::addColumn<bool>("byExitItem");
        QTest::newRow("Exit") << true;
        QTest::newRow("frame closed") << false;
    }

    void exitOrCloseEndsTheProgram() {
        QFETCH(bool, byExitItem);
        QApplication::setQuitOnLastWindowClosed(true);
        QTimer::singleShot(0, this, [&] {
            if (byExitItem) {
                menuItem("&Exit")->trigger();
            } else {
                layer_->frame()->close();
            }
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        watchdog.start(10000);
        const int status = QApplication::exec();
        QApplication::setQuitOnLastWindowClosed(false);
        QCOMPARE(status, 0);
        QVERIFY(!layer_->frame()->isVisible());
        // The main program thread must end with the event loop; cleanup joins it.
        QTRY_VERIFY(mainProgramEnded_);
    }
};

QTEST_MAIN(ArboraProgramTest)
#include "arbora_program_test.moc"
