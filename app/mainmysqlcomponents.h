// mainmysqlcomponents.h — the main window's MySQL components, set up as the window uses them.
#pragma once

#include "db/ZMySql.h"

namespace tablor {

// The main window's MySQL components with their form settings: the connection mySQLDB
// ("localhost", "3306", database "testdata", login "root", no login prompt), its
// transaction, the live grid query, the free query, the empty update object and the table
// object. The window attaches its handlers (TransferProgress, AfterConnect, ...).
struct TMainMySqlComponents {
    TMainMySqlComponents();
    TZMySqlDatabase mySQLDB;
    TZMySqlTransact mySQLTrans;
    TZUpdateSql mySQLUpd;
    TZMySqlQuery myQryMain;
    TZMySqlQuery myQryFree;
    TZMySqlTable ZMySqlTable1;
};

} // namespace tablor
