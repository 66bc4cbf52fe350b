// Outside the sanitizer build a fuzz target is an ordinary unit test: it runs
// once over every file of its seed folder, so the targets keep compiling and
// every seed (and every finding kept there) stays harmless. No seed at all is
// a failure: a replay that ran nothing would pass while checking nothing.
#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main()
{
    int inputs = 0;
    const QStringList folders = QString::fromUtf8(TUVARN_FUZZ_SEEDS).split(QLatin1Char('|'));
    for (const QString &folder : folders) {
        QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
                return 1;
            }
            const QByteArray bytes = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                   size_t(bytes.size()));
            ++inputs;
        }
    }
    std::printf("%d inputs run\n", inputs);
    if (inputs == 0) {
        std::fprintf(stderr, "no seeds found in %s\n", TUVARN_FUZZ_SEEDS);
        return 1;
    }
    return 0;
}
