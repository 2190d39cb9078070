#pragma once

#include <optional>
#include <string>
#include <vector>

// Outputs that would overwrite an input: checked before any work, so that a run can
// never replace the file it reads (nor one of a shapefile's companion files).
namespace arbora {

struct NamedFile {
    std::string role;  // as the message names it: "the treatments file", "--output"
    std::string path;
};

// The files of an input: the file itself and, for a shapefile (.shp), the companion
// files beside it that exist (.shx, .dbf, .prj, .cpg, spatial indexes, metadata).
std::vector<std::string> filesOfInput(const std::string& path);

// The first output that is the same file as an input (same device and inode, through
// links) or as an earlier output (also by path when neither exists yet), in words;
// nothing when there is no clash.
std::optional<std::string> outputClash(const std::vector<NamedFile>& inputs,
                                       const std::vector<NamedFile>& outputs);

}  // namespace arbora
