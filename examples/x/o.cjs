/* Ziravel skin: a Qt style sheet. Copy this "x" folder next to the ziravel program. */
QMainWindow, QGroupBox, QLabel {
    background-color: #2b3240;
    color: #e8ecf2;
}
QGroupBox {
    border: 1px solid #4a5568;
    border-radius: 4px;
    margin-top: 14px;
    font-weight: bold;
}
QGroupBox::title {
    subcontrol-origin: margin;
    left: 8px;
    padding: 0 3px;
}
QLineEdit, QComboBox {
    background-color: #1d222c;
    color: #ffffff;
    border: 1px solid #5a6578;
    border-radius: 3px;
    padding: 1px 4px;
    selection-background-color: #d9902f;
}
QPushButton {
    background-color: #3b4a63;
    color: #ffffff;
    border: 1px solid #6b7b96;
    border-radius: 4px;
}
QPushButton:hover {
    background-color: #4b5f80;
}
QPushButton:pressed {
    background-color: #d9902f;
}
QProgressBar {
    border: 1px solid #5a6578;
    border-radius: 3px;
    background-color: #1d222c;
}
QProgressBar::chunk {
    background-color: #d9902f;
}
