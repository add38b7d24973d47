// The page file: the bottom layer of the engine. Reads (and, for the writer, writes) whole
// pages of an .mdb file, undoes the RC4 page encoding of encoded databases, keeps a small
// cache of decoded pages, and parses the database header on page 0.
#pragma once

#include "file/format.h"
#include "jet/error.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace jet::detail {

// Test seam: every change the writer makes to the disk, in order, when set (never in the
// program). The power-loss tests replay subsets of these to build what a disk may hold.
struct IoEvent {
    enum class Kind { Create, Write, Sync, Truncate, Remove, SyncFolder } kind;
    const std::filesystem::path& path;
    uint64_t offset = 0;              // Write: byte offset; Truncate: the new length
    std::span<const uint8_t> bytes{}; // Write: the bytes as they go to disk
};
extern void (*ioTraceHook)(const IoEvent&);
inline void traceIo(IoEvent::Kind kind, const std::filesystem::path& path, uint64_t offset = 0,
                    std::span<const uint8_t> bytes = {}) {
    if (ioTraceHook) ioTraceHook(IoEvent{kind, path, offset, bytes});
}

using Page = std::vector<uint8_t>;
using PageRef = std::shared_ptr<const Page>;

class PageFile {
public:
    PageFile(const std::filesystem::path& path, bool writable, size_t cachePages);
    ~PageFile();
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    const Format& format() const { return *format_; }
    uint32_t pageSize() const { return format_->pageSize; }
    uint32_t pageCount() const { return pageCount_; }
    const std::string& fileName() const { return fileName_; }
    const std::filesystem::path& path() const { return path_; }
    bool writable() const { return writable_; }

    // Header fields (from the unmasked header region).
    uint16_t codePage() const { return codePage_; }
    uint16_t sortOrder() const { return sortOrder_; }
    uint32_t databaseKey() const { return databaseKey_; }
    bool isEncoded() const { return databaseKey_ != 0; }
    // Page 0 with the masked region undone (the writer edits and writes it back).
    const Page& header() const { return header_; }

    // Page `n`, decoded. Throws FormatError when n is beyond the end of the file.
    PageRef page(uint32_t n);

    // The writer's pages changed in memory and not yet written (appended ones past the end of
    // the file among them). page() returns them in place of the file's, so rows can be read
    // back between two flushes. The map stays owned by the writer; null turns this off.
    void setPendingPages(const std::map<uint32_t, Page>* pages) { pending_ = pages; }
    // Pages a reader can ask for: those in the file and the writer's pending ones past its end.
    // Readers bound page numbers and lengths by this (pageCount() stays what is on disk).
    uint32_t readablePageCount() const {
        if (!pending_ || pending_->empty()) return pageCount_;
        return std::max(pageCount_, pending_->rbegin()->first + 1);
    }

    // Writes page `n` (n <= pageCount(); n == pageCount() appends). Encodes as needed.
    // Page 0 is given unmasked and masked here.
    void writePage(uint32_t n, std::span<const uint8_t> data);
    // Writes pages first, first + 1, ... with as few system calls as possible (one per run
    // of up to 1024 pages); the same as writePage for each, in order.
    void writePages(uint32_t first, std::span<const Page* const> pages);
    void flush();

    // The rollback journal of the writer (page_journal.cpp). Before a flush overwrites pages
    // that already exist, their old bytes go to FILE-journal; the journal is removed once all
    // pages are written. A journal left behind by a killed writer is honoured when the file
    // is opened (its old pages are read in place of the half-written ones, and pages past the
    // old end are ignored) and written back for good by the next writer (applyJournal).
    struct JournalPage {
        uint32_t number;
        std::span<const uint8_t> newContent; // decoded, as given to writePage
    };
    void beginJournal(const std::vector<JournalPage>& overwritten, uint32_t newPageCount);
    void endJournal();
    // A span makes the flushes until commitSpan() one step: the journal stays between them
    // and keeps the bytes every page had when the span began, so undoSpan() (or whoever opens
    // the file after a crash) brings the file back to that moment. undoSpan() also forgets
    // the cached pages; throws IoError, keeping the journal, when the disk refuses.
    void beginSpan();
    void commitSpan();
    void undoSpan();
    bool inSpan() const { return spanning_; }
    // Writes a left-behind journal's old pages back, cuts the file to its old length and
    // removes the journal. Only for a writer holding the file's lock. Returns whether a
    // half-done flush was undone.
    bool applyJournal();
    std::filesystem::path journalPath() const;

    // Throws FormatError "page N of FILE <what>".
    [[noreturn]] void corrupt(uint32_t page, const std::string& what) const;
    // Throws FormatError "FILE: <what>" (not tied to one page).
    [[noreturn]] void corruptFile(const std::string& what) const;

private:
    void readRaw(uint32_t n, uint8_t* out);
    void parseHeader();
    Page encodeForDisk(uint32_t n, std::span<const uint8_t> data) const;
    void loadJournal();
    void removeJournal();
    IoError journalError(const char* what) const;

    std::filesystem::path path_;
    std::string fileName_;
    int fd_ = -1;
    bool writable_ = false;
    const Format* format_ = nullptr;
    uint32_t pageCount_ = 0;
    uint16_t codePage_ = 0;
    uint16_t sortOrder_ = 0;
    uint32_t databaseKey_ = 0;
    Page header_;
    std::unordered_map<uint32_t, Page> journalOld_; // raw old pages of a left-behind journal
    bool journalFound_ = false;                     // a journal file exists (valid or not)
    // The journal this writer has open: for one flush, or for every flush of a span.
    struct OpenJournal {
        int fd = -1;
        uint32_t oldCount = 0, newCount = 0, entries = 0;
        uint64_t hash = 0; // over the entries so far, without their hash slots
        // by page: its entry, and the hash slot (0 or 1) that describes its bytes on disk
        std::unordered_map<uint32_t, std::pair<uint32_t, uint8_t>> saved;
    };
    std::unique_ptr<OpenJournal> journal_;
    bool spanning_ = false;

    size_t cacheLimit_;
    std::unordered_map<uint32_t, std::shared_ptr<Page>> cache_;
    const std::map<uint32_t, Page>* pending_ = nullptr;
    std::deque<uint32_t> cacheOrder_;
};

// The fixed RC4 key stream that masks the header region (computed once).
std::span<const uint8_t> headerMask();

} // namespace jet::detail
