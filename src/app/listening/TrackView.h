// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listening/ForcedChoiceSession.h"

#include <QList>
#include <QWidget>
#include <optional>

// A staircase's track: each trial's value (filled: answered correctly), the reversals ringed,
// the threshold as a dashed line.
class TrackView : public QWidget {
    Q_OBJECT

public:
    explicit TrackView(QWidget* parent);
    void setTrack(const QList<ForcedChoiceSession::TrackPoint>& track,
                  std::optional<double> threshold, bool logScale);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<ForcedChoiceSession::TrackPoint> m_track;
    std::optional<double> m_threshold;
    bool m_logScale = false;
};
