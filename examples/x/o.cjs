/* Ziravel skin: a Qt style sheet. Copy this "x" folder next to the ziravel program. */
QMainWindow, QDialog, QGroupBox, QLabel, QCheckBox {
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
QLineEdit, QComboBox, QSpinBox {
    background-color: #1d222c;
    color: #ffffff;
    border: 1px solid #5a6578;
    border-radius: 3px;
    padding: 1px 4px;
    selection-background-color: #d9902f;
    selection-color: #1d222c;
}
/* A wider, bright border marks the focus; the padding keeps the text in place. */
QLineEdit:focus, QComboBox:focus, QSpinBox:focus {
    border: 2px solid #ffe08a;
    padding: 0px 3px;
}
QSpinBox::up-button, QSpinBox::down-button {
    subcontrol-origin: border;
    width: 16px;
    border: none;
    border-left: 1px solid #5a6578;
    background-color: #3b4a63;
}
QSpinBox::up-button {
    subcontrol-position: top right;
}
QSpinBox::down-button {
    subcontrol-position: bottom right;
}
QSpinBox::up-arrow {
    width: 0px;
    height: 0px;
    border-left: 4px solid #3b4a63;
    border-right: 4px solid #3b4a63;
    border-bottom: 5px solid #ffffff;
}
QSpinBox::down-arrow {
    width: 0px;
    height: 0px;
    border-left: 4px solid #3b4a63;
    border-right: 4px solid #3b4a63;
    border-top: 5px solid #ffffff;
}
QCheckBox {
    border: 2px solid transparent;
    border-radius: 3px;
    padding: 1px 3px;
}
QCheckBox:focus {
    border-color: #ffe08a;
}
QCheckBox::indicator {
    width: 12px;
    height: 12px;
    border: 1px solid #a9b6cc;
    border-radius: 2px;
    background-color: #1d222c;
}
/* Ticked: filled with the accent colour. */
QCheckBox::indicator:checked {
    background-color: #d9902f;
    border-color: #ffe08a;
}
QComboBox::drop-down {
    subcontrol-origin: border;
    subcontrol-position: top right;
    width: 18px;
    border: none;
    border-left: 1px solid #5a6578;
    background-color: #3b4a63;
}
QComboBox::down-arrow {
    width: 0px;
    height: 0px;
    border-left: 5px solid #3b4a63;
    border-right: 5px solid #3b4a63;
    border-top: 6px solid #ffffff;
}
/* The open list of a drop-down, and the lists of the folder dialog. */
QAbstractItemView {
    background-color: #1d222c;
    color: #ffffff;
    alternate-background-color: #232a36;
    selection-background-color: #d9902f;
    selection-color: #1d222c;
    outline: none;
}
QHeaderView::section {
    background-color: #3b4a63;
    color: #ffffff;
    border: none;
    border-right: 1px solid #5a6578;
    padding: 2px 4px;
}
QPushButton {
    background-color: #3b4a63;
    color: #ffffff;
    border: 1px solid #6b7b96;
    border-radius: 4px;
}
QDialog QPushButton {
    padding: 4px 14px;
}
QPushButton:hover {
    background-color: #4b5f80;
}
QPushButton:focus {
    border: 2px solid #ffe08a;
}
QPushButton:pressed {
    background-color: #d9902f;
    color: #1d222c;
}
QToolButton {
    background-color: #3b4a63;
    border: 1px solid #6b7b96;
    border-radius: 3px;
}
QProgressBar {
    border: 1px solid #5a6578;
    border-radius: 3px;
    background-color: #1d222c;
}
QProgressBar::chunk {
    background-color: #d9902f;
}
