#include "passdatastore.h"

#include <algorithm>
#include <new>

PassDataStore::~PassDataStore()
{
    release();
}

int PassDataStore::allocate(quint32 capacity, quint32 depth)
{
    if (capacity == 0)
        return AllocZeroCapacity;
    if (depth == 0)
        return AllocZeroDepth;
    // Both factors are below 2^32, so the product fits in 64 bits.
    const quint64 slots = quint64(capacity) * quint64(depth);
    if (slots > MaxSampleSlots)
        return AllocTooLarge;

    // Build the new arrays first, so that a failure leaves the old ones in place.
    std::vector<float> power, snr, meanPower, meanSnr;
    std::vector<quint32> samplesPerPoint;
    std::vector<qint32> korr0, korrValue, step, xValue;
    std::vector<quint8> errCount;
    try {
        power.assign(size_t(slots), 0.0f);
        snr.assign(size_t(slots), 0.0f);
        samplesPerPoint.assign(capacity, 0);
        meanPower.assign(capacity, 0.0f);
        meanSnr.assign(capacity, 0.0f);
        korr0.assign(capacity, 0);
        korrValue.assign(capacity, 0);
        step.assign(capacity, 0);
        xValue.assign(capacity, 0);
        errCount.assign(size_t(capacity) + 1, 0);
    } catch (const std::bad_alloc &) {
        return AllocTooLarge;
    } catch (const std::length_error &) {
        return AllocTooLarge;
    }

    m_powerSamples.swap(power);
    m_snrSamples.swap(snr);
    m_samplesPerPoint.swap(samplesPerPoint);
    m_meanPower.swap(meanPower);
    m_meanSnr.swap(meanSnr);
    m_korr0.swap(korr0);
    m_korrValue.swap(korrValue);
    m_step.swap(step);
    m_xValue.swap(xValue);
    m_errCount.swap(errCount);
    m_capacity = capacity;
    m_depth = depth;
    m_allocated = true;
    return AllocOk;
}

void PassDataStore::release()
{
    if (!m_allocated)
        return;
    m_powerSamples = {};
    m_snrSamples = {};
    m_samplesPerPoint = {};
    m_meanPower = {};
    m_meanSnr = {};
    m_korr0 = {};
    m_korrValue = {};
    m_step = {};
    m_xValue = {};
    m_errCount = {};
    m_allocated = false;
    m_capacity = 0;
    m_depth = 0;
}

void PassDataStore::resetRecording()
{
    m_recordedPoints = 0;
    m_ringIndex = 0;
    m_openSampleCount = 0;
    m_errCount[0] = 0;
    m_maxPower = -1000;
    m_minPower = 1000;
    m_maxSnr = -1000;
    m_minSnr = 1000;
}

int PassDataStore::start()
{
    if (!m_allocated)
        return -1;
    resetRecording();
    return 0;
}

void PassDataStore::clear()
{
    if (m_allocated)
        resetRecording();
}

int PassDataStore::addSample(float power, float snr)
{
    if (!m_allocated)
        return -1;
    if (m_recordedPoints >= m_capacity)
        return -2;
    const quint32 slot = m_ringIndex % m_depth;
    const size_t at = size_t(m_recordedPoints) * m_depth + slot;
    m_powerSamples[at] = power;
    m_snrSamples[at] = snr;
    m_ringIndex = slot + 1;
    m_openSampleCount = std::max(m_openSampleCount, m_ringIndex);
    return 0;
}

float PassDataStore::closePoint()
{
    // A re-allocation may have shrunk the ring under an open point; never read past it.
    const quint32 count = std::min(m_openSampleCount, m_depth);
    if (count == 0 || !validPoint(m_recordedPoints))
        return -1.0f;

    const quint32 i = m_recordedPoints;
    const size_t base = size_t(i) * m_depth;
    float sumPower = 0;
    float sumSnr = 0;
    for (quint32 k = 0; k < count; ++k) {
        const float p = m_powerSamples[base + k];
        const float s = m_snrSamples[base + k];
        sumPower += p;
        sumSnr += s;
        if (p > m_maxPower)
            m_maxPower = p;
        if (m_minPower > p)
            m_minPower = p;
        if (s > m_maxSnr)
            m_maxSnr = s;
        if (m_minSnr > s)
            m_minSnr = s;
    }
    m_meanPower[i] = sumPower / float(count);
    m_meanSnr[i] = sumSnr / float(count);
    return m_meanPower[i];
}

int PassDataStore::addPoint(qint8 korr0, qint8 korr, qint32 step, qint32 x)
{
    if (!m_allocated)
        return -1;
    if (m_recordedPoints >= m_capacity)
        return -2;
    const quint32 i = m_recordedPoints;
    m_korr0[i] = korr0;
    m_korrValue[i] = korr;
    m_step[i] = step;
    m_xValue[i] = x;
    m_samplesPerPoint[i] = std::min(m_openSampleCount, m_depth);
    m_ringIndex = 0;
    m_openSampleCount = 0;
    ++m_recordedPoints;
    m_errCount[m_recordedPoints] = 0;
    return int(m_recordedPoints);
}

quint32 PassDataStore::storedSamples(quint32 i) const
{
    return validPoint(i) ? std::min(m_samplesPerPoint[i], m_depth) : 0;
}

qint32 PassDataStore::korr0At(quint32 i) const
{
    return validPoint(i) ? m_korr0[i] : 0;
}

qint32 PassDataStore::korrAt(quint32 i) const
{
    return validPoint(i) ? m_korrValue[i] : 0;
}

qint32 PassDataStore::stepAt(quint32 i) const
{
    return validPoint(i) ? m_step[i] : 0;
}

qint32 PassDataStore::xAt(quint32 i) const
{
    return validPoint(i) ? m_xValue[i] : 0;
}

quint8 PassDataStore::errCountAt(quint32 i) const
{
    return (m_allocated && i <= m_capacity) ? m_errCount[i] : 0;
}

quint32 PassDataStore::sampleCountAt(quint32 i) const
{
    return validPoint(i) ? m_samplesPerPoint[i] : 0;
}

float PassDataStore::meanPowerAt(quint32 i) const
{
    return validPoint(i) ? m_meanPower[i] : 0.0f;
}

float PassDataStore::meanSnrAt(quint32 i) const
{
    return validPoint(i) ? m_meanSnr[i] : 0.0f;
}

float PassDataStore::powerSampleAt(quint32 i, quint32 slot) const
{
    return (validPoint(i) && slot < m_depth) ? m_powerSamples[size_t(i) * m_depth + slot] : 0.0f;
}

float PassDataStore::snrSampleAt(quint32 i, quint32 slot) const
{
    return (validPoint(i) && slot < m_depth) ? m_snrSamples[size_t(i) * m_depth + slot] : 0.0f;
}

PassDataStore::RecordedPoint PassDataStore::recordedPoint(quint32 i) const
{
    RecordedPoint p;
    if (!validPoint(i))
        return p;
    p.korr0 = m_korr0[i];
    p.korr = m_korrValue[i];
    p.step = m_step[i];
    p.x = m_xValue[i];
    p.samples = m_samplesPerPoint[i];
    p.meanPower = m_meanPower[i];
    p.meanSnr = m_meanSnr[i];
    p.errCount = m_errCount[i];
    const size_t base = size_t(i) * m_depth;
    const quint32 count = storedSamples(i);
    p.power.assign(m_powerSamples.begin() + base, m_powerSamples.begin() + base + count);
    p.snr.assign(m_snrSamples.begin() + base, m_snrSamples.begin() + base + count);
    return p;
}

int PassDataStore::restorePoint(const RecordedPoint &p)
{
    if (!m_allocated)
        return -1;
    if (m_recordedPoints >= m_capacity || p.samples > m_depth || p.power.size() != p.snr.size()
        || p.power.size() != std::min<size_t>(p.samples, m_depth))
        return -2;
    const quint32 i = m_recordedPoints;
    m_korr0[i] = p.korr0;
    m_korrValue[i] = p.korr;
    m_step[i] = p.step;
    m_xValue[i] = p.x;
    m_samplesPerPoint[i] = p.samples;
    m_meanPower[i] = p.meanPower;
    m_meanSnr[i] = p.meanSnr;
    m_errCount[i] = p.errCount;
    const size_t base = size_t(i) * m_depth;
    std::copy(p.power.begin(), p.power.end(), m_powerSamples.begin() + base);
    std::copy(p.snr.begin(), p.snr.end(), m_snrSamples.begin() + base);
    ++m_recordedPoints;
    m_errCount[m_recordedPoints] = 0;
    m_ringIndex = 0;
    m_openSampleCount = 0;
    return int(m_recordedPoints);
}
