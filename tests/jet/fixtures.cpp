// Test helpers (see fixtures.h).
#include "fixtures.h"

#include "csv_writer.h"
#include "support/files.h"

#include <cstdio>
#include <fstream>
#include <random>

namespace jet::test {

const std::vector<std::string>& allFixtures() {
    static const std::vector<std::string> names = {"jackcess_adox_jet4.mdb",
                                                   "jackcess_bigIndexTestV2000.mdb",
                                                   "jackcess_compIndexTestV1997.mdb",
                                                   "jackcess_compIndexTestV2000.mdb",
                                                   "jackcess_delColTestV1997.mdb",
                                                   "jackcess_delColTestV2000.mdb",
                                                   "jackcess_delTestV1997.mdb",
                                                   "jackcess_delTestV2000.mdb",
                                                   "jackcess_empty2000_template.mdb",
                                                   "jackcess_fixedNumericTestV2000.mdb",
                                                   "jackcess_fixedTextTestV2000.mdb",
                                                   "jackcess_indexTestV1997.mdb",
                                                   "jackcess_indexTestV2000.mdb",
                                                   "jackcess_overflowTestV2000.mdb",
                                                   "jackcess_test2V1997.mdb",
                                                   "jackcess_test2V2000.mdb",
                                                   "jackcess_testIndexCodesV1997.mdb",
                                                   "jackcess_testIndexPropertiesV2000.mdb",
                                                   "jackcess_testUnicodeCompV2003.mdb",
                                                   "jackcess_testV1997.mdb",
                                                   "jackcess_testV2000.mdb",
                                                   "jackcessencrypt_db-enc.mdb",
                                                   "jackcessencrypt_db97-enc.mdb",
                                                   "mdbtestdata_DateTestDatabase.mdb",
                                                   "mdbtestdata_nwind_jet3.mdb",
                                                   "meza_test.mdb",
                                                   "northwind_jet4_statdata.mdb",
                                                   "psc_asas_jpeg_blobs_jet3.mdb",
                                                   "psc_brennfleck_bmp_blob_jet3.mdb",
                                                   "psc_mohandas_jpeg_blobs_jet4.mdb",
                                                   "ucanaccess_charsetGBK.mdb"};
    return names;
}

std::filesystem::path fixturePath(const std::string& name) {
    const std::filesystem::path local = std::filesystem::path(TABLOR_SOURCE_DIR) / "tests/data/mdb" / name;
    if (std::filesystem::exists(local)) return local;
    const std::filesystem::path shared = tablor::test::sharedTestData("mdb") / name;
    if (std::filesystem::exists(shared)) return shared;
    return {};
}

std::string missingFixtureMessage(const std::string& name) {
    return name + " is not in tests/data/mdb nor in " + tablor::test::sharedTestData("mdb").string() +
           " (the shared test files); skipped";
}

std::vector<std::vector<std::string>> parseCsv(const std::string& t) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, any = false;
    for (size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < t.size() && t[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
            any = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
            any = true;
        } else if (c == '\n') {
            row.push_back(std::move(field));
            field.clear();
            rows.push_back(std::move(row));
            row.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any) {
        row.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string exportCsv(const Database& db, const std::string& table) {
    char* data = nullptr;
    size_t size = 0;
    FILE* mem = ::open_memstream(&data, &size);
    {
        auto cursor = db.scan(table);
        tool::CsvWriter csv(mem);
        csv.header(cursor.table().columns);
        while (cursor.next()) csv.row(cursor.values());
    }
    std::fclose(mem);
    std::string s(data, size);
    std::free(data);
    return s;
}

std::filesystem::path tempCopy(const std::filesystem::path& source, const std::string& name) {
    std::random_device rd;
    auto dir = std::filesystem::temp_directory_path() / ("tablor-jet-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    auto target = dir / name;
    std::filesystem::copy_file(source, target);
    std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return target;
}

} // namespace jet::test
