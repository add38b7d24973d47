// mainmysqlcomponents.cpp — the settings of the main window's MySQL components.
#include "app/mainmysqlcomponents.h"

namespace tablor {

TMainMySqlComponents::TMainMySqlComponents() {
    mySQLDB.Host = QStringLiteral("localhost");
    mySQLDB.Port = QStringLiteral("3306");
    mySQLDB.Database = QStringLiteral("testdata");
    mySQLDB.Login = QStringLiteral("root");
    mySQLDB.LoginPrompt = false;
    mySQLTrans.Database = &mySQLDB;
    mySQLTrans.AutoCommit = true;
    mySQLTrans.TransactSafe = false;
    mySQLTrans.Options = toHourGlass;
    for (TZMySqlQuery* q : {&myQryMain, &myQryFree}) {
        q->Database = &mySQLDB;
        q->Transaction = &mySQLTrans;
        q->UpdateObject = &mySQLUpd;
        q->ExtraOptions = moStoreResult;
        q->Options = doHourGlass | doAutoFillDefs | doUseRowId;
        q->LinkOptions = loAlwaysResync;
        q->ShowRecordTypes = ztModified | ztInserted | ztUnmodified;
        q->CachedUpdates = false;
        q->ParamCheck = false;
    }
    myQryMain.RequestLive = true;
    myQryFree.RequestLive = false;
    ZMySqlTable1.Database = &mySQLDB;
    ZMySqlTable1.Transaction = &mySQLTrans;
    ZMySqlTable1.UpdateObject = &mySQLUpd;
}

} // namespace tablor
