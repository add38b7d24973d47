// Reference files written by Tablor (see writer_reference.h).
#include "writer_reference.h"

#include "writer_test_support.h"

#include <fstream>
#include <sstream>

namespace jet::writer_test {

std::vector<std::string> referenceFileNames() { return {"empty.mdb", "every_type.mdb", "edited.mdb"}; }

void writeReferenceFiles(const fs::path& dir) {
    DatabaseWriter::create(dir / "empty.mdb");

    // Every type, long values in all three forms, a NOT NULL column.
    {
        DatabaseWriter w = DatabaseWriter::create(dir / "every_type.mdb");
        TableSpec s = everyTypeSpec("Every Type");
        s.columns[8].notNull = true;
        w.createTable(s);
        TableWriter t = w.table("Every Type");
        std::mt19937 rng(77);
        for (int i = 0; i < 60; ++i) {
            auto row = randomRow(rng, i);
            if (!row[9].isNull() && row[9].asText().size() > 65536 && i % 20 != 0) row[9] = Value::text("kurz");
            t.insert(row);
        }
    }

    // Index splits, updates that move rows, deletes, a dropped table whose pages are reused.
    {
        DatabaseWriter w = DatabaseWriter::create(dir / "edited.mdb");
        TableSpec gone;
        gone.name = "Gone";
        gone.columns = {{"N", ColumnType::Long}, {"Body", ColumnType::Memo}};
        w.createTable(gone);
        {
            TableWriter g = w.table("Gone");
            for (int32_t i = 0; i < 200; ++i)
                g.insert(std::vector<Value>{Value::longInt(i), Value::text(std::string(i % 20 == 0 ? 500 : 20, 'g'))});
        }
        TableSpec s;
        s.name = "Wörter";
        s.columns = {{"Wort", ColumnType::Text, 60}, {"Zahl", ColumnType::Long}, {"Text", ColumnType::Memo}};
        s.columns[1].notNull = true;
        IndexSpec pk;
        pk.primaryKey = true;
        pk.columns = {"Wort"};
        IndexSpec byNumber;
        byNumber.name = "ZahlIdx";
        byNumber.unique = true;
        byNumber.columns = {"Zahl"};
        s.indexes = {pk, byNumber};
        w.createTable(s);
        w.dropTable("Gone");
        TableWriter t = w.table("Wörter");
        std::mt19937 rng(78);
        static const char* stems[] = {"Äpfel", "Birne", "Ωmega", "zebra", "漢字", "naïve", "-dash", "Straße"};
        std::vector<RowId> ids;
        for (int32_t i = 0; i < 1500; ++i) {
            const std::string word =
                std::string(stems[rng() % 8]) + " " + std::to_string(rng() % 100000) + "/" + std::to_string(i);
            ids.push_back(t.insert(std::vector<Value>{Value::text(word), Value::longInt(i * 7),
                                                      Value::text(std::string(i % 50 == 0 ? 3000 : rng() % 60, 'w'))})
                              .rowId);
        }
        for (size_t k = 0; k < ids.size(); k += 5) t.erase(ids[k]);
        for (size_t k = 2; k < ids.size(); k += 5)
            ids[k] = t.update(ids[k], std::vector<Value>{Value::text("neu " + std::to_string(k)),
                                                         Value::longInt(-static_cast<int32_t>(k)),
                                                         Value::text(std::string(k % 25 == 2 ? 5000 : 10, 'u'))});
    }
}

std::string structureOf(const fs::path& file) {
    std::ostringstream out;
    {
        Database db = Database::open(file);
        out << "pages " << db.pageCount() << " size " << db.pageSize() << "\n";
        for (const auto& e : db.objects()) {
            out << "object " << e.name << " kind " << static_cast<int>(e.kind) << " id " << e.id << " flags " << e.flags
                << "\n";
            if (e.kind != ObjectKind::Table && e.kind != ObjectKind::SystemTable) continue;
            const auto def = db.tableAt(e.definitionPage, e.name);
            out << " table rows " << def->storedRowCount << " auto " << def->nextAutoNumber << " type "
                << int(def->tableType) << " maxcols " << def->maxColumns << " var " << def->varColumnCount
                << " physical " << def->physicalIndexCount << "\n";
            for (const auto& c : def->columns)
                out << " column " << c.name << " type " << int(c.type) << " number " << c.number << " var "
                    << c.varIndex << " fixed " << c.fixedOffset << " length " << c.length << " prec "
                    << int(c.precision) << " scale " << int(c.scale) << " flags " << int(c.flags) << " ext "
                    << int(c.extFlags) << " sort " << c.sortOrder << " required " << c.required << "\n";
            for (const auto& i : def->indexes) {
                out << " index " << i.name << " number " << i.number << " physical " << i.physicalNumber << " type "
                    << int(i.type) << " flags " << int(i.flags) << " root " << i.rootPage << " columns";
                for (const auto& ic : i.columns) out << " " << ic.columnName << (ic.ascending ? "+" : "-");
                out << "\n";
            }
            const bool catalog = e.name == "MSysObjects";
            RowCursor cur = db.scan(def);
            while (cur.next()) {
                out << " row " << cur.rowId().page << ":" << int(cur.rowId().slot);
                const auto& v = cur.values();
                for (size_t k = 0; k < v.size(); ++k) {
                    const std::string& name = def->columns[k].name;
                    if (catalog && (name == "DateCreate" || name == "DateUpdate")) out << " | <time>";
                    else out << " | " << (v[k].isNull() ? std::string("NULL") : v[k].toString());
                }
                out << "\n";
            }
        }
    }
    // Page types and owners (a data or index page names its table's definition page).
    std::ifstream in(file, std::ios::binary);
    std::vector<char> page(4096);
    for (uint32_t n = 0; in.read(page.data(), static_cast<std::streamsize>(page.size())); ++n) {
        if (n == 0) continue;
        const auto type = static_cast<uint8_t>(page[0]);
        out << "page " << n << " type " << int(type);
        if (type == 0x01 || type == 0x03 || type == 0x04) {
            uint32_t owner = 0;
            for (int b = 3; b >= 0; --b) owner = (owner << 8) | static_cast<uint8_t>(page[4 + b]);
            out << " owner " << owner;
        }
        out << "\n";
    }
    return out.str();
}

} // namespace jet::writer_test
