// AccessToAccessCopy.h — the wizard's Access to Access direction: each ticked table of the
// source file is created in the target file (an Access 2000 file, made when missing) with the
// source's columns (type, size, precision, NOT NULL, AutoNumber) and indexes (primary key,
// unique and plain ones), and its rows are copied with their values as they are, through the
// engine's writer. A table the target has already is not touched and is listed as an error;
// a row the writer refuses is listed and the others follow; a cancel drops the table in hand.
#pragma once

#include "transfer/WizardCopy.h"

#include "jet/writer.h"

namespace tablor::transfer {

// The target table for the source table `def` (`jet3`: the source is an Access 97 file).
jet::TableSpec layoutOf(const jet::TableDef& def, bool jet3);

class AccessToAccessCopy {
public:
    AccessToAccessCopy(const WizardJob& job, WizardSink& sink) : m_job(job), m_sink(sink) {}
    WizardReport run();

private:
    const WizardJob& m_job;
    WizardSink& m_sink;
};

} // namespace tablor::transfer
