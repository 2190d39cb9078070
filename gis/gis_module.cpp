#include "gis/gis_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace arbora {
namespace {

constexpr const char* moduleFile = "arbora-gis.so";

// The folder the running program is in, or empty when the system does not say.
std::filesystem::path programFolder() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path();
}

Problem cannotLoad(const std::string& why) {
    return Problem{Problem::Kind::unreadable,
                   std::string("GIS layers need the module ") + moduleFile + ", which " + why};
}

std::variant<const GisModule*, Problem> load() {
    const std::filesystem::path folder = programFolder();
    if (folder.empty()) return cannotLoad("cannot be found: the program's folder is unknown");
    // Beside the program in the build tree; in the library folder once installed.
    const std::filesystem::path candidates[] = {folder / moduleFile,
                                                folder / ARBORA_GIS_MODULE_FOLDER / moduleFile};
    for (const std::filesystem::path& candidate : candidates) {
        if (::access(candidate.c_str(), F_OK) != 0) continue;
        void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return cannotLoad(std::string("cannot be loaded: ") + ::dlerror());
        using Entry = const GisModule* (*)();
        const auto entry = reinterpret_cast<Entry>(::dlsym(handle, gisModuleEntry));
        const GisModule* module = entry != nullptr ? entry() : nullptr;
        if (module == nullptr || std::strcmp(module->release, ARBORA_VERSION) != 0) {
            return cannotLoad("at " + candidate.string() + " is not that of ARBORA " +
                              ARBORA_VERSION);
        }
        return module;  // loaded for the rest of the run
    }
    return cannotLoad("is neither at " + candidates[0].string() + " nor at " +
                      candidates[1].lexically_normal().string() +
                      ": install the package arbora-gis (apt install arbora-gis)");
}

}  // namespace

std::variant<const GisModule*, Problem> loadGisModule() {
    static const std::variant<const GisModule*, Problem> loaded = load();
    return loaded;
}

}  // namespace arbora
