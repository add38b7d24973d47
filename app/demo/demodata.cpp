// tablor-demo-data: fills the demo of scripts/run --demo. It writes the sample tables into a
// MariaDB database, a matching Access file through our engine's writer, and a server.dat with
// the profile "Demo" pointing at both.
//
//   tablor-demo-data mysql HOST PORT USER PASSWORD DATABASE
//   tablor-demo-data mdb PATH
//   tablor-demo-data profile FOLDER HOST PORT USER PASSWORD DATABASE MDBPATH
//
// The samples: customers with umlauts, money, dates and a memo; pictures as BMP, JPEG and GIF
// in a blob column; measurements in a table without a key; articles with prices.
#include "codecs/imagecodecs.h"
#include "db/ServerLogin.h"
#include "db/ZMySql.h"
#include "profiles/profilelist.h"
#include "profiles/programdir.h"

#include <jet/writer.h>

#include <gif_lib.h>

#include <QCoreApplication>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace tablor;

namespace {

struct Customer {
    const char* name;
    const char* city;
    int zip;
    const char* turnover; // money, two decimals
    const char* since;    // date
    const char* contact;  // date and time
    const char* note;     // memo; nullptr for none
};

const Customer Customers[] = {
    {"Jürgen Müller", "Köln", 50667, "12345.67", "1998-03-14", "2024-05-02 09:15:00",
     "Stammkunde seit der Eröffnung.\nBestellt jeden Monat Schrauben und Muttern."},
    {"Günther Schäfer", "Düsseldorf", 40213, "980.00", "2003-11-01", "2024-04-28 14:30:00", "Zahlt immer bar."},
    {"Ärzte-Praxis Özdemir", "München", 80331, "45210.10", "2011-07-19", "2024-05-10 11:00:00",
     "Größter Kunde im Süden; Ansprechpartnerin: Frau Öztürk."},
    {"Björn Åkesson", "Hamburg", 20095, "0.99", "2020-01-02", "2023-12-24 16:45:00", nullptr},
    {"Café Übersee", "Bremen", 28195, "3210.50", "2015-06-30", "2024-03-15 08:05:00",
     "Lieferung nur vormittags.\r\nHintereingang benutzen."},
    {"Straßenbau Weiß GmbH", "Leipzig", 4109, "77777.77", "1995-09-09", "2024-05-11 10:10:00",
     "Rahmenvertrag bis 2026."},
};

struct Article {
    int nr;
    const char* name;
    const char* price;
    int stock;
    const char* description;
};

const Article Articles[] = {
    {1001, "Schraube M4 × 20", "0.12", 15000, "Edelstahl, Kreuzschlitz"},
    {1002, "Mutter M4", "0.05", 22000, "Edelstahl"},
    {2001, "Dübel 6 mm", "0.08", 9000, "Für Beton und Mauerwerk"},
    {3001, "Akkuschrauber „Profi“", "149.00", 12, "18 V, zwei Akkus, Koffer"},
    {3002, "Bohrer-Satz (10-teilig)", "24.95", 40, "HSS, 1–10 mm"},
};

DecodedPicture drawPicture(int width, int height, int variant) {
    DecodedPicture p;
    p.width = width;
    p.height = height;
    p.pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double cx = x - width / 2.0, cy = y - height / 2.0;
            const double d = std::sqrt(cx * cx + cy * cy);
            std::uint32_t r, g, b;
            switch (variant % 3) {
            case 0: // sunset: sky gradient with a sun
                r = 255;
                g = static_cast<std::uint32_t>(120 + 100.0 * y / height);
                b = static_cast<std::uint32_t>(60 + 150.0 * (height - y) / height);
                if (d < height / 4.0) {
                    r = 255;
                    g = 220;
                    b = 40;
                }
                if (y > height * 3 / 4) {
                    r = 30;
                    g = 90;
                    b = 160;
                }
                break;
            case 1: // stripes
                r = ((x / 8) % 2) ? 40 : 230;
                g = static_cast<std::uint32_t>(255.0 * x / width);
                b = 120;
                break;
            default: // rings
                r = static_cast<std::uint32_t>(128 + 127 * std::sin(d / 4));
                g = 80;
                b = static_cast<std::uint32_t>(128 + 127 * std::cos(d / 6));
                break;
            }
            p.pixels[static_cast<size_t>(y) * width + x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    return p;
}

int writeToVector(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// A GIF with a 6x6x6 colour cube palette.
std::vector<std::uint8_t> encodeGif(const DecodedPicture& p) {
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, writeToVector, &error);
    if (!gif) return {};
    GifColorType colours[256] = {};
    for (int i = 0; i < 216; ++i)
        colours[i] = {static_cast<GifByteType>((i / 36) * 51), static_cast<GifByteType>(((i / 6) % 6) * 51),
                      static_cast<GifByteType>((i % 6) * 51)};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, p.width, p.height, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, p.width, p.height, false, nullptr) == GIF_OK;
    std::vector<GifPixelType> line(static_cast<size_t>(p.width));
    for (int y = 0; ok && y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const std::uint32_t c = p.pixels[static_cast<size_t>(y) * p.width + x];
            const int r = ((c >> 16) & 0xFF) / 51, g = ((c >> 8) & 0xFF) / 51, b = (c & 0xFF) / 51;
            line[static_cast<size_t>(x)] = static_cast<GifPixelType>(r * 36 + g * 6 + b);
        }
        ok = EGifPutLine(gif, line.data(), p.width) == GIF_OK;
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return ok ? out : std::vector<std::uint8_t>{};
}

struct Picture {
    const char* title;
    const char* format;
    std::vector<std::uint8_t> bytes;
};

std::vector<Picture> pictures() {
    return {
        {"Sonnenuntergang", "BMP", encodeBmp24(drawPicture(96, 64, 0))},
        {"Streifen", "JPEG", encodeJpeg(drawPicture(96, 64, 1), 90)},
        {"Ringe", "GIF", encodeGif(drawPicture(64, 64, 2))},
        {"Ringe groß", "JPEG", encodeJpeg(drawPicture(160, 120, 2), 85)},
        {"Meer", "BMP", encodeBmp24(drawPicture(48, 48, 0))},
        {"Kein Bild", "TEXT", {'k', 'e', 'i', 'n', ' ', 'B', 'i', 'l', 'd'}},
    };
}

QString hexLiteral(const std::vector<std::uint8_t>& bytes) {
    return QStringLiteral("X'") +
           QString::fromLatin1(
               QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())).toHex()) +
           QStringLiteral("'");
}

QString quoted(TZMySqlDatabase& db, const char* text) {
    if (!text) return QStringLiteral("NULL");
    return QStringLiteral("'") + QString::fromUtf8(db.EscapeString(QByteArray(text))) + QStringLiteral("'");
}

int fillMySql(char** argv) {
    TZMySqlDatabase db;
    setServerLogin(db, {.host = argv[2], .port = argv[3], .user = argv[4], .password = argv[5], .database = argv[6]});
    db.Connect();
    db.ExecuteDirect(
        "CREATE TABLE kunden (id INT AUTO_INCREMENT PRIMARY KEY, name VARCHAR(60), ort VARCHAR(40), plz INT, "
        "umsatz DECIMAL(12,2), kunde_seit DATE, letzter_kontakt DATETIME, notiz TEXT) CHARACTER SET utf8mb4");
    for (const Customer& c : Customers)
        db.ExecuteDirect(
            QStringLiteral("INSERT INTO kunden (name, ort, plz, umsatz, kunde_seit, letzter_kontakt, notiz) "
                           "VALUES (%1, %2, %3, %4, '%5', '%6', %7)")
                .arg(quoted(db, c.name), quoted(db, c.city))
                .arg(c.zip)
                .arg(QString::fromLatin1(c.turnover), QString::fromLatin1(c.since), QString::fromLatin1(c.contact),
                     quoted(db, c.note)));
    db.ExecuteDirect("CREATE TABLE bilder (id INT PRIMARY KEY, titel VARCHAR(60), format VARCHAR(10), bild LONGBLOB) "
                     "CHARACTER SET utf8mb4");
    int id = 1;
    for (const Picture& p : pictures())
        db.ExecuteDirect(QStringLiteral("INSERT INTO bilder VALUES (%1, %2, '%3', %4)")
                             .arg(id++)
                             .arg(quoted(db, p.title), QString::fromLatin1(p.format), hexLiteral(p.bytes)));
    db.ExecuteDirect("CREATE TABLE messwerte (station VARCHAR(30), zeitpunkt DATETIME, temperatur DOUBLE, "
                     "feuchte INT) CHARACTER SET utf8mb4");
    const char* stations[] = {"Zugspitze", "Göttingen", "Lübeck", "Frankfurt (Oder)"};
    for (int i = 0; i < 40; ++i)
        db.ExecuteDirect(QStringLiteral("INSERT INTO messwerte VALUES ('%1', '2024-05-%2 %3:00:00', %4, %5)")
                             .arg(QString::fromUtf8(stations[i % 4]))
                             .arg(1 + i / 4, 2, 10, QLatin1Char('0'))
                             .arg(6 + i % 12, 2, 10, QLatin1Char('0'))
                             .arg(-3.5 + (i * 37 % 250) / 10.0)
                             .arg(40 + i * 13 % 55));
    db.ExecuteDirect("CREATE TABLE artikel (nr INT PRIMARY KEY, bezeichnung VARCHAR(80), preis DECIMAL(10,2), "
                     "bestand INT, beschreibung TEXT) CHARACTER SET utf8mb4");
    for (const Article& a : Articles)
        db.ExecuteDirect(QStringLiteral("INSERT INTO artikel VALUES (%1, %2, %3, %4, %5)")
                             .arg(a.nr)
                             .arg(quoted(db, a.name), QString::fromLatin1(a.price))
                             .arg(a.stock)
                             .arg(quoted(db, a.description)));
    return 0;
}

jet::DateTime dateOf(const char* text) {
    jet::DateTimeParts p;
    std::sscanf(text, "%d-%d-%d %d:%d:%d", &p.year, &p.month, &p.day, &p.hour, &p.minute, &p.second);
    return jet::DateTime::fromParts(p);
}

jet::Currency moneyOf(const char* text) { return jet::Currency{std::llround(std::atof(text) * 10000)}; }

int writeMdb(char** argv) {
    auto writer = jet::DatabaseWriter::create(argv[2]);
    using jet::ColumnType;
    jet::TableSpec kunden{"kunden",
                          {{"id", ColumnType::Long, 0, 18, 0, false, true},
                           {"name", ColumnType::Text, 60},
                           {"ort", ColumnType::Text, 40},
                           {"plz", ColumnType::Long},
                           {"umsatz", ColumnType::Currency},
                           {"kunde_seit", ColumnType::DateTime},
                           {"letzter_kontakt", ColumnType::DateTime},
                           {"notiz", ColumnType::Memo}},
                          {{"", {"id"}, {}, true}}};
    writer.createTable(kunden);
    {
        auto t = writer.table("kunden");
        for (const Customer& c : Customers) {
            std::vector<jet::Value> row{jet::Value(),
                                        jet::Value::text(c.name),
                                        jet::Value::text(c.city),
                                        jet::Value::longInt(c.zip),
                                        jet::Value::currency(moneyOf(c.turnover)),
                                        jet::Value::dateTime(dateOf(c.since)),
                                        jet::Value::dateTime(dateOf(c.contact)),
                                        c.note ? jet::Value::text(c.note) : jet::Value()};
            t.insert(row);
        }
    }
    jet::TableSpec bilder{"bilder",
                          {{"id", ColumnType::Long},
                           {"titel", ColumnType::Text, 60},
                           {"format", ColumnType::Text, 10},
                           {"bild", ColumnType::Ole}},
                          {{"", {"id"}, {}, true}}};
    writer.createTable(bilder);
    {
        auto t = writer.table("bilder");
        int id = 1;
        for (const Picture& p : pictures()) {
            std::vector<jet::Value> row{jet::Value::longInt(id++), jet::Value::text(p.title),
                                        jet::Value::text(p.format), jet::Value::binary(p.bytes)};
            t.insert(row);
        }
    }
    jet::TableSpec messwerte{"messwerte",
                             {{"station", ColumnType::Text, 30},
                              {"zeitpunkt", ColumnType::DateTime},
                              {"temperatur", ColumnType::Double},
                              {"feuchte", ColumnType::Long}},
                             {}};
    writer.createTable(messwerte);
    {
        auto t = writer.table("messwerte");
        const char* stations[] = {"Zugspitze", "Göttingen", "Lübeck", "Frankfurt (Oder)"};
        for (int i = 0; i < 40; ++i) {
            jet::DateTimeParts when{2024, 5, 1 + i / 4, 6 + i % 12, 0, 0};
            std::vector<jet::Value> row{
                jet::Value::text(stations[i % 4]), jet::Value::dateTime(jet::DateTime::fromParts(when)),
                jet::Value::dbl(-3.5 + (i * 37 % 250) / 10.0), jet::Value::longInt(40 + i * 13 % 55)};
            t.insert(row);
        }
    }
    writer.flush();
    return 0;
}

int writeProfile(char** argv) {
    setProgramDirOverride(QString::fromLocal8Bit(argv[2]));
    ProfileList list;
    ServerProfile p;
    p.ProfileName = QStringLiteral("Demo");
    p.ServerName = argv[3];
    p.Port = std::atoi(argv[4]);
    p.UserName = argv[5];
    p.Password = argv[6];
    p.DbName = argv[7];
    p.MdbPath = QString::fromLocal8Bit(argv[8]);
    p.AccessFormat = 1;
    list.append(p);
    SaveProfiles(list);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        const std::string mode = argc > 1 ? argv[1] : "";
        if (mode == "mysql" && argc == 7) return fillMySql(argv);
        if (mode == "mdb" && argc == 3) return writeMdb(argv);
        if (mode == "profile" && argc == 9) return writeProfile(argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tablor-demo-data: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: tablor-demo-data mysql HOST PORT USER PASSWORD DATABASE\n"
                         "       tablor-demo-data mdb PATH\n"
                         "       tablor-demo-data profile FOLDER HOST PORT USER PASSWORD DATABASE MDBPATH\n");
    return 2;
}
