// Creating a new, empty Access 2000 (Jet 4) database from nothing: header page, global
// usage map, the four system tables Access requires (MSysObjects, MSysACEs, MSysQueries,
// MSysRelationships) with their indexes, and the catalog rows of the three containers
// (Tables, Databases, Relationships), MSysDb and the system tables.
#pragma once

#include "jet/database.h"
#include "jet/schema.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace jet::detail {

// The page image of a new empty database: 16 pages, laid out as Microsoft's own ADOX lays
// out an empty Access 2000 file. `createdDays` is the creation time as an Access day number.
std::vector<std::vector<uint8_t>> buildEmptyJet4Database(double createdDays);

// The same for Access 97 (Jet 3): 18 pages of 2 KB, the system tables as Access 97 makes
// them (255-byte text columns, no MSysQueries.LvExtra, its own SIDs), names and text in
// Windows-1252, index keys in Access 97's General order.
std::vector<std::vector<uint8_t>> buildEmptyJet3Database(double createdDays);

// Writes buildEmptyJet4Database() (or the Jet 3 one) to `path` through a temporary file in the same folder and
// a rename, so a crash leaves either no file or a complete one. Refuses an existing path.
void createEmptyJet4Database(const std::filesystem::path& path);
void createEmptyDatabaseFile(const std::filesystem::path& path, Version version);

// The system tables' definitions as the new file holds them (for tests and the writer).
std::vector<TableDef> systemTableDefinitions();

// Catalog ids of the containers and the parent of user tables.
inline constexpr int32_t kTablesContainerId = 0x0F000001;
inline constexpr int32_t kDatabasesContainerId = 0x0F000002;
inline constexpr int32_t kRelationshipsContainerId = 0x0F000003;
inline constexpr int32_t kTopContainerId = 0x0F000000;
inline constexpr uint32_t kMSysObjectsPage = 2;

// The current time as an Access day number (local time, as Access stores it).
double accessNow();

} // namespace jet::detail
