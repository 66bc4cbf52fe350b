#include "passlist.h"

#include <QStringList>

#include <algorithm>

namespace {
const QString Suffix = QStringLiteral(".dat");
}

bool PassList::before(const FileTime &a, const FileTime &b)
{
    if (a.modifiedMs != b.modifiedMs)
        return a.modifiedMs > b.modifiedMs;
    return a.name.compare(b.name) < 0;
}

void PassList::load(const QString &folder)
{
    m_folder = folder;
    setFiles(platform::filesWithTimes(folder, Suffix));
}

QVector<PassList::Edit> PassList::update()
{
    QVector<FileTime> files = platform::folderEntries(m_folder, Suffix);
    for (int i = files.size() - 1; i >= 0; --i) {
        FileTime &f = files[i];
        const auto known = m_known.constFind(f.name);
        // The same name and the same file: its time is the one read before.
        if (known != m_known.constEnd() && f.id != 0 && known->id == f.id)
            f.modifiedMs = known->modifiedMs;
        else if (!platform::readFileTime(m_folder, &f))
            files.remove(i);
    }
    return applyFiles(files);
}

QVector<PassList::Edit> PassList::recheck()
{
    return applyFiles(platform::filesWithTimes(m_folder, Suffix));
}

void PassList::setFiles(const QVector<FileTime> &files)
{
    m_entries = files;
    std::sort(m_entries.begin(), m_entries.end(), &PassList::before);
    m_known.clear();
    m_known.reserve(m_entries.size());
    for (const FileTime &f : qAsConst(m_entries))
        m_known.insert(f.name, f);
}

QVector<PassList::Edit> PassList::applyFiles(const QVector<FileTime> &files)
{
    QHash<QString, FileTime> now;
    now.reserve(files.size());
    QVector<FileTime> arrived;
    for (const FileTime &f : files) {
        now.insert(f.name, f);
        const auto known = m_known.constFind(f.name);
        if (known == m_known.constEnd() || known->modifiedMs != f.modifiedMs)
            arrived.append(f);
    }

    // Rows to drop: files gone, and replaced ones (they come back at their new place).
    QVector<int> gone;
    for (int row = 0; row < m_entries.size(); ++row) {
        const auto still = now.constFind(m_entries.at(row).name);
        if (still == now.constEnd() || still->modifiedMs != m_entries.at(row).modifiedMs)
            gone.append(row);
    }

    // Row by row costs a move of the rows below each time; past this many
    // changes one new sort is cheaper.
    if (gone.size() + arrived.size() > 64 + m_entries.size() / 4) {
        setFiles(files);
        return {{Edit::Reset, 0, QString()}};
    }

    QVector<Edit> edits;
    edits.reserve(gone.size() + arrived.size());
    // From the bottom up, so the rows above stay where they are.
    for (auto it = gone.crbegin(); it != gone.crend(); ++it) {
        edits.append({Edit::Remove, *it, m_entries.at(*it).name});
        m_entries.remove(*it);
    }
    std::sort(arrived.begin(), arrived.end(), &PassList::before);
    for (const FileTime &f : qAsConst(arrived)) {
        const auto at = std::lower_bound(m_entries.begin(), m_entries.end(), f, &PassList::before);
        const int row = int(at - m_entries.begin());
        m_entries.insert(row, f);
        edits.append({Edit::Insert, row, f.name});
    }
    m_known = now;
    return edits;
}

QStringList PassList::names() const
{
    QStringList out;
    out.reserve(m_entries.size());
    for (const FileTime &f : m_entries)
        out.append(f.name);
    return out;
}
