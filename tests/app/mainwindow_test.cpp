// Tests of the main window: layout and minimum size, tool bar and menus as they are at open,
// the preference menu items, the web site, record command enabling, status texts and images.
#include "app_fixture.h"

#include "app/u_main.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QUrl>

namespace tablor::test {
namespace {

class MainWindowTest : public AppTest {
protected:
    // Shows `w` at 1000 x 600 and waits until it is on screen.
    bool showAtUsualSize(TfrmMain& w) {
        w.resize(1000, 600);
        w.show();
        return waitUntil([&] { return w.isVisible(); });
    }
};

TEST_F(MainWindowTest, CannotBeMadeSmallerThan900By200) {
    storePrefs("Deutsch");
    writeProfiles({});
    TfrmMain w;
    w.show();
    w.resize(800, 150);
    EXPECT_EQ(w.width(), 900);
    EXPECT_EQ(w.height(), 200);
    w.resize(850, 600);
    EXPECT_EQ(w.width(), 900);
    EXPECT_EQ(w.height(), 600);
    w.resize(1200, 150);
    EXPECT_EQ(w.width(), 1200);
    EXPECT_EQ(w.height(), 200);
}

TEST_F(MainWindowTest, TableListIs121WideAndTheSplitterKeeps100OnEachSide) {
    storePrefs("Deutsch");
    writeProfiles({});
    TfrmMain w;
    ASSERT_TRUE(showAtUsualSize(w));
    auto* list = child<QListWidget>(w, "clbTabellen");
    auto* grid = child<QTableView>(w, "dbgMain");
    auto* splitter = child<QSplitter>(w, "Splitter1");
    EXPECT_EQ(list->width(), 121);
    // Growing the window widens the grid, not the list.
    w.resize(1300, 600);
    QApplication::processEvents();
    EXPECT_EQ(list->width(), 121);
    splitter->setSizes({10, 2000});
    EXPECT_GE(list->width(), 100);
    splitter->setSizes({2000, 10});
    EXPECT_GE(grid->width(), 100);
    EXPECT_EQ(splitter->widget(0), list);
    EXPECT_EQ(splitter->widget(1), grid);
}

TEST_F(MainWindowTest, LayoutTopToBottomAndColours) {
    storePrefs("Deutsch");
    writeProfiles({});
    TfrmMain w;
    ASSERT_TRUE(showAtUsualSize(w));
    auto* toolbar = child<QWidget>(w, "ToolBar1");
    auto* splitter = child<QSplitter>(w, "Splitter1");
    auto* strip = child<QWidget>(w, "Panel2");
    auto* status = child<QStatusBar>(w, "sbMain");
    auto y = [&](QWidget* x) { return x->mapTo(&w, QPoint(0, 0)).y(); };
    EXPECT_LT(y(toolbar), y(splitter));
    EXPECT_LT(y(splitter), y(strip));
    EXPECT_LT(y(strip), y(status));
    EXPECT_EQ(child<QLabel>(w, "Label2")->text(),
              "Doppelklicken Sie auf Memo-, Grafik- und Blobfelder, um den internen Editor aufzurufen");
    EXPECT_EQ(w.statusText(), "");
    EXPECT_EQ(w.windowTitle(), "Tablor 2.0");
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(255, 180, 40));
    EXPECT_EQ(w.property("helpContext").toInt(), 100);
}

TEST_F(MainWindowTest, ToolBarRowsWithHintsImagesAndEnablingAtOpen) {
    storePrefs("Deutsch");
    writeProfiles({});
    TfrmMain w;
    struct Button {
        const char* name;
        const char* hint;
        bool enabled;
    };
    const Button firstRow[] = {
        {"tbtOpen", "Öffnen", true},
        {"tbtSave", "Lokal speichern", false},
        {"tbtUpload", "Bereitstellen", false},
        {"tbtDelete", "Löschen", false},
        {"tbtNew", "Anfügen", false},
        {"tbtEdit", "Bearbeiten", false},
        {"tbtSearch", "Suchen", false},
        {"tbtPrint", "Drucken", false},
        {"tbtConnect", "Verbinden", true},
        {"tbtPrefs", "Einstellungen", true},
        {"tbtHelp", "Hilfe", true},
    };
    ASSERT_TRUE(showAtUsualSize(w));
    int previousX = -1;
    int rowY = -1;
    for (const Button& b : firstRow) {
        auto* button = child<QToolButton>(w, b.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(b.hint)) << b.name;
        EXPECT_EQ(button->isEnabled(), b.enabled) << b.name;
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonIconOnly) << b.name;
        EXPECT_EQ(button->iconSize(), QSize(32, 32)) << b.name;
        EXPECT_FALSE(button->icon().isNull()) << b.name;
        const QPoint at = button->mapTo(&w, QPoint(0, 0));
        EXPECT_GT(at.x(), previousX) << b.name << " is out of order";
        if (rowY >= 0) {
            EXPECT_EQ(at.y(), rowY) << b.name << " is not in the first row";
        }
        previousX = at.x();
        rowY = at.y();
    }
    auto* wizard = child<QToolButton>(w, "tbtWizard");
    EXPECT_EQ(wizard->toolTip(), "Konvertierungsassistent");
    EXPECT_GT(wizard->mapTo(&w, QPoint(0, 0)).y(), rowY) << "tbtWizard is not in the second row";
    EXPECT_EQ(child<QLabel>(w, "Label1")->text(), "Schnellzugriff");
    auto* servers = child<QComboBox>(w, "cboServers");
    EXPECT_FALSE(servers->isEditable());
    EXPECT_GT(servers->mapTo(&w, QPoint(0, 0)).x(), wizard->mapTo(&w, QPoint(0, 0)).x());
}

TEST_F(MainWindowTest, TwoStateButtonsSwitchTheirImages) {
    storePrefs("Deutsch");
    writeProfiles({});
    TfrmMain w;
    auto* edit = child<QToolButton>(w, "tbtEdit");
    auto* connect = child<QToolButton>(w, "tbtConnect");
    auto image = [](const QIcon& icon) { return icon.pixmap(32, 32).toImage(); };
    const QImage normal = image(edit->icon());
    w.showEditImage(true);
    EXPECT_TRUE(w.editImageShown());
    EXPECT_NE(image(edit->icon()), normal);
    w.showEditImage(false);
    EXPECT_FALSE(w.editImageShown());
    EXPECT_EQ(image(edit->icon()), normal);
    w.showConnectImage(true);
    EXPECT_TRUE(w.connectedImageShown());
    const QImage offline = image(QIcon(":/toolbar/offline.png"));
    EXPECT_NE(image(connect->icon()), offline);
    w.showConnectImage(false);
    EXPECT_FALSE(w.connectedImageShown());
    EXPECT_EQ(image(connect->icon()), offline);
}

TEST_F(MainWindowTest, MenusWithShortcutsHiddenItemsAndEnablingAtOpen) {
    storePrefs("Deutsch");
    writeProfiles({});
    TfrmMain w;
    const QStringList menuTitles{"Datei", "Bearbeiten", "Extras", "?"};
    QStringList titles;
    for (QAction* a : w.menuBar()->actions()) titles << a->text();
    EXPECT_EQ(titles, menuTitles);

    struct Item {
        const char* name;
        const char* caption;
        const char* shortcut;
        bool enabled;
        bool visible;
    };
    const Item items[] = {
        {"ffnen1", "Öffnen...", "", true, true},
        {"Beenden1", "Beenden", "", true, true},
        {"mnuSuche", "Suchen...", "Ctrl+F", false, true},
        {"mnuWeitersuchen", "Weitersuchen", "F3", false, true},
        {"mnuEdit", "Feld bearbeiten", "F2", false, true},
        {"mnuSQLQuery", "SQL Anfrage eingeben...", "", false, false},
        {"mnuEnglish", "Englisch", "", true, true},
        {"mnuDeutsch", "Deutsch", "", true, true},
        {"mnuServerAdmin", "Server verwalten...", "", true, true},
        {"mnuPrefs", "Einstellungen", "", true, false},
        {"mnuBild", "Bildvorschau", "", true, true},
        {"mnuWizard", "Konvertierungsassistent...", "", true, true},
        {"mnuStartup", "Startdialog anzeigen", "", true, true},
        {"mnuHelt", "Tablor hilfe aufrufen", "", true, true},
        {"mnuVisitSite", "Webseite besuchen", "", true, true},
        {"mnuAbout", "Über...", "", true, true},
    };
    for (const Item& i : items) {
        auto* action = child<QAction>(w, i.name);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), QString::fromUtf8(i.caption)) << i.name;
        EXPECT_EQ(action->shortcut().toString(), QString::fromLatin1(i.shortcut)) << i.name;
        EXPECT_EQ(action->isVisible(), i.visible) << i.name;
        if (i.visible) { // Qt reports a hidden action as disabled whatever its own state
            EXPECT_EQ(action->isEnabled(), i.enabled) << i.name;
        }
    }
    EXPECT_TRUE(child<QAction>(w, "mnuBild")->isCheckable());
    EXPECT_TRUE(child<QAction>(w, "mnuStartup")->isCheckable());
    EXPECT_EQ(child<QMenu>(w, "Sprache1")->title(), "Sprache");
    EXPECT_EQ(child<QMenu>(w, "Sprache1")->actions(),
              (QList<QAction*>{child<QAction>(w, "mnuEnglish"), child<QAction>(w, "mnuDeutsch")}));
}

TEST_F(MainWindowTest, EnableRecordCommandsSwitchesExactlyTheRecordCommands) {
    storePrefs("Deutsch");
    writeProfiles({});
    TfrmMain w;
    const char* record[] = {"tbtDelete", "tbtEdit", "tbtNew", "tbtSearch", "tbtPrint"};
    // mnuSQLQuery is switched too, but Qt reports a hidden action as disabled anyway.
    const char* recordMenu[] = {"mnuSuche", "mnuWeitersuchen", "mnuEdit"};
    w.EnableRecordCommands(true);
    for (const char* n : record) EXPECT_TRUE(child<QToolButton>(w, n)->isEnabled()) << n;
    for (const char* n : recordMenu) EXPECT_TRUE(child<QAction>(w, n)->isEnabled()) << n;
    EXPECT_FALSE(child<QToolButton>(w, "tbtSave")->isEnabled());
    EXPECT_FALSE(child<QToolButton>(w, "tbtUpload")->isEnabled());
    EXPECT_FALSE(child<QAction>(w, "mnuSQLQuery")->isVisible());
    w.EnableRecordCommands(false);
    for (const char* n : record) EXPECT_FALSE(child<QToolButton>(w, n)->isEnabled()) << n;
    for (const char* n : recordMenu) EXPECT_FALSE(child<QAction>(w, n)->isEnabled()) << n;
    EXPECT_TRUE(child<QToolButton>(w, "tbtOpen")->isEnabled());
}

TEST_F(MainWindowTest, ImagePreviewStartsFromThePreferenceAndIsStoredWhenToggled) {
    storePrefs("Deutsch", false, false);
    writeProfiles({});
    {
        TfrmMain w;
        auto* bild = child<QAction>(w, "mnuBild");
        EXPECT_FALSE(bild->isChecked());
        EXPECT_FALSE(w.gridDrawsGraphics());
        bild->trigger();
        EXPECT_TRUE(bild->isChecked());
        EXPECT_TRUE(w.gridDrawsGraphics());
        EXPECT_TRUE(TPrefs().FPreview);
    }
    TfrmMain again;
    EXPECT_TRUE(child<QAction>(again, "mnuBild")->isChecked());
    EXPECT_TRUE(again.gridDrawsGraphics());
    child<QAction>(again, "mnuBild")->trigger();
    EXPECT_FALSE(TPrefs().FPreview);
    EXPECT_FALSE(again.gridDrawsGraphics());
    EXPECT_EQ(TPrefs().FLanguage, "Deutsch"); // the other values are written back unchanged
}

TEST_F(MainWindowTest, StartDialogItemStoresThePreference) {
    storePrefs("English", true);
    writeProfiles({});
    TfrmMain w;
    w.FormShow();
    auto* startup = child<QAction>(w, "mnuStartup");
    EXPECT_TRUE(startup->isChecked());
    w.startupTimer()->stop();
    startup->trigger();
    EXPECT_FALSE(startup->isChecked());
    EXPECT_FALSE(TPrefs().StartUpDialog);
    EXPECT_EQ(TPrefs().FLanguage, "English");
    startup->trigger();
    EXPECT_TRUE(TPrefs().StartUpDialog);
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

TEST_F(MainWindowTest, VisitWebsiteHandsTheAddressToTheDesktop) {
    storePrefs("Deutsch");
    writeProfiles({});
    TfrmMain w;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    child<QAction>(w, "mnuVisitSite")->trigger();
    QDesktopServices::unsetUrlHandler("https");
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened.front(), QUrl(QString::fromLatin1(ProductWebSite)));
}

TEST_F(MainWindowTest, StatusTextsReplaceTheSinglePanel) {
    storePrefs("English");
    writeProfiles({});
    TfrmMain w;
    w.gridCopyProgress("orders", 17);
    EXPECT_EQ(w.statusText(), "Copy orders (17)");
    w.gridAfterDbCopy(2);
    EXPECT_EQ(w.statusText(), "Ready.2 erroneous records.");
    w.gridFetchProgress(1, 4);
    EXPECT_EQ(w.statusText(), "Lade Daten:25");
    w.gridFetchProgress(1, 0); // stays as it was
    EXPECT_EQ(w.statusText(), "Lade Daten:25");
    w.showConnectedStatus();
    EXPECT_EQ(w.statusText(), "Connected.");
    w.gridAfterCreateDB(false, "no space");
    EXPECT_EQ(w.statusText(), "Error creating table. (no space)");
    child<QAction>(w, "mnuDeutsch")->trigger();
    w.showDisconnectedStatus();
    EXPECT_EQ(w.statusText(), "Nicht verbunden.");
}

TEST_F(MainWindowTest, MainWindowTextsFollowTheLanguage) {
    storePrefs("Deutsch");
    writeProfiles({});
    TfrmMain w;
    EXPECT_EQ(w.mainWindowText(msgSearchPrompt), "Suchwort eingeben:");
    EXPECT_EQ(w.mainWindowText(msgNoRemoteDb), "Es existiert keine entfernte Datenbank dieses Namens.");
    child<QAction>(w, "mnuEnglish")->trigger();
    EXPECT_EQ(w.mainWindowText(msgSearchPrompt), "Find what:");
    EXPECT_EQ(w.mainWindowText(msgNoPrimaryKey),
              "The table does not have a unique primary key defined,\rFor updating this database you should "
              "select \"Drop tables before updating\"\rin the preferences.\r");
}

TEST_F(MainWindowTest, ConnectWithThePlaceholderSelectedAsksForAProfile) {
    storePrefs("Deutsch");
    writeProfiles({"Firma"});
    TfrmMain w;
    auto* connect = child<QToolButton>(w, "tbtConnect");
    EXPECT_TRUE(connect->isEnabled());
    connect->click();
    ASSERT_EQ(messages_->count(), 1);
    EXPECT_EQ(messages_->last().text, "Bitte wählen Sie ein Serverprofil");
    EXPECT_EQ(messages_->last().type, mtInformation);
    EXPECT_EQ(messages_->last().buttons, static_cast<TMsgDlgButtons>(mbOK));
}

TEST_F(MainWindowTest, QuickAccessChoiceEnablesConnectAndOffersToConnect) {
    storePrefs("English");
    writeProfiles({"Firma"});
    TfrmMain w;
    auto* connect = child<QToolButton>(w, "tbtConnect");
    messages_->answer(mrNo);
    w.serverList()->setCurrentIndex(1);
    w.cboServersChange();
    EXPECT_TRUE(connect->isEnabled());
    ASSERT_EQ(messages_->count(), 1);
    EXPECT_EQ(messages_->last().text, "Do you want to connect to the selected server profile?");
    EXPECT_EQ(messages_->last().buttons, static_cast<TMsgDlgButtons>(mbYes | mbNo));
    EXPECT_EQ(messages_->last().defaultButton, mrYes);
    // The placeholder only disables the connect button.
    w.serverList()->setCurrentIndex(0);
    w.cboServersChange();
    EXPECT_FALSE(connect->isEnabled());
    EXPECT_EQ(messages_->count(), 1);
}

TEST_F(MainWindowTest, WizardCommandsOpenTheWizardModallyWithTheQuickAccessEntries) {
    storePrefs("Deutsch");
    writeProfiles({"Firma", "Lager"});
    TfrmMain w;
    ModalWatcher watcher;
    std::vector<QVariant> entries;
    watcher.on("tablor::TfrmWizard", [&](QDialog* d) {
        EXPECT_TRUE(d->isModal());
        EXPECT_EQ(d->windowTitle(), "Datenbank-Assistent");
        auto* combo = d->findChild<QComboBox*>("cboServerMM2");
        if (combo && combo->count() == 3) entries.push_back(combo->itemData(2));
        d->reject();
    });
    child<QAction>(w, "mnuWizard")->trigger();
    child<QToolButton>(w, "tbtWizard")->click();
    EXPECT_EQ(watcher.count("tablor::TfrmWizard"), 2);
    ASSERT_EQ(entries.size(), 2u);
    for (const QVariant& e : entries) EXPECT_EQ(e, w.serverList()->itemData(2)); // the main window's record
    EXPECT_EQ(messages_->count(), 0);
}

TEST_F(MainWindowTest, ExitClosesTheWindow) {
    storePrefs("Deutsch");
    writeProfiles({});
    TfrmMain w;
    w.show();
    ASSERT_TRUE(waitUntil([&] { return w.isVisible(); }));
    w.findChild<QAction*>("Beenden1")->trigger();
    EXPECT_FALSE(w.isVisible());
}

} // namespace
} // namespace tablor::test

#include "mainwindow_test.moc"
