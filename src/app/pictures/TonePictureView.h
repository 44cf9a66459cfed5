// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/TonePicture.h"

#include <QWidget>
#include <optional>

// A tone drawn from its file: a few periods and the whole file's envelope on the left, the
// spectrum on the right with the pitch marked and named. In the palette's colours and the
// window's font, so that dark skins and large fonts read it; its accessible description says
// what it shows.
class TonePictureView : public QWidget {
    Q_OBJECT

public:
    explicit TonePictureView(QWidget* parent);

    // Shows the picture of a file; `pitched` marks its pitch (noise has none to name). Nothing
    // shown for no picture.
    void showPicture(const std::optional<TonePicture>& picture, const QString& fileName,
                     bool pitched);
    const std::optional<TonePicture>& picture() const { return m_picture; }
    // The pitch marked on the spectrum, if any.
    std::optional<double> markedPitch() const;
    // How the mark names it: "440 Hz (A4 +0 cents)".
    QString markText() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<TonePicture> m_picture;
    bool m_pitched = false;
};
