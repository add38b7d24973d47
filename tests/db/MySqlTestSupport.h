// MySqlTestSupport.h — fixture for tests against the sandbox MariaDB: reads the
// TABLOR_TEST_MYSQL_* variables (skipping without them), gives every test a database of
// its own and a connected TZMySqlDatabase on it.
#pragma once

#include "db/ZMySql.h"

#include <gtest/gtest.h>

struct ServerParams {
    QString host, port, user, password, database;
    bool present = false;
    static ServerParams fromEnv();
};

class MySqlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void exec(const QString& sql) { db.ExecuteDirect(sql); }
    // First column of the first row of a query, as text ("<null>" for NULL, "<none>" without rows).
    QString scalar(const QString& sql);
    void connectTo(tablor::TZMySqlDatabase& target, const QString& database);

    ServerParams params;
    QString dbName;
    tablor::TZMySqlDatabase db;
    tablor::TZMySqlTransact trans;
};

// A MySqlTest that fails instead of skipping in CI, where scripts/test starts the sandbox.
class ServerRequiredTest : public MySqlTest {
protected:
    void SetUp() override;
};

#define TABLOR_SKIP_MESSAGE                                                                                            \
    "no MariaDB: start one with scripts/mariadb-sandbox start && source build/mariadb-sandbox/env"
