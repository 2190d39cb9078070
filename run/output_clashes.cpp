#include "run/output_clashes.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "text/words.h"

namespace arbora {

namespace {

struct Identity {
    dev_t device;
    ino_t inode;
};

std::optional<Identity> identityOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return Identity{status.st_dev, status.st_ino};
}

bool same(const std::string& a, const std::string& b) {
    const auto ia = identityOf(a);
    const auto ib = identityOf(b);
    if (ia && ib) return ia->device == ib->device && ia->inode == ib->inode;
    if (ia || ib) return false;
    // Neither exists yet: two names of one future file.
    // Made absolute first: a relative name none of whose parts exists ("o.sqlite") is
    // returned as it is, and would not match "./o.sqlite".
    std::error_code error;
    const auto ca = std::filesystem::weakly_canonical(std::filesystem::absolute(a, error), error);
    if (error) return a == b;
    const auto cb = std::filesystem::weakly_canonical(std::filesystem::absolute(b, error), error);
    return error ? a == b : ca == cb;
}

}  // namespace

std::vector<std::string> filesOfInput(const std::string& path) {
    std::vector<std::string> files{path};
    const std::filesystem::path p(path);
    if (!equalsIgnoringCase(p.extension().string(), ".shp")) return files;
    // The companion files GDAL and the common GIS programs read or write beside a .shp.
    for (const char* extension : {".shx", ".dbf", ".prj", ".cpg", ".qix", ".sbn", ".sbx", ".fbn",
                                  ".fbx", ".ain", ".aih", ".atx", ".ixs", ".mxs"}) {
        for (const bool upper : {false, true}) {
            std::string name = std::filesystem::path(p).replace_extension(extension).string();
            if (upper) {
                for (std::size_t i = name.size() - 3; i < name.size(); ++i)
                    name[i] = static_cast<char>(name[i] - 'a' + 'A');
            }
            std::error_code error;
            if (std::filesystem::exists(name, error)) files.push_back(name);
        }
    }
    std::error_code error;
    if (std::filesystem::exists(path + ".xml", error)) files.push_back(path + ".xml");
    return files;
}

std::optional<std::string> outputClash(const std::vector<NamedFile>& inputs,
                                       const std::vector<NamedFile>& outputs) {
    for (std::size_t o = 0; o < outputs.size(); ++o) {
        const NamedFile& output = outputs[o];
        for (const NamedFile& input : inputs) {
            for (const std::string& file : filesOfInput(input.path)) {
                if (!same(output.path, file)) continue;
                const std::string what =
                    file == input.path ? input.role : "a file of " + input.role + " (" + file + ")";
                return output.role + " \"" + output.path + "\" is " + what + " itself";
            }
        }
        for (std::size_t earlier = 0; earlier < o; ++earlier) {
            if (same(output.path, outputs[earlier].path)) {
                return output.role + " \"" + output.path + "\" is the file of " +
                       outputs[earlier].role + " too";
            }
        }
    }
    return std::nullopt;
}

}  // namespace arbora
