// Each file's row: its symbol read through the image worker, and in the field modes its certificate's fields, on
// reader threads that hand the rows back in file-name order.

#include <objbase.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <thread>

#include "loading/CodetFields.h"
#include "loading/ImageCodet.h"
#include "sandbox/Pool.h"
#include "loading/StatusTexts.h"
#include "platform/Ansi.h"
#include "base/Failure.h"
#include "scan/ScanTool.h"

namespace varnok::scantool {

using aztec::ReadFailure;
using scan::Problem;

namespace {

namespace e = imageError;
static_assert(e::fileNotFound == 53 && e::fileNoAccess == 75 && e::unreadableImage == 321 && e::imageTooLarge == 1001 &&
                  e::noSymbol == 1002 && e::symbolDamaged == 1003 && e::pdfRefused == 1004 && e::readTimedOut == 1005 &&
                  e::workerMissing == 1006,
              "the numbers scan::problemOfError maps");

Outcome failed(std::wstring reason, Problem problem)
{
    return {{ReadFailure::BadImage, "", ""}, std::move(reason), problem, {}};
}

scan::FieldsRow fieldsRow(const Item& item, const Outcome& outcome)
{
    scan::FieldsRow row;
    row.file = utf8(item.shown);
    if (outcome.read.failure != ReadFailure::None) {
        row.status = utf8(outcome.reason);
        row.advice = scan::advice(outcome.problem);
        return row;
    }
    try {
        const CodetFields decoded = decodeCodetFields(scannerText(outcome.read.bytes));
        row.status = toUtf8(decoded.status);
        row.advice = scan::advice(scan::problemOfStatus(decoded.status));
        for (std::size_t i = 0; i < decoded.values.size(); ++i)
            if (decoded.values[i])
                row.values[i] = toUtf8(*decoded.values[i]);
    } catch (const std::bad_alloc&) {
        // One symbol too large for the memory left ends its own row, not the whole run.
        row = {};
        row.file = utf8(item.shown);
        row.status = utf8(L"Za mało pamięci, by odczytać pola symbolu z pliku " + inQuotes(item.path));
        row.advice = scan::advice(Problem::NoMemory);
    }
    return row;
}

}  // namespace

// A run reads one user's files: its workers serve the whole run, and end with it.
sandbox::WorkerPool& runWorkers()
{
    static sandbox::WorkerPool workers;
    return workers;
}

Outcome scan(const Item& item)
{
    switch (item.kind) {
    case Item::Kind::UnreadableFolder:
        return failed(L"Nie można odczytać folderu " + inQuotes(item.path) + L": " + item.error,
                      Problem::FolderUnreadable);
    case Item::Kind::BadName:
        return failed(L"Nazwa " + inQuotes(item.path) +
                          L" nie jest nazwą pliku ani folderu (zawiera separator ścieżki albo \"..\"): pominięto ją",
                      Problem::BadName);
    case Item::Kind::Unsupported:
        return failed(L"Nie można odczytać pliku " + inQuotes(item.path) +
                          L": nieobsługiwany format (odczytywane są pliki PNG, JPEG, BMP, GIF, TIFF i PDF)",
                      Problem::UnsupportedFormat);
    case Item::Kind::File: break;
    }
    try {
        return {readImageSymbol(runWorkers(), u16(accessPath(item.path))), L"", Problem::None, {}};
    } catch (const Failure& failure) {
        return failed(wide(failure.description()), scan::problemOfError(failure.errorNumber(), failure.description()));
    } catch (const std::bad_alloc&) {
        return failed(L"Za mało pamięci, by wczytać obraz " + inQuotes(item.path), Problem::NoMemory);
    } catch (const std::exception&) {
        // Whatever else a decoder throws ends this file's row on its reader thread, never the run.
        return failed(L"Nie można odczytać obrazu " + inQuotes(item.path) + L": nieobsługiwany format albo uszkodzony plik",
                      Problem::Unreadable);
    }
}

scan::FieldsRow rowOf(const Item& item, const Outcome& outcome)
{
    try {
        return fieldsRow(item, outcome);
    } catch (const std::exception&) {
        scan::FieldsRow row;
        row.file = utf8(item.shown);
        row.status = utf8(L"Nie można odczytać pól symbolu z pliku " + inQuotes(item.path));
        row.advice = scan::advice(Problem::Unreadable);
        return row;
    }
}

namespace {

// One more than the cores, because each reader waits while its image worker decodes and the hand-overs leave a
// core idle; at most four, what a 32-bit process can hold of large images at once. VARNOK_SCAN_THREADS for
// measuring.
unsigned readerThreads()
{
    if (const char* set = std::getenv("VARNOK_SCAN_THREADS"); set && std::atoi(set) > 0)
        return static_cast<unsigned>(std::min(std::atoi(set), 16));
    return std::clamp(std::thread::hardware_concurrency() + 1, 2u, 4u);
}

}  // namespace

struct Readers::Pool {
    Pool(const std::vector<Item>& items, bool fields) : items(items), outcomes(items.size()), fields(fields) {}

    void work()
    {
        const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        for (;;) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return stop || next >= items.size() || next < taken + window; });
            if (stop || next >= items.size())
                break;
            const std::size_t index = next++;
            lock.unlock();
            Outcome outcome = scan(items[index]);
            if (fields)
                outcome.row = rowOf(items[index], outcome);
            lock.lock();
            outcomes[index] = std::move(outcome);
            lock.unlock();
            changed.notify_all();
        }
        if (SUCCEEDED(com))
            ::CoUninitialize();
    }

    const std::vector<Item>& items;
    std::vector<std::optional<Outcome>> outcomes;
    std::vector<std::thread> threads;
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0, taken = 0, window = 0;
    const bool fields;
    bool stop = false;
};

Readers::Readers(const std::vector<Item>& items, bool fields) : pool_(std::make_unique<Pool>(items, fields))
{
    const unsigned threads = readerThreads();
    pool_->window = threads * 2 + 2;
    for (unsigned t = 0; t < threads; ++t)
        pool_->threads.emplace_back([this] { pool_->work(); });
}

Readers::~Readers()
{
    {
        const std::lock_guard lock(pool_->mutex);
        pool_->stop = true;
    }
    pool_->changed.notify_all();
    for (std::thread& thread : pool_->threads)
        thread.join();
}

Outcome Readers::take(std::size_t index)
{
    std::unique_lock lock(pool_->mutex);
    pool_->changed.wait(lock, [&] { return pool_->outcomes[index].has_value(); });
    Outcome outcome = std::move(*pool_->outcomes[index]);
    pool_->outcomes[index].reset();
    pool_->taken = index + 1;
    lock.unlock();
    pool_->changed.notify_all();
    return outcome;
}

}  // namespace varnok::scantool
