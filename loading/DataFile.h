#pragma once
// Loading an XML data file into a FileReader's state, and releasing it.

#include <string>
#include <string_view>

#include "ReaderState.h"

namespace varnok {

// The numbered steps of ReadData; a caught failure reports the step it happened in.
enum class ReadDataStep : int {
    CheckPath = 10,
    CheckFileExists = 20,
    ArmHandler = 30,
    CreateDocument = 40,
    LoadFile = 50,
    SelectRoot = 60,
    ReleaseFileSystem = 70,
    SetStatus = 80,
    NoFile = 100,
    BadPath = 130,
    Handler = 160,
};

// Returns the status text. A failure of the file-existence test is thrown, not reported in the status.
std::u16string ReadData(ReaderState& state, std::u16string_view filePath);

void CloseData(ReaderState& state) noexcept;

}  // namespace varnok
