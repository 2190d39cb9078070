#pragma once

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <string>

// GDAL's handles, each owned by one std::unique_ptr whose deleter closes it, and GDAL's
// error reports kept for messages instead of printed.
namespace arbora {

// A dataset, closed with GDALClose.
using Dataset = GDALDatasetUniquePtr;
// A feature, destroyed with OGRFeature::DestroyFeature.
using Feature = OGRFeatureUniquePtr;

// Registers GDAL's drivers, once per process.
void registerGdal();

// While one lives, GDAL's errors and warnings on this thread are kept, not printed: a
// warning about a field GDAL has to widen is no business of the user, and an error is
// told in the program's own message, with GDAL's text as the reason.
class GdalErrors {
  public:
    GdalErrors();
    ~GdalErrors();
    GdalErrors(const GdalErrors&) = delete;
    GdalErrors& operator=(const GdalErrors&) = delete;

    // Whether an error (not a warning) has been reported since the start or the last
    // clear().
    bool failed() const;
    // The last error's text, or `fallback` when GDAL gave none.
    std::string last(const std::string& fallback = "unknown reason") const;
    void clear();
};

}  // namespace arbora
