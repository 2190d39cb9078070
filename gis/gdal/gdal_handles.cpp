#include "gis/gdal/gdal_handles.h"

#include <cpl_error.h>

#include <mutex>

namespace arbora {

void registerGdal() {
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

GdalErrors::GdalErrors() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
}

GdalErrors::~GdalErrors() {
    CPLPopErrorHandler();
}

bool GdalErrors::failed() const {
    return CPLGetLastErrorType() >= CE_Failure;
}

std::string GdalErrors::last(const std::string& fallback) const {
    const char* message = CPLGetLastErrorMsg();
    return message != nullptr && *message != '\0' ? std::string(message) : fallback;
}

void GdalErrors::clear() {
    CPLErrorReset();
}

}  // namespace arbora
