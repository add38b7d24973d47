// Relationships between tables as Access keeps them in MSysRelationships: one row per column
// pair, grouped here into one definition per relationship. The child table holds the foreign
// key (MSysRelationships' szObject, szColumn); the parent table is the one it refers to
// (szReferencedObject, szReferencedColumn).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jet {

// Bits of MSysRelationships.grbit.
namespace relationship_flags {
inline constexpr uint32_t OneToOne = 0x00000001;
inline constexpr uint32_t NoIntegrity = 0x00000002; // referential integrity not enforced
inline constexpr uint32_t Inherited = 0x00000004;   // between tables linked from another database
inline constexpr uint32_t CascadeUpdates = 0x00000100;
inline constexpr uint32_t CascadeDeletes = 0x00001000;
inline constexpr uint32_t CascadeNull = 0x00002000; // a deleted parent sets the foreign key to null
inline constexpr uint32_t LeftOuterJoin = 0x01000000;
inline constexpr uint32_t RightOuterJoin = 0x02000000;
} // namespace relationship_flags

struct Relationship {
    std::string name;
    std::string childTable;
    std::vector<std::string> childColumns; // aligned with parentColumns
    std::string parentTable;
    std::vector<std::string> parentColumns;
    uint32_t flags = 0; // relationship_flags bits

    bool enforced() const { return !(flags & relationship_flags::NoIntegrity); }
    bool cascadesUpdates() const { return enforced() && (flags & relationship_flags::CascadeUpdates); }
    bool cascadesDeletes() const { return enforced() && (flags & relationship_flags::CascadeDeletes); }
    bool cascadesNull() const { return enforced() && (flags & relationship_flags::CascadeNull); }
    bool oneToOne() const { return flags & relationship_flags::OneToOne; }
};

} // namespace jet
