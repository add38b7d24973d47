// The owning, ordered list of server profiles and the load and save of server.dat.
//
// Ownership: a ProfileList owns its records; pointers handed out (at(), append()) stay valid
// until the record is removed or the list is cleared or destroyed. Windows that show profiles
// (the quick-access list, the setup dialog's list) carry these pointers. Two lists never share
// records: each one is filled by its own load of the file.
#pragma once

#include "profiles/serverprofile.h"

#include <QString>

#include <memory>
#include <stdexcept>
#include <vector>

namespace tablor {

// A failure to read or write server.dat; what() says which file, what failed and what to do.
class ProfileFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ProfileList {
public:
    ProfileList() = default;
    ProfileList(const ProfileList&) = delete;
    ProfileList& operator=(const ProfileList&) = delete;

    int size() const { return static_cast<int>(items_.size()); }
    bool empty() const { return items_.empty(); }
    ServerProfile* at(int index) const { return items_.at(static_cast<std::size_t>(index)).get(); }
    // -1 when the record is not in this list.
    int indexOf(const ServerProfile* record) const;
    bool contains(const ServerProfile* record) const { return indexOf(record) >= 0; }

    // Appends the record at the end and returns it (the list now owns it).
    ServerProfile* append(std::unique_ptr<ServerProfile> record);
    ServerProfile* append(const ServerProfile& record);
    // Removes and releases the record; false when it is not in the list.
    bool remove(const ServerProfile* record);
    void clear() { items_.clear(); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<std::unique_ptr<ServerProfile>> items_;
};

// ProgramDir() + "server.dat".
QString serverDatPath();

// Loads the profiles of `path` into `list`.
// - No such file: returns false and leaves the list as it was (the first run).
// - Otherwise the list is cleared and filled with every whole record in file order; trailing
//   bytes that do not make up a whole record are ignored. Returns true.
// - The file exists but cannot be opened or read: throws ProfileFileError; the list then holds
//   the records read before the failure (none when it could not be opened).
bool LoadProfiles(ProfileList& list, const QString& path = serverDatPath());

// Writes every record of `list` to `path`, in list order, replacing the file.
// A record with an empty MdbPath gets `programDir` + "{GUID}.mdb" in the file only; the record
// in memory keeps its empty path. The file is written to a temporary file in the same folder
// and renamed over the old one only when complete, so a failure (full disk, crash) leaves the
// previous file as it was; it is created readable and writable by its owner only (0600).
// Throws ProfileFileError on failure.
void SaveProfiles(const ProfileList& list, const QString& path = serverDatPath());
void SaveProfiles(const ProfileList& list, const QString& path, const QString& programDir);

// A new local Access file name: `programDir` + a GUID in registry form (braces, upper-case
// hexadecimal) + ".mdb".
QString generatedMdbPath(const QString& programDir);

} // namespace tablor
