// station-sim: the station's hardware on one machine (antenna controller on a
// pseudo-terminal, demodulator on a loopback TCP port, pass-prediction files).

#include "bootloader.h"
#include "controlcommand.h"
#include "station.h"
#include "termination.h"
#include "tuvarn_version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <csignal>
#include <cstdio>

namespace {

const char *const Epilogue =
    "\n"
    "Serial port names on Linux:\n"
    "  The console names its port by number (Port=3 is \"COM3\") and finds it as the entry\n"
    "  COM<n> in the port folder: $TUVARN_PORT_DIR, or /dev when that is not set. The\n"
    "  stand-in creates a pseudo-terminal and links it there as COM<n> (--port-dir, --port);\n"
    "  start the console with the same TUVARN_PORT_DIR. The link is removed on exit. An\n"
    "  existing COM<n> is replaced only when it is a dangling link or a link to a\n"
    "  pseudo-terminal (a stand-in that died).\n"
    "\n"
    "The controller:\n"
    "  Sends a 16-byte status reply every whole UTC second and after every frame that\n"
    "  changes its state; transmissions are kept apart by at least --gap ms of silence.\n"
    "  The time word is the machine's UTC second of the day (the clock is only read).\n"
    "  Reply kinds rotate 1 lat, 2 lon, 3 north steps, 4 parallel steps, 5 reference\n"
    "  azimuth x10; while a pass is loaded the kind is 0 and the parameter word holds the\n"
    "  countdown, while tracking the point index (byte 10: the board's own offset, mm).\n"
    "  A pass: going to start --start-lead s before the start (at once for a single\n"
    "  point), in start position after --travel s, tracking one table point per second\n"
    "  with one 0x00 correction request in the middle of each, finish for 3 s, idle.\n"
    "  A start already past at upload reports 0x0008 (too late). A bad upload (length,\n"
    "  checksum, mode) or any damaged frame sets the receive-error bit 0x0001 until the\n"
    "  next good upload or command 1-7. Correction answers 0x40 and 0x80 are taken as the\n"
    "  forward/back flags of the forward-back scan, any other byte as an offset in mm.\n"
    "  Command 9 (u-blox) stops all replies until \"reset\".\n"
    "\n"
    "The boot loader (command 10, --flash-switch or \"flash-switch on\"): the board stops\n"
    "  its replies and answers the STM32 USART boot loader protocol: 0x7F, Get, Get\n"
    "  Version, Get ID, Read Memory, Write Memory, Erase (1 KB pages), Go and the\n"
    "  protection commands, ACK 0x79, NACK 0x1F on a bad checksum, an unknown command,\n"
    "  an address outside the 256 KB flash at 0x08000000 or a write to flash not erased.\n"
    "  Go starts normal operation one second later. The flash is kept for the whole\n"
    "  run (erased: 0xFF); \"flash-dump FILE\" writes it out.\n"
    "\n"
    "The demodulator (127.0.0.1, --demod-port): answers every power request (2E FD 69 B6\n"
    "  30 00 00 00) with 52 bytes, power at 44 and SNR at 48 in tenths of a dB. The status\n"
    "  probe and the connect message are read and not answered. While a pass is tracked\n"
    "  the power follows a Gaussian beam around the true pass (the table moved\n"
    "  --true-offset mm across the track, or where --pointing-error puts it); otherwise\n"
    "  it is the noise floor. The north correction the board holds (command 3) turns\n"
    "  the feed plane anticlockwise by 0.1125 degrees a step.\n"
    "\n"
    "Transcript (--transcript FILE): one JSON object per line, flushed per line, with\n"
    "  \"t\" (UTC, ISO 8601 with ms), \"dir\" (rx, tx or sim) and \"kind\":\n"
    "  tx status       hex, statusWord, statusHex, param, replyKind, byte10, timeWord, why,\n"
    "                  pointIndex (tracking) or countdown (pass waiting)\n"
    "  tx request      the 0x00 correction request: pointIndex, byte10 (byte 10 of the last\n"
    "                  tracking reply sent, what the console records as Korr0),\n"
    "                  replyPointIndex\n"
    "  rx correction   the console's answer: value (signed), byte, pointIndex, byte10, flag\n"
    "                  (forward/back for 0x40/0x80)\n"
    "  rx upload       hex, length, n, startSecondOfDay, consoleTimeMs, uploadMode, radius,\n"
    "                  checksum, checksumOk, accepted, reason (refused) or outcome\n"
    "                  (scheduled/too late), passStart\n"
    "  rx command      hex, code, name, arg (6-byte commands)\n"
    "  rx rejected     hex, length, reason\n"
    "  rx ublox        bytes received while the line is switched to the GPS module\n"
    "  rx bootloader   one boot loader frame: hex, length, command, stage (command,\n"
    "                  address, count, data, list), address, count, note (refusals)\n"
    "  tx bootloader   its answer: hex, ack\n"
    "  tx garbage      hex, length\n"
    "  tx demod        hex, powerTenths, snrTenths, power, snr, signal, pointIndex, errorMm\n"
    "  rx demod-request  probe, connect or unknown requests (power requests are implied\n"
    "                  by their answers)\n"
    "  sim ...         start, stop, port, mode, fault, control, gps, suppressed,\n"
    "                  correction-missed, pass-file, demod-state, demod-client\n"
    "\n"
    "stdout: a line \"ready port=<link> pty=<terminal> demod=<port|off>\" once everything\n"
    "  is up, then one answer per control command. Errors go to stderr; the exit code is\n"
    "  0 after quit or a signal, 1 for bad options, 2 when a port cannot be opened.\n";

bool readInt(const QCommandLineParser &p, const QString &name, int low, int high, int *out)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v < low || v > high) {
        std::fprintf(stderr, "station-sim: --%s wants a whole number from %d to %d\n",
                     qPrintable(name), low, high);
        return false;
    }
    *out = v;
    return true;
}

bool readDouble(const QCommandLineParser &p, const QString &name, double low, double high, double *out)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const double v = p.value(name).toDouble(&ok);
    if (!ok || v < low || v > high) {
        std::fprintf(stderr, "station-sim: --%s wants a number from %g to %g\n", qPrintable(name), low, high);
        return false;
    }
    *out = v;
    return true;
}

// --station DIR: the folders the demo needs, made when missing. The port
// folder is where the console must look (TUVARN_PORT_DIR); the track file is
// the example station's TrackPath.
bool demoStation(const QCommandLineParser &p, QString *portFolder, QString *trackPath)
{
    const QDir station(p.value(QStringLiteral("station")));
    if (!station.exists(QStringLiteral("tuvarn.ini"))) {
        std::fprintf(stderr, "station-sim: --station %s has no tuvarn.ini (copy the example station "
                             "there first)\n", qPrintable(station.path()));
        return false;
    }
    const bool passes = !p.isSet(QStringLiteral("no-passes"));
    for (const QString &sub : {QStringLiteral("ports"), QStringLiteral("track"), QStringLiteral("data")}) {
        if (!station.mkpath(sub)) {
            std::fprintf(stderr, "station-sim: cannot make %s\n", qPrintable(station.filePath(sub)));
            return false;
        }
    }
    if (!p.isSet(QStringLiteral("port-dir")))
        *portFolder = station.absoluteFilePath(QStringLiteral("ports"));
    if (passes)
        *trackPath = station.absoluteFilePath(QStringLiteral("track/Track.txt"));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("station-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TUVARN_VERSION));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Stand-in for the station hardware: the antenna controller on a pseudo-terminal\n"
        "linked as COM<n>, the demodulator on 127.0.0.1, and optionally the pass-prediction\n"
        "program writing track files."));
    p.addHelpOption();
    p.addVersionOption();
    const QList<QCommandLineOption> options = {
        {QStringLiteral("station"), QStringLiteral("Demo on a station folder (a copy of the example station): the COM<n> link in dir/ports, a pass every 180 s written to dir/track/Track.txt (--no-passes: none; other --pass-* and --track-path still apply). Start the console with TUVARN_PORT_DIR=dir/ports."), QStringLiteral("dir")},
        {QStringLiteral("no-passes"), QStringLiteral("With --station: write no track files (track-predict writes them).")},
        {QStringLiteral("port-dir"), QStringLiteral("Folder for the COM<n> link (default $TUVARN_PORT_DIR, else /dev)."), QStringLiteral("dir")},
        {QStringLiteral("port"), QStringLiteral("Port number n of COM<n> (default 3)."), QStringLiteral("n")},
        {QStringLiteral("transcript"), QStringLiteral("Write the JSON-lines transcript to this file."), QStringLiteral("file")},
        {QStringLiteral("baud-pace"), QStringLiteral("Pace the line at 9600 baud: one byte at a time out, and in programming mode both ways at 8E1.")},
        {QStringLiteral("gap"), QStringLiteral("Silence between transmissions, ms (default 50, at least 35)."), QStringLiteral("ms")},
        {QStringLiteral("firmware"), QStringLiteral("Firmware version in the replies, MAJOR.MINOR (default 3.7)."), QStringLiteral("ver")},
        {QStringLiteral("gps"), QStringLiteral("GPS state: ok (0x3000, default), actual, failed, invalid."), QStringLiteral("state")},
        {QStringLiteral("lat"), QStringLiteral("Latitude in reply kind 1, degrees (default 59.9375)."), QStringLiteral("deg")},
        {QStringLiteral("lon"), QStringLiteral("Longitude in reply kind 2, degrees (default 30.3086)."), QStringLiteral("deg")},
        {QStringLiteral("start-lead"), QStringLiteral("Go to the start position this long before the start, s (default 20)."), QStringLiteral("s")},
        {QStringLiteral("travel"), QStringLiteral("Duration of every move, s (default 3)."), QStringLiteral("s")},
        {QStringLiteral("own-offset"), QStringLiteral("Amplitude of the board's own across-track offset in byte 10, mm (default 3; 0 keeps it 0)."), QStringLiteral("mm")},
        {QStringLiteral("true-offset"), QStringLiteral("The true pass lies this far across the table, mm (default 4)."), QStringLiteral("mm")},
        {QStringLiteral("true-along"), QStringLiteral("... and this far along it, mm (default 0)."), QStringLiteral("mm")},
        {QStringLiteral("pointing-error"), QStringLiteral("The pointing model is wrong: the true image lies at scale*Rot(rot)*p + (x, y) of the commanded point p, e.g. \"scale=1.015,rot=0.4,x=3,y=-2\" (instead of --true-offset/--true-along)."), QStringLiteral("terms")},
        {QStringLiteral("vary-passes"), QStringLiteral("Written passes differ in how close they come to the axis, not only in direction (headings from 20 degrees).")},
        {QStringLiteral("fb-step"), QStringLiteral("Feed move for the forward/back flags 0x40/0x80, mm (default 4)."), QStringLiteral("mm")},
        {QStringLiteral("refuse-uploads"), QStringLiteral("Start with uploads refused (receive error).")},
        {QStringLiteral("demod-port"), QStringLiteral("Demodulator TCP port on 127.0.0.1 (default 6002; 0 = any free port)."), QStringLiteral("port")},
        {QStringLiteral("no-demod"), QStringLiteral("Start with the demodulator stopped.")},
        {QStringLiteral("noise-floor"), QStringLiteral("Power with no signal, dB (default 20)."), QStringLiteral("dB")},
        {QStringLiteral("peak-snr"), QStringLiteral("SNR with the feed on the satellite, dB (default 25)."), QStringLiteral("dB")},
        {QStringLiteral("beam-width"), QStringLiteral("Full beam width at half power, mm of feed offset (default 30)."), QStringLiteral("mm")},
        {QStringLiteral("jitter"), QStringLiteral("Standard deviation of the noise on power and SNR, dB (default 0.3)."), QStringLiteral("dB")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the random noise (default 1)."), QStringLiteral("n")},
        {QStringLiteral("track-path"), QStringLiteral("Write synthetic track files here (the console's TrackPath)."), QStringLiteral("path")},
        {QStringLiteral("pass-lead"), QStringLiteral("A written pass starts this far ahead, s (default 60)."), QStringLiteral("s")},
        {QStringLiteral("pass-points"), QStringLiteral("Points (seconds) per pass (default 40)."), QStringLiteral("n")},
        {QStringLiteral("pass-every"), QStringLiteral("Write a new pass every so many seconds (default 0: once)."), QStringLiteral("s")},
        {QStringLiteral("pass-min-elev"), QStringLiteral("Elevation at both ends of a pass, degrees (default 75)."), QStringLiteral("deg")},
        {QStringLiteral("pass-max-elev"), QStringLiteral("Highest elevation of a pass, degrees (default 86)."), QStringLiteral("deg")},
        {QStringLiteral("focus"), QStringLiteral("Focus of the dish the passes are laid out for, mm (default 1400)."), QStringLiteral("mm")},
        {QStringLiteral("satellite"), QStringLiteral("Satellite name in the track files (default SIMSAT)."), QStringLiteral("name")},
        {QStringLiteral("orbit"), QStringLiteral("Orbit number of the first pass (default 1)."), QStringLiteral("n")},
        {QStringLiteral("fault"), QStringLiteral("Run a control command, optionally SECONDS after the start: \"[+S ]command\" (repeatable)."), QStringLiteral("[+S ]command")},
        {QStringLiteral("no-control"), QStringLiteral("Do not read control commands from stdin.")},
        {QStringLiteral("flash-switch"), QStringLiteral("Start with the flash switch on: in the boot loader.")},
    };
    p.addOptions(options);
    if (!p.parse(app.arguments())) {
        std::fprintf(stderr, "station-sim: %s\n", qPrintable(p.errorText()));
        return 1;
    }
    if (p.isSet(QStringLiteral("help"))) {
        QTextStream out(stdout);
        out << p.helpText() << Epilogue << QLatin1Char('\n') << control::helpText() << sim::flashHelpText();
        return 0;
    }
    if (p.isSet(QStringLiteral("version"))) {
        p.showVersion();
    }
    if (!p.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "station-sim: unexpected argument %s (see --help)\n",
                     qPrintable(p.positionalArguments().first()));
        return 1;
    }

    Station::Options o;
    const QString envDir = qEnvironmentVariable("TUVARN_PORT_DIR");
    o.controller.portFolder = p.isSet(QStringLiteral("port-dir")) ? p.value(QStringLiteral("port-dir"))
                              : envDir.isEmpty() ? QStringLiteral("/dev") : envDir;
    QString demoTrackPath;
    if (p.isSet(QStringLiteral("station"))) {
        if (!demoStation(p, &o.controller.portFolder, &demoTrackPath))
            return 1;
    } else if (p.isSet(QStringLiteral("no-passes"))) {
        std::fprintf(stderr, "station-sim: --no-passes goes with --station\n");
        return 1;
    }
    o.controller.baudPace = p.isSet(QStringLiteral("baud-pace"));
    o.controller.flashSwitch = p.isSet(QStringLiteral("flash-switch"));
    o.transcriptPath = p.value(QStringLiteral("transcript"));
    o.demodOn = !p.isSet(QStringLiteral("no-demod"));
    o.controlChannel = !p.isSet(QStringLiteral("no-control"));
    o.faults = p.values(QStringLiteral("fault"));
    if (p.isSet(QStringLiteral("refuse-uploads")))
        o.faults.prepend(QStringLiteral("refuse-uploads on"));

    int demodPort = 6002, startLead = 20, travel = 3, ownOffset = 3, seed = 1;
    int lead = 60, points = 40, every = 0, orbit = 1;
    if (!demoTrackPath.isEmpty()) {
        lead = 45; // the first pass soon after the start, then one every three minutes
        every = 180;
    }
    double trueOffset = 4.0, trueAlong = 0.0, fbStep = 4.0, lat = 59.9375, lon = 30.3086;
    double minEl = 75.0, maxEl = 86.0, focus = 1400.0;
    bool ok = readInt(p, QStringLiteral("port"), 0, 9999, &o.controller.portNumber)
              && readInt(p, QStringLiteral("gap"), 35, 1000, &o.controller.gapMs)
              && readInt(p, QStringLiteral("demod-port"), 0, 65535, &demodPort)
              && readInt(p, QStringLiteral("start-lead"), 0, 3600, &startLead)
              && readInt(p, QStringLiteral("travel"), 0, 600, &travel)
              && readInt(p, QStringLiteral("own-offset"), 0, 100, &ownOffset)
              && readInt(p, QStringLiteral("seed"), 0, 2147483647, &seed)
              && readInt(p, QStringLiteral("pass-lead"), 0, 86400, &lead)
              && readInt(p, QStringLiteral("pass-points"), 1, 993, &points)
              && readInt(p, QStringLiteral("pass-every"), 0, 864000, &every)
              && readInt(p, QStringLiteral("orbit"), 0, 999999999, &orbit)
              && readDouble(p, QStringLiteral("true-offset"), -100, 100, &trueOffset)
              && readDouble(p, QStringLiteral("true-along"), -100, 100, &trueAlong)
              && readDouble(p, QStringLiteral("fb-step"), 0, 100, &fbStep)
              && readDouble(p, QStringLiteral("lat"), -90, 90, &lat)
              && readDouble(p, QStringLiteral("lon"), -180, 180, &lon)
              && readDouble(p, QStringLiteral("pass-min-elev"), 1, 89.9, &minEl)
              && readDouble(p, QStringLiteral("pass-max-elev"), 1, 89.9, &maxEl)
              && readDouble(p, QStringLiteral("focus"), 100, 100000, &focus)
              && readDouble(p, QStringLiteral("noise-floor"), -300, 300, &o.beam.noiseFloorDb)
              && readDouble(p, QStringLiteral("peak-snr"), 0, 100, &o.beam.peakSnrDb)
              && readDouble(p, QStringLiteral("beam-width"), 1, 1000, &o.beam.halfPowerWidthMm)
              && readDouble(p, QStringLiteral("jitter"), 0, 20, &o.beam.jitterDb);
    if (!ok)
        return 1;
    if (minEl > maxEl) {
        std::fprintf(stderr, "station-sim: --pass-min-elev is above --pass-max-elev\n");
        return 1;
    }
    if (p.isSet(QStringLiteral("firmware"))) {
        const QStringList parts = p.value(QStringLiteral("firmware")).split(QLatin1Char('.'));
        bool okMajor = false, okMinor = false;
        const int major = parts.value(0).toInt(&okMajor);
        const int minor = parts.value(1).toInt(&okMinor);
        if (parts.size() != 2 || !okMajor || !okMinor || major < 0 || major > 255 || minor < 0 || minor > 255) {
            std::fprintf(stderr, "station-sim: --firmware wants MAJOR.MINOR, each 0 to 255\n");
            return 1;
        }
        o.core.versionMajor = quint8(major);
        o.core.versionMinor = quint8(minor);
    }
    if (p.isSet(QStringLiteral("gps"))) {
        const control::Command c = control::parse(QStringLiteral("gps ") + p.value(QStringLiteral("gps")));
        if (c.verb != control::Command::Gps) {
            std::fprintf(stderr, "station-sim: --gps wants ok, actual, failed or invalid\n");
            return 1;
        }
        o.core.gpsBits = c.gpsBits;
    }
    o.demodPort = quint16(demodPort);
    o.core.startLeadMs = 1000LL * startLead;
    o.core.travelMs = 1000LL * travel;
    o.core.ownOffsetAmplitude = ownOffset;
    o.core.latitude = float(lat);
    o.core.longitude = float(lon);
    o.controller.trueAcrossMm = trueOffset;
    o.controller.trueAlongMm = trueAlong;
    o.controller.fbStepMm = fbStep;
    if (p.isSet(QStringLiteral("pointing-error"))) {
        if (p.isSet(QStringLiteral("true-offset")) || p.isSet(QStringLiteral("true-along"))) {
            std::fprintf(stderr, "station-sim: --pointing-error replaces --true-offset and --true-along\n");
            return 1;
        }
        QString why;
        if (!beam::parsePointingError(p.value(QStringLiteral("pointing-error")),
                                      &o.controller.pointingError, &why)) {
            std::fprintf(stderr, "station-sim: --pointing-error: %s\n", qPrintable(why));
            return 1;
        }
        o.controller.usePointingError = true;
    }
    o.passes.varyApproach = p.isSet(QStringLiteral("vary-passes"));
    o.controller.seed = quint32(seed);
    o.passSourceOn = p.isSet(QStringLiteral("track-path")) || !demoTrackPath.isEmpty();
    o.passes.trackPath = p.isSet(QStringLiteral("track-path")) ? p.value(QStringLiteral("track-path")) : demoTrackPath;
    o.passes.leadSeconds = lead;
    o.passes.everySeconds = every;
    o.passes.firstOrbit = orbit;
    o.passes.shape.points = points;
    o.passes.shape.minElevationDeg = minEl;
    o.passes.shape.maxElevationDeg = maxEl;
    o.passes.shape.focusMm = focus;
    if (p.isSet(QStringLiteral("satellite"))) {
        // One line of the track file: no line breaks or other control characters.
        QString name = p.value(QStringLiteral("satellite"));
        for (QChar &ch : name) {
            if (ch.category() == QChar::Other_Control)
                ch = QLatin1Char(' ');
        }
        o.passes.satellite = name.simplified();
        if (o.passes.satellite.isEmpty()) {
            std::fprintf(stderr, "station-sim: --satellite wants a name\n");
            return 1;
        }
    }
    if (every > 0 && every < lead + points + 10)
        std::fprintf(stderr, "station-sim: note: --pass-every %d is shorter than lead + points + 10 s; "
                             "passes will overlap\n", every);

    Station station(o);
    QTextStream out(stdout);
    QObject::connect(&station, &Station::output, &app, [&out](const QString &line) {
        out << line << QLatin1Char('\n');
        out.flush();
    });
    QObject::connect(&station, &Station::quitRequested, &app, [&station] {
        station.shutdown();
        QCoreApplication::quit();
    });
    // SIGINT and SIGTERM end the stand-in through the same path as "quit", so
    // the COM link never outlives it; a reader of stdout that went away must
    // not end it behind its back.
    platform::onTerminationRequest([&station] {
        station.shutdown();
        QCoreApplication::quit();
    });
    std::signal(SIGPIPE, SIG_IGN);

    QString error;
    if (!station.start(&error)) {
        std::fprintf(stderr, "station-sim: %s\n", qPrintable(error));
        return 2;
    }
    const int rc = app.exec();
    station.shutdown();
    return rc;
}
