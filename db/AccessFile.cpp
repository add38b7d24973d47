// AccessFile.cpp — the process-wide registry of open Access files.
#include "db/AccessFile.h"

#include "db/DbError.h"

#include "jet/database.h"
#include "jet/error.h"
#include "jet/index_keys.h"
#include "jet/sql/engine.h"
#include "jet/sql/error.h"
#include "jet/writer.h"

#include <QFileInfo>

#include <exception>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace tablor {

namespace {

std::map<QString, std::weak_ptr<AccessFile>>& registry() {
    static std::map<QString, std::weak_ptr<AccessFile>> files;
    return files;
}

std::filesystem::path fsPath(const QString& path) { return std::filesystem::path(path.toStdString()); }

} // namespace

EDatabaseError::Kind databaseErrorKind(const jet::Error& e) {
    using Kind = EDatabaseError::Kind;
    // Most derived first: the SQL errors and the writer's are jet::Errors too.
    if (dynamic_cast<const jet::sql::SyntaxError*>(&e)) return Kind::Syntax;
    if (dynamic_cast<const jet::sql::NotSupportedError*>(&e)) return Kind::NotSupported;
    if (dynamic_cast<const jet::sql::SqlError*>(&e)) return Kind::Statement;
    if (dynamic_cast<const jet::IoError*>(&e)) return Kind::Io;
    if (dynamic_cast<const jet::FormatError*>(&e)) return Kind::Damaged;
    if (dynamic_cast<const jet::UnsupportedError*>(&e)) return Kind::Unsupported;
    if (dynamic_cast<const jet::NotFoundError*>(&e)) return Kind::NotFound;
    if (dynamic_cast<const jet::EncodingError*>(&e)) return Kind::Encoding;
    if (dynamic_cast<const jet::InUseError*>(&e)) return Kind::InUse;
    if (dynamic_cast<const jet::ConstraintError*>(&e)) return Kind::Constraint;
    if (dynamic_cast<const jet::SchemaError*>(&e)) return Kind::Schema;
    if (dynamic_cast<const jet::ValueError*>(&e) || dynamic_cast<const jet::KeyEncodingError*>(&e)) return Kind::Value;
    return Kind::General;
}

EDatabaseError databaseError(const jet::Error& e, std::optional<qint64> row) {
    // A layer that put its own words over an engine failure keeps that failure underneath:
    // its kind and table are the ones that tell what happened.
    const jet::Error* cause = &e;
    std::exception_ptr held; // keeps the nested failure alive while `cause` points at it
    while (const auto* nested = dynamic_cast<const std::nested_exception*>(cause)) {
        if (!nested->nested_ptr()) break;
        try {
            std::rethrow_exception(nested->nested_ptr());
        } catch (const jet::Error& inner) {
            held = std::current_exception();
            cause = &inner;
            continue;
        } catch (...) {}
        break;
    }
    const std::string& table = cause->table().empty() ? e.table() : cause->table();
    return EDatabaseError(databaseErrorKind(*cause), e.what(), QString::fromStdString(table), row);
}

void rethrowAsDatabaseError(std::optional<qint64> row) {
    try {
        throw;
    } catch (const EDatabaseError& e) {
        if (!row || e.row()) throw;
        throw EDatabaseError(e.kind(), e.what(), e.table(), row);
    } catch (const jet::Error& e) {
        throw databaseError(e, row);
    } catch (const std::bad_alloc&) {
        throw EDatabaseError(EDatabaseError::Kind::OutOfMemory,
                             "Out of memory while reading the Access file. Close other programs and try again.", {},
                             row);
    }
}

std::shared_ptr<AccessFile> AccessFile::open(const QString& path) {
    // SELECT ... INTO ... IN 'file' opens the other file through this registry too, so that a
    // file held by a connection is not refused as in use by ourselves.
    static const bool openerInstalled = [] {
        jet::sql::setOtherDatabaseOpener([](const std::string& other) {
            std::shared_ptr<AccessFile> f = AccessFile::open(QString::fromStdString(other));
            return std::shared_ptr<jet::sql::Database>(f, f->sql().get());
        });
        return true;
    }();
    (void)openerInstalled;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        throw EDatabaseError(
            EDatabaseError::Kind::NotFound,
            QStringLiteral("The Access file '%1' does not exist. Check the path or choose another file.")
                .arg(path)
                .toStdString());
    if (info.isDir())
        throw EDatabaseError(
            EDatabaseError::Kind::Io,
            QStringLiteral("'%1' is a folder, not an Access file. Choose an .mdb file.").arg(path).toStdString());
    const QString key = info.canonicalFilePath();
    auto& files = registry();
    if (auto it = files.find(key); it != files.end()) {
        if (auto shared = it->second.lock()) return shared;
        files.erase(it);
    }

    std::shared_ptr<AccessFile> file(new AccessFile());
    file->m_path = path;
    file->m_key = key;
    try {
        // A file without any write permission bit counts as read-only even for a user (root)
        // whom the system would let write it anyway.
        struct stat st {};
        const QByteArray local = key.toLocal8Bit();
        if (::access(local.constData(), W_OK) != 0 ||
            (::stat(local.constData(), &st) == 0 && (st.st_mode & 0222) == 0)) {
            file->m_readOnlyReason = QStringLiteral("The Access file '%1' is read-only; nothing can be changed in it. "
                                                    "Copy it or change its permissions to edit it.")
                                         .arg(path);
        } else {
            try {
                file->m_writer = std::make_shared<jet::DatabaseWriter>(jet::DatabaseWriter::open(fsPath(key)));
            } catch (const jet::UnsupportedError& e) {
                // Readable but not writable by the engine: open it for
                // reading if the reader accepts it, else report the reader's reason below.
                file->m_readOnlyReason = QString::fromUtf8(e.what());
                file->m_readOnlyKind = EDatabaseError::Kind::Unsupported;
            }
        }
        if (file->m_writer) {
            file->m_db = std::shared_ptr<jet::Database>(file->m_writer, &file->m_writer->database());
            file->m_sql = jet::sql::openEngineDatabase(file->m_writer);
        } else {
            file->m_db = std::make_shared<jet::Database>(jet::Database::open(fsPath(key)));
            file->m_sql = jet::sql::openEngineDatabase(file->m_db);
        }
    } catch (...) {
        rethrowAsDatabaseError();
    }
    files[key] = file;
    return file;
}

AccessFile::~AccessFile() {
    auto& files = registry();
    if (auto it = files.find(m_key); it != files.end() && it->second.expired()) files.erase(it);
}

jet::DatabaseWriter& AccessFile::requireWriter(const QString& what) const {
    if (!m_writer)
        throw EDatabaseError(m_readOnlyKind, QStringLiteral("Cannot %1: %2").arg(what, m_readOnlyReason).toStdString());
    return *m_writer;
}

void AccessFile::flush() const {
    if (!m_writer) return;
    ++m_generation;
    try {
        m_writer->flush();
    } catch (...) {
        rethrowAsDatabaseError();
    }
}

void AccessFile::release(std::shared_ptr<AccessFile>& file) {
    std::shared_ptr<jet::DatabaseWriter> writer = file && file.use_count() == 1 ? file->m_writer : nullptr;
    file.reset();
    if (!writer || writer.use_count() != 1) return; // another owner closes it
    try {
        writer->close();
    } catch (...) {
        rethrowAsDatabaseError();
    }
}

void AccessFile::flushAll() {
    std::vector<std::shared_ptr<AccessFile>> open;
    for (const auto& [key, file] : registry())
        if (auto f = file.lock()) open.push_back(std::move(f));
    for (const auto& f : open) f->flush();
}

int AccessFile::openCount() {
    int n = 0;
    for (const auto& [key, file] : registry())
        if (!file.expired()) ++n;
    return n;
}

} // namespace tablor
