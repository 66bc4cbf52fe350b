#pragma once
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <vector>

// The samples, means and pointing values of one recorded pass, point by point.
// Built into both programs.
class PassDataStore
{
public:
    PassDataStore() = default;
    ~PassDataStore();
    PassDataStore(const PassDataStore &) = delete;
    PassDataStore &operator=(const PassDataStore &) = delete;

    // Result codes of allocate.
    enum AllocateResult { AllocOk = 0, AllocZeroCapacity = -1, AllocZeroDepth = -2, AllocTooLarge = -3 };
    // Result codes of writeDataFile.
    enum WriteResult { WriteOk = 0, WriteFailed = 1, WriteNotAllocated = 2 };

    // The most sample slots (capacity x depth) one store may hold; larger sizes
    // come only from a broken file and are refused rather than left to exhaust memory.
    static constexpr quint64 MaxSampleSlots = quint64(1) << 28;

    // 0; -1 capacity 0; -2 depth 0; -3 sizes that cannot be allocated (nothing
    // changes on any error). The new arrays are zero-filled.
    int allocate(quint32 capacity, quint32 depth);
    void release();
    int start();
    void clear();
    int addSample(float power, float snr);
    float closePoint();
    int addPoint(qint8 korr0, qint8 korr, qint32 step, qint32 x);
    void setNoiseLevel(float level) { m_noiseLevel = level; }

    bool isAllocated() const { return m_allocated; }
    quint32 capacity() const { return m_capacity; }
    quint32 depth() const { return m_depth; }
    quint32 recordedPoints() const { return m_recordedPoints; }
    // Point getters answer 0 for an index outside the allocation.
    qint32 korr0At(quint32 i) const;
    qint32 korrAt(quint32 i) const;
    qint32 stepAt(quint32 i) const;
    qint32 xAt(quint32 i) const;
    quint8 errCountAt(quint32 i) const;
    quint32 sampleCountAt(quint32 i) const;
    float meanPowerAt(quint32 i) const;
    float meanSnrAt(quint32 i) const;
    float powerSampleAt(quint32 i, quint32 slot) const;
    float snrSampleAt(quint32 i, quint32 slot) const;
    float minPower() const { return m_minPower; }
    float maxPower() const { return m_maxPower; }
    float minSnr() const { return m_minSnr; }
    float maxSnr() const { return m_maxSnr; }
    float noiseLevel() const { return m_noiseLevel; }
    float powerScale() const { return 256.0f / (m_maxPower - m_minPower); }
    quint32 ringIndex() const { return m_ringIndex; }
    quint32 openSampleCount() const { return m_openSampleCount; }

    // One closed point as the data file shows it: its fields and the ring slots
    // it keeps (sampleCountAt of them, at most depth).
    struct RecordedPoint
    {
        qint32 korr0 = 0;
        qint32 korr = 0;
        qint32 step = 0;
        qint32 x = 0;
        quint32 samples = 0;
        float meanPower = 0;
        float meanSnr = 0;
        quint8 errCount = 0;
        std::vector<float> power;
        std::vector<float> snr;
    };
    RecordedPoint recordedPoint(quint32 i) const;
    // Appends p as the next recorded point, exactly as it was (a pass read back
    // from elsewhere). Returns the new count, -1 not allocated, -2 full or p
    // keeps more samples than the ring holds.
    int restorePoint(const RecordedPoint &p);

    // Writes folder/fileName (the data file) and folder/fileName + ".ai", each
    // whole or not at all; the folder is created when missing. Returns 0, or 1
    // with *error set when the folder or a file could not be written; nothing is
    // written when not allocated (2). Entries missing from the four arrays are
    // written as 0.
    int writeDataFile(const QString &folder, const QString &fileName, const QString &title,
                      const QVector<double> &feedRadius, const QVector<double> &feedAngle,
                      const QVector<double> &azimuth, const QVector<double> &elevation,
                      QString *error = nullptr) const;

    // The two texts that writeDataFile puts into the files.
    QByteArray dataFileText(const QString &title, const QVector<double> &feedRadius,
                            const QVector<double> &feedAngle) const;
    QByteArray companionFileText(const QVector<double> &azimuth,
                                 const QVector<double> &elevation) const;

private:
    void resetRecording();
    bool validPoint(quint32 i) const { return m_allocated && i < m_capacity; }
    // Samples of point i that its ring really holds.
    quint32 storedSamples(quint32 i) const;

    bool m_allocated = false;
    quint32 m_depth = 0;
    quint32 m_capacity = 0;
    // Rings of point i are slots [i * depth, (i + 1) * depth).
    std::vector<float> m_powerSamples;
    std::vector<float> m_snrSamples;
    std::vector<quint32> m_samplesPerPoint;
    std::vector<float> m_meanPower;
    std::vector<float> m_meanSnr;
    std::vector<qint32> m_korr0;
    std::vector<qint32> m_korrValue;
    std::vector<qint32> m_step;
    std::vector<qint32> m_xValue;
    std::vector<quint8> m_errCount; // capacity + 1: the point opened after the last has one
    float m_maxPower = -1000, m_minPower = 1000, m_maxSnr = -1000, m_minSnr = 1000;
    float m_noiseLevel = 0;
    quint32 m_recordedPoints = 0;
    quint32 m_ringIndex = 0;
    quint32 m_openSampleCount = 0;
};
