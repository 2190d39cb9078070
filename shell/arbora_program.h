#pragma once

#include <QString>

#include "commands/report_commands.h"
#include "commands/settings_dialogs.h"
#include "settings/stand_settings.h"
#include "settings_dialog.h"
#include "window_layer.h"

namespace arbora {

// The About text: "ARBORA", "Tavelund", "ARBORA ZIVI" and a notice, joined by
// blank, carriage return, blank.
QString aboutText();

// ARBORA in its window: builds the menu bar, sets up the text window from the main
// program thread, and carries out the menu commands on the user-interface thread. It
// holds the one StandSettings and the dialogs' copies for the whole run.
class ArboraProgram {
  public:
    explicit ArboraProgram(WindowLayer& layer) : layer_(layer) {}

    // Places and sizes the frame and appends the nineteen menu items. A table or
    // simulation item whose command is not in the report catalog does nothing.
    bool initialSettings();
    // On the main program thread: configures the text window and the About text,
    // then waits for right-button presses until the program closes.
    void mainProgram();

    // Menu handlers, on the user-interface thread.
    void showTreeSpeciesDialog();
    void showStandConditionDialog();
    // Runs one report with a fresh channel: screen lines to the text window, the
    // report file in the current directory. A report file failure is shown to the
    // forester; the lines already in the window stay.
    void runReport(ReportFunction run);

    const StandSettings& settings() const { return settings_; }

  private:
    void runSettingsDialog(DialogTemplate id, const std::vector<FieldText>& fields,
                           SettingsDialog::Acceptor acceptor);

    WindowLayer& layer_;
    StandSettings settings_;
    DialogCopies copies_;
};

}  // namespace arbora
