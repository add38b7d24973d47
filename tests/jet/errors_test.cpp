// Damaged, foreign and unsupported files: each gives a typed exception whose message
// names the file (and the page) and says what to do; nothing crashes.
#include "fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace jet::test {
namespace {

// Reads everything a user can reach; returns normally or throws jet::Error.
void readEverything(const std::filesystem::path& p) {
    auto db = Database::open(p);
    for (const auto& t : db.tableNames()) {
        auto c = db.scan(t);
        while (c.next()) {}
    }
}

template <class E>
std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "(no exception)";
}

TEST(JetErrors, MissingFileIsAnIoErrorNamingThePath) {
    auto msg = messageOf<IoError>([] { Database::open("/nonexistent/orders.mdb"); });
    EXPECT_NE(msg.find("/nonexistent/orders.mdb"), std::string::npos) << msg;
}

TEST(JetErrors, TextFileIsNotADatabase) {
    auto p = std::filesystem::temp_directory_path() / "tablor-jet-notes.mdb";
    writeFile(p, std::vector<uint8_t>(5000, 'x'));
    auto msg = messageOf<FormatError>([&] { Database::open(p); });
    EXPECT_NE(msg.find("tablor-jet-notes.mdb"), std::string::npos) << msg;
    EXPECT_NE(msg.find("not an Access database"), std::string::npos) << msg;
    std::filesystem::remove(p);
}

TEST(JetErrors, AccdbIsRefusedAsNotSupported) {
    JET_REQUIRE_FIXTURE(src, "jackcess_testV2000.mdb");
    auto p = tempCopy(src, "new.accdb");
    auto bytes = readFile(p);
    bytes[0x14] = 2; // ACE 12 (Access 2007)
    std::memcpy(bytes.data() + 4, "Standard ACE DB", 15);
    writeFile(p, bytes);
    auto msg = messageOf<UnsupportedError>([&] { Database::open(p); });
    EXPECT_NE(msg.find("not supported"), std::string::npos) << msg;
    EXPECT_NE(msg.find("new.accdb"), std::string::npos) << msg;
}

TEST(JetErrors, TruncatedFile) {
    JET_REQUIRE_FIXTURE(src, "jackcess_testV1997.mdb");
    auto p = tempCopy(src, "short.mdb");
    auto bytes = readFile(p);
    bytes.resize(2048 + 100);
    writeFile(p, bytes);
    EXPECT_THROW(readEverything(p), FormatError);
}

TEST(JetErrors, CatalogPageOfWrongTypeNamesThePage) {
    JET_REQUIRE_FIXTURE(src, "jackcess_testV2000.mdb");
    auto p = tempCopy(src, "orders.mdb");
    auto bytes = readFile(p);
    bytes[2 * 4096] = 0x01; // the catalog's definition page now claims to be a data page
    writeFile(p, bytes);
    auto msg = messageOf<FormatError>([&] { readEverything(p); });
    EXPECT_NE(msg.find("page 2 of orders.mdb"), std::string::npos) << msg;
}

TEST(JetErrors, DamagedRowsAndChainsAreReportedNotCrashed) {
    // Overwrite every data page's row table of a copy with nonsense, one page at a time:
    // each read either works or throws FormatError.
    JET_REQUIRE_FIXTURE(src, "jackcess_test2V1997.mdb");
    const auto original = readFile(src);
    const size_t ps = 2048;
    int thrown = 0;
    for (size_t page = 3; page * ps < original.size(); ++page) {
        if (original[page * ps] != 0x01) continue;
        auto bytes = original;
        for (size_t k = 8; k < 40; ++k) bytes[page * ps + k] = static_cast<uint8_t>(0xA5 ^ k);
        auto p = std::filesystem::temp_directory_path() / "tablor-jet-damaged.mdb";
        writeFile(p, bytes);
        try {
            readEverything(p);
        } catch (const FormatError& e) {
            ++thrown;
            EXPECT_NE(std::string(e.what()).find("tablor-jet-damaged.mdb"), std::string::npos);
        } catch (const Error&) {
            ++thrown;
        }
        std::filesystem::remove(p);
    }
    EXPECT_GT(thrown, 0);
}

TEST(JetErrors, UnknownTableIsNotFound) {
    JET_REQUIRE_FIXTURE(src, "jackcess_testV1997.mdb");
    auto db = Database::open(src);
    auto msg = messageOf<NotFoundError>([&] { db.table("NoSuchTable"); });
    EXPECT_NE(msg.find("NoSuchTable"), std::string::npos);
}

} // namespace
} // namespace jet::test
