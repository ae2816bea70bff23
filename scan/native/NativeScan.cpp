// varnok-scan FILE|FOLDER...: the developers' reader for Linux (images decoded by stb, PDF scans by our PDF
// reader with stb for their JPEG images), used by the corpus scripts. One line per image file: FILE<TAB>TEXT, or
// FILE<TAB>!<TAB>reason in English; a part of a structured-append sequence and GS1 data add a note on stderr.
// Exit code 0 when every file was read, 1 otherwise, 2 for a usage error. VarnokScan.exe (scan/VarnokScan.cpp),
// the product's Windows tool, prints the same shape of line with Polish reasons, and a line for every file of a
// folder.

#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "aztec/Reader.h"
#include "pdf/Reader.h"
#include "worker/ReadFile.h"
#include "worker/StbDecode.h"
#include "scan/ScanFiles.h"

namespace {

using varnok::aztec::GrayImage;
using varnok::aztec::ReadResult;

std::string dimensions(const varnok::ImageFileError& error)
{
    return std::to_string(error.width()) + " x " + std::to_string(error.height());
}

// The developers' words for a file's failure; VarnokScan.exe words the same failures in Polish.
std::string reasonOf(const varnok::ImageFileError& error)
{
    using Kind = varnok::ImageFileError::Kind;
    using varnok::pdf::Refusal;
    if (const auto* pdf = error.pdf()) {
        switch (pdf->refusal) {
        case Refusal::Encrypted: return "encrypted PDF";
        case Refusal::NoImage: return "no image in the PDF (a symbol drawn as vector graphics?)";
        case Refusal::FileTooLarge: return "PDF file too large";
        case Refusal::WorkLimit: return "PDF too costly to read: stopped at the work limit of one file";
        case Refusal::UnsupportedCompression: return "PDF image in " + pdf->detail + ": scan in grayscale or to JPEG";
        case Refusal::None: break;
        }
        return "cannot read the PDF: " + pdf->detail;
    }
    if (error.kind() == Kind::TooLarge)
        return error.code() == 0 ? "image too large: " + dimensions(error)
                                 : "not enough memory for the image: " + dimensions(error);
    return "cannot read the image";
}

// The file mapped, as the worker gets it from its caller: no copy, no buffer grown as it is read.
class MappedFile {
public:
    explicit MappedFile(const std::string& path)
    {
        const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat status {};
        if (descriptor < 0 || ::fstat(descriptor, &status) != 0 || status.st_size <= 0) {
            if (descriptor >= 0)
                ::close(descriptor);
            return;
        }
        void* at = ::mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_PRIVATE, descriptor, 0);
        ::close(descriptor);
        if (at != MAP_FAILED)
            bytes_ = {static_cast<const std::uint8_t*>(at), static_cast<std::size_t>(status.st_size)};
    }
    ~MappedFile()
    {
        if (!bytes_.empty())
            ::munmap(const_cast<std::uint8_t*>(bytes_.data()), bytes_.size());
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    std::span<const std::uint8_t> bytes() const { return bytes_; }

private:
    std::span<const std::uint8_t> bytes_;
};

ReadResult scan(const std::string& path)
{
    const MappedFile mapped(path);
    const std::span<const std::uint8_t> file = mapped.bytes();
    varnok::worker::FileOutcome outcome = varnok::worker::readFile(file, file.size(), varnok::worker::decodeWithStb);
    if (outcome.error)
        return {varnok::aztec::ReadFailure::BadImage, "", reasonOf(*outcome.error)};
    return std::move(outcome.read);
}

}  // namespace

// An image of tens of megapixels page-faults its buffers in 4 KB at a time: a third of the read of one at the
// pixel limit. The C library backs its heap with huge pages when told so before it starts (and the kernel allows
// them on request, Debian's default): for such files the program starts itself again, told. Small files are not
// worth the second start.
static void restartWithHugePagesFor(int argc, char** argv)
{
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (tunables && std::strstr(tunables, "glibc.malloc.hugetlb"))
        return;
    bool large = false;
    for (int i = 1; i < argc && !large; ++i) {
        struct stat status {};
        large = ::stat(argv[i], &status) == 0 && S_ISREG(status.st_mode) && status.st_size > (32 << 20);
    }
    if (!large)
        return;
    const std::string setting = std::string(tunables ? tunables : "") + (tunables ? ":" : "") + "glibc.malloc.hugetlb=1";
    ::setenv("GLIBC_TUNABLES", setting.c_str(), 1);
    ::execv("/proc/self/exe", argv);  // on failure, on as we are
}

int main(int argc, char** argv)
{
    restartWithHugePagesFor(argc, argv);
    // The reader's image-sized buffers, freed and taken again strategy after strategy, stay in the heap instead
    // of going back to the system and being faulted in anew (a fifth of a large page's time).
    if (mallopt(M_MMAP_THRESHOLD, 256 << 20) == 0)
        mallopt(M_MMAP_THRESHOLD, 32 << 20);  // where the C library allows no more
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    if (argc < 2) {
        std::fprintf(stderr, "usage: varnok-scan FILE|FOLDER...\n");
        return 2;
    }
    int files = 0, failures = 0;
    for (int i = 1; i < argc; ++i) {
        const auto report = [&](const std::string& file, const ReadResult& r) {
            const std::string line = varnok::scan::scanLine(file, r) + '\n';
            std::fwrite(line.data(), 1, line.size(), stdout);
            for (const std::string& note : {varnok::scan::sequenceNote(file, r), varnok::scan::gs1Note(file, r)})
                if (!note.empty())
                    std::fprintf(stderr, "%s\n", note.c_str());
            ++files;
            failures += r.failure != varnok::aztec::ReadFailure::None;
        };
        const auto found = varnok::scan::imageFilesOf(argv[i]);
        if (found.empty())
            report(argv[i], {varnok::aztec::ReadFailure::BadImage, "", varnok::scan::noImagesReason});
        for (const auto& file : found)
            report(file.string(), scan(file.string()));
    }
    return varnok::scan::scanExitCode(files, failures);
}
