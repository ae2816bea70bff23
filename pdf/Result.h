#pragma once
// How the reader of PDF files reports: the stage that gave up, the object it was working on, and why.

#include <string>

namespace varnok::pdf {

enum class Stage { File, Objects, Xref, Pages, Images, Pixels };

const char* stageName(Stage stage);

struct Fault {
    Stage stage = Stage::File;
    int object = 0;  // 0 when the fault is not in one object
    std::string reason;

    std::string describe() const;
};

// What makes a whole file unreadable by design rather than by damage. WorkLimit: reading it took all the work one
// file may take (Budget.h) before anything more telling was found.
enum class Refusal { None, Encrypted, UnsupportedCompression, NoImage, FileTooLarge, WorkLimit };

}  // namespace varnok::pdf
