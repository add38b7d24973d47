// The page file (see page_file.h).
#include "file/page_file.h"

#include "file/bytes.h"
#include "jet/error.h"
#include "file/rc4.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace jet::detail {

void (*ioTraceHook)(const IoEvent&) = nullptr;

namespace {
// The header region is masked with the RC4 key stream of this fixed key.
constexpr uint32_t kHeaderMaskKey = 0x6B39DAC7;
constexpr size_t kHeaderMaskLength = 128;
} // namespace

std::span<const uint8_t> headerMask() {
    static const std::array<uint8_t, kHeaderMaskLength> mask = [] {
        std::array<uint8_t, kHeaderMaskLength> m{};
        const uint8_t key[4] = {kHeaderMaskKey & 0xFF, (kHeaderMaskKey >> 8) & 0xFF, (kHeaderMaskKey >> 16) & 0xFF,
                                (kHeaderMaskKey >> 24) & 0xFF};
        rc4Apply(key, m);
        return m;
    }();
    return mask;
}

PageFile::PageFile(const std::filesystem::path& path, bool writable, size_t cachePages)
    : path_(path), fileName_(path.filename().string()), writable_(writable),
      cacheLimit_(cachePages < 8 ? 8 : cachePages) {
    fd_ = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd_ < 0) {
        const int e = errno;
        throw IoError(fileName_, std::nullopt,
                      "cannot open " + path.string() + ": " + std::strerror(e) +
                          ". Check that the file exists and that you may " + (writable ? "write" : "read") + " it.");
    }
    try {
        parseHeader();
    } catch (...) {
        ::close(fd_);
        fd_ = -1;
        throw;
    }
}

PageFile::~PageFile() {
    // A journal still open belongs to a flush or span that did not finish: it stays on disk
    // and undoes them when the file is opened next.
    if (journal_) ::close(journal_->fd);
    if (fd_ >= 0) ::close(fd_);
}

void PageFile::corrupt(uint32_t page, const std::string& what) const {
    throw FormatError(fileName_, page,
                      "page " + std::to_string(page) + " of " + fileName_ + " " + what +
                          ". The file is damaged: open a backup or repair it with Access "
                          "(Compact and Repair).");
}

void PageFile::corruptFile(const std::string& what) const {
    throw FormatError(fileName_, std::nullopt,
                      fileName_ + ": " + what +
                          ". The file is damaged or not an Access database: open a backup or "
                          "repair it with Access (Compact and Repair).");
}

// Database header (page 0). Bytes 0x18 onward (126 bytes in Jet 3, 128 in Jet 4) are
// XOR-masked with the RC4 key stream of the fixed key 0x6B39DAC7.
//
// OFFSET  SIZE  MEANING
// 0x00    1     page type 0x00
// 0x01    3     01 00 00
// 0x04    16    engine name "Standard Jet DB\0" ("Standard ACE DB\0": Access 2007+)
// 0x14    4     version: 0 Jet 3, 1 Jet 4, 2 and up ACE (.accdb)
// 0x18    126/128 masked region, containing:
// 0x3A    2     Jet 3: default sort order (collation)
// 0x3C    2     code page of the database (1252 for Western files)
// 0x3E    4     database key: when not 0, every page after page 0 is RC4-encoded with
//               key = little-endian bytes of (database key XOR page number)
// 0x42    20/40 database password (masked)
// 0x6E    4     Jet 4: default sort order (2 bytes collation, 2 bytes version)
void PageFile::parseHeader() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        throw IoError(fileName_, std::nullopt, "cannot read the size of " + path_.string() + ".");
    }
    const auto fileSize = static_cast<uint64_t>(st.st_size);
    uint8_t start[0x20] = {};
    if (fileSize < 0x20 || ::pread(fd_, start, sizeof start, 0) != static_cast<ssize_t>(sizeof start)) {
        corruptFile("is too short to be an Access database");
    }
    static const char jetName[] = "Standard Jet DB";
    static const char aceName[] = "Standard ACE DB";
    const bool isAce = std::memcmp(start + 4, aceName, 15) == 0;
    if (start[0] != 0 || (!isAce && std::memcmp(start + 4, jetName, 15) != 0)) {
        corruptFile("is not an Access database (no Jet header on page 0)");
    }
    const uint32_t version = u32(ByteSpan(start, sizeof start), 0x14);
    if (isAce || version >= 2) {
        throw UnsupportedError(fileName_, std::nullopt,
                               fileName_ + " is an Access 2007 or later database (.accdb, ACE "
                                           "format), which is not supported. Save it in Access "
                                           "as an Access 2000-2003 .mdb file and open that.");
    }
    format_ = version == 0 ? &kJet3Format : &kJet4Format;
    const uint32_t ps = format_->pageSize;
    if (fileSize < 2ull * ps) corruptFile("is shorter than two pages");
    if (fileSize / ps > 0xFFFFFFull) corruptFile("is larger than an Access database can be");
    pageCount_ = static_cast<uint32_t>(fileSize / ps);
    loadJournal(); // a killed writer's journal: its old pages stand in for the half-written ones

    header_.resize(ps);
    readRaw(0, header_.data());
    auto mask = headerMask();
    for (uint32_t i = 0; i < format_->maskedHeaderLength; ++i) {
        header_[format_->maskedHeaderOffset + i] ^= mask[i];
    }
    ByteSpan h(header_);
    codePage_ = u16(h, format_->codePageOffset);
    databaseKey_ = u32(h, format_->encodingKeyOffset);
    sortOrder_ = u16(h, format_->sortOrderOffset);
}

void PageFile::readRaw(uint32_t n, uint8_t* out) {
    const uint32_t ps = format_->pageSize;
    if (!journalOld_.empty()) {
        if (auto it = journalOld_.find(n); it != journalOld_.end()) {
            std::memcpy(out, it->second.data(), ps);
            return;
        }
    }
    const off_t at = static_cast<off_t>(n) * ps;
    size_t done = 0;
    while (done < ps) {
        const ssize_t got = ::pread(fd_, out + done, ps - done, at + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            throw IoError(fileName_, n,
                          "cannot read page " + std::to_string(n) + " of " + fileName_ + ": " +
                              (got < 0 ? std::strerror(errno) : "the file ended early") +
                              ". Check the disk and the file.");
        }
        done += static_cast<size_t>(got);
    }
}

PageRef PageFile::page(uint32_t n) {
    if (pending_) {
        if (auto it = pending_->find(n); it != pending_->end()) return std::make_shared<const Page>(it->second);
    }
    if (n >= pageCount_) {
        corrupt(n, "is referenced but lies beyond the end of the file (" + std::to_string(pageCount_) + " pages)");
    }
    if (auto it = cache_.find(n); it != cache_.end()) return it->second;
    auto buf = std::make_shared<Page>(format_->pageSize);
    if (n == 0) {
        *buf = header_;
    } else {
        readRaw(n, buf->data());
        if (databaseKey_ != 0) rc4ApplyPageKey(databaseKey_, n, *buf);
    }
    if (cache_.size() >= cacheLimit_) {
        cache_.erase(cacheOrder_.front());
        cacheOrder_.pop_front();
    }
    cache_.emplace(n, buf);
    cacheOrder_.push_back(n);
    return buf;
}

void PageFile::writePage(uint32_t n, std::span<const uint8_t> data) {
    const uint32_t ps = format_->pageSize;
    if (!writable_) {
        throw IoError(fileName_, n, fileName_ + " was opened read-only; open it for writing.");
    }
    if (data.size() != ps || n > pageCount_) {
        throw std::logic_error("PageFile::writePage: bad page size or number");
    }
    const Page out = encodeForDisk(n, data);
    size_t done = 0;
    const off_t at = static_cast<off_t>(n) * ps;
    while (done < ps) {
        const ssize_t put = ::pwrite(fd_, out.data() + done, ps - done, at + static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            throw IoError(fileName_, n,
                          "cannot write page " + std::to_string(n) + " of " + fileName_ + ": " + std::strerror(errno) +
                              ". Check the free disk space.");
        }
        done += static_cast<size_t>(put);
    }
    traceIo(IoEvent::Kind::Write, path_, static_cast<uint64_t>(at), out);
    if (n == pageCount_) ++pageCount_;
    if (n == 0) header_.assign(data.begin(), data.end());
    if (auto it = cache_.find(n); it != cache_.end()) {
        it->second = std::make_shared<Page>(data.begin(), data.end());
    }
}

Page PageFile::encodeForDisk(uint32_t n, std::span<const uint8_t> data) const {
    Page out(data.begin(), data.end());
    if (n == 0) {
        auto mask = headerMask();
        for (uint32_t i = 0; i < format_->maskedHeaderLength; ++i) {
            out[format_->maskedHeaderOffset + i] ^= mask[i];
        }
    } else if (databaseKey_ != 0) {
        rc4ApplyPageKey(databaseKey_, n, out);
    }
    return out;
}

void PageFile::writePages(uint32_t first, std::span<const Page* const> pages) {
    const uint32_t ps = format_->pageSize;
    // Page 0 and encoded files change the bytes on the way to disk: page by page.
    if (first == 0 || databaseKey_ != 0 || !writable_ || first > pageCount_) {
        for (size_t i = 0; i < pages.size(); ++i) writePage(first + static_cast<uint32_t>(i), *pages[i]);
        return;
    }
    constexpr size_t kMaxRun = 1024; // IOV_MAX on Linux
    for (size_t from = 0; from < pages.size(); from += kMaxRun) {
        const size_t count = std::min(kMaxRun, pages.size() - from);
        std::vector<iovec> iov(count);
        for (size_t i = 0; i < count; ++i) {
            const Page& p = *pages[from + i];
            if (p.size() != ps) throw std::logic_error("PageFile::writePages: bad page size");
            iov[i] = {const_cast<uint8_t*>(p.data()), ps};
        }
        const uint32_t n0 = first + static_cast<uint32_t>(from);
        const off_t at = static_cast<off_t>(n0) * ps;
        ssize_t put = -1;
        do {
            put = ::pwritev(fd_, iov.data(), static_cast<int>(count), at);
        } while (put < 0 && errno == EINTR);
        if (put < 0) {
            throw IoError(fileName_, n0,
                          "cannot write page " + std::to_string(n0) + " of " + fileName_ + ": " + std::strerror(errno) +
                              ". Check the free disk space.");
        }
        // A short write: the pages not (fully) written go one by one, which reports the error.
        const size_t whole = static_cast<size_t>(put) / ps;
        for (size_t i = 0; i < count; ++i) {
            const uint32_t n = n0 + static_cast<uint32_t>(i);
            const Page& p = *pages[from + i];
            if (i >= whole) {
                writePage(n, p);
                continue;
            }
            traceIo(IoEvent::Kind::Write, path_, static_cast<uint64_t>(n) * ps, p);
            if (n == pageCount_) ++pageCount_;
            if (auto it = cache_.find(n); it != cache_.end()) it->second = std::make_shared<Page>(p);
        }
    }
}

void PageFile::flush() {
    if (fd_ >= 0 && writable_) {
        ::fsync(fd_);
        traceIo(IoEvent::Kind::Sync, path_);
    }
}

} // namespace jet::detail
