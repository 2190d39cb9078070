// Compiled as a file of the management layer by the "layering" test, which expects it
// NOT to compile: the estate report is a layer above management.
#include "estate/estate_report.h"
