// SPDX-License-Identifier: GPL-3.0-or-later
// The floor of bench_startup: a window with the same controls as Ziravel's, in the same
// places and font, and no logic behind them: no settings, no skin, no checks.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(9);
    window.setFont(font);
    window.setFixedSize(536, 467);
    // The five frames with their fields, top to bottom.
    const char* titles[] = {"Tone length (in seconds)", "How many random tones to generate?",
                            "Generate tones within this frequency range", "Type",
                            "Save Results To This Folder"};
    const int tops[] = {8, 68, 128, 188, 281};
    for (int frame = 0; frame < 5; ++frame) {
        auto* box = new QGroupBox(QString::fromLatin1(titles[frame]), &window);
        box->setGeometry(8, tops[frame], 520, 55);
        if (frame == 2) {
            for (const auto& [x, text] :
                 {std::pair{16, "From:"}, {192, "Hz"}, {256, "To:"}, {416, "Hz"}})
                (new QLabel(QString::fromLatin1(text), box))->move(x, 23);
            (new QLineEdit(box))->setGeometry(56, 20, 129, 23);
            (new QLineEdit(box))->setGeometry(280, 20, 129, 23);
        } else if (frame == 3) {
            auto* list = new QComboBox(box);
            list->setGeometry(16, 20, 489, 23);
            list->addItems({"Sine (Default)", "Square", "Triangle", "Sawtooth", "Trapezium", "Exp",
                            "White Noise", "Pink Noise", "Brown Noise"});
        } else {
            (new QLineEdit(box))->setGeometry(16, 20, frame == 4 ? 433 : 489, 23);
        }
    }
    (new QPushButton(QStringLiteral("..."), &window))->setGeometry(464, 301, 48, 23);
    const std::pair<int, const char*> buttons[] = {{251, "&Preview (Play One Tone)"},
                                                   {344, " Save Tones As &WAV Files"},
                                                   {376, " Save Random Tone(s) As &MP3 File"}};
    for (const auto& [top, text] : buttons)
        (new QPushButton(QString::fromLatin1(text), &window))->setGeometry(8, top, 520, 27);
    (new QProgressBar(&window))->hide();
    (new QPushButton(QStringLiteral("Stop"), &window))->hide();
    (new QPushButton(QStringLiteral("More options"), &window))->setGeometry(8, 436, 120, 23);
    // The options panel, made and kept hidden as the program's is.
    auto* panel = new QWidget(&window);
    auto* rows = new QFormLayout(panel);
    for (int row = 0; row < 7; ++row) {
        rows->addRow(QStringLiteral("Option:"), new QComboBox(panel));
        rows->addRow(QStringLiteral("Number:"), new QSpinBox(panel));
        rows->addRow(new QCheckBox(QStringLiteral("Switch"), panel));
    }
    panel->hide();
    window.show();
    return QApplication::exec();
}
