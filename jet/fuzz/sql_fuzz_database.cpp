#include "sql_fuzz_database.h"

#include "jet/sql/engine.h"
#include "jet/sql/executor.h"
#include "jet/writer.h"
#include "write/writer_impl.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace jet::fuzz {
namespace {

ColumnSpec column(std::string name, ColumnType type, uint16_t length = 0) {
    ColumnSpec c;
    c.name = std::move(name);
    c.type = type;
    c.length = length;
    return c;
}

IndexSpec index(std::string name, std::vector<std::string> columns, bool primaryKey = false, bool unique = false,
                std::vector<bool> descending = {}) {
    IndexSpec ix;
    ix.name = std::move(name);
    ix.columns = std::move(columns);
    ix.primaryKey = primaryKey;
    ix.unique = unique;
    ix.descending = std::move(descending);
    return ix;
}

void createTables(DatabaseWriter& w) {
    TableSpec customers{"Customers", {}, {}};
    customers.columns = {column("ID", ColumnType::Long),         column("Name", ColumnType::Text, 40),
                         column("City", ColumnType::Text, 30),   column("Joined", ColumnType::DateTime),
                         column("Credit", ColumnType::Currency), column("Notes", ColumnType::Memo),
                         column("Active", ColumnType::Boolean)};
    customers.columns[0].autoNumber = true;
    customers.columns[1].notNull = true;
    customers.indexes = {index("PrimaryKey", {"ID"}, true), index("Name", {"Name"}, false, true),
                         index("City", {"City"})};
    w.createTable(customers);

    TableSpec orders{"Orders", {}, {}};
    orders.columns = {column("OrderID", ColumnType::Long),     column("CustomerID", ColumnType::Long),
                      column("Ordered", ColumnType::DateTime), column("Amount", ColumnType::Double),
                      column("Qty", ColumnType::Integer),      column("Priority", ColumnType::Byte),
                      column("Price", ColumnType::Numeric),    column("Ratio", ColumnType::Single),
                      column("Token", ColumnType::Guid),       column("Tag", ColumnType::Binary, 16),
                      column("Picture", ColumnType::Ole)};
    orders.columns[6].precision = 10;
    orders.columns[6].scale = 2;
    orders.indexes = {index("PrimaryKey", {"OrderID"}, true), index("CustomerID", {"CustomerID"}),
                      index("Ordered", {"Ordered"}, false, false, {true}), index("Amount", {"Amount"})};
    w.createTable(orders);

    TableSpec lines{"OrderLines", {}, {}};
    lines.columns = {column("OrderID", ColumnType::Long), column("Line", ColumnType::Integer),
                     column("Product", ColumnType::Text, 20), column("Note", ColumnType::Text, 255)};
    lines.columns[3].compressedUnicode = false;
    lines.indexes = {index("PrimaryKey", {"OrderID", "Line"}, true),
                     index("Product", {"Product", "Line"}, false, false, {true, false})};
    w.createTable(lines);

    TableSpec log{"Log", {column("At", ColumnType::DateTime), column("Message", ColumnType::Memo)}, {}};
    w.createTable(log);
}

const char* const kRows[] = {
    "INSERT INTO Customers (Name, City, Joined, Credit, Notes, Active) VALUES ('Alfreds', 'Berlin', #2024-01-31#, "
    "1250.5, 'first customer', True)",
    "INSERT INTO Customers (Name, City, Joined, Credit, Notes, Active) VALUES ('Bólido Comidas', 'Madrid', "
    "#1/15/1999 13:45#, -20.0001, NULL, False)",
    "INSERT INTO Customers (Name, City, Joined, Credit, Active) VALUES ('Ernst Handel', 'Graz', #1899-12-29 06:00#, "
    "0, True)",
    "INSERT INTO Customers (Name, City, Active) VALUES ('Königlich Essen', 'Brandenburg', True)",
    "INSERT INTO Customers (Name, City, Notes, Active) VALUES ('Ωmega', NULL, '', False)",
    "INSERT INTO Customers (Name, City, Joined, Credit, Active) VALUES ('Wartian Herkku', 'Oulu', #12:30 PM#, "
    "99999.9999, True)",
    "INSERT INTO Orders VALUES (10248, 1, #2024-02-01#, 32.38, 3, 1, 12.34, 0.5, "
    "'{00112233-4455-6677-8899-AABBCCDDEEFF}', 'tag', 'picture bytes')",
    "INSERT INTO Orders VALUES (10249, 1, #2024-02-02#, 11.61, 1, 2, -0.01, 1e-3, NULL, NULL, NULL)",
    "INSERT INTO Orders VALUES (10250, 2, #2024-02-02#, 65.83, 20, 255, 99999999.99, -2.5, "
    "'{FFFFFFFF-0000-0000-0000-000000000000}', 'x', NULL)",
    "INSERT INTO Orders (OrderID, CustomerID, Amount) VALUES (10251, 3, 1e100)",
    "INSERT INTO Orders (OrderID, CustomerID, Qty) VALUES (10252, NULL, -32768)",
    "INSERT INTO Orders (OrderID, CustomerID, Ordered) VALUES (10253, 6, #1753-01-01#)",
    "INSERT INTO OrderLines VALUES (10248, 1, 'Queso Cabrales', 'one')",
    "INSERT INTO OrderLines VALUES (10248, 2, 'Mozzarella', NULL)",
    "INSERT INTO OrderLines VALUES (10249, 1, 'Tofu', 'ünïcödé')",
    "INSERT INTO OrderLines VALUES (10250, 1, 'Queso Cabrales', '')",
    "INSERT INTO OrderLines VALUES (10250, 2, NULL, 'no product')",
    "INSERT INTO Log VALUES (#2024-03-01 08:00:00#, 'started')",
};

// Long enough to live on long-value pages of their own.
void insertLongMemos(jet::sql::Connection& c) {
    std::string memo;
    for (int i = 0; memo.size() < 5000; ++i) memo += "Zeile " + std::to_string(i) + " für das Memo. ";
    c.execute("UPDATE Customers SET Notes = '" + memo + "' WHERE ID = 3");
    c.execute("INSERT INTO Log VALUES (#2024-03-02#, '" + memo + memo + "')");
}

// The statements cannot make relationships: they go into MSysRelationships directly, one row
// per column pair, as Access writes them.
void addRelationships(const std::filesystem::path& path) {
    detail::WriterImpl w(path, OpenOptions{});
    detail::TableState& rel = w.table("MSysRelationships");
    auto row = [&](const char* name, uint32_t flags, const char* child, const char* childColumn, const char* parent,
                   const char* parentColumn) {
        const Value values[] = {Value::text(name),   Value::longInt(static_cast<int32_t>(flags)),
                                Value::longInt(1),   Value::longInt(0),
                                Value::text(child),  Value::text(childColumn),
                                Value::text(parent), Value::text(parentColumn)};
        w.insert(rel, values);
    };
    row("CustomersOrders", relationship_flags::CascadeUpdates | relationship_flags::CascadeDeletes, "Orders",
        "CustomerID", "Customers", "ID");
    row("OrdersOrderLines", 0, "OrderLines", "OrderID", "Orders", "OrderID");
    w.flush();
}

std::vector<std::uint8_t> readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::filesystem::path freshFolder() {
    std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = base + "/tablor-fuzz-sql-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a folder in " + base);
    return pattern;
}

} // namespace

SqlFuzzDatabase::SqlFuzzDatabase()
    : folder_(freshFolder()), path_(folder_ / "fuzz.mdb"), otherPath_(folder_ / "other.mdb") {
    {
        auto writer = std::make_shared<DatabaseWriter>(DatabaseWriter::create(path_));
        createTables(*writer);
        jet::sql::Connection c(jet::sql::openEngineDatabase(writer));
        for (const char* statement : kRows) c.execute(statement);
        insertLongMemos(c);
        c.database().flush();
    }
    addRelationships(path_);
    DatabaseWriter::create(otherPath_).flush();
    bytes_ = readAll(path_);
    otherBytes_ = readAll(otherPath_);
}

SqlFuzzDatabase::~SqlFuzzDatabase() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

void SqlFuzzDatabase::restore() {
    writeAll(path_, bytes_);
    writeAll(otherPath_, otherBytes_);
    std::error_code ec;
    std::filesystem::remove(path_.string() + "-journal", ec);
    std::filesystem::remove(otherPath_.string() + "-journal", ec);
}

} // namespace jet::fuzz
