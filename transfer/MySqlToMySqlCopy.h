// MySqlToMySqlCopy.h — the wizard's MySQL to MySQL direction. Each ticked source table gets a
// target table (prefix + name) made from the source's own SHOW CREATE TABLE, so columns, types,
// nullability, defaults, auto-increment and every key and index are the source's; foreign keys
// are kept only without a prefix (with one they would name the unprefixed tables). In append
// mode an existing target table must have exactly the source's column names. The rows are read
// once as a stream (mysql_use_result), in primary-key order where there is one, and go in one
// target transaction per table as LOAD DATA LOCAL batches of the source's own text form (the
// next read while the server stores the one before); a batch stored with a warning is undone
// and sent as multi-row INSERTs, a refused INSERT again row by row, so exactly the failing rows
// are reported. A cancel rolls the table in hand back.
#pragma once

#include "transfer/WizardCopy.h"

namespace tablor::transfer {

class MySqlToMySqlCopy {
public:
    MySqlToMySqlCopy(const WizardJob& job, WizardSink& sink) : m_job(job), m_sink(sink) {}
    WizardReport run();

private:
    const WizardJob& m_job;
    WizardSink& m_sink;
};

} // namespace tablor::transfer
