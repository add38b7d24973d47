// Power cuts during a flush, simulated: every write, sync and folder change the writer makes
// is recorded, and the test builds what a disk may hold after a cut at each point: what was
// synced is there, anything written since may or may not be (page by page, in any mix), a
// journal created or removed since the last folder sync may or may not exist. Every such disk
// must open as the state before the flush or after it, and after it once flush() returned.
#include "jet/check.h"
#include "jet/database.h"
#include "jet/writer.h"
#include "file/page_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "writer_test_support.h"

namespace fs = std::filesystem;
using namespace jet;
using namespace jet::writer_test;
using detail::IoEvent;

namespace {

constexpr size_t kPage = 4096;

struct Recorded {
    IoEvent::Kind kind;
    bool journal = false; // the event is about FILE-journal (else the database file)
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
};

std::vector<Recorded>* recording = nullptr;
fs::path recordedFile;

void record(const IoEvent& e) {
    const bool journal = e.path != recordedFile;
    // Writes are split into pages: the unit a disk keeps or loses as a whole.
    if (e.kind == IoEvent::Kind::Write) {
        for (size_t at = 0; at < e.bytes.size(); at += kPage) {
            const size_t n = std::min(kPage, e.bytes.size() - at);
            recording->push_back({e.kind, journal, e.offset + at, {e.bytes.begin() + at, e.bytes.begin() + at + n}});
        }
        return;
    }
    recording->push_back({e.kind, journal, e.offset, {}});
}

void applyWrite(std::vector<uint8_t>& content, const Recorded& w) {
    if (content.size() < w.offset + w.bytes.size()) content.resize(w.offset + w.bytes.size(), 0);
    std::copy(w.bytes.begin(), w.bytes.end(), content.begin() + static_cast<std::ptrdiff_t>(w.offset));
}

// What a disk may hold after a cut before event `cut`. `keep` decides, for each event not yet
// made durable, whether the disk kept it anyway.
struct Disk {
    std::vector<uint8_t> file;
    std::optional<std::vector<uint8_t>> journal;
};

template <class Keep>
Disk diskAfterCut(const std::vector<uint8_t>& base, const std::vector<Recorded>& events, size_t cut, Keep keep) {
    // An event is durable when a later sync of its file (or of the folder, for creating and
    // removing the journal) happened before the cut.
    std::vector<bool> durable(cut, false);
    bool fileSynced = false, journalSynced = false, folderSynced = false;
    for (size_t i = cut; i-- > 0;) {
        const Recorded& e = events[i];
        switch (e.kind) {
        case IoEvent::Kind::Sync: (e.journal ? journalSynced : fileSynced) = true; break;
        case IoEvent::Kind::SyncFolder: folderSynced = true; break;
        case IoEvent::Kind::Create:
        case IoEvent::Kind::Remove: durable[i] = folderSynced; break;
        case IoEvent::Kind::Write:
        case IoEvent::Kind::Truncate: durable[i] = e.journal ? journalSynced : fileSynced; break;
        }
    }
    Disk disk{base, std::nullopt};
    for (size_t i = 0; i < cut; ++i) {
        const Recorded& e = events[i];
        if (!durable[i] && !keep(i)) continue;
        switch (e.kind) {
        case IoEvent::Kind::Create: disk.journal.emplace(); break;
        case IoEvent::Kind::Remove: disk.journal.reset(); break;
        case IoEvent::Kind::Write:
            if (!e.journal) applyWrite(disk.file, e);
            else if (disk.journal) applyWrite(*disk.journal, e);
            break;
        case IoEvent::Kind::Truncate:
            if (!e.journal) disk.file.resize(e.offset);
            break;
        default: break;
        }
    }
    return disk;
}

std::vector<Value> logRow(int32_t i, const std::string& tag) {
    return {Value::longInt(i), Value::text(tag + " " + std::to_string(i)),
            Value::text(std::string(static_cast<size_t>(80 + (i * 37) % 500), 'p') + tag)};
}

// Records what `change` (given a writer on a copy of a 400-row table) sends to the disk, and
// then checks every disk a power cut during it could leave: our reader must see the file as
// before or as after the change, never anything between, and after `change` returned only
// as after.
void checkEveryPowerCut(const std::function<void(DatabaseWriter&, const std::vector<RowId>&)>& change,
                        Version version = Version::Jet4) {
    TempDir dir;
    const fs::path work = dir.path / "work.mdb";
    {
        DatabaseWriter w = DatabaseWriter::create(work, version);
        w.createTable(logTableSpec("Log"));
        TableWriter t = w.table("Log");
        for (int32_t i = 1; i <= 400; ++i) t.insert(logRow(i, "old"));
    }
    const std::vector<uint8_t> base = readFile(work);
    const std::string before = describeTables(work);
    std::vector<Recorded> events;
    size_t flushReturnedAt = 0;
    {
        DatabaseWriter w = DatabaseWriter::open(work);
        std::vector<RowId> ids;
        {
            RowCursor cur = w.database().scan("Log");
            while (cur.next()) ids.push_back(cur.rowId());
        }
        recording = &events;
        recordedFile = work;
        const auto trace = assigned(detail::ioTraceHook, &record);
        change(w, ids);
        flushReturnedAt = events.size();
    }
    const std::string after = describeTables(work);
    ASSERT_NE(before, after);
    ASSERT_GT(flushReturnedAt, 50u) << "the change should write many pages";

    std::mt19937 rng(20261208);
    const fs::path file = dir.path / "cut.mdb";
    const fs::path journal = file.string() + "-journal";
    size_t disks = 0, undone = 0;
    for (size_t cut = 0; cut <= events.size(); ++cut) {
        // Three ways for the disk to treat what was not synced: lost, kept, and a random mix.
        for (int way = 0; way < 3; ++way) {
            std::bernoulli_distribution coin(0.5);
            auto keep = [&](size_t) { return way == 1 || (way == 2 && coin(rng)); };
            const Disk disk = diskAfterCut(base, events, cut, keep);
            writeFile(file, disk.file);
            fs::remove(journal);
            if (disk.journal) writeFile(journal, *disk.journal);
            const std::string where = "cut before event " + std::to_string(cut) + " of " +
                                      std::to_string(events.size()) +
                                      (way == 0   ? " (unsynced lost)"
                                       : way == 1 ? " (unsynced kept)"
                                                  : " (a mix)");
            std::string seen;
            try {
                seen = describeTables(file);
            } catch (const std::exception& e) {
                FAIL() << where << ": our reader cannot open the file: " << e.what();
            }
            if (cut >= flushReturnedAt) {
                ASSERT_EQ(seen, after) << where << ": the flush had returned, its changes must stay";
            } else {
                ASSERT_TRUE(seen == before || seen == after) << where << ": " << seen;
            }
            {
                DatabaseWriter w = DatabaseWriter::open(file); // recovery: undoes a cut-short flush
            }
            ASSERT_FALSE(fs::exists(journal)) << where;
            ASSERT_EQ(describeTables(file), seen) << where << ": the next writer changed what readers saw";
            if (seen == before) ++undone;
            ++disks;
        }
    }
    std::printf("%zu events recorded, %zu disks a power cut could leave checked (%zu undone), every one sound\n",
                events.size(), disks, undone);
}

// One flush that appends pages, rewrites existing ones and moves rows: new rows, changed rows
// (longer), deleted rows.
void insertUpdateDelete(DatabaseWriter& w, const std::vector<RowId>& ids) {
    TableWriter t = w.table("Log");
    for (int32_t i = 401; i <= 700; ++i) t.insert(logRow(i, "new"));
    for (size_t k = 0; k < ids.size(); k += 3)
        t.update(ids[k], logRow(static_cast<int32_t>(k + 1), "changed and longer"));
    for (size_t k = 1; k < ids.size(); k += 7) t.erase(ids[k]);
    w.flush();
}

TEST(WriterPowerLoss, EveryDiskAPowerCutCanLeaveOpensAsBeforeOrAfterTheFlush) {
    checkEveryPowerCut(insertUpdateDelete);
}

// The same in an Access 97 file (2 KB pages, more of them per flush).
TEST(WriterPowerLoss, EveryPowerCutInAnAccess97FileLeavesItAsBeforeOrAfterTheFlush) {
    checkEveryPowerCut(insertUpdateDelete, Version::Jet3);
}

// A transaction of four flushes, which rewrite some pages more than once (the same rows
// emptied, then refilled): no cut may show the file after one flush but not all.
TEST(WriterPowerLoss, APowerCutInsideATransactionLeavesTheFileAsBeforeIt) {
    checkEveryPowerCut([](DatabaseWriter& w, const std::vector<RowId>& ids) {
        DatabaseWriter::Transaction tx(w);
        TableWriter t = w.table("Log");
        for (size_t k = 0; k < ids.size(); k += 2) t.erase(ids[k]);
        w.flush();
        for (int32_t i = 401; i <= 600; ++i) t.insert(logRow(i, "refill"));
        w.flush();
        for (size_t k = 1; k < ids.size(); k += 4)
            t.update(ids[k], logRow(static_cast<int32_t>(k + 1), "changed in the second half"));
        w.flush();
        for (int32_t i = 601; i <= 650; ++i) t.insert(logRow(i, "last"));
        tx.commit();
    });
}

} // namespace
