// The stand-in's boot loader, byte for byte.
#include "bootline.h"
#include "bootloader.h"

#include <QTemporaryDir>
#include <QtTest>

using sim::BootLoader;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray replies(const QVector<BootLoader::Exchange> &exchanges)
{
    QByteArray out;
    for (const BootLoader::Exchange &e : exchanges)
        out += e.out;
    return out;
}

// A boot loader past its 0x7F.
QByteArray runSynced(BootLoader &b, const QByteArray &in, bool byteByByte)
{
    b.enter();
    if (replies(b.feed(hex("7F"), 0)) != hex("79"))
        return "no sync";
    if (!byteByByte)
        return replies(b.feed(in, 1));
    QByteArray out;
    for (char c : in)
        out += replies(b.feed(QByteArray(1, c), 1));
    return out;
}

} // namespace

class TestSimBootLoader : public QObject
{
    Q_OBJECT
private slots:
    void exchanges_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("get") << hex("00 FF") << hex("79 0B 22 00 01 02 11 21 31 43 63 73 82 92 79");
        QTest::newRow("get version") << hex("01 FE") << hex("79 22 00 00 79");
        QTest::newRow("get id") << hex("02 FD") << hex("79 01 04 14 79");
        QTest::newRow("no complement") << hex("00 00 01 FE") << hex("1F 79 22 00 00 79");
        QTest::newRow("unknown command") << hex("44 BB") << hex("1F");
        QTest::newRow("write, read back")
            << hex("31 CE 08 00 00 10 18 03 AA BB CC DD 03  11 EE 08 00 00 10 18 03 FC")
            << hex("79 79 79  79 79 79 AA BB CC DD");
        QTest::newRow("address checksum") << hex("31 CE 08 00 00 00 00") << hex("79 1F");
        QTest::newRow("address past the flash") << hex("11 EE 08 04 00 00 0C") << hex("79 1F");
        QTest::newRow("read past the end") << hex("11 EE 08 03 FF FF 0B 01 FE") << hex("79 79 1F");
        QTest::newRow("count checksum") << hex("11 EE 08 00 00 00 08 01 FF") << hex("79 79 1F");
        QTest::newRow("data checksum") << hex("31 CE 08 00 00 00 08 01 11 22 00") << hex("79 79 1F");
        QTest::newRow("no write over written")
            << hex("31 CE 08 00 00 00 08 00 55 55  31 CE 08 00 00 00 08 00 AA AA")
            << hex("79 79 79  79 79 1F");
        QTest::newRow("page erase, write again")
            << hex("31 CE 08 00 00 00 08 00 55 55  43 BC 00 00 00  31 CE 08 00 00 00 08 00 AA AA"
                   "  11 EE 08 00 00 00 08 00 FF")
            << hex("79 79 79  79 79  79 79 79  79 79 79 AA");
        QTest::newRow("erase leaves other pages")
            << hex("31 CE 08 00 04 00 0C 00 55 55  43 BC 00 00 00  11 EE 08 00 04 00 0C 00 FF")
            << hex("79 79 79  79 79  79 79 79 55");
        QTest::newRow("erase list checksum") << hex("43 BC 01 00 01 07") << hex("79 1F");
        QTest::newRow("mass erase") << hex("43 BC FF 00") << hex("79 79");
        QTest::newRow("mass erase checksum") << hex("43 BC FF 01") << hex("79 1F");
        QTest::newRow("go outside the flash") << hex("21 DE 20 00 00 00 20") << hex("79 1F");
        QTest::newRow("readout protection") << hex("82 7D 7F 11 EE 31 CE 92 6D 7F 11 EE")
                                            << hex("79 79 79 1F 1F 79 79 79 79");
    }
    void exchanges()
    {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        BootLoader whole;
        QCOMPARE(runSynced(whole, in, false).toHex(' '), out.toHex(' '));
        BootLoader pieces;
        QCOMPARE(runSynced(pieces, in, true).toHex(' '), out.toHex(' '));
    }

    void goAndResync()
    {
        BootLoader b;
        QCOMPARE(replies(b.feed(hex("00 FF 55 7F"), 0)), hex("79")); // nothing before the sync
        QCOMPARE(replies(b.feed(hex("21 DE 08 00 01 00 09"), 10)), hex("79 79"));
        quint32 address = 0;
        QVERIFY(b.takeGo(&address));
        QCOMPARE(address, 0x08000100u);
        QVERIFY(!b.takeGo(&address));
        QVERIFY(!b.isSynced());
    }

    void unfinishedFrameIsDropped()
    {
        BootLoader b;
        b.feed(hex("7F 31 CE 08 00"), 0);
        // More than a second later the rest is a new command.
        const auto late = b.feed(hex("01 FE"), 1000 + BootLoader::AbandonMs);
        QCOMPARE(late.first().stage, QStringLiteral("abandoned"));
        QCOMPARE(replies(late), hex("79 22 00 00 79"));
    }

    void dumpAndCommands()
    {
        BootLoader b;
        b.feed(hex("7F 31 CE 08 00 00 00 08 01 12 34 27"), 0);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("flash.bin"));
        QVERIFY(b.dump(path, nullptr));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray image = f.readAll();
        QCOMPARE(image.size(), 256 * 1024);
        QCOMPARE(image.left(3), hex("12 34 FF"));

        QCOMPARE(sim::parseFlashCommand(QStringLiteral("flash-switch ON")).verb, sim::FlashCommand::Switch);
        QVERIFY(sim::parseFlashCommand(QStringLiteral("flash-switch on")).on);
        QCOMPARE(sim::parseFlashCommand(QStringLiteral("flash-switch")).verb, sim::FlashCommand::Invalid);
        QCOMPARE(sim::parseFlashCommand(QStringLiteral("flash-dump /tmp/a b.bin")).path, QStringLiteral("/tmp/a b.bin"));
        QCOMPARE(sim::parseFlashCommand(QStringLiteral("flash-dump")).verb, sim::FlashCommand::Invalid);
        QCOMPARE(sim::parseFlashCommand(QStringLiteral("reset")).verb, sim::FlashCommand::None);
    }

    void linePacing()
    {
        // 100 us a byte: a frame of 3 at 0 and one of 2 at 150 queue behind each other.
        sim::LineLane lane(100.0);
        QVERIFY(lane.isEmpty());
        lane.push(0, hex("01 02 03"));
        lane.push(150, hex("04 05"));
        QCOMPARE(lane.nextDueUs(), 100.0);
        QCOMPARE(lane.takeDue(99), QByteArray());
        QCOMPARE(lane.takeDue(100), hex("01"));
        QCOMPARE(lane.takeDue(299), hex("02"));
        QCOMPARE(lane.takeDue(400), hex("03 04"));
        QCOMPARE(lane.nextDueUs(), 500.0);
        QCOMPARE(lane.takeDue(10000), hex("05"));
        QVERIFY(lane.isEmpty());
        // An idle line starts at once; the 8E1 byte at 9600 baud is 11 bits.
        lane.push(20000, hex("79"));
        QCOMPARE(lane.takeDue(20100), hex("79"));
        QCOMPARE(sim::BootLine::ByteMicroseconds, 1e6 * 11 / 9600);
    }
};

QTEST_APPLESS_MAIN(TestSimBootLoader)
#include "tst_simbootloader.moc"
