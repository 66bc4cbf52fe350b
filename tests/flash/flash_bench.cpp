// Not a test: one programming run against the stand-in's boot loader, timed
// from the first frame to finish, for scripts/bench.py. Prints one JSON line:
// the result, the milliseconds and the bytes the run puts on the line each way.
//   flash-bench PORT-DIR PORT SIZE [silence]
// "silence" takes every answer only after 100 ms of silence, as the first
// programmer did.
#include "bootstep.h"
#include "flashprg.h"
#include "rs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>

namespace {

// Bytes both ways when every answer is an acknowledgement.
void lineBytes(const QByteArray &image, qint64 *out, qint64 *in)
{
    const BootImage img = BootImage::of(image);
    BootState state;
    *out = bootStartFrame().size();
    *in = 0;
    while (state.phase != BootPhase::Done && state.phase != BootPhase::Failed) {
        QByteArray answer(1, char(bootframes::Ack));
        if (state.phase == BootPhase::GetReply)
            answer = QByteArray::fromHex("790B220001021121314363738292") + answer;
        *in += answer.size();
        const BootStep step = bootTransition(img, state, answer);
        *out += step.send.size();
        state = step.next;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: flash-bench PORT-DIR PORT SIZE [silence]\n");
        return 2;
    }
    qputenv("TUVARN_PORT_DIR", args[1].toUtf8());
    rs port(18, quint16(args[2].toUInt()));
    if (port.open() != 0) {
        std::fprintf(stderr, "flash-bench: COM%s not opened\n", qPrintable(args[2]));
        return 1;
    }
    QByteArray image(args[3].toInt(), '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(quint8(i * 7 + (i >> 8)));
    qint64 out = 0, in = 0;
    lineBytes(image, &out, &in);

    QElapsedTimer clock;
    clock.start();
    flashprg run(nullptr, &port, image, 16);
    run.setTakeAtOnce(args.value(4) != QLatin1String("silence"));
    int result = -1;
    QObject::connect(&run, &flashprg::finish, &app, [&](char err) {
        result = err;
        std::printf("{\"err\": %d, \"ms\": %lld, \"bytesOut\": %lld, \"bytesIn\": %lld, \"why\": \"%s\"}\n", int(err),
                    clock.elapsed(), out, in, qPrintable(run.failureReason()));
        std::fflush(stdout);
        app.quit();
    });
    app.exec();
    return result == 0 ? 0 : 1;
}
