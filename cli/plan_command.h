#pragma once

// "arbora-report plan STANDS --regimes FILE [options]": argv[0] is "plan". Returns the
// exit status.
int planMain(int argc, char** argv);
