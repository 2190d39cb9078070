#include "arbora_program.h"

#include <QColor>
#include <QMainWindow>
#include <QStringList>
#include <string_view>

#include "report/report_channel.h"
#include "report/screen_text.h"

namespace arbora {

QString aboutText() {
    const QStringList lines = {
        QStringLiteral("ARBORA"),
        QStringLiteral("Tavelund"),
        QStringLiteral("ARBORA ZIVI"),
        QStringLiteral("Growth, yield, biomass and carbon of forest stands of four tree species."),
    };
    return lines.join(QStringLiteral(" \r "));
}

bool ArboraProgram::initialSettings() {
    layer_.setFrameGeometry(0, 0, 800, 1076);

    const auto handler = [this](void (ArboraProgram::*command)()) -> MenuAction {
        return MenuHandler([this, command](bool) { (this->*command)(); });
    };
    // A table or simulation item runs the report command of the same label.
    const auto report = [this](std::string_view label) -> MenuAction {
        for (const ReportCommand& command : reportCommands()) {
            if (command.menuLabel == label) {
                return MenuHandler([this, run = command.run](bool) { runReport(run); });
            }
        }
        return {};
    };
    constexpr bool runsReport = true;
    struct Item {
        int menuNumber;
        const char* label;
        MenuAction action;
        bool runsReport = false;
    };
    const Item items[] = {
        {1, "&File", {}},
        {1, "&Save", StandardCommand::save},
        {1, "&Print", StandardCommand::print},
        {1, "&Exit", StandardCommand::exit},
        {2, "&Settings", {}},
        {2, "&Tree species", handler(&ArboraProgram::showTreeSpeciesDialog)},
        {2, "&Stand condition", handler(&ArboraProgram::showStandConditionDialog)},
        {2, "&Finance", {}},
        {3, "&Tables", {}},
        {3, "&Normal stand yield table", {}, runsReport},
        {3, "&Site index table", {}, runsReport},
        {3, "&Standard volume table", {}, runsReport},
        {3, "&Merchantable volume table", {}, runsReport},
        {3, "&Biomass table", {}, runsReport},
        {4, "&Simulation", {}},
        {4, "&Growth and yield", {}, runsReport},
        {4, "&Biomass and carbon", {}, runsReport},
        {5, "&About", {}},
        {5, "&About ARBORA", StandardCommand::about},
    };
    for (const Item& item : items) {
        const MenuAction action = item.runsReport ? report(item.label) : item.action;
        layer_.appendMenuItem(item.menuNumber, true, QString::fromLatin1(item.label), action);
    }
    return true;
}

void ArboraProgram::mainProgram() {
    layer_.setTextWindowConfig({800, 600, QStringLiteral("Command Window")});
    layer_.setAboutText(aboutText());
    layer_.showTextCursor(true);
    layer_.setTextColour(QColor(0, 0, 0));
    layer_.setBackgroundColour(QColor(255, 255, 255));
    layer_.clearWindow();
    // A right-button press wakes this thread, which waits again at once. The wait
    // comes back empty only when the program is closing.
    while (layer_.waitForMouseEvent(rightButtonDown)) {
    }
}

void ArboraProgram::runSettingsDialog(DialogTemplate id, const std::vector<FieldText>& fields,
                                      SettingsDialog::Acceptor acceptor) {
    SettingsDialog dialog(id, layer_.frame());
    for (const FieldText& field : fields) {
        dialog.setFieldText(field.id, QString::fromLatin1(field.text));
    }
    dialog.setAcceptor(std::move(acceptor), [this, &dialog](const FieldRejection& rejection) {
        layer_.showError(dialog.windowTitle(), QString::fromUtf8(rejection.message()));
    });
    dialog.exec();
}

void ArboraProgram::showTreeSpeciesDialog() {
    runSettingsDialog(DialogTemplate::treeSpecies, treeSpeciesFields(copies_),
                      [this](const FieldTextSource& textOf) {
                          return acceptTreeSpecies(textOf, copies_, settings_);
                      });
}

void ArboraProgram::showStandConditionDialog() {
    runSettingsDialog(DialogTemplate::standCondition, standConditionFields(copies_),
                      [this](const FieldTextSource& textOf) {
                          return acceptStandCondition(textOf, copies_, settings_);
                      });
}

void ArboraProgram::runReport(ReportFunction run) {
    ReportChannel channel([this](std::string_view line) {
        layer_.appendLine(QString::fromUtf8(screenTextUtf8(line)));
    });
    try {
        run(settings_, channel);
    } catch (const ReportFileError& error) {
        layer_.showError(QStringLiteral("Report file"), QString::fromLocal8Bit(error.what()));
    }
}

}  // namespace arbora
