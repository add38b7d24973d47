// server.dat read and written against records built by hand from the file layout, byte by
// byte, and the failure cases of loading and saving.
#include "profiles/profilelist.h"
#include "profiles/programdir.h"
#include "profiles/windows1252.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace tablor;

namespace {

// A record assembled from raw bytes at the offsets of the layout table.
struct RawRecord {
    QByteArray b = QByteArray(2312, '\0');
    RawRecord& shortString(int at, const QByteArray& bytes) {
        b[at] = static_cast<char>(bytes.size());
        for (int i = 0; i < bytes.size(); ++i) b[at + 1 + i] = bytes[i];
        return *this;
    }
    RawRecord& int32(int at, qint32 v) {
        const auto u = static_cast<quint32>(v);
        b[at] = char(u & 0xFF);
        b[at + 1] = char((u >> 8) & 0xFF);
        b[at + 2] = char((u >> 16) & 0xFF);
        b[at + 3] = char((u >> 24) & 0xFF);
        return *this;
    }
    RawRecord& bytesAt(int at, const QByteArray& bytes) {
        for (int i = 0; i < bytes.size(); ++i) b[at + i] = bytes[i];
        return *this;
    }
    RawRecord& byteAt(int at, int v) {
        b[at] = static_cast<char>(v);
        return *this;
    }
};

// The password bytes as the file holds them, scrambled by hand: byte k XOR k.
QByteArray scrambledByHand(const QByteArray& plain) {
    QByteArray out = plain;
    for (int k = 1; k <= out.size(); ++k) out[k - 1] = char(quint8(out[k - 1]) ^ quint8(k & 255));
    return out;
}

class ServerDat : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("server.dat");
        programDir = dir.path() + "/";
        setProgramDirOverride(programDir);
    }
    void TearDown() override { setProgramDirOverride(QString()); }

    void writeFile(const QByteArray& data) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(data), data.size());
    }
    QByteArray readFile() {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }

    QTemporaryDir dir;
    QString path;
    QString programDir;
};

RawRecord sampleRecord() {
    RawRecord r;
    r.shortString(0, "Produktion")
        .shortString(256, "db.example.org")
        .int32(512, 3307)
        .shortString(516, "lager")
        .shortString(772, "admin")
        .shortString(1028, scrambledByHand("geheim"))
        .bytesAt(1284, "/home/user/lager.mdb")
        .byteAt(2309, 1)
        .byteAt(2310, 0);
    return r;
}

} // namespace

TEST_F(ServerDat, ReadsEveryFieldOfAHandBuiltRecord) {
    writeFile(sampleRecord().b);
    ProfileList list;
    ASSERT_TRUE(LoadProfiles(list, path));
    ASSERT_EQ(list.size(), 1);
    const ServerProfile& p = *list.at(0);
    EXPECT_EQ(p.ProfileName, "Produktion");
    EXPECT_EQ(p.ServerName, "db.example.org");
    EXPECT_EQ(p.Port, 3307);
    EXPECT_EQ(p.DbName, "lager");
    EXPECT_EQ(p.UserName, "admin");
    EXPECT_EQ(p.Password, "geheim");
    EXPECT_EQ(p.MdbPath, "/home/user/lager.mdb");
    EXPECT_TRUE(p.Overwrite);
    EXPECT_EQ(p.AccessFormat, 0);
}

TEST_F(ServerDat, WritesTheSameBytesAsTheHandBuiltRecord) {
    ProfileList list;
    ServerProfile p;
    p.ProfileName = "Produktion";
    p.ServerName = "db.example.org";
    p.Port = 3307;
    p.DbName = "lager";
    p.UserName = "admin";
    p.Password = "geheim";
    p.MdbPath = "/home/user/lager.mdb";
    p.Overwrite = true;
    p.AccessFormat = 0;
    list.append(p);
    SaveProfiles(list, path);
    EXPECT_EQ(readFile(), sampleRecord().b);
}

TEST_F(ServerDat, IgnoresBytesAfterTheEndOfEachStringAndWritesThemAsZeros) {
    RawRecord r = sampleRecord();
    r.bytesAt(1 + 10, "GARBAGE").bytesAt(1284 + 21, "rest of an older path");
    r.byteAt(2311, 0x55);
    writeFile(r.b);
    ProfileList list;
    LoadProfiles(list, path);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.at(0)->ProfileName, "Produktion");
    EXPECT_EQ(list.at(0)->MdbPath, "/home/user/lager.mdb");
    SaveProfiles(list, path);
    EXPECT_EQ(readFile(), sampleRecord().b);
}

TEST_F(ServerDat, UmlautsAreWindows1252BothWays) {
    // "Müller-Straße" and "€" in Windows-1252: ü = FC, ß = DF, € = 80.
    RawRecord r;
    r.shortString(0, QByteArray("M\xFCller-Stra\xDF"
                                "e \x80"))
        .bytesAt(1284, "C:\\D\xE4ten\\a.mdb");
    writeFile(r.b);
    ProfileList list;
    LoadProfiles(list, path);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.at(0)->ProfileName, QString::fromUtf8("Müller-Straße €"));
    EXPECT_EQ(list.at(0)->MdbPath, QString::fromUtf8("C:\\Däten\\a.mdb"));
    SaveProfiles(list, path);
    EXPECT_EQ(readFile(), r.b);
}

TEST_F(ServerDat, CharactersOutsideWindows1252BecomeQuestionMarks) {
    ProfileList list;
    ServerProfile p;
    p.ProfileName = QString::fromUtf8("Привет ok");
    p.MdbPath = "/x.mdb";
    list.append(p);
    SaveProfiles(list, path);
    const QByteArray file = readFile();
    EXPECT_EQ(file.mid(0, 10), QByteArray("\x09??????", 7) + " ok");
    EXPECT_EQ(ServerProfile::asShortString(p.ProfileName), "?????? ok");
}

TEST_F(ServerDat, PasswordOf255CharactersSurvives) {
    QByteArray plain;
    for (int i = 0; i < 255; ++i) plain.append(char('a' + i % 26));
    RawRecord r;
    r.shortString(0, "p").shortString(1028, scrambledByHand(plain)).bytesAt(1284, "/a.mdb");
    ASSERT_EQ(quint8(r.b[1028]), 255);
    writeFile(r.b);
    ProfileList list;
    LoadProfiles(list, path);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.at(0)->Password, QString::fromLatin1(plain));
    SaveProfiles(list, path);
    EXPECT_EQ(readFile(), r.b);
}

TEST_F(ServerDat, PasswordWhoseScrambledFormHasZeroBytesSurvives) {
    // '1' (0x31 = 49) at position 49 and 'A' (65) at position 65 scramble to zero bytes.
    QByteArray plain(70, 'x');
    plain[48] = '1';
    plain[64] = 'A';
    const QByteArray scrambled = scrambledByHand(plain);
    ASSERT_EQ(scrambled[48], '\0');
    ASSERT_EQ(scrambled[64], '\0');
    ProfileList list;
    ServerProfile p;
    p.ProfileName = "z";
    p.Password = QString::fromLatin1(plain);
    p.MdbPath = "/a.mdb";
    list.append(p);
    SaveProfiles(list, path);
    const QByteArray file = readFile();
    EXPECT_EQ(quint8(file[1028]), 70);
    EXPECT_EQ(file.mid(1029, 70), scrambled);
    ProfileList again;
    LoadProfiles(again, path);
    ASSERT_EQ(again.size(), 1);
    EXPECT_EQ(again.at(0)->Password, p.Password);
}

TEST_F(ServerDat, ScrambleIsItsOwnInverseAndUsesThePositionModulo256) {
    QByteArray plain(300, 'Q');
    const QByteArray once = ScramblePassword(plain);
    EXPECT_EQ(quint8(once[0]), quint8('Q' ^ 1));
    EXPECT_EQ(quint8(once[255]), quint8('Q' ^ 0)); // position 256 -> 256 AND 255 = 0
    EXPECT_EQ(quint8(once[256]), quint8('Q' ^ 1));
    EXPECT_EQ(ScramblePassword(once), plain);
}

TEST_F(ServerDat, LongStringsAreCutToTheirFields) {
    ProfileList list;
    ServerProfile p;
    p.ProfileName = QString(300, u'N');
    p.Password = QString(256, u'p');
    p.MdbPath = "/" + QString(2000, u'x');
    list.append(p);
    SaveProfiles(list, path);
    const QByteArray file = readFile();
    ASSERT_EQ(file.size(), 2312);
    EXPECT_EQ(quint8(file[0]), 255);
    EXPECT_EQ(quint8(file[1028]), 255);
    // A path of exactly 1025 bytes fills the field with no terminating zero.
    EXPECT_EQ(file.mid(1284, 1025), ("/" + QByteArray(1024, 'x')));
    EXPECT_EQ(file[2309], '\0');
    ProfileList again;
    LoadProfiles(again, path);
    EXPECT_EQ(again.at(0)->ProfileName, QString(255, u'N'));
    EXPECT_EQ(again.at(0)->Password, QString(255, u'p'));
    EXPECT_EQ(again.at(0)->MdbPath.size(), 1025);
}

TEST_F(ServerDat, PathOfExactly1025BytesIsReadWithoutATerminator) {
    RawRecord r;
    r.shortString(0, "x").bytesAt(1284, QByteArray(1025, 'p')).byteAt(2309, 1).byteAt(2310, 1);
    writeFile(r.b);
    ProfileList list;
    LoadProfiles(list, path);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.at(0)->MdbPath, QString(1025, u'p'));
    EXPECT_TRUE(list.at(0)->Overwrite);
    EXPECT_EQ(list.at(0)->AccessFormat, 1);
}

TEST_F(ServerDat, PortsAreSigned32BitAndKeptOutsideTheTcpRange) {
    RawRecord a, b;
    a.shortString(0, "neg").int32(512, -5).bytesAt(1284, "/a");
    b.shortString(0, "big").int32(512, 70000).bytesAt(1284, "/b");
    writeFile(a.b + b.b);
    ProfileList list;
    LoadProfiles(list, path);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.at(0)->Port, -5);
    EXPECT_EQ(list.at(1)->Port, 70000);
}

TEST(PortText, NonIntegerTextIsStoredAs3306) {
    EXPECT_EQ(portFromText("3307"), 3307);
    EXPECT_EQ(portFromText("  3307"), 3307);
    EXPECT_EQ(portFromText("-1"), -1);
    EXPECT_EQ(portFromText("99999"), 99999);
    EXPECT_EQ(portFromText(""), 3306);
    EXPECT_EQ(portFromText("abc"), 3306);
    EXPECT_EQ(portFromText("33o6"), 3306);
    EXPECT_EQ(portFromText("3307 "), 3306);
    EXPECT_EQ(portFromText("+"), 3306);
    EXPECT_EQ(portFromText("4294967296"), 3306);
    EXPECT_EQ(portFromText("2147483648"), 3306);
    EXPECT_EQ(portFromText("-2147483648"), -2147483647 - 1);
}

TEST_F(ServerDat, RecordsKeepFileOrderAndDuplicateNames) {
    RawRecord a, b, c;
    a.shortString(0, "same").int32(512, 1).bytesAt(1284, "/1");
    b.shortString(0, "other").int32(512, 2).bytesAt(1284, "/2");
    c.shortString(0, "same").int32(512, 3).bytesAt(1284, "/3");
    writeFile(a.b + b.b + c.b);
    ProfileList list;
    LoadProfiles(list, path);
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.at(0)->Port, 1);
    EXPECT_EQ(list.at(1)->Port, 2);
    EXPECT_EQ(list.at(2)->Port, 3);
    EXPECT_EQ(list.at(2)->ProfileName, "same");
}

TEST_F(ServerDat, TrailingPartialRecordIsIgnored) {
    RawRecord a = sampleRecord();
    writeFile(a.b + a.b + a.b.left(1000));
    ProfileList list;
    ASSERT_TRUE(LoadProfiles(list, path));
    EXPECT_EQ(list.size(), 2);
}

TEST_F(ServerDat, FileShorterThanOneRecordLoadsNothing) {
    writeFile(sampleRecord().b.left(2311));
    ProfileList list;
    list.append(ServerProfile{});
    ASSERT_TRUE(LoadProfiles(list, path));
    EXPECT_EQ(list.size(), 0);
}

TEST_F(ServerDat, EmptyFileLoadsAnEmptyList) {
    writeFile(QByteArray());
    ProfileList list;
    list.append(ServerProfile{});
    EXPECT_TRUE(LoadProfiles(list, path));
    EXPECT_TRUE(list.empty());
}

TEST_F(ServerDat, MissingFileLeavesTheListAsItWas) {
    ProfileList list;
    list.append(ServerProfile{});
    EXPECT_FALSE(LoadProfiles(list, path));
    EXPECT_EQ(list.size(), 1);
}

TEST_F(ServerDat, UnreadableFileThrowsAndLeavesTheListEmpty) {
    // A folder in the file's place cannot be opened as a file, even by root.
    ASSERT_TRUE(QDir(dir.path()).mkdir("server.dat"));
    ProfileList list;
    list.append(ServerProfile{});
    try {
        LoadProfiles(list, path);
        FAIL() << "no error for an unreadable server.dat";
    } catch (const ProfileFileError& e) {
        EXPECT_NE(std::string(e.what()).find("server.dat"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(list.empty());
}

TEST_F(ServerDat, EmptyMdbPathGetsAGuidNameInTheFileOnly) {
    ProfileList list;
    ServerProfile p;
    p.ProfileName = "neu";
    ServerProfile* record = list.append(p);
    SaveProfiles(list, path);
    EXPECT_TRUE(record->MdbPath.isEmpty()); // the record in memory is unchanged

    ProfileList again;
    LoadProfiles(again, path);
    const QString generated = again.at(0)->MdbPath;
    const QRegularExpression form("^" + QRegularExpression::escape(programDir) +
                                  R"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}\.mdb$)");
    EXPECT_TRUE(form.match(generated).hasMatch()) << generated.toStdString();

    SaveProfiles(list, path); // each save of the empty path picks a new name
    ProfileList third;
    LoadProfiles(third, path);
    EXPECT_NE(third.at(0)->MdbPath, generated);
}

TEST_F(ServerDat, SavedFileIsPrivateAndReplacesALooserOne) {
    writeFile(sampleRecord().b);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    ProfileList list;
    LoadProfiles(list, path);
    SaveProfiles(list, path);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "a temporary file was left behind";
}

TEST_F(ServerDat, SaveOfAnEmptyListWritesAnEmptyFile) {
    writeFile(sampleRecord().b);
    ProfileList list;
    SaveProfiles(list, path);
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(QFileInfo(path).size(), 0);
}

TEST_F(ServerDat, FailedSaveLeavesTheOldFileAndNoTemporaryFile) {
    const QByteArray old = sampleRecord().b;
    writeFile(old);
    ProfileList list;
    for (int i = 0; i < 5; ++i) list.append(ServerProfile::fromRecord(old.constData()));

    // Let the kernel refuse to write beyond 4000 bytes (EFBIG), as a full disk would stop the
    // write halfway; this works for root too.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    std::string message;
    try {
        SaveProfiles(list, path);
    } catch (const ProfileFileError& e) {
        threw = true;
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(threw);
    EXPECT_NE(message.find("previous file was left"), std::string::npos) << message;
    EXPECT_EQ(readFile(), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(ServerDat, SaveIntoAMissingFolderFailsWithAMessage) {
    ProfileList list;
    list.append(ServerProfile{});
    EXPECT_THROW(SaveProfiles(list, dir.filePath("no/such/folder/server.dat")), ProfileFileError);
}

TEST(Windows1252, EveryByteSurvivesARoundTrip) {
    QByteArray all;
    for (int i = 0; i < 256; ++i) all.append(char(i));
    const QString text = fromWindows1252(all);
    EXPECT_EQ(text.at(0x80), QChar(0x20AC));
    EXPECT_EQ(text.at(0x9F), QChar(0x0178));
    EXPECT_EQ(text.at(0x81), QChar(0x0081));
    EXPECT_EQ(toWindows1252(text), all);
    EXPECT_TRUE(fitsWindows1252(text));
    EXPECT_FALSE(fitsWindows1252(QString::fromUtf8("日本")));
    EXPECT_EQ(toWindows1252(QString::fromUtf8("a😀b")), QByteArray("a?b"));
}

TEST(ProgramDirTest, OverrideAddsTheSeparatorAndResets) {
    setProgramDirOverride("/tmp/x");
    EXPECT_EQ(ProgramDir(), "/tmp/x/");
    EXPECT_EQ(serverDatPath(), "/tmp/x/server.dat");
    setProgramDirOverride(QString());
    EXPECT_TRUE(ProgramDir().endsWith('/'));
    EXPECT_NE(ProgramDir(), "/tmp/x/");
}

TEST(ProgramDirTest, UnwritableProgramFolderFallsBackToTheUserDataFolder) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/data"));
    // A folder that does not exist is not writable for anyone, root included.
    EXPECT_EQ(chooseProgramDir(home.path() + "/no/such/bin"), home.path() + "/data/Tablor/");
    EXPECT_TRUE(QFileInfo(home.path() + "/data/Tablor").isDir());
    EXPECT_EQ(chooseProgramDir(home.path()), home.path() + "/");
    qputenv("XDG_DATA_HOME", "relative/path"); // not absolute: ignored
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    EXPECT_EQ(userDataDir(), home.path() + "/.local/share/Tablor/");
    qputenv("HOME", oldHome);
    if (oldData.isNull()) {
        qunsetenv("XDG_DATA_HOME");
    } else {
        qputenv("XDG_DATA_HOME", oldData);
    }
}

TEST(ProgramDirTest, AnInstalledProgramKeepsItsFilesInTheUserDataFolder) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.path() + "/data"));
    const QString bin = root.path() + "/usr/bin";
    ASSERT_TRUE(QDir().mkpath(bin));
    // A writable bin folder without the share folder: a portable copy, files beside the program.
    EXPECT_EQ(installedShareDir(bin), QString());
    EXPECT_EQ(chooseProgramDir(bin), bin + "/");
    // With <prefix>/share/tablor it is an installed program (writable for root, or unpacked).
    ASSERT_TRUE(QDir().mkpath(root.path() + "/usr/share/tablor"));
    EXPECT_EQ(installedShareDir(bin), root.path() + "/usr/share/tablor/");
    EXPECT_EQ(installedShareDir(bin + "/"), root.path() + "/usr/share/tablor/");
    EXPECT_EQ(chooseProgramDir(bin), root.path() + "/data/Tablor/");
    // Only a folder named bin counts: the build tree's build/bin has no share folder, and a
    // portable folder that happens to sit beside share/tablor is not an install.
    ASSERT_TRUE(QDir().mkpath(root.path() + "/usr/portable"));
    EXPECT_EQ(chooseProgramDir(root.path() + "/usr/portable"), root.path() + "/usr/portable/");
    if (oldData.isNull()) {
        qunsetenv("XDG_DATA_HOME");
    } else {
        qputenv("XDG_DATA_HOME", oldData);
    }
}

TEST_F(ServerDat, SaveThroughASymbolicLinkKeepsTheLink) {
    QDir(dir.path()).mkdir("synced");
    const QString real = dir.filePath("synced/server.dat");
    QFile::link(real, path);
    ProfileList list;
    ServerProfile p;
    p.ProfileName = "linked";
    p.MdbPath = "/a.mdb";
    list.append(p);
    SaveProfiles(list, path);
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    ProfileList again;
    LoadProfiles(again, real);
    ASSERT_EQ(again.size(), 1);
    EXPECT_EQ(again.at(0)->ProfileName, "linked");
}
