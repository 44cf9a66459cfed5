// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/set/ListenPanel.h"

#include "app/pictures/TonePictureView.h"
#include "app/window/Modals.h"
#include "options/OptionTable.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "sound/ModuleEntries.h"
#include "sound/SoundOutput.h"

#include <QAbstractTableModel>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTreeView>
#include <QVBoxLayout>
#include <functional>
#include <memory>

namespace {

// Space and Enter on the list play its row.
class PlayKeys : public QObject {
public:
    PlayKeys(QPushButton* play, QObject* parent) : QObject(parent), m_play(play) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        m_play->click();
        return true;
    }

private:
    QPushButton* m_play;
};

// The ear as the Channel option names it: "Left ear only".
QString earText(const QString& word) {
    const OptionRow& channel = optionRow(Option::channel);
    const qsizetype row = channel.words.indexOf(word);
    return row >= 0 ? channel.rows.value(row) : word;
}

} // namespace

// The key's rows as the list shows them, each read from the file when it comes into view.
class KeyRowsModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setKey(std::shared_ptr<const AnswerKeyIndex> key) {
        beginResetModel();
        m_key = std::move(key);
        m_shown.clear();
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !m_key ? 0 : int(m_key->rowCount());
    }
    int columnCount(const QModelIndex& = {}) const override { return int(headers().size()); }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return headers().value(section);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || role != Qt::DisplayRole || !m_key)
            return {};
        return shownRow(index.row()).value(index.column());
    }

private:
    static QStringList headers() {
        return {QStringLiteral("File"),  QStringLiteral("Frequency"), QStringLiteral("Note"),
                QStringLiteral("Level"), QStringLiteral("Ear"),       QStringLiteral("Made")};
    }
    // The texts of a row, kept for the rows in view.
    QStringList shownRow(int row) const {
        if (const auto known = m_shown.constFind(row); known != m_shown.cend())
            return *known;
        const QStringList& columns = m_key->columns();
        const QStringList fields = m_key->row(row);
        const auto field = [&](const char* column) {
            return fields.value(columns.indexOf(QLatin1String(column)));
        };
        const QString note =
            field("note").isEmpty() ? QString() : field("note") + QLatin1Char(' ') + field("cents");
        const QString frequency = field("frequency_hz").isEmpty()
                                      ? field("waveform")
                                      : field("frequency_hz") + QStringLiteral(" Hz");
        const QStringList shown{field("file"),
                                frequency,
                                note,
                                field("level_dbfs") + QStringLiteral(" dBFS"),
                                earText(field("channel")),
                                field("made")};
        constexpr qsizetype mostKept = 1024;
        if (m_shown.size() >= mostKept)
            m_shown.clear();
        m_shown.insert(row, shown);
        return shown;
    }

    std::shared_ptr<const AnswerKeyIndex> m_key;
    mutable QHash<int, QStringList> m_shown;
};

ListenPanel::ListenPanel(Services services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    caption = new QLabel(this);
    caption->setWordWrap(true);
    layout->addWidget(caption);
    fileList = new QTreeView(this);
    fileList->setRootIsDecorated(false);
    // A million rows scroll as a few: every row is as high as the first.
    fileList->setUniformRowHeights(true);
    m_rows = new KeyRowsModel(this);
    fileList->setModel(m_rows);
    fileList->setAccessibleName(QStringLiteral("The set's files"));
    fileList->header()->setStretchLastSection(false);
    fileList->setMinimumHeight(fontMetrics().height() * 8);
    layout->addWidget(fileList);

    auto* buttons = new QHBoxLayout;
    playButton = new QPushButton(QStringLiteral("P&lay"), this);
    openFolderButton = new QPushButton(QStringLiteral("Open fol&der"), this);
    openKeyButton = new QPushButton(QStringLiteral("Open &key..."), this);
    quizButton = new QPushButton(QStringLiteral("&Quiz"), this);
    revealButton = new QPushButton(QStringLiteral("&Reveal"), this);
    nextButton = new QPushButton(QStringLiteral("&Next"), this);
    playButton->setAccessibleDescription(QStringLiteral("Plays the chosen file; in a quiz, the "
                                                        "quiz tone again."));
    quizButton->setAccessibleDescription(
        QStringLiteral("Plays a file of the set chosen at random, its answer hidden."));
    for (QPushButton* button :
         {playButton, openFolderButton, openKeyButton, quizButton, revealButton, nextButton})
        buttons->addWidget(button);
    buttons->addStretch();
    layout->addLayout(buttons);
    choiceRow = new QWidget(this);
    auto* choices = new QHBoxLayout(choiceRow);
    choices->setContentsMargins(0, 0, 0, 0);
    choiceRow->setAccessibleName(QStringLiteral("Which note was it?"));
    choiceRow->hide();
    layout->addWidget(choiceRow);
    scoreLabel = new QLabel(this);
    scoreLabel->hide();
    layout->addWidget(scoreLabel);
    pictureView = new TonePictureView(this);
    layout->addWidget(pictureView);

    fileList->installEventFilter(new PlayKeys(playButton, this));
    connect(playButton, &QPushButton::clicked, this, &ListenPanel::play);
    connect(openFolderButton, &QPushButton::clicked, this,
            [this] { m_services.modals.showFolder(QFileInfo(m_keyPath).absolutePath()); });
    connect(openKeyButton, &QPushButton::clicked, this, &ListenPanel::openKeyAsked);
    connect(quizButton, &QPushButton::clicked, this, &ListenPanel::quizNext);
    connect(nextButton, &QPushButton::clicked, this, &ListenPanel::quizNext);
    connect(revealButton, &QPushButton::clicked, this, &ListenPanel::reveal);
    connect(fileList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && !m_quizRow)
                    pictureRow(current.row());
            });
    showTone(QString(), false);
}

ListenPanel::~ListenPanel() {
    for (QThread* reading : findChildren<QThread*>())
        reading->wait();
}

QString ListenPanel::filePath(int row) const {
    return m_key ? QFileInfo(m_keyPath).dir().filePath(m_key->field(row, QStringLiteral("file")))
                 : QString();
}

bool ListenPanel::rowPitched(int row) const {
    return m_key && !m_key->field(row, QStringLiteral("frequency_hz")).isEmpty();
}

int ListenPanel::rowCount() const {
    return m_rows->rowCount();
}

int ListenPanel::currentRow() const {
    return fileList->currentIndex().isValid() ? fileList->currentIndex().row() : -1;
}

template <typename Result>
void ListenPanel::readBeside(quint64& latest, std::function<Result()> read,
                             std::function<void(const Result&)> shown) {
    const quint64 asked = ++latest;
    const auto result = std::make_shared<Result>();
    QThread* reading = QThread::create([read = std::move(read), result] { *result = read(); });
    // The panel's own, so that it waits for the read before it goes.
    reading->setParent(this);
    connect(reading, &QThread::finished, reading, &QObject::deleteLater);
    connect(reading, &QThread::finished, this, [&latest, asked, result, shown = std::move(shown)] {
        if (asked == latest)
            shown(*result);
    });
    reading->start();
}

QString ListenPanel::setCaption() const {
    return m_keyPath.isEmpty() ? QString()
                               : QStringLiteral("%1 files in %2")
                                     .arg(m_rows->rowCount())
                                     .arg(QDir::toNativeSeparators(m_keyPath));
}

void ListenPanel::showSet(const QString& keyPath) {
    caption->setText(QStringLiteral("Reading %1...").arg(QDir::toNativeSeparators(keyPath)));
    using Key = std::shared_ptr<const AnswerKeyIndex>;
    readBeside<Key>(
        m_keyAsked,
        [keyPath]() -> Key {
            try {
                return std::make_shared<const AnswerKeyIndex>(keyPath);
            } catch (const Failure&) {
                return nullptr; // told as no key that can be read
            }
        },
        [this, keyPath](const Key& key) {
            if (key)
                return listSet(keyPath, key);
            caption->setText(setCaption());
            m_services.modals.showNotice(QStringLiteral("%1 is no answer key that can be read.")
                                             .arg(QDir::toNativeSeparators(keyPath)));
        });
}

void ListenPanel::listSet(const QString& keyPath, std::shared_ptr<const AnswerKeyIndex> key) {
    m_keyPath = keyPath;
    m_key = std::move(key);
    m_quizRow.reset();
    m_lastQuizRow = -1;
    m_quizzing = false;
    m_choices.reset();
    m_score = {};
    m_rows->setKey(m_key);
    for (int column = 0; column < m_rows->columnCount(); ++column)
        fileList->resizeColumnToContents(column);
    caption->setText(setCaption());
    fileList->show();
    if (m_rows->rowCount() > 0)
        fileList->setCurrentIndex(m_rows->index(0, 0));
    enableButtons();
    emit shapeChanged();
}

void ListenPanel::showTone(const QString& path, bool pitched) {
    m_quizRow.reset();
    m_lastQuizRow = -1;
    m_quizzing = false;
    m_choices.reset();
    m_score = {};
    ++m_keyAsked;
    m_keyPath.clear();
    m_key.reset();
    m_rows->setKey(nullptr);
    fileList->hide();
    caption->setText(path.isEmpty() ? QString() : QStringLiteral("The preview"));
    showPicture(path, pitched);
    enableButtons();
    emit shapeChanged();
}

void ListenPanel::enableButtons() {
    const bool set = !m_keyPath.isEmpty();
    for (QPushButton* button : {playButton, openFolderButton, quizButton})
        button->setVisible(set);
    revealButton->setVisible(set);
    nextButton->setVisible(set);
    playButton->setEnabled(set && (m_quizRow || currentRow() >= 0));
    quizButton->setEnabled(set && rowCount() > 0);
    revealButton->setEnabled(m_quizRow.has_value());
    nextButton->setEnabled(m_quizzing);
    choiceRow->setVisible(set && m_quizRow && m_choices && !m_choices->isEmpty());
    scoreLabel->setVisible(set && m_score.trials() > 0);
    // While the answer is hidden, the list holds no row to read out.
    fileList->setEnabled(!m_quizRow);
}

void ListenPanel::pictureRow(int row) {
    showPicture(filePath(row), rowPitched(row));
    enableButtons();
}

void ListenPanel::showPicture(const QString& path, bool pitched) {
    const QString name = QFileInfo(path).fileName();
    const ReadTonePicture read =
        path.isEmpty() || !m_services.pictures ? nullptr : m_services.pictures->reader();
    pictureView->showPicture(std::nullopt, read ? QString() : name, pitched);
    if (!read) {
        ++m_pictureAsked; // a read under way is no longer shown
        return;
    }
    readBeside<std::optional<TonePicture>>(
        m_pictureAsked, [read, path] { return pictureOf(read, path); },
        [this, name, pitched](const std::optional<TonePicture>& picture) {
            pictureView->showPicture(picture, name, pitched);
        });
}

void ListenPanel::play() {
    const int row = m_quizRow ? *m_quizRow : currentRow();
    if (row < 0)
        return;
    m_services.sound.playSoundFile(filePath(row));
}

void ListenPanel::quizNext() {
    const int count = rowCount();
    if (count == 0)
        return;
    // Another file than the last, where there is another.
    const int last = m_lastQuizRow;
    int row = int(std::uniform_int_distribution<int>(0, count - 1)(m_services.generator));
    if (count > 1 && row == last)
        row = (row + 1 +
               int(std::uniform_int_distribution<int>(0, count - 2)(m_services.generator))) %
              count;
    m_quizRow = row;
    m_lastQuizRow = row;
    m_quizzing = true;
    fileList->clearSelection();
    fileList->setCurrentIndex(QModelIndex());
    showPicture(QString(), false);
    makeChoices();
    caption->setText(m_choices->isEmpty()
                         ? QStringLiteral("Quiz: listen, then Reveal. Play plays it again.")
                         : QStringLiteral("Quiz: listen, then choose its note, or Reveal. Play "
                                          "plays it again."));
    enableButtons();
    revealButton->setFocus();
    play();
    emit shapeChanged();
}

void ListenPanel::makeChoices() {
    if (m_choices)
        return;
    m_choices = choicesOf(*m_key, QStringLiteral("note")).value_or(QStringList());
    for (QPushButton* old : choiceRow->findChildren<QPushButton*>())
        delete old;
    for (const QString& choice : *m_choices) {
        auto* button = new QPushButton(choice, choiceRow);
        connect(button, &QPushButton::clicked, this, [this, choice] { choose(choice); });
        choiceRow->layout()->addWidget(button);
    }
}

void ListenPanel::choose(const QString& choice) {
    if (!m_quizRow)
        return;
    const QString expected = m_key->field(*m_quizRow, QStringLiteral("note"));
    m_score.add(expected, choice);
    reveal();
    caption->setText(expected == choice
                         ? QStringLiteral("Right: it was %1.").arg(expected)
                         : QStringLiteral("It was %1, not %2.").arg(expected, choice));
    scoreLabel->setText(m_score.text());
    enableButtons();
    emit shapeChanged();
}

void ListenPanel::reveal() {
    if (!m_quizRow)
        return;
    const int row = *std::exchange(m_quizRow, std::nullopt);
    enableButtons();
    fileList->setCurrentIndex(m_rows->index(row, 0));
    caption->setText(QStringLiteral("It was %1.").arg(m_key->field(row, QStringLiteral("file"))));
    nextButton->setFocus();
}
