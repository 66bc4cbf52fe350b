// Arbitrary files offered as firmware images: read, refused or accepted by
// size, and the accepted ones walked through the whole exchange, whose frames
// must carry the image exactly.
#include "bootstep.h"
#include "firmwarefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// On a memory file system where there is one: the file is written every run.
QString scratchFile()
{
    const QString dir = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    return dir + QStringLiteral("/fuzz-firmware-%1.bin").arg(::getpid());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const QString path = scratchFile();
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(input) != input.size())
            return 0;
    }
    const FirmwareFile file = readFirmwareFile(path);
    check(file.opened);
    check(file.problem == firmwareImageProblem(qint64(size)));
    if (!file.problem.isEmpty()) {
        check(file.image.isEmpty());
        return 0;
    }
    check(file.image == input);

    // Every byte of the image goes out once, in order, in blocks of at most 256.
    const BootImage image = BootImage::of(file.image);
    BootState state;
    QByteArray written;
    for (int steps = 0; steps < 10000 && state.phase != BootPhase::Done; ++steps) {
        QByteArray answer(1, char(bootframes::Ack));
        if (state.phase == BootPhase::GetReply)
            answer = QByteArray::fromHex("790B220001021121314363738292") + answer;
        const BootStep step = bootTransition(image, state, answer);
        check(step.next.phase != BootPhase::Failed);
        if (step.next.phase == BootPhase::Block || step.next.phase == BootPhase::LastBlock) {
            const int n = quint8(step.send.at(0)) + 1;
            check(step.send.size() == n + 2 && n <= bootframes::BlockSize);
            check(bootframes::xorOf(step.send) == 0);
            written += step.send.mid(1, n);
        }
        if (step.next.phase == BootPhase::EraseList)
            check(step.send.size() == image.pageCount + 2 && bootframes::xorOf(step.send) == 0);
        state = step.next;
    }
    check(state.phase == BootPhase::Done);
    check(written == file.image);
    return 0;
}
