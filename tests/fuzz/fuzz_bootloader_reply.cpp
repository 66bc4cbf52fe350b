// Arbitrary boot-loader answers through the programmer's transitions. The
// input: two bytes of image size, then answers, each a length byte and that
// many bytes. Every answer is judged by its length as the programmer does and
// taken when it fits; the walk must stay inside the protocol's frames.
#include "bootstep.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool validPhase(BootPhase p)
{
    switch (p) {
    case BootPhase::Done: case BootPhase::Sync: case BootPhase::GetReply: case BootPhase::EraseCommand:
    case BootPhase::EraseList: case BootPhase::WriteCommand: case BootPhase::WriteAddress: case BootPhase::Block:
    case BootPhase::LastBlock: case BootPhase::GoCommand: case BootPhase::GoAddress: case BootPhase::Failed:
        return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int imageSize = 1 + ((data[0] << 8) | data[1]) % 4096;
    QByteArray bytes(imageSize, '\0');
    for (int i = 0; i < imageSize; ++i)
        bytes[i] = char(i * 13);
    const BootImage image = BootImage::of(bytes);

    BootState state;
    size_t at = 2;
    while (at < size && state.phase != BootPhase::Done) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        const QByteArray answer(reinterpret_cast<const char *>(data + at + 1), int(length));
        at += 1 + length;

        const int known = knownAnswerLength(state.phase, answer.left(2));
        check(known == -1 || (known >= 1 && known <= 259));
        if (answerFit(state.phase, answer.size()) != AnswerFit::Take) {
            bootTimeoutText(state, answer.size());
            continue;
        }
        const BootStep step = bootTransition(image, state, answer.left(16));
        check(validPhase(step.next.phase));
        check(step.next.blockIndex >= 0 && step.next.blockIndex <= image.blockCount + 1);
        check(step.send.size() <= 2 + 256 + 1 && (step.send.isEmpty() || step.sendFrame));
        if (step.next.phase == BootPhase::Failed && state.phase != BootPhase::Failed)
            check(!bootRefusalText(state, answer.left(16)).isEmpty());
        // Only an acknowledgement moves the run on.
        if (step.next.phase != BootPhase::Failed && step.next.phase != state.phase)
            check(quint8(answer.at(0)) == bootframes::Ack);
        state = step.next;
    }
    return 0;
}
