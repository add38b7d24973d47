// DataSet.cpp — state machine, cursor, edit buffer, events and field objects of TDataSet.
#include "db/DataSet.h"

#include "db/BusyCursor.h"
#include "db/DbError.h"

#include <QRegularExpression>

#include <algorithm>
#include <climits>
#include <cmath>

namespace tablor {

namespace {

const QDate kDayZero(1899, 12, 30);

QDateTime parseDateTimeText(const QString& text) {
    const QString t = text.trimmed();
    static const char* const formats[] = {
        "yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss.zzz",
        "yyyy-MM-ddTHH:mm:ss",     "yyyy-MM-dd HH:mm",    "yyyy-MM-dd",
    };
    for (const char* f : formats) {
        QDateTime dt = QDateTime::fromString(t, QLatin1String(f));
        if (dt.isValid()) {
            dt.setTimeSpec(Qt::UTC);
            return dt;
        }
    }
    // MySQL writes fractions with up to six digits; Qt reads three.
    static const QRegularExpression frac(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2}[ T]\\d{2}:\\d{2}:\\d{2})\\.(\\d{1,6})$"));
    const auto m = frac.match(t);
    if (m.hasMatch()) {
        QDateTime dt = QDateTime::fromString(m.captured(1).replace(QLatin1Char('T'), QLatin1Char(' ')),
                                             QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (dt.isValid()) {
            dt.setTimeSpec(Qt::UTC);
            const QString ms = (m.captured(2) + QStringLiteral("00")).left(3);
            return dt.addMSecs(ms.toInt());
        }
    }
    for (const char* f : {"HH:mm:ss.zzz", "HH:mm:ss", "HH:mm"}) {
        const QTime tm = QTime::fromString(t, QLatin1String(f));
        if (tm.isValid()) return QDateTime(kDayZero, tm, Qt::UTC);
    }
    return {};
}

bool isIntegerType(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar: return true;
    default: return false;
    }
}

bool isFloatType(const QVariant& v) { return v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float; }

[[noreturn]] void badValue(const QString& text, const QString& what, const QString& field) {
    throw EDatabaseError(QStringLiteral("'%1' is not a valid %2 value for field '%3'.").arg(text, what, field));
}

} // namespace

QDateTime DateTimeFromDays(double days) {
    const double whole = std::trunc(days);
    double frac = std::fabs(days - whole);
    qint64 ms = std::llround(frac * 86400000.0);
    qint64 dayCount = static_cast<qint64>(whole);
    if (ms >= 86400000) { // rounding reached midnight
        ms -= 86400000;
        dayCount += days < 0 ? -1 : 1;
    }
    return QDateTime(kDayZero.addDays(dayCount), QTime(0, 0).addMSecs(static_cast<int>(ms)), Qt::UTC);
}

double DaysFromDateTime(const QDateTime& value) {
    if (!value.isValid()) return 0.0;
    const qint64 d = kDayZero.daysTo(value.date());
    const double f = value.time().msecsSinceStartOfDay() / 86400000.0;
    return d >= 0 ? d + f : d - f;
}

QVariant NormalizeFieldValue(const QVariant& value, TFieldType kind, const QString& fieldName) {
    if (!value.isValid() || value.isNull()) return {};
    const int tid = value.typeId();
    if (IsIntegerKind(kind)) {
        if (tid == QMetaType::Bool) return QVariant(qlonglong(value.toBool() ? 1 : 0));
        if (isIntegerType(value)) {
            if (tid == QMetaType::ULongLong && value.toULongLong() > quint64(LLONG_MAX))
                return QVariant(value.toULongLong());
            return QVariant(value.toLongLong());
        }
        if (isFloatType(value)) {
            const double d = value.toDouble();
            if (std::trunc(d) != d || std::fabs(d) > 9.2e18)
                badValue(QString::number(d, 'g', 17), QStringLiteral("integer"), fieldName);
            return QVariant(qlonglong(d));
        }
        const QString t = value.toString().trimmed();
        bool ok = false;
        const qlonglong n = t.toLongLong(&ok);
        if (ok) return QVariant(n);
        const qulonglong u = t.toULongLong(&ok);
        if (ok) return QVariant(u);
        badValue(value.toString(), QStringLiteral("integer"), fieldName);
    }
    if (IsFloatKind(kind)) {
        if (isFloatType(value) || isIntegerType(value)) return QVariant(value.toDouble());
        if (tid == QMetaType::Bool) return QVariant(value.toBool() ? 1.0 : 0.0);
        // Text is kept as text so that decimal digits beyond a double's precision survive.
        const QString t = value.toString().trimmed();
        bool ok = false;
        t.toDouble(&ok);
        if (!ok || t.isEmpty()) badValue(value.toString(), QStringLiteral("floating point"), fieldName);
        return QVariant(t);
    }
    if (kind == TFieldType::ftBoolean) {
        if (tid == QMetaType::QString) {
            const QString t = value.toString().trimmed().toLower();
            if (t == QLatin1String("true") || t == QLatin1String("1")) return QVariant(true);
            if (t == QLatin1String("false") || t == QLatin1String("0")) return QVariant(false);
            badValue(value.toString(), QStringLiteral("Boolean"), fieldName);
        }
        return QVariant(value.toBool());
    }
    if (IsDateTimeKind(kind)) {
        switch (tid) {
        case QMetaType::QDateTime: {
            QDateTime dt = value.toDateTime();
            if (dt.timeSpec() != Qt::UTC) dt = QDateTime(dt.date(), dt.time(), Qt::UTC); // keep the wall-clock value
            return QVariant(dt);
        }
        case QMetaType::QDate: return QVariant(QDateTime(value.toDate(), QTime(0, 0), Qt::UTC));
        case QMetaType::QTime: return QVariant(QDateTime(kDayZero, value.toTime(), Qt::UTC));
        case QMetaType::Double:
        case QMetaType::Float: return QVariant(DateTimeFromDays(value.toDouble()));
        default: break;
        }
        const QDateTime dt = parseDateTimeText(value.toString());
        if (!dt.isValid()) badValue(value.toString(), QStringLiteral("date and time"), fieldName);
        return QVariant(dt);
    }
    if (IsBinaryKind(kind)) {
        if (tid == QMetaType::QByteArray) return value;
        return QVariant(value.toString().toLatin1());
    }
    if (IsTextKind(kind)) {
        if (tid == QMetaType::QByteArray) return QVariant(QString::fromUtf8(value.toByteArray()));
        if (tid == QMetaType::QDateTime || tid == QMetaType::QDate || tid == QMetaType::QTime || isFloatType(value))
            return QVariant(VariantToText(value, TFieldType::ftVariant));
        return QVariant(value.toString());
    }
    return value;
}

QString VariantToText(const QVariant& value, TFieldType kind) {
    if (!value.isValid() || value.isNull()) return {};
    switch (value.typeId()) {
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid()) return {};
        if (kind == TFieldType::ftDate) return dt.toString(QStringLiteral("yyyy-MM-dd"));
        if (kind == TFieldType::ftTime)
            return dt.toString(dt.time().msec() ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
        return dt.toString(dt.time().msec() ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")
                                            : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    case QMetaType::QDate: return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QTime: return value.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::Double:
    case QMetaType::Float: return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Bool: return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QByteArray:
        return IsBinaryKind(kind) ? QString::fromLatin1(value.toByteArray()) : QString::fromUtf8(value.toByteArray());
    default: return value.toString();
    }
}

// ---------------------------------------------------------------- TField

TField::TField(TDataSet* owner, int index, const QString& name, TFieldType type, int size, bool required)
    : m_owner(owner), m_index(index), m_name(name), m_type(type), m_size(size), m_required(required) {}

bool TField::IsNull() const { return m_owner->fieldIsNull(m_index); }
QString TField::AsString() const { return m_owner->fieldText(m_index); }
QByteArray TField::AsBytes() const { return m_owner->fieldBytes(m_index); }
QVariant TField::AsVariant() const { return m_owner->fieldValue(m_index); }

qint64 TField::AsLargeInt() const {
    const QVariant v = AsVariant();
    if (!v.isValid()) return 0;
    bool ok = false;
    qint64 n = v.toLongLong(&ok);
    if (!ok && isFloatType(v)) {
        const double d = v.toDouble();
        if (std::trunc(d) == d && std::fabs(d) < 9.2e18) return static_cast<qint64>(d);
    }
    if (!ok && v.typeId() == QMetaType::Bool) return v.toBool() ? 1 : 0;
    if (!ok) badValue(AsString(), QStringLiteral("integer"), m_name);
    return n;
}

int TField::AsInteger() const {
    const qint64 n = AsLargeInt();
    if (n < INT_MIN || n > INT_MAX)
        throw EDatabaseError(
            QStringLiteral("The value %1 of field '%2' does not fit a 32-bit integer.").arg(n).arg(m_name));
    return static_cast<int>(n);
}

double TField::AsFloat() const {
    const QVariant v = AsVariant();
    if (!v.isValid()) return 0.0;
    if (v.typeId() == QMetaType::QDateTime) return DaysFromDateTime(v.toDateTime());
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok) badValue(AsString(), QStringLiteral("floating point"), m_name);
    return d;
}

bool TField::AsBoolean() const {
    const QVariant v = AsVariant();
    if (!v.isValid()) return false;
    if (v.typeId() == QMetaType::QString) {
        const QString t = v.toString().trimmed().toLower();
        return t == QLatin1String("true") || (t.toLongLong() != 0);
    }
    return v.toBool();
}

QDateTime TField::AsDateTime() const {
    const QVariant v = AsVariant();
    if (!v.isValid()) return {};
    if (v.typeId() == QMetaType::QDateTime) return v.toDateTime();
    if (isFloatType(v)) return DateTimeFromDays(v.toDouble());
    return parseDateTimeText(v.toString());
}

void TField::setAsString(const QString& v) { setAsVariant(QVariant(v)); }
void TField::setAsInteger(qint64 v) { setAsVariant(QVariant(qlonglong(v))); }
void TField::setAsFloat(double v) { setAsVariant(QVariant(v)); }
void TField::setAsBoolean(bool v) { setAsVariant(QVariant(v)); }
void TField::setAsDateTime(const QDateTime& v) { setAsVariant(v.isValid() ? QVariant(v) : QVariant()); }
void TField::setAsBytes(const QByteArray& v) { setAsVariant(QVariant(v)); }
void TField::Clear() { m_owner->setFieldValue(m_index, QVariant()); }

void TField::setAsVariant(const QVariant& v) {
    m_owner->setFieldValue(m_index, NormalizeFieldValue(v, m_type, m_name));
}

void TField::Assign(const TField& source) {
    if (source.IsNull()) {
        Clear();
    } else if (IsFloatKind(source.DataType()) && IsFloatKind(m_type)) {
        setAsString(source.AsString()); // keeps every decimal digit
    } else if (IsBinaryKind(source.DataType())) {
        setAsBytes(source.AsBytes());
    } else {
        setAsVariant(source.AsVariant());
    }
}

// ---------------------------------------------------------------- TDataSet

TDataSet::TDataSet() = default;
TDataSet::~TDataSet() = default;

void TDataSet::checkActive() const {
    if (m_state == TDataSetState::dsInactive)
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on a closed data set."));
}

void TDataSet::checkBrowseMode() {
    checkActive();
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) Post();
}

void TDataSet::clearFields() { m_fields.clear(); }

void TDataSet::detachForDestruction() {
    m_observers.clear();
    BeforeOpen = AfterOpen = BeforeClose = AfterClose = nullptr;
    BeforeInsert = AfterInsert = BeforeEdit = AfterEdit = nullptr;
    BeforePost = AfterPost = BeforeCancel = AfterCancel = nullptr;
    BeforeDelete = AfterDelete = BeforeScroll = AfterScroll = nullptr;
    OnProgress = nullptr;
}

TField* TDataSet::addField(const QString& name, TFieldType type, int size, bool required) {
    m_fields.push_back(std::make_unique<TField>(this, static_cast<int>(m_fields.size()), name, type, size, required));
    return m_fields.back().get();
}

bool TDataSet::reportProgress(TZProgressStage stage, int position, int max) {
    if (!OnProgress) return true;
    bool cancel = false;
    OnProgress(this, stage, TZProgressProc::ppFetching, position, max, cancel);
    return !cancel;
}

void TDataSet::notify(TDataChange change, int row) {
    if (m_disableCount > 0) return;
    // Indexed, not iterated: an observer may remove itself while being told.
    for (size_t i = 0; i < m_observers.size(); ++i) m_observers[i]->dataSetChanged(*this, change, row);
}

void TDataSet::addObserver(TDataSetObserver* observer) {
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void TDataSet::removeObserver(TDataSetObserver* observer) {
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

void TDataSet::DisableControls() { ++m_disableCount; }

void TDataSet::EnableControls() {
    if (m_disableCount > 0 && --m_disableCount == 0) notify(TDataChange::Reset, m_cur);
}

void TDataSet::Open() {
    if (Active()) return;
    fire(BeforeOpen);
    clearFields();
    try {
        InternalOpen();
    } catch (...) {
        clearFields();
        throw;
    }
    m_state = TDataSetState::dsBrowse;
    m_cur = storedCount() > 0 ? 0 : -1;
    m_bof = true;
    m_eof = storedCount() == 0;
    m_sortColumn = -1;
    if (!m_sortedFields.isEmpty()) {
        // A sort order set before opening applies to the new rows; a field that the new
        // result lacks drops the order instead of failing the open.
        try {
            const int col = sortColumnFor(m_sortedFields);
            m_cur = InternalSort(col, m_cur);
            m_sortColumn = col;
        } catch (const EDatabaseError&) {
            m_sortedFields.clear();
        }
    }
    notify(TDataChange::Reset, m_cur);
    fire(AfterOpen);
    if (storedCount() > 0) fire(AfterScroll);
}

void TDataSet::Close() {
    if (!Active()) return;
    fire(BeforeClose);
    m_buffer = {};
    InternalClose();
    clearFields();
    m_state = TDataSetState::dsInactive;
    m_cur = -1;
    m_bof = m_eof = true;
    notify(TDataChange::Reset, -1);
    fire(AfterClose);
}

TField* TDataSet::Fields(int index) const {
    if (index < 0 || index >= FieldCount())
        throw EDatabaseError(
            QStringLiteral("Field index %1 out of range (the data set has %2 fields).").arg(index).arg(FieldCount()));
    return m_fields[static_cast<size_t>(index)].get();
}

TField* TDataSet::FindField(const QString& name) const {
    for (const auto& f : m_fields)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0) return f.get();
    return nullptr;
}

TField* TDataSet::FieldByName(const QString& name) const {
    TField* f = FindField(name);
    if (!f) throw EDatabaseError(QStringLiteral("Field '%1' not found.").arg(name));
    return f;
}

bool TDataSet::Modified() const {
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return false;
    return std::find(m_buffer.assigned.begin(), m_buffer.assigned.end(), true) != m_buffer.assigned.end();
}

int TDataSet::RecordCount() const { return Active() ? storedCount() : 0; }

int TDataSet::RecNo() const {
    if (!Active()) return 0;
    if (m_state == TDataSetState::dsInsert) return storedCount() + 1;
    return m_cur < 0 ? 0 : m_cur + 1;
}

void TDataSet::moveTo(int row, bool fireEvents) {
    if (fireEvents) fire(BeforeScroll);
    m_cur = row;
    notify(TDataChange::CurrentChanged, m_cur);
    if (fireEvents) fire(AfterScroll);
}

void TDataSet::First() {
    checkBrowseMode();
    const int n = storedCount();
    m_bof = true;
    m_eof = n == 0;
    moveTo(n > 0 ? 0 : -1, true);
}

void TDataSet::Last() {
    checkBrowseMode();
    const int n = storedCount();
    m_eof = true;
    m_bof = n == 0;
    moveTo(n - 1, true);
}

void TDataSet::Next() { MoveBy(1); }
void TDataSet::Prior() { MoveBy(-1); }

int TDataSet::MoveBy(int distance) {
    checkBrowseMode();
    const int n = storedCount();
    fire(BeforeScroll);
    int moved = 0;
    if ((distance > 0 && !m_eof) || (distance < 0 && !m_bof)) {
        m_bof = m_eof = false;
        long target = static_cast<long>(m_cur) + distance;
        if (target > n - 1) {
            target = n - 1;
            m_eof = true;
        }
        if (target < 0) {
            target = n > 0 ? 0 : -1;
            m_bof = true;
            if (n == 0) m_eof = true;
        }
        moved = static_cast<int>(target) - m_cur;
        m_cur = static_cast<int>(target);
        notify(TDataChange::CurrentChanged, m_cur);
        fire(AfterScroll);
    }
    return moved;
}

void TDataSet::setRecNo(int recNo) {
    checkBrowseMode();
    const int n = storedCount();
    if (n == 0) return;
    const int row = std::clamp(recNo, 1, n) - 1;
    if (row == m_cur) return;
    m_bof = m_eof = false;
    moveTo(row, true);
}

void TDataSet::Append() {
    checkBrowseMode();
    fire(BeforeInsert);
    fire(BeforeScroll);
    m_curBeforeInsert = m_cur;
    const size_t nf = m_fields.size();
    m_buffer.values.assign(nf, QVariant());
    m_buffer.assigned.assign(nf, false);
    m_state = TDataSetState::dsInsert;
    m_cur = storedCount();
    m_bof = false;
    m_eof = true;
    notify(TDataChange::RowInserted, m_cur);
    notify(TDataChange::StateChanged, m_cur);
    fire(AfterInsert);
    fire(AfterScroll);
}

void TDataSet::Edit() {
    checkActive();
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) return;
    if (storedCount() == 0) {
        Append();
        return;
    }
    fire(BeforeEdit);
    const size_t nf = m_fields.size();
    m_buffer.values.assign(nf, QVariant());
    m_buffer.assigned.assign(nf, false);
    for (size_t c = 0; c < nf; ++c) {
        const int col = static_cast<int>(c);
        if (storedIsNull(m_cur, col)) continue;
        // Floating columns keep their text so decimals are not rounded through a double;
        // so do date-time values that have no date-time (a zero date, a time beyond a day).
        const TFieldType kind = m_fields[c]->DataType();
        QVariant v = IsFloatKind(kind) ? QVariant(storedText(m_cur, col)) : storedValue(m_cur, col);
        if (IsDateTimeKind(kind) && v.typeId() == QMetaType::QDateTime && !v.toDateTime().isValid())
            v = QVariant(storedText(m_cur, col));
        m_buffer.values[c] = v;
    }
    m_state = TDataSetState::dsEdit;
    notify(TDataChange::StateChanged, m_cur);
    fire(AfterEdit);
}

void TDataSet::Post() {
    checkActive();
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return;
    fire(BeforePost);
    BusyScope busy;
    if (m_state == TDataSetState::dsInsert) {
        InternalPostInsert(m_buffer); // throws: the row stays in insert state
        m_state = TDataSetState::dsBrowse;
        m_cur = storedCount() - 1;
        m_eof = false;
    } else {
        InternalPostEdit(m_cur, m_buffer);
        m_state = TDataSetState::dsBrowse;
    }
    m_buffer = {};
    notify(TDataChange::RowChanged, m_cur);
    notify(TDataChange::StateChanged, m_cur);
    fire(AfterPost);
}

void TDataSet::Cancel() {
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return;
    fire(BeforeCancel);
    const bool wasInsert = m_state == TDataSetState::dsInsert;
    m_state = TDataSetState::dsBrowse;
    m_buffer = {};
    if (wasInsert) {
        const int pending = m_cur;
        const int n = storedCount();
        m_cur = n == 0 ? -1 : std::clamp(m_curBeforeInsert, 0, n - 1);
        m_eof = n == 0;
        notify(TDataChange::RowRemoved, pending);
        notify(TDataChange::CurrentChanged, m_cur);
    } else {
        notify(TDataChange::RowChanged, m_cur);
    }
    notify(TDataChange::StateChanged, m_cur);
    fire(AfterCancel);
}

void TDataSet::Delete() {
    checkActive();
    if (m_state == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (storedCount() == 0 || m_cur < 0)
        throw EDatabaseError(QStringLiteral("Cannot delete a record: the data set is empty."));
    if (m_state == TDataSetState::dsEdit) Cancel();
    fire(BeforeDelete);
    const int row = m_cur;
    {
        BusyScope busy;
        InternalDelete(row);
    }
    const int n = storedCount();
    if (m_cur >= n) m_cur = n - 1;
    m_eof = n == 0;
    m_bof = n == 0;
    notify(TDataChange::RowRemoved, row);
    notify(TDataChange::CurrentChanged, m_cur);
    fire(AfterDelete);
    fire(AfterScroll);
}

bool TDataSet::Locate(const QString& keyField, const QVariant& value) {
    checkBrowseMode();
    const TField* f = FieldByName(keyField);
    const int col = f->Index();
    const int n = storedCount();
    const bool wantNull = !value.isValid() || value.isNull();
    const TFieldType kind = f->DataType();
    bool numeric = false;
    double wantNumber = 0;
    if (!wantNull && (IsIntegerKind(kind) || IsFloatKind(kind))) {
        wantNumber = value.toDouble(&numeric);
    }
    QDateTime wantDate;
    if (!wantNull && IsDateTimeKind(kind)) {
        try {
            wantDate = NormalizeFieldValue(value, kind, f->FieldName()).toDateTime();
        } catch (const EDatabaseError&) {}
    }
    const QString wantText = wantNull ? QString() : VariantToText(value, kind);
    for (int r = 0; r < n; ++r) {
        const bool isNull = storedIsNull(r, col);
        bool hit;
        if (wantNull) {
            hit = isNull;
        } else if (isNull) {
            hit = false;
        } else if (numeric) {
            bool ok = false;
            const double have = storedText(r, col).toDouble(&ok);
            hit = ok && have == wantNumber;
        } else if (wantDate.isValid()) {
            hit = storedValue(r, col).toDateTime() == wantDate;
        } else {
            hit = storedText(r, col) == wantText;
        }
        if (hit) {
            m_bof = m_eof = false;
            moveTo(r, true);
            return true;
        }
    }
    return false;
}

int TDataSet::sortColumnFor(const QString& fields) const {
    QString name = fields.trimmed();
    if (name.endsWith(QLatin1String(" ASC"), Qt::CaseInsensitive)) name = name.left(name.size() - 4).trimmed();
    if (name.isEmpty()) return -1;
    if (name.size() >= 2 && name.startsWith(QLatin1Char('`')) && name.endsWith(QLatin1Char('`')))
        name = name.mid(1, name.size() - 2).replace(QStringLiteral("``"), QStringLiteral("`"));
    else if (name.size() >= 2 && name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    const TField* f = FindField(name);
    if (!f) throw EDatabaseError(QStringLiteral("Cannot sort by '%1': the data set has no such field.").arg(fields));
    return f->Index();
}

void TDataSet::setSortedFields(const QString& fields) {
    if (!Active()) {
        m_sortedFields = fields.trimmed();
        return;
    }
    checkBrowseMode();
    const int col = sortColumnFor(fields);
    {
        BusyScope busy;
        m_cur = InternalSort(col, m_cur);
    }
    m_sortColumn = col;
    m_sortedFields = col < 0 ? QString() : fields.trimmed();
    notify(TDataChange::Reset, m_cur);
}

// ---------------------------------------------------------------- field access for TField

bool TDataSet::fieldIsNull(int col) const {
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert)
        return !m_buffer.values[static_cast<size_t>(col)].isValid();
    if (m_cur < 0) return true;
    return storedIsNull(m_cur, col);
}

QVariant TDataSet::fieldValue(int col) const {
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) {
        const QVariant& v = m_buffer.values[static_cast<size_t>(col)];
        if (v.isValid() && v.typeId() == QMetaType::QString &&
            IsFloatKind(m_fields[static_cast<size_t>(col)]->DataType()))
            return QVariant(v.toDouble());
        return v;
    }
    if (m_cur < 0 || storedIsNull(m_cur, col)) return {};
    return storedValue(m_cur, col);
}

QString TDataSet::fieldText(int col) const {
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert)
        return VariantToText(m_buffer.values[static_cast<size_t>(col)], m_fields[static_cast<size_t>(col)]->DataType());
    if (m_cur < 0 || storedIsNull(m_cur, col)) return {};
    return storedText(m_cur, col);
}

QByteArray TDataSet::fieldBytes(int col) const {
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) {
        const QVariant& v = m_buffer.values[static_cast<size_t>(col)];
        if (v.typeId() == QMetaType::QByteArray) return v.toByteArray();
        return VariantToText(v, m_fields[static_cast<size_t>(col)]->DataType()).toUtf8();
    }
    if (m_cur < 0 || storedIsNull(m_cur, col)) return {};
    return storedBytes(m_cur, col);
}

void TDataSet::setFieldValue(int col, const QVariant& normalized) {
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert)
        throw EDatabaseError(QStringLiteral("Field '%1' cannot be changed: the data set is not in edit or insert mode.")
                                 .arg(m_fields[static_cast<size_t>(col)]->FieldName()));
    m_buffer.values[static_cast<size_t>(col)] = normalized;
    m_buffer.assigned[static_cast<size_t>(col)] = true;
    notify(TDataChange::RowChanged, m_cur);
}

QString TDataSet::storedText(int row, int col) const {
    return VariantToText(storedValue(row, col), m_fields[static_cast<size_t>(col)]->DataType());
}

QByteArray TDataSet::storedBytes(int row, int col) const {
    const QVariant v = storedValue(row, col);
    if (v.typeId() == QMetaType::QByteArray) return v.toByteArray();
    return VariantToText(v, m_fields[static_cast<size_t>(col)]->DataType()).toUtf8();
}

// ---------------------------------------------------------------- random access

int TDataSet::VisibleRowCount() const {
    if (!Active()) return 0;
    return storedCount() + (m_state == TDataSetState::dsInsert ? 1 : 0);
}

namespace {
[[noreturn]] void badCell(int row, int col) {
    throw EDatabaseError(QStringLiteral("Cell (%1, %2) is outside the data set.").arg(row).arg(col));
}
} // namespace

bool TDataSet::CellIsNull(int row, int col) const {
    if (row < 0 || row >= VisibleRowCount() || col < 0 || col >= FieldCount()) badCell(row, col);
    if (row == m_cur && (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert))
        return !m_buffer.values[static_cast<size_t>(col)].isValid();
    return storedIsNull(row, col);
}

QVariant TDataSet::CellValue(int row, int col) const {
    if (row < 0 || row >= VisibleRowCount() || col < 0 || col >= FieldCount()) badCell(row, col);
    if (row == m_cur && (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert))
        return fieldValue(col);
    if (storedIsNull(row, col)) return {};
    return storedValue(row, col);
}

QString TDataSet::CellText(int row, int col) const {
    if (row < 0 || row >= VisibleRowCount() || col < 0 || col >= FieldCount()) badCell(row, col);
    if (row == m_cur && (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert)) return fieldText(col);
    if (storedIsNull(row, col)) return {};
    return storedText(row, col);
}

bool TDataSet::storedUtf8(int, int, const char*&, qsizetype&) const { return false; }

bool TDataSet::CellUtf8(int row, int col, const char*& data, qsizetype& size) const {
    if (row < 0 || row >= VisibleRowCount() || col < 0 || col >= FieldCount()) badCell(row, col);
    if (row == m_cur && (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert)) return false;
    return storedUtf8(row, col, data, size);
}

QByteArray TDataSet::CellBytes(int row, int col) const {
    if (row < 0 || row >= VisibleRowCount() || col < 0 || col >= FieldCount()) badCell(row, col);
    if (row == m_cur && (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert))
        return fieldBytes(col);
    if (storedIsNull(row, col)) return {};
    return storedBytes(row, col);
}

} // namespace tablor
