#include "run/exit_status.h"

namespace arbora {

int exitStatusOf(Problem::Kind kind) {
    switch (kind) {
        case Problem::Kind::usage:
            return exitUsage;
        case Problem::Kind::unreadable:
            return exitFileFailure;
        default:
            return exitUnusableData;
    }
}

}  // namespace arbora
