#include "run/exit_status.h"

namespace arbora {

int exitStatusOf(GisProblem::Kind kind) {
    switch (kind) {
        case GisProblem::Kind::usage:
            return exitUsage;
        case GisProblem::Kind::unreadable:
            return exitFileFailure;
        default:
            return exitUnusableData;
    }
}

}  // namespace arbora
