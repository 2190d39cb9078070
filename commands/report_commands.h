#pragma once

#include <span>
#include <string_view>

#include "report/report_channel.h"
#include "settings/stand_settings.h"

namespace arbora {

// A report command: runs to completion with one set of settings, writing its screen
// lines and its report file through the channel. Keeps nothing between runs.
using ReportFunction = void (*)(const StandSettings&, ReportChannel&);

struct ReportCommand {
    std::string_view name;       // the runner's command name, e.g. "site-index-table"
    std::string_view menuLabel;  // the menu entry that runs it, e.g. "&Site index table"
    ReportFunction run;
};

// Every report command, tables first in menu order, then the simulations.
std::span<const ReportCommand> reportCommands();

}  // namespace arbora
