// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listening/Identification.h"
#include "set/AnswerKey.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <random>

class Modals;
class QLabel;
class QPushButton;
class QTreeView;
class KeyRowsModel;
class SoundOutput;
class TonePictures;
class TonePictureView;

// A set's files as its answer key tells them, to play one by one and to look at, and a quiz
// that plays one at random with its answer hidden until Reveal, or until the listener picks its
// note among the set's (where it holds no more than a few) and is scored.
class ListenPanel : public QWidget {
    Q_OBJECT

public:
    struct Services {
        Modals& modals;
        SoundOutput& sound;
        TonePictures* pictures; // none: no picture is drawn
        std::mt19937_64& generator;
    };
    ListenPanel(Services services, QWidget* parent);
    ~ListenPanel() override;

    // Lists the set of the answer key at that path, read on a thread of its own while the window
    // answers; a file that is no key is told in a plain box.
    void showSet(const QString& keyPath);
    // Pictures one file (a preview) with no set around it.
    void showTone(const QString& path, bool pitched);

    QLabel* caption;
    QTreeView* fileList;
    QPushButton* playButton;
    QPushButton* openFolderButton;
    QPushButton* openKeyButton;
    QPushButton* quizButton;
    QPushButton* revealButton;
    QPushButton* nextButton;
    TonePictureView* pictureView;
    // The quiz's answers: a button for each of the set's notes, and the score.
    QWidget* choiceRow;
    QLabel* scoreLabel;

    // The row the quiz played, while its answer is hidden.
    std::optional<int> hiddenRow() const { return m_quizRow; }
    // The path of a row's file.
    QString filePath(int row) const;
    // The answer key of the set listed; empty when none is.
    const QString& keyPath() const { return m_keyPath; }
    // The rows listed, and the row chosen (-1: none).
    int rowCount() const;
    int currentRow() const;

signals:
    // The panel's height changed with what it shows.
    void shapeChanged();
    // "Open key..." was pressed.
    void openKeyAsked();

private:
    void play();
    void listSet(const QString& keyPath, std::shared_ptr<const AnswerKeyIndex> key);
    void pictureRow(int row);
    // Pictures the file, read on a thread of its own; empty: none.
    void showPicture(const QString& path, bool pitched);
    // Runs `read` on a thread of the panel's own while the window answers, then `shown` with
    // what it read, unless something was asked for since (`latest` counts the asks).
    template <typename Result>
    void readBeside(quint64& latest, std::function<Result()> read,
                    std::function<void(const Result&)> shown);
    // "N files in FOLDER" for the set listed; empty for none.
    QString setCaption() const;
    void quizNext();
    void reveal();
    void choose(const QString& choice);
    // The choice buttons for the set's notes, made when its first quiz begins.
    void makeChoices();
    void enableButtons();
    bool rowPitched(int row) const;

    Services m_services;
    quint64 m_pictureAsked = 0; // the picture last asked for
    quint64 m_keyAsked = 0;     // the key last asked for
    QString m_keyPath;
    std::shared_ptr<const AnswerKeyIndex> m_key;
    KeyRowsModel* m_rows;
    std::optional<int> m_quizRow;
    // A quiz has begun on this set: Next plays another.
    bool m_quizzing = false;
    int m_lastQuizRow = -1;
    // The set's notes once a quiz asked for them; an empty list when it has too many.
    std::optional<QStringList> m_choices;
    IdentificationScore m_score;
};
