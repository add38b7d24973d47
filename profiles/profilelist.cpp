// ProfileList and the load and save of server.dat.
#include "profiles/profilelist.h"

#include "profiles/programdir.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tablor {
namespace {

std::string u8(const QString& s) { return s.toStdString(); }

std::string systemError(int err) { return std::strerror(err); }

// Closes a descriptor and removes the temporary file unless released.
struct TempFile {
    int fd = -1;
    QByteArray path;
    bool keep = false;
    ~TempFile() {
        if (fd >= 0) ::close(fd);
        if (!keep && !path.isEmpty()) ::unlink(path.constData());
    }
};

// Writes everything, syncs and closes; 0 or the errno of the first failure.
int writeSyncClose(TempFile& temp, const QByteArray& data) {
    const char* p = data.constData();
    auto left = static_cast<std::size_t>(data.size());
    while (left > 0) {
        const ssize_t n = ::write(temp.fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(temp.fd) != 0) return errno;
    const int rc = ::close(temp.fd);
    temp.fd = -1;
    return rc != 0 ? errno : 0;
}

} // namespace

int ProfileList::indexOf(const ServerProfile* record) const {
    const auto it = std::find_if(items_.begin(), items_.end(), [record](const auto& p) { return p.get() == record; });
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

ServerProfile* ProfileList::append(std::unique_ptr<ServerProfile> record) {
    items_.push_back(std::move(record));
    return items_.back().get();
}

ServerProfile* ProfileList::append(const ServerProfile& record) {
    return append(std::make_unique<ServerProfile>(record));
}

bool ProfileList::remove(const ServerProfile* record) {
    const int i = indexOf(record);
    if (i < 0) return false;
    items_.erase(items_.begin() + i);
    return true;
}

QString serverDatPath() { return ProgramDir() + QStringLiteral("server.dat"); }

QString generatedMdbPath(const QString& programDir) {
    return programDir + QUuid::createUuid().toString(QUuid::WithBraces).toUpper() + QStringLiteral(".mdb");
}

bool LoadProfiles(ProfileList& list, const QString& path) {
    if (!QFileInfo::exists(path)) return false;
    list.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw ProfileFileError("Could not open the profile file " + u8(path) + ": " + u8(file.errorString()) +
                               ". Check that it is a file you may read; no profiles were loaded.");
    }
    QByteArray record(ServerProfile::RecordSize, '\0');
    for (;;) {
        const qint64 n = file.read(record.data(), ServerProfile::RecordSize);
        if (n < 0) {
            throw ProfileFileError("Could not read the profile file " + u8(path) + ": " + u8(file.errorString()) +
                                   ". " + std::to_string(list.size()) + " profiles were read before the error.");
        }
        if (n < ServerProfile::RecordSize) break; // the end, or a trailing partial record
        list.append(ServerProfile::fromRecord(record.constData()));
    }
    return true;
}

void SaveProfiles(const ProfileList& list, const QString& path) { SaveProfiles(list, path, ProgramDir()); }

void SaveProfiles(const ProfileList& list, const QString& path, const QString& programDir) {
    QByteArray data;
    data.reserve(qsizetype(list.size()) * ServerProfile::RecordSize);
    for (const auto& record : list) {
        if (record->MdbPath.isEmpty()) {
            ServerProfile copy = *record;
            copy.MdbPath = generatedMdbPath(programDir);
            data += copy.toRecord();
        } else {
            data += record->toRecord();
        }
    }

    // A server.dat that is a symbolic link (kept in a synced folder, say) stays one: the new
    // file replaces the link's target.
    const QFileInfo info(path);
    const QString targetPath = info.isSymLink() ? info.symLinkTarget() : path;
    const QByteArray target = QFile::encodeName(targetPath);
    const QString failed = "Could not save the server profiles to " + path + ": ";
    const char* keepNote = ". The previous file was left as it was; free some space or check "
                           "the folder's permissions and apply again.";
    TempFile temp;
    temp.path = target + ".tmp-XXXXXX";
    temp.fd = ::mkstemp(temp.path.data()); // created with mode 0600
    if (temp.fd < 0) {
        const int err = errno;
        temp.path.clear();
        throw ProfileFileError(u8(failed) + "cannot create a file in its folder (" + systemError(err) + ")" + keepNote);
    }
    int err = writeSyncClose(temp, data);
    if (err == 0 && ::rename(temp.path.constData(), target.constData()) != 0) err = errno;
    if (err != 0) throw ProfileFileError(u8(failed) + systemError(err) + keepNote);
    temp.keep = true;
    // Make the rename itself durable; a failure here loses nothing that is not already saved.
    const QByteArray folder = QFile::encodeName(QFileInfo(targetPath).absolutePath());
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

} // namespace tablor
