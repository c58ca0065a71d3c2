#pragma once

#include <QHash>
#include <QString>
#include <array>

// The zoom steps, and the level the user chose for each host this session (never on
// disk: a level is a passing choice, and a list of hosts is browsing history).
class ZoomLevels
{
public:
    static constexpr std::array<int, 17> Steps{25, 33, 50, 67, 75, 80, 90, 100, 110,
                                               125, 150, 175, 200, 250, 300, 400, 500};
    static constexpr int Normal = 100;

    // The step steps away from percent (up when positive), held at the first and last.
    static int stepFrom(int percent, int steps);
    // What a location's level is kept under: its host, or its scheme when it has none.
    static QString keyOf(const QString &location);

    int levelFor(const QString &key) const { return m_levels.value(key, Normal); }
    void setLevel(const QString &key, int percent);

private:
    QHash<QString, int> m_levels;
};
