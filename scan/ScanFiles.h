#pragma once
// What the scanning tools share: which files an argument names, and the line printed for each.

#include <filesystem>
#include <string>
#include <vector>

#include "aztec/Reader.h"

namespace varnok::scan {

// File name extensions of the image formats the tools read, lower case.
bool isImageFileName(const std::filesystem::path& path);

// The argument itself, or for a folder its image files (not its subfolders) in name order; empty for a folder
// without images.
std::vector<std::filesystem::path> imageFilesOf(const std::filesystem::path& argument);

// "FILE<TAB>TEXT" for a symbol read, "FILE<TAB>!<TAB>reason" otherwise; no line end.
std::string scanLine(const std::string& file, const aztec::ReadResult& result);

// "FILE: part I of N, id ID" for a symbol of a structured-append sequence (without ", id ID" when it carries no
// identifier), for stderr; empty otherwise. No line end.
std::string sequenceNote(const std::string& file, const aztec::ReadResult& result);

// The exit code: 0 when every file was read, 1 otherwise; 2 (usage) is the caller's.
int scanExitCode(int files, int failures);

inline constexpr char noImagesReason[] = "no image files in the folder";

}  // namespace varnok::scan
