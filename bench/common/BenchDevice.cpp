#include "BenchDevice.h"

#include <cstdio>

int IntArgument(const QStringList& args, const char* name, int fallback) {
    const qsizetype at = args.indexOf(QLatin1String(name));
    if (at < 0 || at + 1 >= args.size()) return fallback;
    bool ok = false;
    const int value = args[at + 1].toInt(&ok);
    return ok ? value : fallback;
}

std::unique_ptr<DeviceSimulator> StartBenchDevice(int piece, bool fill) {
    SimOptions options;
    options.content = SimOptions::Content::Sample;
    options.pieceSize = piece;
    auto device = std::make_unique<DeviceSimulator>(options);
    if (!device->Open()) {
        std::fprintf(stderr, "cannot start the simulated device: %s\n",
                     device->LastError().toLocal8Bit().constData());
        return nullptr;
    }
    if (fill) {
        const int sizes[] = {
            1, 255, 256, 257, 1024, 3000, 5000, 6000, DeviceSimulator::SLOT_CAPACITY};
        for (int slot = 6; slot < DeviceSimulator::SLOT_COUNT; ++slot)
            device->SetSlot(slot, QByteArray(sizes[slot - 6], static_cast<char>('A' + slot)));
    }
    return device;
}
