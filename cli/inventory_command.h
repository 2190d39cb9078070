#pragma once

// "arbora-report inventory STANDS [options]": argv[0] is "inventory". Returns the exit
// status.
int inventoryMain(int argc, char** argv);
