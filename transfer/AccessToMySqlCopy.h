// AccessToMySqlCopy.h — the wizard's Access to MySQL direction. Each ticked Access table gets a
// server table (recreated, or in append mode an existing one with exactly the same column
// names) whose column types hold every value exactly (mysqlColumnType), nullable where the
// Access column is, with the Access primary key. Rows are read once, in id order where the
// table has an indexed integer "id" column and otherwise in a plain scan, and go in one server
// transaction per table as LOAD DATA LOCAL batches (multi-row INSERTs where the server refuses
// it); a batch the server does not take as sent is undone and its rows go again as INSERTs,
// then one by one, so exactly the failing rows are reported. A resume offset copies only the
// rows whose id is above it, a troubleshooting list only the listed ids.
#pragma once

#include "transfer/WizardCopy.h"

#include "jet/schema.h"

namespace tablor::transfer {

// The MySQL column type that holds every value of an Access column: Currency DECIMAL(19,4),
// Decimal DECIMAL(p,s), GUID CHAR(38), Single FLOAT, Double DOUBLE, Memo LONGTEXT, OLE LONGBLOB, ...
QString mysqlColumnType(const jet::ColumnDef& column, bool jet3);

class AccessToMySqlCopy {
public:
    AccessToMySqlCopy(const WizardJob& job, WizardSink& sink) : m_job(job), m_sink(sink) {}
    WizardReport run();

private:
    const WizardJob& m_job;
    WizardSink& m_sink;
};

} // namespace tablor::transfer
