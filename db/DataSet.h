// DataSet.h — the data set every table and query of the program offers: the MySQL table and
// query, and the Access table. It has two faces:
//  * the cursor that windows and copy routines use (First/Next/RecNo, Append/Edit/Post,
//    events, Locate, the in-memory sort), and
//  * random read access by row number (CellValue/CellText/...) for the grid model, which
//    neither moves the cursor nor fires events.
// An implementation supplies storage through the protected Internal*/stored* hooks; the
// state machine, edit buffer, events and field objects live here.
//
// Ownership: the data set owns its TField objects; they exist from Open to Close, so a
// TField* must not be kept across a Close. Observers are not owned.
#pragma once

#include "db/FieldTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace tablor {

class TDataSet;

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

enum class TZProgressStage { psStarting, psRunning, psEnding };
enum class TZProgressProc { ppFetching, ppProcessing, ppClosing };

using TDataSetNotifyEvent = std::function<void(TDataSet* Sender)>;
// Raised while a result is fetched; setting Cancel stops fetching and keeps the rows so far.
using TZProgressEvent = std::function<void(TDataSet* Sender, TZProgressStage Stage, TZProgressProc Proc, int Position,
                                           int Max, bool& Cancel)>;

// What changed, for views such as the grid model. Row numbers are 0-based display rows.
enum class TDataChange {
    Reset,          // opened, closed, sorted, or controls enabled again: re-read everything
    RowChanged,     // row's values changed (post, cancel, a field set during edit)
    RowInserted,    // a row appeared at `row`
    RowRemoved,     // the row at `row` is gone
    CurrentChanged, // the cursor moved to `row`
    StateChanged,   // browse/edit/insert changed
};

class TDataSetObserver {
public:
    virtual ~TDataSetObserver() = default;
    virtual void dataSetChanged(TDataSet& dataSet, TDataChange change, int row) = 0;
};

// One column of an open data set; reads and writes the current record.
class TField {
public:
    TField(TDataSet* owner, int index, const QString& name, TFieldType type, int size, bool required = false);

    TDataSet* DataSet() const { return m_owner; }
    int Index() const { return m_index; }
    const QString& FieldName() const { return m_name; }
    const QString& DisplayName() const { return m_name; }
    TFieldType DataType() const { return m_type; }
    int Size() const { return m_size; }
    bool Required() const { return m_required; }

    bool IsNull() const;
    QString AsString() const; // text; binary values byte for byte as Latin-1
    int AsInteger() const;    // throws when the value is not an integer
    qint64 AsLargeInt() const;
    double AsFloat() const; // throws when the value is not a number
    bool AsBoolean() const;
    QDateTime AsDateTime() const; // invalid for null and for values that are no date
    QByteArray AsBytes() const;   // text as UTF-8, binary as is
    QVariant AsVariant() const;   // invalid QVariant for null; else typed by the field kind

    // Setters need the data set in edit or insert state. Values are checked against the
    // field kind (a non-number for an integer field throws EDatabaseError).
    void setAsString(const QString& v);
    void setAsInteger(qint64 v);
    void setAsFloat(double v);
    void setAsBoolean(bool v);
    void setAsDateTime(const QDateTime& v);
    void setAsBytes(const QByteArray& v);
    void setAsVariant(const QVariant& v);
    void Assign(const TField& source); // value and null state, binary content included
    void Clear();                      // sets null

private:
    TDataSet* m_owner;
    int m_index;
    QString m_name;
    TFieldType m_type;
    int m_size;
    bool m_required;
};

// Converts a value to the variant form a field of `kind` holds (qlonglong, double, bool,
// QDateTime, QByteArray or QString). Throws EDatabaseError naming `fieldName` when it does
// not fit. An invalid QVariant stays invalid (null).
QVariant NormalizeFieldValue(const QVariant& value, TFieldType kind, const QString& fieldName);

// Text of a typed value as the grid and the search read it.
QString VariantToText(const QVariant& value, TFieldType kind);

// The program's date-time number (days since 1899-12-30, time as the fraction), as Access
// and the copy routines exchange it. Results are in UTC so no daylight-saving gap can
// shift a wall-clock value.
QDateTime DateTimeFromDays(double days);
double DaysFromDateTime(const QDateTime& value);

class TDataSet {
public:
    TDataSet();
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    // ---- lifecycle
    void Open();
    void Close();
    bool Active() const { return m_state != TDataSetState::dsInactive; }
    void setActive(bool on) { on ? Open() : Close(); }
    TDataSetState State() const { return m_state; }
    // Whether a field was set since Append or Edit (false in browse state).
    bool Modified() const;

    // ---- fields
    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    TField* Fields(int index) const;                // 0-based, result order; throws when out of range
    TField* FindField(const QString& name) const;   // case-insensitive; nullptr when absent
    TField* FieldByName(const QString& name) const; // throws EDatabaseError when absent

    // ---- cursor (events fire; positions are 1-based as RecNo)
    void First();
    void Next();
    void Prior();
    void Last();
    int MoveBy(int distance);
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    int RecNo() const; // 1-based; 0 when empty or inactive; RecordCount()+1 while appending
    void setRecNo(int recNo);
    int RecordCount() const; // stored (visible) rows, without a pending appended row
    bool IsEmpty() const { return RecordCount() == 0; }

    // ---- editing
    void Append();
    void Insert() { Append(); } // rows are always added at the end
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    // Moves to the first row whose field `keyField` equals `value` exactly. No options.
    bool Locate(const QString& keyField, const QVariant& value);

    // ---- in-memory sort by one field, ascending. "" restores result order. The name may be
    // enclosed in backquotes or square brackets. Throws when the field does not exist.
    QString SortedFields() const { return m_sortedFields; }
    void setSortedFields(const QString& fields);

    // ---- stop and resume control updates (observers); nests.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }
    void addObserver(TDataSetObserver* observer);
    void removeObserver(TDataSetObserver* observer);

    // ---- random read access (0-based rows in display order); no cursor move, no events.
    // While appending, row RecordCount() is the pending row; while editing, the current row
    // shows the edit buffer.
    int VisibleRowCount() const;
    bool CellIsNull(int row, int col) const;
    QVariant CellValue(int row, int col) const;
    QString CellText(int row, int col) const;
    QByteArray CellBytes(int row, int col) const;
    // The cell's text as UTF-8 bytes straight from the storage, without converting, when the
    // storage keeps it so (CellText would give the same text); data is nullptr for null.
    // False when it cannot (binary kinds, the row being edited, storages that convert): then
    // read CellText. The bytes stay valid until the data set changes.
    bool CellUtf8(int row, int col, const char*& data, qsizetype& size) const;
    int CurrentRow() const { return m_cur; } // 0-based, -1 when none

    // ---- events
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TZProgressEvent OnProgress;

protected:
    struct EditBuffer {
        std::vector<QVariant> values; // invalid QVariant = null
        std::vector<bool> assigned;   // set by a field setter since Append/Edit
    };

    // Implementations: read the result, then call addField for each column.
    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    virtual int storedCount() const = 0;
    virtual bool storedIsNull(int row, int col) const = 0;
    virtual QVariant storedValue(int row, int col) const = 0;
    virtual QString storedText(int row, int col) const;
    virtual QByteArray storedBytes(int row, int col) const;
    // See CellUtf8; the default has no such bytes.
    virtual bool storedUtf8(int row, int col, const char*& data, qsizetype& size) const;
    // Write the pending row; on success it must be stored as the last row. Throws on failure.
    virtual void InternalPostInsert(const EditBuffer& buffer) = 0;
    // Write the changes of `row`; on success the stored row must hold the new values.
    virtual void InternalPostEdit(int row, const EditBuffer& buffer) = 0;
    virtual void InternalDelete(int row) = 0;
    // Re-order rows by column `col` (-1: result order); returns the new row of `currentRow`.
    virtual int InternalSort(int col, int currentRow) = 0;

    void clearFields();
    // For destructors of implementations: drops event handlers and observers (which may
    // already be gone) so that closing on destruction notifies nobody.
    void detachForDestruction();
    TField* addField(const QString& name, TFieldType type, int size, bool required = false);
    // Lets an implementation report progress while InternalOpen fetches; returns false when cancelled.
    bool reportProgress(TZProgressStage stage, int position, int max);
    void notify(TDataChange change, int row);

private:
    friend class TField;
    QVariant fieldValue(int col) const;
    bool fieldIsNull(int col) const;
    QString fieldText(int col) const;
    QByteArray fieldBytes(int col) const;
    void setFieldValue(int col, const QVariant& normalized);
    void checkActive() const;
    void checkBrowseMode(); // posts a pending edit before the cursor moves
    void moveTo(int row, bool fire);
    void fire(const TDataSetNotifyEvent& ev) {
        if (ev) ev(this);
    }
    int sortColumnFor(const QString& fields) const;

    TDataSetState m_state = TDataSetState::dsInactive;
    std::vector<std::unique_ptr<TField>> m_fields;
    int m_cur = -1;
    int m_curBeforeInsert = -1;
    bool m_bof = true;
    bool m_eof = true;
    EditBuffer m_buffer;
    QString m_sortedFields;
    int m_sortColumn = -1;
    int m_disableCount = 0;
    std::vector<TDataSetObserver*> m_observers;
};

} // namespace tablor
