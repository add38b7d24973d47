// The writer's rollback journal (see PageFile in page_file.h).
//
// Why a journal: one flush changes several pages that already exist (the last data page of a
// table, index leaves and their parents, usage maps, the table definition). Jet has no single
// page whose rewrite would switch from the old state to the new one, so a process killed
// between two of those writes leaves pages that disagree (rows without index entries, a split
// leaf whose parent does not know the new sibling, pages the usage map does not list). The
// journal makes the whole flush one step for every reader that knows it: the old bytes of the
// pages about to be overwritten are saved first, and a left-behind journal undoes the flush.
//
// Why that is safe against a kill at any moment: a pwrite of one page is either done or not
// when the process dies (the kernel copies it into the page cache before it returns), so the
// only torn states are between page writes:
// - killed while the journal is written: its header is written last, so the journal has no
//   valid header and the file itself is still untouched; the journal is ignored.
// - killed while the file's pages are written: the journal is complete; readers take the old
//   pages from it and stop at the old end of the file, so they see the state before the
//   flush; the next writer writes the old pages back and cuts the appended pages off.
// - killed after the last page but before the journal is removed: the same, the flush is
//   undone as a whole (flush() had not returned, so no caller counted on it).
// Programs that don't know the journal (mdbtools, Access) see the half-written file; the
// writer therefore still writes in an order that keeps that file readable for them: appended
// pages first, then rows, index pages, usage maps and the definitions (see PageStore::flush).
//
// A journal is only honoured when it fits the file: every saved page still holds either its
// old bytes or the new bytes the flush was writing (a hash of those is stored), and the file's
// length lies between the old and the new length. A stale journal (the file changed since, by
// another program) is ignored, never applied. Power loss is covered as well as the disk allows:
// the journal (and the folder entry naming it) is synced before the file is touched, the file
// before the journal goes, and the folder again once it is gone, so that a flush reported done
// stays done.
//
// One journal can also span several flushes (beginSpan .. commitSpan / undoSpan): a step too
// large for memory, such as refilling a table of a million rows. Its entries keep the bytes
// the pages had when the span began; a page saved by an earlier flush is not saved again, but
// the hash of what the file holds changes with every flush that rewrites it. An entry therefore
// has two hash slots: the flush about to write a page puts its new hash into the slot that does
// not describe the page's present bytes (and syncs it) before the page changes, so at every
// moment one of the two slots, or the old bytes, match the page. Pages appended during the
// span are not saved: cutting the file to its old length removes them. Each flush syncs the
// file before it returns, so a page on disk is never older than the last flush's.
//
// Layout of FILE-journal (little-endian), version 2:
//   block 0 (one page): "TablorJetJournal", u32 version 2, u32 page size, u32 old page
//     count, u32 new page count, u32 entry count, u32 0, u64 FNV-1a hash of the entries
//     without their hash slots
//   from offset page size on, per entry: u32 page number, u32 0, u64 hash slot A, u64 hash
//     slot B (FNV-1a hashes of raw bytes the flushes write), the page's old raw bytes
//   Bytes past the entries the header counts are ignored (a flush that was adding entries).
// Version 1 (one flush, read for journals left by older builds): entries of u32 page number,
// u32 0, u64 hash of the new bytes, old bytes; the header's hash covers all of them.
#include "file/page_file.h"

#include "file/bytes.h"
#include "file/write_hooks.h"
#include "jet/error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jet::detail {

namespace {

constexpr char kMagic[16] = {'T', 'a', 'b', 'l', 'o', 'r', 'J', 'e', 't', 'J', 'o', 'u', 'r', 'n', 'a', 'l'};
constexpr uint32_t kVersion = 2;
constexpr size_t kHeaderSize = 48;
constexpr size_t kEntryHeadV1 = 16;
constexpr size_t kEntryHead = 24;
constexpr uint64_t kFnvBasis = 0xcbf29ce484222325ull;

uint64_t fnv1a(const uint8_t* p, size_t n, uint64_t h = kFnvBasis) {
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

void put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t get64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

bool readAll(int fd, uint8_t* out, size_t n, off_t at) {
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, out + done, n - done, at + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

bool writeAll(int fd, const uint8_t* data, size_t n, off_t at) {
    size_t done = 0;
    while (done < n) {
        const ssize_t put = ::pwrite(fd, data + done, n - done, at + static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

// Creating and removing the journal only last through a power cut once the folder that holds
// it is synced too. Folders that cannot be synced (some network file systems) are left as is.
void syncFolderOf(const std::filesystem::path& file) {
    std::filesystem::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
    traceIo(IoEvent::Kind::SyncFolder, file);
}

} // namespace

std::filesystem::path PageFile::journalPath() const { return std::filesystem::path(path_.string() + "-journal"); }

void PageFile::loadJournal() {
    journalOld_.clear();
    const int fd = ::open(journalPath().c_str(), O_RDONLY | O_CLOEXEC);
    journalFound_ = fd >= 0;
    if (fd < 0) return;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    const uint32_t ps = format_->pageSize;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return;
    uint8_t head[kHeaderSize];
    if (!readAll(fd, head, kHeaderSize, 0) || std::memcmp(head, kMagic, 16) != 0) return;
    const uint32_t version = get32(head + 16), pageSize = get32(head + 20);
    const uint32_t oldCount = get32(head + 24), newCount = get32(head + 28), entries = get32(head + 32);
    const uint64_t hash = get64(head + 40);
    if ((version != 1 && version != 2) || pageSize != ps || oldCount > newCount) return;
    const size_t entryHead = version == 1 ? kEntryHeadV1 : kEntryHead;
    const uint64_t entrySize = entryHead + ps;
    const uint64_t needed = ps + entries * entrySize, size = static_cast<uint64_t>(st.st_size);
    if (version == 1 ? size != needed : size < needed) return;
    // The file must be this journal's file part-way through the flush.
    if (pageCount_ < oldCount || pageCount_ > newCount) return;
    std::vector<uint8_t> all(static_cast<size_t>(entries * entrySize));
    if (!readAll(fd, all.data(), all.size(), ps)) return;
    uint64_t h = kFnvBasis;
    if (version == 1) {
        h = fnv1a(all.data(), all.size());
    } else {
        for (uint32_t i = 0; i < entries; ++i) {
            const uint8_t* e = all.data() + i * entrySize;
            h = fnv1a(e + kEntryHead, ps, fnv1a(e, 8, h));
        }
    }
    if (h != hash) return;
    std::unordered_map<uint32_t, Page> old;
    Page current(ps);
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t* e = all.data() + i * entrySize;
        const uint32_t n = get32(e);
        if (n >= oldCount) return;
        const uint8_t* oldBytes = e + entryHead;
        if (!readAll(fd_, current.data(), ps, static_cast<off_t>(n) * ps)) return;
        const bool asBefore = std::memcmp(current.data(), oldBytes, ps) == 0;
        const uint64_t now = asBefore ? 0 : fnv1a(current.data(), ps);
        if (!asBefore && now != get64(e + 8) && (version == 1 || now != get64(e + 16))) return;
        old.emplace(n, Page(oldBytes, oldBytes + ps));
    }
    journalOld_ = std::move(old);
    pageCount_ = oldCount;
}

IoError PageFile::journalError(const char* what) const {
    const int e = errno;
    return IoError(fileName_, std::nullopt,
                   "cannot " + std::string(what) + " the journal " + journalPath().string() + ": " + std::strerror(e) +
                       ". Check the free disk space and that the folder is writable.");
}

void PageFile::beginJournal(const std::vector<JournalPage>& overwritten, uint32_t newPageCount) {
    const uint32_t ps = format_->pageSize;
    const auto jpath = journalPath();
    const bool fresh = !journal_;
    if (fresh) {
        const int fd = ::open(jpath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) throw journalError("create");
        traceIo(IoEvent::Kind::Create, jpath);
        journal_ = std::make_unique<OpenJournal>();
        journal_->fd = fd;
        journal_->oldCount = pageCount_;
        journal_->hash = kFnvBasis;
    }
    OpenJournal& j = *journal_;
    const size_t entrySize = kEntryHead + ps;
    // Pages saved by an earlier flush of the span get the hash of their next bytes in the slot
    // that does not describe what they hold now; the others get an entry of their own.
    // New entries go to the journal in chunks of 1 MB or so, so that a flush of many pages
    // needs little memory beside them.
    std::vector<uint8_t> body;
    std::vector<uint8_t> slot(8);
    uint32_t added = 0;
    auto writeBody = [&] {
        const off_t at = static_cast<off_t>(ps + static_cast<uint64_t>(j.entries + added) * entrySize);
        if (!writeAll(j.fd, body.data(), body.size(), at)) throw journalError("write");
        traceIo(IoEvent::Kind::Write, jpath, static_cast<uint64_t>(at), body);
        added += static_cast<uint32_t>(body.size() / entrySize);
        body.clear();
    };
    for (const JournalPage& page : overwritten) {
        const uint32_t n = page.number;
        if (n >= j.oldCount) continue; // appended during the span: cut off by an undo
        const Page raw = encodeForDisk(n, page.newContent);
        const uint64_t h = fnv1a(raw.data(), ps);
        if (auto it = j.saved.find(n); it != j.saved.end()) {
            auto& [index, current] = it->second;
            const uint8_t next = current == 0 ? 1 : 0;
            put64(slot, 0, h);
            const off_t at = static_cast<off_t>(ps + index * entrySize + 8 + 8 * next);
            if (!writeAll(j.fd, slot.data(), 8, at)) throw journalError("write");
            traceIo(IoEvent::Kind::Write, jpath, static_cast<uint64_t>(at), slot);
            current = next;
            continue;
        }
        const size_t at = body.size();
        body.resize(at + entrySize);
        uint8_t* e = body.data() + at;
        for (int b = 0; b < 4; ++b) e[b] = static_cast<uint8_t>(n >> (8 * b));
        for (int b = 0; b < 8; ++b) e[8 + b] = e[16 + b] = static_cast<uint8_t>(h >> (8 * b));
        if (!readAll(fd_, e + kEntryHead, ps, static_cast<off_t>(n) * ps)) throw journalError("fill");
        j.saved.emplace(n, std::pair<uint32_t, uint8_t>{j.entries + added + static_cast<uint32_t>(at / entrySize), 0});
        j.hash = fnv1a(e + kEntryHead, ps, fnv1a(e, 8, j.hash));
        if (body.size() >= (1u << 20)) writeBody();
    }
    if (!body.empty() || added == 0) writeBody();
    if (::fdatasync(j.fd) != 0) throw journalError("sync");
    traceIo(IoEvent::Kind::Sync, jpath);
    if (journalStepHook) journalStepHook();
    // The header last: only entries it counts are ever honoured.
    j.entries += added;
    j.newCount = std::max({j.newCount, j.oldCount, newPageCount});
    std::vector<uint8_t> head(ps, 0);
    std::memcpy(head.data(), kMagic, 16);
    put32(head, 16, kVersion);
    put32(head, 20, ps);
    put32(head, 24, j.oldCount);
    put32(head, 28, j.newCount);
    put32(head, 32, j.entries);
    put64(head, 40, j.hash);
    if (!writeAll(j.fd, head.data(), fresh ? head.size() : kHeaderSize, 0)) throw journalError("write");
    traceIo(IoEvent::Kind::Write, jpath, 0, std::span<const uint8_t>(head).first(fresh ? head.size() : kHeaderSize));
    if (::fdatasync(j.fd) != 0) throw journalError("sync");
    traceIo(IoEvent::Kind::Sync, jpath);
    // The journal's name must outlast a power cut before the file's pages change.
    if (fresh) syncFolderOf(jpath);
    if (journalStepHook) journalStepHook();
}

void PageFile::endJournal() {
    if (::fsync(fd_) != 0) {
        const int e = errno;
        throw IoError(fileName_, std::nullopt,
                      "cannot save " + fileName_ + " to disk: " + std::strerror(e) + ". Check the disk.");
    }
    traceIo(IoEvent::Kind::Sync, path_);
    if (journalStepHook) journalStepHook();
    if (!spanning_) removeJournal();
}

void PageFile::removeJournal() {
    if (!journal_) return;
    ::close(journal_->fd);
    journal_.reset();
    std::error_code ec;
    std::filesystem::remove(journalPath(), ec);
    traceIo(IoEvent::Kind::Remove, journalPath());
    if (ec) {
        throw IoError(fileName_, std::nullopt,
                      "cannot remove the journal " + journalPath().string() + ": " + ec.message() +
                          ". Check that the folder is writable.");
    }
    // Otherwise a power cut could bring the journal back, and the next writer would undo
    // this flush although it was reported done.
    syncFolderOf(journalPath());
}

void PageFile::beginSpan() {
    if (spanning_ || journal_) throw std::logic_error("PageFile::beginSpan: a journal is open already");
    spanning_ = true;
}

void PageFile::commitSpan() {
    spanning_ = false;
    removeJournal();
}

void PageFile::undoSpan() {
    spanning_ = false;
    if (!journal_) return;
    const uint32_t ps = format_->pageSize;
    const size_t entrySize = kEntryHead + ps;
    auto fail = [&](std::optional<uint32_t> page) {
        const int e = errno;
        throw IoError(fileName_, page,
                      "cannot undo the unfinished changes to " + fileName_ + ": " + std::strerror(e) +
                          ". Check the disk; keep " + journalPath().string() + ", which undoes them when " + fileName_ +
                          " is opened next.");
    };
    // Entry by entry, so that a long span is undone in little memory.
    Page raw(ps);
    for (const auto& [n, where] : journal_->saved) {
        const off_t at = static_cast<off_t>(ps + static_cast<uint64_t>(where.first) * entrySize + kEntryHead);
        if (!readAll(journal_->fd, raw.data(), ps, at)) fail(n);
        traceIo(IoEvent::Kind::Write, path_, static_cast<uint64_t>(n) * ps, raw);
        if (!writeAll(fd_, raw.data(), ps, static_cast<off_t>(n) * ps)) fail(n);
    }
    const uint32_t oldCount = journal_->oldCount;
    traceIo(IoEvent::Kind::Truncate, path_, static_cast<uint64_t>(oldCount) * ps);
    if (::ftruncate(fd_, static_cast<off_t>(oldCount) * ps) != 0 || ::fsync(fd_) != 0) fail(std::nullopt);
    traceIo(IoEvent::Kind::Sync, path_);
    pageCount_ = oldCount;
    cache_.clear();
    cacheOrder_.clear();
    readRaw(0, header_.data());
    auto mask = headerMask();
    for (uint32_t i = 0; i < format_->maskedHeaderLength; ++i) header_[format_->maskedHeaderOffset + i] ^= mask[i];
    removeJournal();
}

bool PageFile::applyJournal() {
    if (!journalFound_) return false;
    const bool undo = !journalOld_.empty() || pageCount_ * static_cast<uint64_t>(format_->pageSize) !=
                                                  static_cast<uint64_t>(std::filesystem::file_size(path_));
    const uint32_t ps = format_->pageSize;
    if (undo) {
        for (const auto& [n, raw] : journalOld_) {
            traceIo(IoEvent::Kind::Write, path_, static_cast<uint64_t>(n) * ps, raw);
            if (!writeAll(fd_, raw.data(), ps, static_cast<off_t>(n) * ps)) {
                const int e = errno;
                throw IoError(fileName_, n,
                              "cannot undo an interrupted write in " + fileName_ + ": " + std::strerror(e) +
                                  ". Check the disk; keep " + journalPath().string() + " until it is undone.");
            }
        }
        traceIo(IoEvent::Kind::Truncate, path_, static_cast<uint64_t>(pageCount_) * ps);
        traceIo(IoEvent::Kind::Sync, path_);
        if (::ftruncate(fd_, static_cast<off_t>(pageCount_) * ps) != 0 || ::fsync(fd_) != 0) {
            const int e = errno;
            throw IoError(fileName_, std::nullopt,
                          "cannot undo an interrupted write in " + fileName_ + ": " + std::strerror(e) +
                              ". Check the disk; keep " + journalPath().string() + " until it is undone.");
        }
    }
    // A journal that did not fit the file (incomplete, or stale) is simply dropped.
    std::error_code ec;
    std::filesystem::remove(journalPath(), ec);
    traceIo(IoEvent::Kind::Remove, journalPath());
    syncFolderOf(journalPath());
    journalOld_.clear();
    journalFound_ = false;
    return undo;
}

} // namespace jet::detail
