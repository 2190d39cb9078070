#include "run/exit_status.h"

#include <new>
#include <system_error>

#include "inventory/stand_sources.h"
#include "io/atomic_file.h"
#include "io/stop_request.h"

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

RunEnd endOf(std::exception_ptr failure, const char* stage, int& stoppedBySignal) {
    try {
        std::rethrow_exception(failure);
    } catch (const RunEnd& end) {
        return end;
    } catch (const InventoryInputError& e) {
        return {e.kind() == InventoryInputError::unreadable ? exitFileFailure : exitUnusableData,
                e.what()};
    } catch (const OutputFileError& e) {
        return {exitFileFailure, e.what()};
    } catch (const RunStopped& e) {
        stoppedBySignal = e.signal();
        return {exitFileFailure, std::string(e.what()) + ", no file changed"};
    } catch (const std::bad_alloc&) {
        return {exitFileFailure, std::string("out of memory while ") + stage + ", no file changed"};
    } catch (const std::system_error& e) {
        // A thread or a lock the system could not give.
        return {exitFileFailure, std::string("out of memory while ") + stage + " (" + e.what() +
                                     "), no file changed"};
    }
}

}  // namespace arbora
